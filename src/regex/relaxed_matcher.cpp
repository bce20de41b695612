// RelaxedMatcher and RelaxedDfa (see relaxed_matcher.h).
//
// Every pattern becomes positions (Glushkov's construction): one position per
// byte set of the expression; a match moves from a position to one of its
// followers on a byte of the follower's set. A DFA over them is the subset
// construction, restarting every pattern at every byte, made one state and
// one move at a time (PositionDfa).
#include "regex/relaxed_matcher.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "base/inline.h"
#include "regex/mail_bytes.h"

namespace quelta {

namespace {

using Node = RelaxedNode;

// Alternations of byte strings with more byte sets than this are compacted.
constexpr std::size_t kCompactAbove = 6;
// Patterns whose kept form can start at more bytes than this (parts per ten
// thousand of mail text) are not covered.
constexpr long kMaxStartFrequency = 1500;
// A repeat keeps up to this many byte sets in copies (kMaxCopies at least).
constexpr long kMaxCopiedSets = 32;

// The distinct byte sets of positions, each numbered once.
using SetIds = std::unordered_map<std::bitset<256>, std::uint16_t>;

// The number of a byte set in sets (by ids), the set added where new.
std::uint16_t SetIdOf(SetIds& ids, std::vector<std::bitset<256>>& sets, const std::bitset<256>& set) {
  const auto known = ids.emplace(set, static_cast<std::uint16_t>(sets.size()));
  if (known.second) sets.push_back(set);
  return known.first->second;
}

bool Nullable(const Node& n) {
  switch (n.kind) {
    case Node::Kind::Bytes:
      return false;
    case Node::Kind::Sequence:
      return std::all_of(n.children.begin(), n.children.end(), Nullable);
    case Node::Kind::Alternation:
      return n.children.empty() || std::any_of(n.children.begin(), n.children.end(), Nullable);
    case Node::Kind::Repeat:
      return n.min == 0 || n.max == 0 || n.children.empty() || Nullable(n.children[0]);
  }
  return true;
}

// The bytes a match of n can start with.
std::bitset<256> FirstBytes(const Node& n) {
  std::bitset<256> out;
  switch (n.kind) {
    case Node::Kind::Bytes:
      return n.bytes;
    case Node::Kind::Sequence:
      for (const Node& child : n.children) {
        out |= FirstBytes(child);
        if (!Nullable(child)) break;
      }
      return out;
    case Node::Kind::Alternation:
      for (const Node& child : n.children) out |= FirstBytes(child);
      return out;
    case Node::Kind::Repeat:
      return n.max == 0 || n.children.empty() ? out : FirstBytes(n.children[0]);
  }
  return out;
}

// How often a byte of mail is one of these (MailByteFrequency, summed).
long MailFrequency(const std::bitset<256>& bytes) {
  long frequency = 0;
  for (int b = 0; b < 256; ++b)
    if (bytes[static_cast<std::size_t>(b)]) frequency += MailByteFrequency(b);
  return frequency;
}

// Cuts each match of n to a prefix that is still a match of n, where that is
// plain to see: a trailing item that may match the empty string goes, a
// trailing x{m,n} becomes x{m}, and the same within the last item. What is
// left matches a prefix of every match of n and only matches of n, so that
// the matches of both start at the same offsets; they end earlier, by at most
// the bytes returned (0: n is unchanged; SIZE_MAX: no bound). Fewer
// positions stay alive after a match has started, so a DFA of the cut
// pattern needs fewer states.
std::size_t CutTail(Node& n) {
  auto add = [](std::size_t a, std::size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; };
  switch (n.kind) {
    case Node::Kind::Bytes:
      return 0;
    case Node::Kind::Sequence: {
      std::size_t cut = 0;
      while (!n.children.empty() && Nullable(n.children.back())) {
        cut = add(cut, LongestMatch(n.children.back()));
        n.children.pop_back();
      }
      return n.children.empty() ? cut : add(cut, CutTail(n.children.back()));
    }
    case Node::Kind::Alternation: {
      if (Nullable(n)) return 0;  // (only in a sequence, which drops it)
      std::size_t cut = 0;
      for (Node& child : n.children) cut = std::max(cut, CutTail(child));
      return cut;
    }
    case Node::Kind::Repeat: {
      if (Nullable(n)) return 0;
      // x{m,n}: m - 1 copies of x, then x cut.
      const std::size_t one = LongestMatch(n.children[0]);
      std::size_t cut = 0;
      if (n.max < 0) {
        cut = SIZE_MAX;
      } else if (n.max > n.min) {
        const auto more = static_cast<std::size_t>(n.max - n.min);
        cut = one > SIZE_MAX / more ? SIZE_MAX : one * more;
      }
      Node last = n.children[0];
      cut = add(cut, CutTail(last));
      if (n.min == 1) {
        n = std::move(last);
      } else {
        Node sequence;
        sequence.children.push_back(Node::Repeated(std::move(n.children[0]), n.min - 1, n.min - 1));
        sequence.children.push_back(std::move(last));
        n = std::move(sequence);
      }
      return cut;
    }
  }
  return 0;
}

// What the matcher keeps of a top-level sequence: a text in which the
// pattern matches holds a match of any part of it that leaves out items at
// its ends. The items that may match the empty string go at both ends; then
// matches start at the item whose first bytes are rarest in mail, as long as
// kMinKeptItems items (or all) remain.
Node Trimmed(const Node& pattern) {
  if (pattern.kind != Node::Kind::Sequence) return pattern;
  Node out = pattern;
  std::vector<Node>& items = out.children;
  while (!items.empty() && Nullable(items.front())) items.erase(items.begin());
  while (!items.empty() && Nullable(items.back())) items.pop_back();
  std::size_t required = 0;
  for (const Node& item : items) required += Nullable(item) ? 0 : 1;
  std::size_t best = 0, left = required;
  long bestFrequency = -1;
  for (std::size_t k = 0; k < items.size() && left >= std::min(required, RelaxedMatcher::kMinKeptItems); ++k) {
    if (Nullable(items[k])) continue;
    const long frequency = MailFrequency(FirstBytes(items[k]));
    if (bestFrequency < 0 || frequency < bestFrequency) {
      best = k;
      bestFrequency = frequency;
    }
    --left;
  }
  items.erase(items.begin(), items.begin() + static_cast<long>(best));
  return out;
}

// Whether a byte set holds some of the bytes above 0x7F but not all: a DFA
// over such sets needs a class for each part of them.
bool TellsHighBytesApart(const std::bitset<256>& bytes) {
  static const std::bitset<256> kHigh = ~std::bitset<256>() << 0x80;
  const std::bitset<256> high = bytes & kHigh;
  return high.any() && high != kHigh;
}

// Whether a kept pattern's matches start at so many bytes of mail that
// following them costs more than they save.
bool StartsTooOften(const Node& kept) { return MailFrequency(FirstBytes(kept)) > kMaxStartFrequency; }

// A byte string: bytes, or sequences and alternations of byte strings,
// each at least one byte long. columns[k] gets the bytes that can stand at
// offset k of its strings; count: its number of byte sets. False for any
// other node.
bool ByteString(const Node& n, std::size_t offset, std::vector<std::bitset<256>>& columns,
                std::size_t& count, std::size_t& minLength, std::size_t& maxLength) {
  switch (n.kind) {
    case Node::Kind::Bytes:
      if (columns.size() <= offset) columns.resize(offset + 1);
      columns[offset] |= n.bytes;
      count += 1;
      minLength = maxLength = 1;
      return true;
    case Node::Kind::Sequence: {
      if (n.children.empty()) return false;
      // A child after one of varying length may stand at several offsets:
      // such sequences are left alone.
      std::size_t at = offset;
      minLength = maxLength = 0;
      for (const Node& child : n.children) {
        std::size_t lo = 0, hi = 0;
        if (!ByteString(child, at, columns, count, lo, hi)) return false;
        if (lo != hi && &child != &n.children.back()) return false;
        at += lo;
        minLength += lo;
        maxLength += hi;
      }
      return true;
    }
    case Node::Kind::Alternation: {
      if (n.children.empty()) return false;
      minLength = SIZE_MAX;
      maxLength = 0;
      for (const Node& child : n.children) {
        std::size_t lo = 0, hi = 0;
        if (!ByteString(child, offset, columns, count, lo, hi)) return false;
        minLength = std::min(minLength, lo);
        maxLength = std::max(maxLength, hi);
      }
      return true;
    }
    case Node::Kind::Repeat:
      return false;
  }
  return false;
}

// The number of byte sets written in n (each repeat counted once).
std::size_t ByteSets(const Node& n) {
  if (n.kind == Node::Kind::Bytes) return 1;
  std::size_t count = 0;
  for (const Node& child : n.children) count += ByteSets(child);
  return count;
}

// Positions under construction for one pattern.
class Builder {
 public:
  struct Fragment {
    bool nullable = true;
    std::vector<std::uint32_t> first, last;
  };

