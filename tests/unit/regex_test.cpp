// The regular-expression layer: compile errors and their texts, the study
// decision, matching with the rule's options over Windows-1252 text, match
// offsets and groups, the match limits, and the pattern cache.
#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <string>
#include <thread>
#include <vector>

#include <pcre2.h>

#include "regex/regex.h"

using namespace quelta;

namespace {

std::string CompileError(const std::string& pattern, RegexOptions o = kRuleRegexOptions) {
  try {
    CreateRegex(pattern, o);
  } catch (const RegexError& e) {
    return e.what();
  }
  return "";
}

std::string MatchError(const std::string& pattern, const std::string& text) {
  try {
    IsMatch(CreateRegex(pattern, kRuleRegexOptions), text);
  } catch (const RegexError& e) {
    return e.what();
  }
  return "";
}


}  // namespace

TEST(Regex, InvalidPatternTextNamesPatternOffsetAndReason) {
  EXPECT_EQ(CompileError("a(b"),
            "Invalid Pattern 'a(b': error at position 3: missing closing parenthesis");
  EXPECT_EQ(CompileError("x[a-"),
            "Invalid Pattern 'x[a-': error at position 4: missing terminating ] for character class");
  EXPECT_EQ(CompileError("ab)"),
            "Invalid Pattern 'ab)': error at position 2: unmatched closing parenthesis");
  EXPECT_EQ(CompileError("*a"),
            "Invalid Pattern '*a': error at position 0: quantifier does not follow a repeatable item");
}

TEST(Regex, UnknownLetterEscapeIsAnErrorOnlyWithExtra) {
  // The layer's "extra" option makes unknown letter escapes errors; without
  // it "\\i" is the letter i.
  EXPECT_EQ(CompileError("\\i"), "");
  EXPECT_NE(CompileError("\\i", {RegexOption::Extra}), "");
}

TEST(Regex, RuleOptionsIgnoreCaseAndLetDotMatchLineEnds) {
  const RegexRef re = CreateRegex("a.b", kRuleRegexOptions);
  EXPECT_TRUE(IsMatch(re, "A\nB"));
  EXPECT_TRUE(IsMatch(re, "xxA\r\nB") == false);  // the dot is one byte
  EXPECT_TRUE(IsMatch(re, "xxa\rb"));
  // Without the options the same texts do not match.
  const RegexRef plain = CreateRegex("a.b", {});
  EXPECT_FALSE(IsMatch(plain, "A\nB"));
  EXPECT_FALSE(IsMatch(plain, "a\nb"));
  EXPECT_TRUE(IsMatch(plain, "a-b"));
}

TEST(Regex, CaseFoldingFollowsTheCTablesOnly) {
  // With the built-in "C" tables only ASCII letters fold; the Windows-1252
  // letters A-umlaut (0xC4) and a-umlaut (0xE4) stay distinct.
  const RegexRef re = CreateRegex("gr\xE4" "fin", kRuleRegexOptions);
  EXPECT_TRUE(IsMatch(re, "GR\xE4" "FIN"));
  EXPECT_FALSE(IsMatch(re, "GR\xC4" "FIN"));
  // High bytes are ordinary characters, not UTF-8.
  EXPECT_TRUE(IsMatch(CreateRegex("^.\xFF$", kRuleRegexOptions), "\x80\xFF"));
}

TEST(Regex, EmptyTextMatchesEmptyAnchors) {
  EXPECT_TRUE(IsMatch(CreateRegex("^$", kRuleRegexOptions), ""));
  EXPECT_TRUE(IsMatch(CreateRegex("", kRuleRegexOptions), ""));
  EXPECT_FALSE(IsMatch(CreateRegex("^.$", kRuleRegexOptions), ""));
}

TEST(Regex, SubjectIsTakenByLengthNotByTerminator) {
  const std::string text("a\0b", 3);
  EXPECT_TRUE(IsMatch(CreateRegex("b", kRuleRegexOptions), text));
  EXPECT_TRUE(IsMatch(CreateRegex("a\\x00b", kRuleRegexOptions), text));
  EXPECT_FALSE(IsMatch(CreateRegex("b", kRuleRegexOptions), std::string_view(text).substr(0, 2)));
}

