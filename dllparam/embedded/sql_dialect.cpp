// Implements the SQL dialect adapter of the embedded source.
#include "dllparam/embedded/sql_dialect.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace qv::embedded {
namespace {

// Character classes of the C locale, from a table: the adapter runs for
// every statement served.
// A character that may open a quoted token or a comment is "opening".
constexpr unsigned char kBlankChar = 1, kWordChar = 2, kOpeningChar = 3;
constexpr std::array<unsigned char, 256> kCharClass = [] {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) t[c] = kBlankChar;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
        c == '#' || c == '@' || c >= 0x80)
      t[c] = kWordChar;
    if (c == '\'' || c == '"' || c == '[' || c == '-' || c == '/') t[c] = kOpeningChar;
  }
  return t;
}();

inline bool IsBlank(unsigned char c) { return kCharClass[c] == kBlankChar; }
inline bool IsWordChar(unsigned char c) { return kCharClass[c] == kWordChar; }

inline char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

// One token of a statement being adapted: its text lies in the statement,
// in a constant or in the adapter's own storage. A literal taken out as a
// parameter keeps its number in param ("?param").
struct Tok {
  SqlToken::Kind kind;
  std::string_view text;
  size_t param = 0;
};
using Toks = std::vector<Tok>;

bool IsWord(const Tok& t, std::string_view upperWord) {
  if (t.kind != SqlToken::Word || t.text.size() != upperWord.size()) return false;
  for (size_t i = 0; i < upperWord.size(); ++i)
    if (UpperChar(t.text[i]) != upperWord[i]) return false;
  return true;
}

bool IsPunct(const Tok& t, char c) { return t.kind == SqlToken::Punct && t.text.size() == 1 && t.text[0] == c; }

bool Significant(const Tok& t) { return t.kind != SqlToken::Space && t.kind != SqlToken::Comment; }

// Index of the next significant token at or after i, or tokens.size().
size_t NextSig(const Toks& tokens, size_t i) {
  while (i < tokens.size() && !Significant(tokens[i])) ++i;
  return i;
}

std::string Join(const Toks& tokens, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to && i < tokens.size(); ++i) out += tokens[i].text;
  return out;
}

std::string Trim(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Drops "QV_USRDATA.." and "QV_USRDATA." in front of a name.
void StripStorePrefix(Toks& tokens) {
  size_t kept = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsWord(tokens[i], "QV_USRDATA") && i + 1 < tokens.size() && IsPunct(tokens[i + 1], '.')) {
      size_t j = i + 1;
      if (j + 1 < tokens.size() && IsPunct(tokens[j + 1], '.')) ++j;
      if (j + 1 < tokens.size() &&
          (tokens[j + 1].kind == SqlToken::Word || tokens[j + 1].kind == SqlToken::QuotedName)) {
        i = j;  // skip the prefix and its dots
        continue;
      }
    }
    tokens[kept++] = tokens[i];
  }
  tokens.resize(kept);
}

// Removes a final ";" and refuses any statement that follows it.
void CutAtSemicolon(Toks& tokens) {
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], '(')) ++depth;
    if (IsPunct(tokens[i], ')')) --depth;
    if (depth <= 0 && IsPunct(tokens[i], ';')) {
      for (size_t j = i + 1; j < tokens.size(); ++j)
        if (Significant(tokens[j]) && !IsPunct(tokens[j], ';'))
          throw SqlAdaptError("only one statement per call is served by the embedded source");
      tokens.resize(i);
      return;
    }
  }
}

// Writes "DELETE FROM t" for the "DELETE t" form.
void AddDeleteFrom(Toks& tokens) {
  size_t first = NextSig(tokens, 0);
  if (first >= tokens.size() || !IsWord(tokens[first], "DELETE")) return;
  size_t next = NextSig(tokens, first + 1);
  if (next >= tokens.size() || IsWord(tokens[next], "FROM")) return;
  tokens.insert(tokens.begin() + static_cast<long>(first) + 1, {Tok{SqlToken::Space, " "}, Tok{SqlToken::Word, "FROM"}});
}

