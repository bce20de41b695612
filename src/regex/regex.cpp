// The regular-expression layer over PCRE2 (see regex.h).
//
// Mapping of the layer's options to PCRE2: every compile option has its
// PCRE2 counterpart, except "extra" and "partial". "Extra" made a backslash
// before a letter without a meaning an error; PCRE2 always does that, so
// without "extra" a pattern that fails for that reason alone is compiled
// again with such escapes taken as the letter. "Partial" is a match-time
// option in PCRE2 (soft partial matching).
//
// Study: the classic library's study built start-up data, which PCRE2 now
// builds while compiling. The layer still makes the same decision (not for
// anchored patterns, not for patterns with a fixed first character; see
// Regex::Studied) and reports a failure to study those as before. Every
// pattern is in addition JIT-compiled where the machine supports it: the
// answers are the same, and the JIT matcher avoids the interpreter's
// quadratic behaviour on patterns such as "e.*cheap" (seconds on a 32 KB
// text through the interpreter, microseconds through the JIT).
//
// Limits. Every match runs with a match limit, a depth limit and a heap
// limit; a pattern with nested quantifiers that backtracks exponentially
// hits the match limit within a fraction of a second and fails with
// "PCRE2_ERROR_MATCHLIMIT", which makes its rule fail. PCRE2 applies these
// limits to each start position separately, so a pattern that costs a
// little at every one of many start positions is not stopped by them; an
// unanchored search over a longer text therefore runs in slices of
// kSliceLength start positions (the offset limit of PCRE2), and once the
// search has taken more than kRegexTimeBudgetMs it fails with
// "PCRE2_ERROR_MATCHLIMIT" as well. Slicing gives the same leftmost match
// as one search; patterns with backtracking verbs ("(*COMMIT)", "(*SKIP)",
// ...), whose effect reaches across start positions, and patterns with "\G"
// (true only where the search starts) are searched in one piece. A JIT
// match that runs out of its stack (a group repeated once per character of
// a long text) is run again by the interpreter.
#include "regex/regex.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <list>
#include <mutex>
#include <unordered_map>

#include <pcre2.h>

namespace quelta {

struct RegexCode {
  pcre2_code* code = nullptr;
};

namespace {

std::mutex& LocaleLock() {
  static std::mutex m;
  return m;
}

std::uint32_t CompileOptions(RegexOptions o) {
  std::uint32_t r = 0;
  if (o.Has(RegexOption::Anchored)) r |= PCRE2_ANCHORED;
  if (o.Has(RegexOption::IgnoreCase)) r |= PCRE2_CASELESS;
  if (o.Has(RegexOption::DollarEndOnly)) r |= PCRE2_DOLLAR_ENDONLY;
  if (o.Has(RegexOption::DotMatchesAll)) r |= PCRE2_DOTALL;
  if (o.Has(RegexOption::Extended)) r |= PCRE2_EXTENDED;
  // Extra: PCRE2 always rejects unknown letter escapes; nothing to set.
  if (o.Has(RegexOption::MultiLine)) r |= PCRE2_MULTILINE;
  if (o.Has(RegexOption::Ungreedy)) r |= PCRE2_UNGREEDY;
  if (o.Has(RegexOption::NoAutoCapture)) r |= PCRE2_NO_AUTO_CAPTURE;
  if (o.Has(RegexOption::UTF8)) r |= PCRE2_UTF;
  if (o.Has(RegexOption::NoUTF8Check)) r |= PCRE2_NO_UTF_CHECK;
  if (o.Has(RegexOption::AutoCallout)) r |= PCRE2_AUTO_CALLOUT;
  // Partial: a match-time option in PCRE2 (see ExecOptions).
  if (o.Has(RegexOption::FirstLine)) r |= PCRE2_FIRSTLINE;
  return r;
}

std::uint32_t ExecOptions(RegexOptions o) {
  std::uint32_t r = 0;
  if (o.Has(RegexOption::Anchored)) r |= PCRE2_ANCHORED;
  if (o.Has(RegexOption::NoUTF8Check)) r |= PCRE2_NO_UTF_CHECK;
  if (o.Has(RegexOption::Partial)) r |= PCRE2_PARTIAL_SOFT;
  return r;
}

std::string Pcre2Message(int code) {
  PCRE2_UCHAR buf[256];
  int n = pcre2_get_error_message(code, buf, sizeof buf);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

// Match resources: a match context carrying the limits and a JIT stack,
// and a reusable one-pair match block for IsMatch. One set serves one match
// at a time; idle sets wait in a pool. (A pool rather than per-thread
// storage: the plug-in runs on threads of the host, which may outlive the
// library, so nothing may be left to run at their exit.)
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

[[noreturn]] void RaiseMatchError(int rc) { throw RegexError(RegexErrorName(rc)); }

}  // namespace

// ---- Locale ----------------------------------------------------------------

RegexLocale::RegexLocale(const std::string& name, int category)
    : name_(name), category_(category) {
  if (name == "C" && category == 0) return;  // PCRE2's built-in tables
  std::lock_guard<std::mutex> lock(LocaleLock());
  const char* prev = std::setlocale(category, nullptr);
  std::string saved = prev ? prev : "C";
  if (!std::setlocale(category, name.c_str())) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Unable to set locale '%s' (category %d)", name.c_str(),
                  category);
    throw RegexLocaleError(buf);
  }
  tables_ = pcre2_maketables(nullptr);
  // The locale setting is process-wide: put it back at once.
  std::setlocale(category, saved.c_str());
  if (!tables_) throw RegexLocaleError("Unable to build character tables for locale '" +
                                        name + "'");
}

