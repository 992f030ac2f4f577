// Password masking of the trace.
#include "dllparam/trace/trace_secrets.h"

#include <algorithm>

#include "presentation/strutil.h"
#include "store/access_paths.h"
#include "store/record_layouts.h"

namespace qv::trace {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Upper(x) == Upper(y);
         });
}

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string UpperCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

// Returns the last part of a qualified name: "QV_UID" for "QV_USRDATA..QV_UID",
// "QV_USRDATA/QV_UID" or "U.QV_UID".
std::string_view LastPart(std::string_view name) {
  const std::size_t at = name.find_last_of("./");
  return at == std::string_view::npos ? name : name.substr(at + 1);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Returns text cut or blank-padded to width.
std::string Fit(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

RowShape ShapeOfLayout(const Layout& layout) {
  RowShape shape;
  shape.length = layout.length;
  for (const Field& f : layout.fields) shape.fields.push_back({f.offset, f.width, IsPasswordField(f.name)});
  return shape;
}

bool HoldsPassword(const Layout& layout) {
  return std::any_of(layout.fields.begin(), layout.fields.end(),
                     [](const Field& f) { return IsPasswordField(f.name); });
}

const Layout* StoreTable(std::string_view name) {
  const std::string upper = UpperCopy(LastPart(name));
  for (const Layout* l : StoreTables())
    if (l->name == upper) return l;
  return nullptr;
}

// Returns the position of word (upper case) in upper at depth 0 of
// parentheses, standing alone, from `from` on; npos when missing.
std::size_t FindWord(const std::string& upper, std::string_view word, std::size_t from = 0) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = from; i < upper.size(); ++i) {
    const char c = upper[i];
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0 || upper.compare(i, word.size(), word) != 0) continue;
    const bool startsWord = i == 0 || !IsWordChar(upper[i - 1]);
    const bool endsWord = i + word.size() >= upper.size() || !IsWordChar(upper[i + word.size()]);
    if (startsWord && endsWord) return i;
  }
  return std::string::npos;
}

// Splits a list at the commas outside parentheses and quotes.
std::vector<std::string_view> SplitList(std::string_view list) {
  std::vector<std::string_view> out;
  int depth = 0;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || (!quoted && depth == 0 && list[i] == ',')) {
      out.push_back(TrimBlanks(list.substr(start, i - start)));
      start = i + 1;
      continue;
    }
    if (list[i] == '\'') quoted = !quoted;
    if (quoted) continue;
    if (list[i] == '(') ++depth;
    if (list[i] == ')') --depth;
  }
  return out;
}

// A string literal of a statement: its contents between the quotes.
struct Literal {
  std::size_t begin = 0;  // first byte after the opening quote
  std::size_t end = 0;    // the closing quote (or the end of the text)
  bool password = false;
};

std::vector<Literal> Literals(std::string_view sql) {
  std::vector<Literal> out;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] != '\'') continue;
    Literal lit;
    lit.begin = i + 1;
    std::size_t j = lit.begin;
    for (; j < sql.size(); ++j) {
      if (sql[j] != '\'') continue;
      if (j + 1 < sql.size() && sql[j + 1] == '\'') {
        ++j;
        continue;
      }
      break;
    }
    lit.end = std::min(j, sql.size());
    out.push_back(lit);
    i = lit.end;
  }
  return out;
}

// Returns the identifier that a literal is compared with or assigned to
// ("PASSWORD" in "U.PASSWORD = N'x'"), or "".
std::string_view ComparedColumn(std::string_view sql, std::size_t quote) {
  std::size_t i = quote;
  if (i > 0 && Upper(sql[i - 1]) == 'N' && (i < 2 || !IsWordChar(sql[i - 2]))) --i;  // N'...'
  while (i > 0 && IsBlank(sql[i - 1])) --i;
  // Steps back over the operator: =, <>, !=, <=, >= or LIKE.
  const std::string_view head = sql.substr(0, i);
  if (head.ends_with("<>") || head.ends_with("!=") || head.ends_with("<=") || head.ends_with(">=")) {
    i -= 2;
  } else if (head.ends_with("=")) {
    i -= 1;
  } else if (i >= 5 && IEquals(head.substr(i - 4), "LIKE") && !IsWordChar(sql[i - 5])) {
    i -= 4;
  } else {
    return {};
  }
  while (i > 0 && IsBlank(sql[i - 1])) --i;
  const std::size_t end = i;
  while (i > 0 && (IsWordChar(sql[i - 1]) || sql[i - 1] == '.')) --i;
  return LastPart(sql.substr(i, end - i));
}

