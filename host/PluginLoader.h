// PluginLoader: loads Quelta.tbp and looks up its twelve exports by name, as
// the mail client does (LoadLibrary/GetProcAddress on Windows, dlopen/dlsym
// elsewhere). Shared by the quelta host and the plug-in tests.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#include <cstdlib>
#endif

#include "plugin/host_abi.h"

#define QUELTA_HOST_STDCALL TBP_STDCALL

namespace quelta_host {

using Cookie = quelta::HostCookie;
using DataRequestProc = quelta::DataRequestProc;
using MacroReceiver = quelta::MacroReceiver;
using VoidFn = quelta::TbpVoidFn;
using TextFn = quelta::TbpTextFn;
using ScoreFn = quelta::TbpScoreFn;
using FeedFn = quelta::TbpFeedFn;
using MacroFn = quelta::TbpMacroFn;

inline void SetEnv(const std::string& name, const std::string& value) {
#if defined(_WIN32)
  SetEnvironmentVariableA(name.c_str(), value.c_str());
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline bool IsTerminal(int fd) {
#if defined(_WIN32)
  return _isatty(fd) != 0;
#else
  return isatty(fd) != 0;
#endif
}

class Plugin {
 public:
  VoidFn Initialize = nullptr, Finalize = nullptr, GetStatus = nullptr, NeedConfig = nullptr,
         Setup = nullptr;
  TextFn GetName = nullptr, GetVersion = nullptr, GetInfo = nullptr, GetMacroList = nullptr;
  ScoreFn GetSpamScore = nullptr;
  FeedFn FeedSpam = nullptr;
  MacroFn ExecMacro = nullptr;

  Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  ~Plugin() { Unload(); }

  bool Load(const std::string& file, std::string& error) {
#if defined(_WIN32)
    handle_ = LoadLibraryA(file.c_str());
    if (!handle_) {
      error = "LoadLibrary failed (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
#else
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* e = dlerror();
      error = e ? e : "dlopen failed";
      return false;
    }
#endif
    bool ok = Bind(Initialize, "TBP_Initialize") & Bind(Finalize, "TBP_Finalize") &
              Bind(GetName, "TBP_GetName") & Bind(GetVersion, "TBP_GetVersion") &
              Bind(GetInfo, "TBP_GetInfo") & Bind(GetStatus, "TBP_GetStatus") &
              Bind(NeedConfig, "TBP_NeedConfig") & Bind(Setup, "TBP_Setup") &
              Bind(GetSpamScore, "TBP_GetSpamScore") & Bind(FeedSpam, "TBP_FeedSpam") &
              Bind(GetMacroList, "TBP_GetMacroList") & Bind(ExecMacro, "TBP_ExecMacro");
    if (!ok) {
      error = "an export is missing: " + missing_;
      Unload();
    }
    return ok;
  }

  void Unload() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
  }

  // A text export read the way a host does: length first, then the text.
  std::string Text(TextFn fn) const {
    std::int32_t n = fn(nullptr, 0);
    if (n <= 0) return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    std::int32_t got = fn(&s[0], n);
    s.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return s;
  }

 private:
  template <typename F>
  bool Bind(F& fn, const char* name) {
#if defined(_WIN32)
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
    fn = reinterpret_cast<F>(dlsym(handle_, name));
#endif
    if (!fn) missing_ += std::string(missing_.empty() ? "" : ", ") + name;
    return fn != nullptr;
  }
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  void* handle_ = nullptr;
#endif
  std::string missing_;
};

// Full path of the running program.
inline std::string ExecutablePath() {
#if defined(_WIN32)
  char buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
#else
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
#endif
}

}  // namespace quelta_host
