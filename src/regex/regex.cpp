// The regular-expression layer over PCRE2 (see regex.h).
//
// Letter escapes. The classic library took a backslash before a letter
// without a meaning of its own as that letter; PCRE2 rejects such escapes,
// so a pattern that fails for that reason alone is compiled again with the
// escape replaced by its letter.
//
// Study: the classic library's study built start-up data, which PCRE2 now
// builds while compiling. The layer still makes the same decision (not for
// anchored patterns, not for patterns with a fixed first character) and
// reports a failure to study those as before. Every pattern is in addition
// JIT-compiled where the machine supports it: the answers are the same, and
// the JIT matcher avoids the interpreter's quadratic behaviour on patterns
// such as "e.*cheap" (seconds on a 32 KB text through the interpreter,
// microseconds through the JIT).
//
// Limits. Every match runs with a match limit, a depth limit and a heap
// limit; a pattern with nested quantifiers that backtracks exponentially
// hits the match limit within a fraction of a second and fails with
// "PCRE2_ERROR_MATCHLIMIT", which makes its rule fail. PCRE2 applies these
// limits to each start position separately, so a pattern that costs a
// little at every one of many start positions is not stopped by them; an
// unanchored search over a longer text therefore runs in slices of
// kRegexSliceLength start positions (the offset limit of PCRE2), and once
// the search has taken more than kRegexTimeBudgetMs after its first slice it
// fails with "PCRE2_ERROR_MATCHLIMIT" as well. Slicing gives the same answer as one
// search; patterns with backtracking verbs ("(*COMMIT)", "(*SKIP)", ...),
// whose effect reaches across start positions, and patterns with "\G" (true
// only where the search starts) are searched in one piece. A JIT match that
// runs out of its stack (a group repeated once per character of a long
// text) is run again by the interpreter.
#include "regex/regex.h"

#include "regex/mail_bytes.h"
#include "regex/required_literals.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

#include <pcre2.h>

namespace quelta {

// A compiled pattern: PCRE2's code, owned, and what the search needs to know.
class Regex {
 public:
  Regex() = default;
  ~Regex() {
    if (code) pcre2_code_free(code);
  }
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  pcre2_code* code = nullptr;
  bool sliced = false;         // an unanchored search may run in slices of start positions
};

namespace {

// The PCRE2 name of a match error code, or "Unknown PCRE error code <n>".
std::string ErrorName(int code) {
#define QUELTA_PCRE2_NAME(n) \
  case n:                    \
    return #n;
  switch (code) {
    QUELTA_PCRE2_NAME(PCRE2_ERROR_NOMATCH)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_PARTIAL)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR1)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR2)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR3)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR4)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR5)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR6)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR7)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR8)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR9)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR10)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR11)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR12)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR13)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR14)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR15)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR16)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR17)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR18)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR19)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR20)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF8_ERR21)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF16_ERR1)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF16_ERR2)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF16_ERR3)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF32_ERR1)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UTF32_ERR2)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADDATA)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_MIXEDTABLES)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADMAGIC)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADMODE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADOFFSET)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADOPTION)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADREPLACEMENT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADUTFOFFSET)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_CALLOUT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_BADRESTART)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_RECURSE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_UCOND)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_UFUNC)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_UITEM)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_WSSIZE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_INTERNAL)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_JIT_BADOPTION)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_JIT_STACKLIMIT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_MATCHLIMIT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_NOMEMORY)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_NOSUBSTRING)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_NOUNIQUESUBSTRING)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_NULL)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_RECURSELOOP)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DEPTHLIMIT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UNAVAILABLE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_UNSET)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADOFFSETLIMIT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADREPESCAPE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_REPMISSINGBRACE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADSUBSTITUTION)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADSUBSPATTERN)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_TOOMANYREPLACE)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_BADSERIALIZEDDATA)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_HEAPLIMIT)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_CONVERT_SYNTAX)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_INTERNAL_DUPMATCH)
    QUELTA_PCRE2_NAME(PCRE2_ERROR_DFA_UINVALID_UTF)
    default:
      break;
  }
#undef QUELTA_PCRE2_NAME
  return "Unknown PCRE error code " + std::to_string(code);
}

