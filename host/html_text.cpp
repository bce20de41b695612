#include "html_text.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <vector>

#include "charset.h"

namespace quelta_host {

namespace {

// ---- Character references --------------------------------------------------------

// The Latin-1 names of HTML 4, for U+00A0..U+00FF in order; browsers also
// take these without the closing ";".
constexpr const char* kLatin1Names =
    "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg "
    "plusmn sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest "
    "Agrave Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute "
    "Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml "
    "Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil egrave eacute ecirc "
    "euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash "
    "ugrave uacute ucirc uuml yacute thorn yuml";

struct Entity {
  const char* name;
  char32_t cp;
};
// The rest of HTML 4 (and &apos;).
constexpr Entity kEntities[] = {
    {"quot", 34},      {"amp", 38},      {"lt", 60},       {"gt", 62},       {"apos", 39},
    {"OElig", 338},    {"oelig", 339},   {"Scaron", 352},  {"scaron", 353},  {"Yuml", 376},
    {"fnof", 402},     {"circ", 710},    {"tilde", 732},   {"ensp", 8194},   {"emsp", 8195},
    {"thinsp", 8201},  {"zwnj", 8204},   {"zwj", 8205},    {"lrm", 8206},    {"rlm", 8207},
    {"ndash", 8211},   {"mdash", 8212},  {"lsquo", 8216},  {"rsquo", 8217},  {"sbquo", 8218},
    {"ldquo", 8220},   {"rdquo", 8221},  {"bdquo", 8222},  {"dagger", 8224}, {"Dagger", 8225},
    {"bull", 8226},    {"hellip", 8230}, {"permil", 8240}, {"prime", 8242},  {"Prime", 8243},
    {"lsaquo", 8249},  {"rsaquo", 8250}, {"oline", 8254},  {"frasl", 8260},  {"euro", 8364},
    {"image", 8465},   {"weierp", 8472}, {"real", 8476},   {"trade", 8482},  {"alefsym", 8501},
    {"larr", 8592},    {"uarr", 8593},   {"rarr", 8594},   {"darr", 8595},   {"harr", 8596},
    {"crarr", 8629},   {"lArr", 8656},   {"uArr", 8657},   {"rArr", 8658},   {"dArr", 8659},
    {"hArr", 8660},    {"forall", 8704}, {"part", 8706},   {"exist", 8707},  {"empty", 8709},
    {"nabla", 8711},   {"isin", 8712},   {"notin", 8713},  {"ni", 8715},     {"prod", 8719},
    {"sum", 8721},     {"minus", 8722},  {"lowast", 8727}, {"radic", 8730},  {"prop", 8733},
    {"infin", 8734},   {"ang", 8736},    {"and", 8743},    {"or", 8744},     {"cap", 8745},
    {"cup", 8746},     {"int", 8747},    {"there4", 8756}, {"sim", 8764},    {"cong", 8773},
    {"asymp", 8776},   {"ne", 8800},     {"equiv", 8801},  {"le", 8804},     {"ge", 8805},
    {"sub", 8834},     {"sup", 8835},    {"nsub", 8836},   {"sube", 8838},   {"supe", 8839},
    {"oplus", 8853},   {"otimes", 8855}, {"perp", 8869},   {"sdot", 8901},   {"lceil", 8968},
    {"rceil", 8969},   {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001},   {"rang", 9002},
    {"loz", 9674},     {"spades", 9824}, {"clubs", 9827},  {"hearts", 9829}, {"diams", 9830},
    {"thetasym", 977}, {"upsih", 978},   {"piv", 982},     {"sigmaf", 962},
};
// Greek letters: the capitals from U+0391, the small ones (first letter in
// small) from U+03B1; "-" marks U+03A2, which has none (its small form is
// the final sigma, "sigmaf").
constexpr const char* kGreekNames =
    "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi Rho - "
    "Sigma Tau Upsilon Phi Chi Psi Omega";

struct References {
  std::unordered_map<std::string, char32_t> all;     // with ";"
  std::unordered_map<std::string, char32_t> legacy;  // also without ";"
};

std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::string w;
  for (const char* p = text;; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!w.empty()) words.push_back(w);
      w.clear();
      if (*p == '\0') return words;
    } else {
      w += *p;
    }
  }
}

