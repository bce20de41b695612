// POSIX implementation of the platform layer: stand-ins with the behaviour
// the plug-in expects of the Windows facilities (profile INI files,
// environment expansion, the Western code page's letter case).
#include "os/env.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <thread>

extern char** environ;

namespace quelta::os {

const char kPathSep = '/';
const char kTemporaryFileMask[] = "*.~quelta-*.tmp";
const std::uint32_t kProfileLockWaitMs = kWaitForever;

namespace {


std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

// Windows-1252 letter case: ASCII, the accented letters 0xC0..0xDE /
// 0xE0..0xFE (without the multiplication and division signs), and the
// pairs S/Z with caron, OE ligature and Y with diaeresis.
unsigned char Upper1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

unsigned char Lower1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

// One process-wide lock for INI files: the profile functions of Windows
// serialise writers too; readers share the cache of the file read last.
std::mutex& IniMutex() {
  static std::mutex m;
  return m;
}

// Splits file text into lines (CR LF, LF or CR ends a line).
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// The section name of a line "[name]" (trimmed), or false.
bool SectionOf(const std::string& line, std::string& name) {
  std::string t = TrimBlanks(line);
  if (t.size() < 2 || t[0] != '[') return false;
  auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = TrimBlanks(t.substr(1, close - 1));
  return true;
}

// The key of a line "key=value" (trimmed) with its value, or false.
bool KeyOf(const std::string& line, std::string& key, std::string& value) {
  auto eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return AnsiCompareText(a, b) == 0;
}

}  // namespace

std::string HostWorkingDirRaw() {
  const char* v = std::getenv("QUELTA_HOST_WORKDIR");
  return v ? std::string(v) : std::string();
}

bool LearningSwitchedOff() {
  const char* value = std::getenv("QUELTA_NO_LEARN");
  return value && std::string(value) == "1";
}

std::string ProfileFolderOverride() {
  const char* profile = std::getenv("QUELTA_PROFILE");
  if (!profile || !*profile) return {};
  std::string dir = profile;
  if (dir[0] != '/') {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return {};
    dir = std::string(cwd) + "/" + dir;
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string ModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) == 0 || !info.dli_fname) return {};
  std::string name = info.dli_fname;
  if (!name.empty() && name[0] != '/') {
    char buf[4096];
    if (realpath(name.c_str(), buf)) name = buf;
  }
  return name;
}

std::string VersionString(const std::string& file, const std::string& key) {
  if (!FileExists(file)) return {};
  if (key == "ProductName") return QUELTA_PRODUCT_NAME;
  if (key == "FileDescription") return QUELTA_FILE_DESCRIPTION;
  if (key == "LegalCopyright") return QUELTA_LEGAL_COPYRIGHT;
  if (key == "FileVersion") return QUELTA_FILE_VERSION;
  return {};
}

namespace {

// The lines of the INI file read last, kept while the file stays the same
// (device, inode, size, modification and change times), so that reading a
// profile's keys one by one reads its file once. File times are coarse (a
// few milliseconds): a file changed shortly before it was cached could
// change again with the same times, so such a "racy" entry is never
// trusted. Writers through this layer forget it; guarded by IniMutex.
struct IniLinesCache {
  bool valid = false;
  std::string path;
  struct stat st {};
  std::vector<std::string> lines;
};

constexpr std::int64_t kRacyNs = 100'000'000;  // 100 ms

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t RealTimeNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

IniLinesCache& IniCache() {
  static IniLinesCache cache;
  return cache;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The file's lines, from the cache when it is unchanged; null when it
// cannot be read. Call with IniMutex held.
const std::vector<std::string>* IniLines(const std::string& file) {
  IniLinesCache& cache = IniCache();
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    cache.valid = false;
    std::string text;  // not a plain file: read it as it is, uncached
    if (!ReadFile(file, text)) return nullptr;
    cache.lines = SplitLines(text);
    return &cache.lines;
  }
  if (cache.valid && cache.path == file && SameFile(cache.st, st)) return &cache.lines;
  std::string text;
  cache.valid = false;
  if (!ReadFile(file, text)) return nullptr;
  cache.lines = SplitLines(text);
  cache.path = file;
  cache.st = st;
  const std::int64_t changed = std::max(Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim));
  cache.valid = changed + kRacyNs < RealTimeNs();
  return &cache.lines;
}

}  // namespace

