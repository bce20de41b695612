// The word table of one message: occurrence counts, the stable sort by
// distance, pruning, and its hash index held to a plain list under random
// changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
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

// After every re-ordering and pruning, Add finds the entry a plain scan of
// the list would find.
TEST(WordTable, IndexAgreesWithAPlainList) {
  std::mt19937 rng(31);
  WordTable t;
  std::vector<std::pair<std::string, int>> plain;  // word, count
  for (int step = 0; step < 4000; ++step) {
    const unsigned op = rng() % 10;
    if (op < 6) {
      const std::string w = "w" + std::to_string(rng() % 40);
      auto it = std::find_if(plain.begin(), plain.end(), [&](const auto& p) { return p.first == w; });
      if (it == plain.end())
        plain.emplace_back(w, 1);
      else
        ++it->second;
      t.Add(w);
    } else if (op < 8 && t.Count() > 0) {
      t.SetScore(static_cast<int>(rng() % static_cast<unsigned>(t.Count())), 0.5, (rng() % 5) * 0.1);
      std::vector<std::pair<std::string, int>> reordered;
      t.SortByDistance();
      for (const WordEntry& e : t.Items())
        reordered.push_back(*std::find_if(plain.begin(), plain.end(), [&](const auto& p) { return p.first == e.word; }));
      plain = reordered;
    } else if (op == 8) {
      t.RemoveInsignificant();
      plain.erase(std::remove_if(plain.begin(), plain.end(),
                                 [&](const auto& p) {
                                   return std::none_of(t.Items().begin(), t.Items().end(),
                                                       [&](const WordEntry& e) { return e.word == p.first; });
                                 }),
                  plain.end());
    } else {
      const int n = static_cast<int>(rng() % 30);
      t.Truncate(n);
      if (n < static_cast<int>(plain.size())) plain.resize(static_cast<std::size_t>(n));
    }
    ASSERT_EQ(t.Count(), static_cast<int>(plain.size())) << step;
    for (int i = 0; i < t.Count(); ++i) {
      ASSERT_EQ(t.At(i).word, plain[static_cast<std::size_t>(i)].first) << step;
      ASSERT_EQ(t.At(i).count, plain[static_cast<std::size_t>(i)].second) << step;
    }
  }
}

}  // namespace
}  // namespace quelta
