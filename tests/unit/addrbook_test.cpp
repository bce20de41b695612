// The address-book reader over hand-built books (valid, empty, hostile) and
// the shared and private reads across several books.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "os/env.h"
#include "app/session.h"
#include "lists/address_book.h"

namespace fs = std::filesystem;
using quelta::AddrBookWrongFormat;
using quelta::ReadAddressBookBytes;

namespace {

void PutLe32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Record data holding an address field: `lead` bytes of filler, the marker
// 9D FF FF FF, the length, the text, and `tail` bytes of filler.
std::string AddressData(const std::string& text, std::size_t lead = 5, std::size_t tail = 3) {
  std::string d(lead, 'x');
  d += "\x9D\xFF\xFF\xFF";
  PutLe32(d, static_cast<std::uint32_t>(text.size()));
  d += text;
  d += std::string(tail, 'y');
  return d;
}

// One index entry of the writer: record data, or a skipped slot.
struct BookRecord {
  std::string data;
  std::uint32_t size = 1;                // the index entry's record size
  std::int64_t lengthOverride = -1;      // written instead of data.size()
};

// Writes a book: header, index (one slot per record) right after it, then
// the data area with every record. `after` is appended at the very end.
std::string BuildBook(const std::vector<BookRecord>& recs, std::uint32_t magic = 0x19988991u,
                      std::int64_t countOverride = -1, const std::string& after = "") {
  const std::uint32_t base = 24;
  const std::uint32_t k = static_cast<std::uint32_t>(recs.size());
  std::string records;
  std::vector<std::uint32_t> offsets;
  for (const BookRecord& r : recs) {
    offsets.push_back(static_cast<std::uint32_t>(records.size()));
    records += std::string(16, '\x11');
    PutLe32(records, static_cast<std::uint32_t>(r.lengthOverride >= 0 ? r.lengthOverride
                                                                      : r.data.size()));
    records += std::string(8, '\x22');
    records += r.data;
  }
  std::string book;
  PutLe32(book, magic);
  PutLe32(book, base);
  PutLe32(book, 7);
  PutLe32(book, 9);
  PutLe32(book, static_cast<std::uint32_t>(countOverride >= 0 ? countOverride : k));
  PutLe32(book, k);
  for (std::size_t i = 0; i < recs.size(); ++i) {
    PutLe32(book, 0xABCDEF01u);
    PutLe32(book, recs[i].size);
    PutLe32(book, offsets[i]);
    book += '\x33';
  }
  return book + records + after;
}

std::string Book(const std::vector<std::string>& addresses) {
  std::vector<BookRecord> recs;
  for (const auto& a : addresses) recs.push_back({AddressData(a)});
  return BuildBook(recs);
}

TEST(AddrBookReader, ValidBookGivesAngleListInIndexOrder) {
  const std::string book = BuildBook({
      {AddressData("  Ann@Example.org \t")},
      {AddressData("")},                             // empty address: removed
      {"no marker in this record at all"},           // contributes nothing
      {AddressData("x", 0, 0), 0},                   // size 0: skipped
      {AddressData("y", 0, 0), 0xFFFFFFFFu},         // size -1: skipped
      {AddressData(std::string("bob@example.net\0junk", 20))},
      {AddressData("carol@example.com")},
  });
  EXPECT_EQ(ReadAddressBookBytes(book),
            "<Ann@Example.org><bob@example.net><carol@example.com>");
}

TEST(AddrBookReader, EmptyBooksGiveEmptyText) {
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({})), "");
  EXPECT_EQ(ReadAddressBookBytes(Book({"", "   "})), "");
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{"record without address"}})), "");
}

TEST(AddrBookReader, MarkerIsDistinctFromEveryList) {
  ASSERT_EQ(AddrBookWrongFormat().size(), 1u);
  EXPECT_EQ(AddrBookWrongFormat()[0], '\0');
  EXPECT_NE(ReadAddressBookBytes(BuildBook({})), AddrBookWrongFormat());
}

TEST(AddrBookReader, WrongMagicShortHeaderAndTruncationAreWrongFormat) {
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{AddressData("a@b.cd")}}, 0x19988992u)),
            AddrBookWrongFormat());
  EXPECT_EQ(ReadAddressBookBytes(""), AddrBookWrongFormat());
  EXPECT_EQ(ReadAddressBookBytes(std::string("\x91\x89\x98\x19", 4)), AddrBookWrongFormat());
  const std::string good = Book({"a@example.org", "b@example.org"});
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_EQ(ReadAddressBookBytes(good.substr(0, cut)), AddrBookWrongFormat()) << cut;
  EXPECT_EQ(ReadAddressBookBytes(good), "<a@example.org><b@example.org>");
}

