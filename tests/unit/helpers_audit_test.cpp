// Exactness of the text helpers at their edges: token pieces with a
// delimiter longer than one character, URL escapes cut short by a blank,
// and the behaviour the fast paths of the URL scan, the folding, the word
// list and the Bayes tokeniser must keep (nested markers, case as written,
// capitals in shapes and runs, words lowered as they are copied out).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayes/word_table.h"
#include "base/strings.h"
#include "message/text_analysis.h"

using namespace quelta;

namespace {

std::vector<std::string> Tokens(const std::string& text, const std::string& prefix,
                                bool noNumbersOnly) {
  WordTable list;
  AddWords(list, text, prefix, true, kBayesDelimSubject, noNumbersOnly, {});
  std::vector<std::string> r;
  for (const WordEntry& e : list.Items()) r.push_back(e.word + "=" + std::to_string(e.count));
  return r;
}

}  // namespace

// The pieces are those of text + delimiter: a delimiter of two characters
// can begin in the text and end in the appended copy.
TEST(HelpersAuditToken, DelimiterReachingIntoTheAppendedCopy) {
  const struct {
    const char* text;
    const char* delim;
    int n;
    const char* piece;
  } cases[] = {
      {"x-", "--", 1, "x"},        // "x----": the first "--" starts at the text's '-'
      {"x-", "--", 2, ""},
      {"a-b-", "--", 1, "a-b"},
      {"a--b", "--", 1, "a"},      // unchanged: the usual pieces
      {"a--b", "--", 2, "b"},
      {"a--b", "--", 3, ""},
      {"ab", "--", 1, "ab"},
      {"", "--", 1, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.piece, GetToken(c.text, c.delim, c.n)) << c.text << " #" << c.n;
}

// The two characters after '%' are taken trimmed; fewer than two left
// ends the decoding and drops the rest.
TEST(HelpersAuditUnescape, BlankAfterPercentEndsTheText) {
  const struct {
    std::string text;
    std::string result;
  } cases[] = {
      {"ab%4 1cd", "ab"},
      {"ab% 41cd", "ab"},
      {"x%41% 4y", "xA"},
      {std::string("a%4\x01" "b", 5), "a"},
      {"a%4\tb", "a"},
      {"a%zz b", "a b"},          // two characters that are not hex: nothing, go on
      {"a%4g+b", "a b"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, UrlUnescape(c.text)) << c.text;
}

TEST(HelpersAuditUrls, NestedMarkersAndCaseAsWritten) {
  // The second "www." lies inside the first one's stretch: one URL.
  EXPECT_EQ("www.www.a.com\"www.b.com\"", FindUrls("www.www.a.com x www.b.com", "www.", false));
  // Case is kept, so the two spellings are two URLs.
  EXPECT_EQ("WWW.Example.COM/Path\"www.example.com/path\"",
            FindUrls("Visit WWW.Example.COM/Path, or www.example.com/path", "www.", false));
  // URL letters before the marker belong to the URL; "?" only with arguments.
  EXPECT_EQ("xhttp://a.b/c\"", FindUrls("(xhttp://a.b/c?d=1)", "http://", false));
  EXPECT_EQ("xhttp://a.b/c?d=1\"", FindUrls("(xhttp://a.b/c?d=1)", "http://", true));
  // Markers back to back: the stretches end alike but the second starts after
  // the '/' before it.
  EXPECT_EQ("http://http://a.com\"http://a.com\"",
            FindUrls("http://http://a.com", "http://", false));
  EXPECT_EQ("HTTP://x.org\"", FindUrls("HTTP://x.org", "http://", false));
  EXPECT_EQ("", FindUrls("no links here", "http://", false));
}

TEST(HelpersAuditFold, CapitalsInShapesAndRuns) {
  EXPECT_EQ("win", FoldText("VVIN"));
  EXPECT_EQ("money", FoldText("|\\/|ONEY"));
  EXPECT_EQ("a", FoldText("AAa"));        // runs are compared after lower-casing
  EXPECT_EQ("wv", FoldText("VvV"));
  EXPECT_EQ("aa", FoldText("\xC4\xE4"));  // two bytes folding alike are no run
}

TEST(HelpersAuditWords, LoweredAsCopiedOut) {
  EXPECT_EQ("\"hi\"there\"", WordList("  \x01Hi\x01 there  "));
  EXPECT_EQ("\"\xC4rger\"", WordList("\xC4RGER"));
  EXPECT_EQ((std::vector<std::string>{"S:free=3"}), Tokens("Free!!! FREE free", "S:", true));
  EXPECT_EQ((std::vector<std::string>{"S:\xC4rger=1"}), Tokens("\xC4RGER", "S:", true));
  EXPECT_EQ((std::vector<std::string>{"S:2007=1", "S:abcd=1"}),
            Tokens("2007 ABCD", "S:", false));
  EXPECT_EQ((std::vector<std::string>{"S:abcd=1"}), Tokens("2007 ABCD", "S:", true));
}
