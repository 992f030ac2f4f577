// Generic SQL statements on the configuration tables of NT sources.
#include "store/sqltext.h"

#include <stdexcept>

namespace qv {

namespace {

void RequireTable(const Layout& layout) {
  if (layout.kind != LayoutKind::Table)
    throw std::invalid_argument("'" + std::string(layout.name) + "' is not a table");
}

const Field& NtField(const Layout& table, std::string_view column) {
  const Field& f = table[column];
  if (!f.nt)
    throw std::invalid_argument("'" + std::string(table.name) + "." + std::string(column) +
                                "' has no NT column");
  return f;
}

// Refuses a change without condition: it would reach every row of the table.
void RequireConditions(const SqlKey& key, std::string_view statement) {
  if (key.empty())
    throw std::invalid_argument(std::string(statement) + " of '" + std::string(key.table().name) +
                                "' without a condition");
}

// Appends text with every single quote doubled.
void AppendDoubled(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t q = text.find('\''); q != std::string_view::npos; q = text.find('\'', start)) {
    out.append(text.substr(start, q + 1 - start));
    out += '\'';
    start = q + 1;
  }
  out.append(text.substr(start));
}

// Appends 'value' (the value at its full width, quotes doubled).
void AppendQuoted(std::string& out, std::string_view value) {
  out += '\'';
  AppendDoubled(out, value);
  out += '\'';
}

std::string FromTable(std::string_view prefix, const SqlKey& key) {
  std::string out = " FROM ";
  out += prefix;
  out += key.table().table;
  if (!key.empty()) {
    out += " WHERE ";
    out += key.Where();
  }
  return out;
}

}  // namespace

std::string SqlQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 4);
  AppendDoubled(out, text);
  return out;
}

std::string SqlField(std::string_view value, std::size_t width) {
  return SqlQuote(value.substr(0, width));
}

std::string SqlCode(std::string_view value, std::size_t width) {
  // Cut, doubled, then padded: the blanks hold no quote to double.
  const std::string_view cut = value.substr(0, width);
  std::string out;
  out.reserve(width + 4);
  AppendDoubled(out, cut);
  out.append(width - cut.size(), ' ');
  return out;
}

std::string SqlEnvId(std::string_view env) { return SqlCode(env, layout::kEnvIdWidth); }
std::string SqlTgtId(std::string_view tgt) { return SqlCode(tgt, layout::kTgtIdWidth); }
std::string SqlGrpId(std::string_view grp) { return SqlCode(grp, layout::kGrpIdWidth); }
std::string SqlFicId(std::string_view fic) { return SqlCode(fic, layout::kFicIdWidth); }
std::string SqlFieldId(std::string_view field) { return SqlCode(field, layout::kFieldIdWidth); }

std::string SqlHead(std::string_view verb, std::string_view prefix, std::string_view rest) {
  // Room for the conditions the caller appends, so that they go in without
  // moving the text.
  std::string out;
  out.reserve(verb.size() + prefix.size() + rest.size() + 96);
  out += verb;
  out += prefix;
  out += rest;
  return out;
}

void RequireRecordOf(const Record& rec, const Layout& layout) {
  if (&rec.layout() != &layout)
    throw std::invalid_argument("a record of '" + std::string(layout.name) + "' is needed, not '" +
                                std::string(rec.layout().name) + "'");
}

// ---- SqlKey ---------------------------------------------------------------

SqlKey::SqlKey(const Layout& table) : table_(&table) { RequireTable(table); }

SqlKey::SqlKey(const Layout& table, std::initializer_list<std::string_view> leadingKeyValues)
    : SqlKey(table, std::span<const std::string_view>(leadingKeyValues.begin(),
                                                      leadingKeyValues.size())) {}

SqlKey::SqlKey(const Layout& table, std::span<const std::string_view> leadingKeyValues)
    : SqlKey(table) {
  if (leadingKeyValues.size() > table.keyCount)
    throw std::invalid_argument(std::to_string(leadingKeyValues.size()) + " key values for the " +
                                std::to_string(table.keyCount) + " key fields of '" +
                                std::string(table.name) + "'");
  for (std::size_t i = 0; i < leadingKeyValues.size(); ++i)
    Add(table.fields[i].column, leadingKeyValues[i]);
}

SqlKey SqlKey::Of(const Record& record) {
  SqlKey key(record.layout());
  for (std::size_t i = 0; i < record.layout().keyCount; ++i)
    key.Add(record.layout().fields[i].column, record.Get(i));
  return key;
}

void SqlKey::Add(std::string_view column, std::string_view value) {
  const Field& f = NtField(*table_, column);
  if (!where_.empty()) where_ += " AND ";
  where_ += f.column;
  where_ += '=';
  AppendQuoted(where_, FitText(value, f.width));
}

// ---- statements -----------------------------------------------------------

std::string SqlSelect(std::string_view prefix, const SqlKey& key) {
  return "SELECT *" + FromTable(prefix, key);
}

std::string NtColumnList(const Layout& table) {
  RequireTable(table);
  std::string out;
  for (const Field& f : table.fields) {
    if (!f.nt) continue;
    if (!out.empty()) out += ", ";
    out += f.column;
  }
  return out;
}

std::string NtValueList(const Record& record) {
  RequireTable(record.layout());
  std::string out;
  out.reserve(record.size() + 64);
  const auto fields = record.layout().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!fields[i].nt) continue;
    if (!out.empty()) out += ',';
    AppendQuoted(out, record.Get(i));
  }
  return out;
}

std::string SqlInsert(std::string_view prefix, const Record& record) {
  const Layout& table = record.layout();
  std::string out;
  out.reserve(record.size() + 32 * table.fields.size());
  out += "INSERT INTO ";
  out += prefix;
  out += table.table;
  out += " (";
  out += NtColumnList(table);
  out += ") VALUES(";
  out += NtValueList(record);
  out += ')';
  return out;
}

std::string SqlDelete(std::string_view prefix, const SqlKey& key) {
  RequireConditions(key, "DELETE");
  return "DELETE" + FromTable(prefix, key);
}

}  // namespace qv
