// Whole runs of the `quelta` command on one profile, killed at the worst
// moments, starved of disk space, denied writing and started forty at a
// time: every data file holds its old or its new content, the two Bayes
// files agree, no temporary file survives the next start, no training is
// lost and no failure is logged as a success. Linux only (processes,
// signals, inotify, resource limits).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::uint32_t U32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

// How a run is started.
struct RunOptions {
  rlim_t maxFileSize = RLIM_INFINITY;  // a full disk for files larger than this
  bool asNobody = false;               // a user who may not write the profile
};

// A profile folder with its own copy of the plug-in and of the command.
class Profile {
 public:
  Profile() {
    dir_ = root_.Path() / "plugin";
    host_ = root_.Path() / "host";
    fs::create_directories(dir_ / "Logs");
    fs::create_directories(host_);
    fs::copy_file(QUELTA_PLUGIN_FILE, dir_ / "Quelta.tbp");
    fs::copy_file(QUELTA_HOST_FILE, root_.Path() / "quelta");
    Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n[Bayes]\r\nAddHigherValue=30\r\nAddLowerValue=-1\r\n");
    Write("Rules.dat", "SenderInAutoWL -20 I \"\" [known]\r\nSUBJECT 40 S \"offer\" [offer]\r\n");
  }

  const fs::path& Dir() const { return dir_; }
  void Write(const std::string& name, const std::string& bytes) const { WriteBytes(dir_ / name, bytes); }
  std::string Read(const std::string& name) const { return ReadBytes(dir_ / name); }
  std::string Log() const { return Read("Logs/Filter.log"); }

  // A message file with a subject of its own, so that each is a new message.
  std::string Message(const std::string& subject, const std::string& body = "cheap offer prize") const {
    const fs::path p = root_.Path() / "mail" / subject;
    WriteBytes(p, "From: <x@y.example>\r\nSubject: " + subject + "\r\n\r\n" + body + "\r\n");
    return p.string();
  }

  // Starts `quelta` with the given command arguments; the process id.
  pid_t Start(const std::vector<std::string>& args, const RunOptions& o = RunOptions()) const {
    std::vector<std::string> all = {(root_.Path() / "quelta").string(), "--plugin-dir", dir_.string(),
                                    "--host-dir", host_.string(), "--no-progress"};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (o.maxFileSize != RLIM_INFINITY) {
        ::signal(SIGXFSZ, SIG_IGN);  // writes beyond the limit fail instead
        const rlimit lim{o.maxFileSize, o.maxFileSize};
        ::setrlimit(RLIMIT_FSIZE, &lim);
      }
      if (o.asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
      std::vector<char*> argv;
      for (auto& a : all) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return pid;
  }
  // Runs `quelta` to its end; its exit status (-1 when killed).
  int Run(const std::vector<std::string>& args, const RunOptions& o = RunOptions()) const {
    return Wait(Start(args, o));
  }
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Names of the plug-in's temporary files in the profile folder.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string n = e.path().filename().string();
      if (n.find(".~quelta-") != std::string::npos) names.push_back(n);
    }
    return names;
  }

  // Makes the folder readable by every user (for runs as another user).
  void OpenToEveryone() const { fs::permissions(root_.Path(), fs::perms::all & ~fs::perms::others_write &
                                                                  ~fs::perms::group_write); }

 private:
  ScratchDir root_;
  fs::path dir_, host_;
};

// Runs `start`, watches the profile folder and kills the run (SIGKILL) the
// moment a file whose name contains `marker` appears there, after `delayUs`.
// True when the kill came before the run ended.
bool KillWhenCreated(const Profile& p, const std::string& marker, int delayUs,
                     const std::function<pid_t()>& start) {
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ::inotify_add_watch(fd, p.Dir().c_str(), IN_CREATE | IN_MOVED_TO);
  const pid_t pid = start();
  bool killed = false;
  alignas(inotify_event) char buf[8192];
  while (!killed) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 20) > 0) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      for (ssize_t off = 0; n > 0 && off < n && !killed;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        if (e->len > 0 && std::strstr(e->name, marker.c_str())) {
          if (delayUs > 0) ::usleep(static_cast<useconds_t>(delayUs));
          killed = ::kill(pid, SIGKILL) == 0;
        }
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    int status = 0;
    if (!killed && ::waitpid(pid, &status, WNOHANG) == pid) {
      ::close(fd);
      return false;
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(fd);
  return WIFSIGNALED(status);
}

// A trained pair large enough that its save takes a while: S + H messages
// and as many undo records, many word records.
void PlantBayesPair(const Profile& p, std::uint32_t spam, std::uint32_t ham, int words) {
  std::string w = Le32(0x804F) + Le32(spam) + Le32(ham);
  std::mt19937 rng(7);
  for (int i = 0; i < words; ++i) w += Le32(rng()) + Le32(rng() % 50) + Le32(rng() % 50);
  std::string u;
  for (std::uint32_t i = 0; i < spam + ham; ++i)
    u += Le32(0xA0000000u + i) + std::string(1, i < spam ? '\x01' : '\x00') + std::string(8, '\x40');
  p.Write("Bayes.wdb", w);
  p.Write("Bayes.udb", u);
}

// The pair agrees when every message counted in the header has its undo
// record (each training in these tests is of a new message).
void ExpectPairAgrees(const Profile& p, const std::string& when) {
  const std::string w = p.Read("Bayes.wdb"), u = p.Read("Bayes.udb");
  ASSERT_GE(w.size(), 12u) << when;
  EXPECT_EQ(0u, w.size() % 12) << when;
  EXPECT_EQ(0u, u.size() % 13) << when;
  EXPECT_EQ(U32(w, 4) + U32(w, 8), u.size() / 13) << when;
}

std::uint32_t Counter(const std::string& ini, const std::string& key) {
  const auto p = ini.find("\n" + key + "=");
  return p == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(ini.substr(p + key.size() + 2)));
}

