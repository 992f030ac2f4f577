// Implements the shared string utilities: quoting, list walking, case folding, hex text.
#include "presentation/strutil.h"

#include <algorithm>
#include <array>
#include <utility>

namespace qv {
namespace {

constexpr char kBlank = ' ';

// Builds the QVUCase table: ASCII letters and the accented vowels of the script
// language fold to their plain capital; every other byte maps to itself.
constexpr std::array<unsigned char, 256> MakeScriptUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 'A');
  for (unsigned char c : {0xE9, 0xEA, 0xE8, 0xEB}) t[c] = 'E';  // é ê è ë
  for (unsigned char c : {0xE2, 0xE4}) t[c] = 'A';              // â ä
  for (unsigned char c : {0xF4, 0xF6, 0xF2}) t[c] = 'O';        // ô ö ò
  for (unsigned char c : {0xEC, 0xEE, 0xEF}) t[c] = 'I';        // ì î ï
  for (unsigned char c : {0xF9, 0xFB, 0xFC}) t[c] = 'U';        // ù û ü
  return t;
}
constexpr auto kScriptUpper = MakeScriptUpperTable();

// Builds the UCase table over Windows-1252: each small letter to its capital.
constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 'A');
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) t[c] = static_cast<unsigned char>(c - 0x20);  // à-þ to À-Þ, not ÷
  }
  t[0x9A] = 0x8A;  // š
  t[0x9C] = 0x8C;  // œ
  t[0x9E] = 0x8E;  // ž
  t[0xFF] = 0x9F;  // ÿ
  return t;
}
constexpr auto kUpper = MakeUpperTable();

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int i = 0; i < 256; ++i) {
    if (kUpper[i] != i) t[kUpper[i]] = static_cast<unsigned char>(i);
  }
  return t;
}
constexpr auto kLower = MakeLowerTable();

std::string MapBytes(std::string_view text, const std::array<unsigned char, 256>& table) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
  return out;
}

// Replaces each occurrence of the one character ch by `copies` copies of replacement.
std::string ReplaceChar(const std::string& ch, const std::string& replacement, const std::string& text,
                        int copies) {
  if (ch.size() != 1) return text;
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ch[0]) {
      for (int i = 0; i < copies; ++i) out += replacement;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string ReplaceCharInString(const std::string& ch, const std::string& replacement,
                                const std::string& text) {
  return ReplaceChar(ch, replacement, text, 1);
}

std::string DoubleCharInString(const std::string& ch, const std::string& replacement,
                               const std::string& text) {
  return ReplaceChar(ch, replacement, text, 2);
}

std::string ExtractStringFromChar(const std::string& separator, std::string& text, bool consume) {
  if (separator.empty()) return "";
  const std::size_t pos = text.find(separator);
  if (pos == std::string::npos) return "";
  std::string after = text.substr(pos + separator.size());
  if (!consume) return after;
  std::string before = text.substr(0, pos);
  text = std::move(after);
  return before;
}

std::string extractArg(const std::string& key, const std::string& text) {
  if (key.empty()) return "";
  const std::size_t pos = text.find(key);
  if (pos == std::string::npos) return "";
  std::string rest = Trim(std::string_view(text).substr(pos + key.size()));
  const std::size_t semi = rest.find(';');
  if (semi != std::string::npos) rest.erase(semi);
  return Trim(rest);
}

std::string MaskConnectionPasswords(std::string_view text) {
  auto isWordChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  auto keyAt = [&](std::size_t at) -> std::size_t {  // length of the key at `at`, 0 if none
    if (at > 0 && isWordChar(text[at - 1])) return 0;
    for (std::string_view key : {std::string_view("PASSWORD"), std::string_view("PWD")}) {
      if (text.size() - at < key.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < key.size() && same; ++i) {
        const char c = text[at + i];
        same = (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == key[i];
      }
      if (same && (at + key.size() == text.size() || !isWordChar(text[at + key.size()]))) return key.size();
    }
    return 0;
  };
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t keyLength = keyAt(i);
    if (keyLength == 0) {
      out += text[i++];
      continue;
    }
    std::size_t at = i + keyLength;
    while (at < text.size() && text[at] == kBlank) ++at;
    if (at >= text.size() || text[at] != '=') {
      out.append(text.substr(i, keyLength));
      i += keyLength;
      continue;
    }
    out.append(text.substr(i, at + 1 - i));
    std::size_t end = ++at;
    if (end < text.size() && text[end] == '{') {
      // A braced value ends at a "}" that is not doubled.
      for (++end; end < text.size(); ++end) {
        if (text[end] != '}') continue;
        if (end + 1 < text.size() && text[end + 1] == '}') {
          ++end;
          continue;
        }
        ++end;
        break;
      }
    }
    end = std::min(text.find_first_of(";\r\n", end), text.size());
    if (end > at) out.append(kMaskedPassword);
    i = end;
  }
  return out;
}

std::string QVUCase(const std::string& text) { return MapBytes(text, kScriptUpper); }

std::string ExtractNumberInString(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

std::string Text2Hexa(const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::string ChangeCarSpec(const std::string& text) {
  // One pass gives the same result as escaping backslashes first, then the braces:
  // an inserted backslash is never looked at again.
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\' || c == '{' || c == '}') out += '\\';
    out += c;
  }
  return out;
}

std::string GetFirstWord(const std::string& text, int& endPosition, int& leadingBlanks) {
  const std::size_t start = text.find_first_not_of(kBlank);
  const std::size_t lead = start == std::string::npos ? text.size() : start;
  leadingBlanks = static_cast<int>(lead);
  const std::size_t blank = text.find(kBlank, lead);
  if (blank == std::string::npos) {
    endPosition = 0;
    return "";
  }
  // The word starts right after the leading blanks and holds no blank, so that is
  // also its first occurrence in the text.
  endPosition = static_cast<int>(blank) + 1;
  return text.substr(lead, blank - lead);
}

std::string Trim(std::string_view text) { return RTrim(LTrim(text)); }

std::string TrimBlanksAndTabs(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::string();
  return std::string(text.substr(start, text.find_last_not_of(" \t") - start + 1));
}

std::string LTrim(std::string_view text) {
  const std::size_t start = text.find_first_not_of(kBlank);
  return start == std::string_view::npos ? std::string() : std::string(text.substr(start));
}

std::string RTrim(std::string_view text) {
  const std::size_t end = text.find_last_not_of(kBlank);
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string UCase(std::string_view text) { return MapBytes(text, kUpper); }

std::string LCase(std::string_view text) { return MapBytes(text, kLower); }

std::string PadRight(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, kBlank);
  return out;
}

std::string ZeroPadLeft(std::string_view text, std::size_t width) {
  if (text.size() >= width) return std::string(text.substr(text.size() - width));
  return std::string(width - text.size(), '0') + std::string(text);
}

}  // namespace qv