  explicit Builder(std::size_t limit) : limit_(limit) {}

  bool Overflow() const { return overflow_; }
  const std::vector<std::bitset<256>>& Bytes() const { return bytes_; }
  const std::vector<std::vector<std::uint32_t>>& Follow() const { return follow_; }

  // The positions of n; the followers of each come sorted, each once.
  Fragment Build(const Node& n) {
    Fragment f = Add(n);
    for (std::vector<std::uint32_t>& follow : follow_) {
      std::sort(follow.begin(), follow.end());
      follow.erase(std::unique(follow.begin(), follow.end()), follow.end());
    }
    return f;
  }

 private:
  Fragment Add(const Node& n) {
    Fragment f;
    if (overflow_) return f;
    switch (n.kind) {
      case Node::Kind::Bytes: {
        if (bytes_.size() >= limit_) {
          overflow_ = true;
          return f;
        }
        const auto p = static_cast<std::uint32_t>(bytes_.size());
        bytes_.push_back(n.bytes);
        follow_.emplace_back();
        f.nullable = false;
        f.first = f.last = {p};
        return f;
      }
      case Node::Kind::Sequence:
        for (const Node& child : n.children) f = Then(std::move(f), Add(child));
        return f;
      case Node::Kind::Alternation: {
        // Many alternative byte strings (the spellings of one letter, say)
        // are kept as one byte set per offset; the offsets beyond the
        // shortest string are optional, each only after the one before it.
        std::vector<std::bitset<256>> columns;
        std::size_t count = 0, minLength = 0, maxLength = 0;
        if (ByteString(n, 0, columns, count, minLength, maxLength) && count > kCompactAbove) {
          Node compact;
          for (std::size_t k = columns.size(); k-- > 0;) {
            Node step;
            step.children.push_back(Node::OfBytes(columns[k]));
            if (!compact.children.empty() || compact.kind != Node::Kind::Sequence)
              step.children.push_back(std::move(compact));
            compact = k >= minLength ? Node::Repeated(std::move(step), 0, 1) : std::move(step);
          }
          return Add(compact);
        }
        f.nullable = false;
        for (const Node& child : n.children) {
          Fragment c = Add(child);
          f.nullable = f.nullable || c.nullable;
          f.first.insert(f.first.end(), c.first.begin(), c.first.end());
          f.last.insert(f.last.end(), c.last.begin(), c.last.end());
        }
        if (n.children.empty()) f.nullable = true;
        return f;
      }
      case Node::Kind::Repeat: {
        if (n.max == 0 || n.children.empty()) return f;
        // x{min,max} is kept as min copies and, when more may follow, an
        // open repeat x*. Copies are kept up to kMaxCopies, or up to
        // kMaxCopiedSets byte sets where x is small.
        const long sets = static_cast<long>(std::max<std::size_t>(1, ByteSets(n.children[0])));
        const long copies = std::min(n.min, std::max(RelaxedMatcher::kMaxCopies, kMaxCopiedSets / sets));
        for (long k = 0; k < copies; ++k) f = Then(std::move(f), Add(n.children[0]));
        if (n.max < 0 || n.max > copies) {
          Fragment star = Add(n.children[0]);
          Link(star.last, star.first);
          star.nullable = true;
          f = Then(std::move(f), std::move(star));
        }
        return f;
      }
    }
    return f;
  }

  void Link(const std::vector<std::uint32_t>& from, const std::vector<std::uint32_t>& to) {
    for (std::uint32_t p : from) follow_[p].insert(follow_[p].end(), to.begin(), to.end());
  }

  Fragment Then(Fragment a, Fragment b) {
    Link(a.last, b.first);
    Fragment f;
    f.nullable = a.nullable && b.nullable;
    f.first = std::move(a.first);
    if (a.nullable) f.first.insert(f.first.end(), b.first.begin(), b.first.end());
    f.last = std::move(b.last);
    if (b.nullable) f.last.insert(f.last.end(), a.last.begin(), a.last.end());
    return f;
  }

  std::size_t limit_;
  bool overflow_ = false;
  std::vector<std::bitset<256>> bytes_;
  std::vector<std::vector<std::uint32_t>> follow_;
};

}  // namespace

// ---- Lazy DFAs over positions ------------------------------------------------------

namespace {

// The index of the lowest set bit of a word that is not 0.
inline unsigned LowestBit(std::uint64_t bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(bits));
#else
  unsigned at = 0;
  while (!(bits & 1)) {
    bits >>= 1;
    ++at;
  }
  return at;
#endif
}

// The classes of bytes that no set of sets[s] with used[s] tells apart:
// classOf[c] gets the class of byte c, classes numbered by their smallest
// byte; returns how many there are. A byte's class is the column of its
// memberships across the used sets; a set holding more than half of the
// bytes records the bytes it lacks instead, which tells the same bytes
// apart.
std::size_t ByteClasses(const std::vector<std::bitset<256>>& sets, const std::vector<std::uint8_t>& used,
                        std::vector<std::uint16_t>& classOf) {
  static const std::bitset<256> kLow64(~std::uint64_t{0});
  std::size_t usedCount = 0;
  for (std::uint8_t u : used) usedCount += u;
  const std::size_t words = (usedCount + 63) / 64;
  std::vector<std::uint64_t> column(256 * std::max<std::size_t>(words, 1), 0);
  std::size_t i = 0;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    if (!used[s]) continue;
    const bool few = sets[s].count() <= 128;
    const std::bitset<256> marked = few ? sets[s] : ~sets[s];
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    for (std::size_t w = 0; w < 4; ++w)
      for (std::uint64_t bits = ((marked >> (64 * w)) & kLow64).to_ullong(); bits != 0; bits &= bits - 1)
        column[(64 * w + LowestBit(bits)) * words + i / 64] |= bit;
    ++i;
  }
  // Columns by hash; equal ones share the class of the smallest byte.
  std::vector<std::uint64_t> hash(256);
  for (std::size_t c = 0; c < 256; ++c) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (std::size_t w = 0; w < words; ++w) h = (h ^ column[c * words + w]) * 0xFF51AFD7ED558CCDull;
    hash[c] = h;
  }
  std::vector<std::uint8_t> first;  // the smallest byte of each class so far
  std::size_t count = 0;
  for (std::size_t c = 0; c < 256; ++c) {
    std::size_t k = 0;
    for (; k < count; ++k) {
      const std::size_t b = first[k];
      if (hash[b] == hash[c] &&
          std::equal(column.begin() + static_cast<std::ptrdiff_t>(b * words),
                     column.begin() + static_cast<std::ptrdiff_t>(b * words + words),
                     column.begin() + static_cast<std::ptrdiff_t>(c * words)))
        break;
    }
    if (k == count) {
      first.push_back(static_cast<std::uint8_t>(c));
      ++count;
    }
    classOf[c] = static_cast<std::uint16_t>(k);
  }
  return count;
}

