// "AutoWL.lst": any bytes load, the file is rewritten in a folder that may
// be written, and every entry's address is found again by the look-up the
// auto-white-list checks use.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_files.h"
#include "lists/auto_white_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path =
      fuzzing::Put("AutoWL.lst", std::string_view(reinterpret_cast<const char*>(data), size));
  quelta::AutoWhiteList list;
  const int n = list.Load(path, 60, 45000.5);
  if (n != list.Count()) std::abort();
  for (const std::string& e : list.Entries()) {
    const std::string address = e.substr(0, e.find('|'));
    if (!address.empty() && !list.Contains(address)) std::abort();
  }
  return 0;
}
