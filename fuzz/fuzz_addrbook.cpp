// Arbitrary bytes as an address book: the reader must end without a crash,
// a read outside the bytes, or an allocation driven by an unchecked length.
// A text that was read is then checked through the angle index the
// address-book checks use: it must agree with a plain substring search.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lists/address_book.h"
#include "lists/angle_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = quelta::ReadAddressBookBytes(bytes);
  if (text == quelta::AddrBookWrongFormat()) return 0;
  // Every address comes from at most kAddrBookMaxData bytes of the input.
  if (text.size() > quelta::kAddrBookMaxText + 2) std::abort();

  // The index over the text must agree with a plain search for needles
  // taken from the text itself.
  quelta::AngleIndex index;
  index.Assign(text);
  const std::string folded = quelta::FoldCase(text);
  for (std::size_t i = 0; i + 1 < text.size() && i < 64; ++i) {
    const std::size_t len = 1 + (static_cast<unsigned char>(text[i]) % 24);
    const std::string needle = text.substr(i, len);
    const bool plain = folded.find(quelta::FoldCase(needle)) != std::string::npos;
    if (index.Contains(needle) != plain) std::abort();
    const std::string angled = "<" + needle + ">";
    const bool plainAngled = folded.find(quelta::FoldCase(angled)) != std::string::npos;
    if (index.Contains(angled) != plainAngled) std::abort();
  }
  return 0;
}
