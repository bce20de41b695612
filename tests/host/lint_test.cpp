// quelta lint on profiles written byte for byte: every finding at its file
// and line, in both rule modes.
#include "lint.h"

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

using namespace quelta_host;

namespace {

// The findings for a profile of the given files, one formatted line each.
std::vector<std::string> Lint(const std::vector<std::pair<std::string, std::string>>& files) {
  testing_support::ScratchDir dir;
  for (const auto& f : files) dir.Write(f.first, f.second);
  LintReport report;
  std::string error;
  EXPECT_TRUE(LintProfile(dir.Path().string(), report, error)) << error;
  std::vector<std::string> out;
  for (const LintFinding& f : report.findings) out.push_back(FormatFinding(f));
  return out;
}

TEST(Lint, RulesDatWithIncludesAndLists) {
  EXPECT_EQ(Lint({{"Quelta.ini", "[EasyMode]\r\nEnabled=0\r\n"},
                  {"Whitelist.txt", "# friends\r\nJohn Doe john@x.example\r\n<ok@x.example>\r\n*\r\n"},
                  {"Rules.dat", "SUBJECT 10 S \"ok\"\r\nsubjct 5 S \"a\"\r\nX-Mailer: 5 R \"(bulk\"\r\n"
                                "X-Spam-Flag 5 S \"YES\"\r\nBayesScore 5 S \"\"\r\nIncludeRuleFile inc.dat\r\n"
                                "Subject 1 s \"x\"\r\nBayesAutoLearn 0 S \"never\"\r\n"},
                  {"inc.dat", "DateInvalid 5 I \"\"\r\nRAWHEADER 5 I \"\"\r\nno rule\r\n"}}),
            (std::vector<std::string>{
                "Whitelist.txt:2: the entry holds a blank: it never matches an address",
                "Whitelist.txt:4: the entry gives an empty address pattern: it never matches",
                "Blacklist.txt: file not found (start-up logs an ERROR line)",
                "Rules.dat:2: unknown data field \"subjct\"",
                "Rules.dat:3: Invalid Pattern '(bulk': error at position 5: missing closing parenthesis",
                "Rules.dat:4: unknown data field \"X-Spam-Flag\" (a header is named with a colon: \"X-Spam-Flag:\")",
                "Rules.dat:5: unknown data field \"BayesScore\" (an internal check: its code begins with I)",
                "Rules.dat:7: the comparison code \"s\" begins with neither I, R nor S (upper case): the rule "
                "never matches",
                "Rules.dat:8: BayesAutoLearn takes OFF, DISABLE, 0, ON, ENABLE or 1, not \"never\"",
                "inc.dat:2: unknown internal check \"RAWHEADER\" (a data field: compare it with S or R)",
                "inc.dat:3: not a rule line (start-up stops reading the file here): no rule"}));
}

TEST(Lint, EasyModeNamesTheFileAndRowARuleCameFrom) {
  EXPECT_EQ(Lint({{"Quelta.ini", "[EasyMode]\r\nEnabled=1\r\nDNSBL=0\r\nURLBL=0\r\nIntern=1\r\n"},
                  {"Whitelist.txt", ""},
                  {"Blacklist.txt", ""},
                  {"EasyRules.dat", "IncludeRuleFile gone.dat\r\n"},
                  {"EasyMode.rdb", "SUBJECT\x01S\x01win\x01" "10\x01ok\r\nSUBJCT\x01S\x01win\x01" "10\x01typo\r\n"
                                   "\x01S\x01x\x01" "5\x01no field\r\n"}}),
            (std::vector<std::string>{"EasyRules.dat:1: included file not found: gone.dat",
                                      "EasyMode.rdb:2: unknown data field \"SUBJCT\"",
                                      "EasyMode.rdb:3: the row makes no rule (start-up skips it)"}));
}

}  // namespace