// Folds "(", "+", ")" (blanks allowed inside) into one "(+)" token.
bool FoldOuterJoinMarks(Toks& tokens) {
  bool found = false;
  size_t kept = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], '(')) {
      size_t p = NextSig(tokens, i + 1);
      if (p < tokens.size() && IsPunct(tokens[p], '+')) {
        size_t c = NextSig(tokens, p + 1);
        if (c < tokens.size() && IsPunct(tokens[c], ')')) {
          tokens[kept++] = {SqlToken::Punct, "(+)"};
          found = true;
          i = c;
          continue;
        }
      }
    }
    tokens[kept++] = tokens[i];
  }
  tokens.resize(kept);
  return found;
}

bool IsMark(const Tok& t) { return t.kind == SqlToken::Punct && t.text == "(+)"; }

struct TableRef {
  std::string text;   // as written
  std::string name;   // upper-cased table name
  std::string alias;  // upper-cased alias, or the name
  std::vector<std::string> onConditions;
  bool optional = false;
};

void Lex(std::string_view sql, Toks& tokens);

// Rewrites Oracle comma joins with "(+)" marks into LEFT JOINs. The tokens
// then lie in storage.
void RewriteOuterJoins(Toks& tokens, std::string& storage) {
  std::vector<int> depth(tokens.size());
  int d = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (IsPunct(tokens[i], ')')) --d;
    depth[i] = d;
    if (IsPunct(tokens[i], '(')) ++d;
  }
  auto topWord = [&](size_t i, std::string_view w) { return depth[i] == 0 && IsWord(tokens[i], w); };

  std::optional<size_t> fromPos, wherePos;
  size_t endPos = tokens.size();
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!fromPos && topWord(i, "FROM")) fromPos = i;
    else if (fromPos && !wherePos && topWord(i, "WHERE")) wherePos = i;
    else if (wherePos && (topWord(i, "GROUP") || topWord(i, "ORDER") || topWord(i, "HAVING") ||
                          topWord(i, "UNION") || topWord(i, "INTERSECT") || topWord(i, "MINUS") ||
                          topWord(i, "EXCEPT"))) {
      endPos = i;
      break;
    }
  }
  if (!fromPos || !wherePos) throw SqlAdaptError("outer-join mark (+) outside a WHERE clause");
  for (size_t i = 0; i < tokens.size(); ++i)
    if (IsMark(tokens[i]) && (i < *wherePos || i >= endPos || depth[i] != 0))
      throw SqlAdaptError("outer-join mark (+) not served in this place");

  // The FROM list: comma-separated "name [AS] [alias]".
  std::vector<TableRef> refs;
  size_t start = *fromPos + 1;
  for (size_t i = start; i <= *wherePos; ++i) {
    if (i == *wherePos || (depth[i] == 0 && IsPunct(tokens[i], ','))) {
      std::vector<std::string> words;
      for (size_t j = start; j < i; ++j) {
        if (!Significant(tokens[j])) continue;
        if (tokens[j].kind == SqlToken::Word || tokens[j].kind == SqlToken::QuotedName) {
          std::string w = Upper(tokens[j].text);
          if (w == "JOIN" || w == "ON") throw SqlAdaptError("outer-join mark (+) mixed with JOIN");
          if (w != "AS") words.push_back(w);
        } else {
          throw SqlAdaptError("outer-join mark (+) with a table expression");
        }
      }
      if (words.empty() || words.size() > 2) throw SqlAdaptError("outer-join mark (+) with an unreadable FROM list");
      TableRef ref;
      ref.text = Trim(Join(tokens, start, i));
      ref.name = words[0];
      ref.alias = words.back();
      refs.push_back(std::move(ref));
      start = i + 1;
    }
  }

  // The WHERE conditions, split at AND.
  struct Cond {
    size_t from, to;
  };
  std::vector<Cond> conds;
  start = *wherePos + 1;
  for (size_t i = start; i <= endPos; ++i) {
    if (i < endPos && depth[i] == 0 && (IsWord(tokens[i], "OR") || IsWord(tokens[i], "BETWEEN")))
      throw SqlAdaptError("outer-join mark (+) with OR or BETWEEN in the WHERE clause");
    if (i == endPos || topWord(i, "AND")) {
      conds.push_back({start, i});
      start = i + 1;
    }
  }

  std::vector<std::string> remaining;
  for (const Cond& c : conds) {
    TableRef* owner = nullptr;
    std::string text;
    for (size_t i = c.from; i < c.to; ++i) {
      if (!IsMark(tokens[i])) {
        text += tokens[i].text;
        continue;
      }
      // The marked column: qualifier "." column just before the mark.
      size_t col = i;
      while (col > c.from && !Significant(tokens[col - 1])) --col;
      if (col <= c.from + 2 || !IsPunct(tokens[col - 2], '.'))
        throw SqlAdaptError("outer-join mark (+) after an unqualified column");
      std::string qualifier = Upper(tokens[col - 3].text);
      TableRef* ref = nullptr;
      for (TableRef& r : refs)
        if (r.alias == qualifier || r.name == qualifier) ref = &r;
      if (!ref) throw SqlAdaptError("outer-join mark (+) on an unknown table " + qualifier);
      if (owner && owner != ref) throw SqlAdaptError("outer-join marks on two tables in one condition");
      owner = ref;
    }
    text = Trim(text);
    if (text.empty()) continue;
    if (owner) {
      owner->optional = true;
      owner->onConditions.push_back(text);
    } else {
      remaining.push_back(text);
    }
  }

  std::string from;
  for (const TableRef& r : refs) {
    if (r.optional) continue;
    if (!from.empty()) from += ", ";
    from += r.text;
  }
  if (from.empty()) throw SqlAdaptError("outer-join marks on every table of the FROM list");
  for (const TableRef& r : refs) {
    if (!r.optional) continue;
    from += " LEFT JOIN " + r.text + " ON (";
    for (size_t i = 0; i < r.onConditions.size(); ++i) from += (i ? " AND " : "") + r.onConditions[i];
    from += ")";
  }
  std::string out = Join(tokens, 0, *fromPos + 1) + " " + from;
  for (size_t i = 0; i < remaining.size(); ++i) out += (i ? " AND " : " WHERE ") + remaining[i];
  if (endPos < tokens.size()) out += " " + Trim(Join(tokens, endPos, tokens.size()));
  storage = std::move(out);
  Lex(storage, tokens);
}

