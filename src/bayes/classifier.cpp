#include "bayes/classifier.h"

#include <algorithm>
#include <cmath>

#include "base/crc32.h"
#include "base/log.h"
#include "bayes/word_table.h"
#include "os/env.h"

namespace quelta {

namespace {

// Lower bound of every word probability, from the number of ham messages.
double MinProbFor(std::uint32_t ham) {
  if (ham < 100) return 0.001;
  if (ham < 1000) return 0.0001;
  if (ham < 10000) return 0.00001;
  return 0.000001;
}

// Upper bound, from the number of spam messages.
double MaxProbFor(std::uint32_t spam) {
  if (spam < 100) return 0.999;
  if (spam < 1000) return 0.9999;
  if (spam < 10000) return 0.99999;
  return 0.999999;
}

// Nearest integer, halves to the even neighbour, whatever the FPU's
// rounding mode is set to.
std::int64_t RoundHalfEven(double x) {
  double f = std::floor(x);
  const double rest = x - f;  // exact
  if (rest > 0.5 || (rest == 0.5 && std::fmod(f, 2.0) != 0)) f += 1;
  return static_cast<std::int64_t>(f);
}

void HeaderCounts(const WordDatabase& words, std::uint32_t& spam, std::uint32_t& ham) {
  spam = ham = 0;
  if (words.Count() > 0) {
    spam = words.At(0).spamCount;
    ham = words.At(0).hamCount;
  }
}

// A pair save goes through fixed names beside the two files: each new file
// is first written under a unique temporary name, then renamed to its
// "ready" name. The undo file's ready name appearing is the commit point:
// from then on both new files are complete and the save is carried to its
// end, if need be by the next start-up.
std::string ReadyName(const std::string& file) { return os::TemporaryName(file, "ready"); }

// Renames with a few retries: on Windows another program (a virus scanner,
// a backup) may hold the target open for a moment.
bool ReplaceWithRetries(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (os::ReplaceFile(from, to)) return true;
    if (attempt == 4) return false;
    os::SleepMs(100);
  }
}

enum class PairResult { kSaved, kWordFailed, kUndoFailed, kBothFailed };

// Puts the two ready files in place: word file first, then undo file.
// When the word file cannot be replaced the save is undone (both old files
// stay); when the undo file cannot, its ready file stays for the next
// start-up to put in place.
PairResult FinishPair(const std::string& wordFile, const std::string& undoFile) {
  const std::string wordReady = ReadyName(wordFile), undoReady = ReadyName(undoFile);
  if (os::FileExists(wordReady) && !ReplaceWithRetries(wordReady, wordFile)) {
    os::DeleteFile(undoReady);
    os::DeleteFile(wordReady);
    return PairResult::kWordFailed;
  }
  if (!ReplaceWithRetries(undoReady, undoFile)) return PairResult::kUndoFailed;
  return PairResult::kSaved;
}

PairResult SavePair(const std::string& wordFile, const WordDatabase& words,
                    const std::string& undoFile, const UndoDatabase& undo) {
  std::string wordTemp, undoTemp;
  const bool wordWritten = words.WriteTemporary(wordFile, wordTemp);
  const bool undoWritten = undo.WriteTemporary(undoFile, undoTemp);
  const auto discard = [&] {
    if (!wordTemp.empty()) os::DeleteFile(wordTemp);
    if (!undoTemp.empty()) os::DeleteFile(undoTemp);
  };
  if (!wordWritten || !undoWritten) {
    discard();
    return !wordWritten && !undoWritten ? PairResult::kBothFailed
           : !wordWritten              ? PairResult::kWordFailed
                                       : PairResult::kUndoFailed;
  }
  // What can be seen in advance: a folder in the place of a file.
  if (os::DirectoryExists(wordFile) || os::DirectoryExists(undoFile)) {
    discard();
    return os::DirectoryExists(wordFile) ? PairResult::kWordFailed : PairResult::kUndoFailed;
  }
  const std::string wordReady = ReadyName(wordFile);
  if (!os::ReplaceFile(wordTemp, wordReady)) {
    discard();
    return PairResult::kWordFailed;
  }
  if (!os::ReplaceFile(undoTemp, ReadyName(undoFile))) {  // the commit point
    os::DeleteFile(wordReady);
    discard();
    return PairResult::kUndoFailed;
  }
  return FinishPair(wordFile, undoFile);
}

}  // namespace