RegexLocale::~RegexLocale() {
  if (tables_) pcre2_maketables_free(nullptr, tables_);
}

int GroupNameIndex::Find(const std::string& name) const {
  auto it = map_.find(name);
  return it == map_.end() ? -1 : it->second;
}

// ---- Pattern -----------------------------------------------------------------

Regex::~Regex() {
  if (code_) {
    if (code_->code) pcre2_code_free(code_->code);
    delete code_;
  }
}

RegexRef CreateRegex(const std::string& pattern, RegexOptions options,
                      const std::string& localeName, int localeCategory) {
  std::shared_ptr<Regex> re(new Regex());
  re->pattern_ = pattern;
  re->options_ = options;
  re->locale_ = std::make_unique<RegexLocale>(localeName, localeCategory);
  re->code_ = new RegexCode();

  // "\K" inside a look-ahead or look-behind is accepted, as it always was.
  auto compile = [&](const std::string& text, int& err, PCRE2_SIZE& errOffset) -> pcre2_code* {
    pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
    if (!cctx) throw RegexError("PCRE2_ERROR_NOMEMORY");
    if (re->locale_->Tables()) pcre2_set_character_tables(cctx, re->locale_->Tables());
    pcre2_set_compile_extra_options(cctx, PCRE2_EXTRA_ALLOW_LOOKAROUND_BSK);
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.c_str()), text.size(),
                                     CompileOptions(options) | PCRE2_USE_OFFSET_LIMIT, &err,
                                     &errOffset, cctx);
    pcre2_compile_context_free(cctx);
    return code;
  };
  // Without "extra", a backslash before a letter that has no meaning of its
  // own stands for that letter ("\y" is "y"; in a class so are "\B", "\R"
  // and "\X"), and "\F" is "F". PCRE2 rejects these; each one it reports is
  // replaced by its letter and the pattern compiled again. An error that
  // remains is reported at its position in the pattern as written.
  // The pattern ends at its first NUL byte, as a C string would.
  std::string work = pattern.substr(0, pattern.find('\0'));
  std::vector<std::size_t> dropped;  // positions in `work` of removed backslashes, in order
  int err = 0;
  PCRE2_SIZE errOffset = 0;
  for (;;) {
    re->code_->code = compile(work, err, errOffset);
    if (re->code_->code || options.Has(RegexOption::Extra)) break;
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
  if (!re->code_->code) {
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
      if (errOffset >= *it) ++errOffset;
    std::string msg = Pcre2Message(err);
    std::string text = "Invalid Pattern '" + pattern +
                       "': error at position " + std::to_string(errOffset) + ": " + msg;
    throw RegexError(text);
  }
  pcre2_code* code = re->code_->code;

  // The classic study decision: not for anchored patterns, not for patterns
  // with a fixed first character.
  std::uint32_t allOptions = 0, firstType = 0;
  pcre2_pattern_info(code, PCRE2_INFO_ALLOPTIONS, &allOptions);
  const bool anchored = (allOptions & PCRE2_ANCHORED) != 0;
  if (!anchored) pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &firstType);
  re->studied_ = !anchored && firstType != 1;
  const int jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  // JIT unsupported on this machine is not an error: the interpreter then
  // matches. Nor is a JIT failure on a pattern the classic study would have
  // left alone.
  if (jit != 0 && jit != PCRE2_ERROR_JIT_BADOPTION && re->studied_)
    throw RegexError("Failed to study pattern'" + pattern + "' : " + Pcre2Message(jit));
  // \G holds at the offset where a search starts; a slice starts at another
  // offset than the text, so such patterns are searched in one piece too.
  re->sliced_ = !anchored && pattern.find("(*") == std::string::npos &&
                pattern.find("\\G") == std::string::npos &&
                !options.Has(RegexOption::FirstLine);

  std::uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  re->captureCount_ = static_cast<int>(captures);

  std::size_t size = 0, jitSize = 0;
  pcre2_pattern_info(code, PCRE2_INFO_SIZE, &size);
  pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &jitSize);
  re->byteSize_ = sizeof(Regex) + pattern.size() + size + jitSize;

  // Name index: entries of (2-byte group number, high byte first; name\0).
  std::uint32_t nameCount = 0, entrySize = 0;
  pcre2_pattern_info(code, PCRE2_INFO_NAMECOUNT, &nameCount);
  if (nameCount > 0) {
    PCRE2_SPTR table = nullptr;
    pcre2_pattern_info(code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
    pcre2_pattern_info(code, PCRE2_INFO_NAMETABLE, &table);
    for (std::uint32_t i = 0; table && i < nameCount; ++i) {
      const unsigned char* e = table + static_cast<std::size_t>(i) * entrySize;
      int number = (e[0] << 8) | e[1];
      re->names_.Add(reinterpret_cast<const char*>(e + 2), number);
    }
  }
  return re;
}