const References& Refs() {
  static const References refs = [] {
    References r;
    char32_t latin1 = 0xA0;
    for (const std::string& name : Words(kLatin1Names)) {
      r.all[name] = latin1;
      r.legacy[name] = latin1++;
    }
    for (const Entity& e : kEntities) r.all[e.name] = e.cp;
    for (const char* n : {"amp", "lt", "gt", "quot"}) r.legacy[n] = r.all[n];
    char32_t greek = 0x391;
    for (const std::string& name : Words(kGreekNames)) {
      if (name != "-") {
        std::string small = name;
        small[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(small[0])));
        r.all[name] = greek;
        r.all[small] = greek + 0x20;
      }
      ++greek;
    }
    return r;
  }();
  return refs;
}

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Decodes the reference at s[i] == '&' into out; returns the position after
// it, or i + 1 with "&" appended when none begins there.
std::size_t DecodeReference(std::string_view s, std::size_t i, std::string& out) {
  std::size_t p = i + 1;
  if (p < s.size() && s[p] == '#') {
    const bool hex = p + 1 < s.size() && (s[p + 1] == 'x' || s[p + 1] == 'X');
    std::size_t q = p + (hex ? 2 : 1);
    const std::size_t digitsFrom = q;
    std::uint32_t v = 0;
    while (q < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[q]))
                                : std::isdigit(static_cast<unsigned char>(s[q])))) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[q])));
      const std::uint32_t d =
          c >= 'a' ? static_cast<std::uint32_t>(c - 'a' + 10) : static_cast<std::uint32_t>(c - '0');
      v = std::min<std::uint32_t>(v * (hex ? 16 : 10) + d, 0x110000);
      ++q;
    }
    if (q == digitsFrom) {
      out += '&';
      return i + 1;
    }
    if (q < s.size() && s[q] == ';') ++q;
    char32_t cp = v;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp >= 0x80 && cp < 0xA0) cp = Cp1252ToUnicode(static_cast<unsigned char>(cp));
    AppendUtf8(out, cp);
    return q;
  }
  std::size_t q = p;
  while (q < s.size() && q - p < 32 && IsAlnum(s[q])) ++q;
  const References& refs = Refs();
  if (q < s.size() && s[q] == ';') {
    const auto it = refs.all.find(std::string(s.substr(p, q - p)));
    if (it != refs.all.end()) {
      AppendUtf8(out, it->second);
      return q + 1;
    }
  }
  for (std::size_t n = std::min<std::size_t>(q - p, 6); n >= 2; --n) {
    const auto it = refs.legacy.find(std::string(s.substr(p, n)));
    if (it != refs.legacy.end()) {
      AppendUtf8(out, it->second);
      return p + n;
    }
  }
  out += '&';
  return i + 1;
}

std::string DecodeReferences(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '&') {
      i = DecodeReference(s, i, out);
    } else {
      out += s[i++];
    }
  }
  return out;
}

// ---- Markup ----------------------------------------------------------------------------

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// The first place from `from` on where `lowerNeedle` (lower case, beginning
// with "<") stands, in any case.
std::size_t FindNoCase(std::string_view s, const std::string& lowerNeedle, std::size_t from) {
  for (std::size_t p = s.find('<', from); p != std::string_view::npos; p = s.find('<', p + 1)) {
    if (p + lowerNeedle.size() > s.size()) break;
    std::size_t k = 0;
    while (k < lowerNeedle.size() &&
           std::tolower(static_cast<unsigned char>(s[p + k])) == lowerNeedle[k])
      ++k;
    if (k == lowerNeedle.size()) return p;
  }
  return std::string_view::npos;
}