TEST(Regex, StudyOnlyWithoutAnchorAndFixedFirstCharacter) {
  struct {
    const char* pattern;
    bool studied;
  } cases[] = {
      {"viagra", false},         // literal first character
      {"(?:viagra|vicodin)", false},  // still one fixed first character
      {"^free", false},          // anchored
      {"\\Afree", false},        // anchored
      {"[vw]iagra", true},       // a class
      {"(?:cheap|free) pills", true},
      {"\\d{3}-\\d{4}", true},
  };
  for (const auto& c : cases) {
    const RegexRef re = CreateRegex(c.pattern, kRuleRegexOptions);
    EXPECT_EQ(re->Studied(), c.studied) << c.pattern;
  }
}

TEST(Regex, StudiedAndUnstudiedPatternsAgree) {
  const std::string text = "Buy CHEAP pills now\r\nvisit http://example.com/x?y=1";
  EXPECT_TRUE(IsMatch(CreateRegex("(?:cheap|free) pills", kRuleRegexOptions), text));
  EXPECT_TRUE(IsMatch(CreateRegex("cheap pills", kRuleRegexOptions), text));
  EXPECT_TRUE(IsMatch(CreateRegex("[a-z]+://example\\.com", kRuleRegexOptions), text));
  EXPECT_FALSE(IsMatch(CreateRegex("[a-z]+://example\\.org", kRuleRegexOptions), text));
}

TEST(Regex, MatchOffsetsAndGroups) {
  const RegexRef re = CreateRegex("(?<user>\\w+)@(\\w+)\\.com", kRuleRegexOptions);
  EXPECT_EQ(re->CaptureCount(), 2);
  EXPECT_EQ(re->Names().Find("user"), 1);
  EXPECT_EQ(re->Names().Find("host"), -1);

  const std::string text = "mail joe@example.com and ann@test.com";
  RegexMatch m = Match(re, text, 0);
  ASSERT_TRUE(m.success);
  ASSERT_EQ(m.groups.size(), 3u);
  EXPECT_EQ(m.groups[0].value, "joe@example.com");
  EXPECT_EQ(m.groups[0].index, 5);
  EXPECT_EQ(m.groups[1].value, "joe");
  EXPECT_EQ(m.groups[2].value, "example");

  m = Match(re, text, 6);  // inside the first address: "oe@example.com"
  ASSERT_TRUE(m.success);
  EXPECT_EQ(m.groups[1].value, "oe");
  m = Match(re, text, 21);
  ASSERT_TRUE(m.success);
  EXPECT_EQ(m.groups[1].value, "ann");

  // Offsets outside the text are failed matches, not errors.
  EXPECT_FALSE(Match(re, text, -1).success);
  EXPECT_FALSE(Match(re, text, static_cast<int>(text.size()) + 1).success);
  EXPECT_TRUE(Match(CreateRegex("$", {}), text, static_cast<int>(text.size())).success);
}

TEST(Regex, UnsetGroupHasNoIndex) {
  const RegexMatch m = Match(CreateRegex("(a)|(b)", {}), "b", 0);
  ASSERT_TRUE(m.success);
  ASSERT_EQ(m.groups.size(), 3u);
  EXPECT_EQ(m.groups[1].index, -1);
  EXPECT_EQ(m.groups[2].value, "b");
}

TEST(Regex, ExecutionOptions) {
  const RegexRef re = CreateRegex("abc", {});
  EXPECT_TRUE(Match(re, "xabc", 0).success);
  EXPECT_FALSE(Match(re, "xabc", 0, {RegexOption::Anchored}).success);
  EXPECT_TRUE(Match(re, "xabc", 1, {RegexOption::Anchored}).success);
  // A soft partial match is reported as the partial-match error.
  try {
    Match(re, "xab", 0, {RegexOption::Partial});
    ADD_FAILURE() << "no error";
  } catch (const RegexError& e) {
    EXPECT_STREQ(e.what(), "PCRE2_ERROR_PARTIAL");
  }
}

