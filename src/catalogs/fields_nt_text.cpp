// Implements the reading of column lists and the NT type mapping.
#include "catalogs/fields_nt_text.h"

#include <array>
#include <limits>

#include "presentation/strutil.h"
#include "store/sqltext.h"

namespace qv {
namespace {

constexpr std::size_t kNameWidth = 30;
constexpr std::string_view kLongTextLength = "00010";  // "LONG": 10 digits
constexpr std::string_view kLongTextImage = "00011";   // and a sign

// How a SQL type name maps: its NT code, plain class and date mask; whether
// its length comes from the type text.
struct TypeRule {
  std::string_view name;
  std::string_view code;
  std::string_view plainClass;
  std::string_view mask;
};

constexpr std::array<TypeRule, 21> kTypes{{
    {"VARCHAR", "V", "C", " "},     {"VARCHAR2", "V", "C", " "},   {"CHAR", "C", "C", " "},
    {"DECIMAL", "Xn", "N", " "},    {"NUMERIC", "XN", "N", " "},   {"BIT", "XB", "N", " "},
    {"FLOAT", "XF", "N", " "},      {"DOUBLE", "XF", "N", " "},    {"SINGLE", "Xf", "N", " "},
    {"REAL", "Xf", "N", " "},       {"INT", "XI", "N", " "},       {"INTEGER", "XI", "N", " "},
    {"LONG", "XI", "N", " "},       {"SMALLINT", "Xi", "N", " "},  {"DATETIME", "XD", "C", "f"},
    {"DATE", "XD", "C", "f"},       {"TIMESTAMP", "S", "C", " "},  {"SMALLDATETIME", "Xd", "C", "d"},
    {"MONEY", "XM", "N", " "},      {"SMALLMONEY", "Xm", "N", " "}, {"TEXT", "V", "V", " "},
}};

const TypeRule* RuleOf(std::string_view typeName) {
  if (typeName == "LONGVARCHAR") return &kTypes.back();
  for (const TypeRule& r : kTypes)
    if (r.name == typeName) return &r;
  return nullptr;
}

// Returns the i-th TAB-separated field of line (0-based), or nothing.
std::optional<std::string_view> FieldOf(std::string_view line, std::size_t i) {
  std::size_t start = 0;
  for (std::size_t k = 0; k < i; ++k) {
    std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) return std::nullopt;
    start = tab + 1;
  }
  std::size_t end = line.find('\t', start);
  return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string Quoted(std::string_view line) {
  constexpr std::size_t kShown = 60;
  std::string out(line.substr(0, kShown));
  for (char& c : out)
    if (c == '\t') c = ' ';
  return "\"" + out + (line.size() > kShown ? "...\"" : "\"");
}

}  // namespace

std::string NtNumber5(std::string_view value) {
  return ZeroPadLeft(ExtractNumberInString(std::string(value)), 5);
}

void ReadNtTypeText(std::string_view typeText, NtColumn& column) {
  std::string text = Trim(typeText);
  column.typeText = text;
  std::size_t blank = text.find(' ');
  std::string name = Trim(text.substr(0, blank));
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, "()") == 0) name.resize(name.size() - 2);
  column.typeName = UCase(name);
  std::string rest = blank == std::string::npos ? std::string() : Trim(text.substr(blank + 1));
  for (char& c : rest)
    if (c == ',') c = '.';
  std::size_t dot = rest.find('.');
  std::string before = rest.substr(0, dot);
  std::string after = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
  column.hasLength = !ExtractNumberInString(before).empty();
  column.length = NtNumber5(before);
  column.scale = NtNumber5(after);
}

NtColumnLines ReadNtColumnList(std::string_view text) {
  NtColumnLines out;
  if (std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  int lineNumber = 0;
  while (!text.empty()) {
    std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) break;
    ++lineNumber;
    const std::string where = "column line " + std::to_string(lineNumber) + " " + Quoted(line);
    if (line.find('\t') == std::string_view::npos) {
      out.error = where + " has no TAB between its fields";
      break;
    }
    NtColumn c;
    c.name = Trim(*FieldOf(line, 0)).substr(0, kNameWidth);
    if (c.name.empty()) {
      out.error = where + " has no column name";
      break;
    }
    std::optional<std::string_view> position = FieldOf(line, 2);
    if (!position || ExtractNumberInString(std::string(*position)).empty()) {
      out.error = where + " has no position";
      break;
    }
    ReadNtTypeText(*FieldOf(line, 1), c);
    if (c.typeName.empty()) {
      out.error = where + " has no type";
      break;
    }
    c.position = NtNumber5(*position);
    c.allowNull = Trim(FieldOf(line, 3).value_or(""));
    c.description = Trim(FieldOf(line, 4).value_or(""));
    out.columns.push_back(std::move(c));
  }
  return out;
}

