// Simple and regular-expression rules: the comparison chosen by the flags,
// letter case by the system's rules, folding on the folded fields, empty
// terms, the regular-expression text limit and the failure texts.
#include <gtest/gtest.h>

#include <string>

#include "app/session.h"
#include "engine/checks.h"
#include "rules/rule_store.h"

using namespace quelta;

namespace {

Rule Rule(const std::string& field, const std::string& flags, const std::string& value,
                 const std::string& comment = "c") {
  Rule r;
  r.field = field;
  r.score = 10;
  r.flags = flags;
  r.value = value;
  r.comment = comment;
  return r;
}

struct SimpleCase {
  const char* field;
  const char* flags;
  std::string term;
  std::string text;
  bool expected;
};

// Keeps MaxRegExpSize as it was after a test changed it.
class RegexSizeGuard {
 public:
  RegexSizeGuard() : saved_(Plugin().Settings.MaxRegExpSize) {}
  ~RegexSizeGuard() { Plugin().Settings.MaxRegExpSize = saved_; }

 private:
  std::uint32_t saved_;
};

}  // namespace

TEST(SimpleRule, ComparisonsByFlags) {
  const SimpleCase cases[] = {
      // contains, without and with letter case
      {"SUBJECT", "S", "viagra", "Buy VIAGRA now", true},
      {"SUBJECT", "SC", "viagra", "Buy VIAGRA now", false},
      {"SUBJECT", "SC", "VIAGRA", "Buy VIAGRA now", true},
      {"SUBJECT", "S", "cialis", "Buy VIAGRA now", false},
      // whole text
      {"SUBJECT", "SM", "hello", "HELLO", true},
      {"SUBJECT", "SM", "hello", "HELLO there", false},
      {"SUBJECT", "SMC", "hello", "HELLO", false},
      {"SUBJECT", "SMC", "HELLO", "HELLO", true},
      // begins with
      {"SUBJECT", "SB", "re:", "RE: your mail", true},
      {"SUBJECT", "SB", "your", "RE: your mail", false},
      {"SUBJECT", "SBC", "re:", "RE: your mail", false},
      {"SUBJECT", "SB", "re: your mail and more", "RE: your mail", false},
      // ends with
      {"SUBJECT", "SE", "MAIL", "RE: your mail", true},
      {"SUBJECT", "SE", "your", "RE: your mail", false},
      {"SUBJECT", "SEC", "MAIL", "RE: your mail", false},
      {"SUBJECT", "SE", "x RE: your mail", "RE: your mail", false},
      // the letters may stand anywhere after the kind letter, with others
      {"SUBJECT", "SNBA", "re:", "RE: x", true},
      {"SUBJECT", "SHCE", "X", "RE: X", true},
      // "M" wins over "B", "B" over "E"
      {"SUBJECT", "SBM", "RE:", "RE: x", false},
      {"SUBJECT", "SMB", "RE: x", "RE: x", true},
      {"SUBJECT", "SEB", "RE:", "RE: x", true},
      {"SUBJECT", "SEB", "x", "RE: x", false},
      // option letters are upper case only
      {"SUBJECT", "Sm", "RE", "RE: x", true},
      {"SUBJECT", "Sc", "re", "RE: x", true},
  };
  for (const SimpleCase& c : cases) {
    std::string text;
    EXPECT_EQ(EvaluateSimple(Rule(c.field, c.flags, c.term), c.text, text), c.expected)
        << c.flags << " '" << c.term << "' in '" << c.text << "'";
    EXPECT_EQ(text, "");
  }
}

TEST(SimpleRule, EmptyTermAndEmptyText) {
  const SimpleCase cases[] = {
      {"SUBJECT", "S", "", "anything", false},   // contains: never
      {"SUBJECT", "SC", "", "anything", false},
      {"SUBJECT", "S", "", "", false},
      {"SUBJECT", "SB", "", "anything", true},   // begins: always
      {"SUBJECT", "SBC", "", "", true},
      {"SUBJECT", "SE", "", "anything", true},   // ends: always
      {"SUBJECT", "SM", "", "", true},           // whole: only an empty text
      {"SUBJECT", "SM", "", "x", false},
      {"SUBJECT", "S", "x", "", false},
      {"SUBJECT", "SB", "x", "", false},
  };
  for (const SimpleCase& c : cases) {
    std::string text;
    EXPECT_EQ(EvaluateSimple(Rule(c.field, c.flags, c.term), c.text, text), c.expected)
        << c.flags << " '" << c.term << "' in '" << c.text << "'";
  }
}

TEST(SimpleRule, LetterCaseOfWindows1252Letters) {
  // a-umlaut / A-umlaut and s-caron / S-caron are one letter in two cases
  // under the system's rules for the Western code page.
  const SimpleCase cases[] = {
      {"SUBJECT", "S", "gr\xE4" "fin", "GR\xC4" "FIN", true},
      {"SUBJECT", "SC", "gr\xE4" "fin", "GR\xC4" "FIN", false},
      {"SUBJECT", "SM", "\x9A" "ek", "\x8A" "EK", true},
      {"SUBJECT", "SB", "\xE9t\xE9", "\xC9T\xC9 2007", true},
      {"SUBJECT", "SE", "\xFF", "x\x9F", true},  // y-diaeresis pairs with 0x9F
      // bytes that are not letters do not fold
      {"SUBJECT", "S", "\xD7", "\xF7", false},
  };
  for (const SimpleCase& c : cases) {
    std::string text;
    EXPECT_EQ(EvaluateSimple(Rule(c.field, c.flags, c.term), c.text, text), c.expected)
        << c.flags << " '" << c.term << "' in '" << c.text << "'";
  }
}

