// The required-literal prefilter against PCRE2 itself: for hand-picked hard
// patterns and a fuzzed pattern set, crossed with hand-picked and random
// texts, a pattern that the scanner says cannot match a text really does not
// match it (compiled as a regular-expression rule compiles it). Also: the
// extraction finds the literals it should on plain cases, so that the
// differential test cannot pass by filtering nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "regex/regex.h"
#include "regex/relaxed_matcher.h"
#include "regex/required_literals.h"

using namespace quelta;

namespace {

using namespace std::string_literals;

const std::vector<std::string> kHardPatterns = {
    "abc|", "|abc", "abc|def", "(?:abc)?def", "colou?r", "abc{0}def", "(abc){0}xyz", "a(bc){2}d", "ab{2,3}c",
    "(ab)+cd", "(?:ab|cd)*efg", "ABC", "(?-i)ABC", "(?i)abc", "a(?i)bc", "A(?-i:B)C", "(?x) a b c",
    "(?-i)x[^a]", "(?-i)^[^a-z]+$", "x(?-i:[^b])c", "(?^)[^a]b", "(?-i)(?i)x[^a]", "(?-i:x)[^a]",
    "(?-i)[^[:^upper:]]b", "(?-s)a.b", "(?-s:a.)b", "(?^)a.b", "(?-s)a(?s).b", "(?-s)a(?s:.)b", "(?-s)a.{0,3}b", "(?:(?-s)x)a.b", "(?:(?-i)x)[^a]b",
    "(?-i)Ab[C-E]", "(?-i)a\\x42c", "(?-i:a)BC", "(?-i)a(?i)bc", "(?-i)[[:upper:]]b",
    "(?x)a b c # note\n d", "(?x)ab[ ]c", "(?x:a b)c d", "(?x)a\\ b", "(?x)ab +c", "(?x)a#x\rbc",
    "(?xx)a[ b]c", "(?^x)a b c", "a(?x)b c|d e", "a\\x62c", "a\\x{62}c", "a\\142c", "\\0141bc", "a\\o{142}c",
    "ab\\Kcd", "(?<=ab)cd", "ab(?=cd)", "ab(?!cd)cde", "\\bfoo\\b", "^foo$", "foo\\z", "\\Afoo\\Z",
    "(a|b)(c|d)(e|f)", "((abc|def)ghi|jkl)mno", "[abc]def", "[]a]bcd", "[\\]]xyz", "[[:alpha:]]bcd",
    "[[:alpha:]x]yz", "[^a]bcd", "[a-c]{3}", "\xE9t\xE9", "\x80\x81\x82", "\xC9T\xC9", "a.c", "a\\.c.d",
    "(a)\\1bcd", "(?<n>ab)\\k<n>cd", "(?P<n>ab)(?P=n)", "(ab)\\g{1}c", "(ab)\\g-1c", "abc{,2}", "abc{1, 2}",
    "ab{x}c", "ab{2c", "a\\yb", "(?#comment)abc", "ab(?#c)+c", "\\Qa.b\\E", "(*ACCEPT)abc", "ab(*ACCEPT)cde",
    "(?(1)ab|cd)", "(?s).*abc", "(?m)^abc$", "a\\Ebc", "abc\\", "(abc", "abc\0def"s, "a\\cAbc",
    "\\d\\dabc\\d", "\\w+@\\w+\\.com", "(?|(ab)|(cd))ef", "(?>abc|ab)c", "ab*?c", "ab++c", "a{2}+bc",
    "(a(b(c)))d", "(?:(?:(?:abc)))", "x(?1)?(abc)", "(?R)?abc", "\\p{L}bc", "a\\N{2}d", "\\R\\Rab",
    "a(?=b)bc", "(?!abc)abc", "\\babc\\B", "a$bc", "a\\b c", "abc\\Z\\n?", "\\n\\r\\tab", "a\\ec", "\\x{}ab",
    "\\x{100}ab"};

const std::vector<std::string> kHardTexts = {
    "", "abc", "ABC", "aBc", "abdef", "def", "colour", "color", "xyz", "ab cd", "a b c", "a b c d", "abcd",
    "abbbc", "acd", "cd", "ab", "ab\ncd", "ab\rcd", "\xE9t\xE9", "\xC9T\xC9", "\xC9t\xE9", "\x80\x81\x82",
    "abcabc", "aabbcc", "ace", "bdf", "foo", " foo ", "FOO\n", "abcghimno", "jklmno", "defghimno", "]abcd",
    "xbcd", "ab{x}c", "ab{2c", "abxcd", "ayb", "aybc", "a.b", "a\x01" "bc", "12abc3", "me@host.com", "abef",
    "cdef", "abcc", "abbc", "ababcd", "\r\nab", "\n\r\tab", "a\x1b" "c", "abcde", "abcdefghij", "abc\0def"s,
    "abc def", "abc{2}def", "abcdabcd", "zzabczz", "xA", "xBc", "Ab", "a\nb", "a\rb", "a\n\nb", "a\r\nb", "AbD", "aBC", "xa\nb", "xAb"};

// Picks from v with the standard's fully specified generator (the same
// sequence on every platform).
template <class T>
const T& Pick(std::mt19937& rng, const std::vector<T>& v) {
  return v[rng() % v.size()];
}

const std::vector<std::string> kPieces = {
    "a", "b", "c", "A", "B", "C", "abc", "bca", "cab", "aBc", "ab", "\xE9", "\xC9", "\x80", "abc", "bca",
    "cab", "cba", "ABC", "bc", "ca", "\xE9t\xE9", "-", " ", "\\.", ".", "\\n", "[ab]", "[^a]", "[a-c]",
    "[]a]", "[[:alpha:]]", "\\d", "\\w", "\\s", "\\W", "\\b", "\\B", "\\x41", "\\x{62}", "\\101", "\\0141",
    "\\t", "\\\\", "\\y", "^", "$", "\\A", "\\z", "\\Z", "\\K", "\\1", "(?i)", "(?-i)", "(?s)", "(?x)",
    "(?-x)", "#c\n", "(?#c)", "{x}", "{", "\\Qa\\E", "(*FAIL)", "[\\h\\v]", "[[:punct:]]", "[^\\W\\d]",
    "[a-c-e]", "[\\x80-\\xff]", "[^]a]", "[\\d-z]", "\\R", "\\X", "\\H", "\\N", "[\\b]", "[\\101]",
    "(?:\xC3\xA9|\xC3\x89|e|\xE9|&#233;|&eacute;)"};
const std::vector<std::string> kQuantifiers = {
    "", "", "", "", "", "", "", "", "?", "*", "+", "{0}", "{1}", "{2}", "{1,2}", "{0,1}", "{2,}", "??", "*+",
    "{,2}", "{ 1}"};
const std::vector<std::string> kGroupOpeners = {
    "(", "(?:", "(?i:", "(?-i:", "(?x:", "(?=", "(?!", "(?<=", "(?<!", "(?>", "(?|"};
// Pieces after which a quantifier is a compile error.
bool Unquantifiable(const std::string& piece) {
  return piece[0] == '^' || piece[0] == '$' || piece[0] == '#' ||
         (piece.size() > 1 && piece[0] == '(' && (piece[1] == '?' || piece[1] == '*')) ||
         (piece.size() == 2 && piece[0] == '\\' && std::string("bBAzZK").find(piece[1]) != std::string::npos);
}

std::string FuzzPattern(std::mt19937& rng, int depth) {
  std::string p;
  for (std::size_t i = 0, items = 1 + rng() % 4; i < items; ++i) {
    if (depth < 3 && rng() % 5 == 0) {
      const std::string& opener = Pick(rng, kGroupOpeners);
      if (opener == "(?<=" || opener == "(?<!") {
        p += opener + "ab)";  // lookbehinds must have a fixed length
      } else {
        p += opener + FuzzPattern(rng, depth + 1);
        if (rng() % 3 == 0) p += "|" + (rng() % 3 == 0 ? "" : FuzzPattern(rng, depth + 1));
        p += ")";
      }
    } else {
      const std::string& piece = Pick(rng, kPieces);
      p += piece;
      if (Unquantifiable(piece)) continue;
    }
    p += Pick(rng, kQuantifiers);
  }
  if (depth == 0 && rng() % 6 == 0) p += "|" + FuzzPattern(rng, 1);
  return p;
}

std::string FuzzText(std::mt19937& rng) {
  std::string t;
  for (std::size_t i = 0, n = rng() % 4; i < n; ++i) t += Pick(rng, rng() % 2 ? kHardTexts : kPieces);
  return t;
}

// The hard patterns and texts plus fuzzed ones; of the patterns only those
// that compile (the others always report an error), with their compiled form.
struct FuzzSet {
  std::vector<std::string> patterns;
  std::vector<RegexRef> compiled;
  std::vector<std::string> texts;
};

FuzzSet MakeFuzzSet(std::mt19937 rng, int fuzzedTexts) {
  std::vector<std::string> patterns = kHardPatterns;
  for (int i = 0; i < 3000; ++i) patterns.push_back(FuzzPattern(rng, 0));
  // Words apart from each other, each a literal of its own.
  const std::vector<std::string> gaps = {".*", ".{0,3}", "\\s+", "[^c]?", "(?:x|yz)*", "\\b.+?"};
  const std::vector<std::string> words = {"abc", "bca", "cab", "ABC", "cba", "\xE9t\xE9",
                                          "(?:abc|cab)", "xyz", "foo", "def", "mno"};
  for (int i = 0; i < 400; ++i)
    patterns.push_back(Pick(rng, words) + Pick(rng, gaps) + Pick(rng, words) + FuzzPattern(rng, 2));
  FuzzSet set;
  set.texts = kHardTexts;
  for (int i = 0; i < fuzzedTexts; ++i) set.texts.push_back(FuzzText(rng));
  for (const auto& p : patterns) {
    try {
      set.compiled.push_back(CreateRegex(p));
    } catch (const RegexError&) {
      continue;
    }
    set.patterns.push_back(p);
  }
  return set;
}

// Whether the pattern matches; a search that fails counts as no match.
bool Matches(const RegexRef& re, const std::string& text) {
  try {
    return IsMatch(re, text);
  } catch (const RegexError&) {
    return false;
  }
}

}  // namespace

