// Implements the catalog services of NT stores that describe source tables:
// the column lists (FillColumnsList, FillColumnsListSource) and the primary
// key (GetPrimaryKey), read from the source tables the store keeps.
#include <array>
#include <cctype>

#include "dllparam/embedded/embedded_internal.h"

namespace qv::embedded {
namespace {

constexpr int32_t kErrInvalidObject = 208;  // invalid object name

// Lengths the catalog gives the types declared without one.
struct DefaultLength {
  std::string_view type;
  std::string_view length;
};
constexpr std::array<DefaultLength, 19> kDefaultLengths{{
    {"CHAR", "1"},          {"VARCHAR", "1"},       {"VARCHAR2", "1"},  {"BIT", "1"},
    {"TINYINT", "3"},       {"SMALLINT", "5"},      {"INT", "10"},      {"INTEGER", "10"},
    {"BIGINT", "19"},       {"REAL", "24"},         {"FLOAT", "53"},    {"DOUBLE", "15"},
    {"DATE", "10"},         {"SMALLDATETIME", "16"}, {"DATETIME", "23"}, {"TIMESTAMP", "8"},
    {"SMALLMONEY", "10"},   {"MONEY", "19"},        {"TEXT", "2147483647"},
}};

bool IsExactNumeric(std::string_view type) { return type == "DECIMAL" || type == "NUMERIC" || type == "NUMBER"; }

// Renders a declared column type as the catalog writes it: the type name, a
// blank and the length, and for exact numerics "," and the scale:
// "DECIMAL(10,2)" gives "DECIMAL 10,2", "INT" gives "INT 10", "LONG" stays.
std::string CatalogType(std::string_view declared) {
  std::string text = TrimText(declared);
  std::size_t paren = text.find('(');
  std::string name = UpperText(TrimText(text.substr(0, paren)));
  std::string length, scale;
  if (paren != std::string::npos) {
    std::string args = text.substr(paren + 1, text.find(')', paren) - paren - 1);
    std::size_t comma = args.find(',');
    length = TrimText(args.substr(0, comma));
    if (comma != std::string::npos) scale = TrimText(args.substr(comma + 1));
  }
  if (length.empty()) {
    if (IsExactNumeric(name)) length = "18";
    for (const DefaultLength& d : kDefaultLengths)
      if (d.type == name) length = d.length;
  }
  if (length.empty()) return name;
  if (IsExactNumeric(name)) return name + " " + length + "," + (scale.empty() ? "0" : scale);
  return name + " " + length;
}

}  // namespace

// Splits a qualified table ("SALES..ORDERS", "SALES.dbo.ORDERS",
// "SCOTT.EMP", "ORDERS") into database (empty when not given) and table.
std::pair<std::string, std::string> SplitQualified(const std::string& qualified) {
  std::vector<std::string> parts;
  std::string q = TrimText(qualified);
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = q.find('.', start);
    std::string part = TrimText(q.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (!part.empty()) parts.push_back(part);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.empty()) return {};
  if (parts.size() == 1) return {"", parts[0]};
  return {parts.front(), parts.back()};
}

std::string SourceTableName(std::string_view database, std::string_view table) {
  return UpperText(TrimText(database)) + "." + UpperText(TrimText(table));
}

std::string EmbeddedSource::SourceTableOf(Connection& c, const std::string& database, const std::string& table) {
  if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "source tables are described by NT sources only");
  if (!c.login) Fail(kCodeRefused, "not logged in to a database: ConnectDSN first");
  // A table given as owner.table ("dbo.ORDERS") is named by its last part.
  std::string name = SplitQualified(table).second;
  std::string db = UpperText(TrimText(database));
  const std::string shown = db.empty() ? name : db + ".." + name;
  if (name.empty()) Fail(kCodeBadCall, "no table named");
  Stmt st = c.db.prepareOnce("SELECT name FROM sqlite_master WHERE type = 'table' AND instr(name, '.') > 0");
  std::vector<std::string> found;
  while (st.step()) {
    std::string stored(st.columnText(0));
    std::size_t dot = stored.find('.');
    if (UpperText(stored.substr(dot + 1)) != UpperText(name)) continue;
    if (!db.empty() && UpperText(stored.substr(0, dot)) != db) continue;
    found.push_back(stored);
  }
  if (found.empty()) Fail(kCodeRefused, "Invalid object name '" + shown + "'.", kErrInvalidObject);
  if (found.size() > 1)
    Fail(kCodeRefused, "Ambiguous table name '" + name + "': it is in several databases; qualify it");
  return found[0];
}

int32_t EmbeddedSource::ListColumns(const std::string& database, const std::string& table, const std::string& mask,
                                    std::string& list, int32_t& len, int32_t first) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (first != kFirstCall && first != kNextCall) Fail(kCodeBadCall, "first-call flag " + std::to_string(first));
    const std::string stored = SourceTableOf(c, database, table);
    if (first == kFirstCall) c.columnsNext = 0;
    Stmt st = c.db.prepareOnce(
        "SELECT cid, name, type, \"notnull\" FROM pragma_table_info(?) WHERE name LIKE ? AND cid >= ? ORDER BY cid");
    st.bind(1, stored);
    st.bind(2, TrimText(mask).empty() ? std::string("%") : TrimText(mask));
    st.bind(3, static_cast<int64_t>(c.columnsNext));
    std::string text;
    while (st.step()) {
      std::string line = std::string(st.columnText(1)) + "\t" + CatalogType(st.columnText(2)) + "\t" +
                         std::to_string(st.columnInt(0) + 1) + "\t" + (st.columnInt(3) != 0 ? "0" : "1") + "\t\n";
      if (text.size() + line.size() > list.size()) {
        if (text.empty()) Fail(kCodeBadCall, "list buffer shorter than one column line");
        break;
      }
      text += line;
      c.columnsNext = static_cast<int>(st.columnInt(0)) + 1;
    }
    len = dllparam::PutInBuffer(list, text);
    return 1;
  });
}

int32_t EmbeddedSource::FillColumnsList(const std::string& database, const std::string& table,
                                        const std::string& mask, std::string& list, int32_t& len, int32_t first) {
  return ListColumns(database, table, mask, list, len, first);
}

int32_t EmbeddedSource::FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                              int32_t& len, int32_t first) {
  len = 0;
  if (TrimText(kind) != kColumnsOfTable)
    return Guard([&]() -> int32_t { Fail(kCodeBadCall, "column list kind \"" + TrimText(kind) + "\""); });
  auto [database, name] = SplitQualified(table);
  return ListColumns(database, name, "%", list, len, first);
}

int32_t EmbeddedSource::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  len = 0;
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    auto [database, name] = SplitQualified(table);
    const std::string stored = SourceTableOf(c, database, name);
    Stmt st = c.db.prepareOnce("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk");
    st.bind(1, stored);
    std::string text;
    while (st.step()) text += std::string(st.columnText(0)) + "\t";
    if (text.size() > keys.size()) Fail(kCodeBadCall, "key buffer shorter than the key's names");
    len = dllparam::PutInBuffer(keys, text);
    return 1;
  });
}

}  // namespace qv::embedded
