// Speed of rule evaluation: a rule set of 1,000 simple and regular-expression
// rules over the common fields, scoring a typical 10 KB multipart message.
//
//   ScoreMessage          the whole per-message road: evaluator, parser
//                         (each field computed once), every rule, the report
//                         written to the filter log
//   EvaluatorsOnly        the 1,000 evaluations over field texts read before
//   ScoreMessageCold      as ScoreMessage with the rules resolved afresh before
//                         every message: every pattern it runs compiled again
//
// Target: ScoreMessage well under 5 ms per message.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/filter_log.h"
#include "engine/checks.h"
#include "engine/evaluator.h"
#include "engine/message_context.h"
#include "engine/rule_set.h"
#include "regex/regex.h"
#include "rules/rule_store.h"

namespace fs = std::filesystem;
using namespace quelta;

namespace {

// ---- The message -------------------------------------------------------------------

const char* const kParagraphs[] = {
    "Thank you for your order. We are glad to confirm that your package has been shipped "
    "today and will arrive within the next three to five business days. ",
    "If you have any questions about your account, please visit our help center or reply "
    "to this message; our support team is available around the clock. ",
    "The quarterly report is attached for your review. Please send your comments before the "
    "meeting on Thursday so that we can discuss the budget for next year. ",
    "Our new collection of garden furniture is now available in all stores and online, with "
    "free delivery on orders above fifty euros until the end of the month. ",
    "Remember to update your password regularly and never share it with anyone, not even "
    "with people who claim to work for our company. ",
};

std::string PlainBody() {
  std::string s;
  for (int i = 0; s.size() < 4000; ++i) {
    s += kParagraphs[i % 5];
    if (i % 3 == 2) s += "\r\n\r\n";
  }
  s += "\r\nMore at http://www.example-shop.com/news?id=42 or write to info@example-shop.com\r\n";
  return s;
}

std::string HtmlBody() {
  std::string s = "<html><head><title>News</title></head><body><table>";
  for (int i = 0; s.size() < 4300; ++i) {
    s += "<tr><td><p style=\"font-family:Arial\">";
    s += kParagraphs[i % 5];
    s += "</p></td></tr>\r\n";
  }
  s += "<a href=\"http://www.example-shop.com/news?id=42\">More</a></table></body></html>\r\n";
  return s;
}

std::string TypicalMessage() {
  std::string m =
      "Return-Path: <newsletter@example-shop.com>\r\n"
      "Received: from mail.example-shop.com (mail.example-shop.com [198.51.100.23])\r\n"
      "\tby mx1.example.net (Postfix) with ESMTPS id 4A1B2C3D4E\r\n"
      "\tfor <jane.doe@example.net>; Tue, 6 Mar 2007 09:14:07 +0100 (CET)\r\n"
      "Received: from app01.internal.example-shop.com (app01.internal.example-shop.com "
      "[10.0.4.17])\r\n"
      "\tby mail.example-shop.com (Postfix) with ESMTP id 77F0A1\r\n"
      "\tfor <jane.doe@example.net>; Tue, 6 Mar 2007 09:14:05 +0100 (CET)\r\n"
      "Received: from localhost (localhost [127.0.0.1])\r\n"
      "\tby app01.internal.example-shop.com (Postfix) with SMTP id 1234\r\n"
      "\tfor <jane.doe@example.net>; Tue, 6 Mar 2007 09:14:04 +0100 (CET)\r\n"
      "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example-shop.com; s=mail;\r\n"
      "\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
      "\tb=dzdVyOfAKCdLXdJOc9G2q8LoXSlEniSbav+yuU4zGeeruD00lszZVoG4ZHRNiYzR\r\n"
      "Date: Tue, 6 Mar 2007 09:14:03 +0100\r\n"
      "From: \"Example Shop\" <newsletter@example-shop.com>\r\n"
      "To: Jane Doe <jane.doe@example.net>\r\n"
      "Subject: =?iso-8859-1?Q?Your_order_has_been_shipped_=96_spring_news?=\r\n"
      "Message-ID: <20070306091403.77F0A1@mail.example-shop.com>\r\n"
      "MIME-Version: 1.0\r\n"
      "X-Mailer: ShopMailer 4.2\r\n"
      "List-Unsubscribe: <mailto:unsubscribe@example-shop.com>\r\n"
      "Content-Type: multipart/alternative; boundary=\"b1_5f3c9e\"\r\n"
      "\r\n"
      "This is a multi-part message in MIME format.\r\n"
      "--b1_5f3c9e\r\n"
      "Content-Type: text/plain; charset=iso-8859-1\r\n"
      "Content-Transfer-Encoding: 8bit\r\n\r\n";
  m += PlainBody();
  m += "--b1_5f3c9e\r\nContent-Type: text/html; charset=iso-8859-1\r\n"
       "Content-Transfer-Encoding: 8bit\r\n\r\n";
  m += HtmlBody();
  m += "--b1_5f3c9e--\r\n";
  return m;
}

// The host's rendered text of the message.
struct BenchRendered final : RenderedTextSource {
  std::string RenderedText(std::size_t) override { return PlainBody(); }
};

const std::string& Raw() {
  static const std::string raw = TypicalMessage();
  return raw;
}

// ---- The rule set -------------------------------------------------------------------

const char* const kSpamWords[] = {
    "viagra", "cialis", "levitra", "xanax", "valium", "vicodin", "phentermine", "rolex",
    "replica", "casino", "poker", "lottery", "jackpot", "mortgage", "refinance", "loan",
    "credit", "debt", "pharmacy", "prescription", "weight loss", "diet pills", "enlargement",
    "penis", "erection", "stock alert", "hot stock", "investment", "profit", "income",
    "work from home", "million dollars", "inheritance", "beneficiary", "barrister", "diploma",
    "degree", "dating", "singles", "adult", "webcam", "unsubscribe here", "click here",
    "act now", "limited time", "winner", "congratulations", "prize", "claim your", "no cost"};
const char* const kModifiers[] = {"cheap", "free", "discount", "best", "buy", "order",
                                  "online", "generic", "100%", "guaranteed"};
const char* const kBadDomains[] = {".ru", ".cn", ".info", ".biz", ".ws", ".tk", ".top", ".xyz",
                                   ".click", ".loan"};
const char* const kMailers[] = {"Advanced Mass Sender", "Dark Mailer", "GoldMine",
                                "eMarksman", "Bulk Mailer", "MailKing", "Super Mail Sender",
                                "StealthMailer", "FloodGate", "Group Mail"};

std::string Quoted(const std::string& v) { return "\"" + v + "\""; }

std::vector<std::string> RuleLines() {
  std::vector<std::string> lines;
  auto add = [&](const std::string& field, int score, const std::string& flags,
                 const std::string& value, const std::string& comment) {
    lines.push_back(field + " " + std::to_string(score) + " " + flags + " " + Quoted(value) +
                    " [" + comment + "]");
  };
  const int nWords = sizeof(kSpamWords) / sizeof(kSpamWords[0]);
  const int nMods = sizeof(kModifiers) / sizeof(kModifiers[0]);
  // 300 simple phrase rules on the subject and the texts
  const char* textFields[] = {"SUBJECT", "TEXT", "PLAINPART", "SPAMTEXT", "SPAMSUBJ", "HTMLPART"};
  for (int i = 0; lines.size() < 300; ++i) {
    const std::string phrase =
        std::string(kModifiers[i % nMods]) + " " + kSpamWords[(i / nMods) % nWords];
    add(textFields[i % 6], 5 + i % 10, i % 7 == 0 ? "SC" : "S", phrase, "phrase " + phrase);
  }
  // 150 single spam words, contains, on the raw body and the header
  for (int i = 0; i < 150; ++i)
    add(i % 2 ? "RAWBODY" : "RAWHEADER", 3, "S", kSpamWords[i % nWords],
        std::string("word ") + kSpamWords[i % nWords]);
  // 100 sender domains: ends with / begins with
  for (int i = 0; i < 100; ++i) {
    const std::string dom = std::string(kSpamWords[i % nWords]) + "-deals" + kBadDomains[i % 10];
    add(i % 2 ? "FROMADDR" : "REPLYTOADDR", 20, "SE", dom + ">", "domain " + dom);
  }
  // 50 mailers and header markers
  for (int i = 0; i < 50; ++i)
    add(i % 2 ? "MAILER" : "X-Mailer:", 30, i % 3 ? "SB" : "S",
        std::string(kMailers[i % 10]) + (i >= 10 ? " " + std::to_string(i / 10) : ""),
        "mailer");
  // 50 whole-value checks
  for (int i = 0; i < 50; ++i)
    add(i % 2 ? "PRIORITY" : "CONTENTTYPE", 2, "SM", i % 2 ? std::to_string(i % 5 + 1) : "text/plain",
        "whole");
  // 200 regular expressions on the subject and the texts
  for (int i = 0; i < 200; ++i) {
    const std::string w = kSpamWords[i % nWords];
    std::string pattern;
    switch (i % 8) {
      case 0: pattern = "\\b" + w + "\\b"; break;
      case 1: pattern = "(?:" + std::string(kModifiers[i % nMods]) + "|best)\\s+" + w; break;
      case 2: pattern = "[" + w.substr(0, 1) + "]" + w.substr(1) + "s?\\b"; break;
      case 3: pattern = w.substr(0, 2) + "[^a-z]?" + w.substr(2) + "(?:ing|ed)?"; break;
      case 4: pattern = "\\$\\s?\\d+(?:\\.\\d\\d)?\\s+" + w; break;
      case 5: pattern = "^.{0,20}" + w; break;
      case 6: pattern = "(?:^|\\s)" + w + "(?:\\s|$)"; break;
      default: pattern = w + ".{0,30}(?:now|today)"; break;
    }
    add(textFields[i % 6], 10, "R", pattern, "re " + std::to_string(i));
  }
  // 100 regular expressions on the header, the addresses and the relays
  for (int i = 0; i < 100; ++i) {
    switch (i % 5) {
      case 0: add("RAWHEADER", 15, "R", "X-Mailer: .*" + std::string(kMailers[i % 10]), "mailer re"); break;
      case 1: add("FROMADDR", 15, "R", "@[a-z0-9-]+\\" + std::string(kBadDomains[i % 10]) + ">$", "from tld"); break;
      case 2: add("RCVALLIPS", 10, "R", "\"(?:61|58|221)\\.\\d+\\.\\d+\\." + std::to_string(i) + "\"", "relay range"); break;
      case 3: add("URLLIST", 10, "R", "https?://[^\"]*\\" + std::string(kBadDomains[i % 10]) + "(?:/|\")", "url tld"); break;
      default: add("MSGID", 5, "R", "^<[0-9a-f]{" + std::to_string(8 + i % 20) + "}@", "msgid"); break;
    }
  }
  // 50 negated simple rules (typical "has no ..." checks)
  for (int i = 0; i < 50; ++i)
    add(i % 2 ? "MSGID" : "DATE:", 1, "SN", i % 2 ? "@" : ":", "neg");
  return lines;
}

// ---- Fixtures -------------------------------------------------------------------------

// The rule store resolved for evaluation and a filter log in a scratch folder:
// what the session hands the evaluator, the Bayes filter left out.
struct Engine {
  fs::path folder;
  RuleStore rules;
  std::unique_ptr<RuleSet> set;
  FilterLog log;
  EngineOptions options;
  EngineServices services;
  Engine() {
    std::random_device rd;
    folder = fs::temp_directory_path() / ("quelta_rules_bench_" + std::to_string(rd()));
    fs::create_directories(folder);
    log.SetFolder((folder / "").string());
    for (const std::string& l : RuleLines())
      if (!rules.AddLine(l)) std::abort();
    if (rules.Count() != 1000) std::abort();
    options.bayesEnabled = false;  // rules only
    set = std::make_unique<RuleSet>(rules);
    services.rules = set.get();
    services.log = &log;
  }
  ~Engine() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

std::int32_t ScoreOnce() {
  Engine& e = TheEngine();
  BenchRendered rendered;
  MessageContext message(Raw(), {}, &rendered);
  MessageEvaluator evaluator(message, e.options, e.services);
  return evaluator.Evaluate();
}

void BM_ScoreMessage(benchmark::State& state) {
  ScoreOnce();  // patterns compiled once, as after the first message
  for (auto _ : state) benchmark::DoNotOptimize(ScoreOnce());
  state.counters["rules"] = 1000;
  state.counters["bytes"] = static_cast<double>(Raw().size());
}
BENCHMARK(BM_ScoreMessage)->Unit(benchmark::kMillisecond);

void BM_ScoreMessageCold(benchmark::State& state) {
  for (auto _ : state) {
    Engine& e = TheEngine();
    e.set = std::make_unique<RuleSet>(e.rules);
    e.services.rules = e.set.get();
    benchmark::DoNotOptimize(ScoreOnce());
  }
}
BENCHMARK(BM_ScoreMessageCold)->Unit(benchmark::kMillisecond);

void BM_EvaluatorsOnly(benchmark::State& state) {
  Engine& e = TheEngine();
  BenchRendered rendered;
  MessageContext message(Raw(), {}, &rendered);
  const RuleStore& rules = e.rules;
  std::vector<std::string> fields;
  for (int i = 0; i < rules.Count(); ++i) fields.push_back(message.Parser().GetField(rules.At(i).field));
  int matches = 0;
  for (auto _ : state) {
    for (int i = 0; i < rules.Count(); ++i) {
      const Rule& r = rules.At(i);
      const std::string& field = fields[static_cast<std::size_t>(i)];
      std::string text;
      const PreparedRule& p = e.set->At(i);
      matches += r.flags[0] == 'R'
                     ? EvaluateRegExp(r, e.set->Pattern(p.pattern), field, e.options.maxRegExpSize, text)
                     : EvaluateSimple(r, field, message.UpperCase(), text);
    }
  }
  benchmark::DoNotOptimize(matches);
  state.counters["matches/msg"] =
      static_cast<double>(matches) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_EvaluatorsOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