BayesFilter::BayesFilter(const std::string& folder, const BayesOptions& options, Log& log)
    : options_(options), log_(&log), wordFile_(folder + "Bayes.wdb"), undoFile_(folder + "Bayes.udb") {
  try {
    const bool bothExist = os::FileExists(wordFile_) && os::FileExists(undoFile_);
    if (!bothExist) log.Write("WARNING: Bayes databases not found!");

    bool wordsOk = false, undoOk = false;
    std::uint32_t spam = 0, ham = 0, records = 0;
    // Files that open and hold whole records stay in place for now; any
    // other case loads at once, as it always did.
    if (bothExist && WordDatabase::PeekFile(wordFile_, atStart_) && os::OpenRandomAccessFile(undoFile_)) {
      inFiles_ = wordsOk = undoOk = true;
      spam = atStart_.header.spamCount;
      ham = atStart_.header.hamCount;
      records = static_cast<std::uint32_t>(atStart_.count);
    } else {
      wordsOk = words_.LoadFromFile(wordFile_);
      if (wordsOk) HeaderCounts(words_, spam, ham);
      undoOk = undo_.LoadFromFile(undoFile_);
      records = static_cast<std::uint32_t>(words_.Count());
    }

    if (wordsOk && undoOk) {
      log.Write("Quelta: Bayes databases loaded successfully (W=" + std::to_string(records) +
                "/S=" + std::to_string(spam) + "/H=" + std::to_string(ham) + ").");
    } else if (bothExist) {
      if (!wordsOk) log.Write("ERROR: Loading Bayes data file failed!");
      if (!undoOk) log.Write("ERROR: Loading Bayes undo file failed!");
    }
    if (spam < 50 || ham < 50)
      log.Write("WARNING: Bayes database not trained (S=" + std::to_string(spam) +
                ", H=" + std::to_string(ham) + ")!");
    if (wordsOk) {
      minProb_ = MinProbFor(ham);
      maxProb_ = MaxProbFor(spam);
    }
  } catch (...) {
    // Whatever was loaded stays; the filter works with it.
  }
}

void BayesFilter::CompleteInterruptedSave(const std::string& folder, Log& log) {
  try {
    const std::string wordFile = folder + "Bayes.wdb", undoFile = folder + "Bayes.udb";
    if (os::FileExists(ReadyName(undoFile))) {
      if (FinishPair(wordFile, undoFile) == PairResult::kSaved)
        log.Write("Quelta: Bayes databases completed from an interrupted save.");
      else
        log.Write("ERROR: Completing the interrupted save of the Bayes databases failed!");
    } else if (os::FileExists(ReadyName(wordFile))) {
      os::DeleteFile(ReadyName(wordFile));  // the save never reached its commit point
    }
  } catch (...) {
  }
}

void BayesFilter::EnsureLoaded() {
  if (!inFiles_) return;
  inFiles_ = false;
  // The lines a failed load at start-up would have written. Files deleted
  // meanwhile (the options dialog deletes them) start the databases afresh.
  if (!words_.LoadFromFile(wordFile_) && os::FileExists(wordFile_))
    log_->Write("ERROR: Loading Bayes data file failed!");
  if (!undo_.LoadFromFile(undoFile_) && os::FileExists(undoFile_))
    log_->Write("ERROR: Loading Bayes undo file failed!");
}

