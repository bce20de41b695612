#include "message/received.h"

#include <array>

#include "base/ipv4.h"
#include "base/strings.h"
#include "message/urls.h"

namespace quelta {

namespace {



inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// True when s starts with lowerPrefix, comparing s in ASCII lower case.
bool StartsWithLower(std::string_view s, std::string_view lowerPrefix) {
  if (s.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i)
    if (LowerAscii(s[i]) != lowerPrefix[i]) return false;
  return true;
}

// Drops one leading character c (if present), then trims.
void DropLeading(std::string_view& s, char c) {
  if (!s.empty() && s.front() == c) s = s.substr(1);
  s = TrimView(s);
}

constexpr std::string_view kWordEnds = " []();";
constexpr std::string_view kEnvelope = "(envelope-sender <";

// Finds " " + keyword in " " + s; returns the position in s of the keyword
// itself (just after the blank), or npos.
std::size_t FindKeyword(std::string_view s, std::string_view keywordWithBlanks) {
  // keywordWithBlanks starts with a blank; a match at the very start of s
  // uses the blank put in front.
  std::string_view rest = keywordWithBlanks.substr(1);
  if (s.substr(0, rest.size()) == rest) return 0;
  std::size_t p = s.find(keywordWithBlanks);
  return p == std::string_view::npos ? p : p + 1;
}

// Item n (0-based) of a hop record; empty when missing.
std::array<std::string_view, 9> SplitHop(std::string_view record) {
  std::array<std::string_view, 9> items{};
  std::size_t pos = 0;
  for (std::size_t n = 0; n < items.size(); ++n) {
    std::size_t e = record.find(kHopItemSep, pos);
    if (e == std::string_view::npos) {
      items[n] = record.substr(pos);
      break;
    }
    items[n] = record.substr(pos, e - pos);
    pos = e + 1;
  }
  return items;
}

}  // namespace

std::string ParseReceivedLine(std::string_view line) {
  std::string_view s = line;
  std::string_view from, helo, host, ip, envSender, by, with, forAddr, date;
  std::string fromTrimmed;  // from after removing its square brackets

  if (s.substr(0, 5) == "from ") {
    s = s.substr(5);
    if (s.empty() || s.front() != '(') {
      std::size_t p = s.find(' ');
      if (p == std::string_view::npos) {  // the word runs to the end of the line
        from = TrimView(s);
        s = std::string_view();
      } else {
        from = TrimView(s.substr(0, p));
        s = TrimView(s.substr(p + 1));
      }
      if (from.size() > 2) {
        if (from.front() == '[') from = from.substr(1);
        if (!from.empty() && from.back() == ']') from = from.substr(0, from.size() - 1);
        from = TrimView(from);
      }
    }
    if (StartsWithLower(s, "(helo ") || StartsWithLower(s, "(ehlo ") ||
        StartsWithLower(s, "(helo=") || StartsWithLower(s, "(ehlo=")) {
      std::size_t p = s.find(')');
      if (p == std::string_view::npos) p = s.find(' ');
      if (p != std::string_view::npos) {
        helo = p > 6 ? TrimView(s.substr(6, p - 6)) : std::string_view();
        s = TrimView(s.substr(p + 1));
      }
    }
    if (s.size() >= 19 && s.front() == '(' && !StartsWithLower(s, kEnvelope)) {
      s = s.substr(1);
      std::size_t p = s.find_first_of(kWordEnds);
      if (p != std::string_view::npos) {
        host = TrimView(s.substr(0, p));
        s = TrimView(s.substr(p));
      }
    }
    if (s.size() >= 3 && s.front() == '[') {
      s = s.substr(1);
      std::size_t p = s.find(']');
      if (p != std::string_view::npos) {
        ip = TrimView(s.substr(0, p));
        s = TrimView(s.substr(p));
      }
    }
    if (s.size() > 1) {
      DropLeading(s, ']');
      DropLeading(s, ')');
    }
    if (s.size() > kEnvelope.size() && StartsWithLower(s, kEnvelope)) {
      s = s.substr(kEnvelope.size());
      std::size_t p = s.find_first_of(">);");
      if (p != std::string_view::npos) {
        envSender = TrimView(s.substr(0, p));
        s = TrimView(s.substr(p));
      }
    }
    if (s.size() > 1) {
      DropLeading(s, '>');
      DropLeading(s, ')');
    }
  }

  std::size_t k = FindKeyword(s, " by ");
  if (k != std::string_view::npos) {
    s = s.substr(k + 3);
    std::size_t p = s.find_first_of(kWordEnds);
    if (p != std::string_view::npos) {
      by = TrimView(s.substr(0, p));
      s = TrimView(s.substr(p + 1));
    }
  }
  k = FindKeyword(s, " with ");
  if (k != std::string_view::npos && s.size() > 5) {
    s = s.substr(k + 5);
    std::size_t p = s.find_first_of(kWordEnds);
    if (p != std::string_view::npos) {
      with = TrimView(s.substr(0, p));
      s = TrimView(s.substr(p + 1));
    }
  }
  k = FindKeyword(s, " for <");
  if (k != std::string_view::npos && s.size() > 5) {
    s = s.substr(k + 5);
    std::size_t p = s.find_first_of(" >;");
    if (p != std::string_view::npos) {
      forAddr = TrimView(s.substr(0, p));
      s = TrimView(s.substr(p + 1));
    }
  }
  std::size_t semi = s.find(';');
  if (semi != std::string_view::npos) date = TrimView(s.substr(semi + 1));

  std::string hostStr(host), ipStr(ip);
  if (ipStr.empty() && IsIPv4(hostStr)) {
    ipStr.swap(hostStr);
  }

  std::string r;
  r.reserve(line.size() + 9);
  const std::string_view items[9] = {from,      helo, hostStr, ipStr, envSender,
                                     by,        with, forAddr, date};
  for (int n = 0; n < 9; ++n) {
    if (n > 0) r.push_back(kHopItemSep);
    r.append(items[n]);
  }
  return r;
}

std::string CollectReceived(std::string_view header) {
  std::string r;
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t e = header.find("\r\n", pos);
    std::string_view line =
        header.substr(pos, e == std::string_view::npos ? std::string_view::npos : e - pos);
    if (StartsWithLower(line, "received: ")) {
      r.append(ParseReceivedLine(line.substr(10)));
      r.append("\r\n");
    }
    if (e == std::string_view::npos) break;
    pos = e + 2;
  }
  return r;
}

