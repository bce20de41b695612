// rule_patterns: compiles every regular-expression pattern of a rule file
// through the plug-in's regular-expression layer, the way a regular-expression
// rule compiles it.
//
//   rule_patterns --check FILE   one line "FAIL<TAB>index<TAB>message" per rule
//                                line (0-based among the file's rule lines)
//                                whose pattern does not compile
//   rule_patterns --time FILE    the time to compile all distinct patterns
//                                (best of several rounds), with counts
//
// The benchmark scripts use --check to drop what the layer rejects and --time
// to report the compile cost of a rule set.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "regex/regex.h"
#include "rules/rule_store.h"

namespace {

// The rule lines of a file (comments and blank lines left out), parsed.
bool ReadRuleLines(const char* path, std::vector<quelta::Rule>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::string line;
  while (std::getline(f, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    quelta::Rule r;
    if (!quelta::ParseRuleLine(line.substr(start), 100, r)) r.flags = "?";  // kept for its index
    out.push_back(r);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "--check" && std::string(argv[1]) != "--time")) {
    std::fprintf(stderr, "usage: rule_patterns --check|--time RULEFILE\n");
    return 2;
  }
  std::vector<quelta::Rule> rules;
  if (!ReadRuleLines(argv[2], rules)) {
    std::fprintf(stderr, "rule_patterns: cannot read %s\n", argv[2]);
    return 2;
  }
  if (std::string(argv[1]) == "--check") {
    for (std::size_t i = 0; i < rules.size(); ++i) {
      if (rules[i].flags == "?") {
        std::printf("FAIL\t%zu\tnot a valid rule line\n", i);
        continue;
      }
      if (rules[i].flags.empty() || rules[i].flags[0] != 'R') continue;
      try {
        quelta::CreateRegex(rules[i].value);
      } catch (const std::exception& e) {
        std::printf("FAIL\t%zu\t%s\n", i, e.what());
      }
    }
    return 0;
  }

  std::set<std::string> distinct;
  std::size_t regexRules = 0;
  for (const auto& r : rules)
    if (!r.flags.empty() && r.flags[0] == 'R') {
      ++regexRules;
      distinct.insert(r.value);
    }
  const std::vector<std::string> patterns(distinct.begin(), distinct.end());
  double best = 1e300;
  std::size_t failed = 0;
  for (int round = 0; round < 5; ++round) {
    std::vector<quelta::RegexRef> keep;
    keep.reserve(patterns.size());
    failed = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& p : patterns) {
      try {
        keep.push_back(quelta::CreateRegex(p));
      } catch (const std::exception&) {
        ++failed;
      }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, ms);
  }
  std::printf("regex_rules=%zu distinct_patterns=%zu failed=%zu compile_ms=%.1f\n", regexRules,
              patterns.size(), failed, best);
  return 0;
}