// ---- Matching ------------------------------------------------------------------

namespace {

// One pcre2_match; a JIT match that ran out of stack is repeated by the
// interpreter.
int MatchOnce(pcre2_code* code, std::string_view text, PCRE2_SIZE start, std::uint32_t options,
              pcre2_match_data* md, pcre2_match_context* ctx) {
  int rc = pcre2_match(code, Subject(text), text.size(), start, options, md, ctx);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(code, Subject(text), text.size(), start, options | PCRE2_NO_JIT, md, ctx);
  return rc;
}

// The search from start, in slices of start positions under the time
// budget (see the top of this file).
int BoundedSearch(const Regex& re, pcre2_code* code, std::string_view text, PCRE2_SIZE start,
                  std::uint32_t options, pcre2_match_data* md, pcre2_match_context* ctx) {
  const std::size_t len = text.size();
  if (!re.Sliced() || (options & (PCRE2_ANCHORED | PCRE2_PARTIAL_SOFT)) != 0 ||
      len - start <= kRegexSliceLength)
    return MatchOnce(code, text, start, options, md, ctx);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kRegexTimeBudgetMs);
  PCRE2_SIZE from = start;
  int rc;
  for (;;) {
    const bool last = len - from <= kRegexSliceLength;
    // The offset limit is the last start position tried.
    pcre2_set_offset_limit(ctx, last ? PCRE2_UNSET : from + kRegexSliceLength - 1);
    rc = MatchOnce(code, text, from, options, md, ctx);
    if (last || rc != PCRE2_ERROR_NOMATCH) break;
    if (Clock::now() > deadline) {
      rc = PCRE2_ERROR_MATCHLIMIT;
      break;
    }
    from += kRegexSliceLength;
  }
  pcre2_set_offset_limit(ctx, PCRE2_UNSET);
  return rc;
}

}  // namespace

bool IsMatch(const RegexRef& re, std::string_view text) {
  if (!re || !re->code_ || !re->code_->code) throw RegexError(RegexErrorName(PCRE2_ERROR_NULL));
  Borrowed res;
  pcre2_match_data* md = res->Probe();
  if (!md || !res->ctx) RaiseMatchError(PCRE2_ERROR_NOMEMORY);
  const int rc = BoundedSearch(*re, re->code_->code, text, 0, 0, md, res->ctx);
  if (rc >= 0) return true;  // 0: matched, the one-pair vector was too small
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  res->DropProbe();
  RaiseMatchError(rc);
}