TEST(RequiredLiteralsTest, AScannedOutPatternNeverMatches) {
  const FuzzSet set = MakeFuzzSet(std::mt19937(), 100);
  const std::vector<std::string>& used = set.patterns;
  const std::vector<std::string>& texts = set.texts;
  std::vector<RequiredLiterals> literals;
  std::size_t filtered = 0, skipped = 0;
  for (const auto& p : used) {
    literals.push_back(ExtractRequiredLiterals(p));
    filtered += literals.back().always ? 0 : 1;
  }
  const LiteralScanner scanner(literals);
  std::vector<std::uint8_t> mayMatch;
  LiteralHits hits;
  std::vector<LiteralHit> own;
  std::size_t listed = 0;
  for (const auto& text : texts) {
    scanner.Scan(text, mayMatch, nullptr, &hits);
    ASSERT_EQ(mayMatch.size(), used.size());
    for (std::size_t i = 0; i < used.size(); ++i) {
      const bool matches = Matches(set.compiled[i], text);
      if (!mayMatch[i]) {
        ++skipped;
        EXPECT_FALSE(matches) << "the prefilter ruled out '" << used[i] << "' for '" << text << "'";
      } else if (scanner.ListsHits(i)) {
        // Searched only where its literals tell a match may start, the
        // pattern still gives the answer of the whole search.
        ++listed;
        hits.Of(static_cast<std::uint32_t>(i), own);
        std::vector<std::uint32_t> starts;
        StartsNearHits(own, literals[i].lead, starts);
        bool fromStarts = false;
        try {
          fromStarts = IsMatchFrom(*set.compiled[i], text, &starts);
        } catch (const RegexError&) {
        }
        EXPECT_EQ(fromStarts, matches) << "'" << used[i] << "' on '" << text << "'";
      }
    }
  }
  // The test means something only if the prefilter rules out a fair share.
  EXPECT_GT(filtered, used.size() / 8);
  EXPECT_GT(skipped, used.size() * texts.size() / 10);
  EXPECT_GT(listed, used.size() / 8);
}

// A scanner of more states than 16 bits can number finds what a small one
// does, in each part of a longer text.
TEST(RequiredLiteralsTest, ScannerOfManyStates) {
  std::mt19937 rng(7);
  std::vector<RequiredLiterals> patterns(14000);
  for (RequiredLiterals& p : patterns) {
    std::string literal(8, 'a');
    for (char& c : literal) c = static_cast<char>('a' + rng() % 26);
    p.always = false;
    p.anyOf = {literal};
  }
  const LiteralScanner scanner(patterns);
  ASSERT_GT(scanner.StateCount(), 65536u);
  std::string text;
  for (std::size_t id : {17u, 9000u, 13999u}) text += std::string(200, '-') + patterns[id].anyOf[0];
  std::vector<std::uint8_t> mayMatch;
  scanner.Scan(text, mayMatch);
  for (std::size_t id = 0; id < patterns.size(); ++id)
    EXPECT_EQ(mayMatch[id] != 0, text.find(patterns[id].anyOf[0]) != std::string::npos) << id;
}

// A match starts at or before the occurrence it holds, and at most lead
// bytes before that occurrence's end; windows that meet are listed once.
TEST(RequiredLiteralsTest, MatchesStartNearTheirLiterals) {
  using Hits = std::vector<LiteralHit>;
  using Starts = std::vector<std::uint32_t>;
  const std::vector<std::tuple<Hits, std::size_t, Starts>> cases = {
      {{{10, 14}}, 6, {8, 9, 10}},
      {{{10, 14}}, 4, {10}},
      {{{1, 5}}, 32, {0, 1}},
      {{{10, 14}, {12, 16}}, 6, {8, 9, 10, 11, 12}},
      {{{10, 14}, {11, 13}}, 6, {8, 9, 10, 11}},
      {{{4, 7}, {20, 23}}, 3, {4, 20}},
      {Hits{}, 6, Starts{}}};
  for (const auto& [hits, lead, expected] : cases) {
    Starts starts = {99};  // appended to
    StartsNearHits(hits, lead, starts);
    starts.erase(starts.begin());
    EXPECT_EQ(starts, expected) << "lead " << lead << ", " << hits.size() << " hits";
  }
  // Only patterns whose literals lie that near a match's start get their
  // occurrences listed.
  const LiteralScanner scanner({ExtractRequiredLiterals("x.{200}needle"), ExtractRequiredLiterals("needle"),
                                ExtractRequiredLiterals(std::string(LiteralScanner::kMaxListedLead, 'q')),
                                ExtractRequiredLiterals(std::string(LiteralScanner::kMaxListedLead + 1, 'q'))});
  EXPECT_FALSE(scanner.ListsHits(0));
  EXPECT_TRUE(scanner.ListsHits(1));
  EXPECT_TRUE(scanner.ListsHits(2));
  EXPECT_FALSE(scanner.ListsHits(3));
  std::vector<std::uint8_t> m;
  LiteralHits hits;
  Hits own;
  scanner.Scan("a needle, a NEEDLE", m, nullptr, &hits);
  hits.Of(0, own);
  EXPECT_EQ(own, Hits{});
  hits.Of(1, own);
  EXPECT_EQ(own, (Hits{{2, 8}, {12, 18}}));
  // A text that holds a literal at nearly every byte, for several patterns,
  // keeps no list past the limit; the next scan keeps one again.
  const LiteralScanner same({ExtractRequiredLiterals("aaa"), ExtractRequiredLiterals("aaab?"),
                             ExtractRequiredLiterals("(?:aaa)c?")});
  same.Scan(std::string(10000, 'a'), m, nullptr, &hits);  // 3 x 9,998 of them
  EXPECT_FALSE(hits.Of(0, own));
  EXPECT_TRUE(own.empty());
  EXPECT_EQ(m, (std::vector<std::uint8_t>{1, 1, 1}));
  same.Scan(std::string(1000, 'a'), m, nullptr, &hits);  // 3 x 998
  EXPECT_TRUE(hits.Of(2, own));
  EXPECT_EQ(own.size(), 998u);
  // In order, also where a later part of a long text (scanned in parts at
  // once) finds its occurrence before an earlier part does.
  std::string text(2063, 'x');
  scanner.Scan(text.replace(200, 6, "needle").replace(260, 6, "needle"), m, nullptr, &hits);
  hits.Of(1, own);
  EXPECT_EQ(own, (Hits{{200, 206}, {260, 266}}));
}

