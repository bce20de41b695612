// Windows implementation of the platform layer: the real Win32 calls behind
// every function of Env.h (ANSI "A" functions throughout, so all text is in
// the system's code page, Windows-1252 on Western systems).
//
// Promises: nothing here throws (allocation failures aside, which the
// callers' guards catch); every handle opened is closed on every path.
#include "os/env.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

// <windows.h> maps these names to their "A" variants; the os layer defines
// functions of the same names in its own namespace.
#undef DeleteFile
#undef ReplaceFile

namespace quelta::os {

const char kPathSep = '\\';
const char kTemporaryFileMask[] = "*.~quelta-*.tmp";
// Long enough for a short run of another process (a delivery filter) to
// end; short enough that the mail client never seems to hang at start-up.
const std::uint32_t kProfileLockWaitMs = 10000;

namespace {

// Blanks as the system's Trim sees them: every control character and space.
std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// RAII for a kernel handle (files) and a registry key.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  // Closes now; false when closing failed (a write may not have reached the file).
  bool close() {
    if (!valid()) return true;
    BOOL ok = ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }
  // Hands the handle over; this object no longer closes it.
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (k_) ::RegCloseKey(k_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY* out() { return &k_; }
  HKEY get() const { return k_; }

 private:
  HKEY k_ = nullptr;
};

// Bytes this process may still write (LimitFileWrites); negative: no limit.
std::atomic<long long> writeAllowance{-1};

// Takes up to n bytes of the allowance; the number that may be written.
std::size_t AllowWrite(std::size_t n) {
  long long left = writeAllowance.load();
  while (left >= 0) {
    const long long take = left < static_cast<long long>(n) ? left : static_cast<long long>(n);
    if (writeAllowance.compare_exchange_weak(left, left - take)) return static_cast<std::size_t>(take);
  }
  return n;
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
  const std::size_t allowed = AllowWrite(size);
  std::size_t done = 0;
  while (done < allowed) {
    std::size_t left = allowed - done;
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(h, data + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  if (allowed < size) {
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

bool WriteAll(HANDLE h, const std::string& data) { return WriteAll(h, data.data(), data.size()); }

// Wildcard match of a long file name, ignoring letter case: "*" any run,
// "?" one character. The file system's own search may also match the short
// (8.3) alias of a name; this filter keeps only names that match as written.
bool WildMatch(const char* mask, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*mask == '*') {
      star = mask++;
      resume = name;
    } else if (*mask == '?' ||
               (*mask && ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, mask, 1, name, 1) ==
                             CSTR_EQUAL)) {
      ++mask;
      ++name;
    } else if (star) {
      mask = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == '\0';
}

// Days from 1970-01-01 to the Gregorian date y-m-d (any year).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Gregorian date of a day count from 1970-01-01.
void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}

constexpr long long kDaysTo1970 = 25569;  // 1899-12-30 .. 1970-01-01
constexpr long long kMsPerDay = 86400000;

// Three-way result of CompareStringA, or a byte comparison when it fails.
int CompareResult(int r, const std::string& a, const std::string& b) {
  if (r == CSTR_LESS_THAN) return -1;
  if (r == CSTR_EQUAL) return 0;
  if (r == CSTR_GREATER_THAN) return 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int ClampLen(std::size_t n) { return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n); }

}  // namespace

// ---- Host and module ------------------------------------------------------

std::string HostWorkingDirRaw() {
  RegKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RIT\\The Bat!", 0, KEY_QUERY_VALUE, key.out()) !=
      ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key.get(), "Working Directory", nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return {};
  std::string value(size, '\0');
  // The value may grow between the two calls; retry with the size reported.
  for (int attempt = 0; attempt < 3; ++attempt) {
    size = static_cast<DWORD>(value.size());
    LONG rc = ::RegQueryValueExA(key.get(), "Working Directory", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&value[0]), &size);
    if (rc == ERROR_MORE_DATA) {
      value.assign(size, '\0');
      continue;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    value.resize(size);
    // Stored strings usually carry their terminating zero; cut at the first.
    auto z = value.find('\0');
    if (z != std::string::npos) value.resize(z);
    return value;
  }
  return {};
}

std::string ProfileFolderOverride() { return {}; }

bool LearningSwitchedOff() {
  char value[4] = {};
  const DWORD n = ::GetEnvironmentVariableA("QUELTA_NO_LEARN", value, sizeof value);
  return n == 1 && value[0] == '1';
}

std::string ModuleFileName() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ModuleFileName), &module))
    return {};
  std::string name(MAX_PATH, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(module, &name[0], static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    if (name.size() >= 32768) return {};
    name.assign(name.size() * 2, '\0');  // truncated: try a larger buffer
  }
}