// Returns the end of the literal or quoted name that opens at i ('...',
// "..." or [...]): just past its closing quote, or the end of sql when it is
// not closed. A doubled quote inside '...' and "..." stands for one.
size_t QuotedEnd(std::string_view sql, size_t i) {
  const char close = sql[i] == '[' ? ']' : sql[i];
  const size_t n = sql.size();
  for (++i; i < n; ++i) {
    if (sql[i] != close) continue;
    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return n;
}

// Reads the value of a string literal ('it''s' gives it's). Returns false
// for a literal that is not closed, which stays in the text for SQLite to refuse.
bool LiteralValue(std::string_view literal, std::string& value) {
  if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return false;
  value.clear();
  std::string_view rest = literal.substr(1, literal.size() - 2);
  for (;;) {
    const size_t quote = rest.find('\'');
    if (quote == std::string_view::npos) {
      value.append(rest);
      return true;
    }
    if (quote + 1 >= rest.size() || rest[quote + 1] != '\'') return false;
    value.append(rest.substr(0, quote + 1));
    rest.remove_prefix(quote + 2);
  }
}

// Replaces the string literals of a SELECT, INSERT, UPDATE or DELETE by
// numbered parameters and appends their values. A literal after AS names a
// column and stays.
void TakeLiterals(Toks& tokens, std::vector<std::string>& values) {
  // Past this many a statement keeps its literals: SQLite numbers its
  // parameters up to 32 766, and such statements are rare enough to prepare anew.
  constexpr size_t kMostParameters = 999;
  const size_t first = NextSig(tokens, 0);
  if (first >= tokens.size()) return;
  const Tok& verb = tokens[first];
  if (!IsWord(verb, "SELECT") && !IsWord(verb, "INSERT") && !IsWord(verb, "UPDATE") && !IsWord(verb, "DELETE"))
    return;
  const Tok* previous = nullptr;
  for (Tok& t : tokens) {
    if (!Significant(t)) continue;
    std::string value;
    if (t.kind == SqlToken::Literal && !(previous && IsWord(*previous, "AS")) && values.size() < kMostParameters &&
        LiteralValue(t.text, value)) {
      values.push_back(std::move(value));
      t.param = values.size();
      t.kind = SqlToken::Punct;
    }
    previous = &t;
  }
}

// Returns the end of the token that starts at i, and its kind.
inline size_t TokenEnd(std::string_view sql, size_t i, SqlToken::Kind& kind) {
  const size_t n = sql.size();
  const unsigned char c = static_cast<unsigned char>(sql[i]);
  if (IsBlank(c)) {
    kind = SqlToken::Space;
    while (++i < n && IsBlank(static_cast<unsigned char>(sql[i]))) {
    }
    return i;
  }
  if (IsWordChar(c)) {
    kind = SqlToken::Word;
    while (++i < n && IsWordChar(static_cast<unsigned char>(sql[i]))) {
    }
    return i;
  }
  if (c == '\'' || c == '"' || c == '[') {
    kind = c == '\'' ? SqlToken::Literal : SqlToken::QuotedName;
    return QuotedEnd(sql, i);
  }
  if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
    kind = SqlToken::Comment;
    const size_t e = sql.find('\n', i + 2);
    return e == std::string_view::npos ? n : e;
  }
  if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
    kind = SqlToken::Comment;
    const size_t e = sql.find("*/", i + 2);
    return e == std::string_view::npos ? n : e + 2;
  }
  kind = SqlToken::Punct;
  return i + 1;
}

