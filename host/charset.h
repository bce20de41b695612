// Character sets of mail text and the plug-in's single-byte Windows-1252
// text: reading a declared charset into Unicode (held as UTF-8), writing
// Unicode back as Windows-1252, and the UTF-8 helpers both need. Table-driven,
// the same on every platform; pure functions, any thread.
//
// Charset names follow the labels browsers and mail clients accept:
// US-ASCII, ISO-8859-1 and their aliases read as Windows-1252 (so bytes
// 0x80..0x9F keep their Windows meaning, as clients show them); ISO-8859-15;
// UTF-8. Nothing here fails: bytes that are not valid in the declared
// charset are read as Windows-1252, code points Windows-1252 lacks are
// written as "?".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quelta_host {

enum class Charset {
  kUnknown,      // a name this converter does not know
  kWindows1252,  // also US-ASCII, ISO-8859-1 and their aliases
  kLatin9,       // ISO-8859-15
  kUtf8,
};

// The charset a MIME name stands for (any case, blanks and quotes around
// it ignored); kUnknown for other names and for "".
Charset CharsetByName(std::string_view name);

// The code point of a Windows-1252 byte (the five unassigned bytes 0x81,
// 0x8D, 0x8F, 0x90, 0x9D stand for the C1 controls of their number).
char32_t Cp1252ToUnicode(unsigned char c);

// Appends the UTF-8 form of a code point (surrogates and values above
// 0x10FFFF as U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);
// The length of the valid UTF-8 sequence at s[i] (shortest form, no
// surrogates) and its code point in cp; 0 when there is none.
std::size_t DecodeUtf8At(std::string_view s, std::size_t i, char32_t& cp);
bool IsUtf8(std::string_view s);

// Text in a charset as UTF-8. kUnknown reads the bytes as Windows-1252, so
// they come back unchanged from Utf8ToCp1252.
std::string ToUtf8(std::string_view text, Charset charset);
// UTF-8 (invalid bytes read as Windows-1252) as Windows-1252 bytes; a code
// point without a Windows-1252 byte becomes "?".
std::string Utf8ToCp1252(std::string_view utf8);

// Windows-1252 text widened to UTF-16LE: each byte one code unit of the
// same number, which the plug-in narrows back to the same byte.
std::string WidenToUtf16Le(std::string_view text);

}  // namespace quelta_host
