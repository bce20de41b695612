// quelta: the command-line host. It loads Quelta.tbp and drives it exactly
// as the mail client does (TBP_Initialize, per message the data-request
// callback, TBP_Finalize). It is the Linux users' spam filter: it scores
// files, folders, Maildirs and mbox files, passes a message through with
// verdict fields for a delivery chain, trains, evaluates a profile on a
// corpus and creates profiles; and it is the developers' stand-in for the
// mail client.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "bayes_tools.h"
#include "evaluation.h"
#include "help_text.h"
#include "json.h"
#include "lint.h"
#include "mailbox.h"
#include "os/env.h"
#include "pass_through.h"
#include "profile.h"
#include "session.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#ifndef QUELTA_FILE_VERSION
#define QUELTA_FILE_VERSION "unknown"
#endif

namespace fs = std::filesystem;
using namespace quelta_host;

namespace {

// ---- The command line ---------------------------------------------------------

enum Command : unsigned {
  kNone = 0,
  kScore = 1,
  kFilter = 2,
  kTrain = 4,
  kEvaluate = 8,
  kInit = 16,
  kInfo = 32,
  kMacro = 64,
  kSetup = 128,
  kHelpCmd = 256,
  kLint = 512,
  kDb = 1024,
};

struct CommandName {
  const char* name;
  Command command;
};
const CommandName kCommands[] = {{"score", kScore},   {"filter", kFilter}, {"train", kTrain},
                                 {"evaluate", kEvaluate}, {"init", kInit}, {"info", kInfo},
                                 {"macro", kMacro},   {"setup", kSetup},   {"help", kHelpCmd},
                                 {"lint", kLint},     {"db", kDb}};

struct Cli {
  Command command = kNone;
  std::string commandName;
  PlaceOptions places;
  bool hasThreshold = false;
  int threshold = 99;
  bool progress = true, help = false, version = false;
  bool pass = false, noLearn = false, explain = false, json = false, recursive = false;
  bool rulesHeader = false, exitZero = false, spam = false, ham = false, list = false, html = false;
  std::vector<std::string> spamPaths, hamPaths;
  double trainFraction = 0.5;
  std::string report = "quelta-report.html";
  std::vector<std::string> operands;
};

// An option: its names, whether it takes a value, the commands it belongs
// to (0: every command) and what it sets.
struct OptionDef {
  const char* name;
  char shortName;
  bool takesValue;
  unsigned commands;
  bool (*apply)(Cli&, const std::string& value, std::string& error);
};

bool ParseInt(const std::string& s, int& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno != 0 || v < -2147483647L - 1 || v > 2147483647L) return false;
  out = static_cast<int>(v);
  return true;
}