TEST(Regex, CompileOptionsMapToPcre2) {
  EXPECT_TRUE(IsMatch(CreateRegex("a b # comment", {RegexOption::Extended}), "ab"));
  EXPECT_TRUE(IsMatch(CreateRegex("^b", {RegexOption::MultiLine}), "a\nb"));
  EXPECT_FALSE(IsMatch(CreateRegex("^b", {}), "a\nb"));
  EXPECT_FALSE(IsMatch(CreateRegex("a$", {RegexOption::DollarEndOnly}), "a\n"));
  EXPECT_TRUE(IsMatch(CreateRegex("a$", {}), "a\n"));
  EXPECT_EQ(Match(CreateRegex("a+", {RegexOption::Ungreedy}), "aaa", 0).groups[0].value, "a");
  EXPECT_EQ(CreateRegex("(a)(b)", {RegexOption::NoAutoCapture})->CaptureCount(), 0);
  EXPECT_FALSE(IsMatch(CreateRegex("b", {RegexOption::FirstLine}), "a\nb"));
  EXPECT_FALSE(IsMatch(CreateRegex("b", {RegexOption::Anchored}), "ab"));
  // UTF-8 mode: one character of two bytes; an invalid sequence is an error.
  EXPECT_TRUE(IsMatch(CreateRegex("^.$", {RegexOption::UTF8}), "\xC3\xA4"));
  EXPECT_EQ(MatchError("x", "x"), "");
  try {
    IsMatch(CreateRegex("x", {RegexOption::UTF8}), "\xC3");
    ADD_FAILURE() << "no error";
  } catch (const RegexError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("PCRE2_ERROR_UTF8_ERR", 0), 0u) << e.what();
  }
}

TEST(Regex, CatastrophicBacktrackingFailsWithMatchLimit) {
  // Nested quantifiers over a text that almost matches: exponential
  // backtracking that the match limit cuts off.
  EXPECT_EQ(MatchError("(a+)+$", std::string(40, 'a') + "!"), "PCRE2_ERROR_MATCHLIMIT");
  EXPECT_EQ(MatchError("^(a|a)*$", std::string(40, 'a') + "!"), "PCRE2_ERROR_MATCHLIMIT");
  // The same through the JIT-compiled (studied) road.
  EXPECT_EQ(MatchError("([ab]+)+$", std::string(40, 'a') + "!"), "PCRE2_ERROR_MATCHLIMIT");
  std::string fields = "p";  // the required "p" is present, just never after 11 fields
  for (int i = 0; i < 1000; ++i) fields += "x,";
  EXPECT_EQ(MatchError("^(.*?,){11}P", fields), "PCRE2_ERROR_MATCHLIMIT");
  // The thread's match state is usable afterwards.
  EXPECT_TRUE(IsMatch(CreateRegex("a+$", kRuleRegexOptions), "aaa"));
}

TEST(Regex, DeepRecursionFailsWithDepthLimit) {
  const std::string text = std::string(kRegexDepthLimit + 10, 'a') + "!";
  EXPECT_EQ(MatchError("^(?:(a)|b)*$", text), "PCRE2_ERROR_DEPTHLIMIT");
  // Well within the limit the same pattern works.
  EXPECT_TRUE(IsMatch(CreateRegex("^(?:(a)|b)*$", kRuleRegexOptions), std::string(32768, 'a')));
}

TEST(Regex, LongRepeatedGroupsGiveTheSameAnswerStudiedOrNot) {
  // A group repeated once per character of a 32 KB text outgrows the JIT
  // stack; the answer is still the interpreter's.
  const std::string text = std::string(32768, 'a') + "X";
  EXPECT_TRUE(IsMatch(CreateRegex("([ab]|[ac])*X", kRuleRegexOptions), text));  // studied
  EXPECT_TRUE(IsMatch(CreateRegex("^([ab]|[ac])*X", kRuleRegexOptions), text));  // not studied
  const RegexMatch m = Match(CreateRegex("([ab]|[ac])*X", kRuleRegexOptions), text, 0);
  ASSERT_TRUE(m.success);
  EXPECT_EQ(m.groups[0].length, 32769);
  EXPECT_EQ(m.groups[1].value, "a");
}

