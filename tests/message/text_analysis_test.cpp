// Text analysis: quoted word lists, folding of obfuscated spellings, the
// stop-word language test, broken words, letters only and short tag texts.
#include <gtest/gtest.h>

#include <string>

#include "message/text_analysis.h"
#include "support/table.h"

namespace quelta {
namespace {

using testing_support::ExpectEach;

TEST(TextAnalysis, WordList) {
  ExpectEach(WordList, {{"Hello, World! a", "\"hello\"world\""}, {"spam spam", "\"spam\"spam\""}, {"   \t ", "\""},
                        {"a b c", "\""}, {"\"quoted\" (paren) [x]", "\"quoted\"paren\""},
                        {"don't 'tis", "\"don't\"tis\""}, {"x-y a.b.c", "\"x-y\"a.b.c\""},
                        {"\xB4word\xB4 `w2`", "\"word\"w2\""}, {"\xC4" "BC \xE4" "bc", "\"\xC4" "bc\"\xE4" "bc\""},
                        {"one\r\ntwo\tthree", "\"one\"two\"three\""}, {"x \x01,ab", "\",ab\""},
                        {"a\x0B" "b", "\"a\x0B" "b\""}, {"  \x01Hi\x01 there  ", "\"hi\"there\""},
                        {"<b>bold</b>", "\"b>bold</b\""},
                        {std::string(600, 'x') + " ab", "\"" + std::string(500, 'x') + "\"ab\""}});
}

TEST(TextAnalysis, FoldText) {
  ExpectEach(FoldText, {{"V1AGRA", "viagra"}, {"\\/iagra", "viagra"}, {"cool", "coi"}, {"v.i-a", "via"},
                        {"|\\/|oney", "money"}, {"/\\/\\oney", "money"}, {"\\/\\/in", "win"}, {"|/\\|in", "win"},
                        {"vvin", "win"}, {"VVIN", "win"}, {"vvv", "wv"}, {"VvV", "wv"}, {"\\/\\", "v"},
                        {"\\\\/x", "x"}, {"lil", "iii"}, {"AAa", "a"}, {"Tab\there", "iab here"},
                        {"$ave 50%", "save 5o"}, {"\x80uro", "euro"}, {"f\xFC\xFCr", "fur"}, {"x\r\ny", "x y"},
                        {"Caf\xC9", "cafe"}, {"a--b", "ab"}, {"''\"\"", ""}, {"\xA7\xB0\xB4^~", ""},
                        {"\xA9\xA2\xAE\xB2\xB3\xB5\xA5\xA3\xA6\xAA", "ccr23uyiia"},
                        {"\xD0\xD1\xDE\xDF\xFF\xD8", "dnpbyo"}, {"4@\xE6", "aaa"}, {"\xC4\xE4", "aa"},
                        {"\xE7\x81k", "c\x81k"}, {std::string("\0x\x0B\x0C", 4), "x"}});
}

TEST(TextAnalysis, StopWords) {
  const auto en = StopWordLanguage::English, de = StopWordLanguage::German;
  EXPECT_TRUE(HasStopWords(WordList("the quick and the lazy you"), en, 3) && HasStopWords(WordList("THE AND YOU"), en, 3));
  EXPECT_FALSE(HasStopWords(WordList("the the the"), en, 3) || HasStopWords(WordList("another theme"), en, 1));
  EXPECT_FALSE(HasStopWords(WordList(""), en, 1));
  EXPECT_TRUE(HasStopWords(WordList("\xFC" "ber da\xDF k\xF6nnen"), de, 3));
  EXPECT_FALSE(HasStopWords(WordList("F\xDCR ist das"), de, 3));  // a capital umlaut misses
  EXPECT_FALSE(HasStopWords(WordList("the and you"), de, 1));
  EXPECT_TRUE(HasStopWords(WordList("in im"), de, 2));
  const std::string all = "hello all am an and are be dear down for from have here is no not now of on or our "
                          "some the them this to up we will with yes you your if by about";
  EXPECT_TRUE(HasStopWords(WordList(all), en, 36));
  EXPECT_FALSE(HasStopWords(WordList(all), en, 37));
}

TEST(TextAnalysis, BrokenWordsLettersAndTagTexts) {
  auto broken = [](const std::string& text) { return std::to_string(CountBrokenWords(text, "")); };
  ExpectEach(broken, {{"v1agra m0ney e-mail", "2"}, {"v.i.a.g.r.a", "1"}, {"1abc abc1 12", "0"}, {"m0ney", "1"},
                      {"don't /slash\\ back`s", "0"}, {"h\xE9llo", "1"}, {"gr\xFC\xDF" "e", "0"}, {"a1b2c3 x_y", "2"}});
  EXPECT_EQ(CountBrokenWords("m0ney", "0"), 0);  // extra letters
  EXPECT_EQ(LettersOnly("Hello, World 123 \xE4\xC4!"), "helloworld");
  const std::tuple<std::string, int, int, int, int> tags[] = {  // html, minimum, maximum, limit, count{"<b>ab</b><i>x</i>", 1, 4, 10, 2}, {"<p>   </p><p>a</p>", 1, 4, 10, 1},
              {"<b>a</b><b>b</b><b>c</b><b>d</b><b>e</b>", 1, 4, 3, 3},
              {"<b>abcde</b><b>abcd</b>", 1, 100, 10, 1},  // a maximum above 99 is 4
              {"<b></b>", 0, 4, 10, 0},                    // a minimum below 1 is 1
              {"<b>abc</b>", 3, 3, 10, 1}, {"<b>abc</b>", 4, 9, 10, 0}, {"> x < y > z <", 1, 4, 10, 2},
              {"a > b", 1, 4, 10, 0}};
  for (const auto& [html, minimum, maximum, limit, count] : tags)
    EXPECT_EQ(CountShortTagTexts(html, minimum, maximum, limit), count) << html;
}

}  // namespace
}  // namespace quelta
