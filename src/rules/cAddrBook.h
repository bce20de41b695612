// cAddrBook: the host's binary address-book files. ReadAddressBook turns a
// book into an angle list of its e-mail addresses (index order, empty ones
// removed) or into the one-byte wrong-format marker; LoadAddressBook finds a
// book for an internal check and either reads it privately or merges it
// once into the process-wide book text that every shared-read check tests.
//
// Promises: the reader trusts no byte of the file: it never reads past the
// end, never allocates more than one record (at most 10249 bytes) from a
// length it found in the file, and never throws for any content; a short
// file, an oversized length or a wrong magic all give the marker. A book is
// merged at most once per process (until ResetAddressBooks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rules/cListText.h"

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

// Random access to the bytes of a book.
class TAddrBookSource {
 public:
  virtual ~TAddrBookSource() = default;
  // Exactly `size` bytes at `offset` into buf; false when fewer exist.
  virtual bool ReadAt(std::uint64_t offset, void* buf, std::size_t size) = 0;
};

// Reads a book from the file at `path` (opened read-only).
std::string ReadAddressBook(const std::string& path);
// The same reader over bytes in memory (tests, fuzzing).
std::string ReadAddressBookBytes(const std::string& bytes);
std::string ReadAddressBookFrom(TAddrBookSource& src);

// Resolves `bookName` (empty: the host's default book "TheBat.ABD"; a name
// that is no existing file is tried in the host working folder) and reads
// it. addrText == marker on entry: shared read, the book is merged into the
// process-wide text unless already merged; anything else: private read,
// addrText becomes the book's text. Problems are appended to report as
// "ERROR: ..." / "WARNING: ..." lines ending in CR LF.
void LoadAddressBook(const std::string& bookName, std::string& addrText, std::string& report);

// The process-wide merged book text and the list of merged books
// ("|" path1 "|" path2 "|" ...).
struct TAddrBookState {
  std::string Merged;
  std::string Loaded = "|";
  listtext::TAngleIndex Index;  // over Merged
};
TAddrBookState& AddrBooks();
// Forgets every merged book (tests only; the plug-in never clears it).
void ResetAddressBooks();

}  // namespace quelta