TEST(SimpleRule, FoldedFieldsFoldTheTermAndIgnoreCase) {
  // The field texts are as the parser gives them: " " + folded text + " ".
  const SimpleCase cases[] = {
      // "V-I-A-G-R-A" folds to "viagra"; so does the term "v1agra".
      {"SPAMSUBJ", "S", "v1agra", " viagra ", true},
      {"spamsubj", "S", "V1AGRA", " viagra ", true},
      {"SpamText", "S", "\\/iagra", " buy viagra now ", true},
      {"SPAMSUBJTEXT", "S", " cool ", " so coi here ", true},  // "cool" folds to "coi"
      {"SPAMPLAIN", "SM", " v.i.a ", " via ", true},
      // without folding the term the same rule misses
      {"SUBJECT", "S", "v1agra", " viagra ", false},
      // the first "C" is ignored on a folded field: letters that folding
      // leaves alone (S-caron) still compare without case ...
      {"SPAMTEXT", "SC", "\x8A", " x\x9Ay ", true},
      {"TEXT", "SC", "\x8A", " x\x9Ay ", false},
      // ... but only the first one
      {"SPAMTEXT", "SCC", "\x8A", " x\x9Ay ", false},
      // a field that merely contains "spam" is not folded
      {"XSPAM", "S", "v1agra", " viagra ", false},
  };
  for (const SimpleCase& c : cases) {
    std::string text;
    EXPECT_EQ(EvaluateSimple(Rule(c.field, c.flags, c.term), c.text, text), c.expected)
        << c.field << " " << c.flags << " '" << c.term << "' in '" << c.text << "'";
  }
}

TEST(SimpleRule, RepeatedRulesOnTheSameAndOnChangingTexts) {
  // Case-insensitive rules over many texts, each text seen several times
  // and in between others: every answer belongs to its own text.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 20; ++i) {
      const std::string textA = "Header " + std::to_string(i) + " MARKER" + std::to_string(i);
      std::string text;
      EXPECT_TRUE(EvaluateSimple(Rule("RAWHEADER", "S", "marker" + std::to_string(i)), textA, text));
      EXPECT_FALSE(
          EvaluateSimple(Rule("RAWHEADER", "S", "marker" + std::to_string(i + 1)), textA, text));
    }
  }
}

// ---- Regular-expression rules ------------------------------------------------------

TEST(RegExpRule, MatchesAnywhereIgnoringCaseAcrossLines) {
  const struct {
    const char* pattern;
    std::string text;
    bool expected;
  } cases[] = {
      {"viagra", "Buy VIAGRA now", true},
      {"^buy", "x\r\nbuy", false},  // not multi-line: ^ is the text start
      {"buy.*now", "BUY\r\nit NOW", true},
      {"v[i1]agra", "V1AGRA", true},
      {"\\bcheap\\b", "cheaper", false},
      {"^$", "", true},
      {"", "anything", true},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(EvaluateRegExp(Rule("SUBJECT", "R", c.pattern), c.text, text), c.expected)
        << c.pattern;
    EXPECT_EQ(text, "");
  }
}

TEST(RegExpRule, InvalidPatternFailsWithFieldAndComment) {
  std::string text;
  EXPECT_FALSE(EvaluateRegExp(Rule("Subject", "R", "a(b", "bad one"), "a(b", text));
  EXPECT_EQ(text, "ERROR: RegExp rule Subject [bad one] failed.\r\n");
  // the same again (now from the pattern cache): the same outcome
  text.clear();
  EXPECT_FALSE(EvaluateRegExp(Rule("Subject", "RN", "a(b", "bad one"), "a(b", text));
  EXPECT_EQ(text, "ERROR: RegExp rule Subject [bad one] failed.\r\n");
}

TEST(RegExpRule, CatastrophicPatternFailsTheRule) {
  std::string text;
  EXPECT_FALSE(
      EvaluateRegExp(Rule("TEXT", "R", "(a+)+$", "nested"), std::string(64, 'a') + "!", text));
  EXPECT_EQ(text, "ERROR: RegExp rule TEXT [nested] failed.\r\n");
}

TEST(RegExpRule, SeesOnlyTheFirstMaxRegExpSizeBytes) {
  RegexSizeGuard guard;
  Plugin().Settings.MaxRegExpSize = 1024;
  const std::string text = std::string(1018, 'x') + "needle" + "tail-needle";
  std::string out;
  EXPECT_TRUE(EvaluateRegExp(Rule("TEXT", "R", "needle"), text, out));       // ends at 1024
  EXPECT_FALSE(EvaluateRegExp(Rule("TEXT", "R", "needlet"), text, out));     // would need 1025
  EXPECT_FALSE(EvaluateRegExp(Rule("TEXT", "R", "tail"), text, out));
  EXPECT_TRUE(EvaluateRegExp(Rule("TEXT", "R", "x$"), std::string(2000, 'x') + "y", out));
  EXPECT_FALSE(EvaluateRegExp(Rule("TEXT", "R", "y$"), std::string(2000, 'x') + "y", out));
  Plugin().Settings.MaxRegExpSize = 32 * 1024;
  EXPECT_TRUE(EvaluateRegExp(Rule("TEXT", "R", "tail"), text, out));
  EXPECT_EQ(out, "");
}
