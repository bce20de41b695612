// The session holds the profile lock from start-up to the end of shutdown,
// and the options dialog's writes go under it. POSIX: the
// profile folder is named by QUELTA_PROFILE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/session.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

#if !defined(_WIN32)
TEST(SessionProfile, TheLockSpansTheSessionAndCoversTheDialogsWrites) {
  testing_support::ScratchDir d;
  d.Write("Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n[Main]\r\nBreakAtScore=300\r\n");
  d.Write("Rules.dat", "");
  d.Write("Logs/Filter.log", "");
  ::setenv("QUELTA_PROFILE", d.Folder().c_str(), 1);
  {
    Session s;
    s.Startup();
    EXPECT_TRUE(s.OwnsProfile());
    EXPECT_FALSE(LockProfile(d.Folder(), 0));  // held by the session
    s.Config().engine.breakAtScore = 150;
    EXPECT_TRUE(s.SaveConfig());
    EXPECT_NE(std::string::npos, d.Read("Quelta.ini").find("BreakAtScore=150\r\n"));
    EXPECT_TRUE(s.UnderProfileLock([&] { return !LockProfile(d.Folder(), 0); }));
    s.Shutdown();
    EXPECT_TRUE(LockProfile(d.Folder(), 0));  // let go once everything is written
  }
  ::unsetenv("QUELTA_PROFILE");
}
#endif

}  // namespace
}  // namespace quelta