std::uint64_t PositionSetHash(const std::uint32_t* set, std::size_t size) {
  std::uint64_t h = size;
  for (std::size_t i = 0; i < size; ++i) h = h * 0x9E3779B97F4A7C15ull + set[i];
  return h ^ (h >> 29);
}

}  // namespace

// A DFA made lazily from positions (their byte sets, followers, patterns and
// where matches end): each set of positions that a search reaches becomes a
// state once, its move on a class of bytes is worked out once. A search
// restarts every pattern at every byte, unless the DFA is anchored: then
// matches start only where a run starts.
class PositionDfa {
 public:
  static constexpr std::int32_t kUnknown = -1;  // the move is not worked out yet
  static constexpr std::int32_t kFull = -2;     // a limit was reached
  static constexpr std::int32_t kDead = -3;     // anchored: no position is alive
  // A move into a state at which matches end: kMatchedBase - its row.
  static constexpr std::int32_t kMatchedBase = -4;

  struct Limits {
    std::size_t maxStates = 0, maxTableBytes = 0;
    DfaTableBudget* budget = nullptr;  // shared with other DFAs, or null
    bool anchored = false;
    bool timeMoves = false;  // MoveSeconds counts
  };

  // The positions are read, not copied: they must outlive the DFA.
  PositionDfa(const std::vector<std::bitset<256>>& sets, const std::vector<std::uint16_t>& setOf,
              const std::vector<std::uint32_t>& followBegin, const std::vector<std::uint32_t>& follow,
              const std::vector<std::uint32_t>& patternAndLast, const std::vector<std::uint32_t>& first,
              Limits limits)
      : sets_(sets), setOf_(setOf), followBegin_(followBegin), follow_(follow),
        patternAndLast_(patternAndLast), limits_(limits),
        seen_(setOf.size(), 0) {
    // Classes: bytes with the same membership in the set of every position
    // a run can reach (from the first ones, through followers).
    std::vector<std::uint8_t> used(sets.size(), 0);
    {
      std::vector<std::uint32_t> reach(first.begin(), first.end());
      for (std::uint32_t q : reach) seen_[q] = 1;
      for (std::size_t i = 0; i < reach.size(); ++i) {
        const std::uint32_t q = reach[i];
        used[setOf[q]] = 1;
        for (std::uint32_t e = followBegin[q]; e < followBegin[q + 1]; ++e)
          if (!seen_[follow[e]]) {
            seen_[follow[e]] = 1;
            reach.push_back(follow[e]);
          }
      }
      std::fill(seen_.begin(), seen_.end(), 0);
    }
    std::vector<std::uint16_t> classOf(256, 0);
    const std::size_t count = ByteClasses(sets, used, classOf);
    classCount_ = count;
    representative_.assign(count, 0);
    std::vector<std::uint8_t> named(count, 0);
    for (std::size_t c = 0; c < 256; ++c) {
      classOf_[c] = static_cast<std::uint8_t>(classOf[c]);
      if (!named[classOf[c]]) {
        named[classOf[c]] = 1;
        representative_[classOf[c]] = static_cast<std::uint8_t>(c);
      }
    }
    followSet_.reserve(follow.size());
    for (std::uint32_t q : follow) followSet_.push_back(setOf[q]);
    // The first positions that take each class.
    firstBegin_.push_back(0);
    for (std::size_t k = 0; k < count; ++k) {
      for (std::uint32_t q : first)
        if (sets_[setOf_[q]][representative_[k]]) first_.push_back(q);
      firstBegin_.push_back(static_cast<std::uint32_t>(first_.size()));
    }
    Reset();
  }

  ~PositionDfa() {
    GiveBack();
    if (limits_.budget) limits_.budget->GiveBack(listBytes_);
  }
  PositionDfa(const PositionDfa&) = delete;
  PositionDfa& operator=(const PositionDfa&) = delete;

  std::size_t StateCount() const { return setBegin_.size() - 1; }
  // How long the moves worked out so far took (where Limits::timeMoves).
  double MoveSeconds() const { return moveSeconds_; }

  // Forgets every state but the empty one (row 0).
  void Reset() {
    GiveBack();
    stateSets_.clear();
    setBegin_.assign(1, 0);
    hashes_.clear();
    slots_.assign(kFirstSlots, -1);
    moves_.clear();
    matchBegin_.assign(1, 0);
    matches_.clear();
    Intern({});
  }

  // Runs the DFA over text from row 0, forward: onMatched(row) is called at
  // each row at which matches end. 1 when onMatched returned true (the run
  // stops there), 0 at the end of the text, -1 at a limit (kFull).
  template <typename OnMatched>
  int Run(std::string_view text, OnMatched&& onMatched) {
    return RunInParts<false>(text, [&](std::int32_t row, std::size_t) { return onMatched(row); });
  }

  // The same backwards, from the last byte of text to its first:
  // onMatch(i) is called at every offset i at which the run reaches a state
  // where matches end (for the positions of a reversed pattern: where a
  // match of the pattern starts).
  template <typename OnMatch>
  int RunBackward(std::string_view text, OnMatch&& onMatch) {
    return RunInParts<true>(text, [&](std::int32_t, std::size_t i) { return onMatch(i); });
  }

  // RunBackward collecting every offset it reports, ascending and each once,
  // into starts: 0, or -1 at a limit (starts then says nothing). The run
  // reads the bytes from offset from up to offset to, as if the text ended
  // there; at an offset below idleBelow it stops where no position is alive
  // (from <= idleBelow <= to).
  int CollectBackward(std::string_view text, std::vector<std::uint32_t>& starts, std::size_t from = 0,
                      std::size_t to = SIZE_MAX, std::size_t idleBelow = 0) {
    starts.clear();
    to = std::min(to, text.size());
    from = std::min(from, to);
    idleBelow = std::clamp(idleBelow, from, to);
    // The parts report their offsets interleaved, and where parts meet some
    // twice: they are marked in a bit per offset, then read in order.
    marks_.assign((to + 63) / 64, 0);
    auto mark = [&](std::size_t i) { marks_[i / 64] |= std::uint64_t{1} << (i % 64); };
    // In parts down to the first offset at which the run may stop, then
    // byte by byte.
    const std::size_t parted = idleBelow > from ? idleBelow - 1 : from;
    const int result = RunBackward(text.substr(parted, to - parted), [&](std::size_t i) {
      mark(parted + i);
      return false;
    });
    if (result < 0) return result;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::int32_t row = lastRow_;  // after the byte at offset parted
    for (std::size_t i = parted; i > from && row != 0;) {
      --i;
      const std::size_t k = classOf_[p[i]];
      std::int32_t next = moves_[static_cast<std::size_t>(row) + k];
      if (next == kUnknown) next = Move(row, k);
      if (next == kFull) return -1;
      if (next <= kMatchedBase) {
        next = kMatchedBase - next;
        mark(i);
      }
      row = next;
    }
    for (std::size_t w = 0; w < marks_.size(); ++w)
      for (std::uint64_t bits = marks_[w]; bits != 0; bits &= bits - 1)
        starts.push_back(static_cast<std::uint32_t>(w * 64 + LowestBit(bits)));
    return result;
  }

