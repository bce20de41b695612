// The regular-expression layer: compile errors and their texts, matching
// with the rule's options over Windows-1252 text, the match limits and the
// sliced search.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "regex/regex.h"

namespace quelta {
namespace {

// The error text of compiling pattern and searching text with it; "" when both succeed.
std::string ErrorOf(const std::string& pattern, const std::string& text = "") {
  try {
    IsMatch(CreateRegex(pattern), text);
  } catch (const RegexError& e) {
    return e.what();
  }
  return "";
}

bool Matches(const std::string& pattern, std::string_view text) { return IsMatch(CreateRegex(pattern), text); }

TEST(Regex, CompileErrorsNamePatternPositionAndReason) {
  const std::string invalid = "Invalid Pattern '";
  const std::pair<const char*, const char*> cases[] = {
      {"a(b", "a(b': error at position 3: missing closing parenthesis"},
      {"x[a-", "x[a-': error at position 4: missing terminating ] for character class"},
      {"*a", "*a': error at position 0: quantifier does not follow a repeatable item"},
      // The position in the pattern as written, before letter escapes became letters.
      {"\\y\\q(", "\\y\\q(': error at position 5: missing closing parenthesis"},
      {"[\\X\\B]\\F)", "[\\X\\B]\\F)': error at position 8: unmatched closing parenthesis"}};
  for (const auto& [pattern, error] : cases) EXPECT_EQ(ErrorOf(pattern), invalid + error) << pattern;
  EXPECT_THROW(IsMatch(nullptr, "x"), RegexError);
}

TEST(Regex, RuleOptionsOverSingleByteText) {
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"a.b", "A\nB", true},  // ignore case, and the dot matches a line end
      {"a.b", "xxA\r\nB", false},  // the dot is one byte
      {"gr\xE4" "fin", "GR\xE4" "FIN", true}, {"gr\xE4" "fin", "GR\xC4" "FIN", false},  // ASCII folds only
      {"^.\xFF$", "\x80\xFF", true},  // high bytes are characters, not UTF-8
      {"^$", "", true}, {"^.$", "", false},
      {"b", std::string("a\0b", 3), true},  // the text is taken by its length
      {"a\\x00b", std::string("a\0b", 3), true},
      {std::string("x\0z", 3), "x", true},  // the pattern ends at its first NUL
      {"\\y\\Q", "yq", true}, {"[\\X]\\F", "xf", true},  // letter escapes without a meaning
      {"(?=a\\K)a", "a", true},  // \K inside a look-around is accepted
      {"[a-z]+://x\\.org", "http://x.com", false}};
  for (const auto& [pattern, text, match] : cases) EXPECT_EQ(Matches(pattern, text), match) << pattern;
  EXPECT_FALSE(IsMatch(CreateRegex("b"), std::string_view("a\0b", 2)));
}

TEST(Regex, PathologicalPatternsFailWithTheLimits) {
  const std::string almost = std::string(40, 'a') + "!", as = std::string(32768, 'a');
  std::string fields = "p", prose;  // the required "p" is present, just never after 11 fields
  for (int i = 0; i < 1000; ++i) fields += "x,";
  while (prose.size() < 32 * 1024) prose += "Some product text with words, and more words; 12 34. ";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // Exponential backtracking, cut off by the match limit.
      {"(a+)+$", almost, "PCRE2_ERROR_MATCHLIMIT"}, {"^(a|a)*$", almost, "PCRE2_ERROR_MATCHLIMIT"},
      {"^(.*?,){11}P", fields, "PCRE2_ERROR_MATCHLIMIT"},
      {"^(?:(a)|b)*$", std::string(kRegexDepthLimit + 10, 'a') + "!", "PCRE2_ERROR_DEPTHLIMIT"},
      {"^(?:(a)|b)*$", as, ""},
      // A group repeated once per character outgrows the JIT stack; the interpreter answers.
      {"([ab]|[ac])*X", as + "X", ""}, {"^([ab]|[ac])*X", as + "X", ""},
      // Cheap at each start position, but a scan to the end from each: the
      // time budget of the search stops it; a match found early is fine.
      {"[a-z](?:.|\\n)*\\d{5}", prose, "PCRE2_ERROR_MATCHLIMIT"}, {"[a-z](?:.|\\n)*\\d{5}", "a 12345" + prose, ""},
      // Heavy but benign patterns over a large text stay below the limits.
      {".*viagra.*cheap", prose, ""}, {"(.+)+Q", prose, ""}};
  for (const auto& [pattern, text, error] : cases) EXPECT_EQ(ErrorOf(pattern, text), error) << pattern;
  EXPECT_TRUE(Matches("([ab]|[ac])*X", as + "X"));
  EXPECT_TRUE(Matches("a+$", "aaa"));  // the match resources are usable afterwards
}

// Compiled patterns above 64 KiB: the Windows builds link their own PCRE2
// with 4-byte offsets and take them; Debian's library (2-byte offsets)
// refuses them with a clear reason, which the command's lint reports.
TEST(Regex, PatternsAboveSixtyFourKibibytesCompiled) {
  std::string big = "(?:";
  for (int i = 0; i < 9000; ++i) big += "w" + std::to_string(i) + "x|";
  big += "end)";
#if defined(_WIN32)
  EXPECT_EQ(ErrorOf(big), "");
  EXPECT_TRUE(Matches(big, "w8999x"));
#else
  EXPECT_NE(ErrorOf(big).find("regular expression is too large"), std::string::npos);
#endif
}

