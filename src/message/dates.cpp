#include "message/dates.h"

#include <cstring>

#include "base/date_time.h"
#include "base/strings.h"

namespace quelta {

namespace {

struct ZoneName {
  const char* name;
  int offset;
};

// Zone names and their offsets in minutes east of UTC. Some abbreviations
// stand for American or Atlantic zones here ("bst", "gst", "nst", "hst").
const ZoneName kZones[] = {
    {"cet", 60},     {"met", 60},     {"mez", 60},    {"mewt", 60},   {"swt", 60},
    {"fwt", 60},     {"cest", 120},   {"eet", 120},   {"mesz", 120},  {"mest", 120},
    {"usz1", 120},   {"fst", 120},    {"ba.t", 180},  {"bt", 180},    {"usz2", 180},
    {"it", 210},     {"usz3", 240},   {"usz4", 300},  {"ist", 330},   {"usz5", 360},
    {"sst", 420},    {"wast", 420},   {"jt", 450},    {"cct", 480},   {"usz7", 480},
    {"wst", 480},    {"wadt", 480},   {"west", 480},  {"kst", 540},   {"usz8", 540},
    {"jst", 540},    {"sast", 570},   {"aest", 600},  {"usz9", 600},  {"jdt", 600},
    {"east", 600},   {"cadt", 630},   {"sadt", 630},  {"usz10", 660}, {"aedt", 660},
    {"nzt", 720},    {"nzst", 720},   {"idle", 720},  {"nzdt", 780},  {"wat", -60},
    {"at", -120},    {"adt", -180},   {"bst", -180},  {"gst", -180},  {"bzt2", -180},
    {"nst", -210},   {"ast", -240},   {"edt", -240},  {"ewt", -240},  {"est", -300},
    {"cdt", -300},   {"cwt", -300},   {"cst", -360},  {"mdt", -360},  {"mwt", -360},
    {"mst", -420},   {"pwt", -420},   {"pdt", -420},  {"ahdt", -480}, {"pst", -480},
    {"yst", -540},   {"hdt", -540},   {"ahst", -600}, {"hst", -600},  {"bdt", -600},
    {"cat", -600},   {"be.t", -660},  {"nt", -660},   {"idl", -720},  {"idlw", -720},
};
static_assert(sizeof(kZones) / sizeof(kZones[0]) == 75, "zone table has 75 names");

const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                 "jul", "aug", "sep", "oct", "nov", "dec"};

// Takes the text before the next delimiter off s (the delimiter goes too);
// all of s when there is none.
std::string TakeUntil(std::string& s, char delim) {
  const std::size_t p = s.find(delim);
  std::string head;
  if (p == std::string::npos) {
    head.swap(s);
  } else {
    head = s.substr(0, p);
    s.erase(0, p + 1);
  }
  return head;
}

bool NumberIn(const std::string& word, int lo, int hi, int& out) {
  std::int32_t v = 0;
  if (!TryStrToInt(word, v) || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int ZoneOffset(const std::string& text) {
  std::string z = AsciiLower(Trim(text));
  if (z.empty()) return 0;
  if (z[0] == '+' || z[0] == '-') {
    if (z.size() < 5) return 0;
    std::int32_t h = 0, m = 0;
    if (!TryStrToInt(z.substr(1, 2), h) || !TryStrToInt(z.substr(3, 2), m)) return 0;
    const int off = h * 60 + m;
    return z[0] == '-' ? -off : off;
  }
  if (z[0] == '(') z.erase(0, 1);
  const std::size_t close = z.find(')');
  if (close != std::string::npos) z.erase(close);
  for (const ZoneName& e : kZones)
    if (z == e.name) return e.offset;
  return 0;
}

double ParseDate(const std::string& text, int& zoneOffset) {
  try {
    std::string s = AsciiLower(Trim(text)) + " ";
    // A leading word that is not a number is the weekday.
    {
      const std::size_t sp = s.find(' ');
      std::int32_t v = 0;
      if (!TryStrToInt(s.substr(0, sp), v)) s = Trim(s.substr(sp + 1));
    }
    int day = 0, month = 0, year = 0, hour = 0, min = 0, sec = 0;
    if (!NumberIn(Trim(TakeUntil(s, ' ')), 1, 31, day)) return 0;
    const std::string mon = TakeUntil(s, ' ');
    for (int i = 0; i < 12; ++i)
      if (mon == kMonths[i]) month = i + 1;
    if (!NumberIn(TakeUntil(s, ' '), 1900, 2200, year)) return 0;
    if (!NumberIn(TakeUntil(s, ':'), 0, 23, hour)) return 0;
    if (!NumberIn(TakeUntil(s, ':'), 0, 59, min)) return 0;
    if (!NumberIn(TakeUntil(s, ' '), 0, 59, sec)) return 0;
    zoneOffset = ZoneOffset(Trim(s));
    double value = 0;
    if (!TryEncodeDateTime(year, month, day, hour, min, sec, 0, value)) return 0;
    return value;
  } catch (...) {
    return 0;
  }
}

}  // namespace quelta