TEST(RequiredLiteralsTest, FindsTheLiteralsOfPlainPatterns) {
  const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {  // none: always runs
      {"\\bfree\\s+money\\b", {"money"}}, {"foo(bar|baz)qux", {"foobarqux", "foobazqux"}},
      {"colou?r", {"color", "colour"}}, {"(?-i)Cheap", {"cheap"}}, {"(?x) c h e a p", {"cheap"}},
      {"v[i1]agra", {"v1agra", "viagra"}}, {"ab\\x63d", {"abcd"}}, {"[\\d{]abcd", {"abcd"}},
      // A class of a few bytes, once case-folded, is their alternation.
      {"gu[e\xe9]i", {"guei", "gu\xe9i"}}, {"(?-i)[Cc]he[Aa]p", {"cheap"}}, {"d(?:e|[\xe9])nt", {"dent", "d\xe9nt"}},
      {"xy[a-e]zw", {}}, {"xy[^a]zw", {}},
      {"(?:casino|poker){2}", {"casinocasino", "casinopoker", "pokercasino", "pokerpoker"}},
      // Sets as good as each other (long strings count as 16 bytes): the
      // right piece's own set wins over the one across the join.
      {"\\d+b(?:fooxyz){3}x*", {"fooxyzfooxyzfooxyz"}},
      {"abc|", {}}, {"a.c", {}}, {"(?:abc)?", {}}, {"abc{,2}", {}}, {"\\Qcheap\\E", {}},
      {"cheap(*ACCEPT)", {}}, {"ab", {}}};
  for (const auto& [pattern, anyOf] : cases) {
    const RequiredLiterals r = ExtractRequiredLiterals(pattern);
    EXPECT_TRUE(r.always == anyOf.empty() && r.anyOf == anyOf) << pattern;
  }
}

// An alternation of more strings than a set keeps still requires something:
// its strings cut short, from the side the pattern goes on.
TEST(RequiredLiteralsTest, CutsTheStringsOfALargeAlternationShort) {
  std::string words;  // "amida" .. "jmidj": 100 words, ten first and ten last letters
  std::vector<std::string> list;
  for (int i = 0; i < 100; ++i) {
    list.push_back(std::string(1, static_cast<char>('a' + i % 10)) + "mid" + static_cast<char>('a' + i / 10));
    words += (i ? "|" : "") + list.back();
  }
  const std::string before = "qq(?:" + words + ")", after = "(?:" + words + ")qq";
  const RequiredLiterals b = ExtractRequiredLiterals(before), a = ExtractRequiredLiterals(after);
  EXPECT_EQ(b.anyOf, (std::vector<std::string>{"qqamid", "qqbmid", "qqcmid", "qqdmid", "qqemid", "qqfmid",
                                                "qqgmid", "qqhmid", "qqimid", "qqjmid"}));
  EXPECT_EQ(a.anyOf, (std::vector<std::string>{"midaqq", "midbqq", "midcqq", "middqq", "mideqq", "midfqq",
                                                "midgqq", "midhqq", "midiqq", "midjqq"}));
  const LiteralScanner scanner({b, a});
  std::vector<std::uint8_t> mayMatch;
  for (const std::string& w : list) {
    scanner.Scan("qq" + w, mayMatch);
    EXPECT_TRUE(mayMatch[0]) << w;
    scanner.Scan(w + "qq", mayMatch);
    EXPECT_TRUE(mayMatch[1]) << w;
  }
}

TEST(RequiredLiteralsTest, ScannerFoldsCaseAndReportsEveryPatternOfALiteral) {
  const LiteralScanner scanner({ExtractRequiredLiterals("viagra"), ExtractRequiredLiterals("(?-i)VIAGRA now"),
                                ExtractRequiredLiterals("casino"), ExtractRequiredLiterals("a.c"),
                                ExtractRequiredLiterals("\xE9t\xE9")});
  std::vector<std::uint8_t> m;
  // (Bytes above 0x7F have no case, but the scan takes them all for each
  // other: "\xC9T\xC9" lets the pattern of "\xE9t\xE9" run, which is safe.)
  scanner.Scan("Buy ViAgRa NOW at the \xC9T\xC9 sale", m);
  EXPECT_EQ(m, (std::vector<std::uint8_t>{1, 1, 0, 1, 1}));
  scanner.Scan("Buy ViAgRa NOW at the \xC9X\xC9 sale", m);
  EXPECT_EQ(m, (std::vector<std::uint8_t>{1, 1, 0, 1, 0}));
  scanner.Scan("asino iagra now t\xE9", m);  // no first letter came before
  EXPECT_EQ(m, (std::vector<std::uint8_t>{0, 0, 0, 1, 0}));
  scanner.Scan("", m);
  EXPECT_EQ(m, (std::vector<std::uint8_t>{0, 0, 0, 1, 0}));
  scanner.Scan("casino \xE9t\xE9viagra", m);
  EXPECT_EQ(m, (std::vector<std::uint8_t>{1, 0, 1, 1, 1}));
}

// A literal is found wherever it stands in a long text (which is scanned in
// two or four parts at once), also across the parts and at both ends.
TEST(RequiredLiteralsTest, ScannerFindsALiteralAnywhereInALongText) {
  const std::string longest(32, 'q');
  const LiteralScanner scanner({ExtractRequiredLiterals("needle"), ExtractRequiredLiterals(longest)});
  std::vector<std::uint8_t> m;
  std::vector<LiteralSpan> spans;
  LiteralHits hits;
  using Hits = std::vector<LiteralHit>;
  auto hitsOf = [&](std::uint32_t id) {
    Hits own;
    hits.Of(id, own);
    return own;
  };
  auto span = [](std::uint32_t firstEnd, std::uint32_t lastStart) { return std::make_pair(firstEnd, lastStart); };
  auto spanOf = [&](std::size_t id) { return span(spans[id].firstEnd, spans[id].lastStart); };
  // One pass up to 64 bytes (and where a part would not hold the longest
  // literal), two parts up to 256, four above.
  for (std::size_t length : {65u, 70u, 101u, 257u, 300u, 1025u, 1031u, 2063u}) {
    for (std::size_t at = 0; at + 6 <= length; ++at) {
      const auto end = static_cast<std::uint32_t>(at + 6);
      std::string text(length, 'x');
      scanner.Scan(text.replace(at, 6, "NEEDLE"), m, &spans, &hits);
      ASSERT_EQ(m, (std::vector<std::uint8_t>{1, 0})) << length << " " << at;
      ASSERT_EQ(spanOf(0), span(end, end - 6)) << length << " " << at;
      ASSERT_EQ(spans[1].firstEnd, UINT32_MAX);
      ASSERT_EQ(hitsOf(0), (Hits{{end - 6, end}})) << length << " " << at;
      // With a second needle at the text's end, the first ends at the
      // same offset and the last starts there.
      if (at + 12 <= length) {
        const auto last = static_cast<std::uint32_t>(length - 6);
        scanner.Scan(text.replace(length - 6, 6, "needle"), m, &spans, &hits);
        ASSERT_EQ(spanOf(0), span(end, last)) << length << " " << at;
        ASSERT_EQ(hitsOf(0), (Hits{{end - 6, end}, {last, last + 6}})) << length << " " << at;
      }
      if (at + longest.size() > length) continue;
      text.assign(length, 'x');
      scanner.Scan(text.replace(at, longest.size(), longest), m, &spans, &hits);
      ASSERT_EQ(m, (std::vector<std::uint8_t>{0, 1})) << length << " " << at;
      ASSERT_EQ(spanOf(1), span(static_cast<std::uint32_t>(at + 32), static_cast<std::uint32_t>(at)));
      ASSERT_EQ(hitsOf(1), (Hits{{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(at + 32)}}));
      ASSERT_EQ(hitsOf(0), Hits{});
      scanner.Scan(text.replace(at, 1, "x"), m);
      ASSERT_EQ(m, (std::vector<std::uint8_t>{0, 0})) << length << " " << at;
    }
  }
}

