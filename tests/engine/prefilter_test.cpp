// The literal prefilter changes nothing but speed: every example message,
// scored with generated regular-expression rules over every data field (and
// with the shipped rule files), gives the same result and the same report,
// rule by rule, with the prefilter as without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/evaluator.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "message/parser.h"
#include "net/network_checks.h"
#include "os/env.h"
#include "rules/rule_store.h"
#include "support/scratch_dir.h"
#include "support/string_log.h"

using namespace quelta;
using namespace testing_support;

namespace {

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::size_t Below(std::size_t n) { return Next() % n; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }

 private:
  std::uint32_t state_;
};

std::vector<std::string> ExampleMessages() {
  std::vector<std::string> messages;
  for (const char* kind : {"ham", "spam"}) {
    const std::string folder = std::string(QUELTA_SOURCE_DIR) + "/examples/" + kind + "/";
    for (const std::string& name : os::FindFiles(folder, "*.eml")) {
      std::string raw;
      if (os::ReadFile(folder + name, raw)) messages.push_back(raw);
    }
  }
  return messages;
}

// Pieces of the messages' own text, so that many generated patterns match.
std::vector<std::string> Words(const std::vector<std::string>& messages) {
  std::vector<std::string> words;
  Rng rng(7);
  for (const std::string& m : messages) {
    std::string w;
    for (char c : m) {
      if (std::isalnum(static_cast<unsigned char>(c))) {
        w += c;
        continue;
      }
      if (w.size() >= 3 && rng.Below(4) == 0) words.push_back(w);
      w.clear();
    }
    for (int k = 0; k < 40 && m.size() > 16; ++k)  // raw snippets, punctuation and all
      words.push_back(m.substr(rng.Below(m.size() - 8), 3 + rng.Below(6)));
  }
  return words;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    if (c == '\r' || c == '\n' || c == '\0') {
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\x00";
      continue;
    }
    out += c;
  }
  return out;
}

std::string CaseMix(Rng& rng, std::string s) {
  for (char& c : s)
    if (rng.Below(3) == 0) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// One random piece of a pattern: a literal from the messages (escaped, or
// raw so that its punctuation acts), a construct of the pattern language,
// or a group of pieces.
std::string Piece(Rng& rng, const std::vector<std::string>& words, int depth) {
  const std::string w = CaseMix(rng, rng.Pick(words));
  switch (rng.Below(depth > 2 ? 12 : 16)) {
    case 0: case 1: case 2: case 3: return Escape(w);
    case 4: return w;  // unescaped: its punctuation is syntax
    case 5: return "\\b" + Escape(w) + "\\b";
    case 6: {
      static const std::vector<std::string> kBits = {
          ".", ".*", ".{0,20}", "\\s+", "\\W", "\\d+", "[a-z]+", "[^<]*", "\\w{2,}", "^", "$",
          "(?=\\w)", "(?!x)", "(?<=\\s)", "\\y", "\\x41", "\\e", "\\Qa.b\\E", "(\\w)\\1", "x{,3}",
          "(?i)", "(?-i)", "(?x) ", "(?#note)", "gr\xE4" "fin", "(*SKIP)", "\\K", "a(b", "[abc",
          "\\G", "(?(1)a|b)", "\\p{L}", "(?s:.)", "\\N", "\\R", "x{2}", "[[:alpha:]]"};
      return rng.Pick(kBits);
    }
    case 7: return Escape(w) + rng.Pick(std::vector<std::string>{"?", "*", "+", "{2}", "{1,3}", "+?"});
    case 8: return "(?:" + Escape(w) + "|" + Escape(CaseMix(rng, rng.Pick(words))) + ")";
    case 9: return "[" + w.substr(0, 1) + "]" + Escape(w.substr(1));
    case 10: return Escape(w.substr(0, w.size() / 2)) + "\\s*" + Escape(w.substr(w.size() / 2));
    case 11: return Escape(w.substr(0, 1)) + "?" + Escape(w.substr(1 % w.size()));
    default: {
      std::string group = rng.Below(2) ? "(" : "(?:";
      const std::size_t branches = 1 + rng.Below(3);
      for (std::size_t b = 0; b < branches; ++b) {
        if (b) group += "|";
        for (std::size_t k = 1 + rng.Below(2); k > 0; --k) group += Piece(rng, words, depth + 1);
      }
      return group + ")" + (rng.Below(3) == 0 ? rng.Pick(std::vector<std::string>{"?", "*", "+", "{0,2}"}) : "");
    }
  }
}

// Rule lines: regular-expression rules (some negated, some chained) on every
// data field and a few headers, with simple rules between them.
std::vector<std::string> GeneratedRules(const std::vector<std::string>& words, std::size_t count) {
  std::vector<std::string> fields = DataFieldNames();
  for (const char* h : {"Subject:", "Received:", "Content-Type:", "X-Mailer:"}) fields.push_back(h);
  Rng rng(20261206);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& field = rng.Pick(fields);
    std::string pattern;
    for (std::size_t k = 1 + rng.Below(3); k > 0; --k) pattern += Piece(rng, words, 0);
    const std::size_t r = rng.Below(20);
    const std::string link = r == 0 ? "&" : r == 1 ? "?" : "";
    const std::string flags = r == 2 ? "S" : r < 5 ? "RN" : "R";
    if (r == 2) pattern = CaseMix(rng, rng.Pick(words));
    lines.push_back(link + field + " " + std::to_string(1 + i % 7) + " " + flags + " \"" + pattern +
                    "\" [rule " + std::to_string(i) + "]");
  }
  return lines;
}