std::string SelectFromHops(std::string_view received, std::string_view selector,
                           std::string_view sep, const SubDomainList* twoLevel) {
  std::string sel = "|";
  for (char c : selector) sel.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c);
  sel.push_back('|');
  auto on = [&sel](const char* name) {
    return sel.find("|" + std::string(name) + "|") != std::string::npos;
  };
  const bool selFrom = on("FROM"), selFromIp = on("FROMIP"), selFromName = on("FROMNAME"),
             selHelo = on("HELO"), selHost = on("HOST"), selIp = on("IP"), selIpIp = on("IPIP"),
             selEnv = on("ENVSENDER"), selBy = on("RCVBY"), selWith = on("RCVWITH"),
             selFor = on("RCVFOR"), selDate = on("DATE"), selIps = on("IPS"),
             selHosts = on("HOSTS"), selDoms = on("DOMS");

  std::string raw(sep);
  auto add = [&raw, &sep](std::string_view item) {
    raw.append(item);
    raw.append(sep);
  };
  std::size_t pos = 0;
  while (pos < received.size()) {
    std::size_t e = received.find("\r\n", pos);
    std::string_view record =
        received.substr(pos, e == std::string_view::npos ? std::string_view::npos : e - pos);
    pos = e == std::string_view::npos ? received.size() : e + 2;

    const auto it = SplitHop(record);
    bool isIp[9];
    for (int n = 0; n < 9; ++n) isIp[n] = IsIPv4(std::string(it[n]));
    if (selFrom) add(it[0]);
    if (selFromIp && isIp[0]) add(it[0]);
    if (selFromName && !isIp[0]) add(it[0]);
    if (selHelo) add(it[1]);
    if (selHost) add(it[2]);
    if (selIp) add(it[3]);
    if (selIpIp && isIp[3]) add(it[3]);
    if (selEnv) add(it[4]);
    if (selBy) add(it[5]);
    if (selWith) add(it[6]);
    if (selFor) add(it[7]);
    if (selDate) add(it[8]);
    static const int kAddressItems[5] = {0, 1, 2, 3, 5};
    if (selIps)
      for (int n : kAddressItems)
        if (isIp[n]) add(it[n]);
    if (selHosts)
      for (int n : kAddressItems)
        if (!isIp[n]) add(it[n]);
    if (selDoms) {
      static const int kDomainItems[6] = {0, 1, 2, 3, 5, 7};
      for (int n : kDomainItems)
        if (!it[n].empty() && !isIp[n]) add(UrlDomain(std::string(it[n]), twoLevel));
    }
  }

  // One left-to-right pass replacing each pair of separators by one.
  if (sep.empty()) return raw;
  std::string r;
  r.reserve(raw.size());
  const std::size_t m = sep.size();
  std::size_t i = 0;
  while (i < raw.size()) {
    if (i + 2 * m <= raw.size() && raw.compare(i, m, sep) == 0 &&
        raw.compare(i + m, m, sep) == 0) {
      r.append(sep);
      i += 2 * m;
    } else {
      r.push_back(raw[i]);
      ++i;
    }
  }
  return r;
}

}  // namespace quelta
