#include "lists/angle_index.h"

#include "os/env.h"

namespace quelta {

std::string FoldCase(const std::string& s) { return os::AnsiUpperCase(s); }

bool FoldedContains(const std::string& folded, const std::string& needle) {
  if (needle.empty()) return false;
  return folded.find(FoldCase(needle)) != std::string::npos;
}

void AngleIndex::Assign(const std::string& text) {
  folded_ = FoldCase(text);
  tokens_.clear();
  CollectTokens(folded_, tokens_);
}

void AngleIndex::CollectTokens(const std::string& folded, std::unordered_set<std::string>& out) {
  std::size_t open = std::string::npos;  // position of the "<" that may start a token
  for (std::size_t i = 0; i < folded.size(); ++i) {
    const char c = folded[i];
    if (c == '<') {
      open = i;
    } else if (c == '>') {
      if (open != std::string::npos) out.emplace(folded, open + 1, i - open - 1);
      open = std::string::npos;
    }
  }
}

bool AngleIndex::AngleInner(const std::string& foldedNeedle, std::string& inner) {
  const std::size_t n = foldedNeedle.size();
  if (n < 2 || foldedNeedle[0] != '<' || foldedNeedle[n - 1] != '>') return false;
  if (foldedNeedle.find_first_of("<>", 1) != n - 1) return false;
  inner.assign(foldedNeedle, 1, n - 2);
  return true;
}

bool AngleIndex::Contains(const std::string& needle) const {
  if (needle.empty()) return false;
  const std::string f = FoldCase(needle);
  std::string inner;
  if (AngleInner(f, inner)) return tokens_.count(inner) != 0;
  return folded_.find(f) != std::string::npos;
}

}  // namespace quelta
