// Word lists, folding of obfuscated spellings, stop-word language tests,
// broken-word counts, short tag texts and the Bayes tokeniser: exact list
// bytes, the Windows-1252 character tables, and the bounds of the Bayes
// words (length, digits, exception list, prefixes).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayes/word_table.h"
#include "base/strings.h"
#include "message/text_analysis.h"
#include "app/session.h"

using namespace quelta;

namespace {

// Words of a word table with their counts, as "word=count" in table order.
std::vector<std::string> Dump(const WordTable& list) {
  std::vector<std::string> r;
  for (const WordEntry& e : list.Items()) r.push_back(e.word + "=" + std::to_string(e.count));
  return r;
}

std::vector<std::string> Tokens(const std::string& text, const std::string& prefix,
                                const std::string& delims, bool noNumbersOnly = true,
                                const std::vector<std::string>& excepted = {}) {
  WordTable list;
  AddWords(list, text, prefix, true, delims, noNumbersOnly, excepted);
  return Dump(list);
}

using V = std::vector<std::string>;

}  // namespace

TEST(WordsList, QuotedWords) {
  const struct {
    std::string text;
    std::string list;
  } cases[] = {
      {"Hello, World! a", "\"hello\"world\""},
      {"spam spam", "\"spam\"spam\""},
      {"", "\""},
      {"   \t ", "\""},
      {"a b c", "\""},
      {"\"quoted\" (paren) [x]", "\"quoted\"paren\""},
      {"don't 'tis", "\"don't\"tis\""},
      {"x-y a.b.c", "\"x-y\"a.b.c\""},
      {"\xB4word\xB4 `w2`", "\"word\"w2\""},           // acute accent and backquote are edges
      {"\xC4" "BC \xE4" "bc", "\"\xC4" "bc\"\xE4" "bc\""},  // ASCII lower-casing only
      {"one\r\ntwo\tthree", "\"one\"two\"three\""},
      {"x \x01,ab", "\",ab\""},                         // controls go after the edges
      {"a\x0B" "b", "\"a\x0B" "b\""},                   // only blanks, tabs and line ends break
      {"...,,, ??", "\""},
      {"<b>bold</b>", "\"b>bold</b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.list, WordList(c.text)) << c.text;
}

TEST(WordsList, LongWordsAreCut) {
  const std::string w(600, 'x');
  EXPECT_EQ("\"" + std::string(500, 'x') + "\"", WordList(w));
  EXPECT_EQ("\"" + std::string(500, 'x') + "\"ab\"", WordList("(" + w + ") ab"));
}

TEST(WordsFold, Spellings) {
  const struct {
    std::string text;
    std::string folded;
  } cases[] = {
      {"V1AGRA", "viagra"},
      {"\\/iagra", "viagra"},
      {"cool", "coi"},          // the doubled 'o' collapses, 'l' folds to 'i'
      {"v.i-a", "via"},
      {"|\\/|oney", "money"},
      {"/\\/\\oney", "money"},
      {"\\/\\/in", "win"},
      {"|/\\|in", "win"},
      {"vvin", "win"},
      {"vvv", "wv"},
      {"\\/\\", "v"},
      {"\\\\/x", "x"},          // the run of '\' collapses before "\/" is seen
      {"hello", "heio"},
      {"lil", "iii"},           // runs collapse in the input only
      {"Tab\there", "iab here"},
      {"$ave 50%", "save 5o"},
      {"\x80uro", "euro"},
      {"f\xFC\xFCr", "fur"},
      {"x\r\ny", "x y"},
      {"Caf\xC9", "cafe"},
      {"a--b", "ab"},
      {"''\"\"", ""},
      {"\xA7\xB0\xB4^~", ""},
      {"\xA9\xA2\xAE\xB2\xB3\xB5\xA5\xA3\xA6\xAA", "ccr23uyiia"},
      {"\xD0\xD1\xDE\xDF\xFF\xD8", "dnpbyo"},
      {"4@\xE6", "aaa"},        // different characters folding alike are no run
      {"\xE7\x81k", "c\x81k"},  // characters in neither table are kept
      {"", ""},
      {std::string("\0x\x0B\x0C", 4), "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.folded, FoldText(c.text)) << c.text;
}

TEST(WordsStop, EnglishAndGerman) {
  EXPECT_TRUE(HasStopWords(WordList("the quick and the lazy you"), StopWordLanguage::English, 3));
  EXPECT_FALSE(HasStopWords(WordList("the the the"), StopWordLanguage::English, 3));
  EXPECT_TRUE(HasStopWords(WordList("THE AND YOU"), StopWordLanguage::English, 3));
  EXPECT_TRUE(HasStopWords(WordList("Hello."), StopWordLanguage::English, 1));
  EXPECT_FALSE(HasStopWords(WordList("another theme"), StopWordLanguage::English, 1));
  EXPECT_FALSE(HasStopWords(WordList(""), StopWordLanguage::English, 1));
  EXPECT_TRUE(HasStopWords(WordList("Das ist f\xFCr dich"), StopWordLanguage::German, 3));
  EXPECT_TRUE(HasStopWords(WordList("\xFC" "ber da\xDF k\xF6nnen"), StopWordLanguage::German, 3));
  // Only ASCII letters are lowered: a capital umlaut misses "f\xFCr".
  EXPECT_FALSE(HasStopWords(WordList("F\xDCR ist das"), StopWordLanguage::German, 3));
  EXPECT_FALSE(HasStopWords(WordList("the and you"), StopWordLanguage::German, 1));
  EXPECT_TRUE(HasStopWords(WordList("in im"), StopWordLanguage::German, 2));
  // Every English stop word counts.
  const std::string all =
      "hello all am an and are be dear down for from have here is no not now of on or our "
      "some the them this to up we will with yes you your if by about";
  EXPECT_TRUE(HasStopWords(WordList(all), StopWordLanguage::English, 32));
  EXPECT_FALSE(HasStopWords(WordList(all), StopWordLanguage::English, 37));
}

TEST(WordsBroken, Counts) {
  const struct {
    std::string text;
    std::string extra;
    int count;
  } cases[] = {
      {"v1agra m0ney e-mail", "", 2},
      {"hello world", "", 0},
      {"v.i.a.g.r.a", "", 1},
      {"1abc abc1 12", "", 0},       // non-letters at the edges do not break a word
      {"m0ney", "0", 0},             // extra letters
      {"V1AGRA", "", 1},
      {"don't /slash\\ back`s", "", 0},
      {"h\xE9llo", "", 1},           // accented vowels are not letters here
      {"gr\xFC\xDF" "e", "", 0},
      {"a1b2c3 x_y", "", 2},
      {"", "", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.count, CountBrokenWords(c.text, c.extra)) << c.text << " / " << c.extra;
}

TEST(WordsLetters, OnlyAsciiLetters) {
  EXPECT_EQ("helloworld", LettersOnly("Hello, World 123 \xE4\xC4!"));
  EXPECT_EQ("", LettersOnly("123 !?"));
}

TEST(WordsTags, ShortTextsBetweenTags) {
  const struct {
    std::string html;
    int minimum, maximum, limit, count;
  } cases[] = {
      {"<b>ab</b><i>x</i>", 1, 4, 10, 2},
      {"<p>   </p><p>a</p>", 1, 4, 10, 1},          // blank texts do not count
      {"<b>a</b><b>b</b><b>c</b><b>d</b><b>e</b>", 1, 4, 3, 3},
      {"<b>abcde</b><b>abcd</b>", 1, 100, 10, 1},   // a maximum above 99 is 4
      {"<b></b>", 0, 4, 10, 0},                     // a minimum below 1 is 1
      {"<b>abc</b>", 3, 3, 10, 1},
      {"<b>abc</b>", 4, 9, 10, 0},
      {"no tags", 1, 4, 10, 0},
      {"a > b", 1, 4, 10, 0},
      {"> x < y > z <", 1, 4, 10, 2},
      {"", 1, 4, 10, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.count, CountShortTagTexts(c.html, c.minimum, c.maximum, c.limit)) << c.html;
}

TEST(WordsBayes, SubjectWords) {
  EXPECT_EQ(V{"S:free=1"}, Tokens("Free!!!", "S:", kBayesDelimSubject));
  EXPECT_EQ((V{"S:cheap=2", "S:pills=1"}),
            Tokens("Cheap pills, CHEAP!", "S:", kBayesDelimSubject));
  EXPECT_EQ(V{}, Tokens("buy now", "S:", kBayesDelimSubject));
}

TEST(WordsBayes, LengthBounds) {
  const std::string w30(30, 'x'), w31(31, 'y');
  EXPECT_EQ((V{"abcd=1", w30 + "=1"}), Tokens("abc abcd " + w30 + " " + w31, "", ""));
}

TEST(WordsBayes, NumbersOnly) {
  EXPECT_EQ(V{}, Tokens("2007 12345", "", "", true));
  EXPECT_EQ((V{"2007=1", "12345=1"}), Tokens("2007 12345", "", "", false));
  EXPECT_EQ((V{"2007a=1"}), Tokens("2007a", "", "", true));
  // The digits test looks at the word without its prefix.
  EXPECT_EQ(V{}, Tokens("2007", "S:", "", true));
}

TEST(WordsBayes, EdgesAndDelimiters) {
  const struct {
    std::string text;
    std::string delims;
    V words;
  } cases[] = {
      {"--hello-- 'quoted' ...", "", {"hello=1", "quoted=1"}},
      {"a.b.c.d", ",;\"<>", {"a.b.c.d=1"}},
      {"a.b.c.d", kBayesDelimSubject, {}},
      {"\xA0word\xA0\tnext\r\nline\x01item\x02more\x03" "four", "", {"word=1", "next=1", "line=1",
                                                                 "item=1", "more=1", "four=1"}},
      {std::string("zero\0ones", 9), "", {"zero=1", "ones=1"}},
      {"\xF1oooo\xF1", "", {"oooo=1"}},                 // n with tilde is no letter here
      {"caf\xE9s \xC4RGER", "", {"caf\xE9s=1", "\xC4rger=1"}},
      {"<john@example.com>", kBayesDelimFrom, {"john@example.com=1"}},
      {"x@y.z", "", {"x@y.z=1"}},
      {"!!!!", "", {}},
      {"  SPAM spam\tSpam  ", "", {"spam=3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.words, Tokens(c.text, "", c.delims)) << c.text;
}

TEST(WordsBayes, ExceptionListIgnoresCase) {
  EXPECT_EQ((V{"S:cheap=1"}),
            Tokens("free cheap", "S:", kBayesDelimSubject, true, {"S:FREE", "cheap"}));
  // Accented capitals match too (the system's case rules, not ASCII only).
  EXPECT_EQ(V{}, Tokens("\xC4rger \xE4rger", "", "", true, {"\xC4RGER"}));
}

TEST(WordsBayes, WordHashIsTheCrc) {
  WordTable list;
  AddWords(list, "Free", "S:", true, kBayesDelimSubject, true, {});
  ASSERT_EQ(1, list.Count());
  EXPECT_EQ(Crc32("S:free"), list.At(0).hash);
}

TEST(WordsBayes, UsesTheSettingAndTheExceptionList) {
  PluginState& p = Plugin();
  const bool savedNumbers = p.Settings.NoNumbersOnly;
  const std::vector<std::string> savedWords = Objects().ExceptedWords;
  p.Settings.NoNumbersOnly = false;
  Objects().ExceptedWords = {"HELLO"};
  WordTable list;
  AddWords(list, "hello 2007 world", "", true, "");
  EXPECT_EQ((V{"2007=1", "world=1"}), Dump(list));
  p.Settings.NoNumbersOnly = true;
  Objects().ExceptedWords.clear();
  WordTable list2;
  AddWords(list2, "hello 2007 world", "", true, "");
  EXPECT_EQ((V{"hello=1", "world=1"}), Dump(list2));
  p.Settings.NoNumbersOnly = savedNumbers;
  Objects().ExceptedWords = savedWords;
}

TEST(WordsBayes, SourceDelimiterSets) {
  EXPECT_EQ(std::string(",;.:/\\!?&\"()[]{}=+*#<>"), kBayesDelimSubject);
  EXPECT_EQ(std::string(",;\"<>"), kBayesDelimFrom);
  EXPECT_EQ(std::string(",;:/\\()[]{}"), kBayesDelimMailer);
  EXPECT_EQ(std::string("\",;:/\\()[]{}<>="), kBayesDelimReceived);
}
