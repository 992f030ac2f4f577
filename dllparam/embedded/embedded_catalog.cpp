// Keeps the file catalog of embedded AS/400 sources and answers its
// commands: "SYSLSTRCD_" (record formats), "SYSRTVACPT" (access path),
// "SYSLSTFLD_" (fields) and "SYSWRTZX__" (field descriptions of a model
// table written to QV_ZX).
#include "dllparam/embedded/embedded_catalog.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "dllparam/embedded/embedded_internal.h"
#include "store/record_layouts.h"

namespace qv::embedded {
namespace {

constexpr size_t kFormatEntry = 80;
constexpr size_t kFieldEntry = 108;
constexpr size_t kFieldRecord = 114;
constexpr size_t kFieldKey = 30;

void EnsureCatalogTables(Db& db) {
  db.exec(
      "CREATE TABLE IF NOT EXISTS qvs_catalog_file (library TEXT NOT NULL, name TEXT NOT NULL,"
      " formats TEXT NOT NULL, keys TEXT NOT NULL, PRIMARY KEY (library, name));"
      "CREATE TABLE IF NOT EXISTS qvs_catalog_field (library TEXT NOT NULL, file TEXT NOT NULL,"
      " seq INTEGER NOT NULL, name TEXT NOT NULL, type TEXT NOT NULL, bytes INTEGER NOT NULL,"
      " digits INTEGER NOT NULL, decimals INTEGER NOT NULL, text TEXT NOT NULL,"
      " varying INTEGER NOT NULL, PRIMARY KEY (library, file, seq));");
}

bool HasCatalog(Db& db) {
  Stmt st = db.prepareOnce("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'qvs_catalog_file'");
  return st.step();
}

std::string Upper(std::string_view s) { return UpperText(TrimText(s)); }

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(text.find(' ', start), text.size());
    out.emplace_back(text.substr(start, end - start));
    at = end;
  }
  return out;
}

std::string JoinWords(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

// Reads a file of the catalog, fields included; false when there is none.
bool ReadFile(Db& db, const std::string& library, const std::string& name, CatalogFile& out) {
  if (!HasCatalog(db)) return false;
  Stmt f = db.prepareOnce("SELECT formats, keys FROM qvs_catalog_file WHERE library = ? AND name = ?");
  f.bind(1, library);
  f.bind(2, name);
  if (!f.step()) return false;
  out = CatalogFile{};
  out.library = library;
  out.name = name;
  out.formats = Words(f.columnText(0));
  out.keys = Words(f.columnText(1));
  Stmt o = db.prepareOnce("SELECT attribute, text FROM qvs_object WHERE library = ? AND name = ? AND type = '*FILE'");
  o.bind(1, library);
  o.bind(2, name);
  if (o.step()) {
    out.attribute = std::string(o.columnText(0));
    out.text = std::string(o.columnText(1));
  }
  Stmt d = db.prepareOnce(
      "SELECT name, type, bytes, digits, decimals, text, varying FROM qvs_catalog_field"
      " WHERE library = ? AND file = ? ORDER BY seq");
  d.bind(1, library);
  d.bind(2, name);
  while (d.step()) {
    CatalogField c;
    c.name = std::string(d.columnText(0));
    c.type = d.columnText(1).empty() ? ' ' : d.columnText(1)[0];
    c.bytes = d.columnInt(2);
    c.digits = d.columnInt(3);
    c.decimals = d.columnInt(4);
    c.text = std::string(d.columnText(5));
    c.varying = d.columnInt(6) != 0;
    out.fields.push_back(std::move(c));
  }
  return true;
}

int64_t RecordLength(const CatalogFile& file) {
  int64_t n = 0;
  for (const CatalogField& f : file.fields) n += f.bytes;
  return n;
}

// The library and file of a paged request ("04096", page flag, file, library).
std::pair<std::string, std::string> PagedFile(const std::string& data) {
  return {Upper(std::string_view(data).substr(16, 10)), Upper(std::string_view(data).substr(6, 10))};
}

}  // namespace

void ReplyPage(std::deque<std::string>& left, size_t width, std::string& data, size_t n) {
  const size_t count = std::min(left.size(), (n - 5) / width);
  std::string answer = Num(static_cast<int64_t>(count * width), 5);
  for (size_t i = 0; i < count; ++i) answer += left[i];
  left.erase(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(count));
  Reply(data, n, answer);
}

