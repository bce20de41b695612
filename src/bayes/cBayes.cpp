#include "bayes/cBayes.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "bayes/cBayesData.h"
#include "bayes/cBayesUndo.h"
#include "bayes/cWordList.h"
#include "common/fMain.h"
#include "message/cMsgParser.h"
#include "platform/Env.h"
#include "plugin/fLog.h"
#include "plugin/fPlugin.h"
#include "rules/cRuleMgr.h"
#include "rules/cRules.h"

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

bool HasOption(const std::string& flags, char upper) {
  for (char c : flags) {
    char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (u == upper) return true;
  }
  return false;
}

}  // namespace

struct TBayes::Impl {
  TBayesUndoBase Undo;
  double MinProb = 0;
  double MaxProb = 0;
  TBayesDataBase Words;
  std::string WordFile, UndoFile;

  void HeaderCounts(std::uint32_t& spam, std::uint32_t& ham) const {
    spam = ham = 0;
    if (Words.Count() > 0) {
      spam = Words.At(0).SpamCount;
      ham = Words.At(0).HamCount;
    }
  }

  double WordProbability(std::uint32_t spamMsgs, std::uint32_t hamMsgs, std::uint32_t s,
                         std::uint32_t h) const {
    const std::int64_t minWordCount = Plugin().Settings.MinWordCount;
    if (minWordCount >= static_cast<std::int64_t>(s) + static_cast<std::int64_t>(h)) return 0.5;
    const double a = static_cast<double>(s) / static_cast<double>(std::max<std::uint32_t>(spamMsgs, 1));
    const double b = static_cast<double>(h) / static_cast<double>(std::max<std::uint32_t>(hamMsgs, 1));
    // Only reachable with a MinWordCount below 0: a word never seen at all
    // counts as neutral instead of dividing zero by zero.
    if (a + b == 0) return 0.5;
    double p = a / (a + b);
    p = std::min(1.0, p);
    p = std::min(MaxProb, p);
    p = std::max(MinProb, p);
    return p;
  }

  void Train(const TWordList& table, bool undo, bool asSpam) {
    if (table.Count() == 0) return;
    TWordRecord head = Words.GetRecord(0);
    if (undo) {
      std::uint32_t& other = asSpam ? head.HamCount : head.SpamCount;
      if (other > 0) --other;
    }
    ++(asSpam ? head.SpamCount : head.HamCount);
    Words.PutRecord(0, head);

    for (const TWordEntry& e : table.Items()) {
      const std::uint32_t c = static_cast<std::uint32_t>(e.Count);
      const int pos = Words.IndexOfHash(e.Hash);
      // Position 0 is the header record: a word with its hash is a new word.
      if (pos <= 0) {
        Words.AddRecord(e.Hash, asSpam ? c : 0, asSpam ? 0 : c);
        continue;
      }
      TWordRecord r = Words.At(pos);
      if (undo) {
        std::uint32_t& other = asSpam ? r.HamCount : r.SpamCount;
        // A count scaled down since the first training stays as it is.
        if (static_cast<std::int64_t>(e.Count) <= static_cast<std::int64_t>(other)) other -= c;
      }
      (asSpam ? r.SpamCount : r.HamCount) += c;
      Words.PutRecord(pos, r);
    }
  }
};