std::string Pcre2Message(int code) {
  PCRE2_UCHAR buf[256];
  int n = pcre2_get_error_message(code, buf, sizeof buf);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

// Match resources: a match context carrying the limits and a JIT stack,
// and a reusable one-pair match block. One set serves one match at a time;
// idle sets wait in a pool. (A pool rather than per-thread storage: the
// plug-in runs on threads of the host, which may outlive the library, so
// nothing may be left to run at their exit.)
struct MatchResources {
  pcre2_match_context* ctx = nullptr;
  pcre2_jit_stack* jitStack = nullptr;
  pcre2_match_data* probe = nullptr;

  MatchResources() {
    ctx = pcre2_match_context_create(nullptr);
    if (ctx) {
      pcre2_set_match_limit(ctx, kRegexMatchLimit);
      pcre2_set_depth_limit(ctx, kRegexDepthLimit);
      pcre2_set_heap_limit(ctx, kRegexHeapLimitKiB);
      jitStack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
      if (jitStack) pcre2_jit_stack_assign(ctx, nullptr, jitStack);
    }
  }
  ~MatchResources() {
    if (probe) pcre2_match_data_free(probe);
    if (jitStack) pcre2_jit_stack_free(jitStack);
    if (ctx) pcre2_match_context_free(ctx);
  }
  MatchResources(const MatchResources&) = delete;
  MatchResources& operator=(const MatchResources&) = delete;

  pcre2_match_data* Probe() {
    if (!probe) probe = pcre2_match_data_create(1, nullptr);
    return probe;
  }
  // After a failed match the block may hold a large backtracking area;
  // give it back.
  void DropProbe() {
    if (probe) pcre2_match_data_free(probe);
    probe = nullptr;
  }
};

class ResourcePool {
 public:
  static constexpr std::size_t kMaxIdle = 8;

  std::unique_ptr<MatchResources> Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        std::unique_ptr<MatchResources> r = std::move(idle_.back());
        idle_.pop_back();
        return r;
      }
    }
    return std::make_unique<MatchResources>();
  }
  void Give(std::unique_ptr<MatchResources> r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kMaxIdle) idle_.push_back(std::move(r));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<MatchResources>> idle_;
};

ResourcePool& Pool() {
  static ResourcePool pool;
  return pool;
}

// Borrows a set of match resources for the lifetime of the object.
class Borrowed {
 public:
  Borrowed() : r_(Pool().Take()) {}
  ~Borrowed() { Pool().Give(std::move(r_)); }
  MatchResources* operator->() { return r_.get(); }

 private:
  std::unique_ptr<MatchResources> r_;
};

PCRE2_SPTR Subject(std::string_view text) {
  static const char kEmpty[1] = {0};
  return reinterpret_cast<PCRE2_SPTR>(text.data() ? text.data() : kEmpty);
}

[[noreturn]] void RaiseMatchError(int rc) { throw RegexError(ErrorName(rc)); }

// The rule's options: ignore case, dot matches all; the offset limit makes
// the sliced search possible.
constexpr std::uint32_t kCompileOptions = PCRE2_CASELESS | PCRE2_DOTALL | PCRE2_USE_OFFSET_LIMIT;

pcre2_code* Compile(const std::string& text, int& err, PCRE2_SIZE& errOffset) {
  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  if (!cctx) throw RegexError("PCRE2_ERROR_NOMEMORY");
  // "\K" inside a look-ahead or look-behind is accepted, as it always was.
  pcre2_set_compile_extra_options(cctx, PCRE2_EXTRA_ALLOW_LOOKAROUND_BSK);
  // Lines end at LF, whatever the library's default: a dot without the "s"
  // option then matches every byte but LF (the prefilter relies on it).
  pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.c_str()), text.size(),
                                   kCompileOptions, &err, &errOffset, cctx);
  pcre2_compile_context_free(cctx);
  return code;
}

}  // namespace

// ---- Pattern -----------------------------------------------------------------

