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
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/data_files.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::LE32;
using testing_support::WriteBytes;

std::uint32_t U32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// A profile folder with its own copy of the plug-in and of the command.
class Profile {
 public:
  Profile() {
    fs::create_directories(Dir() / "Logs");
    fs::copy_file(QUELTA_PLUGIN_FILE, Dir() / "Quelta.tbp");
    fs::copy_file(QUELTA_HOST_FILE, root_.Path() / "quelta");
    Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n[Bayes]\r\nAddHigherValue=30\r\nAddLowerValue=-1\r\n");
    Write("Rules.dat", "SenderInAutoWL -20 I \"\" [known]\r\nSUBJECT 40 S \"offer\" [offer]\r\n");
  }
  fs::path Dir() const { return root_.Path() / "plugin"; }
  void Write(const std::string& name, const std::string& bytes) const { WriteBytes(Dir() / name, bytes); }
  std::string Read(const std::string& name) const { return testing_support::ReadBytes(Dir() / name); }
  std::string Pair() const { return Read("Bayes.wdb") + Read("Bayes.udb"); }

  // A message file with a subject of its own, so that each is a new message.
  std::string Message(const std::string& subject) const {
    const fs::path p = root_.Path() / "mail" / subject;
    WriteBytes(p, "From: <x@y.example>\r\nSubject: " + subject + "\r\n\r\ncheap offer prize\r\n");
    return p.string();
  }

