// Message parser speed: realistic messages of about 5 KB, 100 KB and 10 MB
// (Received chain, address headers, encoded subject, multipart/mixed with
// a quoted-printable plain part full of URLs and addresses, a base64 HTML
// part and a base64 attachment filling the size). Measures building the
// parser, every field on its own (first request on a fresh parser, so the
// fields it depends on are included) and all fields together.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "message/parser.h"

namespace {

const char* const kFields[] = {
    "RAWSUBJECT", "SUBJECT", "TEXT", "TEXTWORD", "SUBJTEXT", "SPAMTEXT", "SPAMSUBJ",
    "SPAMSUBJTEXT", "SPAMPLAIN", "PRIORITY", "MAILER", "MSGID", "INREPLYTO", "REFERENCES",
    "RETURNPATH", "ORGANIZATION", "RECEIVED", "RCVALLIPS", "RCVALLHOSTS", "RCVALLDOMAINS",
    "RCVFROM", "RCVFROMIP", "RCVFROMNAME", "RCVHELO", "RCVHOST", "RCVIP", "RCVIPIP",
    "RCVSENDER", "RCVBY", "RCVWITH", "RCVFOR", "RCVRAWDATE", "CONTENTTYPE", "CHARSET",
    "BOUNDARY", "ENCODING", "PARSEONLY_MESSAGEPARTS", "PARTRAWHEADER", "PARTHEADER",
    "PARTTYPE", "PARTBOUNDARY", "PARTCHARSET", "PARTENCODE", "PARTNAME", "PARTID", "RAWDATE",
    "RAWFROM", "FROM", "RAWFROMADDR", "RAWFROMNAME", "FROMADDR", "FROMNAME", "REPLYTO",
    "REPLYTOADDR", "RAWTO", "TO", "RAWTONAME", "RAWTOADDR", "TONAME", "TOADDR",
    "RAWPLAINPART", "PLAINPART", "PLAINWORD", "RAWHTMLPART", "HTMLPART",
    "TEXTPART", "RAWTEXTPART", "RAWURLLIST", "RAWURLARGLIST", "URLLIST", "URLARGLIST",
    "URLDOMAINLIST", "EMLLIST", "EMLDOMAINLIST", "Subject:", "X-Mailer:"};

std::string Base64Lines(std::size_t bytes, unsigned seed) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string r;
  r.reserve(bytes + bytes / 76 * 2);
  std::size_t col = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    seed = seed * 1103515245u + 12345u;
    r.push_back(a[(seed >> 16) & 63]);
    if (++col == 76) {
      r.append("\r\n");
      col = 0;
    }
  }
  return r;
}

std::string QpText(std::size_t bytes) {
  static const char* words[] = {"Hello", "offer", "gr=FC=DFe", "today", "click", "the",
                                "and",   "you",   "price",     "only",  "free",  "best"};
  std::string r;
  unsigned seed = 7;
  std::size_t col = 0;
  while (r.size() < bytes) {
    seed = seed * 1103515245u + 12345u;
    unsigned k = (seed >> 16) % 40;
    std::string w;
    if (k == 0) {
      w = "http://www.shop" + std::to_string(seed % 50) + ".example.com/p?id=3D" +
          std::to_string(seed % 1000);
    } else if (k == 1) {
      w = "info" + std::string(1, static_cast<char>('a' + seed % 26)) + "@mail" +
          std::to_string(seed % 30) + ".example.net";
    } else {
      w = words[k % 12];
    }
    r += w;
    r += ' ';
    col += w.size() + 1;
    if (col > 70) {
      r += "=\r\n";
      col = 0;
    }
  }
  return r;
}

