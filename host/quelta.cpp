// quelta: the command-line host. It loads Quelta.tbp from a plug-in folder
// and drives it exactly as the mail client does: TBP_Initialize, then per
// message the data-request callback protocol (items 100005 and 100008),
// then TBP_Finalize. It is the Linux users' spam filter and the
// developers' stand-in for the mail client.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "PluginLoader.h"

#if defined(_WIN32)
#include <fcntl.h>
#endif

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "Usage: quelta [options] COMMAND [ARGS]\n"
    "\n"
    "Scores and trains e-mail with the Quelta anti-spam plug-in, loading it\n"
    "exactly as the mail client does.\n"
    "\n"
    "Commands:\n"
    "  score FILE|DIR|-          print one line per message: score, verdict, file.\n"
    "                            A DIR means every regular file in it (a maildir's\n"
    "                            cur/ and new/ too). '-' reads one message from\n"
    "                            standard input; the exit status is then 0 for ham,\n"
    "                            1 for spam, 2 for an error (for delivery pipelines).\n"
    "  train --spam|--ham FILE|DIR|-\n"
    "                            teach the Bayes filter that these messages are spam\n"
    "                            or ham (not spam).\n"
    "  info                      print the plug-in's name, version and information page.\n"
    "  macro NAME                print the text of a template macro (e.g. Quelta_BayesWords);\n"
    "                            'macro --list' lists the names.\n"
    "  setup                     open the options dialog.\n"
    "\n"
    "Options:\n"
    "  --plugin-dir DIR   folder holding Quelta.tbp and its data files (rules, lists,\n"
    "                     Quelta.ini, Bayes databases, Logs/). Default: the folder of\n"
    "                     this program.\n"
    "  --host-dir DIR     the mail client's working folder (where TBPlugin.INI with\n"
    "                     [AntiSpam] JunkScore=N lives). Default: $QUELTA_HOST_WORKDIR.\n"
    "                     (On Windows the plug-in takes it from the mail client's\n"
    "                     registry settings instead.)\n"
    "  --no-progress      no progress bar on standard error.\n"
    "  -h, --help         this text.\n"
    "\n"
    "A message scoring above the junk threshold (JunkScore, default 99) is spam.\n"
    "Messages are handed over with CR LF line ends, as a mail client stores them.\n"
    "Everything the filter does is written to Logs/Filter.log in the plug-in folder.\n";

// Mail-client storage uses CR LF: bare LF (and lone CR) become CR LF.
std::string ToCrLf(const std::string& in) {
  std::string out;
  out.reserve(in.size() + in.size() / 32 + 16);
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool ReadAll(std::istream& in, std::string& out) {
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return !in.bad();
}

bool ReadFileBytes(const fs::path& p, std::string& out) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return false;
  return ReadAll(f, out);
}

// The message handed to the plug-in through the callback.
struct Message {
  std::string raw;  // CR LF lines
  std::string text16;  // the rendered text as UTF-16LE (item 100008)
};

// Rendered text: the body as the client would show it, approximated by the
// raw body widened to UTF-16LE (each byte becomes one code unit).
std::string RenderedText(const std::string& raw) {
  auto p = raw.find("\r\n\r\n");
  std::string body = p == std::string::npos ? std::string() : raw.substr(p + 4);
  std::string out;
  out.reserve(body.size() * 2);
  for (char c : body) {
    out += c;
    out += '\0';
  }
  return out;
}

std::int32_t QUELTA_HOST_STDCALL DataRequest(quelta_host::Cookie cookie, std::int32_t item,
                                             void* buffer, std::int32_t size) {
  const Message* m = reinterpret_cast<const Message*>(cookie);
  if (!m) return 0;
  const std::string* data = nullptr;
  if (item == 100005) data = &m->raw;
  else if (item == 100008) data = &m->text16;
  else return 0;
  const auto len = static_cast<std::int32_t>(std::min<std::size_t>(data->size(), 0x7FFFFFFF));
  if (!buffer || size <= 0) return len;
  const std::int32_t n = std::min(size, len);
  std::memcpy(buffer, data->data(), static_cast<std::size_t>(n));
  return n;
}

