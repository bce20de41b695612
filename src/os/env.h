// The operating system: every OS facility the portable code needs, behind
// one interface. Exactly one implementation is linked: src/os/win32 (the
// product, real Win32 calls) or src/os/posix (Linux stand-ins with the same
// observable behaviour). Nothing outside src/os includes an OS header.
//
// General promises:
// - No function throws; failures are reported through the return value as
//   each contract says.
// - All text is single-byte Windows-1252 in std::string.
// - Every function may be called from any thread unless stated otherwise;
//   none keeps hidden mutable state except where noted.
// - Folder strings returned here end with the path separator (kPathSep).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelta::os {

// The separator the plug-in puts between folders and file names:
// "\\" on Windows, "/" on POSIX.
extern const char kPathSep;

// ---- Host and module ------------------------------------------------------

// The host's working folder as configured by the mail client, raw (not
// trimmed, not expanded). Windows: registry value "Working Directory" under
// HKEY_CURRENT_USER\Software\RIT\The Bat!. POSIX: environment variable
// QUELTA_HOST_WORKDIR. Empty when missing.
std::string HostWorkingDirRaw();

// Full file name of the module (DLL / shared object) that holds this code.
// Empty on failure.
std::string ModuleFileName();

// The folder that holds the plug-in's data when it is not the module's own
// folder, ending with the separator; empty when the data lives beside the
// module. POSIX: the environment variable QUELTA_PROFILE when set and not
// empty (made absolute against the current folder), so one installed
// plug-in serves any number of profiles. Windows: always empty.
std::string ProfileFolderOverride();

// True when the environment variable QUELTA_NO_LEARN is "1" (both systems):
// the command-line host asks the plug-in to score and log only, learning
// nothing and writing no file but its log.
bool LearningSwitchedOff();

// The version-resource string `key` ("ProductName", "FileDescription",
// "LegalCopyright", "FileVersion") of the module file `file`, trimmed.
// Windows: read through the version API (first translation entry).
// POSIX: the compiled-in values, for any file that exists. Empty when the
// file has no version resource or lacks the key.
std::string VersionString(const std::string& file, const std::string& key);

// ---- INI files (private-profile semantics) ---------------------------------

// Reads `key` of `section` in the INI file `file`. Section and key names are
// compared without regard to letter case; the value is trimmed of blanks
// and one pair of surrounding quotes (" or ') is removed. Returns `def` when
// the file, section or key is missing. At most bufSize-1 characters are
// returned (as the Windows function does with a buffer of bufSize bytes).
std::string IniRead(const std::string& file, const std::string& section,
                    const std::string& key, const std::string& def,
                    std::size_t bufSize = 10240);

// Writes `key`=`value` into `section` of `file`: an existing key line is
// replaced in place, every other line is kept byte for byte; a missing
// section is appended, a missing file created (its folder must exist).
// Lines end in CR LF. Returns false on any failure. POSIX: the new file is
// written beside the old one and renamed over it, so a crash or a full disk
// never leaves a truncated file.
bool IniWrite(const std::string& file, const std::string& section,
              const std::string& key, const std::string& value);

// One key of a batch written by IniWriteAll.
struct IniEntry {
  std::string section, key, value;
};

// Writes every entry, in order, with exactly the result IniWrite would give
// for each of them one after the other. POSIX: the whole batch is one
// replace of the file (a crash leaves all old or all new keys). Windows:
// one WritePrivateProfileStringA per entry, then the profile cache is
// flushed (the system's profile semantics are kept; a crash between two
// keys can leave the earlier ones written). False when any write failed.
bool IniWriteAll(const std::string& file, const std::vector<IniEntry>& entries);

// ---- Environment, time ----------------------------------------------------

// Expands every %NAME% from the environment; an unknown variable stays as
// written. At most 4096 characters of result (longer results are cut).
std::string ExpandEnvironment(const std::string& text);

// Milliseconds since some fixed moment; wraps at 2^32 like GetTickCount.
std::uint32_t TickCount();

void SleepMs(std::uint32_t ms);

// Current local date and time as days since 1899-12-30 00:00, time of day
// as the fraction (the system's date-time value).
double LocalNow();

// The system's short date and long time format of a date-time value.
// Windows: the user's locale formats. POSIX: "yyyy-mm-dd hh:nn:ss".
std::string FormatDateTime(double dt);

// Asks for the heap of a batch run on huge memory pages where the system
// gives them on request: the large lookup tables of a big rule set then take
// far fewer address-translation misses. POSIX with glibc: glibc reads that
// setting (GLIBC_TUNABLES "glibc.malloc.hugetlb=1") only when a program
// starts, so the program starts anew in place (execv of itself with argv:
// the same process and open files) with the setting added to its
// environment, once. The call returns where a "glibc.malloc.hugetlb"
// setting is there already (also one the user chose), where the system
// gives no such pages, or where the new start fails. Windows: does nothing
// (large pages there need a privilege users do not have). Call from main
// before any other thread exists and before any input is read.
void UseHugePagesForHeap(char** argv);

