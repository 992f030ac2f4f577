// Implements the source tables of NT stores: reading their description and
// creating them.
#include "dllparam/admin/source_tables.h"

#include <cctype>
#include <sstream>

namespace qv::embedded {
namespace {

constexpr std::size_t kNameMax = 128;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Tells whether text is a name a source database accepts unquoted.
bool IsName(std::string_view text) {
  if (text.empty() || text.size() > kNameMax) return false;
  if (!std::isalpha(static_cast<unsigned char>(text[0])) && text[0] != '_') return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' && c != '@') return false;
  return true;
}

// Tells whether text is a type: a name, optionally "(n)" or "(p,s)".
bool IsType(std::string_view text) {
  std::size_t paren = text.find('(');
  if (!IsName(text.substr(0, paren))) return false;
  if (paren == std::string_view::npos) return true;
  if (text.back() != ')') return false;
  std::string_view args = text.substr(paren + 1, text.size() - paren - 2);
  std::size_t comma = args.find(',');
  auto digits = [](std::string_view d) {
    return !d.empty() && d.size() <= 10 &&
           d.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return digits(args.substr(0, comma)) && (comma == std::string_view::npos || digits(args.substr(comma + 1)));
}

bool IsLongText(std::string_view type) {
  std::string name = Upper(type.substr(0, type.find('(')));
  return name == "TEXT" || name == "LONGVARCHAR";
}

[[noreturn]] void Bad(int line, const std::string& what) {
  throw StoreError("table description, line " + std::to_string(line) + ": " + what);
}

}  // namespace

SourceTable ParseSourceTable(std::string_view text) {
  SourceTable out;
  bool named = false;
  std::istringstream in{std::string(text)};
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    std::istringstream words(raw);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty() || w[0][0] == '#') continue;
    if (!named) {
      if (w.size() != 2 || Upper(w[0]) != "TABLE")
        Bad(line, "expected \"table DATABASE.TABLE\", found \"" + raw + "\"");
      std::size_t dot = w[1].find('.');
      if (dot == std::string::npos || !IsName(w[1].substr(0, dot)) || !IsName(w[1].substr(dot + 1)))
        Bad(line, "\"" + w[1] + "\" is not DATABASE.TABLE (letters, digits, _ $ # @; at most 128 each)");
      out.database = Upper(w[1].substr(0, dot));
      out.table = Upper(w[1].substr(dot + 1));
      named = true;
      continue;
    }
    if (w.size() < 2) Bad(line, "a column needs a name and a type: \"" + raw + "\"");
    SourceColumn c;
    c.name = Upper(w[0]);
    c.type = w[1];
    if (!IsName(c.name)) Bad(line, "\"" + w[0] + "\" is not a column name");
    if (!IsType(c.type)) Bad(line, "\"" + c.type + "\" is not a type such as INT, VARCHAR(30) or DECIMAL(10,2)");
    for (const SourceColumn& other : out.columns)
      if (other.name == c.name) Bad(line, "column " + c.name + " is given twice");
    for (std::size_t i = 2; i < w.size(); ++i) {
      const std::string option = Upper(w[i]);
      if (option == "KEY") {
        c.key = c.notNull = true;
      } else if (option == "NOTNULL") {
        c.notNull = true;
      } else if (option.rfind("MAXLEN=", 0) == 0) {
        const std::string n = option.substr(7);
        if (!IsLongText(c.type)) Bad(line, "maxlen is for TEXT and LONGVARCHAR columns only");
        if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos)
          Bad(line, "maxlen needs a number of at most 9 digits: \"" + w[i] + "\"");
        c.maxLen = std::stoi(n);
      } else {
        Bad(line, "unknown word \"" + w[i] + "\" (key, notnull or maxlen=N)");
      }
    }
    out.columns.push_back(std::move(c));
  }
  if (!named) throw StoreError("table description: no \"table DATABASE.TABLE\" line");
  if (out.columns.empty()) throw StoreError("table description: table " + out.database + "." + out.table +
                                            " has no column");
  return out;
}

void AddSourceTable(StoreAdmin& store, const SourceTable& table) {
  if (!IsNtKind(store.kind())) throw StoreError(store.path() + " is an AS/400 store: source tables are for NT stores");
  const std::string name = SourceTableName(table.database, table.table);
  Db& db = store.db();
  WithWriteTransaction(db, [&] {
    Stmt exists = db.prepare("SELECT 1 FROM sqlite_master WHERE name = ? COLLATE NOCASE");
    exists.bind(1, name);
    if (exists.step()) throw StoreError("table " + name + " exists already in " + store.path());
    std::string sql = "CREATE TABLE \"" + name + "\" (";
    std::string keys;
    for (const SourceColumn& c : table.columns) {
      sql += "\"" + c.name + "\" " + c.type + (c.notNull ? " NOT NULL" : "") + ", ";
      if (c.key) keys += (keys.empty() ? "\"" : ", \"") + c.name + "\"";
    }
    sql.resize(sql.size() - 2);
    if (!keys.empty()) sql += ", PRIMARY KEY (" + keys + ")";
    db.exec(sql + ")");
    for (const SourceColumn& c : table.columns) {
      if (!c.maxLen) continue;
      Stmt mx = db.prepare("INSERT OR REPLACE INTO QV_MX (SRCDB, SRCTBL, FIELDINPUT, MAXLEN) VALUES (?, ?, ?, ?)");
      mx.bind(1, table.database);
      mx.bind(2, table.table);
      mx.bind(3, c.name);
      mx.bind(4, static_cast<int64_t>(*c.maxLen));
      mx.step();
    }
  });
}

std::string DescribeSourceTables(StoreAdmin& store) {
  Db& db = store.db();
  std::vector<std::string> names;
  Stmt st = db.prepare("SELECT name FROM sqlite_master WHERE type = 'table' AND instr(name, '.') > 0 ORDER BY name");
  while (st.step()) names.emplace_back(st.columnText(0));
  std::string out;
  for (const std::string& name : names) {
    Stmt columns = db.prepare("SELECT name, pk FROM pragma_table_info(?) ORDER BY pk, cid");
    columns.bind(1, name);
    std::size_t count = 0;
    std::string keys;
    while (columns.step()) {
      ++count;
      if (columns.columnInt(1) > 0) keys += (keys.empty() ? "" : ", ") + std::string(columns.columnText(0));
    }
    Stmt rows = db.prepare("SELECT COUNT(*) FROM \"" + name + "\"");
    rows.step();
    out += "  " + name + "  " + std::to_string(count) + (count == 1 ? " column" : " columns") +
           (keys.empty() ? std::string() : ", key " + keys) + ", " + std::to_string(rows.columnInt(0)) +
           (rows.columnInt(0) == 1 ? " row" : " rows") + "\n";
  }
  return out;
}

}  // namespace qv::embedded