const OptionDef kOptions[] = {
    {"--plugin-dir", 0, true, 0, [](Cli& c, const std::string& v, std::string&) { c.places.pluginDir = v; return true; }},
    {"--profile", 0, true, 0, [](Cli& c, const std::string& v, std::string&) { c.places.profile = v; return true; }},
    {"--host-dir", 0, true, 0, [](Cli& c, const std::string& v, std::string&) { c.places.hostDir = v; return true; }},
    {"--threshold", 0, true, 0,
     [](Cli& c, const std::string& v, std::string& e) {
       c.hasThreshold = ParseInt(v, c.threshold);
       if (!c.hasThreshold) e = "--threshold needs a whole number, not '" + v + "'";
       return c.hasThreshold;
     }},
    {"--no-progress", 0, false, 0, [](Cli& c, const std::string&, std::string&) { c.progress = false; return true; }},
    {"--help", 'h', false, 0, [](Cli& c, const std::string&, std::string&) { c.help = true; return true; }},
    {"--version", 0, false, 0, [](Cli& c, const std::string&, std::string&) { c.version = true; return true; }},
    {"--recursive", 'r', false, kScore | kTrain | kEvaluate,
     [](Cli& c, const std::string&, std::string&) { c.recursive = true; return true; }},
    {"--explain", 'v', false, kScore, [](Cli& c, const std::string&, std::string&) { c.explain = true; return true; }},
    {"--json", 0, false, kScore, [](Cli& c, const std::string&, std::string&) { c.json = true; return true; }},
    {"--no-learn", 0, false, kScore | kFilter,
     [](Cli& c, const std::string&, std::string&) { c.noLearn = true; return true; }},
    {"--pass", 0, false, kScore, [](Cli& c, const std::string&, std::string&) { c.pass = true; return true; }},
    {"--rules-header", 0, false, kScore | kFilter,
     [](Cli& c, const std::string&, std::string&) { c.rulesHeader = true; return true; }},
    {"--exit-zero", 0, false, kScore | kFilter,
     [](Cli& c, const std::string&, std::string&) { c.exitZero = true; return true; }},
    {"--spam", 0, false, kTrain, [](Cli& c, const std::string&, std::string&) { c.spam = true; return true; }},
    {"--ham", 0, false, kTrain, [](Cli& c, const std::string&, std::string&) { c.ham = true; return true; }},
    {"--spam", 0, true, kEvaluate,
     [](Cli& c, const std::string& v, std::string&) { c.spamPaths.push_back(v); return true; }},
    {"--ham", 0, true, kEvaluate,
     [](Cli& c, const std::string& v, std::string&) { c.hamPaths.push_back(v); return true; }},
    {"--train-fraction", 0, true, kEvaluate,
     [](Cli& c, const std::string& v, std::string& e) {
       char* end = nullptr;
       c.trainFraction = std::strtod(v.c_str(), &end);
       if (v.empty() || *end != '\0' || !(c.trainFraction > 0 && c.trainFraction < 1)) {
         e = "--train-fraction needs a number between 0 and 1, not '" + v + "'";
         return false;
       }
       return true;
     }},
    {"--report", 0, true, kEvaluate, [](Cli& c, const std::string& v, std::string&) { c.report = v; return true; }},
    {"--list", 0, false, kMacro, [](Cli& c, const std::string&, std::string&) { c.list = true; return true; }},
    {"--html", 0, false, kInfo, [](Cli& c, const std::string&, std::string&) { c.html = true; return true; }},
};

int UsageError(const std::string& message) {
  std::cerr << "quelta: " << message << "\n" << kUsageLine;
  return 2;
}

// Reads the command line. Returns -1 to go on, else the exit status.
int ParseCommandLine(int argc, char** argv, Cli& cli) {
  bool namesOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (namesOnly || arg == "-" || arg.empty() || arg[0] != '-') {
      if (cli.command != kNone) {
        cli.operands.push_back(arg);
        continue;
      }
      for (const auto& c : kCommands)
        if (arg == c.name) cli.command = c.command;
      if (cli.command == kNone) return UsageError("unknown command '" + EscapeName(arg) + "'");
      cli.commandName = arg;
      continue;
    }
    if (arg == "--") {
      namesOnly = true;
      continue;
    }
    std::string name = arg, value;
    bool hasValue = false;
    const std::size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    const OptionDef* def = nullptr;
    bool elsewhere = false;
    for (const auto& o : kOptions) {
      const bool named = name == o.name || (o.shortName && name.size() == 2 && name[1] == o.shortName);
      if (!named) continue;
      if (o.commands == 0 || (o.commands & cli.command)) {
        def = &o;
        break;
      }
      elsewhere = true;
    }
    if (!def) {
      if (!elsewhere) return UsageError("unknown option '" + EscapeName(arg) + "'");
      return UsageError(cli.command == kNone
                            ? "option " + name + " must follow the command it belongs to"
                            : "option " + name + " does not apply to '" + cli.commandName + "'");
    }
    if (def->takesValue && !hasValue) {
      if (i + 1 >= argc) return UsageError(name + " needs a value");
      value = argv[++i];
    } else if (!def->takesValue && hasValue) {
      return UsageError(name + " takes no value");
    }
    std::string error;
    if (!def->apply(cli, value, error)) return UsageError(error);
  }
  return -1;
}

int Help(const std::string& command) {
  if (command.empty()) {
    std::cout << kHelp;
    return 0;
  }
  for (const auto& h : kCommandHelp)
    if (command == h.name) {
      std::cout << h.text;
      return 0;
    }
  return UsageError("no command '" + EscapeName(command) + "'");
}

