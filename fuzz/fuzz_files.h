// Helpers of the fuzz targets that read files: one scratch folder per
// fuzzing process (removed at exit; in memory where the system offers it,
// so that the flushes of every save cost nothing) and the split of one
// input into the pieces that become several files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "os/env.h"

namespace fuzzing {

// The folder, ending with the separator.
inline const std::string& Folder() {
  static const std::string folder = [] {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = base / ("quelta-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    static struct Remover {
      fs::path dir;
      ~Remover() {
        std::error_code ec;
        fs::remove_all(dir, ec);
      }
    } remover{dir};
    return (dir / "").string();
  }();
  return folder;
}

// Writes name in the folder with exactly these bytes; the full name.
inline std::string Put(const std::string& name, std::string_view bytes) {
  const std::string path = Folder() + name;
  quelta::os::DeleteFile(path);
  quelta::os::AppendFile(path, std::string(bytes));
  return path;
}

// The input cut at every occurrence of the separator line "\n--8<--\n" into
// at most `pieces` parts (the last one takes the rest).
inline std::vector<std::string_view> Split(std::string_view in, std::size_t pieces) {
  static constexpr std::string_view kCut = "\n--8<--\n";
  std::vector<std::string_view> out;
  while (out.size() + 1 < pieces) {
    const std::size_t p = in.find(kCut);
    if (p == std::string_view::npos) break;
    out.push_back(in.substr(0, p));
    in.remove_prefix(p + kCut.size());
  }
  out.push_back(in);
  out.resize(pieces);
  return out;
}

}  // namespace fuzzing