struct Tag {
  enum Kind { kNone, kElement, kOther } kind = kNone;  // kOther: comment, declaration
  std::string name;                                    // lower case
  bool closing = false;
  bool selfClosing = false;
  std::string attributes;  // as written
  std::size_t end = 0;     // position after the markup
};

// The markup beginning at s[i] == '<'; kind kNone when "<" begins none.
Tag ParseTag(std::string_view s, std::size_t i) {
  Tag t;
  std::size_t p = i + 1;
  if (s.substr(p, 3) == "!--") {
    const std::size_t e = s.find("-->", p + 3);
    t.kind = Tag::kOther;
    t.end = e == std::string_view::npos ? s.size() : e + 3;
    return t;
  }
  const bool closing = p < s.size() && s[p] == '/';
  if (closing) ++p;
  if (p >= s.size()) return t;
  if (!std::isalpha(static_cast<unsigned char>(s[p]))) {
    if (closing || s[p] == '!' || s[p] == '?') {  // a declaration or a bogus comment
      const std::size_t e = s.find('>', p);
      t.kind = Tag::kOther;
      t.end = e == std::string_view::npos ? s.size() : e + 1;
    }
    return t;
  }
  std::size_t q = p;
  while (q < s.size() && !IsSpace(s[q]) && s[q] != '/' && s[q] != '>') ++q;
  t.kind = Tag::kElement;
  t.closing = closing;
  t.name = Lower(s.substr(p, q - p));
  const std::size_t attrFrom = q;
  char quote = 0;
  bool afterEquals = false;
  for (; q < s.size(); ++q) {
    const char c = s[q];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '>') break;
    if (afterEquals && (c == '"' || c == '\'')) quote = c;
    if (c == '=')
      afterEquals = true;
    else if (!IsSpace(c))
      afterEquals = false;
  }
  t.attributes = std::string(s.substr(attrFrom, q - attrFrom));
  t.end = q < s.size() ? q + 1 : s.size();
  const std::size_t last = t.attributes.find_last_not_of(" \t\r\n\f");
  t.selfClosing = last != std::string::npos && t.attributes[last] == '/';
  return t;
}

bool In(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

bool IsVoid(const std::string& name) {
  return In(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                   "param", "source", "track", "wbr"});
}

// Elements whose content is never shown.
bool IsRawSkipped(const std::string& name) {
  return In(name, {"script", "style", "title", "template"});
}

// Blocks with an empty line around them, and blocks that only start and
// end lines.
int BlockBreaks(const std::string& name) {
  if (In(name,
         {"p", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "dl", "table", "blockquote", "pre"}))
    return 2;
  if (In(name,
         {"div",     "li",         "tr",     "dt",      "dd",     "hr",      "address", "center",
          "section", "article",    "header", "footer",  "nav",    "aside",   "form",    "fieldset",
          "figure",  "figcaption", "main",   "caption", "legend", "details", "summary"}))
    return 1;
  return 0;
}

bool IsHidden(const std::string& attributes) {
  const std::string a = Lower(attributes);
  std::string compact;
  for (char c : a)
    if (!IsSpace(c)) compact += c;
  if (compact.find("display:none") != std::string::npos) return true;
  for (std::size_t p = a.find("hidden"); p != std::string::npos; p = a.find("hidden", p + 1)) {
    const bool startsName = p == 0 || IsSpace(a[p - 1]);
    const std::size_t e = p + 6;
    const bool endsName = e == a.size() || IsSpace(a[e]) || a[e] == '=' || a[e] == '/';
    if (startsName && endsName) return true;
  }
  return false;
}

// Collects text the way a browser lays it out: pending blanks and line
// breaks are written only before the next visible character.
class TextBuilder {
 public:
  void Text(std::string_view s, bool pre) {
    for (char c : s) {
      if (pre) {
        if (c == '\r') continue;  // CR LF and LF alike
        Flush();
        out_ += c;
      } else if (IsSpace(c)) {
        space_ = true;
      } else {
        Flush();
        out_ += c;
      }
    }
  }
  void Block(int breaks) { breaks_ = std::max(breaks_, breaks); }
  void LineBreak() { ++breaks_; }
  void Blank() { space_ = true; }
  std::string Finish() {
    TrimLine();
    return std::move(out_);
  }