bool IsNtLongText(std::string_view typeName) { return typeName == "TEXT" || typeName == "LONGVARCHAR"; }

NtField DescribeNtColumn(const NtColumn& column, bool sqlServer, const NtLongTextLength& longText) {
  NtField f;
  f.shownType = column.typeText;
  const TypeRule* rule = RuleOf(column.typeName);
  if (rule != nullptr && IsNtLongText(column.typeName) && !sqlServer) rule = nullptr;
  if (rule == nullptr) {
    f.code = f.plainClass = "C";
    f.description = column.typeName + " NOT SUPPORTED";
    f.length = f.lenIn = f.lenExt = column.length;
    f.decimals = column.scale;
    return f;
  }
  f.code = rule->code;
  f.plainClass = rule->plainClass;
  f.mask = rule->mask;
  if (IsNtLongText(column.typeName)) {
    if (!longText) {
      f.description = column.typeName + " ERROR IN QV_MX TABLE";
      return f;
    }
    f.length = f.lenIn = f.lenExt = NtNumber5(std::to_string(*longText));
    f.shownType = "LongVarchar (" + f.length + ")";
    return f;
  }
  if (column.typeName == "LONG") {
    f.length = kLongTextLength;
    f.lenIn = f.lenExt = kLongTextImage;
    f.shownType = "LONG";
    return f;
  }
  if (!column.hasLength) {
    f.error = "column " + column.name + ": the type text \"" + column.typeText + "\" gives no length";
    return f;
  }
  f.length = f.lenIn = f.lenExt = column.length;
  f.decimals = column.scale;
  if (column.typeName == "DOUBLE") f.shownType = "DOUBLE";
  return f;
}

std::string NtQualifiedTable(std::string_view sourceType, std::string_view database, std::string_view table) {
  if (sourceType == "SQL Server") return std::string(database) + ".." + std::string(table);
  if (sourceType == "Oracle") return std::string(database) + "." + std::string(table);
  return std::string(table);
}

std::string TextMaxLenUsedSql(std::string_view qualifiedTable, std::string_view column) {
  return "Select MAX(DATALENGTH(" + std::string(column) + ")) FROM " + std::string(qualifiedTable);
}

std::string TextMaxLenDefineSql(std::string_view database, std::string_view table, std::string_view column) {
  return "SELECT MAXLEN FROM QV_USRDATA..QV_MX WHERE SRCDB='" + SqlQuote(Trim(database)) + "' AND SRCTBL='" +
         SqlQuote(Trim(table)) + "' AND FIELDINPUT='" + SqlQuote(Trim(column)) + "'";
}

std::optional<int32_t> NtLengthOfRow(std::string_view row) {
  if (std::size_t nul = row.find('\0'); nul != std::string_view::npos) row = row.substr(0, nul);
  std::string digits = ExtractNumberInString(std::string(row));
  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  digits = digits.substr(first);
  if (digits.size() > 10 || std::stoll(digits) > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(std::stoll(digits));
}

std::vector<std::string> ReadNtNameList(std::string_view text) {
  if (std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> out;
  while (!text.empty()) {
    std::size_t tab = text.find('\t');
    std::string name = Trim(text.substr(0, tab));
    if (!name.empty()) out.push_back(std::move(name));
    if (tab == std::string_view::npos) break;
    text = text.substr(tab + 1);
  }
  return out;
}

const std::vector<NtSystemField>& NtSystemFields() {
  static const std::vector<NtSystemField> kFields{
      {"PROCESS", 1411},    {"ERROR", 1412},      {"JODATTIM", 1413},   {"GRP_ID", 1414},
      {"SRC_ID", 1415},     {"ENV_ID", 1416},     {"TGT_ID", 1417},     {"TGT_TYPE", 1418},
      {"COM_TYPE", 1419},   {"MCHNAME", 1420},    {"TGT_ADR", 1421},    {"LCL_NAME", 1422},
      {"RECEIVER", 1423},   {"JRN_SEQ", 1424},    {"JRN_OPLVL", 1425},  {"JRN_OPNAT", 1426},
      {"JRN_DATTIM", 1427}, {"JRN_JOB", 1428},    {"JRN_USER", 1429},   {"JRN_JOBNUM", 1430},
      {"JRN_PGM", 1431},    {"JRN_TABLE", 1432},  {"JRN_SEQNO", 1436},  {"CURDATETIME", 1437},
  };
  return kFields;
}

}  // namespace qv
