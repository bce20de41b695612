// Speed of the known-sender lists.
//
//   AutoWLLoad/plain      100,000 "<address>|yyyymmdd" lines: read, merged,
//                         indexed and written back (target: well under 1 s)
//   AutoWLLoad/quoted     the same with every line in the quoted form (each
//                         line's addresses parsed from a header-like text)
//   AutoWLContains        one sender looked up among 100,000 entries
//   BookContains          one sender looked up in a merged book text of
//                         5,000 addresses, as every shared-read check does
//   BookSubstringSearch   the same answer by a case-folded substring search
//                         of the whole text (what the index replaces)
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "base/date_time.h"
#include "os/env.h"
#include "lists/auto_white_list.h"
#include "lists/angle_index.h"

namespace fs = std::filesystem;

namespace {

std::string Ymd(double dt) {
  int y, m, d;
  quelta::DecodeDate(dt, y, m, d);
  char b[16];
  std::snprintf(b, sizeof b, "%04d%02d%02d", y, m, d);
  return b;
}

std::string AutoWLText(int lines, bool quoted) {
  const double today = std::floor(quelta::os::LocalNow());
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const std::string addr = "user" + std::to_string(i) + "@example" + std::to_string(i % 97) + ".org";
    const std::string date = Ymd(today - (i % 50));
    if (quoted)
      text += "\"User " + std::to_string(i) + " <" + addr + ">|" + date + "\"\r\n";
    else
      text += "<" + addr + ">|" + date + "\r\n";
  }
  return text;
}

fs::path TempFile(const char* name) {
  std::random_device rd;
  fs::path dir = fs::temp_directory_path() / ("quelta_lbench_" + std::to_string(rd()));
  fs::create_directories(dir);
  return dir / name;
}

void AutoWLLoad(benchmark::State& state) {
  const bool quoted = state.range(0) != 0;
  const fs::path file = TempFile("AutoWL.lst");
  const std::string text = AutoWLText(100000, quoted);
  quelta::AutoWhiteList list;
  for (auto _ : state) {
    state.PauseTiming();
    std::ofstream(file, std::ios::binary) << text;
    state.ResumeTiming();
    const int n = list.Load(file.string(), 60, quelta::os::LocalNow());
    if (n != 100000) state.SkipWithError("wrong entry count");
  }
  fs::remove_all(file.parent_path());
}
BENCHMARK(AutoWLLoad)->Arg(0)->Arg(1)->ArgNames({"quoted"})->Unit(benchmark::kMillisecond);

void AutoWLContains(benchmark::State& state) {
  const fs::path file = TempFile("AutoWL.lst");
  std::ofstream(file, std::ios::binary) << AutoWLText(100000, false);
  quelta::AutoWhiteList list;
  list.Load(file.string(), 60, quelta::os::LocalNow());
  for (auto _ : state) benchmark::DoNotOptimize(list.Contains("<Stranger@Example.net>"));
  fs::remove_all(file.parent_path());
}
BENCHMARK(AutoWLContains);

std::string BookText(int n) {
  std::string t;
  for (int i = 0; i < n; ++i) t += "<Contact" + std::to_string(i) + "@Example.org>";
  return t;
}

void BookContains(benchmark::State& state) {
  quelta::AngleIndex index;
  index.Assign(BookText(5000));
  for (auto _ : state) benchmark::DoNotOptimize(index.Contains("<stranger@example.net>"));
}
BENCHMARK(BookContains);

void BookSubstringSearch(benchmark::State& state) {
  const std::string folded = quelta::FoldCase(BookText(5000));
  for (auto _ : state)
    benchmark::DoNotOptimize(quelta::FoldedContains(folded, "<stranger@example.net>"));
}
BENCHMARK(BookSubstringSearch);

}  // namespace

BENCHMARK_MAIN();
