// One profile, several users: start-up takes the profile lock before it
// reads anything and shutdown keeps it until everything is written; what
// interrupted saves left behind is removed at start-up. A second copy of
// the module in the same folder stands in for a second process. On Windows
// it waits a bounded time, runs without the profile, and carries its
// trainings over once the profile is free.
#include <thread>

#include "support/data_files.h"
#include "support/plugin_harness.h"

using harness::PluginFolder;

namespace {

const std::string kSpam = "Subject: Lottery\r\n\r\nwinner winner prize money\r\n";
const std::string kOther = "Subject: Other\r\n\r\nclaim your prize today\r\n";

// The spam-message count in the header record of "Bayes.wdb".
std::string SpamMessages(const PluginFolder& f) { return f.Read("Bayes.wdb").substr(4, 4); }
using testing_support::LE32;

}  // namespace

TEST(Profile, StartUpRemovesOnlyThePluginsLeftovers) {
  PluginFolder f;
  f.UseRulesDat("");
  const char* const leftovers[] = {"Quelta.ini.~quelta-Ab12Cd.tmp", "Bayes.udb.~quelta-7f-2.tmp",
                                   "AutoWL.lst.~quelta-1.tmp", "Bayes.wdb.~quelta-ready.tmp"};
  const char* const others[] = {"Notes.tmp", "Quelta.ini.bak", "~Quelta.ini"};
  for (const char* n : leftovers) f.Write(n, "partial");
  for (const char* n : others) f.Write(n, "mine");
  auto& p = f.Load();
  p.Initialize();
  for (const char* n : leftovers) EXPECT_FALSE(fs::exists(f.Dir() / n)) << n;
  for (const char* n : others) EXPECT_EQ("mine", f.Read(n)) << n;
  p.Finalize();
}

TEST(Profile, ASecondProcessNeverWritesWhileTheFirstHoldsTheProfile) {
  PluginFolder f;
  f.UseRulesDat("");
  auto& first = f.Load();
  first.Initialize();
  f.Feed(kSpam, 1);

  fs::copy_file(f.Dir() / "Quelta.tbp", f.Dir() / "Second.tbp");
  quelta_host::Plugin second;
  std::string err;
  ASSERT_TRUE(second.Load((f.Dir() / "Second.tbp").string(), err)) << err;
  std::atomic<bool> started{false};
  std::thread run([&] {
    second.Initialize();
    started = true;
  });
#if defined(_WIN32)
  // Windows: after a bounded wait the second one runs without the profile;
  // what it learns is kept once the first one has let go of it.
  run.join();
  EXPECT_NE(std::string::npos, f.Log().find("WARNING: The profile is in use by another process; "
                                            "this run saves nothing until it is free!"));
  PluginFolder::Feed(second, kOther, 1);
  first.Finalize();
  EXPECT_EQ(LE32(1), SpamMessages(f));
  PluginFolder::Feed(second, "Subject: Third\r\n\r\nmore prize money\r\n", 1);
  EXPECT_NE(std::string::npos, f.Log().find("Quelta: The profile is free again; this run saves its changes."));
  second.Finalize();
  EXPECT_EQ(LE32(3), SpamMessages(f));
#else
  // POSIX: the second one waits, then starts from what the first saved.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(started);
  first.Finalize();
  run.join();
  PluginFolder::Feed(second, kOther, 1);
  second.Finalize();
  EXPECT_EQ(LE32(2), SpamMessages(f));
  EXPECT_EQ(std::string::npos, f.Log().find("WARNING: The profile is in use"));
#endif
}
