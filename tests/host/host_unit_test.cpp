// The host's own text work: pass-through bytes, mbox splitting, names on
// output lines, match lines of the log, JSON strings, evaluation counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "evaluation.h"
#include "json.h"
#include "log_window.h"
#include "mailbox.h"
#include "pass_through.h"

using namespace quelta_host;

namespace {

const std::vector<std::string> kFields = {"X-Quelta-Score: 7", "X-Quelta-Status: Ham, threshold=50"};

TEST(PassThrough, AddsFieldsAndKeepsEveryOtherByte) {
  struct Case {
    const char* name;
    std::string in, out;
  };
  const Case cases[] = {
      {"LF", "A: 1\nB: 2\n\nbody\r\nx", "A: 1\nB: 2\nX-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n\nbody\r\nx"},
      {"CR LF", "A: 1\r\n\r\nb\n", "A: 1\r\nX-Quelta-Score: 7\r\nX-Quelta-Status: Ham, threshold=50\r\n\r\nb\n"},
      {"CR", "A: 1\r\rb", "A: 1\rX-Quelta-Score: 7\rX-Quelta-Status: Ham, threshold=50\r\rb"},
      {"header only, no final line end", "A: 1",
       "A: 1\nX-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n"},
      {"empty", "", "X-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n"},
      {"forged fields with folded lines go, the body's stay",
       "X-QUELTA-status : Ham\n\tstill forged\nA: 1\nx-quelta-score:0\n\nX-Quelta-Score: 9\n",
       "A: 1\nX-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n\nX-Quelta-Score: 9\n"},
      {"similar names stay", "X-Quelta-Scores: 1\nX-Quelta-Score-Old: 2\n\n",
       "X-Quelta-Scores: 1\nX-Quelta-Score-Old: 2\nX-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n\n"},
      {"envelope line kept", "From a@b Mon Jan  1 00:00:00 2026\nA: 1\n\nb",
       "From a@b Mon Jan  1 00:00:00 2026\nA: 1\nX-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n\nb"},
      {"NUL and high bytes", std::string("A: \0\xff\n\n\0", 8),
       std::string("A: \0\xff\n", 6) + "X-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n" +
           std::string("\n\0", 2)},
  };
  for (const auto& c : cases) EXPECT_EQ(WithFields(c.in, kFields), c.out) << c.name;
}

TEST(PassThrough, RulesFieldFoldsAtItemsWithTheMessagesLineEnd) {
  std::vector<std::string> items;
  for (int i = 0; i < 8; ++i) items.push_back("SUBJECT=" + std::to_string(i) + " (a comment \xe9)");
  const std::string f = FoldedField("X-Quelta-Rules", items, "\r\n");
  EXPECT_EQ(f.compare(0, 40, "X-Quelta-Rules: SUBJECT=0 (a comment ?),"), 0) << f;
  std::size_t start = 0, lines = 0;
  for (std::size_t p; (p = f.find("\r\n", start)) != std::string::npos; start = p + 2, ++lines) {
    EXPECT_LE(p - start, 78u);
    EXPECT_EQ(f[p + 2], '\t');
  }
  EXPECT_GE(lines, 2u);
  EXPECT_EQ(f.find('\n', f.size() - 1), std::string::npos);  // no line end after the last item
}

TEST(PassThrough, EnvelopeLineIsNotScored) {
  EXPECT_EQ(WithoutEnvelopeLine("From x Mon\r\nA: 1\r\n"), "A: 1\r\n");
  EXPECT_EQ(WithoutEnvelopeLine("From: x\n"), "From: x\n");
}

TEST(Mbox, SplitsAtFromLinesAfterEmptyLinesAndUnescapes) {
  const std::string box =
      "From a Mon\nA: 1\n\n>From here\n>>From there\n>Fromage\nFrom inside, not a separator\n\n"
      "From b Tue\r\nB: 2\r\n\r\nbody\r\n\r\n"
      "From c Wed\nC: 3\n\nlast";
  const auto m = SplitMbox(box);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], "A: 1\n\nFrom here\n>From there\n>Fromage\nFrom inside, not a separator\n");
  EXPECT_EQ(m[1], "B: 2\r\n\r\nbody\r\n");
  EXPECT_EQ(m[2], "C: 3\n\nlast");
  EXPECT_TRUE(IsMbox(box));
  EXPECT_FALSE(IsMbox("From: a\n"));
}

TEST(Names, ControlCharactersAndBackslashAreEscaped) {
  EXPECT_EQ(EscapeName("a\tb\nc\rd\x01\x7f" "\xc3\xa9"), "a\\tb\\nc\\rd\\x01\\x7F\xc3\xa9");
#if !defined(_WIN32)
  EXPECT_EQ(EscapeName("a\\tb"), "a\\\\tb");
#endif
}

TEST(Names, ServerFilesAreKnown) {
  for (const char* n : {"dovecot.index", "dovecot.index.cache", "dovecot-uidlist", "dovecot-keywords",
                        "dovecot.list.index.log", "courierimapuiddb", "maildirfolder", "maildirsize",
                        "subscriptions", "x.lock"})
    EXPECT_TRUE(IsServerFile(n)) << n;
  for (const char* n : {"1700000000.M1P2.host,S=120:2,S", "msg.eml", "1"}) EXPECT_FALSE(IsServerFile(n)) << n;
}

