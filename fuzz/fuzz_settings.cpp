// "Quelta.ini" and "Quelta.cfg" as start-up reads them: any bytes load
// (every missing or malformed key takes its default), and the settings and
// statistics saved, loaded and saved again write the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/locations.h"
#include "app/settings.h"
#include "fuzz_files.h"

namespace {

std::string SaveAndRead(const std::string& ini, quelta::Settings& s, quelta::Statistics& t) {
  s.language = "English";  // a text value may lose blanks and quotes per save
  if (!quelta::SaveSettings(ini, s) || !quelta::SaveStatistics(ini, t)) std::abort();
  std::string bytes;
  quelta::os::ReadFile(ini, bytes);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  fuzzing::Put("Quelta.cfg", in);
  quelta::Locations where;
  quelta::LoadLocations(fuzzing::Folder(), where);

  const std::string ini = fuzzing::Put("Quelta.ini", in);
  constexpr double kNow = 45000.5;
  quelta::Settings s;
  quelta::Statistics t;
  if (!quelta::LoadSettings(ini, 99, kNow, s) || !quelta::LoadStatistics(ini, t)) std::abort();
  const std::string once = SaveAndRead(ini, s, t);
  quelta::Settings s2;
  quelta::Statistics t2;
  if (!quelta::LoadSettings(ini, 99, kNow, s2) || !quelta::LoadStatistics(ini, t2)) std::abort();
  if (SaveAndRead(ini, s2, t2) != once) std::abort();
  return 0;
}