// Splits sql into tokens that view it.
void Lex(std::string_view sql, Toks& tokens) {
  tokens.clear();
  tokens.reserve(sql.size() / 2 + 4);
  SqlToken::Kind kind;
  for (size_t i = 0, end = 0; i < sql.size(); i = end) {
    end = TokenEnd(sql, i, kind);
    tokens.push_back({kind, sql.substr(i, end - i)});
  }
}

}  // namespace

std::vector<SqlToken> TokenizeSql(std::string_view sql) {
  Toks views;
  Lex(sql, views);
  std::vector<SqlToken> tokens;
  tokens.reserve(views.size());
  for (const Tok& t : views) tokens.push_back({t.kind, std::string(t.text)});
  return tokens;
}

std::string AdaptSql(std::string_view sql, SqlDialect dialect, std::vector<std::string>* values) {
  Toks tokens;
  std::string storage;  // the text of rewritten outer joins
  Lex(sql, tokens);
  StripStorePrefix(tokens);
  CutAtSemicolon(tokens);
  AddDeleteFrom(tokens);
  if (dialect == SqlDialect::Oracle && FoldOuterJoinMarks(tokens)) RewriteOuterJoins(tokens, storage);
  if (values) TakeLiterals(tokens, *values);
  std::string out;
  out.reserve(sql.size() + 16);
  for (const Tok& t : tokens) {
    if (t.param == 0) {
      out += t.text;
      continue;
    }
    char number[24];
    number[0] = '?';
    const auto written = std::to_chars(number + 1, number + sizeof number, t.param);
    out.append(number, written.ptr);
  }
  return out;
}