// The files a FILE|DIR argument names: a file itself; a directory's regular
// files, plus those of a maildir's cur/ and new/.
std::vector<fs::path> CollectFiles(const std::string& arg, std::string& error) {
  std::vector<fs::path> files;
  std::error_code ec;
  fs::path p(arg);
  if (fs::is_regular_file(p, ec)) {
    files.push_back(p);
    return files;
  }
  if (!fs::is_directory(p, ec)) {
    error = "no such file or directory: " + arg;
    return files;
  }
  auto addDir = [&](const fs::path& d) {
    std::vector<fs::path> here;
    for (const auto& e : fs::directory_iterator(d, ec))
      if (e.is_regular_file(ec)) here.push_back(e.path());
    std::sort(here.begin(), here.end());
    files.insert(files.end(), here.begin(), here.end());
  };
  addDir(p);
  for (const char* sub : {"cur", "new"})
    if (fs::is_directory(p / sub, ec)) addDir(p / sub);
  return files;
}

class Progress {
 public:
  Progress(std::size_t total, bool enabled) : total_(total), enabled_(enabled && total > 1) {}
  void Step(std::size_t done) {
    if (!enabled_) return;
    const int width = 40;
    const int filled = static_cast<int>(width * done / total_);
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(width - filled), '.').c_str(), done, total_);
    if (done == total_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  std::size_t total_;
  bool enabled_;
};

std::string ExecutableDir(const char* argv0) {
  std::error_code ec;
  fs::path self = quelta_host::ExecutablePath();
  if (self.empty()) self = fs::absolute(argv0, ec);
  return self.parent_path().string();
}

int ReadJunkScore(const std::string& hostDir) {
  // [AntiSpam] JunkScore in the host's TBPlugin.INI; 99 when absent.
  std::ifstream f(fs::path(hostDir) / "TBPlugin.INI");
  std::string line;
  bool inSection = false;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto t = line.find_first_not_of(" \t");
    if (t == std::string::npos) continue;
    line = line.substr(t);
    if (line[0] == '[') {
      std::string name = line.substr(1, line.find(']') - 1);
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      inSection = name == "antispam";
      continue;
    }
    auto eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    key.erase(key.find_last_not_of(" \t") + 1);
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    if (key == "junkscore") {
      try {
        return std::stoi(line.substr(eq + 1));
      } catch (...) {
        return 99;
      }
    }
  }
  return 99;
}

struct Options {
  std::string pluginDir;
  std::string hostDir;
  bool progress = true;
  std::vector<std::string> args;
};

int Usage(int rc) {
  (rc == 0 ? std::cout : std::cerr) << kUsage;
  return rc;
}

struct ReceiverImpl : quelta_host::MacroReceiver {
  std::string text;
  std::int32_t QUELTA_HOST_STDCALL QueryInterface(const void*, void** obj) override {
    if (obj) *obj = nullptr;
    return static_cast<std::int32_t>(0x80004002u);  // no interface
  }
  std::uint32_t QUELTA_HOST_STDCALL AddRef() override { return 1; }
  std::uint32_t QUELTA_HOST_STDCALL Release() override { return 1; }
  std::int32_t QUELTA_HOST_STDCALL SetText(std::int32_t, const char* t, std::int32_t n) override {
    text.assign(t ? t : "", t && n > 0 ? static_cast<std::size_t>(n) : 0);
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") return Usage(0);
    if (a == "--plugin-dir" || a == "--host-dir") {
      if (i + 1 >= argc) {
        std::cerr << "quelta: " << a << " needs a folder\n";
        return 2;
      }
      (a == "--plugin-dir" ? opt.pluginDir : opt.hostDir) = argv[++i];
    } else if (a.rfind("--plugin-dir=", 0) == 0) {
      opt.pluginDir = a.substr(13);
    } else if (a.rfind("--host-dir=", 0) == 0) {
      opt.hostDir = a.substr(11);
    } else if (a == "--no-progress") {
      opt.progress = false;
    } else {
      opt.args.push_back(a);
    }
  }
  if (opt.args.empty()) return Usage(2);
  if (opt.pluginDir.empty()) opt.pluginDir = ExecutableDir(argv[0]);
  if (!opt.hostDir.empty()) quelta_host::SetEnv("QUELTA_HOST_WORKDIR", opt.hostDir);
  const char* hd = std::getenv("QUELTA_HOST_WORKDIR");
  const std::string hostDir = hd ? hd : "";

  const std::string& cmd = opt.args[0];
  if (cmd != "score" && cmd != "train" && cmd != "info" && cmd != "macro" && cmd != "setup") {
    std::cerr << "quelta: unknown command '" << cmd << "'\n\n";
    return Usage(2);
  }