// ---- Output -----------------------------------------------------------------

// Result lines on standard output and notes on standard error, with a
// progress bar on standard error that is cleared before any other line is
// written, so the two never mix on a terminal.
class Console {
 public:
  void StartProgress(std::size_t total, bool enabled) {
    total_ = total;
    enabled_ = enabled && total > 1 && IsTerminal(2);
  }
  void Out(const std::string& text) {
    Clear();
    std::cout << text;
    if (enabled_) std::cout.flush();
    Draw();
  }
  void Err(const std::string& text) {
    Clear();
    std::cout.flush();
    std::cerr << text << "\n";
    Draw();
  }
  void Step() {
    ++done_;
    Draw();
  }
  void Finish() {
    Clear();
    enabled_ = false;
    std::cout.flush();
  }

 private:
  void Clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }
  void Draw() {
    if (!enabled_ || done_ == 0) return;
    const std::size_t width = 40, filled = width * done_ / total_;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done_, total_);
    std::fflush(stderr);
    drawn_ = true;
  }
  std::size_t total_ = 0, done_ = 0;
  bool enabled_ = false, drawn_ = false;
};

Console console;

void Note(const std::string& text) { console.Err("quelta: " + text); }

// Line ends for the terminal: the plug-in's CR LF become LF outside Windows.
std::string LocalLines(const std::string& text) {
#if defined(_WIN32)
  return text;
#else
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
#endif
}

bool ReadStream(std::istream& in, std::string& out) {
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return !in.bad();
}

bool ReadInput(const std::string& name, std::string& out) {
  if (name == "-") {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);  // no CR LF translation, no end at Ctrl-Z
#endif
    return ReadStream(std::cin, out);
  }
  return quelta::os::ReadFile(name, out);
}

// One message of an input, with the name it is printed under.
struct Named {
  std::string name;  // escaped, FILE or FILE:N
  std::string text;
  int index = 0;  // position in an mbox, from 1; 0 for a single message
  std::string file;
};

// The messages of one input file: an mbox gives each of its messages.
std::vector<Named> MessagesOf(const std::string& file, std::string& data) {
  std::vector<Named> out;
  const std::string name = EscapeName(file);
  if (!IsMbox(data)) {
    out.push_back({name, std::move(data), 0, file});
    return out;
  }
  int i = 0;
  for (auto& m : SplitMbox(data)) {
    ++i;
    out.push_back({name + ":" + std::to_string(i), std::move(m), i, file});
  }
  return out;
}

// The files the operands name ('-' stays itself). Errors are noted and
// counted in `errors`.
std::vector<std::string> Inputs(const std::vector<std::string>& operands, bool recursive, int& errors) {
  std::vector<std::string> files;
  for (const auto& op : operands) {
    if (op == "-") {
      files.push_back(op);
      continue;
    }
    std::string error;
    if (!CollectMessageFiles(op, recursive, files, error)) {
      Note(error);
      ++errors;
    }
  }
  return files;
}

// ---- Running the plug-in --------------------------------------------------------

// The places, the environment for the plug-in, the lock and the session,
// ready for messages.
struct Run {
  Places places;
  ScratchFolder scratch;  // the threshold's host folder
  ProfileLock lock;
  Session session{[](const std::string& line) { console.Err(line); }};
  int threshold = 99;
};

// Sets up and starts the plug-in. False (with a note) on failure.
bool Start(const Cli& cli, Run& run, const std::string& profileOverride = std::string()) {
  std::string error;
  // Before the places: a log location may name the variable.
  if (cli.noLearn) SetEnv("QUELTA_NO_LEARN", "1");
  PlaceOptions po = cli.places;
  if (!profileOverride.empty()) po.profile = profileOverride;
  if (!ResolvePlaces(po, run.places, error)) {
    Note(error);
    return false;
  }
#if !defined(_WIN32)
  if (cli.hasThreshold) {
    if (!run.scratch.Create(error) ||
        !MakeThresholdFolder(run.places.hostDir, cli.threshold, run.scratch.Path(), error)) {
      Note(error);
      return false;
    }
    run.places.hostDir = run.scratch.Path();
  }
#endif
  ExportPlaces(run.places);
  if (!run.lock.Acquire(run.places.profile, error)) {
    Note(error);
    return false;
  }
  if (!run.session.Open(run.places.pluginFile, run.places.logFile, error)) {
    Note("cannot load " + run.places.pluginFile + ": " + error);
    return false;
  }
  run.threshold = run.session.Threshold();
  if (cli.hasThreshold) run.threshold = cli.threshold;  // Windows: the host's verdict only
  return true;
}

