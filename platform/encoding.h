// Converts text between the library's Windows-1252 strings and the UTF-8 of its hosts.
//
// Text inside the library is single-byte Windows-1252 held in std::string; hosts
// (command line, automation host, tests) speak UTF-8 and convert at their edge with
// these functions.
//
// Windows-1252 leaves five bytes undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D). They are
// carried as the C1 control characters U+0081, U+008D, U+008F, U+0090 and U+009D, so
// that every byte string survives Cp1252ToUtf8 followed by Utf8ToCp1252 unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// Returns the Unicode code point of a Windows-1252 byte (0x80 gives U+20AC, the euro).
char32_t Cp1252ToUnicode(unsigned char byte);

// Returns the Windows-1252 byte of a code point, or -1 when it has none.
int UnicodeToCp1252(char32_t codePoint);

// Converts Windows-1252 text to UTF-8. Never fails: every byte has a form.
std::string Cp1252ToUtf8(std::string_view cp1252);

// Converts UTF-8 text to Windows-1252. Never fails and never reads past the end:
// - a character with no Windows-1252 form becomes "?";
// - each malformed sequence becomes one "?": a stray continuation byte, a byte that
//   cannot start a sequence (0xC0, 0xC1, 0xF5-0xFF), a sequence cut short by the end
//   of the text or by a byte that does not continue it, an overlong form, a surrogate
//   (U+D800-U+DFFF) or a value above U+10FFFF. Decoding resumes at the first byte
//   that does not belong to the bad sequence, so the text after it is kept.
// A NUL character is kept as a NUL byte.
std::string Utf8ToCp1252(std::string_view utf8);

// Converts like Utf8ToCp1252 but refuses instead of replacing: returns false, with
// errorOffset the byte offset of the first malformed sequence or unmappable character
// and out holding the text converted before it; returns true with the whole text in
// out and errorOffset set to std::string_view::npos.
bool Utf8ToCp1252Exact(std::string_view utf8, std::string& out, std::size_t& errorOffset);

}  // namespace qv
