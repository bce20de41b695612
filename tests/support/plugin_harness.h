// Harness: a throw-away plug-in folder with its own copy of Quelta.tbp, the
// host's working folder, and a loaded plug-in driven through its exports
// exactly as the mail client drives it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "PluginLoader.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace harness {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

// A message the fake host hands out through its data-request callback.
struct HostMessage {
  std::string raw;
  std::string text16;  // item 100008, UTF-16LE
  std::atomic<int> sizeCalls{0};
  std::atomic<int> fillCalls{0};
};

inline std::int32_t QUELTA_HOST_STDCALL DataRequest(quelta_host::Cookie cookie, std::int32_t item,
                                                    void* buffer, std::int32_t size) {
  auto* m = reinterpret_cast<HostMessage*>(cookie);
  const std::string* d = item == 100005 ? &m->raw : item == 100008 ? &m->text16 : nullptr;
  if (!d) return 0;
  if (!buffer) {
    ++m->sizeCalls;
    return static_cast<std::int32_t>(d->size());
  }
  ++m->fillCalls;
  std::int32_t n = std::min<std::int32_t>(size, static_cast<std::int32_t>(d->size()));
  std::memcpy(buffer, d->data(), static_cast<std::size_t>(n));
  return n;
}

// Each test gets fresh folders and its own copy of the module, so the
// plug-in's folder (the module's folder) is private to the test.
class PluginFolder {
 public:
  PluginFolder() : dir_(root_.Path() / "plugin"), host_(root_.Path() / "host") {
    fs::create_directories(dir_ / "Logs");
    fs::create_directories(host_);
    fs::copy_file(QUELTA_PLUGIN_FILE, dir_ / "Quelta.tbp");
    SetHostWorkingDir(host_.string());
  }

  // Where the mail client keeps its working folder: the registry on
  // Windows, QUELTA_HOST_WORKDIR elsewhere.
  void SetHostWorkingDir(const std::string& dir) {
#if defined(_WIN32)
    char old[4096];
    DWORD size = sizeof old;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\RIT\\The Bat!", "Working Directory", RRF_RT_REG_SZ,
                     nullptr, old, &size) == ERROR_SUCCESS)
      savedHostDir_ = old;
    SetRegistryValue(dir);
#else
    quelta_host::SetEnv("QUELTA_HOST_WORKDIR", dir);
#endif
  }
  ~PluginFolder() {
    plugin_.Unload();
#if defined(_WIN32)
    SetRegistryValue(savedHostDir_);  // the mail client's value as it was
#endif
  }
#if defined(_WIN32)
  // Sets the working folder's registry value; an empty one removes it.
  static void SetRegistryValue(const std::string& dir) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\RIT\\The Bat!", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return;
    if (dir.empty())
      RegDeleteValueA(key, "Working Directory");
    else
      RegSetValueExA(key, "Working Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                     static_cast<DWORD>(dir.size() + 1));
    RegCloseKey(key);
  }
#endif

  const fs::path& Dir() const { return dir_; }
  const fs::path& HostDir() const { return host_; }
  void Write(const std::string& name, const std::string& data) { WriteBytes(dir_ / name, data); }
  std::string Read(const std::string& name) const { return ReadBytes(dir_ / name); }
  std::string Log() const { return ReadBytes(dir_ / "Logs" / "Filter.log"); }

  // Easy mode off, so a plain Rules.dat drives scoring.
  void UseRulesDat(const std::string& rules, const std::string& extraIni = "") {
    Write("Rules.dat", rules);
    Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n" + extraIni);
  }

  quelta_host::Plugin& Load() {
    std::string err;
    if (!plugin_.Load((dir_ / "Quelta.tbp").string(), err)) ADD_FAILURE() << err;
    return plugin_;
  }

  int Score(const std::string& raw) {
    HostMessage m;
    m.raw = raw;
    return plugin_.GetSpamScore(reinterpret_cast<quelta_host::Cookie>(&m), &DataRequest);
  }
  int Feed(const std::string& raw, int isSpam) { return Feed(plugin_, raw, isSpam); }
  // Training through any loaded copy of the module.
  static int Feed(quelta_host::Plugin& p, const std::string& raw, int isSpam) {
    HostMessage m;
    m.raw = raw;
    return p.FeedSpam(reinterpret_cast<quelta_host::Cookie>(&m), isSpam, &DataRequest);
  }

 private:
  testing_support::ScratchDir root_;
  fs::path dir_, host_;
  std::string savedHostDir_;
  quelta_host::Plugin plugin_;
};