// Today as the auto-white-list writes dates: yyyymmdd.
std::string Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
  return buf;
}

std::mt19937& Rng() {
  static std::mt19937 rng(std::random_device{}());
  return rng;
}

// Kills land when the word file's temporary file appears, when it is
// renamed to its ready name, and at the commit point (the undo file's ready
// name appears), each after a random pause.
TEST(Crash, TrainingKilledDuringItsSaveLeavesAnAgreeingPair) {
  Profile p;
  PlantBayesPair(p, 500, 500, 150000);
  const char* const moments[] = {"Bayes.wdb.~quelta-", "Bayes.wdb.~quelta-ready",
                                 "Bayes.udb.~quelta-ready"};
  int killed = 0, old = 0, fresh = 0;
  for (int i = 0; i < 18; ++i) {
    const std::string before = p.Read("Bayes.wdb") + p.Read("Bayes.udb");
    const std::string msg = p.Message("train-" + std::to_string(i));
    const int delay = static_cast<int>(Rng()() % 3000);
    if (KillWhenCreated(p, moments[i % 3], delay, [&] { return p.Start({"train", "--spam", msg}); }))
      ++killed;
    // Past the commit point the ready files stay for the next start to
    // put in place; before it, the old pair is untouched.
    if (p.Leftovers().empty() || !fs::exists(p.Dir() / "Bayes.udb.~quelta-ready.tmp"))
      ExpectPairAgrees(p, "after kill " + std::to_string(i));
    // The next start finishes or undoes the save and leaves nothing behind.
    ASSERT_EQ(0, p.Run({"info"}));
    ExpectPairAgrees(p, "after the next start " + std::to_string(i));
    EXPECT_TRUE(p.Leftovers().empty()) << p.Leftovers().front();
    ++(p.Read("Bayes.wdb") + p.Read("Bayes.udb") == before ? old : fresh);
  }
  EXPECT_GE(killed, 6);  // at least every kill at the first moment lands
  std::printf("training killed %d times: %d old pairs, %d new pairs\n", killed, old, fresh);
}

TEST(Crash, ScoringKilledDuringItsStatisticsSaveLeavesOldOrNewCounters) {
  Profile p;
  const std::string msg = p.Message("Your offer", "prize");
  for (int i = 0; i < 15; ++i) {
    const std::string before = p.Read("Quelta.ini");
    const int delay = static_cast<int>(Rng()() % 3000);
    KillWhenCreated(p, "Quelta.ini.~quelta-", delay, [&] { return p.Start({"score", msg}); });
    const std::string ini = p.Read("Quelta.ini");
    const std::uint32_t filtered = Counter(ini, "MessagesFiltered");
    EXPECT_TRUE(ini == before || filtered == Counter(before, "MessagesFiltered") + 1) << ini;
    EXPECT_EQ(filtered, Counter(ini, "ClassAsSpam") + Counter(ini, "ClassAsHam")) << ini;
    ASSERT_EQ(0, p.Run({"score", msg}));  // and a later run goes on counting
    EXPECT_TRUE(p.Leftovers().empty());
  }
}

TEST(Crash, AutoWhiteListRewriteKilledLosesNoAddress) {
  Profile p;
  std::string lines;
  const std::string today = Today();
  for (int i = 0; i < 3000; ++i) lines += "<Friend" + std::to_string(i) + "@Example.org>|" + today + "\r\n";
  const std::string msg = p.Message("hello");
  for (int i = 0; i < 10; ++i) {
    // An upper-case line makes start-up rewrite the file.
    const std::string added = i == 0 ? lines : "<NEW" + std::to_string(i) + "@X.ORG>|" + today + "\r\n";
    WriteBytes(p.Dir() / "AutoWL.lst", p.Read("AutoWL.lst") + added);
    KillWhenCreated(p, "AutoWL.lst.~quelta-", static_cast<int>(Rng()() % 3000),
                    [&] { return p.Start({"score", msg}); });
    ASSERT_EQ(0, p.Run({"info"}));
    const std::string text = p.Read("AutoWL.lst");
    for (int k = 0; k < 3000; k += 97)
      ASSERT_NE(std::string::npos, text.find("<friend" + std::to_string(k) + "@example.org>|" + today + "\r\n"))
          << k << " lost after kill " << i;
    for (int k = 1; k <= i; ++k)
      ASSERT_NE(std::string::npos, text.find("<new" + std::to_string(k) + "@x.org>")) << k;
    EXPECT_TRUE(p.Leftovers().empty());
  }
}