// Marks the literals of an INSERT's VALUES that go to a password column.
void MarkInsertedPasswords(std::string_view sql, std::vector<Literal>& literals) {
  const std::string upper = UpperCopy(sql);
  const std::size_t insert = FindWord(upper, "INSERT");
  if (insert == std::string::npos) return;
  const std::size_t open = upper.find('(', insert);
  const std::size_t values = FindWord(upper, "VALUES", insert);
  if (open == std::string::npos || values == std::string::npos || open > values) return;
  const std::size_t close = upper.find(')', open);
  if (close == std::string::npos || close > values) return;
  std::vector<bool> secret;
  for (std::string_view column : SplitList(sql.substr(open + 1, close - open - 1)))
    secret.push_back(IsPasswordField(UpperCopy(LastPart(column))));
  const std::size_t first = sql.find('(', values);
  if (first == std::string::npos) return;
  // Counts the values by the commas outside quotes and parentheses.
  std::size_t index = 0;
  int depth = 0;
  auto lit = literals.begin();
  for (std::size_t i = first + 1; i < sql.size() && depth >= 0; ++i) {
    while (lit != literals.end() && lit->end < i) ++lit;
    if (lit != literals.end() && i == lit->begin - 1) {
      if (depth == 0 && index < secret.size() && secret[index]) lit->password = true;
      i = lit->end;
      continue;
    }
    if (sql[i] == '(') ++depth;
    else if (sql[i] == ')') --depth;
    else if (sql[i] == ',' && depth == 0) ++index;
  }
}

}  // namespace

std::string MaskPassword(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos ? std::string(text)
                                                               : std::string(kMaskedPassword);
}

std::optional<RowShape> ShapeOfFile(std::string_view file) {
  const std::size_t member = file.find('(');
  if (member != std::string_view::npos) file = file.substr(0, member);
  const std::string name = UpperCopy(LastPart(TrimBlanks(file)));
  const AccessPath* path = FindAccessPath(name);
  if (path == nullptr) return std::nullopt;
  return ShapeOfLayout(*path->record);
}

std::optional<RowShape> ShapeOfQuery(std::string_view sql) {
  const std::string upper = UpperCopy(sql);
  const std::size_t select = FindWord(upper, "SELECT");
  const std::size_t from = FindWord(upper, "FROM", select == std::string::npos ? 0 : select);
  if (select == std::string::npos || from == std::string::npos) return std::nullopt;
  std::size_t at = from + 4;
  while (at < sql.size() && IsBlank(sql[at])) ++at;
  std::size_t end = at;
  while (end < sql.size() && (IsWordChar(sql[end]) || sql[end] == '.' || sql[end] == '/')) ++end;
  const Layout* table = StoreTable(sql.substr(at, end - at));
  std::string_view columns = TrimBlanks(std::string_view(sql).substr(select + 6, from - select - 6));
  if (FindWord(UpperCopy(columns), "DISTINCT") == 0) columns = TrimBlanks(columns.substr(8));
  if (columns == "*") {
    if (table == nullptr || !HoldsPassword(*table)) return std::nullopt;
    return ShapeOfLayout(*table);
  }
  RowShape shape;
  bool placed = true, anyPassword = false;
  for (std::string_view column : SplitList(columns)) {
    const std::string name = UpperCopy(LastPart(column));
    anyPassword = anyPassword || IsPasswordField(name);
    const Field* field = nullptr;
    if (table != nullptr && table->Has(name)) field = &(*table)[name];
    for (const Layout* l : StoreTables())
      if (field == nullptr && l->Has(name)) field = &(*l)[name];
    if (field == nullptr) {
      placed = false;
      continue;
    }
    shape.fields.push_back({shape.length, field->width, IsPasswordField(name)});
    shape.length += field->width;
  }
  if (!anyPassword) return std::nullopt;
  if (!placed) return RowShape{0, {}, true};
  return shape;
}

std::string MaskRows(const RowShape& shape, std::string_view rows, std::size_t rowLength) {
  if (shape.hideAll) return rows.empty() ? std::string() : std::string(kMaskedPassword);
  const std::size_t length = rowLength > 0 ? rowLength : shape.length;
  if (length == 0) return MaskConnectionPasswords(rows);
  std::string out;
  out.reserve(rows.size());
  for (std::size_t at = 0; at < rows.size(); at += length) {
    const std::string_view row = rows.substr(at, length);
    std::size_t done = 0;
    for (const RowShape::Span& f : shape.fields) {
      if (f.offset >= row.size()) break;
      const std::string_view value = row.substr(f.offset, std::min(f.width, row.size() - f.offset));
      out.append(row.substr(done, f.offset - done));
      out += Fit(f.password ? MaskPassword(value) : MaskConnectionPasswords(value), value.size());
      done = f.offset + value.size();
    }
    out.append(MaskConnectionPasswords(row.substr(done)));
  }
  return out;
}

