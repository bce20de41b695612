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
#include "session.h"
#include "support/table.h"

using namespace quelta_host;
using namespace std::string_literals;

namespace {

TEST(Session, LineEndsBecomeCrLf) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {"a", "a"}, {"a\nb", "a\r\nb"}, {"a\r\nb\r\n", "a\r\nb\r\n"}, {"a\rb", "a\r\nb"},
      {"\n\n", "\r\n\r\n"}, {"\r\r\n\n", "\r\n\r\n\r\n"}, {"x\r", "x\r\n"}, {"a\0b\n"s, "a\0b\r\n"s}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ToCrLf(in), out) << in;
}

TEST(PassThrough, AddsFieldsAndKeepsEveryOtherByte) {
  const std::string f = "X-Quelta-Score: 7\nX-Quelta-Status: Ham, threshold=50\n";
  testing_support::ExpectEach(
      [](const std::string& in) { return WithFields(in, {"X-Quelta-Score: 7", "X-Quelta-Status: Ham, threshold=50"}); },
      {{"A: 1\nB: 2\n\nbody\r\nx", "A: 1\nB: 2\n" + f + "\nbody\r\nx"},
       {"A: 1\r\n\r\nb\n", "A: 1\r\nX-Quelta-Score: 7\r\nX-Quelta-Status: Ham, threshold=50\r\n\r\nb\n"},
       {"A: 1\r\rb", "A: 1\rX-Quelta-Score: 7\rX-Quelta-Status: Ham, threshold=50\r\rb"},
       {"A: 1", "A: 1\n" + f},  // header only, no final line end
       {"", f},
       // Forged fields, folded lines and all, go; the body's stay.
       {"X-QUELTA-status : Ham\n\tstill forged\nA: 1\nx-quelta-score:0\n\nX-Quelta-Score: 9\n",
        "A: 1\n" + f + "\nX-Quelta-Score: 9\n"},
       {"X-Quelta-Scores: 1\nX-Quelta-Score-Old: 2\n\n", "X-Quelta-Scores: 1\nX-Quelta-Score-Old: 2\n" + f + "\n"},
       {"From a@b Mon Jan  1 00:00:00 2026\nA: 1\n\nb", "From a@b Mon Jan  1 00:00:00 2026\nA: 1\n" + f + "\nb"},
       {std::string("A: \0\xff\n\n\0", 8), std::string("A: \0\xff\n", 6) + f + std::string("\n\0", 2)}});
  EXPECT_EQ(WithoutEnvelopeLine("From x Mon\r\nA: 1\r\n"), "A: 1\r\n");
  EXPECT_EQ(WithoutEnvelopeLine("From: x\n"), "From: x\n");
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
  EXPECT_NE(f.back(), '\n');  // no line end after the last item
}

TEST(Mailbox, MboxSplitsAtFromLinesAfterEmptyLinesAndUnescapes) {
  const std::string box = "From a Mon\nA: 1\n\n>From here\n>>From there\n>Fromage\nFrom inside, not a separator\n\n"
                          "From b Tue\r\nB: 2\r\n\r\nbody\r\n\r\nFrom c Wed\nC: 3\n\nlast";
  EXPECT_EQ(SplitMbox(box), (std::vector<std::string>{
                                "A: 1\n\nFrom here\n>From there\n>Fromage\nFrom inside, not a separator\n",
                                "B: 2\r\n\r\nbody\r\n", "C: 3\n\nlast"}));
  EXPECT_TRUE(IsMbox(box));
  EXPECT_FALSE(IsMbox("From: a\n"));
}

TEST(Mailbox, NamesAreEscapedAndServerFilesKnown) {
  EXPECT_EQ(EscapeName("a\tb\nc\rd\x01\x7f\xc3\xa9\\t"), "a\\tb\\nc\\rd\\x01\\x7F\xc3\xa9\\\\t");
  for (const char* n : {"dovecot.index", "dovecot.index.cache", "dovecot-uidlist", "dovecot-keywords",
                        "dovecot.list.index.log", "courierimapuiddb", "maildirfolder", "maildirsize", "subscriptions",
                        "x.lock"})
    EXPECT_TRUE(IsServerFile(n)) << n;
  for (const char* n : {"1700000000.M1P2.host,S=120:2,S", "msg.eml", "1"}) EXPECT_FALSE(IsServerFile(n)) << n;
}

