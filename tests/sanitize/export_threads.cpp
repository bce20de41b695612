// Eight threads call every export of a loaded plug-in a thousand times
// each, as a mail client's threads may: scoring (with automatic learning),
// training both ways, every macro the plug-in lists, the identification
// texts, the information page and the options dialog. Built and run under
// ThreadSanitizer (make test-tsan), which fails the run on any data race; it
// also checks that every call returned a sane result and that the trainings
// were all counted.
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

std::int32_t TBP_STDCALL Request(quelta::HostCookie cookie, std::int32_t item, void* buffer, std::int32_t size) {
  const std::string text = item == quelta::kItemRawMessage ? *reinterpret_cast<const std::string*>(cookie) : "";
  const auto n = static_cast<std::int32_t>(text.size()), k = size < n ? size : n;
  if (buffer && k > 0) std::memcpy(buffer, text.data(), static_cast<std::size_t>(k));
  return buffer ? k : n;
}

struct Receiver final : quelta::MacroReceiver {
  std::atomic<int> refs{0};
  std::string text;
  std::int32_t TBP_STDCALL QueryInterface(const void*, void** obj) override { return *obj = nullptr, -1; }
  std::uint32_t TBP_STDCALL AddRef() override { return static_cast<std::uint32_t>(++refs); }
  std::uint32_t TBP_STDCALL Release() override { return static_cast<std::uint32_t>(--refs); }
  std::int32_t TBP_STDCALL SetText(std::int32_t, const char* t, std::int32_t n) override {
    text.assign(t, n > 0 ? static_cast<std::size_t>(n) : 0);
    return 0;
  }
};

// A new message of its own for each call, spam-like or not by turns.
std::string MessageText(int thread, int call) {
  const std::string words = (thread + call) % 2 ? "meeting notes agenda minutes " : "cheap offer winner prize money ";
  return "From: <sender" + std::to_string(call % 50) + "@example.org>\r\nSubject: " + words + std::to_string(thread) +
         "-" + std::to_string(call) + "\r\nReceived: from relay (relay [192.0.2.7])\r\n\r\n" + words + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PLUGIN-FILE\n", argv[0]);
    return 2;
  }
  ::unsetenv("TERM");  // the options dialog must not take the terminal
  const fs::path dir = fs::temp_directory_path() / ("quelta-threads-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir / "Logs");
  fs::copy_file(argv[1], dir / "Quelta.tbp");
  const std::pair<const char*, const char*> files[] = {
      {"Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n[Bayes]\r\nMinWordCount=0\r\nAddHigherValue=30\r\nAddLowerValue=5\r\n"},
      {"Rules.dat", "SenderInAutoWL -5 I \"\" [awl]\r\nSUBJECT 40 S \"offer\" [offer]\r\nBayesScore 0 IP \"\" [bayes]\r\n"
                    "RCVALLIPS 5 R \"^192\\.0\\.2\\.\" [doc net]\r\n"},
      {"AutoWL.lst", "<sender1@example.org>|20990101\r\n"},
      {"Whitelist.txt", "sender2@example.org\r\n"}};
  for (const auto& f : files) std::ofstream(dir / f.first, std::ios::binary) << f.second;

  int failures = 0;
  {
    quelta_host::Plugin plugin;
    std::string err;
    if (!plugin.Load((dir / "Quelta.tbp").string(), err)) {
      std::fprintf(stderr, "export_threads: %s\n", err.c_str());
      return 2;
    }
    plugin.Initialize();
    std::vector<std::string> macros;
    std::string list(8192, '\0');
    list.resize(static_cast<std::size_t>(plugin.GetMacroList(&list[0], static_cast<std::int32_t>(list.size()))));
    for (std::size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2)
      macros.push_back(list.substr(at, end - at));
    if (macros.empty()) return 2;
    std::atomic<int> trained{0}, bad{0}, ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        for (++ready; ready < 8;) std::this_thread::yield();  // all start together, so that their calls overlap
        char buf[256];
        for (int i = 0; i < 1000; ++i) {
          std::string m = MessageText(t, i);
          const auto cookie = reinterpret_cast<quelta::HostCookie>(&m);
          Receiver r;
          const std::string& name = macros[static_cast<std::size_t>(i + t) % macros.size()];
          switch ((i + t) % 12) {
            case 0: plugin.GetName(buf, sizeof buf); break;
            case 1: plugin.GetVersion(buf, sizeof buf); break;
            case 2: plugin.GetInfo(nullptr, 0); break;
            case 3: plugin.GetStatus(); break;
            case 4: plugin.NeedConfig(); break;
            case 5: plugin.Setup(); break;
            case 6: plugin.GetMacroList(buf, sizeof buf); break;
            case 7: {
              const int score = plugin.GetSpamScore(cookie, &Request);
              bad += score < 0 || score > 100;
              break;
            }
            case 8: plugin.FeedSpam(cookie, i % 3 == 0 ? 1 : 0, &Request); ++trained; break;
            default:
              bad += plugin.ExecMacro(name.c_str(), static_cast<std::int32_t>(name.size()), &r, &r) != 0 || r.refs != 0;
          }
        }
      });
    }
    for (auto& th : threads) th.join();
    // Every training was of a new message.
    Receiver r;
    plugin.ExecMacro("Quelta_BayesMails", 17, &r, nullptr);
    const int mails = std::atoi(r.text.c_str());
    if (macros.size() != 18 || mails < trained || bad) {
      std::fprintf(stderr, "export_threads: %zu macros, %d messages counted, %d trained, %d wrong results\n",
                   macros.size(), mails, trained.load(), bad.load());
      ++failures;
    }
    plugin.Finalize();
    std::printf("export_threads: 8 threads x 1000 calls, %d trainings, %d messages in the Bayes database\n",
                trained.load(), mails);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return failures == 0 ? 0 : 1;
}