TEST(AddrBookReader, RecordLengthLimit) {
  std::string data = AddressData("big@example.org");
  data.resize(10249, 'z');
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{data}})), "<big@example.org>");
  data.resize(10250, 'z');
  // One oversized record spoils the whole book, good records included.
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{AddressData("ok@example.org")}, {data}})),
            AddrBookWrongFormat());
}

TEST(AddrBookReader, AddressLengthLimit) {
  std::string d = AddressData("a@b.cd");
  // Rewrite the length field (after 5 filler bytes and the 4 marker bytes).
  auto withLength = [&](std::uint32_t m) {
    std::string x = d;
    std::string le;
    PutLe32(le, m);
    x.replace(9, 4, le);
    return x;
  };
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{withLength(10250)}}, 0x19988991u, -1,
                                           std::string(11000, 'q'))),
            AddrBookWrongFormat());
  // A length that stays inside the file reads on past the record's data.
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{withLength(10)}}, 0x19988991u, -1, "Z")),
            "<a@b.cdyyyZ>");
  // ... but never past the end of the file.
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{withLength(11)}}, 0x19988991u, -1, "Z")),
            AddrBookWrongFormat());
}

TEST(AddrBookReader, MarkerAtTheEndOfARecord) {
  // Marker and length field fill the last 8 bytes of the record data; the
  // text follows the record in the file.
  std::string d = std::string(6, 'x') + "\x9D\xFF\xFF\xFF";
  PutLe32(d, 11);
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{d}}, 0x19988991u, -1, "end@example")),
            "<end@example>");
  // One byte later the length field would leave the record: no address.
  std::string late = std::string(7, 'x') + "\x9D\xFF\xFF\xFF";
  PutLe32(late, 11);
  late.resize(late.size() - 1);  // n-4 bytes hold the marker only partly
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{late}}, 0x19988991u, -1, "end@example.")), "");
  // A marker cut by the end of the record data is no marker either.
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{std::string(3, 'x') + "\x9D\xFF\xFF"}})), "");
}

TEST(AddrBookReader, HostileCountsAndOffsetsEndSafely) {
  // An entry count far beyond the index: the read past the end stops it.
  EXPECT_EQ(ReadAddressBookBytes(BuildBook({{AddressData("a@b.cd")}}, 0x19988991u, 0xFFFFFFFFu)),
            AddrBookWrongFormat());
  // A record offset pointing far outside the file.
  std::string book = Book({"a@b.cd"});
  book.replace(24 + 8, 4, std::string("\xF0\xFF\xFF\xFF", 4));
  EXPECT_EQ(ReadAddressBookBytes(book), AddrBookWrongFormat());
  // The index base and slot count near 2^32 must not wrap around.
  std::string wrap = Book({"a@b.cd"});
  wrap.replace(4, 4, std::string("\xFF\xFF\xFF\xFF", 4));
  wrap.replace(20, 4, std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(ReadAddressBookBytes(wrap), AddrBookWrongFormat());
}

TEST(AddrBookReader, AngleBracketsAndLineBreaksInsideAddresses) {
  // Line breaks inside an address split it; "<>" pieces are removed once.
  EXPECT_EQ(ReadAddressBookBytes(Book({"a@b.cd\r\nc@d.ef", "x"})), "<a@b.cd><c@d.ef><x>");
  EXPECT_EQ(ReadAddressBookBytes(Book({"<a@b.cd>"})), "<<a@b.cd>>");
  EXPECT_EQ(ReadAddressBookBytes(Book({"<", ">"})), "<>");  // "<" "<>" "<>" ">"
}

// ---- Shared and private reads -----------------------------------------

class AddrBookFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quelta_ab_" + std::to_string(rd()));
    fs::create_directories(dir_);
    savedHost_ = quelta::Plugin().HostDir;
    quelta::Plugin().HostDir = Dir();
    quelta::ResetAddressBooks();
  }
  void TearDown() override {
    quelta::ResetAddressBooks();
    quelta::Plugin().HostDir = savedHost_;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Dir() const { return dir_.string() + quelta::os::kPathSep; }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return Dir() + name;
  }

  fs::path dir_;
  std::string savedHost_;
};