  // An anchored DFA run from offset 0 and from after every LF of text, each
  // run until no position is alive or a match ends: starts gets each offset
  // from which a match runs, ascending (only the first where firstOnly).
  // 0; -1 at a limit (kFull); -2 when the runs took more than maxSteps
  // moves together (starts then says nothing).
  int CollectFromLineStarts(std::string_view text, std::size_t maxSteps, bool firstOnly,
                            std::vector<std::uint32_t>& starts) {
    starts.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t steps = 0;
    // (The empty line after a last LF holds no match: no pattern here
    // matches the empty string.)
    for (std::size_t from = 0; from < n;) {
      // A run stops at the text's end, or where it would make one move more
      // than the runs before it left.
      const std::size_t end = n - from > maxSteps - steps ? from + (maxSteps - steps) : n;
      const std::uint32_t* const* classMoves = ClassMoves();  // as in RunParts
      std::uint32_t row = 0;
      std::size_t i = from;
      for (; i < end; ++i) {
        std::uint32_t to = classMoves[p[i]][row];
        if (to & 0x80000000u) {
          std::int32_t move = static_cast<std::int32_t>(to);
          if (move == kUnknown) {
            move = Move(static_cast<std::int32_t>(row), classOf_[p[i]]);
            classMoves = ClassMoves();  // the moves may have grown
          }
          if (move == kFull) return -1;
          if (move == kDead) break;
          if (move <= kMatchedBase) {
            starts.push_back(static_cast<std::uint32_t>(from));
            if (firstOnly) return 0;
            break;
          }
          to = static_cast<std::uint32_t>(move);
        }
        row = to;
      }
      if (i == end && end < n) return -2;
      steps += i - from + (i < end ? 1 : 0);
      const void* lf = std::memchr(p + from, '\n', n - from);
      if (!lf) break;
      from = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - p) + 1;
    }
    return 0;
  }

  // For each pattern (below patternCount): in how many states it takes part.
  std::vector<std::size_t> PatternPresence(std::size_t patternCount) const {
    std::vector<std::size_t> presence(patternCount, 0);
    for (std::size_t state = 0; state < StateCount(); ++state) {
      std::uint32_t previous = 0xFFFFFFFFu;
      for (std::uint32_t i = setBegin_[state]; i < setBegin_[state + 1]; ++i) {
        const std::uint32_t q = stateSets_[i];  // sorted: one pattern's positions are together
        const std::uint32_t pattern = patternAndLast_[q] >> 1;
        if (pattern != previous && pattern < patternCount) ++presence[pattern];
        previous = pattern;
      }
    }
    return presence;
  }

  // The patterns whose matches end at the state at row.
  template <typename Each>
  void ForEachMatched(std::int32_t row, Each&& each) const {
    const std::size_t s = static_cast<std::size_t>(row) / classCount_;
    for (std::uint32_t k = matchBegin_[s]; k < matchBegin_[s + 1]; ++k) each(matches_[k]);
  }

 private:
  // The row of the state of set, made if new; kFull at a limit.
  std::int32_t Intern(const std::vector<std::uint32_t>& set) {
    // Open addressing over the states' sets, kept one after the other.
    const std::uint64_t hash = PositionSetHash(set.data(), set.size());
    std::size_t slot = static_cast<std::size_t>(hash) & (slots_.size() - 1);
    for (; slots_[slot] >= 0; slot = (slot + 1) & (slots_.size() - 1)) {
      const auto known = static_cast<std::size_t>(slots_[slot]);
      if (hashes_[known] == hash && setBegin_[known + 1] - setBegin_[known] == set.size() &&
          std::equal(set.begin(), set.end(), stateSets_.begin() + setBegin_[known]))
        return static_cast<std::int32_t>(known * classCount_);
    }
    // a row of moves, the set, its entry and the patterns that end there
    const std::size_t bytes = classCount_ * sizeof(std::int32_t) + set.size() * sizeof(std::uint32_t) + 32;
    if (StateCount() >= limits_.maxStates || tableBytes_ + bytes > limits_.maxTableBytes) return kFull;
    if (limits_.budget && !limits_.budget->Take(bytes)) return kFull;
    tableBytes_ += bytes;
    const auto id = static_cast<std::int32_t>(StateCount());
    std::uint32_t previous = 0xFFFFFFFFu;
    for (std::uint32_t q : set) {  // sorted: one pattern's positions are together
      const std::uint32_t info = patternAndLast_[q];
      if ((info & 1) && info >> 1 != previous) {
        matches_.push_back(info >> 1);
        previous = info >> 1;
      }
    }
    std::sort(matches_.begin() + matchBegin_.back(), matches_.end());
    matches_.erase(std::unique(matches_.begin() + matchBegin_.back(), matches_.end()), matches_.end());
    matchBegin_.push_back(static_cast<std::uint32_t>(matches_.size()));
    stateSets_.insert(stateSets_.end(), set.begin(), set.end());
    setBegin_.push_back(static_cast<std::uint32_t>(stateSets_.size()));
    hashes_.push_back(hash);
    slots_[slot] = id;
    if (2 * StateCount() > slots_.size()) Rehash();
    moves_.resize(StateCount() * classCount_, kUnknown);
    return id * static_cast<std::int32_t>(classCount_);
  }

  // Twice the slots, every state placed again.
  void Rehash() {
    slots_.assign(2 * slots_.size(), -1);
    for (std::size_t state = 0; state < hashes_.size(); ++state) {
      std::size_t slot = static_cast<std::size_t>(hashes_[state]) & (slots_.size() - 1);
      while (slots_[slot] >= 0) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = static_cast<std::int32_t>(state);
    }
  }

  // The move from the state at row on class k, worked out (and timed, where
  // asked for).
  std::int32_t Move(std::int32_t row, std::size_t k) {
    if (!limits_.timeMoves) return WorkOutMove(row, k);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const std::int32_t to = WorkOutMove(row, k);
    moveSeconds_ += std::chrono::duration<double>(Clock::now() - start).count();
    return to;
  }

  // The followers of the positions of the state at row and the first
  // positions, those that take the bytes of class k.
  std::int32_t WorkOutMove(std::int32_t row, std::size_t k) {
    const std::size_t s = static_cast<std::size_t>(row) / classCount_;
    const unsigned char c = representative_[k];
    if (++stamp_ == 0) {
      std::fill(seen_.begin(), seen_.end(), 0);
      stamp_ = 1;
    }
    std::vector<std::uint32_t>& next = next_;
    next.clear();
    bool matched = false;
    auto reach = [&](std::uint32_t q) {
      if (seen_[q] == stamp_) return;
      seen_[q] = stamp_;
      next.push_back(q);
      matched = matched || (patternAndLast_[q] & 1) != 0;
    };
    for (std::uint32_t i = setBegin_[s]; i < setBegin_[s + 1]; ++i) {
      const std::uint32_t p = stateSets_[i];
      const std::uint32_t list =
          followBegin_[p + 1] - followBegin_[p] >= kListedFollowers ? FollowersOn(p, k, c) : kNotListed;
      if (list == kNotListed) {
        for (std::uint32_t e = followBegin_[p]; e < followBegin_[p + 1]; ++e)
          if (sets_[followSet_[e]][c]) reach(follow_[e]);
        continue;
      }
      for (std::uint32_t e = list + 1; e <= list + followerLists_[list]; ++e) reach(followerLists_[e]);
    }
    // Row 0 is the state where a run starts (no position yet).
    if (!limits_.anchored || s == 0)
      for (std::uint32_t e = firstBegin_[k]; e < firstBegin_[k + 1]; ++e) reach(first_[e]);
    if (limits_.anchored && next.empty()) return moves_[static_cast<std::size_t>(row) + k] = kDead;
    std::sort(next.begin(), next.end());
    std::int32_t to = Intern(next);
    if (to == kFull) return kFull;
    if (matched) to = kMatchedBase - to;
    moves_[static_cast<std::size_t>(row) + k] = to;
    return to;
  }

  // Where in followerLists_ the followers of position p (one with at least
  // kListedFollowers of them) that take class k (of byte c) are listed,
  // their count first; worked out on the first move that asks. kNotListed
  // where the lists would outgrow kMaxListedEntries or the shared budget.
  std::uint32_t FollowersOn(std::uint32_t p, std::size_t k, unsigned char c) {
    // Takes room for entries more, or false.
    auto room = [&](std::size_t entries) {
      const std::size_t bytes = entries * sizeof(std::uint32_t);
      if (listBytes_ + bytes > kMaxListedEntries * sizeof(std::uint32_t)) return false;
      if (limits_.budget && !limits_.budget->Take(bytes)) return false;
      listBytes_ += bytes;
      return true;
    };
    if (followerRows_.empty()) followerRows_.assign(seen_.size(), 0);  // (made for the DFAs that need it)
    std::uint32_t& rows = followerRows_[p];
    if (rows == 0) {
      if (!room(classCount_)) return kNotListed;
      rows = static_cast<std::uint32_t>(followerIndex_.size()) + 1;
      followerIndex_.resize(followerIndex_.size() + classCount_, kNotListed);
    }
    std::uint32_t& list = followerIndex_[rows - 1 + k];
    if (list == kNotListed) {
      const auto at = static_cast<std::uint32_t>(followerLists_.size());
      followerLists_.push_back(0);
      for (std::uint32_t e = followBegin_[p]; e < followBegin_[p + 1]; ++e)
        if (sets_[followSet_[e]][c]) followerLists_.push_back(follow_[e]);
      if (!room(followerLists_.size() - at)) {
        followerLists_.resize(at);
        return kNotListed;
      }
      followerLists_[at] = static_cast<std::uint32_t>(followerLists_.size() - at - 1);
      list = at;
    }
    return list;
  }

  // Runs the DFA over text, forward or backward, calling onMatch(row,
  // offset) where matches end (see Run). Each move waits for the one before
  // it, so a longer text is run in parts at once, each part after the first
  // from row 0. Such a pass finds true matches, but misses those that began
  // in the parts before it: the pass that is right where its part begins
  // (the first, at first) then goes on into the next part until it reaches
  // the row that part's pass had at the same byte (compared every
  // kRecordEvery bytes). From there on the two are the same, and that part's
  // pass is the right one at its end; if they do not meet within
  // kConvergeWithin bytes, the pass goes on through the part. (At most four
  // parts: with five or six, their rows and bytes no longer stay in
  // registers, and the profile of 1,580 rules took 1 to 3% longer.)
  template <bool kBackward, typename OnMatch>
  int RunInParts(std::string_view text, OnMatch&& onMatch) {
    const std::size_t n = text.size();
    if (n < kTwoPartsFrom) return RunParts<kBackward>(text, onMatch, std::make_index_sequence<1>());
    if (n < kFourPartsFrom) return RunParts<kBackward>(text, onMatch, std::make_index_sequence<2>());
    return RunParts<kBackward>(text, onMatch, std::make_index_sequence<4>());
  }

  template <bool kBackward, typename OnMatch, std::size_t... kPart>
  int RunParts(std::string_view text, OnMatch& onMatch, std::index_sequence<kPart...>) {
    constexpr std::size_t kParts = sizeof...(kPart);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const std::int32_t* moves = moves_.data();
    int result = 0;
    // The run goes over steps 0 .. n-1; step t reads the byte at offset t
    // (forward) or n-1-t (backward). A move from row at step t; false when
    // the run ends.
    auto follow = [&](std::int32_t& row, std::size_t t) QUELTA_INLINE {
      const std::size_t at = kBackward ? n - 1 - t : t;
      const std::size_t k = classOf_[p[at]];
      std::int32_t to = moves[static_cast<std::size_t>(row) + k];
      if (to < 0) {
        if (to == kUnknown) {
          to = Move(row, k);
          moves = moves_.data();  // it may have grown
        }
        if (to == kFull) return result = -1, false;
        if (to <= kMatchedBase) {
          to = kMatchedBase - to;
          if (onMatch(to, at)) return result = 1, false;
        }
      }
      row = to;
      return true;
    };
    const std::size_t part = n / kParts;
    // Each part's rows at every kRecordEvery-th of its first kConvergeWithin
    // steps (the first part's go unread).
    std::int32_t rows[kParts][kConvergeWithin / kRecordEvery];
    std::int32_t state[kParts] = {};
    std::size_t t = 0;
    // At step t, at points to part 0's byte; part j's is j strides away.
    const auto stride = static_cast<std::ptrdiff_t>(kBackward ? 0 - part : part);
    while (t < part) {
      // Steps whose moves are all known and plain run with the rows in
      // registers; a step where one is not goes through follow, part by part.
      // A move is read from the moves of its byte's class (classMoves_),
      // at the row: the one add a step needs is not on the way from one
      // row to the next.
      const std::uint32_t* const* classMoves = ClassMoves();
      std::uint32_t row[kParts] = {static_cast<std::uint32_t>(state[kPart])...};
      const unsigned char* at = kBackward ? p + n - 1 - t : p + t;
      for (; t < part; ++t, at += kBackward ? -1 : 1) {
        if (t % kRecordEvery == 0 && t < kConvergeWithin)
          ((rows[kPart][t / kRecordEvery] = static_cast<std::int32_t>(row[kPart])), ...);
        const std::uint32_t to[kParts] = {
            classMoves[at[static_cast<std::ptrdiff_t>(kPart) * stride]][row[kPart]]...};
        if ((to[kPart] | ...) & 0x80000000u) break;
        ((row[kPart] = to[kPart]), ...);
      }
      ((state[kPart] = static_cast<std::int32_t>(row[kPart])), ...);
      if (t == part) break;
      if (!(follow(state[kPart], kPart * part + t) && ...)) return result;
      ++t;
    }
    for (std::size_t u = kParts * part; u < n; ++u)  // the last part's few more steps
      if (!follow(state[kParts - 1], u)) return result;
    std::int32_t right = state[0];  // the right row where the second part begins
    for (std::size_t j = 1; j < kParts; ++j) {
      const std::size_t end = j + 1 < kParts ? (j + 1) * part : n;
      bool met = false;
      for (std::size_t u = j * part; u < end && !met; ++u) {
        if (!follow(right, u)) return result;
        const std::size_t step = u - j * part + 1;  // the part's row after this move is its row at step
        met = step < part && step < kConvergeWithin && step % kRecordEvery == 0 &&
              right == rows[j][step / kRecordEvery];
      }
      if (met) right = state[j];
    }
    lastRow_ = right;
    return 0;
  }

  // For each byte, where the moves on its class start in moves_ (made again
  // when moves_ has moved).
  const std::uint32_t* const* ClassMoves() {
    const auto* known = reinterpret_cast<const std::uint32_t*>(moves_.data());
    if (classMovesOf_ != known) {
      for (std::size_t b = 0; b < 256; ++b) classMoves_[b] = known + classOf_[b];
      classMovesOf_ = known;
    }
    return classMoves_;
  }

  void GiveBack() {
    if (limits_.budget) limits_.budget->GiveBack(tableBytes_);
    tableBytes_ = 0;
  }

  const std::vector<std::bitset<256>>& sets_;
  const std::vector<std::uint16_t>& setOf_;
  const std::vector<std::uint32_t>& followBegin_;
  const std::vector<std::uint32_t>& follow_;
  std::vector<std::uint16_t> followSet_;  // the set of each follower (setOf_[follow_[e]])
  const std::vector<std::uint32_t>& patternAndLast_;
  const Limits limits_;
  std::uint8_t classOf_[256] = {};
  const std::uint32_t* classMoves_[256] = {};  // see ClassMoves
  const std::uint32_t* classMovesOf_ = nullptr;
  std::vector<std::uint8_t> representative_;  // a byte of each class
  std::size_t classCount_ = 0;
  std::vector<std::uint32_t> firstBegin_, first_;  // per class
  // The states: a state's row in moves_ starts at state * classCount_;
  // moves_[row + class] is the row it moves to on that class, or one of the
  // k... values. matches_[matchBegin_[s] .. matchBegin_[s + 1]): the
  // patterns whose matches end at state s.
  // State s is the set stateSets_[setBegin_[s] .. setBegin_[s + 1]),
  // of hash hashes_[s]; slots_ finds a state by its set (-1: free).
  std::vector<std::uint32_t> stateSets_, setBegin_;
  std::vector<std::uint64_t> hashes_;
  std::vector<std::int32_t> slots_;
  static constexpr std::size_t kFirstSlots = 64;
  std::vector<std::int32_t> moves_;
  std::vector<std::uint32_t> matchBegin_, matches_;
  std::size_t tableBytes_ = 0;
  double moveSeconds_ = 0;
  // A position with many followers (a large alternation follows it) has
  // them listed per class: a move then reads the few that take its bytes.
  // The lists depend on the positions only and outlive Reset.
  static constexpr std::uint32_t kListedFollowers = 8;
  static constexpr std::uint32_t kNotListed = UINT32_MAX;
  static constexpr std::size_t kMaxListedEntries = std::size_t{1} << 18;
  std::vector<std::uint32_t> followerRows_;   // position -> 1 + its row in followerIndex_, 0 for none yet
  std::vector<std::uint32_t> followerIndex_;  // row + class -> its list in followerLists_
  std::vector<std::uint32_t> followerLists_;  // count, then the followers
  std::size_t listBytes_ = 0;                 // what the lists took from the budget
  std::vector<std::uint32_t> seen_;  // stamps while a move is worked out
  std::uint32_t stamp_ = 0;
  std::vector<std::uint32_t> next_;  // the set a move reaches, while it is worked out
  std::vector<std::uint64_t> marks_;  // see CollectBackward
  std::int32_t lastRow_ = 0;  // the row at which the last run that reached the text's end ended
  // see RunInParts
  static constexpr std::size_t kTwoPartsFrom = 512, kFourPartsFrom = 1024;
  static constexpr std::size_t kConvergeWithin = 512, kRecordEvery = 8;
};