// A message of about `size` bytes.
std::string MakeMessage(std::size_t size) {
  std::string h;
  for (int i = 0; i < 6; ++i) {
    h += "Received: from relay" + std::to_string(i) + ".example.org (relay" + std::to_string(i) +
         ".example.org [192.0.2." + std::to_string(10 + i) + "])\r\n\tby mx" +
         std::to_string(i) + ".example.net (Postfix) with ESMTP id ABC" + std::to_string(i) +
         "\r\n\tfor <user@example.net>; Mon, 1 Jan 2007 10:0" + std::to_string(i) +
         ":00 +0100\r\n";
  }
  h += "From: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <juergen@example.org>\r\n";
  h += "To: \"Doe, John\" <john@example.net>, jane@example.net, =?utf-8?B?QsO2Yg==?= "
       "<bob@example.com>\r\n";
  h += "CC: team@example.net\r\n";
  h += "Subject: =?iso-8859-1?Q?Gro=DFe_Angebote?= =?iso-8859-1?B?Zvxy?= heute\r\n";
  h += "Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n";
  h += "Message-Id: <1234567890@example.org>\r\nX-Mailer: Example Mailer 1.0\r\n";
  h += "X-Priority: 3 (Normal)\r\nMIME-Version: 1.0\r\n";
  h += "Content-Type: multipart/mixed;\r\n\tboundary=\"----=_outer_001\"\r\n\r\n";

  const std::size_t textSize = std::min<std::size_t>(size / 3, 60000);
  std::string body = "This is a multi-part message in MIME format.\r\n\r\n";
  body += "------=_outer_001\r\nContent-Type: multipart/alternative; boundary=\"inner\"\r\n\r\n";
  body += "--inner\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n"
          "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
  body += QpText(textSize) + "\r\n";
  body += "--inner\r\nContent-Type: text/html; charset=\"iso-8859-1\"\r\n"
          "Content-Transfer-Encoding: base64\r\n\r\n";
  body += Base64Lines(textSize, 3) + "\r\n--inner--\r\n\r\n";
  std::size_t used = h.size() + body.size() + 200;
  std::size_t attach = size > used ? size - used : 100;
  body += "------=_outer_001\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
          "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment\r\n\r\n";
  body += Base64Lines(attach, 11) + "\r\n------=_outer_001--\r\n";
  return h + body;
}

const std::string& Message(std::int64_t size) {
  static std::string m5 = MakeMessage(5 * 1024);
  static std::string m100 = MakeMessage(100 * 1024);
  static std::string m10m = MakeMessage(10 * 1024 * 1024);
  return size <= 5 * 1024 ? m5 : size <= 100 * 1024 ? m100 : m10m;
}

void BM_Create(benchmark::State& state) {
  const std::string& msg = Message(state.range(0));
  for (auto _ : state) {
    quelta::MessageParser p(msg);
    benchmark::DoNotOptimize(&p);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * msg.size()));
}

void BM_AllFields(benchmark::State& state) {
  const std::string& msg = Message(state.range(0));
  for (auto _ : state) {
    quelta::MessageParser p(msg);
    for (const char* f : kFields) benchmark::DoNotOptimize(p.GetField(f));
    benchmark::DoNotOptimize(p.GetDateField("DATEUTC"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * msg.size()));
}

// The Bayes word table of a message (the tokeniser over its fields).
void BM_Tokenize(benchmark::State& state) {
  const std::string& msg = Message(state.range(0));
  for (auto _ : state) {
    quelta::MessageParser p(msg);
    quelta::WordTable words;
    quelta::TokenizeMessage(p, quelta::TokenizerOptions{}, words);
    benchmark::DoNotOptimize(words.Count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * msg.size()));
}

// A cached field asked again (what the hundredth rule on a field costs).
void BM_CachedField(benchmark::State& state) {
  quelta::MessageParser p(Message(100 * 1024));
  p.GetField("SUBJECT");
  for (auto _ : state) benchmark::DoNotOptimize(p.GetField("SUBJECT"));
}

void RegisterFieldBenchmarks() {
  for (std::int64_t size : {5 * 1024, 100 * 1024, 10 * 1024 * 1024}) {
    for (const char* f : kFields) {
      std::string name = std::string("BM_Field/") + f + "/" + std::to_string(size);
      benchmark::RegisterBenchmark(name.c_str(), [f, size](benchmark::State& state) {
        const std::string& msg = Message(size);
        for (auto _ : state) {
          quelta::MessageParser p(msg);
          benchmark::DoNotOptimize(p.GetField(f));
        }
      })->Unit(benchmark::kMicrosecond);
    }
  }
}

}  // namespace

BENCHMARK(BM_Create)->Arg(5 * 1024)->Arg(100 * 1024)->Arg(10 * 1024 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllFields)->Arg(5 * 1024)->Arg(100 * 1024)->Arg(10 * 1024 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tokenize)->Arg(5 * 1024)->Arg(100 * 1024)->Arg(10 * 1024 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CachedField);

int main(int argc, char** argv) {
  RegisterFieldBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