std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def, std::size_t bufSize) {
  std::string result = def;
  std::lock_guard<std::mutex> lock(IniMutex());
  if (const std::vector<std::string>* lines = IniLines(file)) {
    bool inSection = false;
    std::string name, k, v;
    for (const auto& line : *lines) {
      if (SectionOf(line, name)) {
        if (inSection) break;
        inSection = EqualNoCase(name, section);
        continue;
      }
      if (inSection && KeyOf(line, k, v) && EqualNoCase(k, key)) {
        v = TrimBlanks(v);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
          v = v.substr(1, v.size() - 2);
        result = v;
        break;
      }
    }
  }
  if (bufSize > 0 && result.size() > bufSize - 1) result.resize(bufSize - 1);
  return result;
}

namespace {

// One key written into the lines of an INI file, as the profile writer
// does it: an existing key line is replaced (the key keeps its spelling),
// a new key goes after the last non-blank line of its section, a missing
// section is appended.
void SetIniKey(std::vector<std::string>& lines, const std::string& section, const std::string& key,
               const std::string& value) {
  int sectionLine = -1, keyLine = -1, insertAt = -1;
  std::string name, k, v;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    if (SectionOf(lines[i], name)) {
      if (sectionLine >= 0) break;
      if (EqualNoCase(name, section)) {
        sectionLine = i;
        insertAt = i + 1;
      }
      continue;
    }
    if (sectionLine >= 0) {
      if (!TrimBlanks(lines[i]).empty()) insertAt = i + 1;
      if (KeyOf(lines[i], k, v) && EqualNoCase(k, key)) {
        keyLine = i;
        break;
      }
    }
  }
  if (keyLine >= 0) {
    lines[static_cast<std::size_t>(keyLine)] = k + "=" + value;
  } else if (sectionLine >= 0) {
    lines.insert(lines.begin() + insertAt, key + "=" + value);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
}

}  // namespace

bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
  return IniWriteAll(file, {IniEntry{section, key, value}});
}

bool IniWriteAll(const std::string& file, const std::vector<IniEntry>& entries) {
  std::lock_guard<std::mutex> lock(IniMutex());
  IniCache().valid = false;
  std::string text;
  if (FileExists(file) && !ReadFile(file, text)) return false;
  std::vector<std::string> lines = SplitLines(text);
  for (const IniEntry& e : entries) SetIniKey(lines, e.section, e.key, e.value);
  std::string out;
  out.reserve(text.size() + 64 * entries.size());
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return WriteFileAtomic(file, out);
}

void UseHugePagesForHeap(char** argv) {
#if defined(__GLIBC__)
  constexpr char kName[] = "GLIBC_TUNABLES", kSetting[] = "glibc.malloc.hugetlb";
  const char* current = std::getenv(kName);
  if (current && std::strstr(current, kSetting)) return;  // in force, or the user's choice
  // "always" or "madvise" in brackets: pages on request; "[never]": none.
  std::string mode;
  if (!ReadFile("/sys/kernel/mm/transparent_hugepage/enabled", mode) ||
      mode.find("[never]") != std::string::npos || mode.find('[') == std::string::npos)
    return;
  const std::string before = current ? current : "";
  const std::string value = (before.empty() ? "" : before + ":") + kSetting + "=1";
  if (::setenv(kName, value.c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // Not started anew: the run goes on as it is, its environment as it was.
  if (current)
    ::setenv(kName, before.c_str(), 1);
  else
    ::unsetenv(kName);
#else
  (void)argv;
#endif
}

std::string ExpandEnvironment(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '%') {
      auto close = text.find('%', i + 1);
      if (close != std::string::npos && close > i + 1) {
        std::string name = text.substr(i + 1, close - i - 1);
        const char* v = std::getenv(name.c_str());
        if (v) {
          out += v;
          i = close + 1;
          continue;
        }
        // Unknown: keep "%NAME" and rescan from the closing percent sign,
        // which may open the next variable.
        out += text.substr(i, close - i);
        i = close;
        continue;
      }
    }
    out += text[i++];
  }
  if (out.size() > 4095) out.resize(4095);
  return out;
}

std::uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double LocalNow() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  // Local seconds since 1970 = UTC seconds + the zone's offset.
  double local = static_cast<double>(t) + static_cast<double>(tm.tm_gmtoff);
  return (local + static_cast<double>(ms) / 1000.0) / 86400.0 + 25569.0;
}

std::string FormatDateTime(double dt) {
  // Whole seconds, rounded like the system formatter does with milliseconds.
  double secs = (dt - 25569.0) * 86400.0;
  std::time_t t = static_cast<std::time_t>(secs >= 0 ? secs + 0.0005 : secs - 0.0005);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& mask) {
  std::vector<std::string> names;
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    if (FileExists(folder + name)) names.push_back(name);
  }
  ::closedir(d);
  return names;
}

bool RenameFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::stat(to.c_str(), &st) == 0) return false;  // as MoveFile: never overwrite
  return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

