#include "rules/cListText.h"

#include "platform/Env.h"

namespace quelta::listtext {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0, i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text, start, i - start);
      if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < n) lines.emplace_back(text, start, n - start);
  return lines;
}

std::string ReplaceAll(const std::string& s, const std::string& what, const std::string& with) {
  if (what.empty()) return s;
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = s.find(what, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out += with;
    pos = hit + what.size();
  }
  out.append(s, pos, std::string::npos);
  return out;
}

std::string RemoveAll(const std::string& s, const std::string& what) {
  return ReplaceAll(s, what, std::string());
}

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Fold(const std::string& s) { return env::AnsiUpperCase(s); }

bool FoldedContains(const std::string& folded, const std::string& needle) {
  if (needle.empty()) return false;
  return folded.find(Fold(needle)) != std::string::npos;
}

void TAngleIndex::Assign(const std::string& text) {
  folded_ = Fold(text);
  tokens_.clear();
  CollectTokens(folded_, tokens_);
}

void TAngleIndex::Clear() {
  folded_.clear();
  tokens_.clear();
}

void TAngleIndex::CollectTokens(const std::string& folded, std::unordered_set<std::string>& out) {
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

bool TAngleIndex::AngleInner(const std::string& foldedNeedle, std::string& inner) {
  const std::size_t n = foldedNeedle.size();
  if (n < 2 || foldedNeedle[0] != '<' || foldedNeedle[n - 1] != '>') return false;
  if (foldedNeedle.find_first_of("<>", 1) != n - 1) return false;
  inner.assign(foldedNeedle, 1, n - 2);
  return true;
}

bool TAngleIndex::Contains(const std::string& needle) const {
  if (needle.empty()) return false;
  const std::string f = Fold(needle);
  std::string inner;
  if (AngleInner(f, inner)) return tokens_.count(inner) != 0;
  return folded_.find(f) != std::string::npos;
}

}  // namespace quelta::listtext
