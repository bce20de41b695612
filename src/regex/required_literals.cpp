// Required literals (see required_literals.h).
//
// Extraction walks the pattern once with a small recursive-descent reader of
// PCRE2's syntax and computes for every piece four facts about the strings
// it can match (all ASCII case-folded):
//   exact   the piece matches exactly one of these strings (a small finite
//           language), or unknown;
//   prefix  every match starts with one of these;
//   suffix  every match ends with one of these;
//   req     every match contains one of these.
// A set holding the empty string says nothing, and that is what every piece
// the reader does not model gets (a class of many bytes, a backreference, a
// dot, ...); a class of a few bytes is the alternation of them.
// Zero-width items (anchors, \b, lookarounds) match the empty string, so the
// text around them is still one contiguous match. Concatenation joins the
// suffixes of the left part with the prefixes of the right part; an
// alternation unites the sets of its branches; a quantifier with a minimum of
// 0 forgets all but "exact" for {0,1}. A set grown past kMaxSet strings has
// them cut shorter until few enough remain. Constructs whose reading would be
// uncertain (verbs, callouts, conditionals, \Q...\E, a quantifier after white
// space or a comment, quantifier syntax that PCRE2 versions read
// differently, extended-more classes, newline-dependent comments) stop the
// reader, and the pattern always runs.
#include "regex/required_literals.h"

#include "base/inline.h"

#include <bitset>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <type_traits>