TEST_F(AddrBookFiles, SharedReadMergesEachBookOnce) {
  const std::string a = Write("a.abd", Book({"ann@example.org"}));
  const std::string b = Write("b.abd", Book({"bob@example.org", "bea@example.org"}));
  std::string addr = AddrBookWrongFormat(), report;
  quelta::LoadAddressBook(a, addr, report);
  quelta::LoadAddressBook(" " + b + " ", addr, report);
  EXPECT_EQ(report, "");
  EXPECT_EQ(addr, AddrBookWrongFormat());  // a shared read leaves the text alone
  EXPECT_EQ(quelta::AddrBooks().Merged, "<ann@example.org><bob@example.org><bea@example.org>");
  EXPECT_EQ(quelta::AddrBooks().Loaded, "|" + a + "|" + b + "|");

  // A merged book is not read again, even when it changed on disk.
  Write("a.abd", Book({"new@example.org"}));
  quelta::LoadAddressBook(a, addr, report);
  EXPECT_EQ(report, "");
  EXPECT_EQ(quelta::AddrBooks().Merged, "<ann@example.org><bob@example.org><bea@example.org>");
  EXPECT_TRUE(quelta::AddrBooks().index.Contains("<BEA@example.ORG>"));
  EXPECT_FALSE(quelta::AddrBooks().index.Contains("<new@example.org>"));
}

TEST_F(AddrBookFiles, PrivateReadGivesThisBookAlone) {
  Write("a.abd", Book({"ann@example.org"}));
  const std::string b = Write("b.abd", Book({"bob@example.org"}));
  std::string shared = AddrBookWrongFormat(), report;
  quelta::LoadAddressBook("a.abd", shared, report);  // bare name: host folder
  std::string priv, privReport;
  quelta::LoadAddressBook(b, priv, privReport);
  EXPECT_EQ(privReport, "");
  EXPECT_EQ(priv, "<bob@example.org>");
  EXPECT_EQ(quelta::AddrBooks().Merged, "<ann@example.org>");  // untouched
  EXPECT_EQ(quelta::AddrBooks().Loaded, "|" + Dir() + "a.abd|");
}

TEST_F(AddrBookFiles, DefaultBookAndMissingBooks) {
  Write("TheBat.ABD", Book({"def@example.org"}));
  std::string priv, report;
  quelta::LoadAddressBook("   ", priv, report);
  EXPECT_EQ(report, "");
  EXPECT_EQ(priv, "<def@example.org>");

  std::string r2, t2;
  quelta::LoadAddressBook("nosuch.abd", t2, r2);
  EXPECT_EQ(r2, "ERROR: Address book file \"nosuch.abd\" not found!\r\n");
  EXPECT_EQ(t2, "");
}

TEST_F(AddrBookFiles, WrongFormatAndEmptyBooksAreReportedAtEveryUse) {
  Write("bad.abd", "not a book");
  Write("empty.abd", BuildBook({}));
  for (int round = 0; round < 2; ++round) {
    std::string addr = AddrBookWrongFormat(), report;
    quelta::LoadAddressBook("bad.abd", addr, report);
    quelta::LoadAddressBook("empty.abd", addr, report);
    EXPECT_EQ(report,
              "ERROR: Address book file \"bad.abd\" has a wrong format!\r\n"
              "WARNING: Address book file \"empty.abd\" is empty!\r\n");
  }
  EXPECT_EQ(quelta::AddrBooks().Merged, "");
  EXPECT_EQ(quelta::AddrBooks().Loaded, "|");

  std::string priv = "", report;
  quelta::LoadAddressBook("bad.abd", priv, report);
  EXPECT_EQ(report, "ERROR: Address book file \"bad.abd\" has a wrong format!\r\n");
  EXPECT_EQ(priv, "");
}

TEST_F(AddrBookFiles, LoadedListIgnoresLetterCase) {
  const std::string a = Write("a.abd", Book({"ann@example.org"}));
  std::string addr = AddrBookWrongFormat(), report;
  quelta::LoadAddressBook(a, addr, report);
  // The same name in other letter case counts as merged already (on a
  // case-sensitive file system even though it is another file).
  Write("A.ABD", Book({"other@example.org"}));
  quelta::LoadAddressBook(Dir() + "A.ABD", addr, report);
  EXPECT_EQ(report, "");
  EXPECT_EQ(quelta::AddrBooks().Merged, "<ann@example.org>");
}

}  // namespace
