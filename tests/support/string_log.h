// StringLog: a log that keeps every entry, for tests that check what a
// layer reported.
#pragma once

#include <string>
#include <vector>

#include "base/log.h"

namespace testing_support {

class StringLog final : public quelta::Log {
 public:
  void Write(const std::string& text) override { entries.push_back(text); }
  // Every entry followed by CR LF, as the filter log would hold them.
  std::string Text() const {
    std::string all;
    for (const std::string& e : entries) all += e + "\r\n";
    return all;
  }
  std::vector<std::string> entries;
};

}  // namespace testing_support