// Flushes a folder's entries (a rename in it) to the disk.
bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  SyncFolder(FolderOf(to));  // the rename happened; a failed sync only delays it
  return true;
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool ReadFile(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

namespace {

// Bytes this process may still write (LimitFileWrites); negative: no limit.
std::atomic<std::int64_t> writeAllowance{-1};

// Takes up to n bytes of the allowance; the number that may be written.
std::size_t AllowWrite(std::size_t n) {
  std::int64_t left = writeAllowance.load();
  while (left >= 0) {
    const std::int64_t take = std::min<std::int64_t>(left, static_cast<std::int64_t>(n));
    if (writeAllowance.compare_exchange_weak(left, left - take)) return static_cast<std::size_t>(take);
  }
  return n;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  const std::size_t allowed = AllowWrite(size);
  std::size_t done = 0;
  while (done < allowed) {
    ssize_t n = ::write(fd, data + done, allowed - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (allowed < size) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

bool WriteAll(int fd, const std::string& data) { return WriteAll(fd, data.data(), data.size()); }
}  // namespace

void LimitFileWrites(std::int64_t bytes) { writeAllowance = bytes < 0 ? -1 : bytes; }

namespace {

class PosixRandomAccessFile final : public RandomAccessFile {
 public:
  explicit PosixRandomAccessFile(int fd) : fd_(fd) {}
  ~PosixRandomAccessFile() override { ::close(fd_); }
  bool ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
    char* p = static_cast<char*>(buf);
    while (n > 0) {
      const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      n -= static_cast<std::size_t>(got);
      offset += static_cast<std::uint64_t>(got);
    }
    return true;
  }
  std::int64_t Size() override {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccessFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixRandomAccessFile>(fd);
}

bool CanWriteFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto p = path.find_last_of('/');
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

namespace {

int OpenForAppending(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

class PosixAppendableFile final : public AppendableFile {
 public:
  explicit PosixAppendableFile(int fd) : fd_(fd) {}
  ~PosixAppendableFile() override { ::close(fd_); }
  bool Append(const std::string& data) override { return WriteAll(fd_, data); }

 private:
  int fd_;
};

}  // namespace

bool AppendFile(const std::string& path, const std::string& data) {
  const int fd = OpenForAppending(path);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data);
  return ::close(fd) == 0 && ok;
}

std::unique_ptr<AppendableFile> OpenAppendableFile(const std::string& path) {
  const int fd = OpenForAppending(path);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixAppendableFile>(fd);
}

std::string TemporaryName(const std::string& path, const std::string& tag) {
  return path + ".~quelta-" + tag + ".tmp";
}

namespace {

// A new temporary file beside path, filled by write(fd) and flushed.
bool WriteTemporaryFileWith(const std::string& path, const std::function<bool(int fd)>& write,
                            std::string& tempPath) {
  tempPath.clear();
  const std::string pattern = TemporaryName(path, "XXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemps(name.data(), 4);  // 4: the length of ".tmp"
  if (fd < 0) return false;
  bool ok = write(fd) && ::fsync(fd) == 0;
  // Keep the permissions of an existing file; new files get rw-r--r--.
  struct stat st {};
  ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(name.data());
    return false;
  }
  tempPath = name.data();
  return true;
}

}  // namespace

bool WriteTemporaryFile(const std::string& path, const std::string& data, std::string& tempPath) {
  return WriteTemporaryFileWith(path, [&](int fd) { return WriteAll(fd, data); }, tempPath);
}

bool WriteTemporaryFileFrom(const std::string& path, const ByteSource& source,
                            std::string& tempPath) {
  return WriteTemporaryFileWith(
      path,
      [&](int fd) {
        std::vector<char> buf(65536);
        for (;;) {
          const std::size_t n = source(buf.data(), buf.size());
          if (n == 0) return true;
          if (!WriteAll(fd, buf.data(), n < buf.size() ? n : buf.size())) return false;
        }
      },
      tempPath);
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
  std::string tmp;
  if (!WriteTemporaryFile(path, data, tmp)) return false;
  if (ReplaceFile(tmp, path)) return true;
  ::unlink(tmp.c_str());
  return false;
}

namespace {

// Bytes of fd from offset to its end now.
bool ReadTail(int fd, std::int64_t offset, std::string& out) {
  out.clear();
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  if (st.st_size <= offset) return true;
  out.resize(static_cast<std::size_t>(st.st_size - offset));
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd, &out[done], out.size() - done, static_cast<off_t>(offset) +
                                                                   static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  return true;
}

}  // namespace

GrowingReplace ReplaceGrowingFile(const std::string& tempPath, const std::string& path,
                                  std::int64_t size, bool carryGrowth, std::string& appended) {
  constexpr int kMaxGrowthLooks = 10;
  appended.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) return GrowingReplace::kFailed;
    return size == 0 && ReplaceFile(tempPath, path) ? GrowingReplace::kReplaced
                                                    : GrowingReplace::kChanged;
  }
  struct stat st {};
  GrowingReplace result = GrowingReplace::kFailed;
  if (::fstat(fd, &st) != 0) {
    result = GrowingReplace::kFailed;
  } else if (st.st_size < size) {
    result = GrowingReplace::kChanged;
  } else if (st.st_size > size && !carryGrowth) {
    result = ReadTail(fd, size, appended) ? GrowingReplace::kGrew : GrowingReplace::kFailed;
  } else if (ReplaceFile(tempPath, path)) {
    // Everything after size reached the old file; a writer that opened it
    // just before the replace writes to it just after: look twice, the
    // second time after a short pause. A line can be seen half written (a
    // write is seen page by page): whole lines are carried over as they
    // come, and the looks go on while a line is still being written, so
    // that no other line lands inside it.
    std::string late, held;
    std::int64_t seen = size;  // the bytes of the old file read so far
    for (int look = 0; look < kMaxGrowthLooks; ++look) {
      if (look > 0) SleepMs(2);
      if (ReadTail(fd, seen, late)) {
        held += late;
        seen += static_cast<std::int64_t>(late.size());
      }
      const bool last = look + 1 == kMaxGrowthLooks || (look > 0 && (held.empty() || held.back() == '\n'));
      const std::size_t whole = last ? held.size() : held.rfind('\n') + 1;  // npos + 1: none
      if (whole > 0) {
        AppendFile(path, held.substr(0, whole));
        appended.append(held, 0, whole);
        held.erase(0, whole);
      }
      if (last) break;
    }
    result = GrowingReplace::kReplaced;
  }
  ::close(fd);
  return result;
}

bool RemoveTemporaryFiles(const std::string& folder) {
  bool ok = true;
  for (const std::string& name : FindFiles(folder, kTemporaryFileMask))
    if (!DeleteFile(folder + name)) ok = false;
  return ok;
}

namespace {

class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing releases the lock

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FileLock> LockFile(const std::string& path, std::uint32_t timeoutMs) {
  // A lock file that may not be written (a read-only profile) can still
  // be locked when it exists.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (timeoutMs == kWaitForever) {
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd);
        return nullptr;
      }
    }
    return std::make_unique<PosixFileLock>(fd);
  }
  const std::uint32_t start = TickCount();
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<PosixFileLock>(fd);
    if ((errno != EWOULDBLOCK && errno != EINTR) || TickCount() - start >= timeoutMs) {
      ::close(fd);
      return nullptr;
    }
    SleepMs(10);
  }
}

