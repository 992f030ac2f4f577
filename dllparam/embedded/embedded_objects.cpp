// Answers the object commands of the embedded AS/400 source: "CHKOBJ____",
// "SYSLSTOBJ_" (libraries, files, journals), "SYSLSTJRN_" (the files
// journaled to a journal), "SYSLSTRCV_" (the receivers the engine reads),
// and the creation of a file from the DDS lines written to the work source
// member ("CLRDDS____", "CRTDDS____").
#include <algorithm>
#include <stdexcept>

#include "dllparam/embedded/embedded_internal.h"
#include "store/access_paths.h"

namespace qv::embedded {
namespace {

constexpr size_t kObjectEntry = 70;
constexpr size_t kJournaledEntry = 50;
constexpr size_t kReceiverEntry = 77;
// Parameters of a first page: "04096", the page flag, then the fields.
constexpr size_t kPagedFields = 6;

bool RowExists(Db& db, const char* sql, std::initializer_list<std::string_view> values) {
  Stmt st = db.prepareOnce(sql);
  int i = 1;
  for (std::string_view v : values) st.bind(i++, v);
  return st.step();
}

std::string Field(const std::string& data, size_t at) {
  return UpperText(TrimText(std::string_view(data).substr(at, 10)));
}

// Turns "2026-12-07T01:04:48Z" into "1261207010448" (century digit "1" for
// 20xx, "0" for 19xx); blank for anything else.
std::string CenturyDate(const std::string& stamp) {
  if (stamp.size() < 19 || (stamp.compare(0, 2, "19") != 0 && stamp.compare(0, 2, "20") != 0))
    return std::string(13, ' ');
  return std::string(stamp[1] == '9' ? "0" : "1") + stamp.substr(2, 2) + stamp.substr(5, 2) + stamp.substr(8, 2) +
         stamp.substr(11, 2) + stamp.substr(14, 2) + stamp.substr(17, 2);
}

// The receiver names without their number: "QVRCV".
std::string ReceiverPrefix() {
  return std::string(kFirstReceiver.substr(0, kFirstReceiver.find_first_of("0123456789")));
}

// Number of receivers the engine has reached: the highest trailing number of
// the receivers its jobs started from in the store library, at least 1.
int64_t ReceiverCount(Db& db) {
  if (!RowExists(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'qvs_job'", {})) return 1;
  const std::string prefix = ReceiverPrefix();
  Stmt st = db.prepareOnce("SELECT receiver FROM qvs_job WHERE rcvlib = ? AND receiver LIKE ? || '%'");
  st.bind(1, kLibraryName);
  st.bind(2, prefix);
  int64_t most = 1;
  while (st.step()) {
    const std::string digits(st.columnText(0).substr(prefix.size()));
    if (!digits.empty() && digits.size() <= 9 && std::all_of(digits.begin(), digits.end(), ::isdigit))
      most = std::max<int64_t>(most, std::stoll(digits));
  }
  return most;
}

// ---- DDS source ---------------------------------------------------------------

// Returns the text of keyword TEXT('...') in the keyword columns, or "".
std::string KeywordText(const std::string& keywords) {
  const size_t at = keywords.find("TEXT('");
  if (at == std::string::npos) return {};
  const size_t end = keywords.find("')", at + 6);
  return keywords.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6);
}

// Bytes a field of type letter with digits takes in the record.
int64_t FieldBytes(char type, int64_t digits) {
  switch (type) {
    case 'P': return digits / 2 + 1;
    case 'B': return digits <= 4 ? 2 : digits <= 9 ? 4 : 8;
    case 'F': return digits <= 7 ? 4 : 8;
    case 'L': return 10;
    case 'T': return 8;
    case 'Z': return 26;
    default: return digits;
  }
}

// Reads DDS lines (form type "A" in position 6; "*" in 7 a comment; name
// type in 17: "R" record format, "K" key field, blank a field; name in
// 19-28; length 30-34; data type 35; decimals 36-37; keywords from 45).
// Throws std::invalid_argument naming the line for anything else.
CatalogFile ParseDds(const std::vector<std::string>& lines) {
  CatalogFile f;
  f.formats.clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = lines[i] + std::string(80 - std::min<size_t>(lines[i].size(), 80), ' ');
    auto refuse = [&](const std::string& what) {
      throw std::invalid_argument("DDS line " + std::to_string(i + 1) + ": " + what);
    };
    if (TrimText(line).empty() || line[6] == '*') continue;
    if (line[5] != 'A' && line[5] != ' ') refuse("form type \"" + line.substr(5, 1) + "\" is not A");
    const char kind = line[16];
    const std::string name = UpperText(TrimText(line.substr(18, 10)));
    const std::string keywords = TrimText(line.substr(44));
    if (kind == 'R') {
      if (name.empty()) refuse("record format without a name");
      f.formats.push_back(name);
      if (f.text.empty()) f.text = KeywordText(keywords);
    } else if (kind == 'K') {
      if (name.empty()) refuse("key without a field name");
      f.keys.push_back(name);
    } else if (kind == ' ') {
      if (name.empty()) continue;  // a keyword continued from the line above
      if (f.formats.empty()) refuse("field " + name + " before its record format");
      const std::string length = TrimText(line.substr(29, 5)), decimals = TrimText(line.substr(35, 2));
      char type = line[34] == ' ' ? (decimals.empty() ? 'A' : 'P') : static_cast<char>(std::toupper(line[34]));
      const bool timeless = type == 'L' || type == 'T' || type == 'Z';
      auto number = [&](const std::string& text, const char* what) -> int64_t {
        if (text.empty()) return 0;
        if (!std::all_of(text.begin(), text.end(), ::isdigit)) refuse(std::string(what) + " \"" + text + "\" is not a number");
        return std::stoll(text);
      };
      CatalogField field;
      field.name = name;
      field.type = type;
      field.digits = number(length, "length");
      field.decimals = number(decimals, "decimals");
      if (field.digits == 0 && !timeless) refuse("field " + name + " without a length");
      field.bytes = FieldBytes(type, field.digits);
      if (type == 'A' || type == 'H' || timeless) field.digits = 0;
      field.text = KeywordText(keywords).substr(0, 30);
      field.varying = keywords.find("VARLEN") != std::string::npos;
      f.fields.push_back(std::move(field));
    } else {
      refuse(std::string("name type \"") + kind + "\" is neither R, K nor blank");
    }
  }
  if (f.formats.empty()) throw std::invalid_argument("DDS source without a record format");
  return f;
}

}  // namespace

bool ObjectExists(Db& db, const std::string& library, const std::string& name, const std::string& type) {
  std::string lib = library == "*LIBL" ? std::string(kLibraryName) : library;
  if (type == "*LIB") {
    if (name == kLibraryName) return true;
    return RowExists(db, "SELECT 1 FROM qvs_object WHERE name = ? AND type = '*LIB'", {name});
  }
  if (type == "*FILE" && lib == kLibraryName && FindAccessPath(name)) return true;
  if (type == "*JRN" && lib == kLibraryName && name == kJournalName) return true;
  if (type == "*USRSPC") return RowExists(db, "SELECT 1 FROM qvs_usrspc WHERE library = ? AND name = ?", {lib, name});
  return RowExists(db, "SELECT 1 FROM qvs_object WHERE library = ? AND name = ? AND type = ?", {lib, name, type});
}

void EmbeddedSource::CheckObject(Connection& c, std::string& data, size_t n) {
  if (n < 30) Fail(kCodeBadCall, "CHKOBJ____ area of " + std::to_string(n) + " bytes; 40 expected");
  std::string name = TrimText(std::string_view(data).substr(0, 10));
  std::string library = TrimText(std::string_view(data).substr(10, 10));
  std::string type = TrimText(std::string_view(data).substr(20, 10));
  bool exists = ObjectExists(c.db, library, name, type);
  Reply(data, n, exists ? "000010" : "000011");
}

// Checks a paged request of command with fields 10-character fields (the
// page flag, and on a first page an area that holds them): tells whether it
// asks for the first page; fails a bad one.
bool EmbeddedSource::PagedRequest(const std::string& data, size_t n, size_t fields, const char* command) {
  if (n < kPagedFields) Fail(kCodeBadCall, std::string(command) + " area of " + std::to_string(n) + " bytes");
  const bool first = FirstPage(data, command);
  if (first && n < kPagedFields + 10 * fields)
    Fail(kCodeBadCall, std::string(command) + " area of " + std::to_string(n) + " bytes shorter than its request");
  return first;
}

void EmbeddedSource::ListObjects(Connection& c, std::string& data, size_t n) {
  std::deque<std::string>& left = c.catalog.objectsLeft;
  if (PagedRequest(data, n, 4, "SYSLSTOBJ_")) {
    left.clear();
    const std::string object = Field(data, 6), library = Field(data, 16), type = Field(data, 26),
                      attribute = Field(data, 36);
    if (type.empty()) Fail(kCodeBadCall, "SYSLSTOBJ_ without an object type");
    // Libraries are objects of QSYS; the store library always exists.
    const bool libraries = type == "*LIB";
    std::vector<std::pair<std::string, std::string>> found;  // name, attribute + text
    if (libraries && library != "QSYS") Fail(kCodeBadCall, "SYSLSTOBJ_ lists libraries in QSYS only");
    if (!libraries && !ObjectExists(c.db, "QSYS", library, "*LIB"))
      Fail(kCodeRefused, "CPF2110: library " + library + " not found", 2110);
    Stmt st = c.db.prepareOnce(
        "SELECT name, attribute, text FROM qvs_object WHERE type = ? AND (library = ? OR ? = '*LIB') "
        "AND (? = '' OR attribute = ?) ORDER BY name");
    st.bind(1, type);
    st.bind(2, library);
    st.bind(3, type);
    st.bind(4, attribute);
    st.bind(5, attribute);
    while (st.step()) found.emplace_back(st.columnText(0), Fit(st.columnText(1), 10) + Fit(st.columnText(2), 50));
    auto add = [&](std::string_view name, std::string_view rest) {
      if (std::none_of(found.begin(), found.end(), [&](const auto& f) { return f.first == name; }))
        found.emplace_back(std::string(name), std::string(rest));
    };
    if (libraries && (attribute.empty() || attribute == "PROD")) add(kLibraryName, Fit("PROD", 60));
    if (type == "*JRN" && library == kLibraryName && attribute.empty())
      add(kJournalName, Fit("", 10) + Fit("Journal of the replicated files", 50));
    std::sort(found.begin(), found.end());
    for (const auto& [name, rest] : found)
      if (object == "*ALL" || object == name) left.push_back(Fit(name, 10) + rest);
  }
  ReplyPage(left, kObjectEntry, data, n);
}

bool EmbeddedSource::FirstPageOfEngineJournal(Connection& c, const std::string& data, size_t n, const char* command,
                                              std::deque<std::string>& left) {
  if (!PagedRequest(data, n, 2, command)) return false;
  left.clear();
  const std::string journal = Field(data, 6), library = Field(data, 16);
  if (!ObjectExists(c.db, library, journal, "*JRN"))
    Fail(kCodeRefused, "CPF9801: object " + journal + " in library " + library + " type *JRN not found",
         kErrObjectNotFound);
  return journal == kJournalName && library == kLibraryName;
}

void EmbeddedSource::ListJournaled(Connection& c, std::string& data, size_t n) {
  std::deque<std::string>& left = c.catalog.journaledLeft;
  // Every physical file kept is journaled, all its members, to the engine's journal.
  if (FirstPageOfEngineJournal(c, data, n, "SYSLSTJRN_", left)) {
    Stmt st = c.db.prepareOnce(
        "SELECT name, library FROM qvs_object WHERE type = '*FILE' AND attribute = 'PF' ORDER BY library, name");
    while (st.step()) left.push_back(Fit(st.columnText(0), 10) + Fit(st.columnText(1), 10) + Fit("*ALL", 30));
  }
  ReplyPage(left, kJournaledEntry, data, n);
}

void EmbeddedSource::ListReceivers(Connection& c, std::string& data, size_t n) {
  std::deque<std::string>& left = c.catalog.receiversLeft;
  if (FirstPageOfEngineJournal(c, data, n, "SYSLSTRCV_", left)) {
    Stmt st = c.db.prepareOnce("SELECT value FROM qvs_meta WHERE key = 'created'");
    const std::string created = CenturyDate(st.step() ? std::string(st.columnText(0)) : std::string());
    const std::string prefix = ReceiverPrefix();
    const int64_t count = ReceiverCount(c.db);
    for (int64_t k = 1; k <= count; ++k)
      left.push_back(Fit(prefix + Num(k, kFirstReceiver.size() - prefix.size()), 10) +
                     Num((k - 1) * kEntriesPerReceiver + 1, 10) + Num(k * kEntriesPerReceiver, 10) + created +
                     created + std::string(13, ' ') + std::string(kReceiverEntry - 69, ' '));
  }
  ReplyPage(left, kReceiverEntry, data, n);
}

int32_t EmbeddedSource::OpenWorkMember(Connection& c, const std::string& member, bool update) {
  if (member != kWorkMember)
    Fail(kCodeRefused, "member " + std::string(kWorkMemberFile) + member + " not found in QTEMP", kErrObjectNotFound);
  if (!update) Fail(kCodeBadCall, "the work source member is opened for writing (\"rr+\") only");
  auto hd = std::make_unique<Handle>();
  hd->id = NewHandleId();
  hd->conn = &c;
  hd->member = true;
  hd->update = true;
  const int32_t id = hd->id;
  c.handles.push_back(id);
  handles_[id] = std::move(hd);
  return id;
}

void EmbeddedSource::ClearWorkMember(Connection& c) { c.catalog.ddsLines.clear(); }

void EmbeddedSource::CreateFromWorkMember(Connection& c, std::string& data, size_t n) {
  if (n < 25) Fail(kCodeBadCall, "CRTDDS____ area of " + std::to_string(n) + " bytes shorter than its request");
  const std::string name = Field(data, 5), library = Field(data, 15);
  if (ObjectExists(c.db, library, name, "*FILE"))
    Fail(kCodeRefused, "CPF7302: file " + name + " not created in library " + library + ": it exists");
  CatalogFile file;
  try {
    file = ParseDds(c.catalog.ddsLines);
    file.library = library;
    file.name = name;
    PutCatalogFile(c.db, file);
  } catch (const std::invalid_argument& e) {
    Fail(kCodeRefused, "CPF7302: file " + name + " not created in library " + library + ": " + e.what());
  }
  Reply(data, n, "");
}

}  // namespace qv::embedded