TEST(LogLines, MatchLinesParse) {
  struct Case {
    const char* line;
    bool ok;
    const char *kind, *field, *comment;
    long score;
  };
  const Case cases[] = {
      {"Match: Simple rule \"SUBJECT\" (lottery), score: 80.", true, "Simple", "SUBJECT", "lottery", 80},
      {"Match: Intern rule \"BAYES\" (a (b), score: 3), c), score: -20.", true, "Intern", "BAYES",
       "a (b), score: 3), c", -20},
      {"Match:  rule \"X\" (), score: 0.", true, "", "X", "", 0},
      {"Match: RegExp rule \"FROM\" (x), score: many.", false, "", "", "", 0},
      {"Final score is: 0 (0), 0 rules matched >>> HAM.", false, "", "", "", 0},
  };
  for (const auto& c : cases) {
    RuleMatch m;
    ASSERT_EQ(ParseMatchLine(c.line, m), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(m.kind, c.kind);
    EXPECT_EQ(m.field, c.field);
    EXPECT_EQ(m.comment, c.comment);
    EXPECT_EQ(m.score, c.score);
  }
}

TEST(LogLines, BlockRunsFromTheHeaderLineToTheLastLine) {
  const auto lines = LogLines("Quelta: 3 lines reloaded\r\n\r\n=== BEGIN MESSAGE at x ===\r\nSubject:\ta\r\n"
                              "Final score is: 0\r\nMessage processed in 0 mSec.\r\n\r\n");
  const auto block = ReportBlock(lines);
  ASSERT_EQ(block.size(), 4u);
  EXPECT_EQ(block.front(), "=== BEGIN MESSAGE at x ===");
  EXPECT_EQ(block.back(), "Message processed in 0 mSec.");
  EXPECT_TRUE(ReportBlock(LogLines("Quelta: nothing\r\n")).empty());
}

TEST(LogLines, WindowReadsOnlyTheGrowth) {
  const std::string file = (std::filesystem::temp_directory_path() / "quelta-window-test.log").string();
  std::ofstream(file, std::ios::binary) << "old\r\n";
  LogWindow w(file);
  w.Mark();
  std::ofstream(file, std::ios::binary | std::ios::app) << "new\r\n";
  EXPECT_EQ(w.Take(), "new\r\n");
  EXPECT_EQ(w.Take(), "");
  std::ofstream(file, std::ios::binary) << "x\r\n";  // replaced by a shorter file
  EXPECT_EQ(w.Take(), "x\r\n");
  std::remove(file.c_str());
  EXPECT_EQ(w.Take(), "");
}

TEST(Json, Strings) {
  EXPECT_EQ(JsonString("a\"b\\c\t\x01", TextKind::Ansi), "\"a\\\"b\\\\c\\u0009\\u0001\"");
  EXPECT_EQ(JsonString("\x80\xe9", TextKind::Ansi), "\"\xe2\x82\xac\xc3\xa9\"");           // euro sign, e acute
  EXPECT_EQ(JsonString("caf\xc3\xa9", TextKind::FileName), "\"caf\xc3\xa9\"");             // valid UTF-8 stays
  EXPECT_EQ(JsonString("caf\xe9", TextKind::FileName), "\"caf\xc3\xa9\"");                 // else Latin-1
}

TEST(Evaluation, CountsAndTheThresholdWithoutFalsePositives) {
  const std::vector<EvalItem> s = {{"h1", 10, false}, {"h2", 60, false}, {"s1", 60, true},
                                   {"s2", 90, true},  {"s3", 20, true}};
  const EvalCounts at50 = CountAt(s, 50);
  EXPECT_EQ(at50.ham, 2);
  EXPECT_EQ(at50.spam, 3);
  EXPECT_EQ(at50.falsePositives, 1);
  EXPECT_EQ(at50.falseNegatives, 1);
  EXPECT_EQ(NoFalsePositiveThreshold(s), 60);
  EXPECT_EQ(CountAt(s, 60).falsePositives, 0);
  EXPECT_EQ(CountAt(s, 60).falseNegatives, 2);  // a score equal to the threshold is ham
  EvalInput in;
  in.scored = s;
  in.threshold = 50;
  const std::string html = EvaluationHtml(in);
  EXPECT_NE(html.find("<svg"), html.rfind("<svg"));  // two plots
  EXPECT_NE(html.find("<td>60</td><td>h2</td>"), std::string::npos);
}

TEST(Evaluation, TrainingPartIsSpreadEvenly) {
  for (double f : {0.5, 0.25, 0.8}) {
    int trained = 0, run = 0, longest = 0;
    for (std::size_t i = 0; i < 100; ++i) {
      const bool t = TrainsAt(i, f);
      trained += t;
      run = t ? 0 : run + 1;
      longest = std::max(longest, run);
    }
    EXPECT_EQ(trained, static_cast<int>(100 * f)) << f;
    EXPECT_LE(longest, static_cast<int>(1 / f)) << f;
  }
}

}  // namespace
