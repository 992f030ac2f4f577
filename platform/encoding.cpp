// Converts between Windows-1252 and UTF-8 for the hosts' edge.
#include "platform/encoding.h"

#include <array>
#include <cstdint>

namespace qv {
namespace {

// Code points of the bytes 0x80-0x9F. The five bytes that Windows-1252 leaves
// undefined keep their own value as C1 control characters.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// One decoded UTF-8 sequence: its code point (valid only when ok) and its length in
// bytes (at least 1, never past the end of the text).
struct Decoded {
  char32_t codePoint;
  std::size_t length;
  bool ok;
};

bool InRange(unsigned char b, unsigned char low, unsigned char high) { return b >= low && b <= high; }

// Decodes the sequence that starts at pos. A malformed sequence covers its lead byte
// and the bytes that validly continued it before the fault (its maximal subpart).
Decoded DecodeAt(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};

  std::size_t need = 0;
  char32_t value = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  if (InRange(lead, 0xC2, 0xDF)) {
    need = 1;
    value = lead & 0x1F;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    need = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) secondLow = 0xA0;   // no overlong forms
    if (lead == 0xED) secondHigh = 0x9F;  // no surrogates
  } else if (InRange(lead, 0xF0, 0xF4)) {
    need = 3;
    value = lead & 0x07;
    if (lead == 0xF0) secondLow = 0x90;   // no overlong forms
    if (lead == 0xF4) secondHigh = 0x8F;  // nothing above U+10FFFF
  } else {
    return {0, 1, false};
  }

  std::size_t length = 1;
  for (std::size_t k = 0; k < need; ++k) {
    const std::size_t i = pos + length;
    if (i >= text.size()) return {0, length, false};
    const unsigned char b = byte(i);
    const bool fits = k == 0 ? InRange(b, secondLow, secondHigh) : InRange(b, 0x80, 0xBF);
    if (!fits) return {0, length, false};
    value = (value << 6) | (b & 0x3F);
    ++length;
  }
  return {value, length, true};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    // Windows-1252 holds nothing above the Basic Multilingual Plane.
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Converts up to the first fault; returns the fault's offset, or npos when none.
std::size_t Convert(std::string_view utf8, std::string& out, bool replace) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const Decoded d = DecodeAt(utf8, pos);
    const int byte = d.ok ? UnicodeToCp1252(d.codePoint) : -1;
    if (byte < 0) {
      if (!replace) return pos;
      out += '?';
    } else {
      out += static_cast<char>(byte);
    }
    pos += d.length;
  }
  return std::string_view::npos;
}

}  // namespace

char32_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

int UnicodeToCp1252(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == codePoint) return static_cast<int>(0x80 + i);
  }
  return -1;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 4);
  for (char c : cp1252) AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  Convert(utf8, out, /*replace=*/true);
  return out;
}

bool Utf8ToCp1252Exact(std::string_view utf8, std::string& out, std::size_t& errorOffset) {
  errorOffset = Convert(utf8, out, /*replace=*/false);
  return errorOffset == std::string_view::npos;
}

}  // namespace qv