namespace quelta {

namespace {

using LitSet = std::vector<std::string>;  // sorted, distinct

constexpr std::size_t kMaxSet = 64;         // alternatives kept per set
constexpr std::size_t kMaxLiteral = 32;     // length kept of a prefix, suffix or required string
constexpr std::size_t kMaxExact = 256;      // longest string of an exact set
constexpr int kMaxDepth = 200;              // group nesting read
constexpr int kMaxRepeatExpand = 8;         // x{n}: exact strings built up to this n
constexpr std::size_t kMaxClassExpand = 4;  // a class of up to this many bytes (folded) is their alternation

const LitSet& Nothing() {
  static const LitSet s{std::string()};
  return s;
}

bool SaysNothing(const LitSet& s) {
  return s.empty() || std::find(s.begin(), s.end(), std::string()) != s.end();
}

void Sort(LitSet& s) {
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
}

enum class Kind { Prefix, Suffix, Req };

// Drops from a required set the strings that hold a shorter one of it:
// "contains a or b" where b is inside a is just "contains b". Gives up
// (false) past limit strings that hold no other (the shortest, never
// covered, are counted first).
bool DropCovered(LitSet& s, std::size_t limit) {
  std::vector<std::uint32_t> byLength(s.size());
  for (std::uint32_t k = 0; k < byLength.size(); ++k) byLength[k] = k;
  std::stable_sort(byLength.begin(), byLength.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return s[a].size() < s[b].size(); });
  std::vector<std::uint8_t> covered(s.size(), 0);
  std::size_t uncovered = 0;
  for (std::uint32_t a : byLength) {
    for (std::uint32_t b : byLength) {
      if (s[b].size() >= s[a].size()) break;
      if (s[a].find(s[b]) != std::string::npos) {
        covered[a] = 1;
        break;
      }
    }
    if (!covered[a] && ++uncovered > limit) return false;
  }
  std::size_t kept = 0;
  for (std::size_t a = 0; a < s.size(); ++a)
    if (!covered[a]) {
      if (kept != a) s[kept] = std::move(s[a]);
      ++kept;
    }
  s.resize(kept);
  return true;
}

// Every string cut to its first (of a suffix set: last) length bytes.
// What a string is of a match, prefix, suffix or part, its cut form is too.
LitSet Cut(const LitSet& s, std::size_t length, Kind kind) {
  LitSet out;
  out.reserve(s.size());
  for (const auto& x : s)
    out.push_back(x.size() <= length ? x
                  : kind == Kind::Suffix ? x.substr(x.size() - length)
                                         : x.substr(0, length));
  Sort(out);
  return out;
}

// A set that may lose detail: shortened strings, or nothing at all. A set
// of more than kMaxSet strings has them cut to the longest length that
// leaves at most kMaxSet.
LitSet Loose(LitSet s, Kind kind) {
  if (SaysNothing(s)) return Nothing();
  for (auto& x : s)
    if (x.size() > kMaxLiteral)
      x = kind == Kind::Suffix ? x.substr(x.size() - kMaxLiteral) : x.substr(0, kMaxLiteral);
  if (std::adjacent_find(s.begin(), s.end(), std::greater_equal<>()) != s.end()) Sort(s);
  if (kind == Kind::Req && DropCovered(s, kMaxSet)) return s;
  if (s.size() <= kMaxSet) return s;
  // The longest length that fits, found by halving: cutting shorter never
  // leaves more strings.
  auto fits = [&](std::size_t length, LitSet& cut) {
    cut = Cut(s, length, kind);
    return cut.size() <= kMaxSet || (kind == Kind::Req && DropCovered(cut, kMaxSet));
  };
  std::size_t longest = 0;
  for (const auto& x : s) longest = std::max(longest, x.size());
  LitSet best = Nothing(), cut;
  std::size_t low = 1, high = longest;  // fits(low) is unknown, fits(high) is false
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (fits(mid, cut)) {
      best.swap(cut);
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return best;
}

// All concatenations a+b; false when the result would be too large.
bool Cross(const LitSet& a, const LitSet& b, LitSet& out, std::size_t maxLen) {
  if (a.size() * b.size() > kMaxSet) return false;
  out.clear();
  for (const auto& x : a)
    for (const auto& y : b) {
      if (x.size() + y.size() > maxLen) return false;
      out.push_back(x + y);
    }
  // Made in order already where no string of a is a prefix of another
  // (strings of one length, say): then only a check is needed.
  if (std::adjacent_find(out.begin(), out.end(), std::greater_equal<>()) != out.end()) Sort(out);
  return true;
}

// Higher is better: the shortest string counts most, then fewer strings.
long Quality(const LitSet& s) {
  if (SaysNothing(s)) return -1;
  std::size_t shortest = s[0].size();
  for (const auto& x : s) shortest = std::min(shortest, x.size());
  return static_cast<long>(std::min<std::size_t>(shortest, 16)) * 1000 - static_cast<long>(s.size());
}

// The best quality Loose(s, Kind::Req) can have: it keeps the shortest
// string (no shorter one lies inside it) and at least one, or says nothing.
// Where that is no better than a set at hand, the set need not be made.
long BestRequiredQuality(const LitSet& s) {
  if (SaysNothing(s)) return -1;
  std::size_t shortest = s[0].size();
  for (const auto& x : s) shortest = std::min(shortest, x.size());
  return static_cast<long>(std::min<std::size_t>(shortest, 16)) * 1000 - 1;
}

// best becomes Loose(candidate, Kind::Req) where that is better.
void KeepBetterRequired(LitSet& best, const LitSet& candidate) {
  const long now = Quality(best);
  if (BestRequiredQuality(candidate) <= now) return;
  LitSet loose = Loose(candidate, Kind::Req);
  if (Quality(loose) > now) best = std::move(loose);
}

// The facts about a piece. Of a piece with an exact set, the other three
// follow from it and are made only when asked for (Prefix, Suffix, Req): a
// run of plain characters then costs one string per character.
struct Info {
  bool hasExact = false;
  LitSet exact;
  LitSet prefix, suffix, req;  // only where !hasExact; empty: says nothing

  // Member by member: no set is freed or made.
  void swap(Info& other) noexcept {
    std::swap(hasExact, other.hasExact);
    exact.swap(other.exact);
    prefix.swap(other.prefix);
    suffix.swap(other.suffix);
    req.swap(other.req);
  }
};

// A piece's own set (own), or the one its exact set gives (kept in store).
const LitSet& DerivedView(const Info& i, const LitSet& own, Kind kind, LitSet& store) {
  if (i.hasExact) return store = Loose(i.exact, kind);
  return own.empty() ? Nothing() : own;
}
LitSet Derived(const Info& i, const LitSet& own, Kind kind) {
  LitSet store;
  return DerivedView(i, own, kind, store);
}
LitSet Prefix(const Info& i) { return Derived(i, i.prefix, Kind::Prefix); }
LitSet Suffix(const Info& i) { return Derived(i, i.suffix, Kind::Suffix); }
LitSet Req(const Info& i) { return Derived(i, i.req, Kind::Req); }

Info Unknown() { return Info(); }

Info FromExact(LitSet exact) {
  Info i;
  if (exact.size() > kMaxSet) return i;
  for (const auto& x : exact)
    if (x.size() > kMaxExact) return i;
  i.hasExact = true;
  i.exact = std::move(exact);
  return i;
}

Info Empty() { return FromExact(Nothing()); }

// A class that matches few bytes, once case-folded, reads as the
// alternation of those bytes: "gu[e\xe9]i" holds "guei" or "gu\xe9i".
Info FromClass(const std::bitset<256>& set) {
  if (set.count() > 2 * kMaxClassExpand) return Unknown();  // (folding at most halves it)
  LitSet bytes;
  // (_Find_first/_Find_next: libstdc++'s walk over set bits.)
  for (std::size_t b = set._Find_first(); b < set.size(); b = set._Find_next(b))
    bytes.emplace_back(1, FoldAscii(static_cast<char>(b)));
  Sort(bytes);
  if (bytes.empty() || bytes.size() > kMaxClassExpand) return Unknown();
  return FromExact(std::move(bytes));
}

// out becomes Unknown(), keeping its storage for the next piece.
void Clear(Info& out) {
  out.hasExact = false;
  out.exact.clear();
  out.prefix.clear();
  out.suffix.clear();
  out.req.clear();
}

// out becomes the one character c (case folded), in the storage it has.
void SetChar(Info& out, char c) {
  Clear(out);
  out.hasExact = true;
  out.exact.emplace_back(1, FoldAscii(c));
}

// l followed by r (Append grows a run of plain characters itself). l is
// taken apart: a long sequence hands its sets on without copies.
Info Concat(Info l, const Info& r) {
  constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();
  LitSet x;
  if (l.hasExact && r.hasExact && Cross(l.exact, r.exact, x, kMaxExact)) return FromExact(std::move(x));
  LitSet leftStore, rightStore;
  const LitSet& leftSuffix = DerivedView(l, l.suffix, Kind::Suffix, leftStore);
  const LitSet& rightPrefix = DerivedView(r, r.prefix, Kind::Prefix, rightStore);
  Info o;
  // The req of a piece without an exact set is never worse than what its
  // prefix or suffix gives: a prefix or suffix taken over from one needs no
  // weighing again (this keeps long sequences cheap).
  bool weighPrefix = true, weighSuffix = true;
  if (l.hasExact && Cross(l.exact, rightPrefix, x, kAny)) {
    o.prefix = Loose(std::move(x), Kind::Prefix);
  } else if (l.hasExact) {
    o.prefix = Loose(l.exact, Kind::Prefix);
  } else {
    o.prefix = l.prefix.empty() ? Nothing() : std::move(l.prefix);
    weighPrefix = false;
  }
  if (r.hasExact && Cross(leftSuffix, r.exact, x, kAny)) {
    o.suffix = Loose(std::move(x), Kind::Suffix);
  } else {
    o.suffix = Suffix(r);
    weighSuffix = r.hasExact;
  }
  if (Cross(leftSuffix, rightPrefix, x, kAny)) {
    o.req = Loose(std::move(x), Kind::Req);
  } else {
    o.req = Nothing();
  }
  if (!r.hasExact || BestRequiredQuality(r.exact) >= Quality(o.req)) {
    LitSet store;
    const LitSet& right = DerivedView(r, r.req, Kind::Req, store);
    if (Quality(right) >= Quality(o.req)) o.req = right;
  }
  // On equal quality the left piece's set wins, then the right one's.
  if (l.hasExact) {
    if (BestRequiredQuality(l.exact) >= Quality(o.req)) {
      LitSet left = Loose(l.exact, Kind::Req);
      if (Quality(left) >= Quality(o.req)) o.req = std::move(left);
    }
  } else if (Quality(l.req) >= Quality(o.req)) {
    o.req = l.req.empty() ? Nothing() : std::move(l.req);
  }
  if (weighPrefix) KeepBetterRequired(o.req, o.prefix);
  if (weighSuffix) KeepBetterRequired(o.req, o.suffix);
  return o;
}

// acc followed by next. A run of plain characters grows one string in place
// (what Cross would make).
void Append(Info& acc, const Info& next) {
  if (acc.hasExact && next.hasExact && acc.exact.size() == 1 && next.exact.size() == 1 &&
      acc.exact[0].size() + next.exact[0].size() <= kMaxExact) {
    acc.exact[0] += next.exact[0];
    return;
  }
  acc = Concat(std::move(acc), next);
}

Info Union(const std::vector<Info>& branches) {
  bool allExact = true;
  LitSet exact, prefix, suffix, req;
  for (const auto& b : branches) {
    allExact = allExact && b.hasExact;
    if (allExact) exact.insert(exact.end(), b.exact.begin(), b.exact.end());
  }
  if (allExact) {
    Sort(exact);
    Info e = FromExact(exact);
    if (e.hasExact) return e;
  }
  // What one branch says nothing of, the union says nothing of: those sets
  // need not be made.
  bool prefixes = true, suffixes = true, required = true;
  for (const auto& b : branches) {
    auto nothing = [&](const LitSet& own) { return b.hasExact ? SaysNothing(b.exact) : SaysNothing(own); };
    prefixes = prefixes && !nothing(b.prefix);
    suffixes = suffixes && !nothing(b.suffix);
    required = required && !nothing(b.req);
  }
  auto gather = [&](bool wanted, const LitSet& own, const Info& b, Kind kind, LitSet& into) {
    if (!wanted) return;
    LitSet store;
    const LitSet& s = DerivedView(b, own, kind, store);
    into.insert(into.end(), s.begin(), s.end());
  };
  for (const auto& b : branches) {
    gather(prefixes, b.prefix, b, Kind::Prefix, prefix);
    gather(suffixes, b.suffix, b, Kind::Suffix, suffix);
    gather(required, b.req, b, Kind::Req, req);
  }
  Info o;
  o.prefix = prefixes ? Loose(prefix, Kind::Prefix) : Nothing();
  o.suffix = suffixes ? Loose(suffix, Kind::Suffix) : Nothing();
  o.req = required ? Loose(req, Kind::Req) : Nothing();
  KeepBetterRequired(o.req, o.prefix);
  KeepBetterRequired(o.req, o.suffix);
  return o;
}

// x{min,max}; max < 0 means no upper bound.
Info Repeat(const Info& x, long min, long max) {
  if (max == 0) return Empty();
  if (min == 0) {
    if (max == 1 && x.hasExact) {
      LitSet e = x.exact;
      e.push_back(std::string());
      Sort(e);
      return FromExact(e);
    }
    return Unknown();
  }
  LitSet power;  // x^min, when exact and small
  if (x.hasExact && min <= kMaxRepeatExpand) {
    power = Nothing();
    LitSet next;
    for (long k = 0; k < min; ++k) {
      if (!Cross(power, x.exact, next, kMaxExact)) {
        power.clear();
        break;
      }
      power.swap(next);
    }
  }
  if (!power.empty() && min == max) return FromExact(power);
  Info o;
  o.prefix = power.empty() ? Prefix(x) : Loose(power, Kind::Prefix);
  o.suffix = power.empty() ? Suffix(x) : Loose(power, Kind::Suffix);
  o.req = power.empty() ? Req(x) : Loose(power, Kind::Req);
  KeepBetterRequired(o.req, o.prefix);
  KeepBetterRequired(o.req, o.suffix);
  return o;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsWordChar(char c) {
  return IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  return (FoldAscii(c) - 'a') + 10;
}

// ---- Relaxed forms ----------------------------------------------------------------
// Beside the literals, the reader builds the pattern's relaxed form
// (RelaxedNode): a plain expression over bytes with case folded out.

using ByteSet = std::bitset<256>;

// Adds the other case of every ASCII letter, as caseless matching does.
ByteSet Folded(ByteSet s) {
  static const ByteSet kUpper = [] {
    ByteSet m;
    for (std::size_t b = 'A'; b <= 'Z'; ++b) m.set(b);
    return m;
  }();
  static const ByteSet kLower = kUpper << ('a' - 'A');
  return s | (s & kUpper) << ('a' - 'A') | (s & kLower) >> ('a' - 'A');
}

RelaxedNode AnyByte() { return RelaxedNode::OfBytes(ByteSet().set()); }
RelaxedNode AnyText() { return RelaxedNode::Repeated(AnyByte(), 0, -1); }
RelaxedNode AnyByteButLf() { return RelaxedNode::OfBytes(ByteSet().set().reset('\n')); }

// One byte; an ASCII letter in both cases where matching is caseless.
RelaxedNode CharNode(char c, bool caseless = true) {
  ByteSet s;
  s.set(static_cast<unsigned char>(c));
  if (caseless) {
    s.set(static_cast<unsigned char>(FoldAscii(c)));
    if (c >= 'a' && c <= 'z') s.set(static_cast<unsigned char>(c - 'a' + 'A'));
  }
  return RelaxedNode::OfBytes(s);
}

bool IsEmptyNode(const RelaxedNode& n) {
  return n.kind == RelaxedNode::Kind::Sequence && n.children.empty();
}

ByteSet Range(std::size_t from, std::size_t to) {
  ByteSet s;
  for (std::size_t b = from; b <= to; ++b) s.set(b);
  return s;
}

ByteSet Bytes(std::string_view bytes) {
  ByteSet s;
  for (unsigned char b : bytes) s.set(b);
  return s;
}

// \d \w \s \h \v and their negations, as PCRE2's "C" tables define them in
// 8-bit mode. False for any other letter.
bool TypeEscape(char c, ByteSet& set) {
  const ByteSet digits = Range('0', '9');
  switch (FoldAscii(c)) {
    case 'd': set = digits; break;
    case 'w': set = digits | Range('a', 'z') | Range('A', 'Z') | Bytes("_"); break;
    case 's': set = Bytes(" \t\n\v\f\r"); break;
    case 'h': set = Bytes(" \t\xA0"); break;
    case 'v': set = Bytes("\n\v\f\r\x85"); break;
    default: return false;
  }
  if (c >= 'A' && c <= 'Z') set.flip();
  return true;
}

// A POSIX class name ("alpha", "^digit", ...) as the "C" tables define it.
bool PosixClass(std::string_view name, ByteSet& set) {
  const bool negated = !name.empty() && name[0] == '^';
  if (negated) name.remove_prefix(1);
  const ByteSet upper = Range('A', 'Z'), lower = Range('a', 'z'), digit = Range('0', '9');
  if (name == "alpha") set = upper | lower;
  else if (name == "digit") set = digit;
  else if (name == "alnum") set = upper | lower | digit;
  else if (name == "upper") set = upper;
  else if (name == "lower") set = lower;
  else if (name == "word") set = upper | lower | digit | Bytes("_");
  else if (name == "space") set = Bytes(" \t\n\v\f\r");
  else if (name == "blank") set = Bytes(" \t");
  else if (name == "cntrl") set = Range(0, 0x1F) | Bytes("\x7F");
  else if (name == "print") set = Range(0x20, 0x7E);
  else if (name == "graph") set = Range(0x21, 0x7E);
  else if (name == "punct") set = Range(0x21, 0x7E) & ~(upper | lower | digit);
  else if (name == "xdigit") set = digit | Range('a', 'f') | Range('A', 'F');
  else if (name == "ascii") set = Range(0, 0x7F);
  else return false;
  if (negated) set.flip();
  return true;
}

class Reader {
 public:
  // literals false: the facts about literals are not worked out (Run's
  // info then says nothing); the relaxed form and the items still are.
  explicit Reader(std::string_view p, bool literals = true) : p_(p), literals_(literals) {}

  // False when the pattern holds something the reader does not model.
  // rx: the pattern's relaxed form.
  bool Run(Info& out, RelaxedNode& rx) {
    out = Alternation(rx);
    return !failed_ && pos_ == p_.size();
  }

 private:
  enum class Quant { None, Valid, Ambiguous };

  bool AtEnd() const { return pos_ >= p_.size(); }
  // The pattern holds no NUL (it ends at the first one), so '\0' is the end.
  char Peek(std::size_t k = 0) const { return pos_ + k < p_.size() ? p_[pos_ + k] : '\0'; }
  void Fail() {
    failed_ = true;
    pos_ = p_.size();
  }

  Info Alternation(RelaxedNode& rx) {
    std::vector<Info> branches;
    RelaxedNode first;
    branches.push_back(Sequence(first));
    std::vector<RelaxedNode> alternatives;
    while (!failed_ && Peek() == '|') {
      ++pos_;
      if (alternatives.empty()) alternatives.push_back(std::move(first));
      alternatives.emplace_back();
      branches.push_back(Sequence(alternatives.back()));
    }
    if (alternatives.empty()) {
      rx = std::move(first);
    } else {
      rx = RelaxedNode();
      rx.kind = RelaxedNode::Kind::Alternation;
      rx.children = std::move(alternatives);
    }
    return branches.size() == 1 || !literals_ ? std::move(branches[0]) : Union(branches);
  }

  Info Sequence(RelaxedNode& rx) {
    rx = RelaxedNode();
    RelaxedNode lastRx;
    Info acc = Empty(), last, atom;
    bool haveLast = false, lastRepeatable = false, lastQuantified = false, skipped = false;
    for (;;) {
      if (SkipIgnorable()) {
        skipped = true;
        continue;
      }
      if (failed_ || AtEnd() || Peek() == '|' || Peek() == ')') break;
      long min = 0, max = 0;
      std::size_t length = 0;
      const Quant q = QuantifierAt(min, max, length);
      if (q == Quant::Ambiguous) {
        Fail();
        break;
      }
      if (q == Quant::Valid) {
        // PCRE2 versions differ on quantifiers after white space or comments.
        if (!haveLast || !lastRepeatable || lastQuantified || skipped) {
          Fail();
          break;
        }
        pos_ += length;
        if (Peek() == '+' || Peek() == '?') ++pos_;  // possessive or lazy
        if (literals_) last = Repeat(last, min, max);
        lastRx = max == 0 || IsEmptyNode(lastRx) ? RelaxedNode()
                                                 : RelaxedNode::Repeated(std::move(lastRx), min, max);
        lastQuantified = true;
        continue;
      }
      Clear(atom);
      RelaxedNode atomRx;
      bool repeatable = true;
      const bool isAtom = Atom(atom, repeatable, atomRx);
      if (failed_) break;
      if (haveLast && literals_) Append(acc, last);
      if (!IsEmptyNode(lastRx)) {
        // Room for the items of a short sequence at once.
        if (rx.children.size() == 1) rx.children.reserve(8);
        rx.children.push_back(std::move(lastRx));
      }
      lastRx = std::move(atomRx);
      haveLast = isAtom;
      if (isAtom) last.swap(atom);  // atom keeps the old storage for the next one
      lastRepeatable = repeatable;
      lastQuantified = false;
      skipped = false;
    }
    if (haveLast && literals_) Append(acc, last);
    if (!IsEmptyNode(lastRx)) rx.children.push_back(std::move(lastRx));
    return acc;
  }

  // White space and #-comments in extended mode, and (?#...) comments.
  bool SkipIgnorable() {
    bool skipped = false;
    for (;;) {
      const char c = Peek();
      if (options_.extended && !AtEnd()) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
          ++pos_;
          skipped = true;
          continue;
        }
        // NEL is white space only where PCRE2 has Unicode support.
        if (static_cast<unsigned char>(c) == 0x85) {
          Fail();
          return false;
        }
        if (c == '#') {
          ++pos_;
          while (!AtEnd() && Peek() != '\n') {
            const unsigned char d = static_cast<unsigned char>(Peek());
            // Where a comment ends depends on the newline convention.
            if (d == '\r' || d == '\v' || d == '\f' || d == 0x85) {
              Fail();
              return false;
            }
            ++pos_;
          }
          if (!AtEnd()) ++pos_;
          skipped = true;
          continue;
        }
      }
      if (c == '(' && Peek(1) == '?' && Peek(2) == '#') {
        const std::size_t end = p_.find(')', pos_ + 3);
        if (end == std::string_view::npos) {
          Fail();
          return false;
        }
        pos_ = end + 1;
        skipped = true;
        continue;
      }
      return skipped;
    }
  }

  Quant QuantifierAt(long& min, long& max, std::size_t& length) const {
    const char c = Peek();
    if (c == '*' || c == '+' || c == '?') {
      min = c == '+' ? 1 : 0;
      max = c == '?' ? 1 : -1;
      length = 1;
      return Quant::Valid;
    }
    if (c != '{') return Quant::None;
    // Strict forms {n}, {n,}, {n,m}.
    std::size_t i = pos_ + 1;
    auto number = [&](long& v) {
      const std::size_t start = i;
      v = 0;
      while (i < p_.size() && IsDigit(p_[i])) {
        v = v * 10 + (p_[i] - '0');
        if (v > 65535) v = 65536;
        ++i;
      }
      return i > start;
    };
    long a = 0, b = 0;
    if (number(a)) {
      if (i < p_.size() && p_[i] == '}') {
        min = max = a;
        length = i + 1 - pos_;
        return a > 65535 ? Quant::Ambiguous : Quant::Valid;
      }
      if (i < p_.size() && p_[i] == ',') {
        ++i;
        const bool hasMax = number(b);
        if (i < p_.size() && p_[i] == '}') {
          min = a;
          max = hasMax ? b : -1;
          length = i + 1 - pos_;
          if (a > 65535 || b > 65535 || (hasMax && b < a)) return Quant::Ambiguous;
          return Quant::Valid;
        }
      }
    }
    // "{,n}" and forms with blanks are quantifiers in newer PCRE2 versions
    // and literal text in older ones.
    bool digit = false;
    for (i = pos_ + 1; i < p_.size(); ++i) {
      const char d = p_[i];
      if (d == '}') return digit ? Quant::Ambiguous : Quant::None;
      if (IsDigit(d)) digit = true;
      else if (d != ',' && d != ' ' && d != '\t') return Quant::None;
    }
    return Quant::None;
  }

  // One item. False (and no failure) for an option setting, which is no atom.
  // rx: the item's relaxed form.
  bool Atom(Info& out, bool& repeatable, RelaxedNode& rx) {
    const char c = Peek();
    switch (c) {
      case '(':
        return Group(out, repeatable, rx);
      case '[': {
        ByteSet set;
        const bool known = Class(set);
        rx = known ? RelaxedNode::OfBytes(set) : AnyByte();
        out = known ? FromClass(set) : Unknown();
        return true;
      }
      case '\\':
        Escape(out, repeatable, rx);
        return true;
      case '.':
        ++pos_;
        out = Unknown();
        rx = options_.dotAll ? AnyByte() : AnyByteButLf();
        return true;
      case '^':
      case '$':
        ++pos_;
        out = Empty();
        repeatable = false;
        return true;
      default:
        ++pos_;
        SetChar(out, c);
        rx = CharNode(c, options_.caseless);
        return true;
    }
  }

  // Groups relax to plain groups, lookarounds to nothing (they match the
  // empty string wherever they succeed), references to other groups and
  // recursion to any text.
  bool Group(Info& out, bool& repeatable, RelaxedNode& rx) {
    ++pos_;  // '('
    RelaxedNode in;
    if (Peek() == '*') {  // verbs, (*ACCEPT) and the like, alpha assertions
      Fail();
      return true;
    }
    if (Peek() != '?') {
      out = Content(in);
      rx = std::move(in);
      return true;
    }
    ++pos_;  // '?'
    const char c = Peek();
    switch (c) {
      case ':':
      case '>':
      case '|':
        ++pos_;
        out = Content(in);
        rx = std::move(in);
        return true;
      case '=':
      case '!':
      case '*':
        ++pos_;
        Content(in);
        out = Empty();
        return true;
      case '<':
        if (Peek(1) == '=' || Peek(1) == '!' || Peek(1) == '*') {
          pos_ += 2;
          Content(in);
          out = Empty();
          return true;
        }
        ++pos_;
        if (!SkipName('>')) return true;
        out = Content(in);
        rx = std::move(in);
        return true;
      case '\'':
        ++pos_;
        if (!SkipName('\'')) return true;
        out = Content(in);
        rx = std::move(in);
        return true;
      case 'P':
        if (Peek(1) == '<') {
          pos_ += 2;
          if (!SkipName('>')) return true;
          out = Content(in);
          rx = std::move(in);
          return true;
        }
        if (Peek(1) == '=' || Peek(1) == '>') {  // backreference, subroutine call
          pos_ += 2;
          if (SkipName(')')) out = Unknown();
          rx = AnyText();
          return true;
        }
        Fail();
        return true;
      case '&':
        ++pos_;
        if (SkipName(')')) out = Unknown();
        rx = AnyText();
        return true;
      case 'R':
        ++pos_;
        if (Peek() == ')') {
          ++pos_;
          out = Unknown();
          rx = AnyText();
        } else {
          Fail();
        }
        return true;
      default:
        break;
    }
    if (IsDigit(c) || ((c == '+' || c == '-') && IsDigit(Peek(1)))) {  // (?1) (?-1) (?+1)
      ++pos_;
      if (SkipName(')')) out = Unknown();
      rx = AnyText();
      return true;
    }
    // Option letters: (?imnsxUJ-imnsxUJ) or (?^...) alone or before ':'.
    Options options = options_;
    if (Peek() == '^') {  // unsets i, m, n, s and x first
      options = Options{false, false, false};
      ++pos_;
    }
    bool unset = false;
    for (;;) {
      const char o = Peek();
      if (o == '-' && !unset) {
        unset = true;
        ++pos_;
        continue;
      }
      if (o == 'x') {
        if (Peek(1) == 'x' && !unset) {  // extended-more: classes change meaning
          Fail();
          return true;
        }
        options.extended = !unset;
        ++pos_;
        continue;
      }
      if (o == 'i') options.caseless = !unset;
      if (o == 's') options.dotAll = !unset;
      if (o == 'i' || o == 'm' || o == 'n' || o == 's' || o == 'U' || o == 'J') {
        ++pos_;
        continue;
      }
      break;
    }
    if (Peek() == ')') {
      ++pos_;
      options_ = options;  // they hold to the end of the enclosing group
      repeatable = false;
      return false;
    }
    if (Peek() == ':') {
      ++pos_;
      const Options saved = options_;
      options_ = options;
      out = Content(in);
      rx = std::move(in);
      options_ = saved;
      return true;
    }
    Fail();
    return true;
  }

  // A group's alternatives up to its ')'; option changes inside end with it.
  Info Content(RelaxedNode& rx) {
    if (++depth_ > kMaxDepth) {
      Fail();
      return Unknown();
    }
    const Options saved = options_;
    Info in = Alternation(rx);
    options_ = saved;
    --depth_;
    if (Peek() != ')') {
      Fail();
      return Unknown();
    }
    ++pos_;
    return in;
  }

  // Group names and reference arguments: word characters (and a sign) up to
  // the terminator.
  bool SkipName(char terminator) {
    while (!AtEnd() && (IsWordChar(Peek()) || Peek() == '+' || Peek() == '-')) ++pos_;
    if (Peek() != terminator) {
      Fail();
      return false;
    }
    ++pos_;
    return true;
  }

  // A braced argument "{...}" without nesting; false (and failure) if open.
  bool SkipBraces() {
    const std::size_t end = p_.find('}', pos_);
    if (Peek() != '{' || end == std::string_view::npos) {
      Fail();
      return false;
    }
    pos_ = end + 1;
    return true;
  }

  // An escape outside a class; rx gets its relaxed form.
  void Escape(Info& out, bool& repeatable, RelaxedNode& rx) {
    ++pos_;  // '\'
    if (AtEnd()) {
      Fail();
      return;
    }
    const char c = Peek();
    ++pos_;
    out = Unknown();
    rx = AnyByte();  // what the cases below do not narrow matches one byte
    int value = -1;
    switch (c) {
      case 'b': case 'B': case 'A': case 'Z': case 'z': case 'G': case 'K':
        out = Empty();
        rx = RelaxedNode();
        repeatable = false;
        return;
      case 'Q': case 'E':
        Fail();
        return;
      case 'c':  // a control character
        if (AtEnd()) Fail();
        else ++pos_;
        return;
      case 'p': case 'P':
        if (Peek() == '{') SkipBraces();
        else if (AtEnd()) Fail();
        else ++pos_;
        return;
      case 'R':  // a line break: CR LF or one byte
        rx = RelaxedNode();
        rx.kind = RelaxedNode::Kind::Alternation;
        rx.children.resize(1);
        rx.children[0].children = {CharNode('\r'), CharNode('\n')};
        rx.children.push_back(AnyByte());
        return;
      case 'X':  // a grapheme cluster: one or more bytes
        rx = RelaxedNode::Repeated(AnyByte(), 1, -1);
        return;
      case 'g':
        rx = AnyText();
        if (Peek() == '{') {
          SkipBraces();
        } else if (Peek() == '<') {
          ++pos_;
          SkipName('>');
        } else if (Peek() == '\'') {
          ++pos_;
          SkipName('\'');
        } else {
          if (Peek() == '+' || Peek() == '-') ++pos_;
          if (!IsDigit(Peek())) Fail();
          while (IsDigit(Peek())) ++pos_;
        }
        return;
      case 'k':
        rx = AnyText();
        if (Peek() == '{') {
          SkipBraces();
        } else if (Peek() == '<') {
          ++pos_;
          SkipName('>');
        } else if (Peek() == '\'') {
          ++pos_;
          SkipName('\'');
        } else {
          Fail();
        }
        return;
      default:
        value = CharacterEscape(c);
        if (failed_) return;
        break;
    }
    if (value >= 0) {
      SetChar(out, static_cast<char>(value));
      rx = CharNode(static_cast<char>(value), options_.caseless);
      return;
    }
    if (IsDigit(c)) {  // a backreference, or octal digits: either way unknown
      while (IsDigit(Peek())) ++pos_;
      rx = AnyText();
      return;
    }
    ByteSet set;
    if (TypeEscape(c, set)) {
      rx = RelaxedNode::OfBytes(set);
      return;
    }
    // Any other letter (\N, \C, or one without a meaning) matches one byte
    // at most; everything else stands for itself.
    if (!IsLetter(c)) {
      SetChar(out, c);
      rx = CharNode(c, options_.caseless);
    }
  }

  // The byte an escape letter (read, pos_ after it) stands for, both in and
  // outside classes: \a \e \f \n \r \t, \0 with up to two more octal digits,
  // \xhh, \x{hh}, \o{ooo}. -1 for any other letter (nothing more is read).
  int CharacterEscape(char c) {
    switch (c) {
      case 'a': return '\a';
      case 'e': return 0x1b;
      case 'f': return '\f';
      case 'n': return '\n';
      case 'r': return '\r';
      case 't': return '\t';
      case '0': {
        int v = 0;
        for (int k = 0; k < 2 && Peek() >= '0' && Peek() <= '7'; ++k) v = v * 8 + (p_[pos_++] - '0');
        return v;
      }
      case 'x': {
        int v = 0;
        if (Peek() == '{') {
          ++pos_;
          int digits = 0;
          while (IsHex(Peek())) {
            v = v * 16 + HexValue(p_[pos_++]);
            if (++digits > 4) break;
          }
          if (Peek() != '}' || digits == 0 || v > 0xFF) {
            Fail();
            return -1;
          }
          ++pos_;
        } else {
          for (int k = 0; k < 2 && IsHex(Peek()); ++k) v = v * 16 + HexValue(p_[pos_++]);
        }
        return v;
      }
      case 'o': {
        if (Peek() != '{') {
          Fail();
          return -1;
        }
        ++pos_;
        int v = 0, digits = 0;
        while (Peek() >= '0' && Peek() <= '7') {
          v = v * 8 + (p_[pos_++] - '0');
          if (++digits > 4) break;
        }
        if (Peek() != '}' || digits == 0 || v > 0xFF) {
          Fail();
          return -1;
        }
        ++pos_;
        return v;
      }
      default:
        return -1;
    }
  }

  // One member of a class, pos_ at it (a leading ']' included): one byte
  // (value >= 0), a set of bytes (value < 0), or a member whose meaning the
  // reader does not model (known false).
  struct ClassMember {
    int value = -1;
    ByteSet set;
    bool known = true;
  };

  ClassMember Member() {
    ClassMember m;
    const char c = Peek();
    if (c == '[' && (Peek(1) == ':' || Peek(1) == '.' || Peek(1) == '=')) {
      std::size_t end = 0;
      if (PosixClassEnd(end)) {
        const bool named = Peek(1) == ':';
        const std::string_view name = p_.substr(pos_ + 2, end - pos_ - 2);
        pos_ = end + 2;
        m.known = named && PosixClass(name, m.set);
        return m;
      }
    }
    if (c != '\\') {
      ++pos_;
      m.value = static_cast<unsigned char>(c);
      return m;
    }
    const char e = Peek(1);
    if (e == 'Q' || e == 'E' || e == '\0') {
      Fail();
      return m;
    }
    pos_ += 2;
    if (e == 'b') {  // backspace inside a class
      m.value = '\b';
      return m;
    }
    if (e >= '1' && e <= '7') {  // in a class, up to three octal digits
      int v = e - '0';
      for (int k = 0; k < 2 && Peek() >= '0' && Peek() <= '7'; ++k) v = v * 8 + (p_[pos_++] - '0');
      m.value = v <= 0xFF ? v : -1;
      m.known = v <= 0xFF;
      return m;
    }
    m.value = CharacterEscape(e);
    if (failed_ || m.value >= 0) return m;
    if (TypeEscape(e, m.set)) return m;
    if ((e == 'p' || e == 'P') && Peek() == '{') {
      SkipBraces();
    } else if (e == 'c' || e == 'p' || e == 'P') {
      if (AtEnd()) Fail();
      else ++pos_;
    }
    // Octal digits, properties, control characters and letters without a
    // meaning in a class are not modelled; everything else stands for itself.
    if (IsDigit(e) || IsLetter(e)) m.known = false;
    else m.value = static_cast<unsigned char>(e);
    return m;
  }

  // Reads a character class as PCRE2 finds its end; set gets the bytes it
  // matches (where matching is caseless, ASCII letters in both cases).
  // False when a member is not modelled: the class then counts as any one
  // byte.
  bool Class(ByteSet& set) {
    ++pos_;  // '['
    set.reset();
    bool negated = false, known = true, first = true;
    if (Peek() == '^') {
      negated = true;
      ++pos_;
    }
    for (;;) {
      if (AtEnd()) {
        Fail();
        return false;
      }
      if (Peek() == ']' && !first) {  // a leading ']' is a member
        ++pos_;
        break;
      }
      first = false;
      const ClassMember low = Member();
      if (failed_) return false;
      if (!low.known) {
        known = false;
        continue;
      }
      if (low.value < 0) {
        set |= low.set;
        continue;
      }
      if (Peek() != '-' || Peek(1) == ']' || Peek(1) == '\0') {
        set.set(static_cast<std::size_t>(low.value));
        continue;
      }
      ++pos_;  // a range
      const ClassMember high = Member();
      if (failed_) return false;
      if (!high.known || high.value < low.value) {
        known = false;
        continue;
      }
      for (int b = low.value; b <= high.value; ++b) set.set(static_cast<std::size_t>(b));
    }
    if (options_.caseless) set = Folded(set);
    if (negated) set.flip();
    return known;
  }

  // PCRE2's test for "[:name:]" inside a class (pos_ at '['): the position of
  // the closing terminator.
  bool PosixClassEnd(std::size_t& end) const {
    const char terminator = p_[pos_ + 1];
    for (std::size_t i = pos_ + 2; i < p_.size(); ++i) {
      const char c = p_[i];
      const char n = i + 1 < p_.size() ? p_[i + 1] : '\0';
      if (c == '\\' && (n == ']' || n == '\\')) {
        ++i;
      } else if ((c == '[' && n == terminator) || c == ']') {
        return false;
      } else if (c == terminator && n == ']') {
        end = i;
        return true;
      }
    }
    return false;
  }

  std::string_view p_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  // The options in force where the reader is. Rules match caselessly and a
  // dot matches any byte, a line feed too, unless a pattern says otherwise.
  struct Options {
    bool extended = false, caseless = true, dotAll = true;
  };
  Options options_;
  bool literals_ = true;
  int depth_ = 0;
};

}  // namespace

