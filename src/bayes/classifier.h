// BayesFilter: the statistical filter. It loads the word and undo
// databases ("Bayes.wdb", "Bayes.udb") from one folder, classifies a
// message's word table into a spam percentage, learns from one message
// (undoing an earlier training of the same message the other way) and
// saves the databases when they changed.
//
// Promises: construction and Save never throw and report every outcome to
// the log; Learn never throws (a failure ends it quietly); Classify costs
// O(words of the message), whatever the size of the database, and gives the
// result of a walk over every word record. The filter reports what it did
// (ClassifyResult, LearnResult) and keeps no counters of its own.
// Threading: one caller at a time for Classify / Learn / Save; the figures
// (WordRecords, SpamMessages, HamMessages) and the changed flag may be read
// from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "bayes/undo_database.h"
#include "bayes/word_database.h"

namespace quelta {

class Log;
class WordTable;

struct BayesOptions {
  // A word seen this many times or fewer counts as neutral (0.5).
  std::int32_t minWordCount = 3;
  // At most this many words of a message are looked up.
  std::int32_t maxWords = 200;
  // At most this many significant words make the verdict.
  std::int32_t maxSigWords = 25;
};

struct ClassifyResult {
  std::int32_t percent = 0;  // 0..100
  bool counted = false;      // the message counts as checked by the filter
};

struct LearnResult {
  bool learned = false;       // a message not trained before was trained
  bool reclassified = false;  // a message trained the other way was moved
};

class BayesFilter {
 public:
  // Loads folder + "Bayes.wdb" and folder + "Bayes.udb", logging the
  // outcome. options is read at every use (it may change while the filter
  // lives) and must outlive the filter.
  BayesFilter(const std::string& folder, const BayesOptions& options, Log& log);
  BayesFilter(const BayesFilter&) = delete;
  BayesFilter& operator=(const BayesFilter&) = delete;

  // Spam percentage of the table (pruned and sorted in place). With
  // listWords, debugText is set to the list of the deciding words.
  ClassifyResult Classify(WordTable& words, bool listWords, std::string& debugText);
  // Trains a message given by its raw header text and its word table; now
  // is the local date-time value stored with the training.
  LearnResult Learn(const std::string& rawHeader, const WordTable& words, bool asSpam, double now);

  // Writes both databases unless they are unchanged, logging the outcome.
  // False when a file could not be written.
  bool Save(Log& log);
  // Whether anything was learned since loading (or since MarkUnchanged).
  bool Changed() const { return changed_.load(); }
  // The databases count as unchanged and are not saved (after the options
  // dialog deleted their files).
  void MarkUnchanged() { changed_ = false; }

  // Figures for the macros, readable from any thread.
  std::uint32_t WordRecords() const { return wordRecords_.load(); }  // header record included
  std::uint32_t SpamMessages() const { return spamMessages_.load(); }
  std::uint32_t HamMessages() const { return hamMessages_.load(); }

 private:
  double WordProbability(std::uint32_t spamMsgs, std::uint32_t hamMsgs, std::uint32_t s,
                         std::uint32_t h) const;
  void Train(const WordTable& table, bool undo, bool asSpam);
  void PublishFigures();

  const BayesOptions& options_;
  std::string wordFile_, undoFile_;
  WordDatabase words_;
  UndoDatabase undo_;
  // The bounds of every word probability, fixed at construction.
  double minProb_ = 0;
  double maxProb_ = 0;
  std::atomic<bool> changed_{false};
  std::atomic<std::uint32_t> wordRecords_{0}, spamMessages_{0}, hamMessages_{0};
};

}  // namespace quelta