namespace {

// Returns a log reader's command line ("\"...QVlogreader.exe\" server/db/user/password")
// with its password masked; any other text unchanged.
std::string MaskLogReaderCommand(std::string_view value) {
  constexpr std::string_view kProgram = "QVlogreader.exe\" ";
  const std::size_t at = value.find(kProgram);
  if (at == std::string_view::npos) return std::string(value);
  std::size_t slash = at + kProgram.size();
  for (int i = 0; i < 3; ++i) {
    slash = value.find('/', slash);
    if (slash == std::string_view::npos) return std::string(value);
    ++slash;
  }
  return std::string(value.substr(0, slash)) + MaskPassword(value.substr(slash));
}

}  // namespace

std::string MaskSqlPasswords(std::string_view sql) {
  std::vector<Literal> literals = Literals(sql);
  MarkInsertedPasswords(sql, literals);
  std::string out;
  out.reserve(sql.size());
  std::size_t done = 0;
  for (const Literal& lit : literals) {
    out.append(sql.substr(done, lit.begin - done));
    const std::string_view value = sql.substr(lit.begin, lit.end - lit.begin);
    const bool password = lit.password || IsPasswordField(UpperCopy(ComparedColumn(sql, lit.begin - 1)));
    out += password ? MaskPassword(value) : MaskConnectionPasswords(MaskLogReaderCommand(value));
    done = lit.end;
  }
  out.append(sql.substr(done));
  return out;
}

// ---- Calls ------------------------------------------------------------------

namespace {

// Returns the handle argument of a call on a file or statement, if any.
std::optional<int32_t> HandleOf(const DllParamCall& call) {
  for (const char* name : {"h", "hStmt"})
    if (auto at = call.Find(name)) return call.Number(*at);
  return std::nullopt;
}

bool IsRowArgument(const DllParamCall& call, std::size_t i) {
  const std::string_view name = call.argName(i);
  switch (call.op()) {
    case DllParamOp::Rreadk:
    case DllParamOp::Rreadf:
    case DllParamOp::Rreadn:
    case DllParamOp::Rupdate:
    case DllParamOp::Rwrite:
    case DllParamOp::Snext:
      return name == "rec";
    case DllParamOp::Rreadblock:
    case DllParamOp::RreadblockD:
    case DllParamOp::Sread:
    case DllParamOp::Sreadblock:
      return name == "buf";
    default:
      return false;
  }
}

}  // namespace

const RowShape* CallMasker::ShapeOf(int32_t handle) const {
  const auto it = shapes_.find({connection_, handle});
  return it == shapes_.end() ? nullptr : &it->second;
}

std::string CallMasker::Shown(const DllParamCall& call, std::size_t i, std::string_view text) const {
  const std::string_view name = call.argName(i);
  if (name == "password") return MaskPassword(text);
  if (name == "sql") return MaskSqlPasswords(text);
  if (call.op() == DllParamOp::GetConfigStringWithoutDefVal && name == "value") {
    const auto key = call.Find("key");
    if (key && IEquals(call.Text(*key), DllParam::kKeyParamPwd)) return MaskPassword(text);
  }
  if (IsRowArgument(call, i)) {
    std::size_t recLen = 0;
    if (auto at = call.Find("recLen")) recLen = static_cast<std::size_t>(std::max(call.Number(*at), 0));
    std::lock_guard<std::mutex> g(lock_);
    const std::optional<int32_t> handle = HandleOf(call);
    if (const RowShape* shape = handle ? ShapeOf(*handle) : nullptr) return MaskRows(*shape, text, recLen);
  }
  return MaskConnectionPasswords(text);
}

void CallMasker::Ran(const DllParamCall& call, int32_t result) {
  std::lock_guard<std::mutex> g(lock_);
  switch (call.op()) {
    case DllParamOp::Ropen:
      if (result != 0) {
        const int32_t h = call.Number(*call.Find("h"));
        if (auto shape = ShapeOfFile(call.Text(*call.Find("file")))) shapes_[{connection_, h}] = std::move(*shape);
        else shapes_.erase({connection_, h});
      }
      break;
    case DllParamOp::Sread:
    case DllParamOp::Sreadblock: {
      const int32_t h = call.Number(*call.Find("hStmt"));
      const std::string& sql = call.Text(*call.Find("sql"));
      if (call.op() == DllParamOp::Sreadblock && call.Text(*call.Find("first")) != DllParam::kFirstBlock) break;
      if (auto shape = ShapeOfQuery(sql)) shapes_[{connection_, h}] = std::move(*shape);
      else shapes_.erase({connection_, h});
      break;
    }
    case DllParamOp::Rclose:
      shapes_.erase({connection_, call.Number(*call.Find("h"))});
      break;
    case DllParamOp::OpenMConnection:
      if (result != 0) connection_ = call.Number(*call.Find("hConn"));
      break;
    case DllParamOp::SwitchMConnection:
      connection_ = call.Number(*call.Find("hConn"));
      break;
    case DllParamOp::CloseMConnection: {
      const int32_t closed = call.Number(*call.Find("hConn"));
      std::erase_if(shapes_, [&](const auto& entry) { return entry.first.first == closed; });
      break;
    }
    default:
      break;
  }
}

}  // namespace qv::trace