RequiredLiterals ExtractRequiredLiterals(std::string_view pattern) {
  pattern = pattern.substr(0, pattern.find('\0'));
  RequiredLiterals result;
  Info info;
  Reader reader(pattern);
  RelaxedNode relaxed;
  if (!reader.Run(info, relaxed)) return result;
  // The strings that every match contains; where they come from its prefixes
  // (suffixes, exact strings), they lie within that many bytes of its start
  // (end, both), and within the whole match in any case.
  const std::size_t longest = LongestMatch(relaxed);
  result.relaxed = std::move(relaxed);
  auto longestOf = [](const LitSet& s) {
    std::size_t n = 0;
    for (const auto& x : s) n = std::max(n, x.size());
    return n;
  };
  LitSet best = Req(info);
  std::size_t lead = SIZE_MAX, tail = SIZE_MAX;
  auto consider = [&](const LitSet& strings, bool atStart, bool atEnd) {
    // (Of sets as good, the one that tells more of where it lies.)
    LitSet candidate = Loose(strings, Kind::Req);
    if (Quality(candidate) < Quality(best)) return;
    best = std::move(candidate);
    lead = atStart ? longestOf(strings) : SIZE_MAX;
    tail = atEnd ? longestOf(strings) : SIZE_MAX;
  };
  consider(Prefix(info), true, false);
  consider(Suffix(info), false, true);
  if (info.hasExact) consider(info.exact, true, true);
  if (SaysNothing(best)) return result;
  for (const auto& s : best)
    if (s.size() < kMinRequiredLiteral) return result;
  result.always = false;
  result.anyOf = best;
  result.lead = std::min(lead, longest);
  result.tail = std::min(tail, longest);
  return result;
}