// Shuts the plug-in down; false (with a note) when saving failed.
bool Stop(Run& run) {
  if (run.session.Close()) return true;
  Note("the plug-in could not save its data (see the ERROR lines above)");
  return false;
}

std::string Verdict(int score, int threshold) { return score > threshold ? "SPAM" : "HAM"; }

std::string JsonLine(const Named& m, const ScoreResult& r, int threshold, bool withReport) {
  std::string j = "{\"file\":" + JsonString(m.file, TextKind::FileName);
  if (m.index > 0) j += ",\"message\":" + std::to_string(m.index);
  j += ",\"score\":" + std::to_string(r.score) + ",\"verdict\":\"" +
       (r.score > threshold ? "spam" : "ham") + "\",\"threshold\":" + std::to_string(threshold) +
       ",\"rules\":[";
  for (std::size_t i = 0; i < r.matches.size(); ++i) {
    const RuleMatch& x = r.matches[i];
    j += std::string(i ? "," : "") + "{\"kind\":" + JsonString(x.kind, TextKind::Ansi) +
         ",\"field\":" + JsonString(x.field, TextKind::Ansi) +
         ",\"comment\":" + JsonString(x.comment, TextKind::Ansi) +
         ",\"score\":" + std::to_string(x.score) + "}";
  }
  j += "]";
  if (withReport) {
    j += ",\"report\":[";
    for (std::size_t i = 0; i < r.block.size(); ++i)
      j += std::string(i ? "," : "") + JsonString(r.block[i], TextKind::Ansi);
    j += "]";
  }
  return j + "}\n";
}

// The report block as printed by --explain: the log's lines with the file
// the message came from added after the header fields.
std::string Explanation(const Named& m, const ScoreResult& r, const std::string& logFile) {
  if (r.block.empty()) return "(no report: nothing was logged to " + EscapeName(logFile) + ")\n\n";
  std::string out;
  bool fileShown = false;
  for (const auto& line : r.block) {
    const bool headerField = line.compare(0, 8, "Subject:") == 0 || line.compare(0, 7, "Sender:") == 0 ||
                             line.compare(0, 5, "Date:") == 0 || line.compare(0, 7, "Msg-Id:") == 0 ||
                             line.compare(0, 21, "=== BEGIN MESSAGE at ") == 0;
    if (!headerField && !fileShown) {
      out += "File:\t" + m.name + "\n";
      fileShown = true;
    }
    out += line + "\n";
  }
  if (!fileShown) out += "File:\t" + m.name + "\n";
  return out + "\n";
}

// ---- Commands -------------------------------------------------------------------

bool WriteMessage(const std::string& message) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::cout.write(message.data(), static_cast<std::streamsize>(message.size()));
  std::cout.flush();
  if (std::cout) return true;
  Note("cannot write the message to standard output");
  return false;
}