bool IsAbsolutePath(const std::string& name) { return !name.empty() && name[0] == '/'; }

std::string AnsiUpperCase(const std::string& s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(Upper1252(static_cast<unsigned char>(c)));
  return r;
}

std::string AnsiLowerCase(const std::string& s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(Lower1252(static_cast<unsigned char>(c)));
  return r;
}

int AnsiCompareText(const std::string& a, const std::string& b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = Lower1252(static_cast<unsigned char>(a[i]));
    unsigned char y = Lower1252(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int AnsiCompareStr(const std::string& a, const std::string& b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void ShowMessage(const std::string& title, const std::string& text, MsgIcon icon) {
  std::cerr << title << ": " << text << std::endl;
}

namespace {

// A file:// address of an absolute path and an anchor; every byte but the
// unreserved ones and "/" is percent-encoded.
std::string FileUrl(const std::string& path, const std::string& anchor) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return anchor.empty() ? url : url + "#" + anchor;
}

bool OnSearchPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

bool OpenHelp(const std::string& chm, const std::string& page, std::string& file) {
  file.clear();
  const std::size_t hash = page.find('#');
  const std::string name = page.substr(0, hash);
  const std::string anchor = hash == std::string::npos ? std::string() : page.substr(hash + 1);
  const std::string moduleDir = FolderOf(ModuleFileName());
  if (moduleDir.empty() || name.empty()) return false;
  // The build puts the pages beside the plug-in, the install under share/.
  for (const std::string& dir : {moduleDir + "help/", moduleDir + QUELTA_HELP_REL}) {
    if (FileExists(dir + name)) {
      file = dir + name;
      break;
    }
  }
  if (file.empty()) return false;
  char full[4096];
  if (::realpath(file.c_str(), full)) file = full;
  if ((!EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY")) || !OnSearchPath("xdg-open")) return false;
  // A shell starts the viewer in the background and ends at once, so no
  // child is left behind to wait for and the caller is not blocked.
  const std::string url = FileUrl(file, anchor);
  const char* argv[] = {"/bin/sh", "-c", "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &", "sh",
                        url.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quelta::os