MatchBounds WantedMatches(const LiteralSpan& span, std::size_t lead, std::size_t tail) {
  MatchBounds wanted;
  if (span.firstEnd == UINT32_MAX) return wanted;
  // A match holds an occurrence that ends at or after the first one's end
  // and one that starts at or before the last one's start.
  wanted.minEnd = span.firstEnd;
  wanted.maxStart = span.lastStart;
  if (lead < span.firstEnd) wanted.minStart = span.firstEnd - lead;
  if (tail <= SIZE_MAX - span.lastStart) wanted.maxEnd = span.lastStart + tail;
  return wanted;
}

bool LiteralHits::Of(std::uint32_t id, std::vector<LiteralHit>& out) const {
  out.clear();
  if (!complete_) return false;
  for (std::uint32_t k = id < last_.size() ? last_[id] : 0; k != 0; k = entries_[k - 1].previous)
    out.push_back(entries_[k - 1].hit);
  // Found backwards, in order but where a scan in parts interleaved them,
  // and twice where the parts overlap.
  std::reverse(out.begin(), out.end());
  if (!std::is_sorted(out.begin(), out.end())) std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return true;
}

void StartsNearHits(const std::vector<LiteralHit>& hits, std::size_t lead, std::vector<std::uint32_t>& starts) {
  // The occurrence a match holds starts at or after the match's start, and
  // ends at most lead bytes after it. Hits come by start: the offsets listed
  // so far lie below next.
  std::uint32_t next = 0;
  for (const LiteralHit& h : hits) {
    const std::uint32_t from = h.end > lead ? static_cast<std::uint32_t>(h.end - lead) : 0;
    for (std::uint32_t s = std::max(from, next); s <= h.start; ++s) starts.push_back(s);
    next = std::max(next, h.start + 1);
  }
}

