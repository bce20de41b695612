#include "lists/address_book.h"

#include <vector>

#include "os/env.h"
#include "base/strings.h"
#include "lists/angle_index.h"

namespace quelta {

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Random access to the bytes of a book.
class AddressBookSource {
 public:
  virtual ~AddressBookSource() = default;
  // Exactly `size` bytes at `offset` into buf; false when fewer exist.
  virtual bool ReadAt(std::uint64_t offset, void* buf, std::size_t size) = 0;
};

class FileSource : public AddressBookSource {
 public:
  explicit FileSource(std::unique_ptr<os::RandomAccessFile> file) : file_(std::move(file)) {}
  bool ReadAt(std::uint64_t offset, void* buf, std::size_t size) override {
    return size == 0 || file_->ReadAt(offset, buf, size);
  }

 private:
  std::unique_ptr<os::RandomAccessFile> file_;
};

class MemorySource : public AddressBookSource {
 public:
  explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
  bool ReadAt(std::uint64_t offset, void* buf, std::size_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    if (size) bytes_.copy(static_cast<char*>(buf), size, static_cast<std::size_t>(offset));
    return true;
  }

 private:
  const std::string& bytes_;
};

// Offsets are computed in 64 bits: a table or record lying beyond the end
// of the file is a read failure, never a wrapped-around position.
constexpr std::uint64_t kIndexEntrySize = 13;
constexpr std::uint64_t kRecordHeadSize = 28;
const unsigned char kAddressMark[4] = {0x9D, 0xFF, 0xFF, 0xFF};

// Where the address field's marker starts inside the first n-4 bytes of the
// record data (the marker and the 4-byte length after it both lie inside
// the record data), or -1.
long FindAddressMark(const std::vector<unsigned char>& data) {
  if (data.size() < 8) return -1;
  const std::size_t last = data.size() - 8;
  for (std::size_t p = 0; p <= last; ++p) {
    if (data[p] == kAddressMark[0] && data[p + 1] == kAddressMark[1] &&
        data[p + 2] == kAddressMark[2] && data[p + 3] == kAddressMark[3])
      return static_cast<long>(p);
  }
  return -1;
}

}  // namespace

const std::string& AddrBookWrongFormat() {
  static const std::string marker(1, '\0');
  return marker;
}

namespace {

std::string ReadAddressBookFrom(AddressBookSource& src) {
  const std::string& marker = AddrBookWrongFormat();
  try {
    unsigned char head[24];
    if (!src.ReadAt(0, head, sizeof head)) return marker;
    if (Le32(head) != kAddrBookMagic) return marker;
    const std::uint64_t indexBase = Le32(head + 4);
    const std::uint64_t entryCount = Le32(head + 16);
    const std::uint64_t slots = Le32(head + 20);
    const std::uint64_t dataArea = indexBase + kIndexEntrySize * slots;

    std::string lines;  // each address followed by CR LF
    std::vector<unsigned char> data;
    std::vector<unsigned char> text;
    for (std::uint64_t i = 0; i < entryCount; ++i) {
      unsigned char entry[kIndexEntrySize];
      if (!src.ReadAt(indexBase + i * kIndexEntrySize, entry, sizeof entry)) return marker;
      const std::uint32_t recSize = Le32(entry + 4);
      const std::uint64_t recOffset = Le32(entry + 8);
      if (recSize == 0 || recSize == 0xFFFFFFFFu) continue;

      const std::uint64_t record = dataArea + recOffset;
      unsigned char recHead[kRecordHeadSize];
      if (!src.ReadAt(record, recHead, sizeof recHead)) return marker;
      const std::uint32_t n = Le32(recHead + 16);
      if (n > kAddrBookMaxData) return marker;
      data.resize(n);
      if (n && !src.ReadAt(record + kRecordHeadSize, data.data(), n)) return marker;

      const long mark = FindAddressMark(data);
      if (mark < 0) continue;
      const std::uint32_t m = Le32(&data[static_cast<std::size_t>(mark) + 4]);
      if (m > kAddrBookMaxData) return marker;
      // The text follows the length field directly in the file.
      text.resize(m);
      if (m && !src.ReadAt(record + kRecordHeadSize + static_cast<std::uint64_t>(mark) + 8,
                           text.data(), m))
        return marker;
      std::size_t len = 0;
      while (len < m && text[len] != 0) ++len;
      const std::string address =
          Trim(std::string(reinterpret_cast<const char*>(text.data()), len));
      if (lines.size() + address.size() + 2 > kAddrBookMaxText) return marker;
      lines += address;
      lines += "\r\n";
    }
    std::string joined = ReplaceEach(Trim(lines), "\r\n", "><");
    return ReplaceEach("<" + joined + ">", "<>", "");
  } catch (...) {
    return marker;
  }
}

}  // namespace

std::string ReadAddressBookBytes(const std::string& bytes) {
  MemorySource src(bytes);
  return ReadAddressBookFrom(src);
}

std::string ReadAddressBook(const std::string& path) {
  try {
    std::unique_ptr<os::RandomAccessFile> file = os::OpenRandomAccessFile(path);
    if (!file) return AddrBookWrongFormat();
    FileSource src(std::move(file));
    return ReadAddressBookFrom(src);
  } catch (...) {
    return AddrBookWrongFormat();
  }
}

AddressBookSet::AddressBookSet(std::string hostDir) : hostDir_(std::move(hostDir)) {}

bool AddressBookSet::Resolve(const std::string& bookName, std::string& path,
                             std::string& report) const {
  const std::string name = Trim(bookName);
  path = name.empty() ? hostDir_ + "TheBat.ABD" : name;
  if (os::FileExists(path)) return true;
  path = hostDir_ + name;
  if (os::FileExists(path)) return true;
  report += "ERROR: Address book file \"" + name + "\" not found!\r\n";
  return false;
}

bool AddressBookSet::ReadChecked(const std::string& bookName, const std::string& path,
                                 std::string& text, std::string& report) {
  const std::string name = Trim(bookName);
  text = ReadAddressBook(path);
  if (text == AddrBookWrongFormat()) {
    report += "ERROR: Address book file \"" + name + "\" has a wrong format!\r\n";
    return false;
  }
  if (text.empty()) {
    report += "WARNING: Address book file \"" + name + "\" is empty!\r\n";
    return false;
  }
  return true;
}

void AddressBookSet::Merge(const std::string& bookName, std::string& report) {
  std::string path;
  if (!Resolve(bookName, path, report)) return;
  if (FoldedContains(FoldCase(loaded_), "|" + path + "|")) return;
  std::string text;
  if (!ReadChecked(bookName, path, text, report)) return;
  merged_ += text;
  loaded_ += path + "|";
  index_.Assign(merged_);
}

bool AddressBookSet::ReadPrivate(const std::string& bookName, std::string& addrText,
                                 std::string& report) const {
  std::string path, text;
  if (!Resolve(bookName, path, report) || !ReadChecked(bookName, path, text, report)) return false;
  addrText = std::move(text);
  return true;
}

}  // namespace quelta
