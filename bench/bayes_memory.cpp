// Memory of the plug-in's session with a large Bayes profile: one process
// scores or trains one message, so that its peak memory can be read with
// `/usr/bin/time -v` or farm-bench.
//
//   bayes_memory DIR build [RECORDS]   a profile of RECORDS word records
//                                      (default 1,000,000) and 1,000 trainings
//   bayes_memory DIR score             start-up, one message scored, shutdown
//   bayes_memory DIR train             start-up, one message trained, shutdown
//                                      (the databases are saved)
//
// Prints the time of start-up (loading) and of shutdown (saving) to
// standard error.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/session.h"
#include "base/crc32.h"
#include "bayes/undo_database.h"
#include "bayes/word_database.h"
#include "os/env.h"

using namespace quelta;

namespace {

std::string Word(int i) { return "word" + std::to_string(i); }

int Build(const std::string& dir, int records) {
  std::mt19937 rng(7);
  WordDatabase words;
  words.PutRecord(0, WordRecord{WordDatabase::kHeaderHash, 5000, 7000});
  for (int i = 1; i < records; ++i) words.AddRecord(Crc32(Word(i)), rng() % 50, rng() % 50);
  UndoDatabase undo;
  for (int i = 0; i < 1000; ++i) undo.AddRecord(rng(), i % 2 == 0, 46000.5);
  if (!words.SaveToFile(dir + "Bayes.wdb") || !undo.SaveToFile(dir + "Bayes.udb")) {
    std::fprintf(stderr, "cannot write the databases in %s\n", dir.c_str());
    return 2;
  }
  return 0;
}

// A message of about 400 words, half of them known to the database.
std::string Message(unsigned seed) {
  std::mt19937 rng(seed);
  std::string m = "From: someone@example.com\r\nTo: you@example.org\r\nSubject: offer " +
                  std::to_string(seed) + "\r\nMessage-ID: <" + std::to_string(rng()) +
                  "@example.com>\r\n\r\n";
  for (int i = 0; i < 400; ++i) {
    m += i % 2 == 0 ? Word(1 + static_cast<int>(rng() % 999999)) : "other" + std::to_string(rng());
    m += i % 12 == 11 ? "\r\n" : " ";
  }
  return m + "\r\n";
}

double MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bayes_memory DIR build [RECORDS] | score | train\n");
    return 2;
  }
  std::string dir = argv[1];
  if (dir.back() != os::kPathSep) dir += os::kPathSep;
  const std::string mode = argv[2];
  if (mode == "build") return Build(dir, argc > 3 ? std::atoi(argv[3]) : 1000000);
  if (mode != "score" && mode != "train") return 2;

  setenv("QUELTA_PROFILE", dir.c_str(), 1);
  Session session;
  auto t = std::chrono::steady_clock::now();
  session.Startup();
  const double loadMs = MsSince(t);
  const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  if (mode == "score")
    std::printf("%d\n", session.ScoreMessage(Message(seed), nullptr));
  else
    session.TrainMessage(Message(seed), nullptr, seed % 2 == 0);
  t = std::chrono::steady_clock::now();
  session.Shutdown();
  std::fprintf(stderr, "start-up %.1f ms, shutdown %.1f ms, word records %u\n", loadMs, MsSince(t),
               session.BayesNumbers().wordRecords);
  return 0;
}