void PutCatalogFile(Db& db, const CatalogFile& file) {
  const std::string library = Upper(file.library), name = Upper(file.name);
  const std::string what = "file " + library + "/" + name;
  auto refuse = [&](const std::string& text) { throw std::invalid_argument(what + ": " + text); };
  auto checkName = [&](const std::string& n, const char* kind) {
    if (n.empty() || n.size() > 10 || n.find(' ') != std::string::npos)
      refuse(std::string(kind) + " \"" + n + "\" is not a name of 1 to 10 characters");
  };
  checkName(library, "library");
  checkName(name, "file");
  const std::string attribute = Upper(file.attribute);
  if (attribute != "PF" && attribute != "LF") refuse("attribute \"" + attribute + "\" is neither PF nor LF");
  if (file.fields.empty()) refuse("no field");
  std::vector<std::string> names;
  for (const CatalogField& f : file.fields) {
    const std::string n = Upper(f.name);
    checkName(n, "field");
    if (std::find(names.begin(), names.end(), n) != names.end()) refuse("field " + n + " appears twice");
    names.push_back(n);
    if (std::string_view(kCatalogTypeLetters).find(f.type) == std::string_view::npos || f.type == '\0')
      refuse("field " + n + " has the unknown type letter \"" + std::string(1, f.type) + "\"");
    if (f.bytes <= 0 || f.bytes > 99999 || f.digits < 0 || f.digits > 99999 || f.decimals < 0 ||
        (f.decimals > f.digits && f.digits > 0))
      refuse("field " + n + " has a length, digits or decimals out of range");
    if (f.text.size() > 30) refuse("field " + n + " has a text longer than 30 characters");
  }
  std::vector<std::string> keys, formats;
  for (const std::string& k : file.keys) {
    const std::string key = Upper(k);
    if (std::find(names.begin(), names.end(), key) == names.end()) refuse("key " + key + " is no field");
    keys.push_back(key);
  }
  if (keys.size() > 120) refuse("more than 120 key fields");
  for (const std::string& f : file.formats) {
    checkName(Upper(f), "record format");
    formats.push_back(Upper(f));
  }
  if (formats.empty()) formats.push_back(name);
  if (file.text.size() > 50) refuse("a text longer than 50 characters");
  EnsureCatalogTables(db);
  WithWriteTransaction(db, [&] {
    Stmt del = db.prepareOnce("DELETE FROM qvs_catalog_field WHERE library = ? AND file = ?");
    del.bind(1, library);
    del.bind(2, name);
    del.step();
    Stmt put = db.prepareOnce("INSERT OR REPLACE INTO qvs_catalog_file (library, name, formats, keys) VALUES (?, ?, ?, ?)");
    put.bind(1, library);
    put.bind(2, name);
    put.bind(3, JoinWords(formats));
    put.bind(4, JoinWords(keys));
    put.step();
    Stmt obj = db.prepareOnce(
        "INSERT OR REPLACE INTO qvs_object (library, name, type, attribute, text) VALUES (?, ?, '*FILE', ?, ?)");
    obj.bind(1, library);
    obj.bind(2, name);
    obj.bind(3, attribute);
    obj.bind(4, file.text);
    obj.step();
    Stmt lib = db.prepareOnce(
        "INSERT OR IGNORE INTO qvs_object (library, name, type, attribute, text) VALUES ('QSYS', ?, '*LIB', 'PROD', '')");
    lib.bind(1, library);
    lib.step();
    int64_t seq = 0;
    for (const CatalogField& f : file.fields) {
      Stmt st = db.prepareOnce(
          "INSERT INTO qvs_catalog_field (library, file, seq, name, type, bytes, digits, decimals, text, varying)"
          " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
      st.bind(1, library);
      st.bind(2, name);
      st.bind(3, ++seq);
      st.bind(4, Upper(f.name));
      st.bind(5, std::string(1, f.type));
      st.bind(6, f.bytes);
      st.bind(7, f.digits);
      st.bind(8, f.decimals);
      st.bind(9, f.text);
      st.bind(10, static_cast<int64_t>(f.varying ? 1 : 0));
      st.step();
    }
  });
}

CatalogFile ParseCatalogDescription(std::string_view text) {
  CatalogFile file;
  bool named = false;
  int number = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string line(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    auto refuse = [&](const std::string& why) {
      throw std::invalid_argument("line " + std::to_string(number) + ": " + why);
    };
    // The text after the first n words of the line.
    auto rest = [&](size_t n) {
      size_t at = 0;
      for (size_t i = 0; i < n && at != std::string::npos; ++i) at = line.find(' ', line.find_first_not_of(' ', at));
      return at == std::string::npos ? std::string() : TrimText(std::string_view(line).substr(at));
    };
    auto number64 = [&](const std::string& w, const char* what) {
      if (w.empty() || w.size() > 9 || !std::all_of(w.begin(), w.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
        refuse(std::string(what) + " \"" + w + "\" is not a number");
      return static_cast<int64_t>(std::stoll(w));
    };
    const std::string item = UpperText(words[0]);
    if (item == "FILE") {
      if (named) refuse("a second file line");
      if (words.size() < 2 || words[1].find('/') == std::string::npos) refuse("file needs LIBRARY/FILE");
      named = true;
      file.library = words[1].substr(0, words[1].find('/'));
      file.name = words[1].substr(words[1].find('/') + 1);
      size_t used = 2;
      if (words.size() > 2 && (UpperText(words[2]) == "PF" || UpperText(words[2]) == "LF")) {
        file.attribute = UpperText(words[2]);
        used = 3;
      }
      file.text = rest(used);
    } else if (item == "FORMAT" || item == "KEY") {
      if (words.size() != 2) refuse(item == "KEY" ? "key needs one field name" : "format needs one name");
      (item == "KEY" ? file.keys : file.formats).push_back(words[1]);
    } else if (item == "FIELD") {
      if (words.size() < 6) refuse("field needs NAME TYPE BYTES DIGITS DECIMALS");
      CatalogField f;
      f.name = words[1];
      if (words[2].size() != 1) refuse("the type \"" + words[2] + "\" is not one letter");
      f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(words[2][0])));
      f.bytes = number64(words[3], "bytes");
      f.digits = number64(words[4], "digits");
      f.decimals = number64(words[5], "decimals");
      size_t used = 6;
      if (words.size() > 6 && UpperText(words[6]) == "VARYING") {
        f.varying = true;
        used = 7;
      }
      f.text = rest(used);
      file.fields.push_back(std::move(f));
    } else {
      refuse("unknown item \"" + words[0] + "\"; expected file, format, key or field");
    }
  }
  if (!named) throw std::invalid_argument("no file line");
  return file;
}

std::vector<CatalogFile> CatalogFiles(Db& db) {
  std::vector<CatalogFile> out;
  if (!HasCatalog(db)) return out;
  std::vector<std::pair<std::string, std::string>> names;
  Stmt st = db.prepareOnce("SELECT library, name FROM qvs_catalog_file ORDER BY library, name");
  while (st.step()) names.emplace_back(st.columnText(0), st.columnText(1));
  for (const auto& [library, name] : names) {
    CatalogFile f;
    if (ReadFile(db, library, name, f)) out.push_back(std::move(f));
  }
  return out;
}

// ---- Commands ---------------------------------------------------------------------

bool EmbeddedSource::FirstPage(const std::string& data, const char* command) {
  const char page = data[5];
  if (page != '0' && page != '1')
    Fail(kCodeBadCall, std::string(command) + " page flag \"" + page + "\" is neither \"0\" nor \"1\"");
  return page == '0';
}

void EmbeddedSource::ListFormats(Connection& c, std::string& data, size_t n) {
  if (n < 26) Fail(kCodeBadCall, "SYSLSTRCD_ area of " + std::to_string(n) + " bytes shorter than its request");
  if (FirstPage(data, "SYSLSTRCD_")) {
    c.catalog.formatsLeft.clear();
    const auto [library, name] = PagedFile(data);
    CatalogFile file;
    if (ReadFile(c.db, library, name, file))
      for (const std::string& format : file.formats)
        c.catalog.formatsLeft.push_back(Fit(format, 10) + Fit(name, 10) + Num(RecordLength(file), 10) +
                                        std::string(kFormatEntry - 30, ' '));
  }
  ReplyPage(c.catalog.formatsLeft, kFormatEntry, data, n);
}

void EmbeddedSource::RetrieveAccessPath(Connection& c, std::string& data, size_t n) {
  if (n < 25) Fail(kCodeBadCall, "SYSRTVACPT area of " + std::to_string(n) + " bytes shorter than its request");
  const std::string name = Upper(std::string_view(data).substr(5, 10));
  const std::string library = Upper(std::string_view(data).substr(15, 10));
  CatalogFile file;
  std::string answer;
  if (!ReadFile(c.db, library, name, file)) {
    answer = "00030" + std::string(25, ' ');
  } else {
    const bool keyed = !file.keys.empty();
    std::string body = Fit(name, 10) + Fit(library, 10) + (keyed ? "KU" : "AR") +
                       Num(static_cast<int64_t>(file.keys.size()), 3);
    for (const std::string& k : file.keys) body += Fit(k, 10);
    answer = Num(static_cast<int64_t>(5 + body.size()), 5) + body;
  }
  if (answer.size() > n) Fail(kCodeBadCall, "SYSRTVACPT answer does not fit an area of " + std::to_string(n));
  Reply(data, n, answer);
}

void EmbeddedSource::ListFields(Connection& c, std::string& data, size_t n) {
  if (n < 26) Fail(kCodeBadCall, "SYSLSTFLD_ area of " + std::to_string(n) + " bytes shorter than its request");
  if (FirstPage(data, "SYSLSTFLD_")) {
    c.catalog.fieldsLeft.clear();
    const auto [library, name] = PagedFile(data);
    CatalogFile file;
    if (ReadFile(c.db, library, name, file)) {
      int64_t position = 1;
      for (const CatalogField& f : file.fields) {
        std::string e = Fit(f.name, 10) + std::string(1, f.type) + Num(position, 10) + Num(f.bytes, 10) +
                        Num(f.digits, 10) + Num(f.decimals, 10) + Fit(f.text, 30);
        e += std::string(102 - e.size(), ' ');
        e += (f.type == 'A' || f.type == 'J' || f.type == 'E' || f.type == 'O') && f.varying ? '1' : '0';
        e += std::string(kFieldEntry - e.size(), ' ');
        c.catalog.fieldsLeft.push_back(std::move(e));
        position += f.bytes;
      }
    }
  }
  ReplyPage(c.catalog.fieldsLeft, kFieldEntry, data, n);
}

void EmbeddedSource::WriteFields(Connection& c, std::string& data, size_t n) {
  auto bad = [&](const std::string& text) { Fail(kCodeBadCall, "SYSWRTZX__ " + text); };
  if (n < 6) bad("area of " + std::to_string(n) + " bytes shorter than its request");
  const std::string_view area = std::string_view(data).substr(0, n);
  auto count = [&](size_t width) -> size_t {
    const std::string_view digits = area.substr(6, width);
    if (area.size() < 6 + width ||
        !std::all_of(digits.begin(), digits.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
      bad("batch without its " + std::to_string(width) + "-digit count");
    return std::stoul(std::string(digits));
  };
  const char mode = area[5];
  if (mode == '0') {
    if (n < 21) bad("begin request without its model table");
    c.catalog.fieldTable = std::string(area.substr(6, 15));
    return;
  }
  if (mode != '1' && mode != '2') bad(std::string("mode \"") + mode + "\" is none of \"0\", \"1\", \"2\"");
  if (c.catalog.fieldTable.empty()) bad("batch without a begin request");
  const std::string& table = c.catalog.fieldTable;
  const std::string env = table.substr(0, 2), grp = table.substr(2, 3), fic = table.substr(5, 10);
  const size_t head = mode == '1' ? 8 : 9, width = mode == '1' ? kFieldRecord : kFieldKey;
  const size_t items = count(head - 6);
  if (items * width > n - head)
    bad("batch of " + std::to_string(items) + " items larger than its area of " + std::to_string(n));
  std::vector<std::string> columns;
  for (const Field& f : layout::QV_ZX.fields) columns.emplace_back(f.column);
  WithWriteTransaction(c.db, [&] {
    for (size_t i = 0; i < items; ++i) {
      const std::string_view item = area.substr(head + i * width, width);
      if (mode == '2') {
        Stmt st = c.db.prepareOnce("DELETE FROM QV_ZX WHERE ENVID = ? AND GRPID = ? AND FICID = ? AND FIELDINPUT = ?");
        st.bind(1, env);
        st.bind(2, grp);
        st.bind(3, fic);
        st.bind(4, item);
        st.step();
        continue;
      }
      if (item.substr(0, 15) != table) bad("record " + std::to_string(i + 1) + " belongs to another model table");
      std::string sql = "INSERT OR REPLACE INTO QV_ZX (", marks;
      for (size_t k = 0; k < columns.size(); ++k) {
        sql += (k ? ", " : "") + columns[k];
        marks += k ? ", ?" : "?";
      }
      Stmt st = c.db.prepareOnce(sql + ") VALUES (" + marks + ")");
      for (size_t k = 0; k < columns.size(); ++k) {
        const Field& f = layout::QV_ZX.fields[k];
        st.bind(static_cast<int>(k + 1), item.substr(f.offset, f.width));
      }
      st.step();
    }
  });
}

}  // namespace qv::embedded
