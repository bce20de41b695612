// The easy-mode files: "EasyMode.rdb", "EasyRules.dat", "EasyAddrBooks.dat",
// "EasyDNSBL.dat" and "EasyURLBL.dat" (the input cut in five), with every
// switch on. Generation must end and add only rules the store accepts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/log.h"
#include "fuzz_files.h"
#include "rules/easy_mode.h"
#include "rules/rule_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts =
      fuzzing::Split(std::string_view(reinterpret_cast<const char*>(data), size), 5);
  const char* const names[] = {"EasyMode.rdb", "EasyRules.dat", "EasyAddrBooks.dat",
                               "EasyDNSBL.dat", "EasyURLBL.dat"};
  for (int i = 0; i < 5; ++i) fuzzing::Put(names[i], parts[static_cast<std::size_t>(i)]);

  quelta::EasyModeOptions o;
  o.folder = fuzzing::Folder();
  o.ruleTable = true;
  o.bayesIsScoreCheck = true;
  quelta::RuleStore rules;
  quelta::NullLog log;
  const int n = quelta::GenerateEasyRules(rules, o, {fuzzing::Folder(), fuzzing::Folder()}, log);
  if (n != rules.Count()) std::abort();
  return 0;
}