RegexRef CreateRegex(const std::string& pattern) {
  auto re = std::make_shared<Regex>();
  // A backslash before a letter that has no meaning of its own stands for
  // that letter ("\y" is "y"; in a class so are "\B", "\R" and "\X"), and
  // "\F" is "F". PCRE2 rejects these; each one it reports is replaced by its
  // letter and the pattern compiled again. An error that remains is
  // reported at its position in the pattern as written.
  // The pattern ends at its first NUL byte, as a C string would.
  std::string work = pattern.substr(0, pattern.find('\0'));
  std::vector<std::size_t> dropped;  // positions in `work` of removed backslashes, in order
  int err = 0;
  PCRE2_SIZE errOffset = 0;
  for (;;) {
    re->code = Compile(work, err, errOffset);
    if (re->code) break;
    auto isAt = [&](std::size_t slash, auto letterOk) {
      return slash + 1 < work.size() && work[slash] == '\\' && letterOk(work[slash + 1]);
    };
    auto anyLetter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    auto classLetter = [](char ch) { return ch == 'B' || ch == 'R' || ch == 'X'; };
    auto letterF = [](char ch) { return ch == 'F'; };
    std::size_t slash = std::string::npos;
    if (err == PCRE2_ERROR_UNKNOWN_ESCAPE || err == PCRE2_ERROR_ESCAPE_INVALID_IN_CLASS) {
      const bool inClass = err == PCRE2_ERROR_ESCAPE_INVALID_IN_CLASS;
      for (std::size_t back : {1u, 2u}) {
        if (errOffset < back) continue;
        const std::size_t at = errOffset - back;
        if (inClass ? isAt(at, classLetter) : isAt(at, anyLetter)) {
          slash = at;
          break;
        }
      }
    } else if (err == PCRE2_ERROR_UNSUPPORTED_ESCAPE_SEQUENCE) {
      for (std::size_t back : {2u, 1u})
        if (errOffset >= back && isAt(errOffset - back, letterF)) {
          slash = errOffset - back;
          break;
        }
    }
    if (slash == std::string::npos) break;
    work.erase(slash, 1);
    dropped.push_back(slash);
  }
  if (!re->code) {
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
      if (errOffset >= *it) ++errOffset;
    throw RegexError("Invalid Pattern '" + pattern + "': error at position " +
                     std::to_string(errOffset) + ": " + Pcre2Message(err));
  }

  // The classic study decision: not for anchored patterns, not for patterns
  // with a fixed first character.
  std::uint32_t allOptions = 0, firstType = 0;
  pcre2_pattern_info(re->code, PCRE2_INFO_ALLOPTIONS, &allOptions);
  const bool anchored = (allOptions & PCRE2_ANCHORED) != 0;
  if (!anchored) pcre2_pattern_info(re->code, PCRE2_INFO_FIRSTCODETYPE, &firstType);
  const bool studied = !anchored && firstType != 1;
  const int jit = pcre2_jit_compile(re->code, PCRE2_JIT_COMPLETE);
  // JIT unsupported on this machine is not an error: the interpreter then
  // matches. Nor is a JIT failure on a pattern the classic study would have
  // left alone.
  if (jit != 0 && jit != PCRE2_ERROR_JIT_BADOPTION && studied)
    throw RegexError("Failed to study pattern'" + pattern + "' : " + Pcre2Message(jit));
  // \G holds at the offset where a search starts; a slice starts at another
  // offset than the text, so such patterns are searched in one piece too.
  re->sliced = !anchored && pattern.find("(*") == std::string::npos &&
               pattern.find("\\G") == std::string::npos;

  return re;
}

// ---- Where matches start ---------------------------------------------------------

// PCRE2's start-of-match analysis of the pattern, weighed by typical byte
// frequencies (MailByteFrequency); "no idea" counts as every byte.
int StartFrequency(const Regex& compiled) {
  const pcre2_code* code = compiled.code;
  if (!code) return 10000;
  const auto frequency = MailByteFrequency;
  std::uint32_t firstType = 0;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &firstType);
  if (firstType == 2) return 200;  // only at the start of a line
  std::uint32_t first = 0;
  if (firstType == 1) {
    pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &first);
    const int lower = (first >= 'A' && first <= 'Z') ? static_cast<int>(first) - 'A' + 'a' : static_cast<int>(first);
    return frequency(lower) + (lower >= 'a' && lower <= 'z' ? frequency(lower - 'a' + 'A') : 0);
  }
  const std::uint8_t* bitmap = nullptr;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTBITMAP, &bitmap);
  int sum = 0;
  for (int byte = 0; byte < 256; ++byte)
    if (!bitmap || (bitmap[byte / 8] & (1u << (byte % 8)))) sum += frequency(byte);
  return sum;
}

bool StartsOnlyAtLineStarts(const Regex& compiled) {
  if (!compiled.code) return false;
  std::uint32_t options = 0, firstType = 0;
  pcre2_pattern_info(compiled.code, PCRE2_INFO_ALLOPTIONS, &options);
  if ((options & PCRE2_ANCHORED) != 0) return false;
  pcre2_pattern_info(compiled.code, PCRE2_INFO_FIRSTCODETYPE, &firstType);
  return firstType == 2;
}

std::size_t RegexCompiledSizeLimit() {
  std::uint32_t linkSize = 2;
  pcre2_config(PCRE2_CONFIG_LINKSIZE, &linkSize);
  if (linkSize >= 4) return std::size_t{1} << 31;
  return std::size_t{1} << (8 * linkSize);
}

// ---- Matching ------------------------------------------------------------------