RelaxedMatcher::RelaxedMatcher(const std::vector<std::optional<RelaxedNode>>& patterns, std::size_t dfaMaxStates)
    : RelaxedMatcher(patterns.size(), [&patterns](std::size_t id) { return patterns[id]; }, dfaMaxStates) {}

RelaxedMatcher::RelaxedMatcher(std::size_t patternCount,
                               const std::function<std::optional<RelaxedNode>(std::size_t)>& relaxedForm,
                               std::size_t dfaMaxStates)
    : covered_(patternCount, 0), dfaMaxStates_(std::max<std::size_t>(dfaMaxStates, 1)) {
  SetIds setIds;
  followBegin_.push_back(0);
  // The patterns that tell bytes above 0x7F apart (lookalike letters, say)
  // start in a group of their own: the others' DFA then has rows of fewer
  // classes, and more of its states fit the budget.
  Group plain, high;
  for (std::size_t id = 0; id < patternCount; ++id) {
    const std::optional<RelaxedNode> relaxed = relaxedForm(id);
    if (!relaxed) continue;
    const Node kept = Trimmed(*relaxed);
    if (StartsTooOften(kept)) continue;
    Builder builder(kMaxPositions);
    const Builder::Fragment f = builder.Build(kept);
    if (builder.Overflow() || f.nullable) continue;
    const auto base = static_cast<std::uint32_t>(setOf_.size());
    if (sets_.size() + builder.Bytes().size() > 0xFFFF) break;  // set ids fit 16 bits
    for (std::size_t k = 0; k < builder.Bytes().size(); ++k) {
      setOf_.push_back(SetIdOf(setIds, sets_, builder.Bytes()[k]));
      patternAndLast_.push_back(static_cast<std::uint32_t>(id) * 2);
      for (std::uint32_t q : builder.Follow()[k]) follow_.push_back(base + q);
      followBegin_.push_back(static_cast<std::uint32_t>(follow_.size()));
    }
    for (std::uint32_t q : f.last) patternAndLast_[base + q] |= 1;
    for (std::uint32_t q : f.first) first_.push_back(base + q);
    covered_[id] = 1;
    ++coveredCount_;
    const bool apart = std::any_of(builder.Bytes().begin(), builder.Bytes().end(), TellsHighBytesApart);
    (apart ? high : plain).patterns.push_back(static_cast<std::uint32_t>(id));
  }
  std::sort(first_.begin(), first_.end());
  first_.erase(std::unique(first_.begin(), first_.end()), first_.end());
  textsRun_.assign(patternCount, 0);
  textsMatched_.assign(patternCount, 0);
  for (Group* group : {&plain, &high})
    if (!group->patterns.empty()) {
      group->dfa = MakeDfa(group->patterns);
      groups_.push_back(std::move(*group));
    }
}

