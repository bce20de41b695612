// Speed of the required-literal prefilter: 1,000 rule patterns (each a word
// or two, some alternations, some without a usable literal) over a 10 KB
// message text.
//
//   Scan            one pass of the scanner over the text: which of the 1,000
//                   patterns may match
//   ScanAndMatch    the scan, then PCRE2 only for the patterns it lets through
//   MatchAll        every pattern run over the text, no prefilter (the road
//                   the scan replaces)
//   Extract         the extraction of the 1,000 patterns' literals
//   Build           building the scanner from them
//
// Target: Scan well under MatchAll / 20.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "regex/regex.h"
#include "regex/required_literals.h"

namespace {

class Rng {
 public:
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  std::uint32_t state_ = 88172645u;
};

std::string Word(Rng& rng, std::size_t minLen, std::size_t maxLen) {
  static const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";
  std::string w;
  const std::size_t n = minLen + rng.Next() % (maxLen - minLen + 1);
  // Frequent letters more often, as in text.
  for (std::size_t i = 0; i < n; ++i) w += kLetters[(rng.Next() % 26) * (rng.Next() % 26) / 26];
  return w;
}

const std::vector<std::string>& Patterns() {
  static const std::vector<std::string> patterns = [] {
    Rng rng;
    std::vector<std::string> p;
    for (int i = 0; i < 1000; ++i) {
      switch (i % 5) {
        case 0: p.push_back("\\b" + Word(rng, 5, 10) + "\\b"); break;
        case 1: p.push_back(Word(rng, 4, 8) + "\\s+" + Word(rng, 4, 8)); break;
        case 2: p.push_back("(?:" + Word(rng, 4, 8) + "|" + Word(rng, 4, 8) + ")\\W"); break;
        case 3: p.push_back(Word(rng, 3, 6) + "[0-9]{2,}" + Word(rng, 3, 6)); break;
        default: p.push_back(i % 50 == 4 ? "\\d{5,}\\s*$" : Word(rng, 6, 12)); break;
      }
    }
    return p;
  }();
  return patterns;
}

const std::string& Message() {
  static const std::string text = [] {
    Rng rng;
    std::string t;
    while (t.size() < 10 * 1024) {
      t += Word(rng, 2, 9);
      t += (rng.Next() % 12 == 0) ? ".\r\n" : " ";
    }
    return t;
  }();
  return text;
}

std::vector<quelta::RequiredLiterals> Literals() {
  std::vector<quelta::RequiredLiterals> l;
  for (const auto& p : Patterns()) l.push_back(quelta::ExtractRequiredLiterals(p));
  return l;
}

std::vector<quelta::RegexRef> Compiled() {
  std::vector<quelta::RegexRef> c;
  for (const auto& p : Patterns()) c.push_back(quelta::CreateRegex(p));
  return c;
}

void Scan(benchmark::State& state) {
  const quelta::LiteralScanner scanner(Literals());
  std::vector<std::uint8_t> may;
  for (auto _ : state) {
    scanner.Scan(Message(), may);
    benchmark::DoNotOptimize(may.data());
  }
  std::size_t through = 0;
  for (auto m : may) through += m;
  state.counters["let_through"] = static_cast<double>(through);
  state.counters["states"] = static_cast<double>(scanner.StateCount());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Message().size()));
}
BENCHMARK(Scan);

void ScanAndMatch(benchmark::State& state) {
  const quelta::LiteralScanner scanner(Literals());
  const auto compiled = Compiled();
  std::vector<std::uint8_t> may;
  for (auto _ : state) {
    scanner.Scan(Message(), may);
    int matched = 0;
    for (std::size_t i = 0; i < compiled.size(); ++i)
      if (may[i] && quelta::IsMatch(compiled[i], Message())) ++matched;
    benchmark::DoNotOptimize(matched);
  }
}
BENCHMARK(ScanAndMatch);

void MatchAll(benchmark::State& state) {
  const auto compiled = Compiled();
  for (auto _ : state) {
    int matched = 0;
    for (const auto& re : compiled)
      if (quelta::IsMatch(re, Message())) ++matched;
    benchmark::DoNotOptimize(matched);
  }
}
BENCHMARK(MatchAll);

void Extract(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Literals());
}
BENCHMARK(Extract);

void Build(benchmark::State& state) {
  const auto literals = Literals();
  for (auto _ : state) {
    quelta::LiteralScanner scanner(literals);
    benchmark::DoNotOptimize(scanner.StateCount());
  }
}
BENCHMARK(Build);

}  // namespace

BENCHMARK_MAIN();
