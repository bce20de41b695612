// The template macros: every listed name answers, others do not; the debug
// page of a session before start-up. The session holds the profile lock from
// start-up to the end of shutdown, and the options dialog's writes go under
// it (POSIX: the profile folder is named by QUELTA_PROFILE).
#include "app/macros.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/session.h"
#include "support/scratch_dir.h"

using namespace quelta;

namespace {

TEST(Macros, EveryListedNameAndNoOther) {
  const Session session;
  const std::string list = MacroList();
  int names = 0;
  std::string text;
  for (std::size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2, ++names) {
    text = "unset";
    EXPECT_TRUE(MacroText(session, list.substr(at, end - at), text)) << list.substr(at, end - at);
    EXPECT_NE("unset", text);
  }
  EXPECT_EQ(18, names);
  EXPECT_EQ(list.size(), list.rfind("Quelta_Test\r\n") + 13);
  text = "unset";
  EXPECT_FALSE(MacroText(session, "quelta_test", text) || MacroText(session, "Quelta_Tes", text));
  EXPECT_EQ("unset", text);
  for (const char* figure : {"Quelta_BayesMails", "Quelta_BayesWords"}) {
    EXPECT_TRUE(MacroText(session, figure, text));
    EXPECT_EQ("0", text) << figure;  // no filter before start-up
  }
  const std::string rule(80, '=');
  EXPECT_TRUE(MacroText(session, "Quelta_DebugInfo", text));
  EXPECT_EQ("QUELTA DEBUG INFO\r\n" + rule + "\r\nTB! WorkDir:   \r\nTB! SpamValue: 99\r\n" + rule + "\r\n", text);
}

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