TEST(Regex, SlicedSearchGivesTheAnswerOfOneSearch) {
  const std::size_t n = kRegexSliceLength;
  for (std::size_t pos : {std::size_t{0}, n - 2, n - 1, n, n + 1, 2 * n - 1, 2 * n, std::size_t{5997}}) {
    std::string text(6000, 'x');
    text.replace(pos, 3, "abc");
    EXPECT_TRUE(Matches("[ab]bc", text)) << pos;
    text[pos + 2] = 'x';
    EXPECT_FALSE(Matches("[ab]bc", text)) << pos;
  }
  std::string text(3000, 'x');
  text.replace(n - 1, 2, "qa");
  EXPECT_TRUE(Matches("(?<=q)a", text));  // look-behind sees the text before a slice
  EXPECT_TRUE(Matches("[q]x*$", text.substr(0, n) + std::string(2000, 'x')));
  EXPECT_FALSE(Matches("[q]x*y", text));
  // Backtracking verbs and \G act on the whole search: (*COMMIT) after the
  // first "a" ends it when "b" fails; \G holds only where the text starts.
  EXPECT_FALSE(Matches("a(*COMMIT)b", "ac" + std::string(3000, 'x') + "ab"));
  text.assign(3000, 'x');
  text[2 * n] = 'a';
  EXPECT_FALSE(Matches("\\Ga|zz", text));
  EXPECT_TRUE(Matches("\\Gx|zz", text));
  // A search in one piece after a sliced one that stopped in its first slice
  // still reaches the end of its text.
  EXPECT_TRUE(Matches("[ab]bc", "abc" + text));
  EXPECT_TRUE(Matches("\\Gq|zz", text + "zz"));
}

// A search from given starts tries matches there only (and between starts
// close together), with what comes before a start still in sight; the
// budget of the whole search holds. A pattern whose matches depend on where
// the search starts is searched whole.
TEST(Regex, SearchFromStartsTriesThoseOnly) {
  std::string text(4000, 'x');
  text.replace(100, 3, "abc");
  text.replace(3000, 4, "qabc");
  const RegexRef abc = CreateRegex("abc"), afterQ = CreateRegex("(?<=q)abc");
  using Starts = std::vector<std::uint32_t>;
  const std::tuple<const RegexRef*, Starts, bool> cases[] = {
      {&abc, {}, false},          {&abc, {99}, false},         {&abc, {100}, true},
      {&abc, {90, 99}, false},    {&abc, {90, 99, 102}, true},  // joined: 100 lies between
      {&abc, {5, 3001}, true},    {&abc, {3001, 9000}, true},   {&abc, {4000}, false},
      {&afterQ, {100}, false},    {&afterQ, {3001}, true}};
  for (const auto& [re, starts, want] : cases) EXPECT_EQ(IsMatchFrom(**re, text, &starts), want) << starts.size();
  EXPECT_TRUE(IsMatchFrom(*abc, text, nullptr));
  EXPECT_TRUE(SearchesFromAnyStart(*abc));
  // Or at every offset of a range, which may cross the slices of a search.
  const std::tuple<const RegexRef*, std::size_t, std::size_t, bool> ranges[] = {
      {&abc, 0, 99, false},       {&abc, 0, 100, true},         {&abc, 100, 100, true},
      {&abc, 101, 3000, false},   {&abc, 101, 3001, true},      {&abc, 2000, SIZE_MAX, true},
      {&abc, 3002, SIZE_MAX, false}, {&abc, 200, 100, false},   {&afterQ, 0, 3000, false},
      {&afterQ, 3001, 3001, true}};
  for (const auto& [re, first, last, want] : ranges)
    EXPECT_EQ(IsMatchFrom(**re, text, StartOffsets{nullptr, first, last}), want) << first << ".." << last;
  // A match at the text's end starts there.
  const RegexRef end = CreateRegex("\\z");
  EXPECT_FALSE(IsMatchFrom(*end, "ab", StartOffsets{nullptr, 0, 1}));
  EXPECT_TRUE(IsMatchFrom(*end, "ab", StartOffsets{nullptr, 2, 2}));
  EXPECT_TRUE(IsMatchFrom(*end, text, StartOffsets{nullptr, 3900, 4000}));

  const RegexRef atStart = CreateRegex("\\Gxx|zz"), commit = CreateRegex("a(*COMMIT)b");
  EXPECT_FALSE(SearchesFromAnyStart(*atStart));
  EXPECT_FALSE(SearchesFromAnyStart(*commit));
  const Starts middle = {50};
  EXPECT_TRUE(IsMatchFrom(*atStart, text, &middle));  // \G holds at 0 only; searched whole
  EXPECT_TRUE(IsMatchFrom(*atStart, text, StartOffsets{nullptr, 50, 60}));
  EXPECT_FALSE(IsMatchFrom(*commit, "ac" + std::string(50, 'x') + "ab", &middle));

  // Every one of many scattered starts tried, under the time budget.
  std::string prose;
  while (prose.size() < 32 * 1024) prose += "Some product text with words, and more words; 12 34. ";
  Starts everywhere;
  for (std::uint32_t at = 0; at < prose.size(); at += 2) everywhere.push_back(at);
  EXPECT_THROW(IsMatchFrom(*CreateRegex("[a-z](?:.|\\n)*\\d{5}"), prose, &everywhere), RegexError);
}

}  // namespace
}  // namespace quelta
