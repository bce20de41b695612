// The data folders from "Quelta.cfg": defaults in the plug-in folder,
// %QUELTADIR% and environment variables, the separator appended.
#include "app/locations.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "os/env.h"
#include "support/scratch_dir.h"

using namespace quelta;
using testing_support::ScratchDir;

namespace {

TEST(Locations, DefaultsAndConfiguredFolders) {
  ScratchDir dir;
  const std::string plug = dir.Folder(), sep(1, os::kPathSep);
  Locations l;
  ASSERT_TRUE(LoadLocations(plug, l));
  EXPECT_EQ(plug + "Quelta.ini", l.iniFile);
  EXPECT_EQ(plug + "Logs" + sep, l.logPath);
  EXPECT_EQ(plug + "Scripts" + sep, l.scriptPath);
  for (const std::string* f : {&l.iniDir, &l.bayesDb, &l.autoWhiteList, &l.whitelist, &l.blacklist, &l.rulesDat, &l.easyPath})
    EXPECT_EQ(plug, *f);

#if defined(_WIN32)
  _putenv_s("QUELTA_TEST_VAR", "v");
#else
  setenv("QUELTA_TEST_VAR", "v", 1);
#endif
  dir.Write("Quelta.cfg",
            "[Locations]\r\nQueltaIni=%QUELTADIR%i\r\nBayesDB=%QUELTADIR%b\r\nLogPath=  %QUELTA_TEST_VAR%x  \r\n"
            "AutoWL=%NO_SUCH_QUELTA_VAR%\r\nWhitelist=%QUELTADIR%w\r\nBlacklist=%QUELTADIR%k\r\nRulesDat=%QUELTADIR%r\r\n"
            "ScriptPath=%QUELTADIR%s\r\nEasyPath=%QUELTADIR%e" + sep + "\r\n");
  ASSERT_TRUE(LoadLocations(plug, l));
  EXPECT_EQ(plug + "i" + sep, l.iniDir);
  EXPECT_EQ(plug + "i" + sep + "Quelta.ini", l.iniFile);
  EXPECT_EQ(plug + "b" + sep, l.bayesDb);
  EXPECT_EQ("vx" + sep, l.logPath);
  EXPECT_EQ("%NO_SUCH_QUELTA_VAR%" + sep, l.autoWhiteList);
  EXPECT_EQ(plug + "w" + sep, l.whitelist);
  EXPECT_EQ(plug + "k" + sep, l.blacklist);
  EXPECT_EQ(plug + "r" + sep, l.rulesDat);
  EXPECT_EQ(plug + "s" + sep, l.scriptPath);
  EXPECT_EQ(plug + "e" + sep, l.easyPath);
}

}  // namespace
