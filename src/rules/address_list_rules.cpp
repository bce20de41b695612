#include "rules/address_list_rules.h"

#include "base/strings.h"
#include "os/env.h"
#include "rules/rule_store.h"

namespace quelta {

namespace {

// The search text of a list entry: "*x*" anywhere, "x*" address begins
// with, "*x" address ends with, else the whole address.
std::string SearchText(const std::string& e) {
  const bool starFirst = !e.empty() && e.front() == '*';
  const bool starLast = !e.empty() && e.back() == '*';
  if (starFirst && starLast) return e.size() >= 2 ? e.substr(1, e.size() - 2) : std::string();
  if (starLast) return "<" + e.substr(0, e.size() - 1);
  if (starFirst) return e.substr(1) + ">";
  return "<" + e + ">";
}

}  // namespace

int LoadAddressList(RuleStore& rules, const std::string& folder, const std::string& file,
                    bool asWhiteList) {
  const std::string path = folder + file;
  if (!os::FileExists(path)) return -1;
  try {
    // Read only: a list its owner made read-only still loads.
    std::string data;
    if (!os::ReadFile(path, data)) return -2;
    Rule rec;
    rec.field = "FromAddr";
    rec.score = asWhiteList ? 0 : 100;
    rec.flags = asWhiteList ? "SW" : "SH";
    rec.comment = asWhiteList ? "WHITELIST: Whitelisted mail address from \"" + file + "\""
                              : "BLACKLIST: Blacklisted mail address from \"" + file + "\"";
    int count = 0;
    for (const std::string& line : SplitLines(data)) {
      std::string e = Trim(line);
      if (e.empty() || e[0] == '#') continue;
      const std::size_t lt = e.find('<');
      if (lt != std::string::npos) {
        const std::size_t gt = e.find('>', lt + 1);
        e = Trim(gt == std::string::npos ? e.substr(lt + 1) : e.substr(lt + 1, gt - lt - 1));
      }
      rec.value = SearchText(e);
      rules.AddRecord(rec);
      ++count;
    }
    return count;
  } catch (...) {
    return -2;
  }
}

}  // namespace quelta
