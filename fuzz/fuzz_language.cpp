// A language file: any bytes load, and looking up every key it names (and
// a missing one) with parameters gives a text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/language.h"
#include "base/strings.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path =
      fuzzing::Put("English.lng", std::string_view(reinterpret_cast<const char*>(data), size));
  quelta::LanguageTable table;
  if (table.Load(path) < 0) std::abort();
  const std::string params = "one\x01two%s1%\x01$%$";
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : quelta::SplitLines(text))
    table.Text(line.substr(0, line.find('=')), "builtin %s1%", params);
  // A key holding "=" names no line of any file.
  if (table.Text("Opt|no=key", "builtin %s2%$%$", params) != "builtin two%s1%%") std::abort();
  return 0;
}