int Filter(const Cli& cli) {
  if (cli.operands.size() > 1) return UsageError("filter takes one message");
  const std::string input = cli.operands.empty() ? "-" : cli.operands[0];
  std::string message;
  if (!ReadInput(input, message)) {
    Note("cannot read " + EscapeName(input));
    return 2;
  }
  if (cli.explain || cli.json || cli.recursive) {
    WriteMessage(message);
    return UsageError("--pass takes no --explain, --json or -r");
  }
  std::string out = message;
  int rc = 2;
  {
    Run run;
    if (Start(cli, run)) {
      const ScoreResult r = run.session.Score(WithoutEnvelopeLine(message));
      const bool spam = r.score > run.threshold;
      std::vector<std::string> fields = {
          "X-Quelta-Score: " + std::to_string(r.score),
          std::string("X-Quelta-Status: ") + (spam ? "Spam" : "Ham") +
              ", threshold=" + std::to_string(run.threshold)};
      if (cli.rulesHeader) {
        std::vector<std::string> items;
        for (const auto& m : r.matches)
          items.push_back(m.field + "=" + std::to_string(m.score) +
                          (m.comment.empty() ? "" : " (" + m.comment + ")"));
        if (items.empty()) items.push_back("none");
        fields.push_back(FoldedField("X-Quelta-Rules", items, LineEndOf(message)));
      }
      if (!run.session.RulesLoaded()) Note("the plug-in's rule sets failed to load");
      const bool saved = Stop(run);
      if (saved && run.session.RulesLoaded()) {
        out = WithFields(message, fields);
        rc = spam && !cli.exitZero ? 1 : 0;
      }
    }
  }
  return WriteMessage(out) ? rc : 2;
}

int ScoreOrTrain(const Cli& cli) {
  const bool train = cli.command == kTrain;
  if (train && cli.spam == cli.ham) return UsageError("train needs --spam or --ham");
  if (cli.operands.empty()) return UsageError(cli.commandName + " needs FILE, DIR or -");
  if (cli.pass) return Filter(cli);
  if (!train && (cli.rulesHeader || cli.exitZero)) return UsageError("--rules-header and --exit-zero need --pass");
  int errors = 0;
  bool anySpam = false;
  const std::vector<std::string> files = Inputs(cli.operands, cli.recursive, errors);
  Run run;
  if (!Start(cli, run)) return 2;
  if (!run.session.RulesLoaded()) {
    Note("the plug-in's rule sets failed to load");
    ++errors;
  }
  console.StartProgress(files.size(), cli.progress);
  for (const auto& file : files) {
    std::string data;
    if (!ReadInput(file, data)) {
      Note("cannot read " + EscapeName(file));
      ++errors;
      console.Step();
      continue;
    }
    for (const Named& m : MessagesOf(file, data)) {
      if (train) {
        run.session.Train(m.text, cli.spam);
        console.Out(std::string(cli.spam ? "spam" : "ham") + "\t" + m.name + "\n");
        continue;
      }
      const ScoreResult r = run.session.Score(m.text);
      anySpam |= r.score > run.threshold;
      if (cli.json) {
        console.Out(JsonLine(m, r, run.threshold, cli.explain));
      } else {
        std::string text = std::to_string(r.score) + "\t" + Verdict(r.score, run.threshold) + "\t" + m.name + "\n";
        if (cli.explain) text += Explanation(m, r, run.places.logFile);
        console.Out(text);
      }
    }
    console.Step();
  }
  console.Finish();
  if (!Stop(run)) ++errors;
  return errors ? 2 : anySpam ? 1 : 0;
}

bool SkipForEvaluation(const std::string& rel) {
  return rel == "Bayes.wdb" || rel == "Bayes.udb" || rel.compare(0, 5, "Logs/") == 0;
}