TEST(LogLines, MatchLinesParse) {
  testing_support::ExpectEach(
      [](const std::string& line) {
        RuleMatch m;
        return ParseMatchLine(line, m) ? m.kind + "|" + m.field + "|" + m.comment + "|" + std::to_string(m.score) : "-";
      },
      {{"Match: Simple rule \"SUBJECT\" (lottery), score: 80.", "Simple|SUBJECT|lottery|80"},
       {"Match: Intern rule \"BAYES\" (a (b), score: 3), c), score: -20.", "Intern|BAYES|a (b), score: 3), c|-20"},
       {"Match:  rule \"X\" (), score: 0.", "|X||0"},
       {"Match: RegExp rule \"FROM\" (x), score: many.", "-"},
       {"Final score is: 0 (0), 0 rules matched >>> HAM.", "-"}});
}

TEST(LogLines, TheBlockRunsFromItsHeaderLineAndTheWindowReadsOnlyTheGrowth) {
  EXPECT_EQ(ReportBlock(LogLines("Quelta: 3 lines reloaded\r\n\r\n=== BEGIN MESSAGE at x ===\r\nSubject:\ta\r\n"
                                 "Final score is: 0\r\nMessage processed in 0 mSec.\r\n\r\n")),
            (std::vector<std::string>{"=== BEGIN MESSAGE at x ===", "Subject:\ta", "Final score is: 0",
                                      "Message processed in 0 mSec."}));
  EXPECT_TRUE(ReportBlock(LogLines("Quelta: nothing\r\n")).empty());

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
  EXPECT_EQ(JsonString("\x80\xe9", TextKind::Ansi), "\"\xe2\x82\xac\xc3\xa9\"");  // euro sign, e acute
  EXPECT_EQ(JsonString("caf\xc3\xa9", TextKind::FileName), "\"caf\xc3\xa9\"");    // valid UTF-8 stays
  EXPECT_EQ(JsonString("caf\xe9", TextKind::FileName), "\"caf\xc3\xa9\"");        // else Latin-1
}

TEST(Evaluation, CountsTheThresholdWithoutFalsePositivesAndAnEvenTrainingPart) {
  const std::vector<EvalItem> s = {
      {"h1", 10, false}, {"h2", 60, false}, {"s1", 60, true}, {"s2", 90, true}, {"s3", 20, true}};
  const EvalCounts at50 = CountAt(s, 50), at60 = CountAt(s, 60);
  EXPECT_EQ(std::vector<int>({at50.ham, at50.spam, at50.falsePositives, at50.falseNegatives}),
            std::vector<int>({2, 3, 1, 1}));
  EXPECT_EQ(NoFalsePositiveThreshold(s), 60);
  EXPECT_EQ(at60.falsePositives, 0);
  EXPECT_EQ(at60.falseNegatives, 2);  // a score equal to the threshold is ham
  EvalInput in;
  in.scored = s;
  in.threshold = 50;
  const std::string html = EvaluationHtml(in);
  EXPECT_NE(html.find("<svg"), html.rfind("<svg"));  // two plots
  EXPECT_NE(html.find("<td>60</td><td>h2</td>"), std::string::npos);

  for (double f : {0.5, 0.25, 0.8}) {
    int trained = 0, run = 0, longest = 0;
    for (std::size_t i = 0; i < 100; ++i) {
      run = TrainsAt(i, f) ? 0 : run + 1;
      trained += run == 0;
      longest = std::max(longest, run);
    }
    EXPECT_EQ(trained, static_cast<int>(100 * f)) << f;
    EXPECT_LE(longest, static_cast<int>(1 / f)) << f;
  }
}

}  // namespace
