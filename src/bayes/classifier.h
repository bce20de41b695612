// BayesFilter: the statistical filter. It loads the word and undo
// databases ("Bayes.wdb", "Bayes.udb") from one folder, classifies a
// message's word table into a spam percentage, learns from one message
// (undoing an earlier training of the same message the other way) and
// saves the databases when they changed.
//
// Promises: construction and Save never throw and report every outcome to
// the log; Learn never throws (a failure ends it quietly); Classify gives
// the result of a walk over every word record, and once the databases are
// loaded it costs O(words of the message), whatever their size.
// Loading: healthy files stay where they are until they are needed whole.
// Start-up reads the word file's header record only (the log line and the
// figures are those of a full load), the first classification looks its
// words up in one pass through the word file, and the databases are loaded
// at the first training or the second classification. A process that
// scores one message never loads them. The filter reports what it did
// (ClassifyResult, LearnResult) and keeps no counters of its own.
// The two files are saved as a pair: after a failed save both hold their
// old content, after a completed one both the new; a save interrupted by a
// crash is finished or undone by CompleteInterruptedSave, so the files
// always agree.
// Threading: one caller at a time for everything but Changed, which may be
// read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// What the macros show of the word database: its record count (the header
// record included) and the message counts of its header record.
struct BayesFigures {
  std::uint32_t wordRecords = 0;
  std::uint32_t spamMessages = 0;
  std::uint32_t hamMessages = 0;
};

// One training as the filter applies it: the message's key (the CRC-32 of
// its raw header text) and its words (hash, count).
struct Training {
  std::uint32_t key = 0;
  std::vector<std::pair<std::uint32_t, std::int32_t>> words;
  bool asSpam = false;
  double now = 0;
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

  // While a journal is kept, every training is remembered, so that a
  // process that could not own the profile can apply its trainings again
  // to the databases another process saved meanwhile (Replay).
  void KeepJournal(bool on) { keepJournal_ = on; }
  std::vector<Training> TakeJournal() { return std::move(journal_); }
  // Applies the trainings in order, as Learn did; the databases count as
  // changed when there was any.
  void Replay(const std::vector<Training>& trainings);

  // Writes both databases unless they are unchanged, logging the outcome:
  // both temporary files are written and flushed first; only when both
  // were written is the word file replaced, then the undo file. False when
  // the save failed (the old files stay and the databases still count as
  // changed).
  bool Save(Log& log);
  // Finishes a save of the files in folder that a crash interrupted: when
  // it had reached the point where both new files were complete, they are
  // put in place; otherwise what it left is removed. Run before the files
  // are loaded, by the only process that writes them. Logs what it did.
  static void CompleteInterruptedSave(const std::string& folder, Log& log);
  // Whether anything was learned since loading (or since MarkUnchanged).
  bool Changed() const { return changed_.load(); }
  // The databases count as unchanged and are not saved (after the options
  // dialog deleted their files); the journal's trainings are dropped too.
  void MarkUnchanged() {
    changed_ = false;
    journal_.clear();
  }

  // The figures of the word database as they are now.
  BayesFigures Figures() const;
  std::uint32_t WordRecords() const { return Figures().wordRecords; }  // header record included
  std::uint32_t SpamMessages() const { return Figures().spamMessages; }
  std::uint32_t HamMessages() const { return Figures().hamMessages; }

 private:
  double WordProbability(std::uint32_t spamMsgs, std::uint32_t hamMsgs, std::uint32_t s,
                         std::uint32_t h) const;
  LearnResult Apply(const Training& t);
  void Train(const Training& t, bool undo);
  // Loads the databases when they are still in their files.
  void EnsureLoaded();

  const BayesOptions& options_;
  Log* log_;
  std::string wordFile_, undoFile_;
  WordDatabase words_;
  UndoDatabase undo_;
  // The bounds of every word probability, fixed at construction.
  double minProb_ = 0;
  double maxProb_ = 0;
  std::atomic<bool> changed_{false};
  bool inFiles_ = false;        // not loaded yet (see Loading above)
  bool lookedUpInFile_ = false; // the first classification was answered from the file
  WordDatabase::FileLookup atStart_;  // the word file's count and header at start-up
  bool keepJournal_ = false;
  std::vector<Training> journal_;
};

}  // namespace quelta
