// ScratchDir: a fresh folder for one test, removed with the object, and the
// byte-exact file helpers the tests use to set up and inspect data files.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

namespace testing_support {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline void WriteBytes(const fs::path& p, const std::string& data) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << data;
}

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    root_ = fs::temp_directory_path() /
            ("quelta-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(root_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& Path() const { return root_; }
  // The folder as the plug-in writes folders: ending with the separator.
  std::string Folder() const { return (root_ / "").string(); }
  // Full name of a file (or sub-folder) inside the folder.
  std::string File(const std::string& name) const { return (root_ / name).string(); }
  void Write(const std::string& name, const std::string& data) const { WriteBytes(root_ / name, data); }
  std::string Read(const std::string& name) const { return ReadBytes(root_ / name); }
  bool Exists(const std::string& name) const { return fs::exists(root_ / name); }

 private:
  fs::path root_;
};

}  // namespace testing_support