TEST(Regex, ManyCheapStartPositionsFailWithTheTimeBudget) {
  // Each start position costs little (below the match limit), but a letter
  // at every position and a scan to the end from each: quadratic in the
  // text, minutes without the budget.
  std::string text;
  while (text.size() < 32 * 1024) text += "Some product text with words, and more words; 12 34. ";
  EXPECT_EQ(MatchError("[a-z](?:.|\\n)*\\d{5}", text), "PCRE2_ERROR_MATCHLIMIT");
  // The same pattern over a text it matches early is fine.
  EXPECT_EQ(MatchError("[a-z](?:.|\\n)*\\d{5}", "abc 12345" + text), "");
}

TEST(Regex, SlicedSearchFindsTheLeftmostMatch) {
  // Matches placed around the slice boundaries of a long text.
  for (std::size_t pos : {std::size_t{0}, kRegexSliceLength - 1, kRegexSliceLength,
                          kRegexSliceLength + 1, 3 * kRegexSliceLength - 2, std::size_t{5000}}) {
    std::string text(6000, 'x');
    text.replace(pos, 3, "abc");
    text.replace(5990, 3, "abc");
    const RegexMatch m = Match(CreateRegex("[ab]bc", kRuleRegexOptions), text, 0);
    ASSERT_TRUE(m.success) << pos;
    EXPECT_EQ(m.groups[0].index, static_cast<int>(pos)) << pos;
    // a start offset inside the text
    const RegexMatch m2 = Match(CreateRegex("[ab]bc", kRuleRegexOptions), text,
                                 static_cast<int>(pos) + 1);
    ASSERT_TRUE(m2.success) << pos;
    EXPECT_EQ(m2.groups[0].index, 5990) << pos;
  }
  // Look-behind sees the text before a slice; a match may run past it.
  std::string text(3000, 'x');
  text.replace(kRegexSliceLength - 1, 2, "qa");
  RegexMatch m = Match(CreateRegex("(?<=q)a", kRuleRegexOptions), text, 0);
  ASSERT_TRUE(m.success);
  EXPECT_EQ(m.groups[0].index, static_cast<int>(kRegexSliceLength));
  std::string tail(3000, 'x');
  tail[kRegexSliceLength - 1] = 'q';
  m = Match(CreateRegex("[q]x*$", kRuleRegexOptions), tail, 0);
  ASSERT_TRUE(m.success);
  EXPECT_EQ(m.groups[0].length, static_cast<int>(3000 - kRegexSliceLength + 1));
  EXPECT_FALSE(IsMatch(CreateRegex("[q]x*y", kRuleRegexOptions), tail));
}

TEST(Regex, BacktrackingVerbsActAcrossTheWholeSearch) {
  // (*COMMIT) after the first "a" ends the whole search when "b" fails.
  const std::string text = "ac" + std::string(3000, 'x') + "ab";
  EXPECT_FALSE(IsMatch(CreateRegex("a(*COMMIT)b", kRuleRegexOptions), text));
  EXPECT_TRUE(IsMatch(CreateRegex("ab", kRuleRegexOptions), text));
}

TEST(Regex, HeavyButBenignPatternsOverALargeTextStayBelowTheLimits) {
  std::string text;
  while (text.size() < 32768)
    text += "Hello world, some text with words 12345 and http://www.example.com/p?x=1\r\n";
  text.resize(32768);
  const char* patterns[] = {".*viagra.*cheap", "(?:\\w|\\s|[,.:/?=])*!$", "http://[^ ]+\\.ru",
                            "([a-z]+\\s?)+Q", "w.*z.*q", "(.+)+Q"};
  for (const char* p : patterns) EXPECT_EQ(MatchError(p, text), "") << p;
}

TEST(Regex, ErrorNames) {
  EXPECT_EQ(RegexErrorName(PCRE2_ERROR_MATCHLIMIT), "PCRE2_ERROR_MATCHLIMIT");
  EXPECT_EQ(RegexErrorName(PCRE2_ERROR_DEPTHLIMIT), "PCRE2_ERROR_DEPTHLIMIT");
  EXPECT_EQ(RegexErrorName(PCRE2_ERROR_NOMEMORY), "PCRE2_ERROR_NOMEMORY");
  EXPECT_EQ(RegexErrorName(PCRE2_ERROR_BADUTFOFFSET), "PCRE2_ERROR_BADUTFOFFSET");
  EXPECT_EQ(RegexErrorName(-1000), "Unknown PCRE error code -1000");
  EXPECT_EQ(RegexErrorName(5), "Unknown PCRE error code 5");
}

