// The word table of one message: occurrence counts, the stable sort by
// distance, pruning, and its hash index held to a plain list under random
// changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "bayes/word_table.h"

namespace quelta {
namespace {

std::vector<std::string> WordsOf(const WordTable& t) {
  std::vector<std::string> out;
  for (const WordEntry& e : t.Items()) out.push_back(e.word);
  return out;
}

TEST(WordTable, AddCountsOccurrences) {
  WordTable t;
  t.Add("s:hello");
  t.Add("s:hello", 0, 5);  // an existing word grows by one, whatever the count
  t.Add("other", 0, 0);    // a count of 0 is taken as 1
  t.Add("third", 0, 7);
  t.Add("fourth", 0x1234, 1);
  ASSERT_EQ(t.Count(), 4);
  EXPECT_EQ(t.At(0).count, 2);
  EXPECT_EQ(t.At(0).hash, Crc32("s:hello"));
  EXPECT_EQ(t.At(1).count, 1);
  EXPECT_EQ(t.At(2).count, 7);
  EXPECT_EQ(t.At(3).hash, 0x1234u);
}

TEST(WordTable, SortAndPrune) {
  const double nan = std::nan("");
  const struct {
    double distance;
    bool kept;
  } rows[] = {{0.1, true},          {0.3, true},         {nan, true},         {0.2, true},
              {0.4, true},          {0.0, false},        {-0.0, false},       {0.00000005, false},
              {-0.00000005, false}, {0.0000001, true},   {-0.0000001, true},  {0.2, true}};
  WordTable t;
  for (int i = 0; i < 12; ++i) t.Add("w" + std::to_string(i), 0, 1, rows[i].distance, 0);
  t.RemoveInsignificant();
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"w0", "w1", "w2", "w3", "w4", "w9", "w10", "w11"}));
  // A distance that is no number never moves; each stretch beside it is
  // sorted on its own, largest first, equal distances in table order.
  t.SortByDistance();
  EXPECT_EQ(WordsOf(t), (std::vector<std::string>{"w1", "w0", "w2", "w4", "w3", "w11", "w9", "w10"}));
  t.Truncate(-1);
  EXPECT_EQ(t.Count(), 0);
}

// After re-ordering and pruning, Add still finds each word where it is now.
TEST(WordTable, AddFindsWordsAfterReorderingAndPruning) {
  WordTable t;
  for (int i = 0; i < 6; ++i) t.Add("w" + std::to_string(i), 0, 1, i % 3 == 0 ? 0.0 : 0.1 * i, 0);
  t.SortByDistance();       // w5 w4 w2 w1 w0 w3
  t.RemoveInsignificant();  // w5 w4 w2 w1
  t.Truncate(3);            // w5 w4 w2
  for (const char* w : {"w2", "w4", "w4", "w1", "w0", "w3"}) t.Add(w);
  std::vector<std::string> got;
  for (const WordEntry& e : t.Items()) got.push_back(e.word + "=" + std::to_string(e.count));
  EXPECT_EQ(got, (std::vector<std::string>{"w5=1", "w4=3", "w2=2", "w1=1", "w0=1", "w3=1"}));
}

}  // namespace
}  // namespace quelta
