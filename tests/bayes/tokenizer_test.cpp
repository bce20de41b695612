// The Bayes tokeniser: the bounds of a word (length, digits, edges,
// delimiters, the exception list) and the sources of a message's words. The
// word table of one message: occurrence counts, the stable sort by distance,
// pruning, and finding words after both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/strings.h"
#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "message/parser.h"

namespace quelta {
namespace {

using Words = std::vector<std::string>;

// Words of a table as "word=count", table order.
Words Dump(const WordTable& table) {
  Words r;
  for (const WordEntry& e : table.Items()) r.push_back(e.word + "=" + std::to_string(e.count));
  return r;
}

Words Tokens(const std::string& text, const std::string& delims, bool noNumbersOnly = true,
             const ExceptedWords* excepted = nullptr, const std::string& prefix = "") {
  WordTable table;
  AddWords(table, text, prefix, true, delims, noNumbersOnly, excepted);
  return Dump(table);
}

TEST(Tokenizer, WordBounds) {
  const std::string w30(30, 'x'), w31(31, 'y');
  const std::tuple<std::string, std::string, Words> cases[] = {
      {"abc abcd " + w30 + " " + w31, "", {"abcd=1", w30 + "=1"}},
      {"2007 12345 2007a", "", {"2007a=1"}},
      {"--hello-- 'quoted' ...", "", {"hello=1", "quoted=1"}},
      {"a.b.c.d", ",;\"<>", {"a.b.c.d=1"}},
      {"a.b.c.d", kBayesDelimSubject, {}},
      {"\xA0word\xA0\tnext\r\nline\x01item\x02more\x03" "four", "",
       {"word=1", "next=1", "line=1", "item=1", "more=1", "four=1"}},
      {std::string("zero\0ones", 9), "", {"zero=1", "ones=1"}},
      {"\xF1oooo\xF1", "", {"oooo=1"}},
      {"caf\xE9s \xC4RGER", "", {"caf\xE9s=1", "\xC4rger=1"}},
      {"<john@example.com>", kBayesDelimFrom, {"john@example.com=1"}},
      {"!!!!", "", {}},
      {"  SPAM spam\tSpam  ", "", {"spam=3"}},
      {"Cheap pills, CHEAP!", kBayesDelimSubject, {"cheap=2", "pills=1"}}};
  for (const auto& [text, delims, words] : cases) EXPECT_EQ(Tokens(text, delims), words) << text;
  EXPECT_EQ(Tokens("2007 12345", "", false), (Words{"2007=1", "12345=1"}));
  // The digits test looks at the word without its prefix.
  EXPECT_EQ(Tokens("2007 abcd", "", true, nullptr, "S:"), Words{"S:abcd=1"});
  WordTable one;
  AddWords(one, "Free", "S:", true, "", true);
  EXPECT_EQ(one.At(0).hash, Crc32("S:free"));
}

TEST(Tokenizer, ExceptedWordsIgnoreCaseAndTheLastLine) {
  // The list as the session reads it: lines, the last one without a line
  // end. A prefixed word is excepted with its prefix.
  const ExceptedWords excepted(SplitLines("S:FREE\r\ncheap\r\n\xC4RGER\r\nlast"));
  EXPECT_EQ(excepted.Size(), 4u);
  EXPECT_EQ(Tokens("free cheap pills", kBayesDelimSubject, true, &excepted, "S:"), (Words{"S:cheap=1", "S:pills=1"}));
  EXPECT_EQ(Tokens("\xC4rger \xE4rger cheap LAST lasting", "", true, &excepted), Words{"lasting=1"});
  EXPECT_FALSE(ExceptedWords({}).Contains("free"));
}

// A message's words: the subject, sender, mailer and Received words with
// their prefixes (each source trimmed), then the text's words.
TEST(Tokenizer, MessageSources) {
  const std::string raw =
      "Received: from -relay.example- ([192.0.2.1]) by mx.example; Mon\r\n"
      "From: \"Seller\" <seller@example.com>\r\nX-Mailer: (Mailer/2.0)\r\nSubject: Cheap offer 2007!\r\n"
      "Content-Type: multipart/alternative; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nplainwords\r\n"
      "--b\r\nContent-Type: text/html\r\n\r\nhypertext\r\n--b--\r\n";
  MessageOptions options;
  options.maxDataSize = 5;
  struct Rendered : RenderedTextSource {
    std::string RenderedText(std::size_t) override { return "rendered text"; }
  } rendered;
  MessageParser parser(raw, options, &rendered);
  const Words header = {"S:cheap=1", "S:offer=1",   "F:seller=1",     "F:seller@example.com=1",
                        "M:mailer=1", "R:relay.example=1", "R:192.0.2.1=1", "R:mx.example=1"};
  TokenizerOptions tokenizer;
  for (bool text : {false, true}) {
    tokenizer.noHtmlPart = text;  // the rendered text instead of the parts, each cut to five bytes
    WordTable table;
    TokenizeMessage(parser, tokenizer, table);
    Words want = header;
    for (const char* w : text ? std::vector<const char*>{"rende=1"} : std::vector<const char*>{"plain=1", "hyper=1"})
      want.push_back(w);
    EXPECT_EQ(Dump(table), want);
  }
}

TEST(WordTable, AddCountsOccurrences) {
  WordTable t;
  t.Add("s:hello");
  t.Add("s:hello", 0, 5);  // an existing word grows by one, whatever the count
  t.Add("other", 0, 0);    // a count of 0 is taken as 1
  t.Add("third", 0, 7);
  t.Add("fourth", 0x1234, 1);
  EXPECT_EQ(Dump(t), (Words{"s:hello=2", "other=1", "third=7", "fourth=1"}));
  EXPECT_EQ(t.At(0).hash, Crc32("s:hello"));
  EXPECT_EQ(t.At(3).hash, 0x1234u);
}

TEST(WordTable, SortPruneAndFindAgain) {
  const double nan = std::nan("");
  const double distances[] = {0.1, 0.3, nan, 0.2, 0.4, 0.0, -0.0, 0.00000005, -0.00000005, 0.0000001, -0.0000001, 0.2};
  WordTable t;
  for (int i = 0; i < 12; ++i) t.Add("w" + std::to_string(i), 0, 1, distances[i], 0);
  t.RemoveInsignificant();
  EXPECT_EQ(Dump(t), (Words{"w0=1", "w1=1", "w2=1", "w3=1", "w4=1", "w9=1", "w10=1", "w11=1"}));
  // A distance that is no number never moves; each stretch beside it is
  // sorted on its own, largest first, equal distances in table order.
  t.SortByDistance();
  EXPECT_EQ(Dump(t), (Words{"w1=1", "w0=1", "w2=1", "w4=1", "w3=1", "w11=1", "w9=1", "w10=1"}));
  t.Truncate(3);
  // Add still finds each word where it is now.
  for (const char* w : {"w0", "w1", "w1", "w4", "w6"}) t.Add(w);
  EXPECT_EQ(Dump(t), (Words{"w1=3", "w0=2", "w2=1", "w4=1", "w6=1"}));
  t.Truncate(-1);
  EXPECT_EQ(t.Count(), 0);
}

// Keeping the n largest distances leaves what sorting and truncating leaves:
// ties in table order, also among many equal distances, with and without
// distances that are no number.
TEST(WordTable, KeepLargestDistancesAsSortAndTruncate) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    WordTable table;
    const int count = 1 + static_cast<int>(rng() % 60);
    for (int i = 0; i < count; ++i) {
      double d = static_cast<double>(rng() % 7) / 10;
      if (round % 5 == 0 && rng() % 9 == 0) d = std::nan("");
      table.Add("w" + std::to_string(i), 0, 1, d, 0);
    }
    for (int n : {-1, 0, 1, 3, 15, count - 1, count, count + 2}) {
      WordTable a = table, b = table;
      a.SortByDistance();
      a.Truncate(n);
      b.KeepLargestDistances(n);
      EXPECT_EQ(Dump(b), Dump(a)) << "round " << round << ", n " << n;
      // Add finds a kept word where it now is, and appends a dropped one.
      a.Add("w0");
      b.Add("w0");
      EXPECT_EQ(Dump(b), Dump(a)) << "round " << round << ", n " << n;
    }
  }
}

}  // namespace
}  // namespace quelta