int Evaluate(const Cli& cli) {
  if (cli.spamPaths.empty() || cli.hamPaths.empty()) return UsageError("evaluate needs --spam PATH and --ham PATH");
  if (!cli.operands.empty()) return UsageError("evaluate takes its corpus by --spam and --ham");
  int errors = 0;
  struct Labelled {
    Named message;
    bool spam;
  };
  std::vector<Labelled> train, test;
  for (int k = 0; k < 2; ++k) {
    const bool spam = k == 0;
    std::size_t i = 0;
    for (const auto& file : Inputs(spam ? cli.spamPaths : cli.hamPaths, cli.recursive, errors)) {
      std::string data;
      if (!ReadInput(file, data)) {
        Note("cannot read " + EscapeName(file));
        ++errors;
        continue;
      }
      for (auto& m : MessagesOf(file, data)) (TrainsAt(i++, cli.trainFraction) ? train : test).push_back({std::move(m), spam});
    }
  }
  if (errors) return 2;
  Places source;
  std::string error;
  if (!ResolvePlaces(cli.places, source, error) || !LocationsInside(source.profile, error)) {
    Note(error);
    return 2;
  }
  ScratchFolder scratch;
  CopyCounts counts;
  if (!scratch.Create(error) || !CopyTreeKeeping(source.profile, scratch.Path(), &SkipForEvaluation, counts, error)) {
    Note(error);
    return 2;
  }
  fs::create_directories(scratch.Path() + "/Logs");
  Cli scoring = cli;
  scoring.noLearn = true;
  EvalInput in;
  in.trainFraction = cli.trainFraction;
  {
    Run run;
    if (!Start(scoring, run, scratch.Path())) return 2;
    console.StartProgress(train.size() + test.size(), cli.progress);
    for (const auto& t : train) {
      run.session.Train(t.message.text, t.spam);
      ++(t.spam ? in.trainedSpam : in.trainedHam);
      console.Step();
    }
    for (const auto& t : test) {
      in.scored.push_back({t.message.name, run.session.Score(t.message.text).score, t.spam});
      console.Step();
    }
    console.Finish();
    in.threshold = run.threshold;
    run.session.Close();
  }
  std::cout << EvaluationTable(in);
  std::ofstream report(cli.report, std::ios::binary);
  report << EvaluationHtml(in);
  if (!report.flush()) {
    Note("cannot write " + cli.report);
    return 2;
  }
  std::cout << "Report: " << cli.report << "\n";
  return 0;
}

int Init(const Cli& cli) {
#if defined(_WIN32)
  (void)cli;
  return UsageError("init needs a POSIX build");
#else
  if (cli.operands.size() > 1) return UsageError("init takes one folder");
  const std::string dir = cli.operands.empty() ? DefaultUserProfile() : cli.operands[0];
  const std::string source = DefaultProfileSource();
  if (source.empty()) {
    Note("the default profile is not installed");
    return 2;
  }
  CopyCounts counts;
  std::string error;
  if (!CopyTreeKeeping(source, dir, nullptr, counts, error)) {
    Note(error);
    return 2;
  }
  std::cout << "Profile " << EscapeName(dir) << ": " << counts.copied << " files created, " << counts.kept
            << " kept as they were.\n";
  if (!cli.operands.empty())
    std::cout << "Use it with --profile " << EscapeName(dir) << " or QUELTA_PROFILE=" << EscapeName(dir) << ".\n";
  return 0;
#endif
}

int Lint(const Cli& cli) {
  if (!cli.operands.empty()) return UsageError("lint takes no names");
  Places places;
  std::string error;
  LintReport report;
  if (!ResolvePlaces(cli.places, places, error) || !LintProfile(places.profile, report, error)) {
    Note(error);
    return 2;
  }
  for (const LintFinding& f : report.findings) std::cout << FormatFinding(f) << "\n";
  std::cout.flush();
  const std::size_t n = report.findings.size();
  Note(std::to_string(report.rules) + " rules from " + std::to_string(report.files) +
       (report.files == 1 ? " file, " : " files, ") +
       (n == 0 ? std::string("no problems found")
               : std::to_string(n) + (n == 1 ? " problem" : " problems")));
  return n == 0 ? 0 : 1;
}

std::string Size(const BayesFile& f, const char* absent) {
  return f.present ? std::to_string(f.data.size()) + " bytes" : absent;
}

