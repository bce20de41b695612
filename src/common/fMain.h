// fMain: small text helpers shared by every subsystem (trimming, case,
// number parsing, tokens, searching, replacing, IPv4 tests, CRC-32), and the
// URL, e-mail and address helpers the message fields are built from.
//
// Promises: no helper throws or fails; malformed input gives empty results.
// Lower case here means ASCII lower-casing (only 'A'..'Z' change). Positions
// are 0-based. Every helper runs in about linear time in its input.
//
// List formats: a quoted list starts with '"' and every item is followed by
// '"'; an angle list is every item between '<' and '>', adjacent; an address
// list is name + '\x02' + address + '\x01' per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quelta {

// ---- Basics ----------------------------------------------------------------

// s without leading and trailing characters <= ' ' (blanks and controls).
std::string Trim(const std::string& s);
// The same trim on a view, without copying.
std::string_view TrimView(std::string_view s);
// s without leading characters <= ' '.
std::string TrimLeft(const std::string& s);
// s without trailing characters <= ' '.
std::string TrimRight(const std::string& s);
// s with 'A'..'Z' lowered; every other byte unchanged.
std::string AsciiLower(const std::string& s);
// s with 'a'..'z' raised; every other byte unchanged.
std::string AsciiUpper(const std::string& s);
// True when s is a whole signed 32-bit decimal (optional '+'/'-', digits
// only, no blanks); its value goes to out.
bool TryStrToInt(const std::string& s, std::int32_t& out);
// Value of s as TryStrToInt reads it, else def.
std::int32_t StrToIntDef(const std::string& s, std::int32_t def);
// True when s is a whole signed 64-bit decimal; its value goes to out.
bool TryStrToInt64(const std::string& s, std::int64_t& out);
// Value of s as TryStrToInt64 reads it, else def.
std::int64_t StrToInt64Def(const std::string& s, std::int64_t def);

// ---- Tokens and searching ---------------------------------------------------

// The n-th piece (n from 1) of text + delim split at delim; "" when there
// is no n-th piece (or n < 1). An empty delim makes text the only piece.
std::string GetToken(const std::string& text, const std::string& delim, int n);
// Number of occurrences of sub in text, overlapping ones included; 0 for "".
int CountOf(const std::string& text, const std::string& sub);
// The first n characters of s (all of s when shorter; "" for n <= 0).
std::string LeftStr(const std::string& s, int n);
// The last n characters of s (all of s when shorter; "" for n <= 0).
std::string RightStr(const std::string& s, int n);
// Up to count characters of s from the 0-based position pos (clamped).
std::string MidStr(const std::string& s, int pos, int count);
// text with every occurrence of find replaced by repl; after each
// replacement the search resumes one character after the start of the
// inserted text (so "  " -> " " leaves no run longer than two). With
// ignoreCase the text is ASCII-lowered first (the result is lower case
// apart from repl). When repl itself contains find after its first
// character, the search resumes after the inserted text instead (which
// would otherwise never end).
std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& repl, bool ignoreCase = false);
// 0-based position of the first character of text that is in delimiters; -1 if none.
int FirstDelimiter(const std::string& delimiters, const std::string& text);
// True for exactly four '.'-separated pieces each a whole number 0..255.
bool IsIPv4(const std::string& text);
// True when text starts (ignoring ASCII case) with one of the reserved
// prefixes "10.", "127.", "169.254.", "172.31.", "191.255.", "192.0.0.",
// "192.168.", "223.255.255.".
bool IsReservedAddress(const std::string& text);
// True when every character is '0'..'9' (also for "").
bool IsDigitsOnly(const std::string& text);
// Standard CRC-32 (reflected polynomial 0xEDB88320, initial value all ones,
// result complemented).
std::uint32_t Crc32(const std::string& text);
// The byte spelled by two hexadecimal digits (either case); -1 when either
// is not a hexadecimal digit.
int HexPairToByte(char hi, char lo);
// True when s contains '"' + item + '"' (item membership in a quoted list).
bool QuotedListHas(const std::string& quotedList, const std::string& item);
// The items of a quoted list: the pieces between two '"' after making sure
// the text starts and ends with '"' (empty pieces included).
std::vector<std::string> QuotedListItems(const std::string& quotedList);

// ---- URLs and domains -------------------------------------------------------

// text with '+' -> ' ', "&amp;" "&lt;" "&gt;" -> '&' '<' '>', "%hh" -> the
// byte (a '%' with non-hex digits yields nothing; when the two characters
// after a '%' are fewer than two once trimmed - the text ends, or one is a
// blank or control - the text ends there).
std::string UrlUnescape(const std::string& text);
// Registered domain of a URL or host name, lower case: "http://www.a.com/x"
// -> "a.com"; three labels when the last two form a line of SubDomains.lst
// ("news.a.co.uk" -> "a.co.uk"); a dotted IPv4 host is returned as is.
std::string UrlDomain(const std::string& url);
// As UrlDomain, with the two-level suffix list read from subDomainsFile
// ("" means no list).
std::string UrlDomainWith(const std::string& url, const std::string& subDomainsFile);
// URLs at each occurrence of marker ("http://", "https://" or "www.") in
// text, case as written, each followed by '"' (no leading '"'), without
// duplicates; "" when none. withArgs keeps "?" and "&" arguments. A list
// that would pass max(1 MiB, 4 x text) (only nested markers do that) ends early.
std::string FindUrls(const std::string& text, const std::string& marker, bool withArgs);
// The raw URL list of a text: FindUrls for "http://", '"', for "https://",
// '"', for "www.", '"'.
std::string RawUrlList(const std::string& text, bool withArgs);
// Quoted list of UrlUnescape of every piece of a raw URL list (empty pieces kept).
std::string UrlListFromRaw(const std::string& rawUrlList);
// Quoted list of the distinct non-empty UrlDomain of every item of a URL
// list (items lower-cased first); "" when there is none.
std::string UrlDomainList(const std::string& urlList);

// ---- E-mail addresses -------------------------------------------------------

// Angle list of the distinct e-mail addresses found in text, lower case.
std::string FindEmails(const std::string& text);
// Quoted list of the text after the first '@' of every address of an angle
// list of addresses (duplicates kept); "" when none.
std::string EmlDomainList(const std::string& emlList);

struct TAddressEntry {
  std::string Name, Addr;
};
// Address list of an address header value: per entry display name + '\x02'
// + address + '\x01'; "" for an empty value; errorValue if parsing fails.
std::string ParseAddressList(const std::string& value, const std::string& errorValue = "");
// The entries of an address list as ParseAddressList builds it.
std::vector<TAddressEntry> AddressEntries(const std::string& addressList);
// "<" + address + ">" for every entry of the header value, joined by CR LF
// (none after the last); "" when there is none.
std::string AddressLines(const std::string& value);

}  // namespace quelta
