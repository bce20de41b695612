// The address-book reader over hand-built books (valid, empty, truncated,
// hostile, randomly damaged) and the set of books the checks read, shared
// or private.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "lists/address_book.h"
#include "support/data_files.h"
#include "support/scratch_dir.h"

namespace quelta {
namespace {

using testing_support::LE32;
constexpr auto Book = &testing_support::AddressBookFile;

// Record data holding an address field: `lead` filler bytes, the marker
// 9D FF FF FF, the length, the text and `tail` filler bytes.
std::string AddressData(const std::string& text, std::size_t lead = 5, std::size_t tail = 3,
                        std::int64_t length = -1) {
  return std::string(lead, 'x') + "\x9D\xFF\xFF\xFF" +
         LE32(static_cast<std::uint32_t>(length >= 0 ? length : static_cast<std::int64_t>(text.size()))) +
         text + std::string(tail, 'y');
}

struct BookRecord {
  std::string data;
  std::uint32_t size = 1;  // the index entry's record size (0 and -1: skipped)
};

// Header, one index slot per record, then the records; `after` at the end.
std::string BuildBook(const std::vector<BookRecord>& recs, const std::string& after = "",
                      std::uint32_t magic = kAddrBookMagic) {
  std::string index, records;
  for (const BookRecord& r : recs) {
    index += LE32(0xABCDEF01u) + LE32(r.size) + LE32(static_cast<std::uint32_t>(records.size())) + "\x33";
    records += std::string(16, '\x11') + LE32(static_cast<std::uint32_t>(r.data.size())) +
               std::string(8, '\x22') + r.data;
  }
  const std::uint32_t k = static_cast<std::uint32_t>(recs.size());
  return LE32(magic) + LE32(24) + LE32(7) + LE32(9) + LE32(k) + LE32(k) + index + records + after;
}

// The book with the 32-bit value at `at` replaced.
std::string With(std::string book, std::size_t at, std::uint32_t value) {
  return book.replace(at, 4, LE32(value));
}

const std::string& kWrong = AddrBookWrongFormat();

TEST(AddressBookReader, Books) {
  std::string big = AddressData("big@example.org");
  big.resize(kAddrBookMaxData, 'z');
  const std::string lastEight = std::string(6, 'x') + "\x9D\xFF\xFF\xFF" + LE32(11);
  const std::string oneLater = "x" + lastEight.substr(0, lastEight.size() - 1);
  const std::string one = Book({"a@b.cd"});
  const std::pair<std::string, std::string> cases[] = {
      {BuildBook({{AddressData("  Ann@Example.org \t")},
                  {AddressData("")},
                  {"no marker in this record at all"},
                  {AddressData("x", 0, 0), 0},
                  {AddressData("y", 0, 0), 0xFFFFFFFFu},
                  {AddressData(std::string("bob@example.net\0junk", 20))},
                  {AddressData("carol@example.com")}}),
       "<Ann@Example.org><bob@example.net><carol@example.com>"},
      {BuildBook({}), ""}, {Book({"", "   "}), ""}, {Book({"a@b.cd\r\nc@d.ef", "x"}), "<a@b.cd><c@d.ef><x>"},
      {Book({"<a@b.cd>"}), "<<a@b.cd>>"}, {Book({"<", ">"}), "<>"}, {With(one, 0, kAddrBookMagic + 1), kWrong},
      {"", kWrong}, {BuildBook({{big}}), "<big@example.org>"},
      {BuildBook({{AddressData("ok@x.org")}, {big + "z"}}), kWrong},
      // An address length reaching past the record reads on in the file,
      // but never past its end nor beyond the limit.
      {BuildBook({{AddressData("a@b.cd", 5, 3, 10)}}, "Z"), "<a@b.cdyyyZ>"},
      {BuildBook({{AddressData("a@b.cd", 5, 3, 11)}}, "Z"), kWrong},
      {BuildBook({{AddressData("a@b.cd", 5, 3, kAddrBookMaxData + 1)}}, std::string(11000, 'q')), kWrong},
      // Marker and length in the last eight bytes of the record data.
      {BuildBook({{lastEight}}, "end@example"), "<end@example>"}, {BuildBook({{oneLater}}, "end@example."), ""},
      {BuildBook({{lastEight.substr(6)}}, "end@example"), "<end@example>"},
      {BuildBook({{"xxx\x9D\xFF\xFF"}}), ""},
      // Index base, slot count, entry count and record offset near 2^32.
      {With(With(one, 4, 0xFFFFFFFFu), 20, 0xFFFFFFFFu), kWrong}, {With(one, 16, 0xFFFFFFFFu), kWrong},
      {With(one, 24 + 8, 0xFFFFFFF0u), kWrong},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadAddressBookBytes(c.first), c.second);
  const std::string good = Book({"a@example.org", "b@example.org"});
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_EQ(ReadAddressBookBytes(good.substr(0, cut)), kWrong) << cut;
  // 6,600 index entries naming one record with a 10,240-byte address would
  // make more than 64 MiB of text.
  std::string huge = BuildBook({{AddressData(std::string(10240, 'a'), 0, 0)}});
  const std::string slot = huge.substr(24, 13);
  for (int i = 1; i < 6600; ++i) huge.insert(24, slot);
  huge = With(With(huge, 16, 6600), 20, 6600);
  EXPECT_EQ(ReadAddressBookBytes(huge), kWrong);
}

// Randomly damaged books: the reader ends with the marker or an angle list
// made of bytes of the book.
TEST(AddressBookReader, RandomlyDamagedBooks) {
  const std::string good = Book({"ann@example.org", "bob@example.net", "carol@example.com"});
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    std::string book = good;
    for (int k = 1 + static_cast<int>(rng() % 6); k > 0; --k) book[rng() % book.size()] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
    const std::string text = ReadAddressBookBytes(book);
    if (text == kWrong || text.empty()) continue;
    ASSERT_TRUE(text.front() == '<' && text.back() == '>' && text.size() <= 2 * book.size()) << text;
  }
}

class AddressBookSetTest : public ::testing::Test {
 protected:
  testing_support::ScratchDir dir_;
  AddressBookSet set_{dir_.Folder()};
};

TEST_F(AddressBookSetTest, SharedAndPrivateReads) {
  dir_.Write("a.abd", Book({"ann@example.org"}));
  dir_.Write("b.abd", Book({"bob@example.org", "bea@example.org"}));
  dir_.Write("TheBat.ABD", Book({"def@example.org"}));
  std::string text = "before", report, defaultBook = "before";
  EXPECT_TRUE(set_.ReadPrivate("   ", defaultBook, report) && set_.ReadPrivate(dir_.File("b.abd"), text, report));
  EXPECT_EQ(defaultBook + text, "<def@example.org><bob@example.org><bea@example.org>");
  EXPECT_FALSE(set_.Contains("<bob@example.org>"));  // private reads merge nothing
  set_.Merge(dir_.File("a.abd"), report);
  set_.Merge(" b.abd ", report);  // a bare name: the host's folder
  EXPECT_TRUE(set_.Contains("<BEA@example.ORG>") && set_.Contains("<ann@example.org>"));
  // A merged book is not read again, even under another letter case or
  // after it changed.
  dir_.Write("a.abd", Book({"new@example.org"}));
  dir_.Write("A.ABD", Book({"new@example.org"}));
  set_.Merge(dir_.File("a.abd"), report);
  set_.Merge(dir_.File("A.ABD"), report);
  EXPECT_FALSE(set_.Contains("<new@example.org>") || set_.Contains(""));
  EXPECT_EQ(report, "");
}

TEST_F(AddressBookSetTest, ProblemsAreReportedAtEveryUse) {
  dir_.Write("bad.abd", "not a book");
  dir_.Write("empty.abd", BuildBook({}));
  for (int round = 0; round < 2; ++round) {
    std::string report;
    set_.Merge("bad.abd", report);
    set_.Merge(" empty.abd", report);
    set_.Merge("nosuch.abd", report);
    EXPECT_EQ(report,
              "ERROR: Address book file \"bad.abd\" has a wrong format!\r\n"
              "WARNING: Address book file \"empty.abd\" is empty!\r\n"
              "ERROR: Address book file \"nosuch.abd\" not found!\r\n");
  }
  std::string text = "kept", report;
  EXPECT_FALSE(set_.ReadPrivate("bad.abd", text, report));
  EXPECT_EQ(text + "|" + report, "kept|ERROR: Address book file \"bad.abd\" has a wrong format!\r\n");
  EXPECT_EQ(ReadAddressBook(dir_.File("nosuch.abd")), kWrong);
}

}  // namespace
}  // namespace quelta