namespace {

// One pcre2_match; a JIT match that ran out of stack is repeated by the
// interpreter.
int MatchOnce(pcre2_code* code, std::string_view text, PCRE2_SIZE start, pcre2_match_data* md,
              pcre2_match_context* ctx) {
  int rc = pcre2_match(code, Subject(text), text.size(), start, 0, md, ctx);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(code, Subject(text), text.size(), start, PCRE2_NO_JIT, md, ctx);
  return rc;
}

// The time budget of one search that runs in pieces, asked between them.
// Most searches end in their first piece: the clock starts when the first
// piece has ended, so that those never read it (a first piece is bounded by
// the match limits and by kRegexSliceLength start positions).
class SearchClock {
 public:
  bool OverBudget() {
    const Clock::time_point now = Clock::now();
    if (!started_) {
      deadline_ = now + std::chrono::milliseconds(kRegexTimeBudgetMs);
      started_ = true;
    }
    return now > deadline_;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool started_ = false;
  Clock::time_point deadline_;
};

// The search from every start position from first to last (the whole text
// for a pattern that does not search from any start), in slices of start
// positions under the time budget (see the top of this file).
int BoundedSearch(const Regex& re, std::string_view text, pcre2_match_data* md, pcre2_match_context* ctx,
                  std::size_t first = 0, std::size_t last = SIZE_MAX) {
  const std::size_t len = text.size();
  if (!re.sliced) return MatchOnce(re.code, text, 0, md, ctx);
  last = std::min(last, len);  // a match may start at the text's end
  if (first > last) return PCRE2_ERROR_NOMATCH;
  if (first == 0 && last == len && len <= kRegexSliceLength) return MatchOnce(re.code, text, 0, md, ctx);
  SearchClock clock;
  PCRE2_SIZE from = first;
  int rc;
  for (;;) {
    const bool lastSlice = last - from <= kRegexSliceLength;
    // The offset limit is the last start position tried.
    pcre2_set_offset_limit(ctx, !lastSlice ? from + kRegexSliceLength - 1 : last == len ? PCRE2_UNSET : last);
    rc = MatchOnce(re.code, text, from, md, ctx);
    if (lastSlice || rc != PCRE2_ERROR_NOMATCH) break;
    if (clock.OverBudget()) {
      rc = PCRE2_ERROR_MATCHLIMIT;
      break;
    }
    from += kRegexSliceLength;
  }
  pcre2_set_offset_limit(ctx, PCRE2_UNSET);
  return rc;
}

// The search from the given start positions only (ascending), under the
// same time budget. Starts close together go into one search, which may
// also try the positions between them.
int SearchFrom(const Regex& re, std::string_view text, const std::vector<std::uint32_t>& starts,
               pcre2_match_data* md, pcre2_match_context* ctx) {
  constexpr std::size_t kJoinWithin = 16;
  SearchClock clock;
  int rc = PCRE2_ERROR_NOMATCH;
  for (std::size_t k = 0; k < starts.size() && starts[k] <= text.size();) {
    const std::size_t from = starts[k];
    std::size_t to = from;
    while (++k < starts.size() && starts[k] <= to + kJoinWithin && starts[k] - from < kRegexSliceLength)
      to = starts[k];
    pcre2_set_offset_limit(ctx, to);
    rc = MatchOnce(re.code, text, from, md, ctx);
    if (rc != PCRE2_ERROR_NOMATCH) break;
    if (k < starts.size() && clock.OverBudget()) {
      rc = PCRE2_ERROR_MATCHLIMIT;
      break;
    }
  }
  pcre2_set_offset_limit(ctx, PCRE2_UNSET);
  return rc;
}

}  // namespace

bool IsMatch(const RegexRef& re, std::string_view text) {
  if (!re) RaiseMatchError(PCRE2_ERROR_NULL);
  return IsMatch(*re, text);
}

bool IsMatch(const Regex& re, std::string_view text) { return IsMatchFrom(re, text, nullptr); }

bool SearchesFromAnyStart(const Regex& re) { return re.sliced; }

bool IsMatchFrom(const Regex& re, std::string_view text, const std::vector<std::uint32_t>* starts) {
  return IsMatchFrom(re, text, StartOffsets{starts});
}

bool IsMatchFrom(const Regex& re, std::string_view text, const StartOffsets& starts) {
  if (!re.code) RaiseMatchError(PCRE2_ERROR_NULL);
  Borrowed res;
  pcre2_match_data* md = res->Probe();
  if (!md || !res->ctx) RaiseMatchError(PCRE2_ERROR_NOMEMORY);
  const int rc = starts.list && re.sliced ? SearchFrom(re, text, *starts.list, md, res->ctx)
                                          : BoundedSearch(re, text, md, res->ctx, starts.first, starts.last);
  if (rc >= 0) return true;  // 0: matched, the one-pair vector was too small
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  res->DropProbe();
  RaiseMatchError(rc);
}

}  // namespace quelta
