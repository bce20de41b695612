// The host's binary address-book files. ReadAddressBook turns a book into
// an angle list of its e-mail addresses (index order, empty ones removed) or
// into the one-byte wrong-format marker; AddressBookSet finds a book for an
// internal check and either reads it privately or merges it once into the
// book text that every shared-read check tests.
//
// Promises: the reader trusts no byte of the file: it never reads past the
// end, never allocates more than one record (at most 10249 bytes) from a
// length it found in the file, and never throws for any content; a short
// file, an oversized length or a wrong magic all give the marker. A book is
// merged at most once per set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lists/angle_index.h"

namespace quelta {

constexpr std::uint32_t kAddrBookMagic = 0x19988991u;
// Largest record data length and address text length the reader accepts.
constexpr std::uint32_t kAddrBookMaxData = 10249u;
// A hostile book can point many index entries at one large record; a book
// whose address text would grow beyond this many bytes counts as wrong
// format instead of exhausting memory.
constexpr std::size_t kAddrBookMaxText = 64u * 1024u * 1024u;

// The wrong-format marker: one byte 0x00 (never a valid angle list).
const std::string& AddrBookWrongFormat();

// Reads a book from the file at `path` (opened read-only).
std::string ReadAddressBook(const std::string& path);
// The same reader over bytes in memory (tests, fuzzing).
std::string ReadAddressBookBytes(const std::string& bytes);

// The host's books that the shared-read checks test, each merged once into
// one address text; and the private reads of single books. A book name is
// resolved as given (empty: the host's default book "TheBat.ABD"), else in
// the host's working folder. Problems are appended to a report as
// "ERROR: ..." / "WARNING: ..." lines ending in CR LF. One caller at a time.
class AddressBookSet {
 public:
  explicit AddressBookSet(std::string hostDir);
  // Merges the book unless it was merged before.
  void Merge(const std::string& bookName, std::string& report);
  // The book's address text alone into addrText; false (addrText unchanged)
  // when the report got a line.
  bool ReadPrivate(const std::string& bookName, std::string& addrText, std::string& report) const;
  // Whether the merged text contains needle, ignoring case.
  bool Contains(const std::string& needle) const { return index_.Contains(needle); }

 private:
  bool Resolve(const std::string& bookName, std::string& path, std::string& report) const;
  static bool ReadChecked(const std::string& bookName, const std::string& path, std::string& text,
                          std::string& report);
  std::string hostDir_;
  std::string merged_;
  std::string loaded_ = "|";  // "|" path1 "|" path2 "|" ...
  AngleIndex index_;          // over merged_
};

}  // namespace quelta
