// The language table: keys without letter case, the built-in text as the
// default, parameters and markers; and the list of language choices.
#include "app/language.h"

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

using namespace quelta;
using testing_support::ScratchDir;

namespace {

TEST(LanguageTable, LookUpParametersAndMarkers) {
  ScratchDir dir;
  dir.Write("English.lng", "# comment\r\n  Opt|btnOk = OK  \r\nOpt|Empty=\r\nno equals sign\r\nA|b=x=y\nlast=1");
  LanguageTable t;
  EXPECT_EQ(5, t.Load(dir.File("English.lng")));
  EXPECT_EQ(" OK", t.Text("opt|BTNOK", "Ok (de)"));
  EXPECT_EQ("built-in", t.Text("Opt|Empty", "built-in"));
  EXPECT_EQ("x=y", t.Text("A|b", ""));
  EXPECT_EQ("1", t.Text("last", ""));
  EXPECT_EQ("Version %s1%", t.Text("Missing", "Version %s1%"));
  EXPECT_EQ("12%", t.Text("Missing", "%s1%$%$", "12"));
  EXPECT_EQ("a 1\r\n\t2 1", t.Text("Missing", "a %s1%%r%%n%%t%%s2% %s1%", std::string("1\x01" "2")));
  EXPECT_EQ(-1, t.Load(dir.File("none.lng")));
  EXPECT_EQ("Ok (de)", t.Text("Opt|btnOk", "Ok (de)"));  // the table was emptied
}

TEST(LanguageTable, ChoicesStartWithTheBuiltInGerman) {
  ScratchDir dir;
  dir.Write("English.lng", "");
  dir.Write("Readme.txt", "");
  EXPECT_EQ((std::vector<std::string>{"Deutsch (intern)"}), ListLanguages(dir.File("none") + "/"));
  EXPECT_EQ((std::vector<std::string>{"Deutsch (intern)", "English"}), ListLanguages(dir.Folder()));
}

}  // namespace