BayesFigures BayesFilter::Figures() const {
  BayesFigures f;
  if (inFiles_) {
    f.wordRecords = static_cast<std::uint32_t>(atStart_.count);
    f.spamMessages = atStart_.header.spamCount;
    f.hamMessages = atStart_.header.hamCount;
    return f;
  }
  HeaderCounts(words_, f.spamMessages, f.hamMessages);
  f.wordRecords = static_cast<std::uint32_t>(words_.Count());
  return f;
}

bool BayesFilter::Save(Log& log) {
  try {
    if (!Changed()) {
      log.Write("Quelta: Bayes databases not saved.");
      return true;
    }
    const PairResult r = SavePair(wordFile_, words_, undoFile_, undo_);
    const bool wordsOk = r == PairResult::kSaved || r == PairResult::kUndoFailed;
    const bool undoOk = r == PairResult::kSaved || r == PairResult::kWordFailed;
    if (r == PairResult::kSaved) {
      std::uint32_t spam = 0, ham = 0;
      HeaderCounts(words_, spam, ham);
      log.Write("Quelta: Bayes databases saved successfully (W=" +
                std::to_string(static_cast<std::uint32_t>(words_.Count())) +
                "/S=" + std::to_string(spam) + "/H=" + std::to_string(ham) + ").");
      return true;
    }
    if (!wordsOk) log.Write("ERROR: Saving Bayes datafile failed!");
    if (!undoOk) log.Write("ERROR: Saving Bayes undofile failed!");
  } catch (...) {
  }
  return false;
}

double BayesFilter::WordProbability(std::uint32_t spamMsgs, std::uint32_t hamMsgs,
                                    std::uint32_t s, std::uint32_t h) const {
  const std::int64_t minWordCount = options_.minWordCount;
  if (minWordCount >= static_cast<std::int64_t>(s) + static_cast<std::int64_t>(h)) return 0.5;
  const double a = static_cast<double>(s) / static_cast<double>(std::max<std::uint32_t>(spamMsgs, 1));
  const double b = static_cast<double>(h) / static_cast<double>(std::max<std::uint32_t>(hamMsgs, 1));
  // Only reachable with a MinWordCount below 0: a word never seen at all
  // counts as neutral instead of dividing zero by zero.
  if (a + b == 0) return 0.5;
  double p = a / (a + b);
  p = std::min(1.0, p);
  p = std::min(maxProb_, p);
  p = std::max(minProb_, p);
  return p;
}

void BayesFilter::Train(const Training& t, bool undo) {
  if (t.words.empty()) return;
  const bool asSpam = t.asSpam;
  WordRecord head = words_.GetRecord(0);
  if (undo) {
    std::uint32_t& other = asSpam ? head.hamCount : head.spamCount;
    if (other > 0) --other;
  }
  ++(asSpam ? head.spamCount : head.hamCount);
  words_.PutRecord(0, head);

  for (const auto& [hash, count] : t.words) {
    const std::uint32_t c = static_cast<std::uint32_t>(count);
    const int pos = words_.IndexOfHash(hash);
    // Position 0 is the header record: a word with its hash is a new word.
    if (pos <= 0) {
      words_.AddRecord(hash, asSpam ? c : 0, asSpam ? 0 : c);
      continue;
    }
    WordRecord r = words_.At(pos);
    if (undo) {
      std::uint32_t& other = asSpam ? r.hamCount : r.spamCount;
      // A count scaled down since the first training stays as it is.
      if (static_cast<std::int64_t>(count) <= static_cast<std::int64_t>(other)) other -= c;
    }
    (asSpam ? r.spamCount : r.hamCount) += c;
    words_.PutRecord(pos, r);
  }
}

