// cListText: small text tools shared by the known-sender units (address
// lists, address books, auto-white-list, easy mode): trimming, line
// splitting, single-pass removal, case folding, and an index that answers
// "does this text contain <address>, ignoring case" without rescanning the
// text.
//
// Promises: nothing here throws except std::bad_alloc; every answer of
// TAngleIndex::Contains equals a plain case-folded substring search of the
// indexed text.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace quelta::listtext {

// Removes every byte <= 0x20 (blanks and control characters) at both ends.
std::string Trim(const std::string& s);
// Splits at CR LF, LF or a lone CR; a final line end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// Every occurrence of `what` removed in one left-to-right pass (text that
// forms a new occurrence after a removal stays).
std::string RemoveAll(const std::string& s, const std::string& what);
// Every occurrence of `what` replaced by `with` in one left-to-right pass.
std::string ReplaceAll(const std::string& s, const std::string& what, const std::string& with);
// ASCII lower case.
std::string AsciiLower(std::string s);
// The case fold used for every "ignoring case" test of these units: the
// system's upper case for the Western code page.
std::string Fold(const std::string& s);
// True when `folded` (already folded) contains `needle` ignoring case; an
// empty needle is never contained.
bool FoldedContains(const std::string& folded, const std::string& needle);

// A case-folded text plus the set of its angle tokens: every stretch "<",
// bytes other than "<" and ">", ">". A needle of the form "<X>" where X
// holds neither "<" nor ">" occurs in a text exactly when X is the inside of
// one of its angle tokens, so such needles are answered from the set; any
// other needle falls back to a substring search.
class TAngleIndex {
 public:
  void Assign(const std::string& text);
  void Clear();
  bool Contains(const std::string& needle) const;
  const std::string& Folded() const { return folded_; }

  // The inside of every angle token of `folded` into `out`.
  static void CollectTokens(const std::string& folded, std::unordered_set<std::string>& out);
  // True when the folded needle is "<X>" with no "<" or ">" in X; X in inner.
  static bool AngleInner(const std::string& foldedNeedle, std::string& inner);

 private:
  std::string folded_;
  std::unordered_set<std::string> tokens_;
};

}  // namespace quelta::listtext