 private:
  void TrimLine() {
    while (!out_.empty() && out_.back() == ' ') out_.pop_back();
  }
  void Flush() {
    if (breaks_ > 0) {
      TrimLine();
      if (!out_.empty()) out_.append(static_cast<std::size_t>(std::min(breaks_, 2)), '\n');
      breaks_ = 0;
      space_ = false;
    } else if (space_) {
      if (!out_.empty() && out_.back() != '\n') out_ += ' ';
      space_ = false;
    }
  }
  std::string out_;
  bool space_ = false;
  int breaks_ = 0;
};

}  // namespace

std::string HtmlToText(std::string_view html) {
  TextBuilder text;
  int pre = 0;
  std::string hiddenName;  // the element being hidden, and how deep
  int hiddenDepth = 0;
  std::size_t i = 0;
  while (i < html.size()) {
    std::size_t lt = html.find('<', i);
    if (lt == std::string_view::npos) lt = html.size();
    if (lt > i && hiddenDepth == 0) text.Text(DecodeReferences(html.substr(i, lt - i)), pre > 0);
    if (lt == html.size()) break;
    const Tag tag = ParseTag(html, lt);
    if (tag.kind == Tag::kNone) {  // a lone "<" is text
      if (hiddenDepth == 0) text.Text("<", pre > 0);
      i = lt + 1;
      continue;
    }
    i = tag.end;
    if (tag.kind != Tag::kElement) continue;
    if (hiddenDepth > 0) {
      if (tag.name == hiddenName && !IsVoid(tag.name) && !tag.selfClosing)
        hiddenDepth += tag.closing ? -1 : 1;
      continue;
    }
    if (!tag.closing && IsRawSkipped(tag.name) && !tag.selfClosing) {
      // Up to the matching end tag, which is the first one in raw text.
      const std::size_t close = FindNoCase(html, "</" + tag.name, i);
      const std::size_t gt = close == std::string_view::npos ? close : html.find('>', close);
      i = gt == std::string_view::npos ? html.size() : gt + 1;
      continue;
    }
    if (!tag.closing && !IsVoid(tag.name) && !tag.selfClosing && IsHidden(tag.attributes)) {
      hiddenName = tag.name;
      hiddenDepth = 1;
      continue;
    }
    if (tag.name == "br") {
      text.LineBreak();
    } else if (tag.name == "td" || tag.name == "th") {
      text.Blank();
    } else if (const int breaks = BlockBreaks(tag.name)) {
      text.Block(breaks);
      if (tag.name == "pre") pre = std::max(0, pre + (tag.closing ? -1 : 1));
    }
  }
  return text.Finish();
}

std::string HtmlMetaCharset(std::string_view html) {
  // Each <meta ...> up to its first ">", so that the search stays linear.
  const std::string lower = Lower(html);
  for (std::size_t p = lower.find("<meta"); p != std::string::npos;
       p = lower.find("<meta", p + 1)) {
    const std::size_t end = lower.find('>', p);
    if (end == std::string::npos) break;
    const std::string tag = lower.substr(p + 5, end - p - 5);
    p = end;
    const std::size_t c = tag.find("charset");
    if (tag.empty() || !IsSpace(tag[0]) || c == std::string::npos) continue;
    std::size_t v = c + 7;
    while (v < tag.size() && (IsSpace(tag[v]) || tag[v] == '=' || tag[v] == '"' || tag[v] == '\''))
      ++v;
    std::size_t e = v;
    while (e < tag.size() && !IsSpace(tag[e]) &&
           std::string_view("\"';/").find(tag[e]) == std::string_view::npos)
      ++e;
    if (e > v) return tag.substr(v, e - v);
  }
  return std::string();
}

}  // namespace quelta_host
