// Case-insensitive address look-ups for the known-sender lists: the case
// fold they all share, and an index that answers "does this text contain
// <address>, ignoring case" without rescanning the text.
//
// Promises: nothing here throws except std::bad_alloc; every answer of
// AngleIndex::Contains equals a plain case-folded substring search of the
// indexed text.
#pragma once

#include <string>
#include <unordered_set>

namespace quelta {

// The case fold used for every "ignoring case" test of the lists: the
// system's upper case for the Western code page.
std::string FoldCase(const std::string& s);
// True when folded (already folded) contains needle ignoring case; an empty
// needle is never contained.
bool FoldedContains(const std::string& folded, const std::string& needle);

// A case-folded text plus the set of its angle tokens: every stretch "<",
// bytes other than "<" and ">", ">". A needle of the form "<X>" where X
// holds neither "<" nor ">" occurs in a text exactly when X is the inside of
// one of its angle tokens, so such needles are answered from the set; any
// other needle falls back to a substring search.
class AngleIndex {
 public:
  void Assign(const std::string& text);
  bool Contains(const std::string& needle) const;

  // The inside of every angle token of folded into out.
  static void CollectTokens(const std::string& folded, std::unordered_set<std::string>& out);
  // True when the folded needle is "<X>" with no "<" or ">" in X; X in inner.
  static bool AngleInner(const std::string& foldedNeedle, std::string& inner);

 private:
  std::string folded_;
  std::unordered_set<std::string> tokens_;
};

}  // namespace quelta
