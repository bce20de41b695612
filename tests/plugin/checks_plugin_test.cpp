// Internal checks and regular-expression rules through the exports: a
// Rules.dat with checks that match, fail and warn, and the exact report
// lines they leave in the log.
#include "support/plugin_harness.h"

using harness::PluginFolder;
using harness::Report;

namespace {

const char* kNoLearning = "[Bayes]\r\nEnabled=0\r\nAddLower=0\r\nAddHigher=0\r\n";

const char* kMessage =
    "Subject: cheap pills now\r\n"
    "From: a@b.example\r\n"
    "X-Mailer: m\r\n"
    "Date: Mon, 1 Jan 2007 10:00:00 +0000\r\n"
    "\r\n"
    "Hi %rnd_name\r\n";

}  // namespace

TEST(ChecksPlugin, FailuresWarningsAndMatchesOfInternalChecks) {
  PluginFolder f;
  f.UseRulesDat(
      "NoSuchCheck 10 IN \"\" [nf]\r\n"
      "IsScore 5 I \">\" [isv]\r\n"
      "RawMsgSize 5 I \"x100\" [rop]\r\n"
      "HdrExist 3 I \"X-Priority|x-mailer\" [hx]\r\n"
      "DateDeviate 4 I \"\" [dd]\r\n"
      "IsScore 6 I \"=7\" [eq]\r\n"
      "DebugOut 50 I \"X-Mailer:\" [dbg]\r\n"
      "BulkForm 2 I \"\" [bulk header]\r\n"
      "BulkForm 2 Ib \"\" [bulk body]\r\n"
      "RawMsgSize 2 I \">10\" [big]\r\n",
      kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(17, f.Score(kMessage));
  p.Finalize();
  EXPECT_EQ(
      "ERROR: Internal rule \"NoSuchCheck\" (nf) not found!\r\n"
      "ERROR: Score value in rule \"IsScore\" (isv) is invalid!\r\n"
      "ERROR: Operator in rule \"RawMsgSize\" (rop) is invalid!\r\n"
      "Match: Intern rule \"HdrExist\" (hx), score: 3.\r\n"
      "WARING: Hours value in rule \"DateDeviate\" (dd) is out of range! New value is 3.\r\n"
      "Match: Intern rule \"DateDeviate\" (dd), score: 4.\r\n"
      "Match: Intern rule \"IsScore\" (eq), score: 6.\r\n"
      "Debug output for header \"X-Mailer:\" (dbg):\r\nBEGIN>m<END.\r\n"
      "Match: Intern rule \"BulkForm\" (bulk body), score: 2.\r\n"
      "Match: Intern rule \"RawMsgSize\" (big), score: 2.\r\n"
      "Final score is: 17 (17), 5 rules matched >>> HAM.\r\n",
      Report(f.Log()));
}

TEST(ChecksPlugin, RegularExpressionAndSimpleRules) {
  PluginFolder f;
  f.UseRulesDat(
      "SUBJECT 20 R \"pills(\" [bad pattern]\r\n"
      "SUBJECT 1 R \"p\\ills\" [letter escape]\r\n"
      "SUBJECT 2 R \"^cheap.*NOW$\" [anchored]\r\n"
      "SpamSubj 4 SC \"P1LLS\" [folded]\r\n"
      "SUBJECT 8 SBC \"Cheap\" [case]\r\n"
      "SUBJECT 16 SE \"\" [empty end]\r\n"
      "SUBJECT 32 S \"\" [empty contains]\r\n",
      kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  EXPECT_EQ(23, f.Score(kMessage));
  p.Finalize();
  EXPECT_EQ(
      "ERROR: RegExp rule SUBJECT [bad pattern] failed.\r\n"
      "Match: RegExp rule \"SUBJECT\" (letter escape), score: 1.\r\n"
      "Match: RegExp rule \"SUBJECT\" (anchored), score: 2.\r\n"
      "Match: Simple rule \"SpamSubj\" (folded), score: 4.\r\n"
      "Match: Simple rule \"SUBJECT\" (empty end), score: 16.\r\n"
      "Final score is: 23 (23), 4 rules matched >>> HAM.\r\n",
      Report(f.Log()));
}

TEST(ChecksPlugin, ReceivedChainDatesSubjectAndFields) {
  PluginFolder f;
  f.UseRulesDat(
      "IsRcvPosFaked 1 I \"\" [faked]\r\n"
      "DateDeviate 1 I \"4\" [four hours]\r\n"
      "DateDeviate 100 I \"5\" [five hours]\r\n"
      "DateInvalid 100 I \"\" [invalid]\r\n"
      "DateInvalid 1 IN \"\" [valid]\r\n"
      "SubjMultiSpace 1 I \"\" [spaces]\r\n"
      "FieldEmpty 1 I \"X-Missing:\" [missing]\r\n"
      "HdrExist 100 Ic \"x-mailer|content-type\" [with case]\r\n"
      "HdrExist 1 I \"x-mailer|content-type\" [without case]\r\n",
      kNoLearning);
  auto& p = f.Load();
  p.Initialize();
  // The top hop says it came from other.org, the hop below handed over as
  // relay.example.org; the Date header is 4 hours before the first
  // Received date.
  EXPECT_EQ(6, f.Score("Received: from relay.other.org (relay.other.org [192.0.2.2]) by "
                       "mx.example.net with ESMTP id 2; Mon, 1 Jan 2007 10:00:00 +0000\r\n"
                       "Received: from client.example.com (client.example.com [192.0.2.1]) by "
                       "relay.example.org with ESMTP id 1; Mon, 1 Jan 2007 09:59:00 +0000\r\n"
                       "Subject: =?iso-8859-1?Q?Hello___world?=\r\n"
                       "Date: Mon, 1 Jan 2007 06:00:00 +0000\r\n"
                       "Content-Type: text/plain\r\n"
                       "\r\n"
                       "body\r\n"));
  p.Finalize();
  EXPECT_EQ(
      "Match: Intern rule \"IsRcvPosFaked\" (faked), score: 1.\r\n"
      "Match: Intern rule \"DateDeviate\" (four hours), score: 1.\r\n"
      "Match: Intern rule \"DateInvalid\" (valid), score: 1.\r\n"
      "Match: Intern rule \"SubjMultiSpace\" (spaces), score: 1.\r\n"
      "Match: Intern rule \"FieldEmpty\" (missing), score: 1.\r\n"
      "Match: Intern rule \"HdrExist\" (without case), score: 1.\r\n"
      "Final score is: 6 (6), 6 rules matched >>> HAM.\r\n",
      Report(f.Log()));
}