// A macro receiver that keeps the text it was given and counts the
// references the plug-in holds on it.
struct TextReceiver : quelta_host::MacroReceiver {
  std::string text;
  int refs = 0, calls = 0, refsInSetText = 0;
  std::int32_t QUELTA_HOST_STDCALL QueryInterface(const void*, void**) override { return -1; }
  std::uint32_t QUELTA_HOST_STDCALL AddRef() override { return static_cast<std::uint32_t>(++refs); }
  std::uint32_t QUELTA_HOST_STDCALL Release() override { return static_cast<std::uint32_t>(--refs); }
  std::int32_t QUELTA_HOST_STDCALL SetText(std::int32_t zero, const char* t, std::int32_t n) override {
    ++calls;
    refsInSetText = zero == 0 ? refs : -1;
    text.assign(t, static_cast<std::size_t>(n));
    return 0;
  }
};

#if defined(_WIN32)
inline BOOL CALLBACK CancelVisibleWindow(HWND w, LPARAM) {
  if (IsWindowVisible(w)) PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}
#endif

// The host's setup call. On Windows it shows the options dialog modally;
// a helper thread cancels it as soon as it appears. On POSIX the dialog
// would take the terminal the tests run in: without TERM it logs why and
// returns at once. (The dialogs themselves are tested in tests/ui.)
inline std::int32_t SetupCancelled(quelta_host::Plugin& p) {
#if defined(_WIN32)
  const DWORD thread = GetCurrentThreadId();
  std::atomic<bool> done{false};
  std::thread closer([&] {
    while (!done) {
      EnumThreadWindows(thread, &CancelVisibleWindow, 0);
      Sleep(50);
    }
  });
  const std::int32_t result = p.Setup();
  done = true;
  closer.join();
  return result;
#else
  const char* term = std::getenv("TERM");
  const std::string saved = term ? term : "";
  unsetenv("TERM");
  const std::int32_t result = p.Setup();
  if (term) setenv("TERM", saved.c_str(), 1);
  return result;
#endif
}

// Lines of a CR LF text (the last line may lack its CR LF).
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t pos = 0, end; pos < text.size(); pos = end + 2) {
    end = std::min(text.find("\r\n", pos), text.size());
    out.push_back(text.substr(pos, end - pos));
  }
  return out;
}

// The log's lines with the date-time stamps (either the POSIX form or the
// Windows short date and long time) replaced by "<T>".
inline std::vector<std::string> Normalised(const std::string& log) {
  static const std::regex stamp(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d|\d{1,2}[./]\d{1,2}[./]\d{2,4} \d{1,2}:\d\d:\d\d( [AP]M)?)");
  std::vector<std::string> out;
  for (const auto& l : Lines(log)) out.push_back(std::regex_replace(l, stamp, "<T>"));
  return out;
}

// The report block of the last scored message: from the line after
// "Msg-Id:" to the line before "Message processed".
inline std::string Report(const std::string& log) {
  const auto msgid = log.rfind("Msg-Id:\t");
  if (msgid == std::string::npos) return "(no message in the log)";
  const auto start = log.find("\r\n", msgid) + 2;
  const auto end = log.find("Message processed in ", start);
  return log.substr(start, end - start);
}

}  // namespace harness
