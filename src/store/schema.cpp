// CREATE statements of the configuration store.
#include "store/schema.h"

#include <algorithm>
#include <stdexcept>

#include "store/access_paths.h"

namespace qv {

namespace {

bool HasColumn(const Field& f, StoreKind kind) { return kind == StoreKind::As400 || f.nt; }

// True when the path's key columns are the leading key columns of its
// physical file, which the primary key already serves.
bool KeyIsLeadingPart(const AccessPath& path) {
  const auto key = path.physical->Key();
  if (path.key.size() > key.size()) return false;
  for (std::size_t i = 0; i < path.key.size(); ++i)
    if (path.key[i] != key[i].column) return false;
  return true;
}

// Declares one column of width characters: the store's own form, or the
// server form when columns is given.
std::string ColumnSql(std::string_view column, std::size_t width, const ServerColumns* columns) {
  const std::string name(column), w = std::to_string(width);
  if (columns) return name + " CHAR(" + w + ") NOT NULL DEFAULT ''" + columns->suffix;
  return name + " CHAR(" + w + ") NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(" + name + ") <= " + w + ")";
}

std::string TableSql(const Layout& table, StoreKind kind, const ServerColumns* columns) {
  if (table.kind != LayoutKind::Table)
    throw std::invalid_argument("'" + std::string(table.name) + "' is not a table");
  std::string sql = "CREATE TABLE ";
  sql += table.table;
  sql += " (";
  bool first = true;
  for (const Field& f : table.fields) {
    if (!HasColumn(f, kind)) continue;
    if (!first) sql += ", ";
    sql += ColumnSql(f.column, f.width, columns);
    first = false;
  }
  if (table.keyCount > 0) {
    sql += ", PRIMARY KEY (";
    for (std::size_t i = 0; i < table.keyCount; ++i) {
      if (i > 0) sql += ", ";
      sql += table.fields[i].column;
    }
    sql += ')';
  }
  sql += ')';
  return sql;
}

std::vector<std::string> SchemaSql(StoreKind kind, const ServerColumns* columns) {
  std::vector<std::string> out;
  for (const Layout* table : StoreTables()) out.push_back(TableSql(*table, kind, columns));

  for (const AccessPath& path : AllAccessPaths()) {
    if (path.IsPhysical() || KeyIsLeadingPart(path)) continue;
    std::vector<std::string_view> columns(path.key.begin(), path.key.end());
    for (const Field& k : path.physical->Key())
      if (std::find(columns.begin(), columns.end(), k.column) == columns.end())
        columns.push_back(k.column);
    std::string sql = "CREATE INDEX IX_" + std::string(path.name) + " ON " +
                      std::string(path.physical->table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += columns[i];
    }
    out.push_back(sql + ")");
  }

  if (kind == StoreKind::Nt) {
    const std::string text = columns ? " NOT NULL" + columns->suffix : std::string(" NOT NULL COLLATE RTRIM");
    out.emplace_back("CREATE TABLE QV_MX (SRCDB VARCHAR(128)" + text + ", SRCTBL VARCHAR(128)" + text +
                     ", FIELDINPUT VARCHAR(128)" + text +
                     ", MAXLEN INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (SRCDB, SRCTBL, FIELDINPUT))");
  }
  return out;
}

}  // namespace

std::string CreateTableSql(const Layout& table, StoreKind kind) { return TableSql(table, kind, nullptr); }

std::string CreateTableSql(const Layout& table, StoreKind kind, const ServerColumns& columns) {
  return TableSql(table, kind, &columns);
}

std::vector<std::string> StoreSchemaSql(StoreKind kind) { return SchemaSql(kind, nullptr); }

std::vector<std::string> StoreSchemaSql(StoreKind kind, const ServerColumns& columns) {
  return SchemaSql(kind, &columns);
}

}  // namespace qv