// ---- Files ----------------------------------------------------------------

bool FileExists(const std::string& path);  // a regular file
bool DirectoryExists(const std::string& path);
// Size in bytes of an existing file; 0 when missing or unreadable.
std::int64_t FileSize(const std::string& path);
// Names (without folder) of the regular files in `folder` whose names match
// the wildcard `mask` ("*" and "?", case-insensitive on Windows, as the
// file system lists them).
std::vector<std::string> FindFiles(const std::string& folder, const std::string& mask);
// Renames a file; false (nothing changed) when `to` exists already.
bool RenameFile(const std::string& from, const std::string& to);
// Puts the file `from` in the place of `to` in one step, so that `to` holds
// either its old or its new content whenever the process is killed; `to`
// may or may not exist. The change is flushed to the disk before the call
// returns (POSIX: rename, then the folder is synced; Windows: MoveFileEx
// with REPLACE_EXISTING and WRITE_THROUGH). False on failure: both files
// are then as they were.
bool ReplaceFile(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);

// Whole file into `out`; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string& out);

// A file opened read-only for reads at any offset (other programs may keep
// reading and writing it); the handle is closed with the object. One thread
// at a time.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // Exactly n bytes at offset into buf; false when fewer exist or reading fails.
  virtual bool ReadAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
  // The file's size now (it grows while another program appends), or -1.
  // The handle keeps reading the same file after it was replaced or
  // deleted under its name.
  virtual std::int64_t Size() = 0;
};
// Null when path cannot be opened for reading.
std::unique_ptr<RandomAccessFile> OpenRandomAccessFile(const std::string& path);

// Whether the existing file path could be opened for writing now (it is not
// read-only and no other program holds it exclusively). The file is not
// changed.
bool CanWriteFile(const std::string& path);

// The folder part of a file name, up to and including its last separator;
// "" when it has none.
std::string FolderOf(const std::string& path);
// Appends `data` to `path`, creating the file when missing (never the
// folder). False on any failure. Appends through this call from any thread
// or process land one after the other, never over each other.
bool AppendFile(const std::string& path, const std::string& data);

// A file held open for appending: each Append lands at the file's end as
// AppendFile's do, after whatever other handles and processes appended
// meanwhile. Other programs may read, append to, rename and delete the file
// while it is held. The handle is closed with the object. One thread at a
// time.
class AppendableFile {
 public:
  virtual ~AppendableFile() = default;
  // False when the data could not be written whole.
  virtual bool Append(const std::string& data) = 0;
};
// Opens path for appending, creating the file when missing (never the
// folder); null on failure.
std::unique_ptr<AppendableFile> OpenAppendableFile(const std::string& path);

// Writes `data` to `path` safely: WriteTemporaryFile, then ReplaceFile. On
// failure `path` is untouched and the temporary file removed.
bool WriteFileAtomic(const std::string& path, const std::string& data);

// ---- Temporary files ------------------------------------------------------
//
// Every temporary file of the plug-in lies in the folder of the file it
// stands for and is named after it: <name>.~quelta-<tag>.tmp. No other
// program uses that pattern, so start-up may remove whatever an interrupted
// run left behind.

// The wildcard (FindFiles) of the plug-in's temporary files.
extern const char kTemporaryFileMask[];  // "*.~quelta-*.tmp"

// The temporary name of `path` with a fixed tag: path + ".~quelta-" + tag +
// ".tmp" (for saves that must find their files again after a crash).
std::string TemporaryName(const std::string& path, const std::string& tag);

// Writes `data` to a new temporary file beside `path` (a unique name of the
// pattern above, returned in tempPath), flushed to the disk. `path` itself
// is not touched. False on any failure (a full disk, a folder that cannot
// be written); no temporary file is then left behind.
bool WriteTemporaryFile(const std::string& path, const std::string& data, std::string& tempPath);

// Supplies a file's bytes piece by piece: puts at most `size` bytes (size is
// at least 4096) into buf and returns how many; 0 ends the file. Must not
// throw.
using ByteSource = std::function<std::size_t(char* buf, std::size_t size)>;

// As WriteTemporaryFile, with the bytes that `source` supplies until it
// returns 0, so that a large file is never held in memory whole (the data
// passes through one buffer of 64 KiB).
bool WriteTemporaryFileFrom(const std::string& path, const ByteSource& source,
                            std::string& tempPath);

