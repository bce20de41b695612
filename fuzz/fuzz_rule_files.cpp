// Rule files with includes: the input is "Rules.dat", "a.dat" and "b.dat"
// (cut at "\n--8<--\n"), which may include one another, themselves and
// missing files in any way. Loading must end, and loading the same files
// again must give the same rules.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/log.h"
#include "fuzz_files.h"
#include "rules/rule_store.h"

namespace {

bool Same(const quelta::Rule& a, const quelta::Rule& b) {
  return a.link == b.link && a.field == b.field && a.score == b.score && a.flags == b.flags &&
         a.value == b.value && a.comment == b.comment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts =
      fuzzing::Split(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string main = fuzzing::Put("Rules.dat", parts[0]);
  fuzzing::Put("a.dat", parts[1]);
  fuzzing::Put("b.dat", parts[2]);
  const quelta::RuleFileOptions where{fuzzing::Folder(), fuzzing::Folder()};
  quelta::NullLog log;
  quelta::RuleStore first, second;
  const bool ok = first.LoadFromFile(main, where, log);
  if (second.LoadFromFile(main, where, log) != ok || first.Count() != second.Count()) std::abort();
  for (int i = 0; i < first.Count(); ++i)
    if (!Same(first.At(i), second.At(i))) std::abort();
  return 0;
}