  // Starts `quelta` with the given arguments, with writes past
  // `maxFileSize` failing (a full disk) or as a user who may not write.
  pid_t Start(std::vector<std::string> args, rlim_t maxFileSize = RLIM_INFINITY, bool asNobody = false) const {
    args.insert(args.begin(), {(root_.Path() / "quelta").string(), "--plugin-dir", Dir().string(), "--no-progress"});
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    const rlimit lim{maxFileSize, maxFileSize};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &lim);
    if (asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // Runs `quelta` to its end; its exit status (-1 when killed).
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Run(const std::vector<std::string>& args, rlim_t maxFileSize = RLIM_INFINITY, bool asNobody = false) const {
    return Wait(Start(args, maxFileSize, asNobody));
  }
  // True when none of the plug-in's temporary files is left.
  bool Clean() const {
    for (const auto& e : fs::directory_iterator(Dir()))
      if (e.path().filename().string().find(".~quelta-") != std::string::npos) return false;
    return true;
  }
  // Runs `args` and kills the run (SIGKILL) a random moment under 3 ms
  // after a file whose name contains `marker` appears in the profile.
  // True when the kill came before the run ended.
  bool KillWhenCreated(const std::string& marker, const std::vector<std::string>& args) const {
    static std::mt19937 rng(std::random_device{}());
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(fd, Dir().c_str(), IN_CREATE | IN_MOVED_TO);
    const pid_t pid = Start(args);
    alignas(inotify_event) char buf[8192];
    for (int status = 0; ::waitpid(pid, &status, WNOHANG) != pid;) {
      pollfd pfd{fd, POLLIN, 0};
      const ssize_t n = ::poll(&pfd, 1, 20) > 0 ? ::read(fd, buf, sizeof buf) : 0;
      for (ssize_t off = 0; off < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if (e->len == 0 || !std::strstr(e->name, marker.c_str())) continue;
        ::usleep(static_cast<useconds_t>(rng() % 3000));
        ::kill(pid, SIGKILL);
        ::close(fd);
        return Wait(pid) == -1;
      }
    }
    ::close(fd);
    return false;
  }

 private:
  testing_support::ScratchDir root_;
};

// A trained pair large enough that its save takes a while: `spam` + `ham`
// messages, as many undo records, and many word records.
void PlantBayesPair(const Profile& p, std::uint32_t spam, std::uint32_t ham, int words) {
  std::mt19937 rng(7);
  std::string w = LE32(0x804F) + LE32(spam) + LE32(ham), u;
  for (int i = 0; i < words; ++i) w += LE32(rng()) + LE32(rng() % 50) + LE32(rng() % 50);
  for (std::uint32_t i = 0; i < spam + ham; ++i)
    u += LE32(0xA0000000u + i) + static_cast<char>(i < spam) + std::string(8, '\x40');
  p.Write("Bayes.wdb", w);
  p.Write("Bayes.udb", u);
}

// The pair agrees when every message counted in the header has its undo
// record (each training in these tests is of a new message).
void ExpectPairAgrees(const Profile& p, int when) {
  const std::string w = p.Read("Bayes.wdb"), u = p.Read("Bayes.udb");
  ASSERT_GE(w.size(), 12u) << when;
  EXPECT_EQ(0u, w.size() % 12 + u.size() % 13) << when;
  EXPECT_EQ(U32(w, 4) + U32(w, 8), u.size() / 13) << when;
}

// Kills land when the word file's temporary file appears, when it is
// renamed to its ready name, and at the commit point (the undo file's ready
// name appears).
TEST(Crash, TrainingKilledDuringItsSaveLeavesAnAgreeingPair) {
  Profile p;
  PlantBayesPair(p, 500, 500, 150000);
  const char* const moments[] = {"Bayes.wdb.~quelta-", "Bayes.wdb.~quelta-ready", "Bayes.udb.~quelta-ready"};
  int killed = 0, old = 0;
  for (int i = 0; i < 18; ++i) {
    const std::string before = p.Pair();
    killed += p.KillWhenCreated(moments[i % 3], {"train", "--spam", p.Message("train-" + std::to_string(i))});
    // Past the commit point the ready files stay for the next start to put
    // in place; before it, the old pair is untouched.
    if (p.Clean() || !fs::exists(p.Dir() / "Bayes.udb.~quelta-ready.tmp")) ExpectPairAgrees(p, i);
    // The next start finishes or undoes the save and leaves nothing behind.
    ASSERT_EQ(0, p.Run({"info"}));
    ExpectPairAgrees(p, i);
    EXPECT_TRUE(p.Clean());
    old += p.Pair() == before;
  }
  EXPECT_GE(killed, 6);  // at least every kill at the first moment lands
  std::printf("training killed %d times: %d old pairs, %d new pairs\n", killed, old, 18 - old);
}

// Start-up rewrites the auto-white-list (an upper-case line asks for it)
// and the run saves its statistics: a kill during either loses no address
// and leaves the old or the new counters.
TEST(Crash, ScoringKilledDuringItsSavesLosesNoAddressAndNoCount) {
  Profile p;
  const auto counter = [](const std::string& ini, const std::string& key) {
    const auto at = ini.find("\n" + key + "=");
    return at == std::string::npos ? 0ul : std::stoul(ini.substr(at + key.size() + 2));
  };
  std::string lines;
  // Lines without a date are dated today when read.
  for (int i = 0; i < 3000; ++i) lines += "<Friend" + std::to_string(i) + "@Example.org>|\r\n";
  const std::string msg = p.Message("Your offer");
  for (int i = 0; i < 20; ++i) {
    const std::string added = i == 0 ? lines : "<NEW" + std::to_string(i) + "@X.ORG>|\r\n";
    p.Write("AutoWL.lst", p.Read("AutoWL.lst") + added);
    const std::string before = p.Read("Quelta.ini");
    p.KillWhenCreated(i % 2 ? "AutoWL.lst.~quelta-" : "Quelta.ini.~quelta-", {"score", msg});
    const std::string ini = p.Read("Quelta.ini");
    const unsigned long filtered = counter(ini, "MessagesFiltered");
    EXPECT_TRUE(ini == before || filtered == counter(before, "MessagesFiltered") + 1) << ini;
    EXPECT_EQ(filtered, counter(ini, "ClassAsSpam") + counter(ini, "ClassAsHam")) << ini;
    ASSERT_EQ(0, p.Run({"info"}));
    const std::string text = p.Read("AutoWL.lst");
    for (int k = 0; k < 3000; k += 97)
      ASSERT_NE(text.find("<friend" + std::to_string(k) + "@example.org>|20"), std::string::npos) << k;
    for (int k = 1; k <= i; ++k) ASSERT_NE(text.find("<new" + std::to_string(k) + "@x.org>"), std::string::npos) << k;
    EXPECT_TRUE(p.Clean());
  }
}

// Saves that cannot be made: a full disk (writes past 64 KB fail), and a
// profile its user may not write, with and without the lock file. The files
// stay as they were, the log says what failed and never "saved
// successfully", and with room again the same message trains as a new one.
TEST(Crash, FailedSavesChangeNothingAndSaySo) {
  const struct {
    bool fullDisk, lockFile;
    std::vector<std::string> lines;
  } cases[] = {
      {true, false, {"ERROR: Saving Bayes datafile failed!\r\n"}},
      {false, false, {"WARNING: The profile cannot be locked",
                      "WARNING: The profile could not be locked; the changes of this run are not saved!\r\n"}},
      {false, true, {"ERROR: Saving Bayes datafile failed!\r\n", "ERROR: Saving plugin statistics failed!\r\n"}},
  };
  for (const auto& c : cases) {
    if (!c.fullDisk && ::geteuid() != 0) GTEST_SKIP() << "runs the command as another user; needs root";
    Profile p;
    PlantBayesPair(p, 60, 60, 30000);  // a word file of 360 KB
    if (c.lockFile) p.Write("Quelta.lock", "");
    // Everyone may read the profile; only the log may be written.
    fs::permissions(p.Dir().parent_path(), fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    fs::permissions(p.Dir() / "Logs", fs::perms::all);
    const std::string before = p.Pair(), ini = p.Read("Quelta.ini"), msg = p.Message("Unsaved");
    p.Run({"train", "--spam", msg}, c.fullDisk ? 64 * 1024 : RLIM_INFINITY, !c.fullDisk);
    p.Run({"score", p.Message("Unsaved offer")}, c.fullDisk ? 64 * 1024 : RLIM_INFINITY, !c.fullDisk);
    EXPECT_EQ(before, p.Pair());
    if (!c.fullDisk) EXPECT_EQ(ini, p.Read("Quelta.ini"));  // room enough for it on the full disk
    const std::string log = p.Read("Logs/Filter.log");
    ASSERT_NE(std::string::npos, log.find("Quelta: Shutdown at ")) << log;
    EXPECT_EQ(std::string::npos, log.find("saved successfully")) << log;
    for (const std::string& line : c.lines) EXPECT_NE(std::string::npos, log.find(line)) << log;
    EXPECT_TRUE(p.Clean());
    ASSERT_EQ(0, p.Run({"train", "--spam", msg}));
    EXPECT_EQ(61u, U32(p.Read("Bayes.wdb"), 4));
    ExpectPairAgrees(p, 0);
  }
}

TEST(Crash, FortyParallelTrainingsKeepForty) {
  Profile p;
  std::vector<pid_t> runs;
  for (int i = 0; i < 40; ++i)
    runs.push_back(p.Start({"train", i % 2 ? "--spam" : "--ham", p.Message("parallel-" + std::to_string(i))}));
  for (const pid_t pid : runs) EXPECT_EQ(0, Profile::Wait(pid));
  const std::string w = p.Read("Bayes.wdb");
  ASSERT_GE(w.size(), 12u);
  EXPECT_EQ(20u, U32(w, 4));
  EXPECT_EQ(20u, U32(w, 8));
  EXPECT_EQ(40u * 13, p.Read("Bayes.udb").size());
}

}  // namespace
