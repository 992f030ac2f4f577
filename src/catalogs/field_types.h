// Vocabularies of the field descriptions (QV_ZX rows): date-mask codes, type
// codes and their display texts, allow-null codes, the columns of a field
// list, and the 175-character block layout of generated MI source.
#pragma once

#include <string>
#include <string_view>

namespace qv {
namespace platform {
class ListView;
}

// Returns the date or time mask of a one-character code ("0" gives
// "YYYYMMDD", "a" "YYDDD", "A" "CYYMMDD"); codes are case-sensitive. Any
// other text, a blank included, gives "".
std::string MaskDate(std::string_view code);

// Returns the code of a mask: the inverse of MaskDate, case-sensitive. An
// empty mask gives " " (no mask); a mask that has no code gives "?".
std::string NumMask(std::string_view mask);

// Returns the display word of a type code with its trailing blank ("P" gives
// "Packed "), "" for a code that has none. The codes of AS/400 sources are
// matched trimmed and upper-cased; the two-letter codes of NT sources
// ("Xn", "XN", ...) exactly.
std::string TypeDisplayWord(std::string_view code);

// Returns the display text of a field: the word, the length and, for zoned,
// packed, decimal and numeric fields, "," and the decimals. Length and
// decimals are read as numbers from their 5-digit texts ("00007", "00002"
// with "P" give "Packed 7,2"). A code without a word gives "".
std::string TypeDisplayText(std::string_view code, std::string_view len, std::string_view deci);

// Returns the icon of a field in the editor's field lists: 1 for "C" and
// "V", 2 for "P", "B", "Z" and "F", 3 for any other code.
int FieldIcon(std::string_view code);

// Returns the text of an allow-null code: "0" "No", "1" "Yes", "2" "Rtrim",
// "3" "Same"; "" for any other code.
std::string AllowNullText(std::string_view code);

// Returns the code of an allow-null text as a field list holds it, after
// trailing blanks are cut and the text upper-cased ("Rtrim " gives "2");
// "" for a text that is none of "NO", "YES", "RTRIM", "SAME".
std::string AllowNullCode(std::string_view text);

// Returns a number as the 5-digit text of a field description: its digits
// after "00000", cut to the last 5 characters (123456 gives "23456").
std::string FieldNumber(long long value);

// Reads the number a field description holds ("00031" gives 31); blanks and
// an empty text give 0. Throws std::invalid_argument naming what for any
// other character.
long long FieldNumberValue(std::string_view text, std::string_view what);

// Appends piece to buffer in 175-character blocks: when the piece would
// reach or pass the end of the current block, the block is first filled
// with blanks, so that a piece never straddles a block boundary.
void WriteFormatedBufMI(std::string& buffer, std::string_view piece);

// Prepares lv for a field list in report mode: clears its items and columns,
// adds the 14 columns of a field list (captions from the string table, the
// columns a source file's list does not show at width 0 when ColFile is
// true), and sorts it by column 4, the start in storage.
void InitListField(platform::ListView& lv, bool ColFile);

}  // namespace qv