// A relaxed pattern, as the matcher keeps it, matches every text its pattern
// matches; and the matcher rules out a fair share of the rest, also with a
// DFA so small that it keeps filling up and starting afresh.
class RelaxedMatcherPasses : public testing::TestWithParam<std::size_t> {};

INSTANTIATE_TEST_SUITE_P(DfaLimits, RelaxedMatcherPasses,
                         testing::Values(RelaxedMatcher::kDfaMaxStates, std::size_t{12}));

TEST_P(RelaxedMatcherPasses, NeverRuleOutAPatternThatMatches) {
  const FuzzSet set = MakeFuzzSet(std::mt19937(7), 150);
  const std::vector<std::string>& used = set.patterns;
  const std::vector<std::string>& texts = set.texts;
  std::vector<std::optional<RelaxedNode>> relaxed;
  for (const auto& p : used) relaxed.push_back(ExtractRelaxedForm(p));
  // Groups of a size a rule field holds (all at once would reach the work
  // limit on most texts).
  constexpr std::size_t kGroup = 40;
  std::size_t covered = 0, ruledOut = 0;
  std::vector<std::uint8_t> mayMatch;
  for (std::size_t from = 0; from < used.size(); from += kGroup) {
    const std::size_t to = std::min(used.size(), from + kGroup);
    const RelaxedMatcher matcher({relaxed.begin() + static_cast<long>(from), relaxed.begin() + static_cast<long>(to)},
                                 GetParam());
    covered += matcher.CoveredCount();
    for (const auto& text : texts) {
      mayMatch.assign(to - from, 1);
      // (Where a group's DFA overflows, its patterns keep their flags; the
      // others are narrowed all the same.)
      matcher.Narrow(text, mayMatch);
      for (std::size_t i = from; i < to; ++i) {
        if (mayMatch[i - from]) continue;
        EXPECT_TRUE(matcher.Covers(i - from));
        ++ruledOut;
        EXPECT_FALSE(Matches(set.compiled[i], text)) << "ruled out '" << used[i] << "' for '" << text << "'";
      }
    }
  }
  EXPECT_GT(covered, used.size() / 3);
  EXPECT_GT(ruledOut, used.size() * texts.size() / 4);
}

// What the matcher keeps of a pattern still rules out the texts it should:
// relaxed spellings, octal bytes in classes, lookarounds and references.
TEST(RelaxedMatcherTest, RulesOutTextsWithoutAMatchOfTheRelaxedForm) {
  struct Case {
    const char* pattern;
    std::vector<std::pair<std::string, bool>> texts;  // text, kept
  };
  const std::vector<Case> cases = {
      {"(?:\\b|\\s)[_\\W]{0,3}v[_\\W]{0,3}[i1!|l][_\\W]{0,3}a[_\\W]{0,3}g[_\\W]{0,3}r[_\\W]{0,3}a",
       {{"buy V-1-A-G-R-A now", true}, {"a vitamin graph", false}, {"v i a g r", false}}},
      {"[\\101\\102]{2}x", {{"ABx", true}, {"CDx", false}, {"abX", true}}},
      {"(?:[nN]|\\xc3\\x91|&#209;|\\xc3\\xb1|\\xc5\\x84)(?:[oO0]|\\xc3\\xb6|\\xc3\\xb8|&#246;)rt(?:[oO0]|\\xc3\\xb6)n",
       {{"N\xc3\xb6rton", true}, {"&#209;0rt0n", true}, {"norway", false}, {"north", false}}},
      {"(?!norton)n[o0]rt[o0]n", {{"n0rt0n", true}, {"norton", true}, {"north", false}}},
      {"(a)x\\1y", {{"axqqqy", true}, {"bxby", false}}},
      {"(?-s)(?:^|\\W)bitcoin\\s{0,3}wallet", {{"a bitcoin\twallet", true}, {"bitcoin-wallet", false}}},
      // Kept from its rarest item on: the part before it is not required.
      {"e[_\\W]?v[_\\W]?x[_\\W]?q[_\\W]?z[_\\W]?j", {{"e-v-x-q-z-j", true}, {"xqzj", true}, {"evxqz", false}}},
      // A repeat of one byte set keeps its minimum count.
      {"x[a-z]{8,12}y", {{"xabcdefghy", true}, {"xabcy", false}}},
      // Alternatives of different lengths inside an alternation.
      {"(?:(?:q|jk)z|v|w|y|x)_", {{"jkz_", true}, {"qz_", true}, {"y_", true}, {"j_", false}, {"kz_", false}}},
  };
  for (const Case& c : cases) {
    const RelaxedMatcher matcher({ExtractRelaxedForm(c.pattern)});
    ASSERT_TRUE(matcher.Covers(0)) << c.pattern;
    for (const auto& [text, kept] : c.texts) {
      std::vector<std::uint8_t> mayMatch{1};
      ASSERT_TRUE(matcher.Narrow(text, mayMatch));
      EXPECT_EQ(mayMatch[0] != 0, kept) << c.pattern << " on '" << text << "'";
    }
  }
  // Patterns that tell bytes above 0x7F apart start in a group of their own;
  // both groups narrow.
  const RelaxedMatcher mixed({ExtractRelaxedForm("vi[a\\xe0]gra"), ExtractRelaxedForm("bitcoin")});
  EXPECT_EQ(mixed.GroupCount(), 2u);
  std::vector<std::uint8_t> both{1, 1};
  EXPECT_TRUE(mixed.Narrow("vi\xe0gra", both));
  EXPECT_EQ(both, (std::vector<std::uint8_t>{1, 0}));
  // Not covered: what may match the empty string, and what starts at almost
  // every byte of mail.
  for (const char* pattern : {"a?", "(?:abc)*", "\\w+", "[a-z]{2,}\\d"}) {
    const RelaxedMatcher matcher({ExtractRelaxedForm(pattern)});
    EXPECT_FALSE(matcher.Covers(0)) << pattern;
  }
}