  // Gather messages before loading the plug-in, so argument errors cost nothing.
  bool spam = false;
  std::vector<std::string> inputs;
  if (cmd == "score" || cmd == "train") {
    std::size_t k = 1;
    if (cmd == "train") {
      if (opt.args.size() < 2 || (opt.args[1] != "--spam" && opt.args[1] != "--ham")) {
        std::cerr << "quelta: train needs --spam or --ham\n";
        return 2;
      }
      spam = opt.args[1] == "--spam";
      k = 2;
    }
    inputs.assign(opt.args.begin() + static_cast<std::ptrdiff_t>(k), opt.args.end());
    if (inputs.empty()) {
      std::cerr << "quelta: " << cmd << " needs FILE, DIR or -\n";
      return 2;
    }
  }
  if (cmd == "macro" && opt.args.size() < 2) {
    std::cerr << "quelta: macro needs a NAME (or --list)\n";
    return 2;
  }

  quelta_host::Plugin plugin;
  std::string err;
  const std::string file = (fs::path(opt.pluginDir) / "Quelta.tbp").string();
  if (!plugin.Load(file, err)) {
    std::cerr << "quelta: cannot load " << file << ": " << err << "\n";
    return 2;
  }
  if (!(plugin.Initialize() & 0xFF))
    std::cerr << "quelta: the plug-in reported that its rule sets failed to load (see Logs/Filter.log)\n";

  int rc = 0;
  if (cmd == "info") {
    std::cout << plugin.Text(plugin.GetName) << " " << plugin.Text(plugin.GetVersion) << "\n"
              << plugin.Text(plugin.GetInfo) << "\n";
  } else if (cmd == "setup") {
    plugin.Setup();
  } else if (cmd == "macro") {
    if (opt.args[1] == "--list") {
      std::cout << plugin.Text(plugin.GetMacroList);
    } else {
      ReceiverImpl receiver;
      if (plugin.ExecMacro(opt.args[1].c_str(), static_cast<std::int32_t>(opt.args[1].size()),
                           &receiver, nullptr) != 0) {
        std::cerr << "quelta: no macro named '" << opt.args[1] << "'\n";
        rc = 2;
      } else {
        std::cout << receiver.text << "\n";
      }
    }
  } else {
    const int junk = ReadJunkScore(hostDir);
    const bool fromStdin = inputs.size() == 1 && inputs[0] == "-";
    std::vector<fs::path> files;
    if (!fromStdin) {
      for (const auto& in : inputs) {
        std::string e;
        auto f = CollectFiles(in, e);
        if (!e.empty()) {
          std::cerr << "quelta: " << e << "\n";
          rc = 2;
        }
        files.insert(files.end(), f.begin(), f.end());
      }
    }
    Progress progress(files.size(), opt.progress && quelta_host::IsTerminal(2));
    auto handle = [&](const std::string& raw, const std::string& name) -> int {
      Message m;
      m.raw = ToCrLf(raw);
      m.text16 = RenderedText(m.raw);
      auto cookie = reinterpret_cast<quelta_host::Cookie>(&m);
      if (cmd == "train") {
        plugin.FeedSpam(cookie, spam ? 1 : 0, &DataRequest);
        std::cout << (spam ? "spam" : "ham") << "\t" << name << "\n";
        return 0;
      }
      const int score = plugin.GetSpamScore(cookie, &DataRequest);
      const bool isSpam = score > junk;
      std::cout << score << "\t" << (isSpam ? "SPAM" : "HAM") << "\t" << name << "\n";
      return isSpam ? 1 : 0;
    };
    if (fromStdin) {
#if defined(_WIN32)
      _setmode(_fileno(stdin), _O_BINARY);  // no CR LF translation, no end at Ctrl-Z
#endif
      std::string raw;
      if (!ReadAll(std::cin, raw)) {
        std::cerr << "quelta: cannot read standard input\n";
        rc = 2;
      } else {
        rc = handle(raw, "-");
        if (cmd == "train") rc = 0;
      }
    } else {
      std::size_t done = 0;
      for (const auto& f : files) {
        std::string raw;
        if (!ReadFileBytes(f, raw)) {
          std::cerr << "quelta: cannot read " << f.string() << "\n";
          rc = 2;
        } else {
          handle(raw, f.string());
        }
        progress.Step(++done);
      }
    }
    std::cout.flush();
  }
  plugin.Finalize();
  return rc;
}