std::optional<RelaxedNode> ExtractRelaxedForm(std::string_view pattern) {
  pattern = pattern.substr(0, pattern.find('\0'));
  Info info;
  Reader reader(pattern, false);
  RelaxedNode relaxed;
  if (!reader.Run(info, relaxed)) return std::nullopt;
  return relaxed;
}

// ---- Scanner -------------------------------------------------------------------

LiteralScanner::LiteralScanner(const std::vector<RequiredLiterals>& patterns)
    : patternCount_(patterns.size()) {
  // Distinct literals and the patterns that need each.
  std::map<std::string, std::vector<std::uint32_t>> byLiteral;
  for (std::size_t id = 0; id < patterns.size(); ++id) {
    const RequiredLiterals& p = patterns[id];
    bool usable = !p.always && !p.anyOf.empty();
    for (const auto& s : p.anyOf) usable = usable && !s.empty();
    if (!usable) {
      alwaysRun_.push_back(static_cast<std::uint32_t>(id));
      continue;
    }
    if (p.lead <= kMaxListedLead) {
      listsHits_.resize(patterns.size(), 0);
      listsHits_[id] = 1;
    }
    for (const auto& s : p.anyOf) {
      std::string folded(s);
      for (char& c : folded) c = FoldAscii(c);
      auto& ids = byLiteral[folded];
      if (ids.empty() || ids.back() != id) ids.push_back(static_cast<std::uint32_t>(id));
    }
  }
  std::vector<const std::string*> literals;
  literalBegin_.push_back(0);
  for (const auto& [text, ids] : byLiteral) {
    literals.push_back(&text);
    literalLength_.push_back(static_cast<std::uint32_t>(text.size()));
    longestLiteral_ = std::max(longestLiteral_, text.size());
    literalPatterns_.insert(literalPatterns_.end(), ids.begin(), ids.end());
    literalBegin_.push_back(static_cast<std::uint32_t>(literalPatterns_.size()));
  }

  // Byte classes: one per ASCII byte that occurs in a literal, one for the
  // bytes above 0x7F that do, one for the rest. (Bytes above 0x7F are rare
  // in mail: telling them apart would widen every state's row for little.
  // The scan then takes them for each other, and reports a literal that
  // differs from the text only there: a pattern runs that need not.)
  std::uint8_t used[256] = {};
  for (const auto* l : literals)
    for (unsigned char c : *l) used[c] = 1;
  std::uint8_t classOf[256] = {};
  std::size_t classes = 1;
  for (int b = 0; b < 0x80; ++b)
    if (used[b]) classOf[b] = static_cast<std::uint8_t>(classes++);
  bool anyHigh = false;
  for (int b = 0x80; b < 256; ++b) anyHigh = anyHigh || used[b] != 0;
  if (anyHigh) {
    for (int b = 0x80; b < 256; ++b) classOf[b] = static_cast<std::uint8_t>(classes);
    ++classes;
  }
  for (int b = 0; b < 256; ++b) byteClass_[b] = classOf[static_cast<unsigned char>(FoldAscii(static_cast<char>(b)))];
  classCount_ = classes;

  // The trie.
  constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> next(classCount_, kNone);
  std::vector<std::vector<std::uint32_t>> own(1);
  for (std::uint32_t lit = 0; lit < literals.size(); ++lit) {
    std::uint32_t s = 0;
    for (unsigned char c : *literals[lit]) {
      std::uint32_t& t = next[std::size_t{s} * classCount_ + classOf[c]];
      if (t == kNone) {
        t = static_cast<std::uint32_t>(own.size());
        own.emplace_back();
        next.resize(next.size() + classCount_, kNone);
      }
      s = next[std::size_t{s} * classCount_ + classOf[c]];
    }
    own[s].push_back(lit);
  }
  stateCount_ = own.size();

  // Failure links folded into a full transition table, breadth first; each
  // state's outputs include those of its failure state.
  std::vector<std::uint32_t> fail(stateCount_, 0);
  std::vector<std::vector<std::uint32_t>> out(stateCount_);
  // The states in breadth-first order, the start first: also the queue.
  std::vector<std::uint32_t> breadthFirst(1, 0);
  breadthFirst.reserve(stateCount_);
  for (std::size_t c = 0; c < classCount_; ++c) {
    std::uint32_t& t = next[c];
    if (t == kNone) {
      t = 0;
    } else {
      fail[t] = 0;
      breadthFirst.push_back(t);
    }
  }
  for (std::size_t q = 1; q < breadthFirst.size(); ++q) {
    const std::uint32_t s = breadthFirst[q];
    out[s] = own[s];
    out[s].insert(out[s].end(), out[fail[s]].begin(), out[fail[s]].end());
    for (std::size_t c = 0; c < classCount_; ++c) {
      std::uint32_t& t = next[std::size_t{s} * classCount_ + c];
      const std::uint32_t viaFail = next[std::size_t{fail[s]} * classCount_ + c];
      if (t == kNone) {
        t = viaFail;
      } else {
        fail[t] = viaFail;
        breadthFirst.push_back(t);
      }
    }
  }
  // The states renumbered breadth first, those where no literal ends first
  // (the start among them), so that a scan tells an ending literal by the
  // number alone.
  std::vector<std::uint32_t> renumbered(stateCount_);
  std::uint32_t count = 0;
  for (int withOutputs = 0; withOutputs < 2; ++withOutputs) {
    if (withOutputs == 1) firstOutputState_ = count;
    for (std::uint32_t s : breadthFirst)
      if (out[s].empty() != (withOutputs == 1)) renumbered[s] = count++;
  }
  const bool narrow = stateCount_ <= std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;
  if (narrow)
    next16_.resize(next.size());
  else
    next32_.resize(next.size());
  std::vector<std::vector<std::uint32_t>> outOf(stateCount_);
  for (std::size_t s = 0; s < stateCount_; ++s) {
    const std::size_t row = std::size_t{renumbered[s]} * classCount_;
    for (std::size_t c = 0; c < classCount_; ++c) {
      const std::uint32_t to = renumbered[next[s * classCount_ + c]];
      if (narrow)
        next16_[row + c] = static_cast<std::uint16_t>(to);
      else
        next32_[row + c] = to;
    }
    outOf[renumbered[s]] = std::move(out[s]);
  }
  outputBegin_.push_back(0);
  for (std::size_t s = 0; s < stateCount_; ++s) {
    outputs_.insert(outputs_.end(), outOf[s].begin(), outOf[s].end());
    outputBegin_.push_back(static_cast<std::uint32_t>(outputs_.size()));
  }
}