RelaxedMatcher::~RelaxedMatcher() = default;

std::unique_ptr<PositionDfa> RelaxedMatcher::MakeDfa(const std::vector<std::uint32_t>& patterns) const {
  // The first positions of the group's patterns (patterns come ascending).
  std::vector<std::uint32_t> first;
  for (std::uint32_t q : first_)
    if (std::binary_search(patterns.begin(), patterns.end(), patternAndLast_[q] >> 1)) first.push_back(q);
  return std::make_unique<PositionDfa>(sets_, setOf_, followBegin_, follow_, patternAndLast_, first,
                                       PositionDfa::Limits{dfaMaxStates_, SIZE_MAX, &tableBudget_});
}

void RelaxedMatcher::Restart(std::size_t g, bool maySplit) const {
  Group& full = groups_[g];
  // Filled again soon after the last start: its states are not worth
  // keeping together. The patterns that take part in a quarter or more of
  // them (the others' partial matches multiply with their own) move on to
  // the next group, made if there is none; one pattern stays at least.
  const bool soon = textsSinceRestart_ <= kSplitWithinTexts;
  textsSinceRestart_ = 0;
  if (maySplit && soon && full.patterns.size() > 1 && g + 1 < kMaxGroups) {
    const std::vector<std::size_t> presence = full.dfa->PatternPresence(covered_.size());
    const std::size_t states = full.dfa->StateCount();
    std::vector<std::uint32_t> moving, staying;
    for (std::uint32_t id : full.patterns) (presence[id] * 4 >= states ? moving : staying).push_back(id);
    if (staying.empty()) {  // the least busy one stays
      const auto least = std::min_element(moving.begin(), moving.end(),
                                          [&](std::uint32_t a, std::uint32_t b) { return presence[a] < presence[b]; });
      staying.push_back(*least);
      moving.erase(least);
    }
    if (!moving.empty()) {
      full.patterns = std::move(staying);
      if (g + 1 == groups_.size()) groups_.emplace_back();
      Group& next = groups_[g + 1];
      next.patterns.insert(next.patterns.end(), moving.begin(), moving.end());
      std::sort(next.patterns.begin(), next.patterns.end());
      // (The old DFAs give their tables back before the new ones take theirs.)
      groups_[g].dfa.reset();
      next.dfa.reset();
      groups_[g].dfa = MakeDfa(groups_[g].patterns);
      next.dfa = MakeDfa(next.patterns);
    }
  }
  for (Group& group : groups_) group.dfa->Reset();
}

