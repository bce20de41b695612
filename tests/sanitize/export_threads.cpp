// Eight threads call every export of a loaded plug-in a thousand times
// each, as a mail client's threads may: scoring (with automatic learning),
// training both ways, the macros (the Bayes and statistics figures among
// them), the identification texts, the information page and the options
// dialog. Built and run under ThreadSanitizer (make test), which fails the
// run on any data race; it also checks that every call returned and that
// the trainings were all counted.
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PluginLoader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 1000;

const char* const kMacros[] = {
    "Quelta_DebugInfo",     "Quelta_PlugPath",       "Quelta_PlugName",      "Quelta_PlugVersion",
    "Quelta_LoadedRules",   "Quelta_BayesWords",     "Quelta_BayesMails",    "Quelta_BayesSpams",
    "Quelta_BayesHams",     "Quelta_BayesReclassified", "Quelta_BayesSpam2Ham", "Quelta_BayesHam2Spam",
    "Quelta_BayesLearned",  "Quelta_BayesLearnSpam", "Quelta_BayesLearnHam", "Quelta_BayesChecked",
    "Quelta_MsgFiltered",   "Quelta_Test"};

struct Message {
  std::string raw;
};

std::int32_t TBP_STDCALL Request(quelta::HostCookie cookie, std::int32_t item, void* buffer,
                                 std::int32_t size) {
  const auto* m = reinterpret_cast<const Message*>(cookie);
  const std::string text = item == quelta::kItemRawMessage ? m->raw : std::string();
  const auto n = static_cast<std::int32_t>(text.size());
  if (!buffer) return n;
  const std::int32_t k = size < n ? size : n;
  if (k > 0) std::memcpy(buffer, text.data(), static_cast<std::size_t>(k));
  return k;
}

struct Receiver final : quelta::MacroReceiver {
  std::atomic<int> refs{0};
  std::string text;
  std::int32_t TBP_STDCALL QueryInterface(const void*, void** obj) override {
    if (obj) *obj = nullptr;
    return -1;
  }
  std::uint32_t TBP_STDCALL AddRef() override { return static_cast<std::uint32_t>(++refs); }
  std::uint32_t TBP_STDCALL Release() override { return static_cast<std::uint32_t>(--refs); }
  std::int32_t TBP_STDCALL SetText(std::int32_t, const char* t, std::int32_t n) override {
    text.assign(t, n > 0 ? static_cast<std::size_t>(n) : 0);
    return 0;
  }
};

void Write(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string MessageText(int thread, int call) {
  const bool spammy = (thread + call) % 2 == 0;
  return "From: <sender" + std::to_string(call % 50) + "@example.org>\r\nSubject: " +
         (spammy ? "cheap offer winner " : "meeting notes ") + std::to_string(thread) + "-" +
         std::to_string(call) + "\r\nReceived: from relay (relay [192.0.2.7])\r\n\r\n" +
         (spammy ? "cheap offer winner prize money now\r\n" : "agenda minutes project review\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PLUGIN-FILE\n", argv[0]);
    return 2;
  }
  // The options dialog must not take the terminal the run is started from.
  ::unsetenv("TERM");
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("quelta-threads-" + std::to_string(rd()));
  fs::create_directories(dir / "Logs");
  fs::copy_file(argv[1], dir / "Quelta.tbp");
  Write(dir / "Quelta.ini",
        "[EasyMode]\r\nEnabled=0\r\n[Bayes]\r\nMinWordCount=0\r\nAddHigherValue=30\r\nAddLowerValue=5\r\n");
  Write(dir / "Rules.dat",
        "SenderInAutoWL -5 I \"\" [awl]\r\nSUBJECT 40 S \"offer\" [offer]\r\n"
        "BayesScore 0 IP \"\" [bayes]\r\nRCVALLIPS 5 R \"^192\\.0\\.2\\.\" [doc net]\r\n");
  Write(dir / "AutoWL.lst", "<sender1@example.org>|20990101\r\n");
  Write(dir / "Whitelist.txt", "sender2@example.org\r\n");

  int failures = 0;
  {
    quelta_host::Plugin plugin;
    std::string err;
    if (!plugin.Load((dir / "Quelta.tbp").string(), err)) {
      std::fprintf(stderr, "export_threads: %s\n", err.c_str());
      return 2;
    }
    plugin.Initialize();
    std::atomic<int> trained{0}, bad{0}, ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        // All threads start together, so that their calls overlap.
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        char buf[256];
        for (int i = 0; i < kCallsPerThread; ++i) {
          switch ((i + t) % 12) {
            case 0: plugin.GetName(buf, sizeof buf); break;
            case 1: plugin.GetVersion(buf, sizeof buf); break;
            case 2: plugin.GetInfo(nullptr, 0); break;
            case 3: plugin.GetStatus(); break;
            case 4: plugin.NeedConfig(); break;
            case 5: plugin.Setup(); break;
            case 6: plugin.GetMacroList(buf, sizeof buf); break;
            case 7: {
              Message m{MessageText(t, i)};
              const int score = plugin.GetSpamScore(reinterpret_cast<quelta::HostCookie>(&m), &Request);
              if (score < 0 || score > 100) ++bad;
              break;
            }
            case 8: {
              Message m{MessageText(t, i)};
              plugin.FeedSpam(reinterpret_cast<quelta::HostCookie>(&m), i % 3 == 0 ? 1 : 0, &Request);
              ++trained;
              break;
            }
            default: {
              Receiver r;
              const char* name = kMacros[static_cast<std::size_t>(i + t) % 18];
              if (plugin.ExecMacro(name, static_cast<std::int32_t>(std::strlen(name)), &r, &r) != 0 ||
                  r.refs != 0)
                ++bad;
            }
          }
        }
      });
    }
    for (auto& th : threads) th.join();
    // Every training was of a new message.
    Receiver r;
    plugin.ExecMacro("Quelta_BayesMails", 17, &r, nullptr);
    const int mails = std::atoi(r.text.c_str());
    if (mails < trained) {
      std::fprintf(stderr, "export_threads: %d messages counted, %d trained\n", mails, trained.load());
      ++failures;
    }
    if (bad) {
      std::fprintf(stderr, "export_threads: %d calls gave a wrong result\n", bad.load());
      ++failures;
    }
    plugin.Finalize();
    std::printf("export_threads: %d threads x %d calls, %d trainings, %d messages in the Bayes database\n",
                kThreads, kCallsPerThread, trained.load(), mails);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return failures == 0 ? 0 : 1;
}