TEST(Regex, OtherLocaleBuildsTablesOrFailsAsLocaleError) {
  EXPECT_THROW(CreateRegex("a", kRuleRegexOptions, "no_such_locale.XYZ", LC_CTYPE),
               RegexLocaleError);
  // "C" under another category than 0 makes tables from the C locale: they
  // behave as the built-in ones. (Category numbers differ between systems.)
  const int category = LC_CTYPE != 0 ? LC_CTYPE : LC_ALL;
  const RegexRef re = CreateRegex("a.b", kRuleRegexOptions, "C", category);
  EXPECT_NE(re->Locale().Tables(), nullptr);
  EXPECT_TRUE(IsMatch(re, "A\nB"));
  EXPECT_EQ(CreateRegex("a", kRuleRegexOptions)->Locale().Tables(), nullptr);
}

// ---- Cache ---------------------------------------------------------------------

TEST(RegexCache, SameResultsAndErrorTextsAsCompilingAfresh) {
  ClearRegexCache();
  const char* patterns[] = {"a(b", "viagra", "[vw]iagra", "^$", "x{2,1}", "(?<n>a)(?<n>b)"};
  const std::string texts[] = {"", "VIAGRA", "wiagra", "a(b", "xx"};
  for (int round = 0; round < 2; ++round) {  // second round: from the cache
    for (const char* p : patterns) {
      std::string fresh, cached;
      RegexRef a, b;
      try { a = CreateRegex(p, kRuleRegexOptions); } catch (const RegexError& e) { fresh = e.what(); }
      try { b = AcquireRegex(p, kRuleRegexOptions); } catch (const RegexError& e) { cached = e.what(); }
      EXPECT_EQ(fresh, cached) << p;
      ASSERT_EQ(a == nullptr, b == nullptr) << p;
      if (!a) continue;
      for (const std::string& t : texts) EXPECT_EQ(IsMatch(a, t), IsMatch(b, t)) << p << " " << t;
    }
  }
}

TEST(RegexCache, KeyIncludesTheOptions) {
  ClearRegexCache();
  EXPECT_TRUE(IsMatch(AcquireRegex("a.b", kRuleRegexOptions), "A\nB"));
  EXPECT_FALSE(IsMatch(AcquireRegex("a.b", {}), "A\nB"));
  EXPECT_EQ(AcquireRegex("a.b", kRuleRegexOptions), AcquireRegex("a.b", kRuleRegexOptions));
}

TEST(RegexCache, IsBounded) {
  ClearRegexCache();
  for (int i = 0; i < 5000; ++i) AcquireRegex("word" + std::to_string(i), kRuleRegexOptions);
  EXPECT_LE(RegexCacheSize(), 4096u);
  EXPECT_GT(RegexCacheSize(), 0u);
  // An evicted pattern still referenced elsewhere stays usable.
  const RegexRef held = AcquireRegex("held[0-9]", kRuleRegexOptions);
  for (int i = 0; i < 5000; ++i) AcquireRegex("other" + std::to_string(i), kRuleRegexOptions);
  EXPECT_TRUE(IsMatch(held, "HELD7"));
  ClearRegexCache();
  EXPECT_EQ(RegexCacheSize(), 0u);
}

TEST(RegexCache, ConcurrentUseGivesCorrectResults) {
  ClearRegexCache();
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 400; ++i) {
        const int k = (i + t * 7) % 50;
        const std::string pattern = "[a-z]+" + std::to_string(k) + "x";
        try {
          const RegexRef re = AcquireRegex(pattern, kRuleRegexOptions);
          if (!IsMatch(re, "ABC" + std::to_string(k) + "X")) ++wrong;
          if (IsMatch(re, "ABC" + std::to_string(k + 100) + "y")) ++wrong;
          AcquireRegex("a(b", kRuleRegexOptions);
          ++wrong;
        } catch (const RegexError& e) {
          if (std::string(e.what()).rfind("Invalid Pattern 'a(b'", 0) != 0) ++wrong;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}