TBayes::TBayes() : impl_(new Impl) {
  try {
    const std::string& folder = Plugin().Config.BayesDB;
    impl_->WordFile = folder + "Bayes.wdb";
    impl_->UndoFile = folder + "Bayes.udb";
    const bool bothExist = env::FileExists(impl_->WordFile) && env::FileExists(impl_->UndoFile);
    if (!bothExist) WriteLog("WARNING: Bayes databases not found!");

    const bool wordsOk = impl_->Words.LoadFromFile(impl_->WordFile);
    std::uint32_t spam = 0, ham = 0;
    if (wordsOk) impl_->HeaderCounts(spam, ham);
    const bool undoOk = impl_->Undo.LoadFromFile(impl_->UndoFile);

    if (wordsOk && undoOk) {
      WriteLog("Quelta: Bayes databases loaded successfully (W=" +
               std::to_string(static_cast<std::uint32_t>(impl_->Words.Count())) +
               "/S=" + std::to_string(spam) + "/H=" + std::to_string(ham) + ").");
    } else if (bothExist) {
      if (!wordsOk) WriteLog("ERROR: Loading Bayes data file failed!");
      if (!undoOk) WriteLog("ERROR: Loading Bayes undo file failed!");
    }
    if (spam < 50 || ham < 50)
      WriteLog("WARNING: Bayes database not trained (S=" + std::to_string(spam) +
               ", H=" + std::to_string(ham) + ")!");
    if (wordsOk) {
      impl_->MinProb = MinProbFor(ham);
      impl_->MaxProb = MaxProbFor(spam);
    }
  } catch (...) {
    // Whatever was loaded stays; the filter works with it.
  }
}

TBayes::~TBayes() {
  try {
    if (Plugin().BayesUnchanged) {
      WriteLog("Quelta: Bayes databases not saved.");
    } else {
      const bool wordsOk = impl_->Words.SaveToFile(impl_->WordFile);
      const bool undoOk = impl_->Undo.SaveToFile(impl_->UndoFile);
      if (wordsOk && undoOk) {
        std::uint32_t spam = 0, ham = 0;
        impl_->HeaderCounts(spam, ham);
        WriteLog("Quelta: Bayes databases saved successfully (W=" +
                 std::to_string(static_cast<std::uint32_t>(impl_->Words.Count())) +
                 "/S=" + std::to_string(spam) + "/H=" + std::to_string(ham) + ").");
      } else {
        if (!wordsOk) WriteLog("ERROR: Saving Bayes datafile failed!");
        if (!undoOk) WriteLog("ERROR: Saving Bayes undofile failed!");
      }
    }
  } catch (...) {
  }
  delete impl_;
}

std::int32_t TBayes::Classify(TWordList& words, std::string& debugText) {
  const TPlugSettings& settings = Plugin().Settings;
  std::uint32_t spamMsgs = 0, hamMsgs = 0;
  impl_->HeaderCounts(spamMsgs, hamMsgs);

  words.Truncate(settings.MaxWords);

  // Each word takes its figures from the last word record with its hash,
  // the one a walk over records 1..Count-1 in file order meets last.
  for (int i = 0; i < words.Count(); ++i) {
    const int pos = impl_->Words.LastWordIndexOfHash(words.At(i).Hash);
    if (pos < 0) continue;
    const TWordRecord& r = impl_->Words.At(pos);
    const double p = impl_->WordProbability(spamMsgs, hamMsgs, r.SpamCount, r.HamCount);
    const double d = 0.5 - p;
    words.SetScore(i, p, d > 0 ? d : -d);
  }

  words.RemoveInsignificant();
  words.SortByDistance();
  words.Truncate(settings.MaxSigWords);
  if (words.Count() == 0) return 0;

  if (settings.BayesExtendedLogging) {
    std::string listing = "Bayes words:\r\n";
    for (const TWordEntry& e : words.Items())
      listing += " " + e.Word + " (V=" + std::to_string(RoundHalfEven(e.Probability * 100)) +
                 "/P=" + std::to_string(RoundHalfEven(e.Distance * 200)) + ")\r\n";
    debugText = listing;
  }

  ++Plugin().Stats.BayesMessagesChecked;

  double sum = 0;
  int n = 0;
  for (const TWordEntry& e : words.Items()) {
    if (e.Probability > 0) {
      sum += e.Probability;
      ++n;
    }
  }
  if (sum == 0 || n == 0) return 0;
  double mean = sum / n;
  if (mean > 0.999) mean = 1.0;
  const double percent = std::trunc(mean * 100);
  // Probabilities never exceed 1; the bounds only keep a hand-made table
  // from producing a value outside 0..100.
  if (!(percent > 0)) return 0;
  if (percent > 100) return 100;
  return static_cast<std::int32_t>(percent);
}

