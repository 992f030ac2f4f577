// SQL text of the configuration tables on NT sources, built from the record
// layouts. Every value put into a statement is cut to its field's width
// first and has its single quotes doubled after, so a doubled quote is never
// split. The prefix qualifies the table: "QV_USRDATA.." (SQL Server),
// "QV_USRDATA." (Oracle) or "" (plain ODBC).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "store/record_layouts.h"
#include "store/records.h"

namespace qv {

// Returns text with every single quote doubled: "O'Hara" gives "O''Hara".
std::string SqlQuote(std::string_view text);

// Returns value cut to width, then quoted as SqlQuote does. For statements
// that operations spell out themselves.
std::string SqlField(std::string_view value, std::size_t width);

// Returns a code padded with blanks or cut to width, its quotes doubled:
//   ("a'", 3) -> "a'' "
std::string SqlCode(std::string_view value, std::size_t width);

// Return the code of an environment, target, model, model table or field
// padded or cut to the width of its key field, quoted as SqlCode does.
std::string SqlEnvId(std::string_view env);
std::string SqlTgtId(std::string_view tgt);
std::string SqlGrpId(std::string_view grp);
std::string SqlFicId(std::string_view fic);
std::string SqlFieldId(std::string_view field);

// Returns verb + prefix + rest: "UPDATE " + "QV_USRDATA.." + "QV_GC SET ...".
std::string SqlHead(std::string_view verb, std::string_view prefix, std::string_view rest);

// Throws std::invalid_argument unless rec is a record of layout: a statement
// built from another record would name the wrong columns.
void RequireRecordOf(const Record& rec, const Layout& layout);

// The conditions of a WHERE clause on one table, each value cut and padded
// to its column's width and quoted:
//   ENVID='01' AND TGTID='T1 '
// No condition at all means every row. Throws std::invalid_argument when the
// layout is not a table, for more values than key fields, or for a field
// without an NT column.
class SqlKey {
 public:
  // Conditions on the leading key fields of the table, in key order:
  // SqlKey(layout::QV_CX, {env, target}); SqlKey(layout::QV_FX, {env, model})
  // selects every table of a model.
  SqlKey(const Layout& table, std::initializer_list<std::string_view> leadingKeyValues);
  SqlKey(const Layout& table, std::span<const std::string_view> leadingKeyValues);

  // Conditions on the whole key of a record, with the record's values.
  static SqlKey Of(const Record& record);

  const Layout& table() const noexcept { return *table_; }
  bool empty() const noexcept { return where_.empty(); }
  // Returns the conditions joined by " AND ", or "" for none.
  const std::string& Where() const noexcept { return where_; }

 private:
  explicit SqlKey(const Layout& table);
  void Add(std::string_view column, std::string_view value);

  const Layout* table_;
  std::string where_;
};

// Returns "SELECT * FROM " + prefix + table + " WHERE " + conditions
// (without the WHERE part when the key has no condition).
std::string SqlSelect(std::string_view prefix, const SqlKey& key);

// Returns "INSERT INTO " + prefix + table + " (ENVID, TGTID, ..., FILLER) VALUES('01','T1 ',...,'   ')":
// every NT column in record order and each value at its full width.
std::string SqlInsert(std::string_view prefix, const Record& record);

// Returns "DELETE FROM " + prefix + table + " WHERE " + conditions. Throws
// std::invalid_argument for a key without condition.
std::string SqlDelete(std::string_view prefix, const SqlKey& key);

// Returns the NT columns of a table joined by ", ": "ENVID, TGTID, ..., FILLER".
std::string NtColumnList(const Layout& table);

// Returns the quoted NT values of a record joined by ",": "'01','T1 ',...".
std::string NtValueList(const Record& record);

}  // namespace qv