TEST(Crash, AnotherProgramAppendingToTheAutoWhiteListLosesNothing) {
  Profile p;
  p.Write("AutoWL.lst", "");
  const std::string msg = p.Message("hello");
  constexpr int kLines = 1500;
  const std::string today = Today();
  const pid_t appender = ::fork();
  if (appender == 0) {
    const std::string file = (p.Dir() / "AutoWL.lst").string();
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "<Mate" + std::to_string(i) + "@Example.ORG>|" + today + "\r\n";
      const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
      if (fd < 0 || ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(1);
      ::close(fd);
      ::usleep(500);
    }
    ::_exit(0);
  }
  int runs = 0;
  while (::waitpid(appender, nullptr, WNOHANG) == 0) {
    p.Run({"score", msg});
    ++runs;
  }
  ASSERT_EQ(0, p.Run({"info"}));
  const std::string text = p.Read("AutoWL.lst");
  int missing = 0;
  for (int i = 0; i < kLines; ++i)
    if (text.find("<mate" + std::to_string(i) + "@example.org>|") == std::string::npos) ++missing;
  EXPECT_EQ(0, missing) << "lost over " << runs << " runs";
}

TEST(Crash, AFullDiskLeavesBothBayesFilesAndSaysSo) {
  Profile p;
  PlantBayesPair(p, 60, 60, 30000);  // a word file of 360 KB
  const std::string before = p.Read("Bayes.wdb") + p.Read("Bayes.udb");
  const std::string msg = p.Message("Full disk");
  RunOptions small;
  small.maxFileSize = 64 * 1024;  // room for the log and Quelta.ini only
  p.Run({"train", "--spam", msg}, small);
  EXPECT_EQ(before, p.Read("Bayes.wdb") + p.Read("Bayes.udb"));
  const std::string log = p.Log();
  EXPECT_NE(std::string::npos, log.find("ERROR: Saving Bayes datafile failed!\r\n"));
  EXPECT_EQ(std::string::npos, log.find("saved successfully"));
  EXPECT_TRUE(p.Leftovers().empty());
  // With room again the same message trains as a new one.
  ASSERT_EQ(0, p.Run({"train", "--spam", msg}));
  EXPECT_EQ(61u, U32(p.Read("Bayes.wdb"), 4));
  ExpectPairAgrees(p, "after the second training");
}

TEST(Crash, AReadOnlyProfileChangesNothingAndClaimsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs the command as another user; needs root";
  for (const bool lockFilePresent : {false, true}) {
    Profile p;
    PlantBayesPair(p, 5, 5, 100);
    if (lockFilePresent) p.Write("Quelta.lock", "");
    p.OpenToEveryone();
    fs::permissions(p.Dir() / "Logs", fs::perms::all);  // only the log may be written
    const std::string before = p.Read("Bayes.wdb") + p.Read("Bayes.udb") + p.Read("Quelta.ini");
    RunOptions nobody;
    nobody.asNobody = true;
    p.Run({"train", "--spam", p.Message("Read only")}, nobody);
    p.Run({"score", p.Message("Read only offer")}, nobody);
    EXPECT_EQ(before, p.Read("Bayes.wdb") + p.Read("Bayes.udb") + p.Read("Quelta.ini"));
    const std::string log = p.Log();
    ASSERT_NE(std::string::npos, log.find("Quelta: Shutdown at ")) << lockFilePresent;
    EXPECT_EQ(std::string::npos, log.find("saved successfully")) << log;
    if (lockFilePresent) {
      EXPECT_NE(std::string::npos, log.find("ERROR: Saving Bayes datafile failed!\r\n")) << log;
      EXPECT_NE(std::string::npos, log.find("ERROR: Saving plugin statistics failed!\r\n")) << log;
    } else {
      EXPECT_NE(std::string::npos, log.find("WARNING: The profile cannot be locked")) << log;
      EXPECT_NE(std::string::npos, log.find("WARNING: The profile could not be locked; the changes of "
                                            "this run are not saved!\r\n"))
          << log;
    }
  }
}

TEST(Crash, FortyParallelTrainingsKeepForty) {
  Profile p;
  std::vector<std::string> messages;
  for (int i = 0; i < 40; ++i) messages.push_back(p.Message("parallel-" + std::to_string(i)));
  std::vector<pid_t> runs;
  for (int i = 0; i < 40; ++i) runs.push_back(p.Start({"train", i % 2 ? "--spam" : "--ham", messages[i]}));
  for (const pid_t pid : runs) EXPECT_EQ(0, Profile::Wait(pid));
  const std::string w = p.Read("Bayes.wdb");
  ASSERT_GE(w.size(), 12u);
  EXPECT_EQ(20u, U32(w, 4));
  EXPECT_EQ(20u, U32(w, 8));
  EXPECT_EQ(40u * 13, p.Read("Bayes.udb").size());
}

}  // namespace