int Db(const Cli& cli) {
  const std::string sub = cli.operands.empty() ? std::string() : cli.operands[0];
  const bool withFile = sub == "backup" || sub == "restore";
  if (!(withFile || sub == "stats" || sub == "check") || cli.operands.size() != (withFile ? 2u : 1u))
    return UsageError("db needs stats, check, backup FILE or restore FILE");
  Places places;
  ProfileLock lock;
  BayesPair pair;
  std::string error;
  if (!ResolvePlaces(cli.places, places, error) || !lock.Acquire(places.profile, error) ||
      !ReadBayesPair(places.profile, pair, error)) {
    Note(error);
    return 2;
  }
  if (sub == "stats") {
    std::cout << BayesStatsText(pair);
    return 0;
  }
  if (sub == "check") {
    const std::vector<std::string> findings = CheckBayesPair(pair);
    for (const auto& f : findings) std::cout << f << "\n";
    std::cout.flush();
    if (findings.empty()) Note("the Bayes databases hold nothing impossible");
    return findings.empty() ? 0 : 1;
  }
  const std::string& file = cli.operands[1];
  const std::string name = EscapeName(file);
  if (sub == "backup") {
    if (!WriteBackupFile(file, pair)) {
      Note("cannot write " + name);
      return 2;
    }
    std::cout << "Backup " << name << ": Bayes.wdb " << Size(pair.words, "not present")
              << ", Bayes.udb " << Size(pair.undo, "not present") << ".\n";
    return 0;
  }
  std::string image;
  BayesPair contents;
  if (!ReadInput(file, image)) {
    Note("cannot read " + name);
    return 2;
  }
  if (!ReadBackup(image, contents, error)) {
    Note(name + ": " + error + "; nothing was restored");
    return 2;
  }
  if (!RestorePair(pair, contents, error)) {
    Note(error);
    return 2;
  }
  std::cout << "Restored from " << name << ": " << pair.words.path << " ("
            << Size(contents.words, "removed") << "), " << pair.undo.path << " ("
            << Size(contents.undo, "removed") << ").\n";
  return 0;
}

int PluginCommand(const Cli& cli) {
  if (cli.command == kMacro && (cli.list ? !cli.operands.empty() : cli.operands.size() != 1))
    return UsageError("macro needs one NAME, or --list");
  if (cli.command != kMacro && !cli.operands.empty()) return UsageError(cli.commandName + " takes no names");
  Run run;
  if (!Start(cli, run)) return 2;
  int rc = 0;
  if (cli.command == kInfo && cli.html) {
    std::cout << run.session.InfoPage() << "\n";
  } else if (cli.command == kInfo) {
    std::cout << run.session.Name() << " " << run.session.Version() << "\n"
              << "plug-in:     " << run.places.pluginFile << "\n"
              << "profile:     " << run.places.profile << "\n"
              << "host folder: " << run.places.hostDir << "\n"
              << "log:         " << run.places.logFile << "\n"
              << "threshold:   " << run.threshold << "\n";
  } else if (cli.command == kSetup) {
    run.session.Setup();
  } else if (cli.list) {
    std::cout << LocalLines(run.session.MacroList());
  } else {
    std::string text;
    if (run.session.Macro(cli.operands[0], text)) {
      std::cout << LocalLines(text) << "\n";
    } else {
      Note("no macro named '" + EscapeName(cli.operands[0]) + "'");
      rc = 2;
    }
  }
  std::cout.flush();
  if (!Stop(run)) rc = 2;
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  Cli cli;
  const int parsed = ParseCommandLine(argc, argv, cli);
  if (parsed >= 0) {
    // A filter with a wrong option still lets the message through.
    if ((cli.command == kFilter || cli.pass) && cli.operands.empty()) {
      std::string message;
      if (ReadInput("-", message)) WriteMessage(message);
    }
    return parsed;
  }
  if (cli.version) {
    std::cout << "quelta " << QUELTA_FILE_VERSION << "\n";
    return 0;
  }
  if (cli.command == kHelpCmd) {
    if (cli.operands.size() > 1) return UsageError("help takes one command");
    return Help(cli.operands.empty() ? std::string() : cli.operands[0]);
  }
  if (cli.help) return Help(cli.commandName);
  // Batch runs go over many messages with the same large tables: worth
  // huge pages (a new start of the program, once, where that is possible).
  if (cli.command == kScore || cli.command == kTrain || cli.command == kEvaluate) quelta::os::UseHugePagesForHeap(argv);
  switch (cli.command) {
    case kNone: return UsageError("no command given");
    case kScore:
    case kTrain: return ScoreOrTrain(cli);
    case kFilter: return Filter(cli);
    case kEvaluate: return Evaluate(cli);
    case kInit: return Init(cli);
    case kLint: return Lint(cli);
    case kDb: return Db(cli);
    default: return PluginCommand(cli);
  }
}