std::string VersionString(const std::string& file, const std::string& key) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return {};
  std::string block(size, '\0');
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, &block[0])) return {};
  void* p = nullptr;
  UINT len = 0;
  if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &p, &len) || !p ||
      len < 2 * sizeof(WORD))
    return {};
  const WORD* translation = static_cast<const WORD*>(p);
  char path[256];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s",
                static_cast<unsigned>(translation[0]), static_cast<unsigned>(translation[1]),
                key.c_str());
  p = nullptr;
  len = 0;
  if (!::VerQueryValueA(block.data(), path, &p, &len) || !p) return {};
  const char* text = static_cast<const char*>(p);
  // len counts characters, sometimes with the terminating zero.
  std::size_t n = 0;
  while (n < len && text[n] != '\0') ++n;
  return TrimBlanks(std::string(text, n));
}

// ---- INI files ------------------------------------------------------------

std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def, std::size_t bufSize) {
  // The system function trims the default it is given and truncates it like
  // a value; a marker default tells "missing" apart so `def` comes back as
  // given. The value is read into a buffer of at least the marker's size and
  // then cut to bufSize-1 characters, as a buffer of bufSize would.
  static const char kMissing[] = "\x01\x02quelta.ini.missing\x02\x01";
  std::size_t cap = bufSize < 64 ? 64 : bufSize;
  if (cap > 0x7FFFFFFF) cap = 0x7FFFFFFF;
  std::string buf(cap, '\0');
  DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kMissing, &buf[0],
                                       static_cast<DWORD>(cap), file.c_str());
  buf.resize(n < cap ? n : cap - 1);
  std::string result = (buf == kMissing) ? def : buf;
  if (bufSize > 0 && result.size() > bufSize - 1) result.resize(bufSize - 1);
  return result;
}

bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
  // The entry's bytes count against the write allowance of the tests.
  if (AllowWrite(key.size() + value.size() + 3) < key.size() + value.size() + 3) return false;
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

bool IniWriteAll(const std::string& file, const std::vector<IniEntry>& entries) {
  bool ok = true;
  for (const IniEntry& e : entries) ok = IniWrite(file, e.section, e.key, e.value) && ok;
  // All three null: the system writes its cached copy of the file out now.
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  return ok;
}

// ---- Environment, time ----------------------------------------------------

void UseHugePagesForHeap(char** /*argv*/) {}

std::string ExpandEnvironment(const std::string& text) {
  std::string buf(4096, '\0');
  DWORD need = ::ExpandEnvironmentStringsA(text.c_str(), &buf[0], static_cast<DWORD>(buf.size()));
  if (need == 0) return text;
  if (need > buf.size()) {
    // Longer than the fixed buffer: expand fully, then cut as the fixed buffer would.
    buf.assign(need + 1, '\0');
    if (::ExpandEnvironmentStringsA(text.c_str(), &buf[0], static_cast<DWORD>(buf.size())) == 0)
      return text;
  }
  buf.resize(std::strlen(buf.c_str()));
  if (buf.size() > 4095) buf.resize(4095);
  return buf;
}

std::uint32_t TickCount() { return static_cast<std::uint32_t>(::GetTickCount()); }

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

double LocalNow() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  long long days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDaysTo1970;
  long long ms = ((st.wHour * 60LL + st.wMinute) * 60LL + st.wSecond) * 1000LL + st.wMilliseconds;
  return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

std::string FormatDateTime(double dt) {
  if (!std::isfinite(dt)) return {};
  // Whole days count from the epoch; the fraction's magnitude is the time
  // of day, also for dates before 1899-12-30.
  double whole = std::trunc(dt);
  if (std::fabs(whole) > 4.0e6) return {};
  long long days = static_cast<long long>(whole);
  long long ms = std::llround(std::fabs(dt - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // rounding reached midnight
    ms -= kMsPerDay;
    days += dt < 0 ? -1 : 1;
  }
  long long y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days - kDaysTo1970, y, m, d);
  if (y < 1601 || y > 30827) return {};
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
  st.wHour = static_cast<WORD>(ms / 3600000);
  st.wMinute = static_cast<WORD>(ms / 60000 % 60);
  st.wSecond = static_cast<WORD>(ms / 1000 % 60);
  st.wMilliseconds = static_cast<WORD>(ms % 1000);
  char date[128], time[128];
  if (!::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date))
    return {};
  if (!::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time)) return {};
  return std::string(date) + " " + time;
}

// ---- Files ----------------------------------------------------------------