void TBayes::Learn(TMessageParser& parser, bool asSpam, bool automatic) {
  try {
    const std::string rawHeader = parser.GetField("RAWHEADER");
    if (parser.WordList() == nullptr) {
      std::string unused;
      parser.GetField("PARSEONLY_WORDLIST", true, unused);
    }
    if (const TWordList* table = parser.WordList()) {
      Learn(rawHeader, *table, asSpam, automatic);
    } else {
      Learn(rawHeader, TWordList(), asSpam, automatic);
    }
  } catch (...) {
  }
}

void TBayes::Learn(const std::string& rawHeader, const TWordList& words, bool asSpam,
                   bool automatic) {
  try {
    TPlugStats& stats = Plugin().Stats;
    const std::uint32_t key = Crc32(rawHeader);
    const int pos = impl_->Undo.IndexOfHash(key);
    if (pos >= 0) {
      TUndoRecord r = impl_->Undo.GetRecord(pos);
      if (r.IsSpam != asSpam) {
        impl_->Train(words, true, asSpam);
        r.IsSpam = asSpam;
        impl_->Undo.PutRecord(pos, r);
        if (asSpam)
          ++stats.BayesReClassAsSpam;
        else
          ++stats.BayesReClassAsHam;
      }
      r.TrainedAt = env::LocalNow();
      impl_->Undo.PutRecord(pos, r);
    } else {
      impl_->Train(words, false, asSpam);
      impl_->Undo.AddRecord(key, asSpam, env::LocalNow());
      if (automatic) {
        if (asSpam)
          ++stats.BayesLearnAsSpam;
        else
          ++stats.BayesLearnAsHam;
      }
    }
    Plugin().BayesUnchanged = false;
  } catch (...) {
    // Changes made so far stay; the databases keep their saved/unsaved state.
  }
}

std::uint32_t TBayes::WordRecords() const {
  return static_cast<std::uint32_t>(impl_->Words.Count());
}

std::uint32_t TBayes::SpamMessages() const {
  std::uint32_t spam, ham;
  impl_->HeaderCounts(spam, ham);
  return spam;
}

std::uint32_t TBayes::HamMessages() const {
  std::uint32_t spam, ham;
  impl_->HeaderCounts(spam, ham);
  return ham;
}

double TBayes::MinProb() const { return impl_->MinProb; }
double TBayes::MaxProb() const { return impl_->MaxProb; }
TBayesDataBase& TBayes::WordBase() { return impl_->Words; }
TBayesUndoBase& TBayes::UndoBase() { return impl_->Undo; }

// ---- BAYESSCORE --------------------------------------------------------------

std::int32_t BayesRuleScore(std::int32_t r, const std::string& flags) {
  if (HasOption(flags, 'C')) return r < 51 ? 0 : 100;
  std::int32_t score = HasOption(flags, 'P') ? r : (r - 50) * 2;
  if (HasOption(flags, 'D')) score *= 2;
  return score;
}

bool CheckBayesScore(TRuleMgr& mgr, const TRuleRecord& rule, std::int32_t& score,
                     std::string& text) {
  try {
    if (!Plugin().Settings.BayesEnabled) return false;
    TMessageParser& parser = mgr.Parser();
    std::string unused;
    parser.GetField("PARSEONLY_WORDLIST", true, unused);
    TWordList* words = parser.WordList();
    if (words == nullptr || words->Count() == 0) {
      text += "Bayes: No words available, skipping bayes check.\r\n";
      return false;
    }
    TBayes* bayes = Objects().Bayes.get();
    if (bayes == nullptr) throw std::logic_error("no Bayes filter");
    const std::int32_t r = bayes->Classify(*words, text);
    if (words->Count() == 0) {
      text += "Bayes: No significant words available, abborting bayes check.\r\n";
      return false;
    }
    text += "Bayes result: " + std::to_string(r) + "% spam probability.\r\n";
    score = BayesRuleScore(r, rule.flags);
    return true;
  } catch (...) {
    text += "ERROR: Intern rule " + rule.field + " [" + rule.comment + "] failed.\r\n";
    return false;
  }
}

}  // namespace quelta