bool ShapeOfSql(std::string_view sql, SqlDialect dialect, SqlShape& shape) {
  // Only quotes and comments matter here; a character of any other token
  // (blank, word, punctuation) is read on its own, as the tokenizer's
  // tokens never hold a quote or a comment.
  shape.text.clear();
  shape.values.clear();
  const bool oracle = dialect == SqlDialect::Oracle;
  const size_t n = sql.size();
  size_t copied = 0;  // sql before this is in shape.text
  int mark = 0;       // significant tokens of an outer-join mark "(", "+", ")" seen in a row
  for (size_t i = 0; i < n;) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '[') {
      const size_t end = QuotedEnd(sql, i);
      if (c == '\'') {
        if (!LiteralValue(sql.substr(i, end - i), shape.values.emplace_back())) return false;
        shape.text.append(sql.substr(copied, i - copied)).append("''");
        copied = end;
      }
      mark = 0;
      i = end;
    } else if ((c == '-' || c == '/') && i + 1 < n && sql[i + 1] == (c == '-' ? '-' : '*')) {
      SqlToken::Kind comment;
      i = TokenEnd(sql, i, comment);
    } else if (oracle) {
      if (!IsBlank(static_cast<unsigned char>(c))) {
        mark = c == '(' ? 1 : (mark == 1 && c == '+') || (mark == 2 && c == ')') ? mark + 1 : 0;
        if (mark == 3) return false;
      }
      ++i;
    } else {
      while (++i < n && kCharClass[static_cast<unsigned char>(sql[i])] != kOpeningChar) {
      }
    }
  }
  shape.text.append(sql.substr(copied));
  return true;
}

bool IsDataChange(std::string_view sql) {
  size_t i = 0;
  const size_t n = sql.size();
  for (;;) {
    while (i < n && IsBlank(static_cast<unsigned char>(sql[i]))) ++i;
    if (sql.substr(i, 2) == "--") {
      while (i < n && sql[i] != '\n') ++i;
    } else if (sql.substr(i, 2) == "/*") {
      const size_t e = sql.find("*/", i + 2);
      i = e == std::string_view::npos ? n : e + 2;
    } else {
      break;
    }
  }
  const size_t from = i;
  while (i < n && IsWordChar(static_cast<unsigned char>(sql[i]))) ++i;
  const Tok first{SqlToken::Word, sql.substr(from, i - from)};
  return IsWord(first, "DELETE") || IsWord(first, "INSERT") || IsWord(first, "UPDATE");
}

std::string CanonicalSql(std::string_view sql) {
  // One pass with the tokenizer's rules, without building the tokens: this
  // runs for every statement served.
  std::string out;
  out.reserve(sql.size());
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    const char c = sql[i];
    if (IsBlank(static_cast<unsigned char>(c))) {
      while (i < n && IsBlank(static_cast<unsigned char>(sql[i]))) ++i;
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      const size_t e = sql.find("*/", i + 2);
      i = e == std::string_view::npos ? n : e + 2;
    } else if (c == '\'' || c == '"' || c == '[') {
      // A literal stays as written; a quoted name is upper-cased.
      const size_t from = i;
      i = QuotedEnd(sql, i);
      if (c == '\'') out.append(sql.substr(from, i - from));
      else
        for (size_t k = from; k < i; ++k) out += UpperChar(sql[k]);
    } else {
      // A run of plain characters up to the next blank, comment or quote.
      const size_t from = i;
      while (i < n) {
        const char d = sql[i];
        if (IsBlank(static_cast<unsigned char>(d)) || d == '\'' || d == '"' || d == '[' ||
            ((d == '-' || d == '/') && i + 1 < n && sql[i + 1] == (d == '-' ? '-' : '*')))
          break;
        ++i;
      }
      const size_t at = out.size();
      out.append(sql.substr(from, i - from));
      for (size_t k = at; k < out.size(); ++k) out[k] = UpperChar(out[k]);
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
  return out;
}

}  // namespace qv::embedded