// What one message's evaluation wrote, without the time in its header.
struct Outcome {
  std::int32_t result = 0;
  std::vector<std::string> log;
};

Outcome Score(const std::string& raw, const RuleSet& rules, std::uint32_t maxRegExpSize) {
  StringLog log;
  EngineOptions options;
  options.breakAtScore = 0;  // every rule runs
  options.bayesEnabled = false;
  options.maxRegExpSize = maxRegExpSize;
  EngineServices services;
  services.rules = &rules;
  services.log = &log;
  MessageContext message(raw);
  MessageEvaluator evaluator(message, options, services);
  Outcome o;
  o.result = evaluator.Evaluate();
  o.log.assign(log.entries.begin() + 1, log.entries.end());
  return o;
}

// Scores every message with and without the prefilter; returns the number of
// "Match:" lines, for the caller to see that the rules did match something.
int CompareAll(const RuleStore& store, const std::vector<std::string>& messages) {
  const RuleSet filtered(store, true);
  const RuleSet reference(store, false);
  EXPECT_EQ(0u, reference.FilteredPatternCount());
  int matches = 0;
  for (std::uint32_t maxSize : {32u * 1024u, 300u}) {
    for (std::size_t m = 0; m < messages.size(); ++m) {
      const Outcome want = Score(messages[m], reference, maxSize);
      const Outcome got = Score(messages[m], filtered, maxSize);
      EXPECT_EQ(want.result, got.result) << "message " << m << ", max " << maxSize;
      EXPECT_EQ(want.log, got.log) << "message " << m << ", max " << maxSize;
      for (const std::string& entry : want.log)
        for (std::size_t at = entry.find("Match: "); at != std::string::npos; at = entry.find("Match: ", at + 1))
          ++matches;
    }
  }
  return matches;
}

// The example messages, and each of them in upper and in lower case: the
// prefilter folds case as the patterns do.
std::vector<std::string> Messages() {
  std::vector<std::string> messages = ExampleMessages();
  const std::size_t n = messages.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::string upper = messages[i], lower = messages[i];
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    messages.push_back(upper);
    messages.push_back(lower);
  }
  return messages;
}

TEST(Prefilter, GeneratedRulesScoreAndReportAsWithoutIt) {
  const std::vector<std::string> messages = Messages();
  ASSERT_GE(messages.size(), 18u);
  RuleStore store;
  for (const std::string& line : GeneratedRules(Words(ExampleMessages()), 1500))
    ASSERT_TRUE(store.AddLine(line)) << line;
  const RuleSet filtered(store);
  // Most patterns have literals to filter by; the rules match often enough
  // for the comparison to mean something.
  EXPECT_GT(filtered.FilteredPatternCount() * 2, filtered.PatternCount());
  const int matches = CompareAll(store, messages);
  EXPECT_GT(matches, 1000);
}

TEST(Prefilter, ShippedRuleFilesScoreAndReportAsWithoutIt) {
  StringLog log;
  RuleStore store;
  const RuleFileOptions where{std::string(QUELTA_SOURCE_DIR) + "/data/", std::string(QUELTA_SOURCE_DIR) + "/data/"};
  ASSERT_TRUE(store.LoadFromFile("Rules.dat", where, log));
  ASSERT_TRUE(store.LoadFromFile("EasyRules.dat", where, log));
  const int matches = CompareAll(store, Messages());
  EXPECT_GT(matches, 0);
}

// The reverse look-ups of GETRCVIPHOSTS: every address has one name.
class FakeNetwork : public NetworkQueries {
 public:
  std::string BlockListLookup(const std::string&, const std::string&, int) override { return ""; }
  std::string ReverseLookup(const std::string&, int) override { return "relay.spammer.example"; }
  std::string MxLookup(const std::string&, int) override { return ""; }
  SenderVerification VerifySender(const std::string&, int, const std::string&) override { return {}; }
  std::int64_t ClockMs() override { return 0; }
};

// RCVIPHOSTS is written by a check in the middle of the rules: the rules after
// it read the new text, case-insensitive and filtered ones too, although the
// rules before it read the field already.
TEST(Prefilter, RulesAfterGetRcvIpHostsReadItsHosts) {
  RuleStore store;
  for (const char* line : {"RCVIPHOSTS 1 SN \"SPAMMER\" [before, simple]",
                           "RCVIPHOSTS 1 RN \"spammer\\.example\" [before, pattern]",
                           "GetRcvIpHosts 0 I \"\" [look-ups]",
                           "RCVIPHOSTS 10 S \"SPAMMER\" [after, simple]",
                           "RCVIPHOSTS 20 R \"spammer\\.example\" [after, pattern]"})
    ASSERT_TRUE(store.AddLine(line)) << line;
  const std::string raw =
      "Received: from mx.example ([81.2.3.4]) by mail.example.org; Mon, 7 Dec 2026 10:00:00 +0100\r\n"
      "Subject: hello\r\n\r\nbody\r\n";
  for (bool prefilter : {true, false}) {
    const RuleSet rules(store, prefilter);
    StringLog log;
    FakeNetwork network;
    EngineOptions options;
    options.bayesEnabled = false;
    EngineServices services;
    services.rules = &rules;
    services.network = &network;
    services.log = &log;
    MessageContext message(raw);
    MessageEvaluator evaluator(message, options, services);
    EXPECT_EQ(32, evaluator.Evaluate()) << log.Text();
  }
}

}  // namespace