bool FileExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  return (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& mask) {
  std::vector<std::string> names;
  // "*.*" means every name, with or without a dot.
  const std::string filter = (mask == "*.*") ? std::string("*") : mask;
  WIN32_FIND_DATAA fd{};
  HANDLE h = ::FindFirstFileA((folder + mask).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (WildMatch(filter.c_str(), fd.cFileName)) names.emplace_back(fd.cFileName);
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return names;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
         FALSE;
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }

bool ReadFile(const std::string& path, std::string& out) {
  out.clear();
  Handle h(::CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.valid()) return false;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31))
    out.reserve(static_cast<std::size_t>(size.QuadPart));
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h.get(), buf, sizeof buf, &got, nullptr)) {
      out.clear();
      return false;
    }
    if (got == 0) break;
    out.append(buf, got);
  }
  return true;
}

namespace {

class WinRandomAccessFile final : public RandomAccessFile {
 public:
  explicit WinRandomAccessFile(HANDLE h) : h_(h) {}
  bool ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
    char* p = static_cast<char*>(buf);
    while (n > 0) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!::ReadFile(h_.get(), p, want, &got, &at) || got == 0) return false;
      p += got;
      n -= got;
      offset += got;
    }
    return true;
  }
  std::int64_t Size() override {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(h_.get(), &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
  }

 private:
  Handle h_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccessFile(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WinRandomAccessFile>(h);
}

bool CanWriteFile(const std::string& path) {
  Handle h(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  return h.valid();
}

std::string FolderOf(const std::string& path) {
  const auto p = path.find_last_of("\\/:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

namespace {

HANDLE OpenForAppending(const std::string& path) {
  // Append-only access: every write lands at the current end of the file,
  // also when another program appends at the same time.
  // (Read access for the lock below; without it where another program
  // shares the file for writing only.)
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE raw = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, share, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION)
    raw = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return raw;
}

// Appends through an append-only handle wait for each other (a lock on a
// byte far beyond any end of file): where append-only access is emulated by
// seeking to the end first (Wine), two appends at once could otherwise land
// at the same offset, and one line would overwrite the other.
bool AppendLocked(HANDLE h, const std::string& data) {
  OVERLAPPED lockAt{};
  lockAt.Offset = 0xFFFFFFFEu;
  lockAt.OffsetHigh = 0x7FFFFFFFu;
  const bool locked = ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != FALSE;
  const bool ok = WriteAll(h, data);
  if (locked) ::UnlockFileEx(h, 0, 1, 0, &lockAt);
  return ok;
}

class Win32AppendableFile final : public AppendableFile {
 public:
  explicit Win32AppendableFile(HANDLE h) : h_(h) {}
  bool Append(const std::string& data) override { return AppendLocked(h_.get(), data); }

 private:
  Handle h_;
};

}  // namespace

bool AppendFile(const std::string& path, const std::string& data) {
  Handle h(OpenForAppending(path));
  if (!h.valid()) return false;
  const bool ok = AppendLocked(h.get(), data);
  return h.close() && ok;
}

std::unique_ptr<AppendableFile> OpenAppendableFile(const std::string& path) {
  HANDLE h = OpenForAppending(path);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return nullptr;
  return std::make_unique<Win32AppendableFile>(h);
}

std::string TemporaryName(const std::string& path, const std::string& tag) {
  return path + ".~quelta-" + tag + ".tmp";
}

namespace {

// A temporary name of path that no other call of this process, and no
// other process running now, makes: prefix, the process id and a count.
std::string UniqueTemporaryName(const std::string& path, const char* prefix) {
  static std::atomic<unsigned> counter{0};
  char tag[64];
  std::snprintf(tag, sizeof tag, "%s%lx-%x", prefix, static_cast<unsigned long>(::GetCurrentProcessId()),
                counter++);
  return TemporaryName(path, tag);
}

// A new temporary file beside path, filled by write(handle) and flushed.
bool WriteTemporaryFileWith(const std::string& path, const std::function<bool(HANDLE)>& write,
                            std::string& tempPath) {
  tempPath.clear();
  std::string tmp;
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && raw == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = UniqueTemporaryName(path, "");
    raw = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (raw == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  Handle h(raw);
  if (!h.valid()) return false;
  bool ok = write(h.get()) && ::FlushFileBuffers(h.get());
  ok = h.close() && ok;
  if (!ok) {
    ::DeleteFileA(tmp.c_str());
    return false;
  }
  tempPath = tmp;
  return true;
}

}  // namespace

bool WriteTemporaryFile(const std::string& path, const std::string& data, std::string& tempPath) {
  return WriteTemporaryFileWith(path, [&](HANDLE h) { return WriteAll(h, data); }, tempPath);
}

bool WriteTemporaryFileFrom(const std::string& path, const ByteSource& source,
                            std::string& tempPath) {
  return WriteTemporaryFileWith(
      path,
      [&](HANDLE h) {
        std::vector<char> buf(65536);
        for (;;) {
          const std::size_t n = source(buf.data(), buf.size());
          if (n == 0) return true;
          if (!WriteAll(h, buf.data(), n < buf.size() ? n : buf.size())) return false;
        }
      },
      tempPath);
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
  std::string tmp;
  if (!WriteTemporaryFile(path, data, tmp)) return false;
  if (ReplaceFile(tmp, path)) return true;
  ::DeleteFileA(tmp.c_str());
  return false;
}

GrowingReplace ReplaceGrowingFile(const std::string& tempPath, const std::string& path,
                                  std::int64_t size, bool carryGrowth, std::string& appended) {
  appended.clear();
  if (!FileExists(path)) {
    return size == 0 && ReplaceFile(tempPath, path) ? GrowingReplace::kReplaced
                                                    : GrowingReplace::kChanged;
  }
  std::unique_ptr<RandomAccessFile> old = OpenRandomAccessFile(path);
  // The bytes the old file holds after `from`, added to `appended`.
  const auto takeTail = [&](std::int64_t from) {
    const std::int64_t end = old->Size();
    if (end <= from) return true;
    std::string tail(static_cast<std::size_t>(end - from), '\0');
    if (!old->ReadAt(static_cast<std::uint64_t>(from), &tail[0], tail.size())) return false;
    appended += tail;
    return true;
  };
  const std::int64_t now = old ? old->Size() : -1;
  if (now < 0) return GrowingReplace::kFailed;
  if (now < size) return GrowingReplace::kChanged;
  if (now > size && !carryGrowth) {
    if (!takeTail(size)) return GrowingReplace::kFailed;
    return GrowingReplace::kGrew;
  }
  // After the replace, every byte the old file got after size is carried
  // over: a writer that opened it just before may write to it just after,
  // later on a busy system. Look on until the old file has not grown for
  // kQuietLooks looks and its last line is whole (a write can be seen half
  // done).
  const auto carryOver = [&] {
    constexpr int kQuietLooks = 10, kMaxGrowthLooks = 100;
    std::size_t seen = 0;
    int quiet = 0;
    for (int look = 0; look < kMaxGrowthLooks; ++look) {
      if (look > 0) ::Sleep(2);
      takeTail(size + static_cast<std::int64_t>(appended.size()));
      quiet = appended.size() == seen ? quiet + 1 : 0;
      seen = appended.size();
      if (quiet >= kQuietLooks && (appended.empty() || appended.back() == '\n')) break;
    }
    if (!appended.empty()) AppendFile(path, appended);
  };
  if (ReplaceFile(tempPath, path)) {  // the system let an open file be replaced
    carryOver();
    return GrowingReplace::kReplaced;
  }
  // Windows does not replace a file that is open: the replace is done with
  // this handle closed, and fails while another program holds the file. A
  // second name for the old file (a hard link) keeps its bytes within reach
  // across the replace, also those a writer adds between the last look and
  // the replace.
  old.reset();
  const std::string link = UniqueTemporaryName(path, "link-");
  if (::CreateHardLinkA(link.c_str(), path.c_str(), nullptr)) {
    // A writer holds the file only for a moment: the replace is tried
    // again for a moment longer (what the writer adds goes to the old
    // file, which the link still reaches).
    constexpr ULONGLONG kReplaceWaitMs = 200, kWriterWaitMs = 2000;
    const ULONGLONG start = ::GetTickCount64();
    bool replaced = ReplaceFile(tempPath, path);
    while (!replaced && ::GetTickCount64() - start < kReplaceWaitMs) {
      ::Sleep(1);
      replaced = ReplaceFile(tempPath, path);
    }
    if (replaced) {
      // Only the link reaches the old file now: once it opens without
      // write sharing, no writer holds the file, none can open it any more,
      // and its tail is complete. A writer that keeps it open longer than
      // kWriterWaitMs is looked on as above.
      const ULONGLONG replacedAt = ::GetTickCount64();
      HANDLE h = INVALID_HANDLE_VALUE;
      for (;;) {
        h = ::CreateFileA(link.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
            ::GetTickCount64() - replacedAt >= kWriterWaitMs)
          break;
        ::Sleep(1);
      }
      if (h != INVALID_HANDLE_VALUE) {
        old = std::make_unique<WinRandomAccessFile>(h);
        if (takeTail(size) && !appended.empty()) AppendFile(path, appended);
      } else if ((old = OpenRandomAccessFile(link))) {
        carryOver();
      }
      old.reset();
    }
    ::DeleteFileA(link.c_str());
    return replaced ? GrowingReplace::kReplaced : GrowingReplace::kFailed;
  }
  // A file system without hard links: the replace follows a last look, and
  // a line appended between the two is lost.
  old = OpenRandomAccessFile(path);
  if (!old || !takeTail(size)) return GrowingReplace::kFailed;
  old.reset();
  if (FileSize(path) != size + static_cast<std::int64_t>(appended.size())) {
    appended.clear();
    return GrowingReplace::kFailed;  // it grew meanwhile: look again
  }
  if (!ReplaceFile(tempPath, path)) {
    appended.clear();
    return GrowingReplace::kFailed;
  }
  if (!appended.empty()) AppendFile(path, appended);
  return GrowingReplace::kReplaced;
}

bool RemoveTemporaryFiles(const std::string& folder) {
  bool ok = true;
  for (const std::string& name : FindFiles(folder, kTemporaryFileMask))
    if (!::DeleteFileA((folder + name).c_str())) ok = false;
  return ok;
}

namespace {

class WinFileLock final : public FileLock {
 public:
  explicit WinFileLock(HANDLE h) : h_(h) {}
  ~WinFileLock() override {
    OVERLAPPED at{};
    ::UnlockFileEx(h_.get(), 0, 1, 0, &at);
  }

 private:
  Handle h_;
};

}  // namespace

std::unique_ptr<FileLock> LockFile(const std::string& path, std::uint32_t timeoutMs) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE raw = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  // A lock file that may not be written (a read-only profile) can still
  // be locked when it exists.
  if (raw == INVALID_HANDLE_VALUE)
    raw = ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  Handle h(raw);
  if (!h.valid()) return nullptr;
  const DWORD start = ::GetTickCount();
  for (;;) {
    OVERLAPPED at{};
    const DWORD flags =
        LOCKFILE_EXCLUSIVE_LOCK | (timeoutMs == kWaitForever ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (::LockFileEx(h.get(), flags, 0, 1, 0, &at)) return std::make_unique<WinFileLock>(h.release());
    if (::GetLastError() != ERROR_LOCK_VIOLATION || ::GetTickCount() - start >= timeoutMs)
      return nullptr;
    ::Sleep(10);
  }
}

void LimitFileWrites(std::int64_t bytes) { writeAllowance = bytes < 0 ? -1 : bytes; }

bool IsAbsolutePath(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return true;                     // "C:..."
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') return true;  // "\\server\..."
  return !name.empty() && name[0] == '/';
}

// ---- Text -----------------------------------------------------------------

std::string AnsiUpperCase(const std::string& s) {
  std::string r(s);
  if (!r.empty()) ::CharUpperBuffA(&r[0], static_cast<DWORD>(r.size()));
  return r;
}

std::string AnsiLowerCase(const std::string& s) {
  std::string r(s);
  if (!r.empty()) ::CharLowerBuffA(&r[0], static_cast<DWORD>(r.size()));
  return r;
}

int AnsiCompareText(const std::string& a, const std::string& b) {
  int r = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), ClampLen(a.size()),
                           b.data(), ClampLen(b.size()));
  return CompareResult(r, a, b);
}

int AnsiCompareStr(const std::string& a, const std::string& b) {
  int r = ::CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), ClampLen(a.size()), b.data(),
                           ClampLen(b.size()));
  return CompareResult(r, a, b);
}

// ---- User interface -------------------------------------------------------

void ShowMessage(const std::string& title, const std::string& text, MsgIcon icon) {
  UINT flags = MB_OK | MB_SETFOREGROUND;
  switch (icon) {
    case MsgIcon::Information: flags |= MB_ICONINFORMATION; break;
    case MsgIcon::Error: flags |= MB_ICONERROR; break;
    case MsgIcon::Warning: flags |= MB_ICONWARNING; break;
  }
  ::MessageBoxA(nullptr, text.c_str(), title.c_str(), flags);
}

bool OpenHelp(const std::string& chm, const std::string& page, std::string& file) {
  file.clear();
  const std::string target = chm + "::/" + page;
  // ShellExecute reports success as a value above 32.
  const auto rc = reinterpret_cast<INT_PTR>(
      ::ShellExecuteA(nullptr, "open", "hh.exe", target.c_str(), nullptr, SW_SHOWNORMAL));
  return rc > 32;
}

}  // namespace quelta::os