bool RelaxedMatcher::Narrow(std::string_view text, std::vector<std::uint8_t>& mayMatch) const {
  if (coveredCount_ == 0) return true;
  std::lock_guard<std::mutex> lock(dfaMutex_);
  ++textsSinceRestart_;
  std::vector<std::uint8_t> matched(covered_.size(), 0);
  bool complete = true;
  // Each group's patterns are narrowed once its DFA has run the whole text.
  // (A restart moves patterns only from the group that filled up to the next
  // one, made at the end if need be: the loop reaches them there.)
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    // A DFA that fills up starts afresh and runs the text once more: a text
    // seldom needs that many new states by itself.
    int found = -1;
    for (int attempt = 0; attempt < 2 && found < 0; ++attempt) {
      std::size_t left = 0;
      for (std::uint32_t id : groups_[g].patterns) left += matched[id] ? 0 : 1;
      if (left == 0) {  // nothing left to clear
        found = 0;
        break;
      }
      PositionDfa& dfa = *groups_[g].dfa;
      found = dfa.Run(text, [&](std::int32_t row) {
        dfa.ForEachMatched(row, [&](std::uint32_t id) {
          if (!matched[id]) --left;
          matched[id] = 1;
        });
        return left == 0;
      });
      // (Where the text alone fills the DFA, the patterns stay together.)
      if (found < 0) Restart(g, attempt == 0);
    }
    if (found < 0) {
      complete = false;
      continue;
    }
    for (std::uint32_t id : groups_[g].patterns) {
      if (!matched[id]) mayMatch[id] = 0;
      ++textsRun_[id];
      textsMatched_[id] += matched[id];
    }
  }
  if (++textsSinceReview_ >= kReviewTexts) Review();
  return complete;
}

void RelaxedMatcher::Review() const {
  textsSinceReview_ = 0;
  for (Group& group : groups_) {
    const std::size_t before = group.patterns.size();
    group.patterns.erase(std::remove_if(group.patterns.begin(), group.patterns.end(),
                                        [&](std::uint32_t id) {
                                          return textsRun_[id] > 0 &&
                                                 textsMatched_[id] * 100 >= textsRun_[id] * kLeaveAtPercent;
                                        }),
                         group.patterns.end());
    if (group.patterns.size() != before) {
      group.dfa.reset();  // its table goes back before the new one takes its own
      group.dfa = MakeDfa(group.patterns);
    }
  }
  std::fill(textsRun_.begin(), textsRun_.end(), 0);
  std::fill(textsMatched_.begin(), textsMatched_.end(), 0);
}

std::size_t RelaxedMatcher::StateCount() const {
  std::lock_guard<std::mutex> lock(dfaMutex_);
  std::size_t states = 0;
  for (const Group& group : groups_) states += group.dfa->StateCount();
  return states;
}

std::size_t RelaxedMatcher::GroupCount() const {
  std::lock_guard<std::mutex> lock(dfaMutex_);
  return groups_.size();
}

// ---- RelaxedDfa ------------------------------------------------------------------

std::size_t LongestMatch(const RelaxedNode& n) {
  auto add = [](std::size_t a, std::size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; };
  std::size_t longest = 0;
  switch (n.kind) {
    case Node::Kind::Bytes:
      return 1;
    case Node::Kind::Sequence:
      for (const Node& child : n.children) longest = add(longest, LongestMatch(child));
      return longest;
    case Node::Kind::Alternation:
      for (const Node& child : n.children) longest = std::max(longest, LongestMatch(child));
      return longest;
    case Node::Kind::Repeat: {
      if (n.max == 0 || n.children.empty()) return 0;
      const std::size_t one = LongestMatch(n.children[0]);
      if (one == 0) return 0;
      if (n.max < 0 || one == SIZE_MAX) return SIZE_MAX;
      const auto times = static_cast<std::size_t>(n.max);
      return times > SIZE_MAX / one ? SIZE_MAX : times * one;
    }
  }
  return SIZE_MAX;
}

namespace {

// The pattern read backwards, in place: it then matches the reversed texts
// of the pattern's matches.
void Reverse(Node& n) {
  for (Node& child : n.children) Reverse(child);
  if (n.kind == Node::Kind::Sequence) std::reverse(n.children.begin(), n.children.end());
}

// The positions of one pattern, for a PositionDfa (which reads them, so
// they must outlive it).
struct PatternPositions {
  std::vector<std::bitset<256>> sets;
  std::vector<std::uint16_t> setOf;
  std::vector<std::uint32_t> followBegin, follow, patternAndLast, first;

  // False where the pattern needs more than kMaxPositions positions or
  // matches the empty string.
  bool Build(const Node& pattern) {
    Builder builder(RelaxedDfa::kMaxPositions);
    const Builder::Fragment f = builder.Build(pattern);
    if (builder.Overflow() || f.nullable) return false;
    followBegin.push_back(0);
    for (const std::vector<std::uint32_t>& f2 : builder.Follow()) {
      follow.insert(follow.end(), f2.begin(), f2.end());
      followBegin.push_back(static_cast<std::uint32_t>(follow.size()));
    }
    patternAndLast.assign(builder.Bytes().size(), 0);
    for (std::uint32_t q : f.last) patternAndLast[q] = 1;
    first = f.first;
    std::sort(first.begin(), first.end());
    first.erase(std::unique(first.begin(), first.end()), first.end());
    // The distinct byte sets of the positions.
    SetIds setIds;
    for (const std::bitset<256>& b : builder.Bytes()) setOf.push_back(SetIdOf(setIds, sets, b));
    return true;
  }

  std::unique_ptr<PositionDfa> MakeDfa(RelaxedDfa::Budget* budget, bool anchored) const {
    return std::make_unique<PositionDfa>(sets, setOf, followBegin, follow, patternAndLast, first,
                                         PositionDfa::Limits{RelaxedDfa::kMaxStates, RelaxedDfa::kMaxTableBytes,
                                                             budget, anchored, true});
  }
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

struct RelaxedDfa::Impl {
  // The positions of the reversed pattern, then the DFA over them: run
  // backwards over a text, it stands where matches start. For matches at
  // line starts only, the pattern's positions as they are, and an anchored
  // DFA run from each line start.
  PatternPositions positions;
  std::unique_ptr<PositionDfa> dfa;
  // The pattern as it is (but cut), kept until its forward DFA is made;
  // the positions, and the DFA over them run forwards until the first match,
  // to tell whether there is one at all (see Existence). Null where the
  // backward DFA answers alone.
  std::optional<RelaxedNode> forwardPattern;
  PatternPositions forwardPositions;
  std::unique_ptr<PositionDfa> forward;
  Budget* budget = nullptr;
  Existence existence = Existence::kMeasured;
  // While measured: the searches before the forward DFA was made, the
  // trials since, and how long those took (not counting new moves) with the
  // backward DFA alone and with the forward DFA first.
  int searches = 0, trials = 0;
  double backwardSeconds = 0, forwardSeconds = 0;
  double forwardMoveSeconds = 0;  // what a dropped forward DFA spent on moves
  bool lineStarts = false;
  bool full = false;  // a limit was reached: every text may match
  std::size_t searchesSinceStart = 0;  // of the backward DFA (or the one of line starts)
  std::size_t cutBytes = 0;  // CutTail's: matches of the pattern end up to this much later
  std::vector<std::uint32_t> scratch;  // starts that MayMatch does not keep
  std::mutex mutex;

  // The line starts from which the relaxed pattern matches (see
  // MatchStarts): false where that is not known (a limit).
  bool LineStarts(std::string_view text, bool firstOnly, std::vector<std::uint32_t>& starts) {
    const int result = Search([&] {
      return dfa->CollectFromLineStarts(text, kLineStartStepsPerByte * text.size() + kLineStartSteps, firstOnly,
                                        starts);
    });
    if (result < 0) starts.clear();
    return result >= 0;
  }

