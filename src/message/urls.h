// URLs, domains and e-mail addresses in message text: finding URLs and
// addresses, reducing host names to registered domains, decoding URL
// escapes, and parsing address headers into names and addresses.
//
// Promises: no function throws or fails (malformed input gives empty
// results); every function runs in about linear time in its input; lower
// case means ASCII lower-casing.
//
// List formats: a quoted list starts with '"' and every item is followed by
// '"'; an angle list is every item between '<' and '>', adjacent; an address
// list is name + '\x02' + address + '\x01' per entry.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace quelta {

// The two-level domain suffixes of "SubDomains.lst" ("co.uk", one lower-case
// suffix per line): a host below one of them keeps three labels as its
// registered domain. The file is read again whenever its size changes, so a
// list edited while the plug-in runs takes effect. Safe to share between
// threads.
class SubDomainList {
 public:
  explicit SubDomainList(std::string file);
  SubDomainList(const SubDomainList&) = delete;
  SubDomainList& operator=(const SubDomainList&) = delete;
  // Whether suffix is a line of the file (false when the file is unreadable).
  bool Contains(const std::string& suffix) const;

 private:
  std::string file_;
  mutable std::mutex mutex_;
  mutable std::int64_t size_ = -1;
  mutable bool present_ = false;
  mutable std::unordered_set<std::string> lines_;
};

// ---- URLs and domains -------------------------------------------------------

// text with '+' -> ' ', "&amp;" "&lt;" "&gt;" -> '&' '<' '>', "%hh" -> the
// byte (a '%' with non-hex digits yields nothing; when the two characters
// after a '%' are fewer than two once trimmed - the text ends, or one is a
// blank or control - the text ends there).
std::string UrlUnescape(const std::string& text);
// Registered domain of a URL or host name, lower case: "http://www.a.com/x"
// -> "a.com"; three labels when the last two form a line of the two-level
// list ("news.a.co.uk" -> "a.co.uk"); a dotted IPv4 host is returned as is.
// No list (null) makes every domain two-level.
std::string UrlDomain(const std::string& url, const SubDomainList* twoLevel);
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
std::string UrlDomainList(const std::string& urlList, const SubDomainList* twoLevel);

// ---- E-mail addresses -------------------------------------------------------

// Angle list of the distinct e-mail addresses found in text, lower case.
std::string FindEmails(const std::string& text);
// Quoted list of the text after the first '@' of every address of an angle
// list of addresses (duplicates kept); "" when none.
std::string EmlDomainList(const std::string& emlList);

struct AddressEntry {
  std::string name, addr;
};
// Address list of an address header value: per entry display name + '\x02'
// + address + '\x01'; "" for an empty value; errorValue if parsing fails.
std::string ParseAddressList(const std::string& value, const std::string& errorValue = "");
// The entries of an address list as ParseAddressList builds it.
std::vector<AddressEntry> AddressEntries(const std::string& addressList);
// "<" + address + ">" for every entry of the header value, joined by CR LF
// (none after the last); "" when there is none.
std::string AddressLines(const std::string& value);

}  // namespace quelta