// A text that alone needs more states than a DFA may hold leaves the
// patterns of that DFA as they were; the next text is narrowed again, by
// DFAs that started afresh.
TEST(RelaxedMatcherTest, RulesOutNothingWhereTheDfaOverflows) {
  const RelaxedMatcher matcher({ExtractRelaxedForm("a[ab]{10}c"), ExtractRelaxedForm("xyz")}, 100);
  std::mt19937 rng(3);
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "ab"[rng() % 2];
  std::vector<std::uint8_t> mayMatch{1, 1};
  EXPECT_FALSE(matcher.Narrow(text, mayMatch));  // 2^10 sets of positions
  // The busy pattern moved on to a group of its own; the other one's group
  // finished the text.
  EXPECT_EQ(mayMatch, (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(matcher.GroupCount(), 2u);
  EXPECT_LE(matcher.StateCount(), 200u);
  mayMatch = {1, 1};
  EXPECT_TRUE(matcher.Narrow("a b xyz", mayMatch));
  EXPECT_EQ(mayMatch, (std::vector<std::uint8_t>{0, 1}));
  {
    // The busy pattern matched before the DFA overflowed: that stands, and
    // its new group has nothing left to run.
    const RelaxedMatcher early({ExtractRelaxedForm("a[ab]{10}c"), ExtractRelaxedForm("xyz")}, 100);
    mayMatch = {1, 1};
    EXPECT_TRUE(early.Narrow("abababababac" + text, mayMatch));
    EXPECT_EQ(mayMatch, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(early.GroupCount(), 2u);
  }
  // A DFA filled by earlier texts starts afresh and runs the text again.
  std::size_t restarts = 0;
  for (int i = 0; i < 40; ++i) {
    std::string part = "x";
    for (int k = 0; k < 30; ++k) part += "ab"[rng() % 2];
    const std::size_t before = matcher.StateCount();
    mayMatch = {1, 1};
    ASSERT_TRUE(matcher.Narrow(part, mayMatch)) << i;
    EXPECT_EQ(mayMatch, (std::vector<std::uint8_t>{0, 0}));
    restarts += matcher.StateCount() < before ? 1 : 0;
  }
  EXPECT_GT(restarts, 0u);
  // Many partial matches alive at once cost a DFA nothing more.
  std::vector<std::optional<RelaxedNode>> patterns;
  for (char last = 'a'; last <= 't'; ++last)
    patterns.push_back(ExtractRequiredLiterals(std::string("q[^\\n]*q[^\\n]*q[^\\n]*z") + last).relaxed);
  const RelaxedMatcher many(patterns);
  mayMatch.assign(patterns.size(), 1);
  EXPECT_TRUE(many.Narrow(std::string(2000, 'q') + "zc", mayMatch));
  EXPECT_EQ(mayMatch, std::vector<std::uint8_t>({0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A DFA that fills up again soon after its start hands the pattern that
// takes part in most of its states on to the next group; one that fills up
// seldom keeps its patterns together. The answers stay exact either way.
TEST(RelaxedMatcherTest, APatternAliveInMostStatesMovesOnWhereTheDfaFillsOften) {
  // Over a run of a and b, "a[ab]{10}c" keeps up to ten partial matches
  // alive; the literals beside it make few states.
  const std::vector<std::string> patterns = {"xy1", "a[ab]{10}c", "xy2", "xy3"};
  std::vector<std::optional<RelaxedNode>> forms;
  for (const auto& p : patterns) forms.push_back(ExtractRelaxedForm(p));
  std::mt19937 rng(11);
  auto ab = [&](std::size_t length) {
    std::string t = "xy2 ";
    for (std::size_t i = 0; i < length; ++i) t += "ab"[rng() % 2];
    return t + (rng() % 2 ? "c" : "");
  };
  std::size_t narrowed = 0;
  // exact: every pattern is still in the matcher (no review has run).
  auto check = [&](const RelaxedMatcher& matcher, const std::string& t, bool exact) {
    std::vector<std::uint8_t> mayMatch(patterns.size(), 1);
    if (!matcher.Narrow(t, mayMatch)) return;
    ++narrowed;
    for (std::size_t k = 0; k < patterns.size(); ++k) {
      const bool matches = Matches(CreateRegex(patterns[k]), t);
      if (exact || matches) EXPECT_EQ(mayMatch[k] != 0, matches) << patterns[k] << " on '" << t << "'";
    }
  };
  static_assert(RelaxedMatcher::kReviewTexts > 100);
  const RelaxedMatcher often(forms, 60);
  for (int i = 0; i < 100; ++i) check(often, ab(24), true);
  EXPECT_EQ(often.GroupCount(), 2u) << "the busy pattern in a group of its own";
  EXPECT_GT(narrowed, 90u);

  // The same texts, but each after more texts than a split waits for:
  // between them the DFA makes no new state, and it fills up seldom.
  constexpr int kApart = RelaxedMatcher::kSplitWithinTexts + 10;
  const RelaxedMatcher seldom(forms, 60);
  for (int i = 0; i < 4 * kApart; ++i) check(seldom, i % kApart == kApart - 1 ? ab(24) : "xy1 xy3", false);
  EXPECT_EQ(seldom.GroupCount(), 1u);
}

// A pattern that matches in most texts leaves the matcher at the next
// review; the others are still cleared where they cannot match. Each review
// counts the texts since the one before.
TEST(RelaxedMatcherTest, APatternThatMatchesInMostTextsLeavesAtTheReview) {
  const std::vector<std::string> patterns = {"xy1", "xy2", "xy3", "xy4"};
  std::vector<std::optional<RelaxedNode>> forms;
  for (const auto& p : patterns) forms.push_back(ExtractRelaxedForm(p));
  const RelaxedMatcher matcher(forms);
  auto narrowed = [&](const std::string& t) {
    std::vector<std::uint8_t> mayMatch(patterns.size(), 1);
    EXPECT_TRUE(matcher.Narrow(t, mayMatch));
    return mayMatch;
  };
  // Text i of a review's window: xy1, xy2 and xy4 in the first so many texts.
  auto window = [&](std::size_t xy1, std::size_t xy2, std::size_t xy4, std::size_t i) {
    return std::string(i < xy1 ? "xy1 " : "") + (i < xy2 ? "xy2 " : "") + (i < xy4 ? "xy4" : "");
  };
  constexpr std::size_t kTexts = RelaxedMatcher::kReviewTexts;
  constexpr std::size_t kHalf = kTexts * RelaxedMatcher::kLeaveAtPercent / 100;
  static_assert(kHalf * 100 == kTexts * RelaxedMatcher::kLeaveAtPercent && kHalf > 20);
  // First: xy2 in exactly kLeaveAtPercent percent of the texts, xy1 and xy4
  // in fewer. Then xy1 in more, xy4 in fewer again (in both together: more).
  for (std::size_t i = 0; i < kTexts; ++i) narrowed(window(kHalf / 2, kHalf, kHalf - 1, i));
  EXPECT_EQ(narrowed("none"), (std::vector<std::uint8_t>{0, 1, 0, 0}));
  for (std::size_t i = 1; i < kTexts; ++i) {
    narrowed(window(kHalf + 2, 0, 2, i));
    if (i == 10) EXPECT_EQ(narrowed("none"), (std::vector<std::uint8_t>{0, 1, 0, 0})) << "no review yet";
  }
  EXPECT_EQ(narrowed("none"), (std::vector<std::uint8_t>{1, 1, 0, 0}));
  EXPECT_EQ(narrowed("xy3"), (std::vector<std::uint8_t>{1, 1, 1, 0}));
}

// The lazy DFA of a relaxed form says "may match" wherever the pattern
// matches, and where its matches may start; it rules out most other texts,
// and its states, once made, serve every later search.
TEST(RelaxedDfaTest, NeverRulesOutAPatternThatMatches) {
  const FuzzSet set = MakeFuzzSet(std::mt19937(5), 100);
  std::size_t usable = 0, ruledOut = 0, pairs = 0, withLiterals = 0;
  std::vector<RequiredLiterals> literals;
  std::vector<LiteralScanner> scanners;
  for (const std::string& pattern : set.patterns) {
    literals.push_back(ExtractRequiredLiterals(pattern));
    scanners.emplace_back(std::vector{literals.back()});
  }
  for (std::size_t k = 0; k < set.patterns.size(); ++k) {
    const std::optional<RelaxedNode> relaxed = ExtractRelaxedForm(set.patterns[k]);
    if (!relaxed) continue;
    // Each way of telling whether there is a match at all, in turn.
    const auto existence = static_cast<RelaxedDfa::Existence>(k % 3);
    const RelaxedDfa dfa(*relaxed, nullptr, RelaxedDfa::Starts::kAnywhere, existence);
    if (!dfa.Usable()) continue;
    ++usable;
    for (const auto& text : set.texts) {
      ++pairs;
      // A match of the pattern starts only where one of the relaxed form
      // does: the search from those starts gives the answer of the whole.
      std::vector<std::uint32_t> starts;
      ASSERT_TRUE(dfa.MatchStarts(text, starts));
      // (A forward DFA may approximate the pattern differently.)
      if (existence == RelaxedDfa::Existence::kBackward) EXPECT_EQ(dfa.MayMatch(text), !starts.empty());
      EXPECT_TRUE(dfa.MayMatch(text) || starts.empty());
      EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
      bool fromStarts = false;
      try {
        fromStarts = IsMatchFrom(*set.compiled[k], text, &starts);
      } catch (const RegexError&) {
      }
      EXPECT_EQ(fromStarts, Matches(set.compiled[k], text)) << "'" << set.patterns[k] << "' on '" << text << "'";
      ruledOut += starts.empty() ? 1 : 0;
      // Only matches that hold a literal found are wanted: the starts of
      // those, and the range where they lie, still give the answer of the
      // whole.
      std::vector<LiteralSpan> spans;
      std::vector<std::uint8_t> found;
      scanners[k].Scan(text, found, &spans);
      if (spans[0].firstEnd == UINT32_MAX) continue;
      const MatchBounds wanted = WantedMatches(spans[0], literals[k].lead, literals[k].tail);
      ASSERT_TRUE(dfa.MatchStarts(text, starts, wanted));
      bool inRange = false;
      try {
        fromStarts = IsMatchFrom(*set.compiled[k], text, &starts);
        inRange = IsMatchFrom(*set.compiled[k], text, StartOffsets{nullptr, wanted.minStart, wanted.maxStart});
      } catch (const RegexError&) {
      }
      EXPECT_EQ(fromStarts, Matches(set.compiled[k], text)) << "'" << set.patterns[k] << "' on '" << text << "'";
      EXPECT_EQ(inRange, Matches(set.compiled[k], text)) << "'" << set.patterns[k] << "' on '" << text << "'";
      ++withLiterals;
    }
  }
  EXPECT_GT(usable, set.patterns.size() / 2);
  EXPECT_GT(ruledOut, pairs / 2);
  EXPECT_GT(withLiterals, pairs / 100);

  const RelaxedDfa dfa(*ExtractRelaxedForm("(?:\\b|\\s)[_\\W]{0,3}v[_\\W]{0,3}[i1!|l]a(?=g)gra\\b"));
  ASSERT_TRUE(dfa.Usable());
  for (const auto& [text, may] : std::vector<std::pair<std::string, bool>>{
           {"buy v-1agra now", true}, {"a vitamin graph", false}, {"", false}, {"VIAGRA", true}, {"viagr", false}}) {
    EXPECT_EQ(dfa.MayMatch(text), may) << text;
  }
  const std::size_t states = dfa.StateCount();
  EXPECT_TRUE(dfa.MayMatch("buy v-1agra now"));
  EXPECT_EQ(dfa.StateCount(), states) << "a text seen before makes no new state";
  // The relaxed form follows the case and dot options: what they rule out
  // it rules out too.
  for (const auto& [pattern, text, may] : std::vector<std::tuple<const char*, const char*, bool>>{
           {"(?-s)a.b", "a\nb", false}, {"(?-s)a.b", "a\rb", true}, {"(?^)a.b", "a\nb", false},
           {"a.b", "a\nb", true}, {"(?-i)Ab", "ab", false}, {"(?-i)Ab", "Ab", true}, {"Ab", "ab", true},
           {"(?-i)[A-C]x", "bx", false}, {"(?-i)[^a]x", "Ax", true}, {"(?-i)[^a]x", "ax", false},
           {"[^a]x", "Ax", false}}) {
    EXPECT_EQ(RelaxedDfa(*ExtractRelaxedForm(pattern)).MayMatch(text), may) << pattern << " on " << text;
  }
  // What matches the empty string, or is larger than the limit, is not usable.
  EXPECT_FALSE(RelaxedDfa(*ExtractRelaxedForm("a?")).Usable());
  std::vector<std::uint32_t> starts;
  EXPECT_FALSE(RelaxedDfa(*ExtractRelaxedForm("a?")).MatchStarts("bab", starts)) << "no starts known";
  EXPECT_TRUE(RelaxedDfa(*ExtractRelaxedForm("a?")).MayMatch("bbb"));
  EXPECT_FALSE(RelaxedDfa(*ExtractRelaxedForm(std::string(RelaxedDfa::kMaxPositions + 1, 'x'))).Usable());
}

// Where only some matches are wanted, the search finds all of those, also
// one that starts far below the least end wanted, and reads only the
// stretch where they can lie.
TEST(RelaxedDfaTest, FindsTheWantedMatchesWithinTheirBounds) {
  using Starts = std::vector<std::uint32_t>;
  std::vector<std::uint32_t> starts;
  auto run = [&](const RelaxedDfa& dfa, const std::string& text, const MatchBounds& wanted) {
    EXPECT_TRUE(dfa.MatchStarts(text, starts, wanted));
    return starts;
  };
  // Matches at 0 (to 1504), 1506 (to 1510), 1512 (to 1518).
  const RelaxedDfa open(*ExtractRelaxedForm("ab[a-z]*yz"));
  const std::string text = "ab" + std::string(1500, 'c') + "yz--abyz--abccyz";
  auto ends = [](std::size_t minEnd, std::size_t maxStart) { return MatchBounds{0, maxStart, minEnd, SIZE_MAX}; };
  EXPECT_EQ(run(open, text, {}), (Starts{0, 1506, 1512}));
  EXPECT_EQ(run(open, text, ends(1504, 1516)), (Starts{0, 1506, 1512})) << "the run goes on while a match is alive";
  EXPECT_EQ(run(open, text, ends(1505, SIZE_MAX)), (Starts{1506, 1512})) << "it stops where none is";
  EXPECT_EQ(run(open, text, ends(1510, 1511)), (Starts{1506}));
  EXPECT_EQ(run(open, text, ends(1510, 1512)), (Starts{1506, 1512}));
  EXPECT_EQ(run(open, text, ends(1519, SIZE_MAX)), Starts{});
  // Within a stretch: what lies wholly inside it.
  EXPECT_EQ(run(open, text, MatchBounds{1, SIZE_MAX, 0, 1510}), (Starts{1506}));
  EXPECT_EQ(run(open, text, MatchBounds{1506, SIZE_MAX, 0, 1518}), (Starts{1506, 1512}));
  EXPECT_EQ(run(open, text, MatchBounds{1507, SIZE_MAX, 0, 1517}), Starts{});
  EXPECT_EQ(run(open, text, MatchBounds{1507, 1506, 0, SIZE_MAX}), Starts{});
}

// A DFA follows its pattern only until a match is sure (a shorter match of
// it, at the same start): it finds every start there is, and only those,
// also where a wanted match ends well after what the DFA reads of it. (The
// last pattern's positions have more followers than are scanned one by one.)
TEST(RelaxedDfaTest, FindsEveryStartOfPatternsWithOptionalTails) {
  for (const auto& [pattern, text] : std::vector<std::pair<std::string, std::string>>{
           {"ab[c-]{0,8}", "ab--------zz ab- a b"},
           {"x(?:yz){2,}", "xyzyzyz xyz xyzyz xy"},
           {"(?:ab|cd{1,3})e?", "cdddde abe cd c"},
           {"q[0-9]{2,4}", "q1 q12 q12345 q"},
           {"(?:a(?:bc){2,4}){2}", "abcbcabcbcbc abcbcbcbcabc abcabc"},
           {"m(?:n[o-]*|p{3,})", "mn mppp mp mno--"},
           {"x(?:a+|b+|c+|d+|e+|f+|g+|h+|i+|j+)y", "xaay xby xjjjy xy xaby xiy yx xcy"}}) {
    const RegexRef re = CreateRegex(pattern);
    std::vector<std::uint32_t> want, starts;
    for (std::uint32_t s = 0; s < text.size(); ++s)
      if (IsMatchFrom(*re, text, StartOffsets{nullptr, s, s})) want.push_back(s);
    const RelaxedDfa dfa(*ExtractRelaxedForm(pattern));
    EXPECT_TRUE(dfa.MatchStarts(text, starts));
    EXPECT_EQ(starts, want) << pattern;
  }
  // The match at 0 ends at 10; the DFA need read only its first two bytes.
  const RelaxedDfa dfa(*ExtractRelaxedForm("ab[c-]{0,8}"));
  std::vector<std::uint32_t> starts;
  EXPECT_TRUE(dfa.MatchStarts("ab--------zz", starts, MatchBounds{0, SIZE_MAX, 10, SIZE_MAX}));
  EXPECT_EQ(starts, std::vector<std::uint32_t>{0});
}

// Bytes that only the last of many byte sets tells apart stay apart: a
// pattern of 70 different bytes is found where it stands, and nowhere when
// one of its bytes is another.
TEST(RelaxedDfaTest, TellsApartBytesThatManySetsSeparate) {
  std::string pattern, word;
  for (int b = 0x80; b < 0x80 + 70; ++b) {
    const char hex[] = "0123456789abcdef";
    pattern += std::string("\\x") + hex[b >> 4] + hex[b & 15];
    word += static_cast<char>(b);
  }
  const RelaxedDfa dfa(*ExtractRelaxedForm(pattern));
  const RelaxedMatcher matcher({ExtractRelaxedForm(pattern)});
  std::vector<std::uint32_t> starts;
  for (std::size_t changed = 0; changed <= word.size(); ++changed) {
    std::string text = "-----" + word + "--";
    if (changed < word.size()) text[5 + changed] = '-';
    const bool whole = changed == word.size();
    EXPECT_TRUE(dfa.MatchStarts(text, starts, MatchBounds{}));
    EXPECT_EQ(starts, whole ? std::vector<std::uint32_t>{5} : std::vector<std::uint32_t>{}) << changed;
    std::vector<std::uint8_t> mayMatch{1};
    EXPECT_TRUE(matcher.Narrow(text, mayMatch));
    EXPECT_EQ(mayMatch[0], whole ? 1 : 0) << changed;
  }
}

// Where a pattern's required literals lie in its matches, and so which
// matches a text can hold, given where they occur in it.
TEST(RequiredLiteralsTest, TellsWhereTheLiteralsLieInAMatch) {
  constexpr std::size_t kNone = SIZE_MAX;
  std::string longPlain;  // 300 plain letters: longer than an exact string is kept
  for (int i = 0; i < 300; ++i) longPlain += static_cast<char>('a' + i % 26);
  const std::tuple<const char*, std::size_t, std::size_t> cases[] = {
      {longPlain.c_str(), 300, 32},   // its last 32 bytes, as a suffix
      {"abc\\w+", 3, kNone},           // a prefix: within its length of the start
      {"\\w+xyz", kNone, 3},           // a suffix
      {"foo|barbaz", 6, 6},             // exact strings
      {"(?:your|ihr)\\s\\w+", 4, kNone},
      {"a.{0,5}needle.{0,3}z", 16, 16},  // anywhere, in a match of at most 16 bytes
      {"\\w+needle\\w+", kNone, kNone}};
  for (const auto& [pattern, lead, tail] : cases) {
    const RequiredLiterals l = ExtractRequiredLiterals(pattern);
    ASSERT_FALSE(l.always) << pattern;
    EXPECT_EQ(l.lead, lead) << pattern;
    EXPECT_EQ(l.tail, tail) << pattern;
  }
  // Literals found from offset 10 (ending at 14) to 30 (ending at 34).
  const LiteralSpan span{14, 30};
  auto bounds = [](const MatchBounds& b) { return std::make_tuple(b.minStart, b.maxStart, b.minEnd, b.maxEnd); };
  EXPECT_EQ(bounds(WantedMatches(span, 4, 4)), std::make_tuple(10u, 30u, 14u, 34u));
  EXPECT_EQ(bounds(WantedMatches(span, 20, kNone)), std::make_tuple(0u, 30u, 14u, kNone));
  EXPECT_EQ(bounds(WantedMatches(span, kNone, 7)), std::make_tuple(0u, 30u, 14u, 37u));
  EXPECT_EQ(WantedMatches(span, kNone, kNone - 1).maxEnd, kNone) << "a bound too large to add";
  EXPECT_EQ(bounds(WantedMatches(LiteralSpan{}, 4, 4)), bounds(MatchBounds{}));
}

// A pattern that PCRE2 tries only at line starts gets a DFA run forwards
// from each line start: its starts are line starts, and the search from
// them gives the answer of the whole text.
TEST(RelaxedDfaTest, LineStartDfaMissesNoMatch) {
  std::mt19937 rng(23);
  const FuzzSet set = MakeFuzzSet(std::mt19937(9), 0);
  std::vector<std::string> texts;
  for (int i = 0; i < 150; ++i) {
    std::string text;
    for (std::size_t k = 0, lines = 1 + rng() % 4; k < lines; ++k)
      text += FuzzText(rng) + (rng() % 4 ? "\n" : rng() % 2 ? "\r\n" : "\n\n");
    texts.push_back(rng() % 5 ? text : text.substr(0, text.size() - 1));
  }
  std::size_t checked = 0, ruledOut = 0, pairs = 0;
  for (std::size_t k = 0; k < 1200 && k < set.patterns.size(); ++k) {
    for (const std::string& pattern : {"(?m)^" + set.patterns[k], "(?-s).*" + set.patterns[k],
                                       "(?m)^(?:" + set.patterns[k] + ")|^x"}) {
      RegexRef re;
      try {
        re = CreateRegex(pattern);
      } catch (const RegexError&) {
        continue;
      }
      const std::optional<RelaxedNode> relaxed = ExtractRelaxedForm(pattern);
      if (!relaxed || !StartsOnlyAtLineStarts(*re)) continue;
      const RelaxedDfa dfa(*relaxed, nullptr, RelaxedDfa::Starts::kAtLineStarts);
      if (!dfa.Usable()) continue;
      ++checked;
      for (const std::string& text : texts) {
        ++pairs;
        std::vector<std::uint32_t> starts;
        ASSERT_TRUE(dfa.MatchStarts(text, starts));
        EXPECT_EQ(dfa.MayMatch(text), !starts.empty()) << pattern;
        for (std::uint32_t at : starts) EXPECT_TRUE(at == 0 || text[at - 1] == '\n') << pattern << " at " << at;
        bool fromStarts = false;
        try {
          fromStarts = IsMatchFrom(*re, text, &starts);
        } catch (const RegexError&) {
        }
        EXPECT_EQ(fromStarts, Matches(re, text)) << "'" << pattern << "' on '" << text << "'";
        ruledOut += starts.empty() ? 1 : 0;
      }
    }
  }
  EXPECT_GT(checked, 1000u);
  EXPECT_GT(ruledOut, pairs / 2);

  // Where matches may start.
  for (const auto& [pattern, lineStarts] : std::vector<std::pair<const char*, bool>>{
           {"(?m)^ab", true}, {"(?-s).*ab", true}, {"(?m)^a|^b", true}, {"(?s).*ab", false},
           {"^ab", false}, {"(?m)^a|b", false}, {"ab", false}, {"(?m)a^", false}}) {
    EXPECT_EQ(StartsOnlyAtLineStarts(*CreateRegex(pattern)), lineStarts) << pattern;
  }
  // The starts are the line starts from which a match runs, also over an LF.
  const RelaxedDfa exact(*ExtractRelaxedForm("(?m)^a\\s*b"), nullptr, RelaxedDfa::Starts::kAtLineStarts);
  std::vector<std::uint32_t> starts;
  ASSERT_TRUE(exact.MatchStarts("ab\nxab\na\n\nb\n\nab", starts));
  EXPECT_EQ(starts, (std::vector<std::uint32_t>{0, 7, 13}));
  ASSERT_TRUE(exact.MatchStarts("b\nc\n", starts));
  EXPECT_TRUE(starts.empty());
  EXPECT_FALSE(exact.MayMatch("xab\n\nba"));
  EXPECT_FALSE(exact.MayMatch("aab\n")) << "no match starts again inside a line";

  // Runs that stay alive over many lines stop at the limit of moves: that
  // text may match, with no starts known, and the DFA still serves others.
  const RelaxedDfa spaces(*ExtractRelaxedForm("(?m)^\\s*x"), nullptr, RelaxedDfa::Starts::kAtLineStarts);
  const std::string blank = "x\n" + std::string(20000, '\n');
  EXPECT_FALSE(spaces.MatchStarts(blank, starts));
  EXPECT_TRUE(starts.empty()) << "the start found before the limit is not kept";
  EXPECT_TRUE(spaces.MayMatch(blank));
  ASSERT_TRUE(spaces.MatchStarts("a\n \n x\n", starts));
  EXPECT_EQ(starts, (std::vector<std::uint32_t>{2, 4}));
  EXPECT_FALSE(spaces.MayMatch(std::string(50, '\n')));
  // The limit is exact. In r letters, an LF and m LFs more, the run from the
  // first line dies at its first byte (one move) and each of the m others
  // runs to the end: 1 + m(m+1)/2 moves. Up to the limit the runs give their
  // starts (none here); one move more, they give none.
  const long perByte = RelaxedDfa::kLineStartStepsPerByte, more = RelaxedDfa::kLineStartSteps;
  for (long over : {0, 1}) {
    std::string text;
    for (long m = 1; text.empty(); ++m) {
      const long moves = 1 + m * (m + 1) / 2, bytes = (moves - over - more) / perByte;
      if (moves - over - more > 0 && (moves - over - more) % perByte == 0 && bytes - 1 - m >= 1)
        text = std::string(static_cast<std::size_t>(bytes - 1 - m), 'b') + std::string(static_cast<std::size_t>(m) + 1, '\n');
    }
    EXPECT_EQ(spaces.MatchStarts(text, starts), over == 0) << text.size();
    EXPECT_TRUE(starts.empty());
  }
}

// Long texts are run in two or four parts at once; the answers and
// the starts stay those of one pass, also for matches across the parts and
// for patterns whose partial matches live long (the relaxed forms of these
// patterns are exact).
TEST(RelaxedDfaTest, LongTextsGiveTheAnswersOfOnePass) {
  const std::vector<std::string> patterns = {"a[^\\n]*b", "xyz", "q\\d{3}r", "b\\s*a\\s*b", "(?:ab|ba){3}"};
  std::vector<std::optional<RelaxedNode>> forms;
  std::vector<std::unique_ptr<RelaxedDfa>> dfas;
  for (const auto& p : patterns) {
    forms.push_back(ExtractRelaxedForm(p));
    dfas.push_back(std::make_unique<RelaxedDfa>(*forms.back()));
  }
  const RelaxedMatcher matcher(forms);
  std::mt19937 rng(17);
  std::size_t matched = 0, starts = 0;
  for (int t = 0; t < 400; ++t) {
    std::string text(513 + rng() % (t < 200 ? 1500 : 5000), ' ');
    const std::string alphabet = t % 2 ? "abxyzqr0123 \n" : "ab01 xyzqr";
    for (char& c : text) c = rng() % 8 ? 'c' : alphabet[rng() % alphabet.size()];
    std::vector<std::uint8_t> mayMatch(patterns.size(), 1);
    ASSERT_TRUE(matcher.Narrow(text, mayMatch));
    for (std::size_t k = 0; k < patterns.size(); ++k) {
      const bool want = Matches(CreateRegex("(?-s)" + patterns[k]), text);
      matched += want ? 1 : 0;
      EXPECT_EQ(dfas[k]->MayMatch(text), want) << patterns[k] << " on text " << t;
      if (t % 4 == 0) {
        // Every start, also of matches across the middle (the forms are
        // exact: the starts are those of the pattern).
        const RegexRef anchored = CreateRegex("(?-s)\\A(?:" + patterns[k] + ")");
        std::vector<std::uint32_t> want, got;
        for (std::size_t at = 0; at < text.size(); ++at)
          if (IsMatch(anchored, std::string_view(text).substr(at))) want.push_back(static_cast<std::uint32_t>(at));
        ASSERT_TRUE(dfas[k]->MatchStarts(text, got));
        EXPECT_EQ(got, want) << patterns[k] << " on text " << t;
        starts += want.size();
      }
      EXPECT_EQ(mayMatch[k] != 0, want) << patterns[k] << " on text " << t << " (matcher)";
    }
  }
  EXPECT_GT(matched, 300u);
  EXPECT_LT(matched, 1700u);
  EXPECT_GT(starts, 100u);
}

// A pattern whose backward DFA grows large is tried forwards as well; the
// trials end in a choice, and the answers stay those of the pattern before,
// during and after them.
TEST(RelaxedDfaTest, TriesAForwardDfaWhereTheBackwardOneGrowsLarge) {
  const std::string pattern = "z[ab]{9}a";  // read backwards: a match may end at every a
  const RelaxedDfa dfa(*ExtractRelaxedForm(pattern));
  const RegexRef re = CreateRegex(pattern);
  std::mt19937 rng(11);
  const int searches = RelaxedDfa::kExistenceWarmUp + RelaxedDfa::kForwardWarmUp + RelaxedDfa::kExistenceTrials;
  for (int t = 0; t < 2 * searches; ++t) {
    std::string text(1000, 'a');
    for (char& c : text) c = "ab"[rng() % 2];
    if (t % 3 == 0) text[rng() % 900] = 'z';
    std::vector<std::uint32_t> starts;
    ASSERT_TRUE(dfa.MatchStarts(text, starts));
    EXPECT_EQ(IsMatchFrom(*re, text, &starts), Matches(re, text)) << "search " << t;
    EXPECT_EQ(!starts.empty(), Matches(re, text)) << "search " << t;
    EXPECT_EQ(dfa.ExistenceNow() == RelaxedDfa::Existence::kMeasured, t + 1 < searches) << "search " << t;
  }
  EXPECT_GE(dfa.StateCount(), RelaxedDfa::kForwardTrialStates);
}

// A pattern whose DFA would need too many states gives up: every text may
// match, from then on.
TEST(RelaxedDfaTest, StopsGrowingAtItsLimit) {
  // (read backwards: a match may start at every a)
  const RelaxedDfa dfa(*ExtractRelaxedForm("c[ab]{14}a"), nullptr, RelaxedDfa::Starts::kAnywhere,
                       RelaxedDfa::Existence::kBackward);
  ASSERT_TRUE(dfa.Usable());
  EXPECT_FALSE(dfa.MayMatch("bbbb"));
  // The moves made once are timed; a search that needs no new one adds nothing.
  const double madeOnce = dfa.MoveSeconds();
  EXPECT_FALSE(dfa.MayMatch("bbbb"));
  EXPECT_EQ(dfa.MoveSeconds(), madeOnce);
  std::mt19937 rng(3);
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "ab"[rng() % 2];
  EXPECT_TRUE(dfa.MayMatch(text));  // 2^14 sets of positions
  EXPECT_GT(dfa.MoveSeconds(), madeOnce);
  EXPECT_LE(dfa.StateCount(), RelaxedDfa::kMaxStates);
  EXPECT_TRUE(dfa.MayMatch("bbbb"));
  // One that fills up only after many searches starts afresh and answers
  // again; when it fills up again soon after, it stays full.
  const RelaxedDfa refilled(*ExtractRelaxedForm("c[ab]{14}a"), nullptr, RelaxedDfa::Starts::kAnywhere,
                            RelaxedDfa::Existence::kBackward);
  for (std::size_t k = 0; k < RelaxedDfa::kRefillWithin; ++k) ASSERT_FALSE(refilled.MayMatch("bbbb"));
  EXPECT_TRUE(refilled.MayMatch(text));  // too many states even afresh: this text may match
  EXPECT_FALSE(refilled.MayMatch("bbbb"));
  std::vector<std::uint32_t> starts;
  EXPECT_TRUE(refilled.MatchStarts("cabababababababa", starts));
  EXPECT_EQ(starts, std::vector<std::uint32_t>{0});
  EXPECT_TRUE(refilled.MayMatch(text));
  EXPECT_TRUE(refilled.MayMatch("bbbb")) << "full for good";

  // DFAs that share a budget stop growing when it is spent, and give back
  // what they took when they go.
  std::size_t firstNeeds = 0;
  {
    RelaxedDfa::Budget probe(1 << 20);
    const RelaxedDfa first(*ExtractRelaxedForm("y[ab]{6}x"), &probe);
    EXPECT_FALSE(first.MayMatch("abab"));
    firstNeeds = probe.used.load();
  }
  RelaxedDfa::Budget budget(firstNeeds + 64);  // room for a state or two more
  std::string qText;
  for (int i = 0; i < 2000; ++i) qText += "abq"[rng() % 3];
  {
    const RelaxedDfa first(*ExtractRelaxedForm("y[ab]{6}x"), &budget), second(*ExtractRelaxedForm("z[ab]{6}q"), &budget);
    EXPECT_FALSE(first.MayMatch("abab"));
    EXPECT_GT(budget.used.load(), 0u);
    EXPECT_TRUE(second.MayMatch(qText));  // needs more than is left
    EXPECT_LE(budget.used.load(), budget.limit);
    EXPECT_TRUE(second.MayMatch("abab"));
    EXPECT_FALSE(first.MayMatch("abab"));
  }
  EXPECT_EQ(budget.used.load(), 0u);
  RelaxedDfa::Budget ample(1 << 20);
  {  // (after y, read backwards, come ten followers: they are listed per class)
    const RelaxedDfa wide(*ExtractRelaxedForm("x(?:a+|b+|c+|d+|e+|f+|g+|h+|i+|j+)y"), &ample);
    EXPECT_TRUE(wide.MayMatch("xaay xjy"));
  }
  EXPECT_EQ(ample.used.load(), 0u);
}
