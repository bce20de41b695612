// cBayes: the statistical filter (`TBayes`): loads the word and undo
// databases at start-up, classifies a message's word table into a spam
// percentage, learns from one message (undoing an earlier training of the
// same message the other way) and saves the databases at shutdown when
// they changed.
//
// Promises: construction and destruction never throw and report every
// outcome in the log; Learn never throws (a failure ends it quietly);
// Classify costs O(words of the message), whatever the size of the
// database, and gives the result of a walk over every word record;
// CheckBayesScore never throws.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

class TMessageParser;
class TWordList;
class TBayesDataBase;
class TBayesUndoBase;

class TBayes {
 public:
  TBayes();   // loads Bayes.wdb / Bayes.udb from the BayesDB folder, logs
  ~TBayes();  // saves unless the Bayes-unchanged flag is set, logs
  TBayes(const TBayes&) = delete;
  TBayes& operator=(const TBayes&) = delete;

  // Spam percentage 0..100 of the table (pruned and sorted in place).
  // debugText is set when BayesExtendedLogging is on.
  std::int32_t Classify(TWordList& words, std::string& debugText);
  // Trains the message whose word table the parser holds.
  void Learn(TMessageParser& parser, bool asSpam, bool automatic);
  // Trains a message given by its raw header text and its word table; the
  // parser-taking Learn ends here.
  void Learn(const std::string& rawHeader, const TWordList& words, bool asSpam, bool automatic);

  // Figures for the macros.
  std::uint32_t WordRecords() const;  // header record included
  std::uint32_t SpamMessages() const;
  std::uint32_t HamMessages() const;

  // The bounds of every word probability, fixed at construction.
  double MinProb() const;
  double MaxProb() const;
  // The in-memory databases (for the options dialog, tools and tests).
  TBayesDataBase& WordBase();
  TBayesUndoBase& UndoBase();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace quelta

namespace quelta {
class TRuleMgr;
struct TRuleRecord;
// The internal check BAYESSCORE (options C, P, D).
bool CheckBayesScore(TRuleMgr& mgr, const TRuleRecord& rule, std::int32_t& score,
                     std::string& text);
// The score BAYESSCORE gives a Bayes result r (0..100) under the rule's
// flags: "C" 0 below 51 and 100 from 51 on; else "P" r itself; else
// (r - 50) * 2, doubled by "D". Letters count anywhere, in either case.
std::int32_t BayesRuleScore(std::int32_t r, const std::string& flags);
}  // namespace quelta
