// quelta lint: the rule sources of a profile read as the plug-in's start-up
// reads them (the white and black lists, then easy mode's generated rules
// with "EasyRules.dat", or "Rules.dat" with its includes), and every problem
// found with its file and line:
// - a rule line the reader rejects, and an easy-mode table row that makes
//   no rule;
// - a regular expression that does not compile (PCRE2's position and
//   reason, as the pattern layer reports them);
// - a field that is neither a data field of the message parser nor a
//   header ("Name:") for S and R rules, or no internal check for I rules; a
//   comparison code that begins with neither I, R nor S; a BayesAutoLearn
//   rule whose value is neither on nor off;
// - an included file that is missing or unreadable, an include loop, too
//   deep a nesting, and comment blocks that swallow the rest of a file;
// - a missing or unreadable list file, and list entries that can never
//   match an address.
// Files are read, never changed. Not thread-safe (it reads the environment
// for folder names).
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

struct LintFinding {
  std::string file;  // relative to the profile when it lies inside it
  int line = 0;      // from 1; 0: the file as a whole
  std::string text;
};

struct LintReport {
  std::vector<LintFinding> findings;  // in file order, then line order
  int rules = 0;                      // rules start-up would load
  int files = 0;                      // files that contributed rules
};

// Lints the profile folder `profile`. False with `error` when its settings
// cannot be read.
bool LintProfile(const std::string& profile, LintReport& report, std::string& error);

// "FILE:LINE: TEXT" ("FILE: TEXT" for line 0).
std::string FormatFinding(const LintFinding& finding);

}  // namespace quelta_host