// What ReplaceGrowingFile did.
enum class GrowingReplace {
  kReplaced,  // the new file is in place
  kGrew,      // nothing replaced: the file grew; the new bytes are handed back
  kChanged,   // nothing replaced: the file is shorter than expected (rewritten)
  kFailed,    // nothing replaced: the replace failed (it may be tried again)
};

// Replaces `path`, a file other programs append to, by the complete
// temporary file tempPath, so that no appended line is lost. size is how
// many bytes of `path` the new content took in. When `path` has grown
// beyond it and carryGrowth is false, nothing is replaced and the bytes
// after size are put in `appended` (kGrew): take them in and call again
// with a new temporary file. Otherwise the file is replaced and every byte
// the old file got after size, also from a program that opened it before
// the replace and writes to it just after, is appended to the new file as
// it is and put in `appended` (kReplaced). The old file is watched through
// a handle kept open across the replace; where the system does not replace
// an open file (Windows), a second name for the old file (a hard link, for
// the moment of the replace) keeps it within reach instead: the replace
// waits a moment for a writer that holds the file (then kFailed: try again
// later), and the old file's tail is read once no writer holds it any
// more. (On a file system without hard links, the replace follows a last
// look at the file's size, and a line appended between the two is lost.)
// tempPath is left in place unless it replaced `path`.
GrowingReplace ReplaceGrowingFile(const std::string& tempPath, const std::string& path,
                                  std::int64_t size, bool carryGrowth, std::string& appended);

// Deletes every temporary file of the pattern above in `folder`. False when
// one of them could not be deleted.
bool RemoveTemporaryFiles(const std::string& folder);

// ---- Locks ----------------------------------------------------------------

// An exclusive lock on a lock file. It is held until the object is
// destroyed or the process ends, however it ends (the system releases it).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// Waits up to timeoutMs (kWaitForever: as long as it takes) for the
// exclusive lock on the file `path`, which is created when missing and
// never deleted. Null when the time ran out or the file can neither be
// created nor opened. A second lock on the same file waits even inside
// the same process. The lock is advisory: it holds back only programs that
// ask for it. POSIX: flock on the file; Windows: LockFileEx on its first
// byte. Any thread; the object may be destroyed on any thread.
std::unique_ptr<FileLock> LockFile(const std::string& path, std::uint32_t timeoutMs);

// How long start-up waits for the lock of a profile another process uses.
// POSIX: kWaitForever (runs are short; a waiting run simply starts later).
// Windows: a bounded wait (the mail client keeps the plug-in loaded for
// hours; a second process must not hang on it).
extern const std::uint32_t kProfileLockWaitMs;

// ---- Fault injection (tests) ---------------------------------------------

// After this call every write of file data in this process (files,
// temporary files, INI files, appends) fails once `bytes` more bytes have
// been written, as on a full disk; a negative value lifts the limit (the
// default). Any thread.
void LimitFileWrites(std::int64_t bytes);

// True when `name` is an absolute path: POSIX "/..."; Windows "X:..." or
// "\\...".
bool IsAbsolutePath(const std::string& name);

// ---- Text -----------------------------------------------------------------

// Letter case by the system's rules for the Western code page (1252):
// Windows: CharUpperBuffA / CharLowerBuffA; POSIX: a 1252 table.
std::string AnsiUpperCase(const std::string& s);
std::string AnsiLowerCase(const std::string& s);
// Three-way comparison ignoring letter case by the same rules
// (<0, 0, >0), as CompareStringA with NORM_IGNORECASE on Windows.
int AnsiCompareText(const std::string& a, const std::string& b);
// Byte-exact three-way comparison in the system's locale order.
int AnsiCompareStr(const std::string& a, const std::string& b);

// ---- User interface -------------------------------------------------------

enum class MsgIcon { Information, Error, Warning };
// A modal message box without owner. POSIX: the text goes to standard error.
void ShowMessage(const std::string& title, const std::string& text, MsgIcon icon);

// Opens `page` ("installdialog.html#bayes": a file name, optionally with an
// anchor) of the help, whose compiled form is the file `chm` (the plug-in
// folder's "Quelta.chm"). Returns true when a viewer was started; it runs
// on its own, the call does not wait for it.
// Windows: runs "hh.exe" with chm + "::/" + page through the shell (verb
// "open"); `file` is left empty.
// POSIX: the help's HTML pages lie beside the plug-in (its folder's "help"
// sub-folder) or where the install put them (share/doc/quelta/html, found
// relative to the plug-in). `file` becomes the page's full file name (no
// anchor), or empty when no help folder holds it. When found, a display is
// set (DISPLAY or WAYLAND_DISPLAY) and "xdg-open" is on the path, the page
// is handed to it as a file:// address with its anchor; otherwise false,
// and the caller shows `file` to the user.
bool OpenHelp(const std::string& chm, const std::string& page, std::string& file);

}  // namespace quelta::os
