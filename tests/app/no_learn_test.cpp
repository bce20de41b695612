// A run with learning switched off (QUELTA_NO_LEARN=1, the command-line
// host's --no-learn) scores and logs, and leaves every other file of the
// profile byte for byte as it found it; the same run with learning on
// changes them, so the comparison can see a write. POSIX: the profile
// folder is named by QUELTA_PROFILE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "app/session.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

#if !defined(_WIN32)
namespace fs = std::filesystem;

// Every file of the profile but the log folder and the lock file, by name.
std::map<std::string, std::string> ProfileFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).generic_string();
    if (entry.is_regular_file() && name.rfind("Logs/", 0) != 0 && name != "Quelta.lock")
      files[name] = testing_support::ReadBytes(entry.path());
  }
  return files;
}

TEST(NoLearn, ARunWithLearningOffWritesNothingButItsLog) {
  const std::string spam =
      "From: a@example.org\r\nSubject: cheap viagra now\r\n\r\nviagra pills cheap offer today\r\n";
  for (const bool learningOff : {true, false}) {
    testing_support::ScratchDir d;
    d.Write("Quelta.ini",
            "[EasyMode]\r\nEnabled=0\r\n[Bayes]\r\nEnabled=1\r\nAddHigher=1\r\nAddHigherValue=20\r\n");
    d.Write("Rules.dat", "SUBJECT 90 S \"viagra\" [pills]\r\n");
    d.Write("AutoWL.lst", "<old@example.org>|20000101\r\n");  // a load that rewrites drops it
    d.Write("Logs/Filter.log", "");
    const auto before = ProfileFiles(d.Folder());
    ::setenv("QUELTA_PROFILE", d.Folder().c_str(), 1);
    if (learningOff) ::setenv("QUELTA_NO_LEARN", "1", 1);
    {
      Session s;
      s.Startup();
      EXPECT_EQ(s.SavesChanges(), !learningOff);
      EXPECT_GE(s.ScoreMessage(spam, nullptr), 90);
      s.TrainMessage(spam, nullptr, true);
      s.Shutdown();
    }
    ::unsetenv("QUELTA_NO_LEARN");
    ::unsetenv("QUELTA_PROFILE");
    if (learningOff) {
      EXPECT_EQ(ProfileFiles(d.Folder()), before);
      EXPECT_NE(std::string::npos, d.Read("Logs/Filter.log").find("Quelta: Bayes databases not saved."));
    } else {
      EXPECT_NE(ProfileFiles(d.Folder()), before);
      EXPECT_EQ(d.Read("AutoWL.lst"), "");
    }
  }
}
#endif

}  // namespace
}  // namespace quelta