RegexMatch Match(const RegexRef& re, std::string_view text, int startOffset,
                  RegexOptions execOptions) {
  RegexMatch result;
  if (!re || !re->code_ || !re->code_->code) throw RegexError(RegexErrorName(PCRE2_ERROR_NULL));
  if (startOffset < 0 || static_cast<std::size_t>(startOffset) > text.size()) return result;
  Borrowed res;
  if (!res->ctx) RaiseMatchError(PCRE2_ERROR_NOMEMORY);
  std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)> md(
      pcre2_match_data_create(static_cast<std::uint32_t>(re->captureCount_) + 1, nullptr),
      pcre2_match_data_free);
  if (!md) RaiseMatchError(PCRE2_ERROR_NOMEMORY);
  const int rc = BoundedSearch(*re, re->code_->code, text, static_cast<PCRE2_SIZE>(startOffset),
                               ExecOptions(execOptions), md.get(), res->ctx);
  if (rc == PCRE2_ERROR_NOMATCH) return result;
  if (rc < 0) RaiseMatchError(rc);
  result.success = true;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.get());
  std::uint32_t pairs = pcre2_get_ovector_count(md.get());
  for (std::uint32_t i = 0; i < pairs; ++i) {
    RegexGroup g;
    if (ov[2 * i] != PCRE2_UNSET && ov[2 * i + 1] >= ov[2 * i]) {
      g.index = static_cast<int>(ov[2 * i]);
      g.length = static_cast<int>(ov[2 * i + 1] - ov[2 * i]);
      g.value = std::string(text.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i]));
    }
    result.groups.push_back(std::move(g));
  }
  return result;
}

std::string RegexErrorName(int code) {
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

// ---- Cache -------------------------------------------------------------------------

// Least-recently-used list of compile outcomes: a compiled pattern, or the
// text of its compile error.
struct RegexCache::State {
  struct Entry {
    std::string key;
    RegexRef re;
    std::string error;
    std::size_t bytes = 0;
  };
  mutable std::mutex mutex;
  std::list<Entry> lru;
  std::unordered_map<std::string, std::list<Entry>::iterator> index;
  std::size_t bytes = 0;
};

RegexCache::RegexCache() : state_(std::make_unique<State>()) {}
RegexCache::~RegexCache() = default;

RegexRef RegexCache::Acquire(const std::string& pattern, RegexOptions options) {
  State& s = *state_;
  std::string key;
  key.reserve(pattern.size() + 9);
  std::uint32_t bits = options.Bits();
  key.append(reinterpret_cast<const char*>(&bits), sizeof bits);
  key += pattern;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.index.find(key);
    if (it != s.index.end()) {
      s.lru.splice(s.lru.begin(), s.lru, it->second);
      const State::Entry& e = *it->second;
      if (!e.re) throw RegexError(e.error);
      return e.re;
    }
  }
  // Compile outside the lock; two threads may compile the same pattern at
  // once, the second insert then finds the first.
  State::Entry entry;
  try {
    entry.re = CreateRegex(pattern, options, "C", 0);
    entry.bytes = entry.re->ByteSize() + key.size();
  } catch (const RegexError& e) {
    entry.error = e.what();
    entry.bytes = entry.error.size() + key.size() + 64;
  }
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.index.find(key) == s.index.end()) {
      entry.key = key;
      s.lru.push_front(entry);
      s.index.emplace(key, s.lru.begin());
      s.bytes += entry.bytes;
      while (!s.lru.empty() && (s.lru.size() > kMaxEntries || s.bytes > kMaxBytes)) {
        s.bytes -= s.lru.back().bytes;
        s.index.erase(s.lru.back().key);
        s.lru.pop_back();
      }
    }
  }
  if (!entry.re) throw RegexError(entry.error);
  return entry.re;
}

void RegexCache::Clear() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->index.clear();
  state_->lru.clear();
  state_->bytes = 0;
}

std::size_t RegexCache::Size() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->lru.size();
}

}  // namespace quelta