void LiteralScanner::Scan(std::string_view text, std::vector<std::uint8_t>& mayMatch,
                          std::vector<LiteralSpan>* spans, LiteralHits* hits) const {
  mayMatch.assign(patternCount_, 0);
  for (std::uint32_t id : alwaysRun_) mayMatch[id] = 1;
  if (spans) spans->assign(patternCount_, LiteralSpan{});
  const std::uint8_t* listed = hits && !listsHits_.empty() ? listsHits_.data() : nullptr;
  // Hostile text (a run of one letter, say) can hold an occurrence of some
  // literal at every byte, each listed for many patterns: past its limit the
  // list is dropped.
  const std::size_t maxHits = LiteralHits::kMaxPerByte * text.size() + LiteralHits::kMaxAlways;
  if (hits) {
    hits->entries_.clear();
    hits->last_.assign(listed ? patternCount_ : 0, 0);
    hits->complete_ = true;
  }
  if (outputs_.empty()) return;
  const std::uint32_t* begin = outputBegin_.data();
  const auto width = static_cast<std::uint32_t>(classCount_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  // The literals that end at state s, whose last byte is at.
  // (A literal found again marks its patterns again: over a scan that costs
  // less than clearing, and keeping, a mark per literal of the scanner.)
  auto report = [&](std::uint32_t s, const unsigned char* at) {
    const auto end = static_cast<std::uint32_t>(at - bytes + 1);
    for (std::uint32_t k = begin[s]; k < begin[s + 1]; ++k) {
      const std::uint32_t lit = outputs_[k];
      for (std::uint32_t j = literalBegin_[lit]; j < literalBegin_[lit + 1]; ++j) {
        const std::uint32_t id = literalPatterns_[j];
        mayMatch[id] = 1;
        if (spans) {
          LiteralSpan& span = (*spans)[id];
          span.firstEnd = std::min(span.firstEnd, end);
          span.lastStart = std::max(span.lastStart, end - literalLength_[lit]);
        }
        if (listed && listed[id]) {
          if (hits->entries_.size() == maxHits) {
            hits->complete_ = false;
            hits->entries_.clear();
            hits->entries_.shrink_to_fit();
            listed = nullptr;
            continue;
          }
          hits->entries_.push_back(LiteralHits::Entry{LiteralHit{end - literalLength_[lit], end}, hits->last_[id]});
          hits->last_[id] = static_cast<std::uint32_t>(hits->entries_.size());
        }
      }
    }
  };
  const std::uint32_t firstOutput = firstOutputState_;
  const std::size_t n = text.size();
  // The scan over the table next (16 or 32 bits a move).
  auto run = [&](const auto* next) QUELTA_INLINE {
    // A move from state s on the byte at at.
    auto step = [&](std::uint32_t s, const unsigned char* at) QUELTA_INLINE {
      s = next[s * width + byteClass_[*at]];
      if (s >= firstOutput) report(s, at);
      return s;
    };
    // Each byte's move waits for the one before: a longer text is scanned in
    // parts at once, each after the first from far enough before its start
    // that every literal ending in it is seen whole. Each part's state and
    // bytes are plain locals, so that they stay in registers: kept in memory
    // (an array of parts, say) they put a store and a load on every step's
    // path.
    const std::size_t overlap = longestLiteral_ - 1;
    // From state over the bytes [from, to): the state after them.
    auto scanFrom = [&](std::uint32_t state, std::size_t from, std::size_t to) QUELTA_INLINE {
      for (std::size_t i = from; i < to; ++i) state = step(state, bytes + i);
      return state;
    };
    constexpr std::size_t kTwoPartsAbove = 64, kFourPartsAbove = 256;
    if (n > kFourPartsAbove && n / 4 > longestLiteral_) {
      const std::size_t part = n / 4;
      const unsigned char* p0 = bytes;
      const unsigned char* p1 = bytes + part - overlap;
      const unsigned char* p2 = bytes + 2 * part - overlap;
      const unsigned char* p3 = bytes + 3 * part - overlap;
      std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
      for (std::size_t i = 0; i < part; ++i) {
        // Steps where no literal ends run without a call (which would take
        // registers away from the loop); the others report after it.
        for (; i < part; ++i) {
          s0 = next[s0 * width + byteClass_[p0[i]]];
          s1 = next[s1 * width + byteClass_[p1[i]]];
          s2 = next[s2 * width + byteClass_[p2[i]]];
          s3 = next[s3 * width + byteClass_[p3[i]]];
          if ((s0 >= firstOutput) | (s1 >= firstOutput) | (s2 >= firstOutput) | (s3 >= firstOutput)) break;
        }
        if (i == part) break;
        if (s0 >= firstOutput) report(s0, p0 + i);
        if (s1 >= firstOutput) report(s1, p1 + i);
        if (s2 >= firstOutput) report(s2, p2 + i);
        if (s3 >= firstOutput) report(s3, p3 + i);
      }
      // The parts that started early have as many bytes left (the last one
      // the rest of the text).
      scanFrom(s1, 2 * part - overlap, 2 * part);
      scanFrom(s2, 3 * part - overlap, 3 * part);
      scanFrom(s3, 4 * part - overlap, n);
    } else if (n > kTwoPartsAbove && n / 2 > longestLiteral_) {
      const std::size_t part = n / 2;
      const unsigned char* p0 = bytes;
      const unsigned char* p1 = bytes + part - overlap;
      std::uint32_t s0 = 0, s1 = 0;
      for (std::size_t i = 0; i < part; ++i) {
        s0 = step(s0, p0 + i);
        s1 = step(s1, p1 + i);
      }
      scanFrom(s1, 2 * part - overlap, n);
    } else {
      scanFrom(0, 0, n);
    }
  };
  if (!next16_.empty())
    run(next16_.data());
  else
    run(next32_.data());
}

}  // namespace quelta
