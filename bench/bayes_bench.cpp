// Speed of the Bayes filter against word databases of different sizes:
// classifying and training one 200-word message, loading and saving the
// word database. Classification and training must not grow with the size
// of the database.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "base/crc32.h"
#include "base/log.h"
#include "bayes/classifier.h"
#include "bayes/word_database.h"
#include "bayes/word_table.h"
#include "os/env.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

constexpr int kMessageWords = 200;

// A scratch folder for the databases, removed at exit.
struct Scratch {
  fs::path path;
  Scratch() {
    std::random_device rd;
    path = fs::temp_directory_path() / ("quelta_bayes_bench_" + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::string Folder() const { return path.string() + os::kPathSep; }
};

Scratch& TheScratch() {
  static Scratch s;
  return s;
}

std::string Word(int i) { return "word" + std::to_string(i); }

// A word database of `records` records (header included): well trained,
// word i known under Crc32(Word(i)).
WordDatabase MakeBase(int records) {
  std::mt19937 rng(static_cast<unsigned>(records));
  WordDatabase db;
  db.PutRecord(0, WordRecord{WordDatabase::kHeaderHash, 5000, 7000});
  for (int i = 1; i < records; ++i) db.AddRecord(Crc32(Word(i)), rng() % 50, rng() % 50);
  return db;
}

// One filter per database size, built from a file as at start-up.
BayesFilter& FilterWith(int records) {
  TheScratch();  // first, so that it outlives the filters
  static const BayesOptions options;
  static NullLog log;
  static std::map<int, std::unique_ptr<BayesFilter>> filters;
  auto& slot = filters[records];
  if (!slot) {
    Scratch& s = TheScratch();
    MakeBase(records).SaveToFile(s.File("Bayes.wdb"));
    os::WriteFileAtomic(s.File("Bayes.udb"), std::string());
    slot = std::make_unique<BayesFilter>(s.Folder(), options, log);
  }
  return *slot;
}

// A message of 200 distinct words: every other one known to the database.
WordTable MakeMessage(int records) {
  std::mt19937 rng(42);
  WordTable t;
  for (int i = 0; i < kMessageWords; ++i) {
    if (i % 2 == 0)
      t.Add(Word(1 + static_cast<int>(rng() % static_cast<unsigned>(records - 1))));
    else
      t.Add("unknown" + std::to_string(i));
  }
  return t;
}

void BM_Classify(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  BayesFilter& bayes = FilterWith(records);
  const WordTable message = MakeMessage(records);
  std::string debug;
  for (auto _ : state) {
    WordTable t = message;  // Classify prunes the table it is given
    benchmark::DoNotOptimize(bayes.Classify(t, false, debug).percent);
  }
}
BENCHMARK(BM_Classify)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The table copy alone, to read BM_Classify against.
void BM_CopyMessage(benchmark::State& state) {
  const WordTable message = MakeMessage(1000);
  for (auto _ : state) {
    WordTable t = message;
    benchmark::DoNotOptimize(t.Count());
  }
}
BENCHMARK(BM_CopyMessage)->Unit(benchmark::kMicrosecond);

// Training 200 words, alternately as spam and as ham: after the first call
// every call re-classifies, moving all counts.
void BM_Learn(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  BayesFilter& bayes = FilterWith(records);
  const WordTable message = MakeMessage(records);
  bool asSpam = true;
  for (auto _ : state) {
    bayes.Learn("Subject: benchmark\r\n", message, asSpam, 0.0);
    asSpam = !asSpam;
  }
  bayes.MarkUnchanged();
}
BENCHMARK(BM_Learn)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_LoadWordBase(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const std::string file = TheScratch().File("load.wdb");
  MakeBase(records).SaveToFile(file);
  WordDatabase db;
  for (auto _ : state) benchmark::DoNotOptimize(db.LoadFromFile(file));
  state.SetBytesProcessed(state.iterations() * records * 12);
}
BENCHMARK(BM_LoadWordBase)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SaveWordBase(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const std::string file = TheScratch().File("save.wdb");
  const WordDatabase db = MakeBase(records);
  for (auto _ : state) benchmark::DoNotOptimize(db.SaveToFile(file));
  state.SetBytesProcessed(state.iterations() * records * 12);
}
BENCHMARK(BM_SaveWordBase)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
