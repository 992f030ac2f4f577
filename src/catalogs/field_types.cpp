// Translates the codes of field descriptions and lays out MI source blocks.
#include "catalogs/field_types.h"

#include <array>
#include <cctype>
#include <stdexcept>
#include <utility>

#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

using Pair = std::pair<std::string_view, std::string_view>;

// Every date-mask code with its mask.
constexpr std::array<Pair, 42> kMasks{{
    {"0", "YYYYMMDD"},        {"1", "DDMMYYYY"},        {"2", "MMDDYYYY"},
    {"3", "YYMMDD"},          {"4", "DDMMYY"},          {"5", "MMDDYY"},
    {"6", "DDMMCYY"},         {"7", "DDMMYYC"},         {"8", "MMDDCYY"},
    {"9", "MMDDYYC"},         {"A", "CYYMMDD"},         {"a", "YYDDD"},
    {"B", "YYCMMDD"},         {"b", "CYYDDD"},          {"C", "YYDDMM"},
    {"c", "YYYYDDD"},         {"D", "YYYYDDMM"},        {"d", "YYYY-MM-DD"},
    {"E", "CYYDDMM"},         {"e", "HH.MM.SS"},        {"F", "YYCDDMM"},
    {"f", "YYYY-MM-DD-HH.MM.SS"}, {"g", "DD-MM-YYYY-HH.MM.SS"}, {"h", "MM-DD-YYYY-HH.MM.SS"},
    {"G", "DDMMYYHHMMSS"},    {"H", "DDMMYYYYHHMMSS"},  {"J", "MMDDYYYYHHMMSS"},
    {"K", "YYMMDDHHMMSS"},    {"L", "YYYYMMDDHHMMSS"},  {"M", "DDMMCYYHHMMSS"},
    {"N", "DDMMYYCHHMMSS"},   {"O", "MMDDCYYHHMMSS"},   {"P", "MMDDYYCHHMMSS"},
    {"Q", "CYYMMDDHHMMSS"},   {"R", "YYCMMDDHHMMSS"},   {"S", "YYDDMMHHMMSS"},
    {"T", "YYYYDDMMHHMMSS"},  {"U", "CYYDDMMHHMMSS"},   {"Y", "MMDDYYHHMMSS"},
    {"V", "YYCDDMMHHMMSS"},   {"W", "HHMMSS"},          {"X", "HHMM"},
}};

// Type codes of AS/400 sources, matched trimmed and upper-cased.
constexpr std::array<Pair, 10> kAsWords{{
    {"C", "Char "},   {"V", "VarChar "}, {"Z", "Zoned "}, {"P", "Packed "},   {"B", "Binary "},
    {"F", "Float "},  {"L", "Date "},    {"T", "Time "},  {"S", "DateTime "}, {"H", "Hexa "},
}};

// Type codes of NT sources, matched exactly.
constexpr std::array<Pair, 10> kNtWords{{
    {"XD", "DateTime "}, {"Xd", "SmallDateTime "}, {"Xn", "Decimal "}, {"XN", "Numeric "},
    {"XB", "Bit "},      {"XM", "Money "},         {"Xf", "Real "},    {"Xi", "Smallint "},
    {"XI", "Int "},      {"XF", "Double "},
}};

constexpr std::array<Pair, 4> kAllowNull{{{"0", "No"}, {"1", "Yes"}, {"2", "Rtrim"}, {"3", "Same"}}};

template <std::size_t N>
std::string_view Find(const std::array<Pair, N>& table, std::string_view key, bool byValue = false) {
  for (const Pair& p : table)
    if ((byValue ? p.second : p.first) == key) return byValue ? p.first : p.second;
  return {};
}

// The columns of a field list: caption id, width for a source file, width otherwise.
struct Column {
  const char* caption;
  int fileWidth;
  int otherWidth;
};
constexpr std::array<Column, 14> kFieldColumns{{
    {"1256", 2400, 1200}, {"1257", 1935, 1935}, {"1258", 1215, 1215}, {"1259", 0, 1500},
    {"1260", 645, 645},   {"1261", 645, 645},   {"1262", 0, 500},     {"1263", 500, 500},
    {"1264", 500, 500},   {"1265", 500, 500},   {"1266", 500, 500},   {"1267", 0, 500},
    {"1268", 0, 500},     {"1269", 0, 500},
}};

}  // namespace

std::string MaskDate(std::string_view code) { return std::string(Find(kMasks, code)); }

std::string NumMask(std::string_view mask) {
  if (mask.empty()) return " ";
  const std::string_view code = Find(kMasks, mask, true);
  return code.empty() ? "?" : std::string(code);
}

std::string TypeDisplayWord(std::string_view code) {
  if (std::string_view nt = Find(kNtWords, code); !nt.empty()) return std::string(nt);
  return std::string(Find(kAsWords, UCase(Trim(code))));
}

std::string TypeDisplayText(std::string_view code, std::string_view len, std::string_view deci) {
  const std::string word = TypeDisplayWord(code);
  if (word.empty()) return {};
  std::string text = word + std::to_string(FieldNumberValue(len, "length"));
  const std::string upper = UCase(Trim(code));
  if (upper == "Z" || upper == "P" || code == "Xn" || code == "XN")
    text += "," + std::to_string(FieldNumberValue(deci, "decimals"));
  return text;
}

int FieldIcon(std::string_view code) {
  const std::string c = UCase(Trim(code));
  if (c == "C" || c == "V") return 1;
  if (c == "P" || c == "B" || c == "Z" || c == "F") return 2;
  return 3;
}

std::string AllowNullText(std::string_view code) { return std::string(Find(kAllowNull, code)); }

std::string AllowNullCode(std::string_view text) {
  const std::string key = UCase(RTrim(text));
  for (const Pair& p : kAllowNull)
    if (UCase(p.second) == key) return std::string(p.first);
  return {};
}

std::string FieldNumber(long long value) { return Digits(value, 5); }

long long FieldNumberValue(std::string_view text, std::string_view what) {
  long long n = 0;
  for (char c : text) {
    if (c == ' ') continue;
    if (!std::isdigit(static_cast<unsigned char>(c)))
      throw std::invalid_argument(std::string(what) + " \"" + std::string(text) +
                                  "\" is not a number");
    n = n * 10 + (c - '0');
    if (n > 999999999999LL) throw std::invalid_argument(std::string(what) + " is too large");
  }
  return n;
}

void WriteFormatedBufMI(std::string& buffer, std::string_view piece) {
  constexpr std::size_t kBlock = 175;
  const std::size_t r = buffer.size() % kBlock;
  if (r + piece.size() >= kBlock) buffer.append(kBlock - r, ' ');
  buffer.append(piece);
}

void InitListField(platform::ListView& lv, bool ColFile) {
  lv.Clear();
  lv.SetView(platform::ListView::kReport);
  lv.sortKey = 0;
  lv.ClearColumns();
  for (const Column& c : kFieldColumns)
    lv.AddColumn(cLoadResString(c.caption), ColFile ? c.fileWidth : c.otherWidth);
  lv.sortKey = 4;
}

}  // namespace qv
