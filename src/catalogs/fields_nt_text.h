// Field descriptions of NT tables: reading the column list that the library's
// column-list service returns, mapping SQL type names to the field type codes
// of the configuration (or to plain classes), the statements on long text
// lengths (QV_MX), and the display texts of the NT type codes.
//
// A column list holds one line per column, ended by LF, its fields separated
// by TAB: name, type text ("DECIMAL 10,2", "VARCHAR 30", "int() 10"), position,
// then allow-null and description, which the list may leave out:
//
//   "CODE\tCHAR 10\t1\t0\t\nAMOUNT\tDECIMAL 10,2\t2\t1\tOrder total\n"
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// One column of a column list.
struct NtColumn {
  std::string name;         // field 1, at most 30 characters
  std::string typeText;     // field 2, trimmed
  std::string typeName;     // its part before the first blank, "()" removed, upper-cased
  bool hasLength = false;   // the type text gives a length after its name
  std::string length;       // digits before the "." (or ","), 5 digits
  std::string scale;        // digits after it, 5 digits
  std::string position;     // field 3, 5 digits
  std::string allowNull;    // field 4 as given, "" when missing
  std::string description;  // field 5 as given, "" when missing
};

// The columns read from a column list, and what stopped the reading when it
// met a line it cannot read ("" when it read to the end).
struct NtColumnLines {
  std::vector<NtColumn> columns;
  std::string error;
};

// Reads a column list. The text ends at its first NUL, at an empty or blank
// line, or at its end. A line without TAB, without a name, or without a
// position stops the reading with an error that names the line; the columns
// before it are kept.
NtColumnLines ReadNtColumnList(std::string_view text);

// Reads one type text into the type name, length and scale of column.
void ReadNtTypeText(std::string_view typeText, NtColumn& column);

// Returns value as a 5-digit number: its digits (every other character
// dropped) after "00000", cut to the last 5.
std::string NtNumber5(std::string_view value);

// Tells whether a type name is a long text ("TEXT", "LONGVARCHAR"), whose
// length on SQL Server sources comes from QV_MX.
bool IsNtLongText(std::string_view typeName);

// The field description of one column.
struct NtField {
  std::string code;         // NT type code ("V", "Xn", "XD", ...)
  std::string plainClass;   // "C", "N" or "V"
  std::string mask = " ";   // date-mask code, " " for none
  std::string length = "00000", decimals = "00000";
  std::string lenIn = "00000", lenExt = "00000";  // lengths in the record and its external image
  std::string description;  // "" unless the type is not supported or its QV_MX length failed
  std::string shownType;    // the type text shown in column lists
  std::string error;        // why the column cannot be described; "" when it can

  // Returns the plain class when plain, else the NT code.
  const std::string& Type(bool plain) const { return plain ? plainClass : code; }
};

// What the QV_MX lookup of a long text column gave: its MAXLEN (0 without a
// row), or nothing when the lookup failed.
using NtLongTextLength = std::optional<int32_t>;

// Describes column. sqlServer: the source is SQL Server (long texts are
// supported there only, sized by longText). A type that needs a length and
// whose type text has none gets an error.
NtField DescribeNtColumn(const NtColumn& column, bool sqlServer, const NtLongTextLength& longText);

// Returns the qualified table the column-list service takes for a source
// type: database + ".." + table on "SQL Server", database + "." + table on
// "Oracle", the table alone otherwise.
std::string NtQualifiedTable(std::string_view sourceType, std::string_view database, std::string_view table);

// Returns the query of the longest value stored in a long text column of a
// qualified table.
std::string TextMaxLenUsedSql(std::string_view qualifiedTable, std::string_view column);
// Returns the query of the length defined for a long text column in QV_MX.
std::string TextMaxLenDefineSql(std::string_view database, std::string_view table, std::string_view column);
// Returns the number a length query answered: the digits of its row, 0 for
// a row without digits; nothing when the number does not fit 32 bits.
std::optional<int32_t> NtLengthOfRow(std::string_view row);

// Splits a list of names, each followed by a TAB (the last TAB may be
// missing), into trimmed names; the list ends at its first NUL.
std::vector<std::string> ReadNtNameList(std::string_view text);

// The fields of the system buffer, with the string that describes each.
struct NtSystemField {
  const char* name;
  int stringId;
};
const std::vector<NtSystemField>& NtSystemFields();

}  // namespace qv