ClassifyResult BayesFilter::Classify(WordTable& words, bool listWords, std::string& debugText) {
  ClassifyResult result;
  words.Truncate(options_.maxWords);

  // The first classification reads the word file for its words only; a
  // file that cannot be read so is loaded instead.
  WordDatabase::FileLookup lookup;
  bool fromFile = false;
  if (inFiles_ && !lookedUpInFile_) {
    lookedUpInFile_ = true;
    std::vector<std::uint32_t> hashes;
    hashes.reserve(static_cast<std::size_t>(words.Count()));
    for (int i = 0; i < words.Count(); ++i) hashes.push_back(words.At(i).hash);
    fromFile = WordDatabase::LookUpInFile(wordFile_, std::move(hashes), lookup);
  }
  if (!fromFile) EnsureLoaded();
  std::uint32_t spamMsgs = 0, hamMsgs = 0;
  if (fromFile) {
    spamMsgs = lookup.header.spamCount;
    hamMsgs = lookup.header.hamCount;
  } else {
    HeaderCounts(words_, spamMsgs, hamMsgs);
  }

  // Each word takes its figures from the last word record with its hash,
  // the one a walk over records 1..count-1 in file order meets last.
  for (int i = 0; i < words.Count(); ++i) {
    const WordRecord* r = nullptr;
    if (fromFile) {
      r = lookup.Find(words.At(i).hash);
    } else {
      const int pos = words_.LastWordIndexOfHash(words.At(i).hash);
      if (pos >= 0) r = &words_.At(pos);
    }
    if (!r) continue;
    const double p = WordProbability(spamMsgs, hamMsgs, r->spamCount, r->hamCount);
    const double d = 0.5 - p;
    words.SetScore(i, p, d > 0 ? d : -d);
  }

  words.RemoveInsignificant();
  words.KeepLargestDistances(options_.maxSigWords);
  if (words.Count() == 0) return result;

  if (listWords) {
    std::string listing = "Bayes words:\r\n";
    for (const WordEntry& e : words.Items())
      listing += " " + e.word + " (V=" + std::to_string(RoundHalfEven(e.probability * 100)) +
                 "/P=" + std::to_string(RoundHalfEven(e.distance * 200)) + ")\r\n";
    debugText = listing;
  }

  result.counted = true;

  double sum = 0;
  int n = 0;
  for (const WordEntry& e : words.Items()) {
    if (e.probability > 0) {
      sum += e.probability;
      ++n;
    }
  }
  if (sum == 0 || n == 0) return result;
  double mean = sum / n;
  if (mean > 0.999) mean = 1.0;
  const double percent = std::trunc(mean * 100);
  // Probabilities never exceed 1; the bounds only keep a hand-made table
  // from producing a value outside 0..100.
  if (!(percent > 0)) return result;
  result.percent = percent > 100 ? 100 : static_cast<std::int32_t>(percent);
  return result;
}

LearnResult BayesFilter::Learn(const std::string& rawHeader, const WordTable& words, bool asSpam,
                               double now) {
  try {
    Training t;
    t.key = Crc32(rawHeader);
    t.asSpam = asSpam;
    t.now = now;
    t.words.reserve(words.Items().size());
    for (const WordEntry& e : words.Items()) t.words.emplace_back(e.hash, e.count);
    const LearnResult r = Apply(t);
    if (keepJournal_) journal_.push_back(std::move(t));
    return r;
  } catch (...) {
    return LearnResult();
  }
}

void BayesFilter::Replay(const std::vector<Training>& trainings) {
  for (const Training& t : trainings) Apply(t);
}

LearnResult BayesFilter::Apply(const Training& t) {
  LearnResult result;
  try {
    EnsureLoaded();
    const int pos = undo_.IndexOfHash(t.key);
    if (pos >= 0) {
      UndoRecord r = undo_.GetRecord(pos);
      if (r.isSpam != t.asSpam) {
        Train(t, true);
        r.isSpam = t.asSpam;
        undo_.PutRecord(pos, r);
        result.reclassified = true;
      }
      r.trainedAt = t.now;
      undo_.PutRecord(pos, r);
    } else {
      Train(t, false);
      undo_.AddRecord(t.key, t.asSpam, t.now);
      result.learned = true;
    }
    changed_ = true;
  } catch (...) {
    // Changes made so far stay; the databases keep their saved/unsaved state.
  }
  return result;
}

}  // namespace quelta