  // A search of the DFA (dfa) by run(), which gives -1 where the DFA filled
  // up. Where that happened kRefillWithin searches or more after the DFA's
  // start, it starts afresh and the search runs once more (a text seldom
  // needs that many new states by itself; if it does, its search gives -1
  // and the DFA starts afresh again, for the texts after it); where sooner,
  // the DFA stays full.
  template <typename Run>
  int Search(Run&& run) {
    ++searchesSinceStart;
    int result = run();
    if (result != -1) return result;
    if (searchesSinceStart < kRefillWithin) {
      full = true;
      return result;
    }
    if (!StartAfresh()) return -1;
    result = run();
    if (result == -1) StartAfresh();
    return result;
  }
  // Forgets every state; false (and full) where the shared budget has no
  // room left even for the first one.
  bool StartAfresh() {
    dfa->Reset();
    searchesSinceStart = 0;
    if (dfa->StateCount() == 0) full = true;
    return !full;
  }

  bool Measuring() const { return forward && existence == Existence::kMeasured; }
  double Moves() const { return dfa->MoveSeconds() + (forward ? forward->MoveSeconds() : 0); }

  // Before each search while measured: the backward DFA answers alone for
  // kExistenceWarmUp searches; then the forward DFA is made for the trials
  // if the backward one has kForwardTrialStates states by then (a DFA of
  // few states runs about as fast either way), else never.
  void BeforeSearch() {
    if (existence != Existence::kMeasured || forward || ++searches <= kExistenceWarmUp) return;
    if (dfa->StateCount() >= kForwardTrialStates) {
      MakeForward();
    } else {
      existence = Existence::kBackward;
      forwardPattern.reset();
    }
  }
  void MakeForward() {
    if (!forwardPattern || !forwardPositions.Build(*forwardPattern)) {
      existence = Existence::kBackward;
    } else {
      forward = forwardPositions.MakeDfa(budget, false);
      if (forward->StateCount() == 0) DropForward();  // the budget is spent
    }
    forwardPattern.reset();
  }
  // Whether the forward DFA finds a match in text: 1, 0, or -1 where it is
  // at its limit (it is dropped then).
  int ForwardFinds(std::string_view text) {
    const int found = forward->Run(text, [](std::int32_t) { return true; });
    if (found < 0) DropForward();
    return found;
  }
  void DropForward() {
    forwardMoveSeconds += forward->MoveSeconds();
    forward.reset();
    existence = Existence::kBackward;
  }
  // One trial more: with the backward DFA alone the search took backward,
  // with the forward DFA first (and the backward one where that found a
  // match) withForward. The last trial decides.
  void Measured(double backward, double withForward) {
    // (The forward DFA's first searches make most of its states: they
    // would tell how fast it grows, not how fast it runs.)
    if (++trials <= kForwardWarmUp) return;
    backwardSeconds += backward;
    forwardSeconds += withForward;
    if (trials < kForwardWarmUp + kExistenceTrials || !forward) return;
    if (forwardSeconds < kForwardWorth * backwardSeconds) {
      existence = Existence::kForwardFirst;
    } else {
      DropForward();
    }
  }

  // Runs f, timed, and returns its result; seconds gets the time it took
  // but for the new moves of the DFAs.
  template <typename F>
  auto Timed(double& seconds, F&& f) {
    const double moves = Moves();
    const Clock::time_point start = Clock::now();
    auto result = f();
    seconds = SecondsSince(start) - (Moves() - moves);
    return result;
  }
};

RelaxedDfa::RelaxedDfa(RelaxedNode pattern, Budget* budget, Starts starts, Existence existence)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.lineStarts = starts == Starts::kAtLineStarts;
  d.cutBytes = CutTail(pattern);
  // A match of the pattern holds one of the cut pattern, and one of that
  // cut at its head too (read backwards, cut, and read forwards again):
  // the forward DFA looks for those.
  d.existence = d.lineStarts ? Existence::kBackward : existence;
  d.budget = budget;
  if (d.existence != Existence::kBackward) {
    Node forward = pattern;
    Reverse(forward);
    CutTail(forward);
    Reverse(forward);
    d.forwardPattern = std::move(forward);
  }
  if (!d.lineStarts) Reverse(pattern);
  if (!d.positions.Build(pattern)) return;
  d.dfa = d.positions.MakeDfa(budget, d.lineStarts);
  d.full = d.dfa->StateCount() == 0;
  if (d.existence == Existence::kForwardFirst) d.MakeForward();
}

RelaxedDfa::~RelaxedDfa() = default;

bool RelaxedDfa::Usable() const { return impl_->dfa != nullptr; }

std::size_t RelaxedDfa::StateCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Impl& d = *impl_;
  return d.dfa ? d.dfa->StateCount() + (d.forward ? d.forward->StateCount() : 0) : 0;
}

double RelaxedDfa::MoveSeconds() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->dfa ? impl_->Moves() + impl_->forwardMoveSeconds : 0;
}

RelaxedDfa::Existence RelaxedDfa::ExistenceNow() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->existence;
}

bool RelaxedDfa::MayMatch(std::string_view text) const {
  Impl& d = *impl_;
  if (!d.dfa) return true;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.full) return true;
  if (d.lineStarts) return !d.LineStarts(text, true, d.scratch) || !d.scratch.empty();
  d.BeforeSearch();
  auto backward = [&] {
    return d.Search([&] { return d.dfa->RunBackward(text, [](std::size_t) { return true; }); }) != 0;
  };
  if (d.existence == Existence::kForwardFirst) {
    const int found = d.ForwardFinds(text);
    if (found >= 0) return found != 0;
  } else if (d.Measuring()) {
    // Either answers alone.
    double forwardTime = 0, backwardTime = 0;
    const int found = d.Timed(forwardTime, [&] { return d.ForwardFinds(text); });
    const bool may = d.Timed(backwardTime, backward);
    if (found >= 0) d.Measured(backwardTime, forwardTime);
    return may;
  }
  return backward();
}

bool RelaxedDfa::MatchStarts(std::string_view text, std::vector<std::uint32_t>& starts,
                             const MatchBounds& wanted) const {
  Impl& d = *impl_;
  starts.clear();
  if (!d.dfa) return false;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.full) return false;
  if (d.lineStarts) return d.LineStarts(text, false, starts);
  const std::size_t to = std::min(text.size(), wanted.maxEnd);
  const std::size_t from = wanted.minStart;
  if (wanted.minEnd > to || from >= to || from > wanted.maxStart) return true;  // none is wanted
  // Where the forward DFA finds no match between from and to, none is
  // wanted.
  d.BeforeSearch();
  const bool measuring = d.Measuring();
  double forwardTime = 0, backwardTime = 0;
  int found = 1;
  if (measuring) {
    found = d.Timed(forwardTime, [&] { return d.ForwardFinds(text.substr(from, to - from)); });
  } else if (d.existence == Existence::kForwardFirst) {
    found = d.ForwardFinds(text.substr(from, to - from));
    if (found == 0) return true;
  }
  // A wanted match ends at or after minEnd; what is left of it once cut, at
  // most cutBytes earlier.
  const std::size_t cutMinEnd = wanted.minEnd > d.cutBytes ? wanted.minEnd - d.cutBytes : 0;
  auto collect = [&] {
    return d.Search([&] { return d.dfa->CollectBackward(text, starts, from, to, std::max(cutMinEnd, from)); });
  };
  const int collected = measuring ? d.Timed(backwardTime, collect) : collect();
  if (collected < 0) {
    starts.clear();
    return false;
  }
  if (measuring && found >= 0) d.Measured(backwardTime, forwardTime + (found != 0 ? backwardTime : 0));
  while (!starts.empty() && starts.back() > wanted.maxStart) starts.pop_back();
  return true;
}

}  // namespace quelta
