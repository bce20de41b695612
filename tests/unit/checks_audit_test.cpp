// Exactness of the rule evaluators at their edges: regular-expression
// searches over long texts, and the internal checks' argument handling.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/session.h"
#include "regex/regex.h"
#include "engine/checks.h"
#include "engine/evaluator.h"
#include "rules/rule_store.h"

using namespace quelta;

namespace {

Rule Rule(const std::string& field, const std::string& flags, const std::string& value,
                 const std::string& comment = "c", std::int32_t score = 7) {
  Rule r;
  r.field = field;
  r.score = score;
  r.flags = flags;
  r.value = value;
  r.comment = comment;
  return r;
}

}  // namespace

TEST(ChecksAudit, StartOfMatchAssertionOnlyAtTheTextStart) {
  // \G holds where the search starts, which is the start of the text: a
  // long text must not give it further chances.
  const std::string text = std::string(1024, 'x') + "foo" + std::string(2000, 'y');
  for (const char* pattern : {"x\\Gfoo|\\Gfoo", "(?:\\Gfoo)", "a|\\Gfoo"}) {
    EXPECT_FALSE(IsMatch(CreateRegex(pattern, kRuleRegexOptions), text)) << pattern;
    std::string out;
    EXPECT_FALSE(EvaluateRegExp(Rule("TEXT", "R", pattern), text, out)) << pattern;
    EXPECT_EQ(out, "");
  }
  EXPECT_TRUE(IsMatch(CreateRegex("a|\\Gx", kRuleRegexOptions), text));
}

namespace {

// The compile error text of a pattern with the given options, "" when it compiles.
std::string CompileErrorOf(const std::string& pattern, RegexOptions options = kRuleRegexOptions) {
  try {
    CreateRegex(pattern, options);
  } catch (const RegexError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(ChecksAudit, BackslashBeforeALetterWithoutMeaningIsThatLetter) {
  // Without "extra" such an escape is the letter itself; with it, an error.
  const struct {
    const char* pattern;
    const char* text;
    bool expected;
  } cases[] = {
      {"v\\iagra", "Buy VIAGRA", true},
      {"\\y", "y", true},
      {"\\y", "x\\", false},
      {"[\\y]x", "yx", true},
      {"\\d\\m", "1M", true},  // known escapes keep their meaning
      {"\\d\\m", "dm", false},
      {"[\\B]", "b", true},  // in a class "\B" is the letter too
      {"[\\R\\X]{2}", "xr", true},
      {"\\Fun", "FUN", true},
      {"\\\\\\y", "\\Y", true},  // an escaped backslash, then "\y"
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsMatch(CreateRegex(c.pattern, kRuleRegexOptions), c.text), c.expected) << c.pattern;
    std::string out;
    EXPECT_EQ(EvaluateRegExp(Rule("SUBJECT", "R", c.pattern), c.text, out), c.expected)
        << c.pattern;
    EXPECT_EQ(out, "") << c.pattern;
  }
  EXPECT_NE(CompileErrorOf("\\y", {RegexOption::Extra}), "");
  // A pattern with another fault still fails, with that fault's text.
  EXPECT_EQ(CompileErrorOf("\\ya(b"),
            "Invalid Pattern '\\ya(b': error at position 5: missing closing parenthesis");
  // Escapes the classic library did not support stay errors, reported at
  // their place in the pattern as written.
  EXPECT_NE(CompileErrorOf("\\L"), "");
  EXPECT_NE(CompileErrorOf("a\\"), "");
  const std::string err = CompileErrorOf("\\y\\L");
  EXPECT_EQ(err.rfind("Invalid Pattern '\\y\\L': error at position 4: ", 0), 0u) << err;
  EXPECT_NE(CompileErrorOf("[\\B]", {RegexOption::Extra}), "");
}

TEST(ChecksAudit, LongTextSearchSeesWhatStandsBeforeEveryStartPosition) {
  // Start positions past the first thousand characters are judged by the
  // characters before them, as in one search over the whole text.
  const std::string text = std::string(1024, 'x') + "foo" + std::string(2000, 'y');
  for (const char* pattern : {"(?m)^foo", "\\bfoo", "(?<!x)foo", "\\Afoo", "^foo"})
    EXPECT_FALSE(IsMatch(CreateRegex(pattern, kRuleRegexOptions), text)) << pattern;
  for (const char* pattern : {"(?<=x)foo", "\\Bfoo", "xfoo", "(?<=x{1024})foo"})
    EXPECT_TRUE(IsMatch(CreateRegex(pattern, kRuleRegexOptions), text)) << pattern;
}

TEST(ChecksAudit, MatchStartResetInsideALookaroundIsAccepted) {
  for (const char* pattern : {"(?=ab\\K)", "a(?<=\\Ka)b", "x(?=y\\K)y"}) {
    EXPECT_EQ(CompileErrorOf(pattern), "") << pattern;
    std::string out;
    EXPECT_EQ(EvaluateRegExp(Rule("SUBJECT", "R", pattern), "1 XAB Y", out),
              std::string(pattern) != "x(?=y\\K)y")
        << pattern;
    EXPECT_EQ(out, "") << pattern;
  }
  std::string out;
  EXPECT_TRUE(EvaluateRegExp(Rule("SUBJECT", "R", "x(?=y\\K)y"), "--XY--", out));
  EXPECT_TRUE(Match(CreateRegex("(?=ab\\K)", kRuleRegexOptions), "xab", 0).success);
}

TEST(ChecksAudit, PatternEndsAtItsFirstNulByte) {
  const std::string pattern("abc\0(", 5);
  EXPECT_EQ(CompileErrorOf(pattern), "");
  std::string out;
  EXPECT_TRUE(EvaluateRegExp(Rule("SUBJECT", "R", pattern), "xxABCxx", out));
  EXPECT_EQ(out, "");
  // A NUL in the text is an ordinary character.
  EXPECT_TRUE(IsMatch(CreateRegex("b.c", kRuleRegexOptions), std::string("ab\0cd", 5)));
}
