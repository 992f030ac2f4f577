// Implements the reading and checking of program texts into editor records.
#include "programs/program_parser.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <tuple>

#include "catalogs/field_types.h"
#include "catalogs/fields_nt_text.h"
#include "connection/remote_commands.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "programs/program_lines.h"

namespace qv {
namespace {

struct Token {
  std::string text;
  int column = 0;  // 1-based in the line
};

// Splits a statement at blanks; a quoted part (quotes doubled inside) stays
// in its token, blanks included.
std::vector<Token> Tokenize(std::string_view body, int firstColumn) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < body.size()) {
    if (body[i] == ' ') {
      ++i;
      continue;
    }
    Token t;
    t.column = firstColumn + static_cast<int>(i);
    bool quoted = false;
    while (i < body.size() && (quoted || body[i] != ' ')) {
      if (body[i] == '\'') {
        if (quoted && i + 1 < body.size() && body[i + 1] == '\'') {
          t.text += "''";
          i += 2;
          continue;
        }
        quoted = !quoted;
      }
      t.text += body[i++];
    }
    out.push_back(std::move(t));
  }
  return out;
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool NameChars(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$';
  });
}

bool IsNumber(std::string_view s) {
  std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  const std::size_t point = s.find_first_of(".,", i);
  if (point == std::string_view::npos) return IsDigits(s.substr(i));
  return IsDigits(s.substr(i, point - i)) && IsDigits(s.substr(point + 1));
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string Upper(std::string_view s) { return UCase(s); }

bool EndTarget(std::string_view tag) {
  const std::string t = Upper(tag);
  return t == "*SELECT" || t == "*SKIP" || t == "*ERROR";
}

// A field an operand names, when its buffer is known.
struct Resolved {
  bool known = false;
  BufferField field;
};

struct DeclaredField {
  BufferField field;
  int line = 0, column = 0;
  bool used = false;
};

class Checker {
 public:
  Checker(bool as400, const ProgramFields& fields) : as400_(as400), fields_(fields) {}

  ParsedProgram Run(std::string_view declarations, std::string_view instructions) {
    const std::vector<std::string> decl = Lines(declarations), inst = Lines(instructions);
    section_ = ProgramSection::Declarations;
    for (std::size_t i = 0; i < decl.size(); ++i) {
      line_ = static_cast<int>(i + 1);
      DeclarationLine(decl[i]);
    }
    section_ = ProgramSection::Instructions;
    CollectTags(inst);
    for (std::size_t i = 0; i < inst.size(); ++i) {
      line_ = static_cast<int>(i + 1);
      InstructionLine(inst[i]);
    }
    for (const auto& [key, d] : declared_)
      if (!d.used && (key[0] == 'W' || key[0] == 'V')) {
        const ProgramSection keep = section_;
        section_ = ProgramSection::Declarations;
        line_ = d.line;
        Report(d.column, 1353, true, key);
        section_ = keep;
      }
    std::stable_sort(out_.diagnostics.begin(), out_.diagnostics.end(), [](const auto& a, const auto& b) {
      return std::tie(a.section, a.line, a.column) < std::tie(b.section, b.line, b.column);
    });
    return std::move(out_);
  }

 private:
  // A failed check: the line is kept as text.
  struct Refused {};

  static std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    std::size_t at = 0;
    for (;;) {
      const std::size_t lf = text.find('\n', at);
      std::string line(text.substr(at, lf == std::string_view::npos ? std::string_view::npos : lf - at));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out.push_back(std::move(line));
      if (lf == std::string_view::npos) break;
      at = lf + 1;
    }
    if (!out.empty() && out.back().empty()) out.pop_back();  // a final line end ends the last line
    return out;
  }

  void Report(int column, int id, bool warning = false, const std::string& p1 = "", const std::string& p5 = "") {
    ProgramDiagnostic d;
    d.section = section_;
    d.line = line_;
    d.column = std::max(column, 1);
    d.id = id;
    d.text = cLoadResString(std::to_string(id), p1, "", "", "", p5);
    d.warning = warning;
    out_.diagnostics.push_back(std::move(d));
  }
  [[noreturn]] void Fail(int column, int id, const std::string& p1 = "", const std::string& p5 = "") {
    Report(column, id, false, p1, p5);
    throw Refused{};
  }

  void Add(bool decl, char kind, int indent, const std::string& content) {
    std::string r(1, kind);
    r += Digits(std::min(indent, 999), 3);
    r += content;
    (decl ? out_.declarations : out_.instructions) += FitText(r, decl ? kDeclRecordWidth : kInstRecordWidth);
  }

  // Splits a line into indentation and body; reports a body over max.
  std::pair<int, std::string> Split(const std::string& line, std::size_t max) {
    std::size_t lead = 0;
    while (lead < line.size() && line[lead] == ' ') ++lead;
    std::string body = RTrim(std::string_view(line).substr(lead));
    if (body.size() > max) {
      Report(static_cast<int>(lead + max + 1), 1291, true);
      body.resize(max);
      body = RTrim(body);
    }
    return {static_cast<int>(lead), body};
  }

  // ---- Declarations ----------------------------------------------------------

  void DeclarationLine(const std::string& line) {
    const auto [indent, body] = Split(line, kDeclLineMax);
    if (body.empty()) return Add(true, '$', indent, "");
    if (body.rfind("/*", 0) == 0) return Add(true, '*', indent, body);
    const std::vector<Token> t = Tokenize(body, indent + 1);
    try {
      const std::string kw = Upper(t[0].text);
      StoredDecl d;
      if (kw == "DCL") {
        d = Dcl(t, body.size() + indent + 1);
      } else if (kw == "FILE") {
        d = File(t, body.size() + indent + 1);
      } else {
        Fail(t[0].column, 1294, t[0].text);
      }
      Add(true, ' ', indent, EncodeDecl(d));
    } catch (const Refused&) {
      Add(true, '$', indent, body);
    }
  }

  StoredDecl Dcl(const std::vector<Token>& t, std::size_t end) {
    const int endCol = static_cast<int>(end);
    if (t.size() < 2) Fail(endCol, 1293);
    StoredDecl d;
    const std::string name = Upper(t[1].text);
    if (name.size() < 2 || name[1] != '.') Fail(t[1].column, 1296);
    if (std::string_view("OWV").find(name[0]) == std::string_view::npos) Fail(t[1].column, 1295);
    if (name.size() > kFieldNameWidth || !NameChars(name.substr(2))) Fail(t[1].column, 1297);
    if (declared_.count(name)) Fail(t[1].column, 1396, t[1].text);
    d.name = name;
    if (t.size() < 3) Fail(endCol, 1301);
    const std::string type = Upper(t[2].text);
    static const std::map<std::string, char> kAs{{"CHAR", 'C'}, {"BIN", 'B'}, {"ZONED", 'Z'}, {"PACKED", 'P'}, {"FLOAT", 'F'}};
    static const std::map<std::string, char> kNt{{"CHAR", 'C'}, {"NUMERIC", 'N'}};
    const auto& types = as400_ ? kAs : kNt;
    const auto found = types.find(type);
    if (found == types.end()) Fail(t[2].column, as400_ ? 1298 : 1349);
    d.type = found->second;
    if (t.size() < 4) Fail(endCol, 1299);
    const std::string size = t[3].text;
    const std::size_t comma = size.find(',');
    const bool decimals = d.type == 'Z' || d.type == 'P' || d.type == 'N';
    const std::string n = size.substr(0, comma), dec = comma == std::string::npos ? "0" : size.substr(comma + 1);
    if (!IsDigits(n) || n.size() > 5 || std::stoll(n) == 0) Fail(t[3].column, 1299);
    if ((comma != std::string::npos && !decimals) || !IsDigits(dec) || dec.size() > 2) Fail(t[3].column, 1312);
    d.length = std::stoll(n);
    d.decimals = std::stoll(dec);
    if (d.decimals > d.length) Fail(t[3].column, 1312);
    if (d.type == 'B' && d.length != 2 && d.length != 4) Fail(t[3].column, 1300);
    if (d.type == 'F' && d.length != 4 && d.length != 8) Fail(t[3].column, 1350);
    std::size_t i = 4;
    auto need = [&](std::size_t k) {
      if (i + k >= t.size()) Fail(endCol, 1293);
    };
    while (i < t.size()) {
      const std::string kw = Upper(t[i].text);
      if (kw == "BASED") {
        need(3);
        const std::string ref = Upper(t[i + 1].text);
        const auto r = declared_.find(ref);
        if (ref.size() < 2 || ref[0] != name[0] || r == declared_.end()) Fail(t[i + 1].column, 1311, t[i + 1].text);
        if (Upper(t[i + 2].text) != "POS") Fail(t[i + 2].column, 1312);
        if (!IsDigits(t[i + 3].text) || t[i + 3].text.size() > 5 || std::stoll(t[i + 3].text) == 0)
          Fail(t[i + 3].column, 1312);
        d.based = ref;
        d.position = std::stoll(t[i + 3].text);
        if (d.position > r->second.field.length || d.position + d.length - 1 > r->second.field.length)
          Fail(t[i + 3].column, 1310);
        r->second.used = true;
        i += 4;
      } else if (kw == "DESC") {
        need(1);
        const std::string& q = t[i + 1].text;
        if (q.size() < 2 || q.front() != '\'' || q.back() != '\'') Fail(t[i + 1].column, 1313);
        std::string text = ReplaceInner(q.substr(1, q.size() - 2));
        if (text.size() > 30) {
          Report(t[i + 1].column, 1303, true);
          text.resize(30);
        }
        d.description = text;
        i += 2;
      } else if (kw == "DATEFMT") {
        need(1);
        const std::string code = NumMask(t[i + 1].text);
        if (code.size() != 1 || code == "?" || code == " ") Fail(t[i + 1].column, 1351);
        d.dateCode = code[0];
        i += 2;
      } else if (kw == "NULL") {
        need(1);
        const std::string v = Upper(t[i + 1].text);
        if (v == "NO") d.nullCode = '0';
        else if (v == "YES") d.nullCode = '1';
        else if (v == "RTRIM") d.nullCode = '2';
        else if (v == "SAME") d.nullCode = '3';
        else Fail(t[i + 1].column, 1352);
        i += 2;
      } else if (kw == "KEYORDER" || (kw.rfind("KEYORDER", 0) == 0 && IsDigits(kw.substr(8)))) {
        std::string n2 = kw.substr(8);
        if (n2.empty()) {
          need(1);
          n2 = t[i + 1].text;
          ++i;
        }
        if (!IsDigits(n2) || n2.size() > 5) Fail(t[i].column, 1312);
        d.keyOrder = std::stoll(n2);
        ++i;
      } else {
        Fail(t[i].column, 1294, t[i].text);
      }
    }
    BufferField f{name.substr(2), std::string(1, d.type), d.length, d.decimals, 0};
    declared_[name] = {f, line_, t[1].column, false};
    return d;
  }

  // Returns the text of a quoted constant without its quotes, doubled quotes
  // single.
  static std::string ReplaceInner(const std::string& inner) {
    std::string out;
    for (std::size_t i = 0; i < inner.size(); ++i) {
      out += inner[i];
      if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
    }
    return out;
  }

  StoredDecl File(std::vector<Token> t, std::size_t end) {
    const int endCol = static_cast<int>(end);
    if (t.size() < 2) Fail(endCol, 1363);
    // An alias of 32 characters runs into LIKE.
    if (t[1].text.size() > kFieldNameWidth && Upper(t[1].text.substr(kFieldNameWidth)).rfind("LIKE", 0) == 0) {
      Token like{t[1].text.substr(kFieldNameWidth), t[1].column + static_cast<int>(kFieldNameWidth)};
      t[1].text.resize(kFieldNameWidth);
      t.insert(t.begin() + 2, like);
      if (t[2].text.size() > 4) {
        Token file{t[2].text.substr(4), t[2].column + 4};
        t[2].text.resize(4);
        t.insert(t.begin() + 3, file);
      }
    }
    const std::string alias = Upper(t[1].text);
    if (Upper(alias) == "LIKE") Fail(t[1].column, 1363);
    if (alias.size() > kFieldNameWidth || !NameChars(alias)) Fail(t[1].column, 1297);
    if (aliases_.count(alias)) Fail(t[1].column, 1364);
    if (t.size() < 3) Fail(endCol, 1293);
    if (Upper(t[2].text) != "LIKE") Fail(t[2].column, 1312);
    if (t.size() < 4) Fail(endCol, 1365);
    const std::string file = Upper(t[3].text);
    const std::size_t slash = file.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == file.size() || slash > 10 ||
        file.size() - slash - 1 > 10 || file.find('/', slash + 1) != std::string::npos)
      Fail(t[3].column, 1365);
    for (const auto& [a, f] : aliases_)
      if (f == file) Fail(t[3].column, 1370);
    if (fields_.filesKnown && !fields_.files.count(file)) Fail(t[3].column, 1366, file);
    if (t.size() > 4) Fail(t[4].column, 1303);
    aliases_[alias] = file;
    StoredDecl d;
    d.name = alias;
    d.type = '$';
    d.based = file;
    return d;
  }

  // ---- Instructions ----------------------------------------------------------

  static bool TagToken(const std::vector<Token>& t) { return !t.empty() && t[0].text.size() > 1 && t[0].text.back() == ':'; }

  void CollectTags(const std::vector<std::string>& lines) {
    int count = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i + 1);
      std::size_t lead = 0;
      while (lead < lines[i].size() && lines[i][lead] == ' ') ++lead;
      const std::string body = RTrim(std::string_view(lines[i]).substr(lead));
      if (body.rfind("/*", 0) == 0) continue;
      const std::vector<Token> t = Tokenize(body, static_cast<int>(lead) + 1);
      if (!TagToken(t)) continue;
      const std::string tag = Upper(t[0].text.substr(0, t[0].text.size() - 1));
      if (tags_.count(tag)) continue;  // reported where the line is read
      tags_.insert(tag);
      if (++count == static_cast<int>(kMaxTags) + 1) Report(t[0].column, 1395, false, std::to_string(kMaxTags));
    }
  }

  void InstructionLine(const std::string& line) {
    const auto [indent, body] = Split(line, kInstLineMax);
    if (body.empty()) return Add(false, '$', indent, "");
    if (body.rfind("/*", 0) == 0) return Add(false, '*', indent, body);
    const std::vector<Token> t = Tokenize(body, indent + 1);
    end_ = indent + static_cast<int>(body.size()) + 1;
    try {
      Add(false, ' ', indent, EncodeInst(Statement(t)));
    } catch (const Refused&) {
      Add(false, '$', indent, body);
    }
  }

  StoredInst Statement(const std::vector<Token>& t) {
    tok_ = &t;
    at_ = 1;
    StoredInst s;
    if (TagToken(t)) {
      const std::string tag = t[0].text.substr(0, t[0].text.size() - 1);
      if (tag.size() > kTagWidth) Fail(t[0].column, 1394, tag);
      if (!NameChars(tag)) Fail(t[0].column, 1312);
      if (!defined_.insert(Upper(tag)).second) Fail(t[0].column, 1308);
      s.code = "00";
      s.tag = tag;
      End();
      return s;
    }
    const std::string kw = Upper(t[0].text);
    enum Role { Source, Receiver, Numeric, NumericReceiver, Alpha };
    auto operand = [&](int n, Role role) { s.op[n] = NextOperand(role == Receiver || role == NumericReceiver, role == Numeric || role == NumericReceiver, role == Alpha); };
    if (kw == "GOTO") {
      s.code = "01";
      if (at_ >= t.size()) Fail(end_, 1302);
      s.tag = NextTag();
    } else if (kw == "MOVE" || (kw == "MOVER" && as400_)) {
      s.code = kw == "MOVE" ? "02" : "03";
      operand(0, Source), Word("TO"), operand(2, Receiver);
    } else if (kw == "MOVEA") {
      s.code = "04";
      operand(0, Source), Word("TO"), operand(2, Receiver), Word("COMPLETEDBY"), operand(1, Source);
    } else if (kw == "COMPL" || kw == "COMPN") {
      const bool num = kw == "COMPN";
      s.code = num ? "0D" : "05";
      operand(0, num ? Numeric : Source), Word("WITH"), operand(1, num ? Numeric : Source), Word("BRANCHIF");
      s.cond = Condition();
      Word("TO");
      s.tag = NextTag();
    } else if (kw == "SCAN") {
      s.code = "06";
      operand(0, Alpha), Word("WITH"), operand(1, Alpha), Word("POS"), operand(2, NumericReceiver);
      const Token& w = Next();
      const std::string u = Upper(w.text);
      if (u == "IFFOUND") s.cond = "NE";
      else if (u == "IFNOTFOUND") s.cond = "EQ";
      else Fail(w.column, 1312);
      s.tag = NextTag();
    } else if (kw == "Z-ADD") {
      s.code = "07";
      operand(0, Numeric), Word("TO"), operand(2, NumericReceiver);
    } else if (kw == "ADD" || kw == "MULT" || kw == "DIV" || kw == "REMAINDEROF") {
      s.code = kw == "ADD" ? "08" : kw == "MULT" ? "0A" : kw == "DIV" ? "0B" : "0C";
      operand(0, Numeric), Word("WITH"), operand(1, Numeric), Word("TO"), operand(2, NumericReceiver);
    } else if (kw == "SUB") {
      s.code = "09";
      operand(1, Numeric), Word("FROM"), operand(0, Numeric), Word("TO"), operand(2, NumericReceiver);
    } else if (kw == "CALL") {
      s.code = "0E";
      if (at_ >= t.size()) Fail(end_, 1307);
      const Token& p = Next();
      if (p.text.size() > kOperandWidth) Fail(p.column, 1314, "", std::to_string(p.text.size()));
      s.op[0] = {'C', p.text};
    } else if (kw == "CALLX") {
      s.code = "10";
      if (at_ >= t.size()) Fail(end_, as400_ ? 1307 : 1361);
      const Token& p = Next();
      if (p.text.size() > kTagWidth) Fail(p.column, 1394, p.text);
      if (!as400_ && p.text.find('.') == std::string::npos) Fail(p.column, 1361);
      s.tag = p.text;
      for (int n = 0; n < 3 && at_ < t.size(); ++n) operand(n, Source);
      if (!as400_ && s.op[0].empty()) Fail(end_, 1393);
    } else if (kw == "TRACE") {
      s.code = "OF";
      operand(0, Source);
    } else if (kw == "READFIRST" || kw == "READLAST" || kw == "READNEXT" || kw == "READPREVIOUS" || kw == "READKEY") {
      s.code = kw == "READFIRST" ? "R0" : kw == "READLAST" ? "R1" : kw == "READNEXT" ? "R2" : kw == "READPREVIOUS" ? "R3" : "R4";
      operand(0, Source), Word("ON");
      if (at_ >= t.size()) Fail(end_, 1363);
      const Token& a = Next();
      if (!aliases_.count(Upper(a.text))) Fail(a.column, 1377);
      s.op[1] = {' ', a.text};
      if (s.code == "R4") {
        Word("WITHKEY");
        const Token& o = Next();
        static const std::map<std::string, std::string> kOptions{
            {"EQ", "EQ"}, {"GE", "GE"}, {"GT", "GT"}, {"LE", "LE"}, {"LT", "LT"},
            {"NEXTEQ", "NE"}, {"NEXTUNQ", "NU"}, {"PREVEQ", "PE"}, {"PREVUNQ", "PU"}};
        const auto opt = kOptions.find(Upper(o.text));
        if (opt == kOptions.end()) Fail(o.column, 1391);
        s.cond = opt->second;
        Word("TO");
        if (at_ < t.size() && !LooksLikeField(t[at_].text)) Fail(t[at_].column, 1390);
        const Resolved key = ResolveOperand(2, s);
        s.tag = key.known ? std::to_string(key.field.length) : "";
      }
    } else {
      Fail(t[0].column, 1309, t[0].text);
    }
    End();
    return s;
  }

  const Token& Next() {
    if (at_ >= tok_->size()) Fail(end_, 1304);
    return (*tok_)[at_++];
  }
  void Word(const char* kw) {
    const Token& w = Next();
    if (Upper(w.text) != kw) Fail(w.column, 1312);
  }
  void End() {
    if (at_ < tok_->size()) Fail((*tok_)[at_].column, 1303);
  }
  std::string Condition() {
    const Token& c = Next();
    const std::string u = Upper(c.text);
    static const char* const kConds[] = {"EQ", "NE", "GT", "GE", "LT", "LE"};
    for (const char* k : kConds)
      if (u == k) return u;
    Fail(c.column, 1305);
  }
  std::string NextTag() {
    const Token& t = Next();
    if (EndTarget(t.text)) return t.text;
    if (t.text.size() > kTagWidth) Fail(t.column, 1394, t.text);
    if (!tags_.count(Upper(t.text))) Fail(t.column, 1292);
    return t.text;
  }

  static bool LooksLikeField(const std::string& text) {
    return text.size() > 2 && text[1] == '.' && text[0] != '\'' && !IsNumber(text);
  }

  Resolved ResolveOperand(int n, StoredInst& s) {
    Resolved r;
    s.op[n] = NextOperand(true, false, false, &r);
    return r;
  }

  Operand NextOperand(bool receiver, bool numeric, bool alpha, Resolved* resolved = nullptr) {
    const Token& tk = Next();
    const std::string& t = tk.text;
    if (t.size() > kOperandWidth) Fail(tk.column, 1314, "", std::to_string(t.size()));
    Operand op;
    op.text = t;
    if (t[0] == '\'') {
      std::size_t i = 1;
      bool closed = false;
      while (i < t.size()) {
        if (t[i] == '\'') {
          if (i + 1 < t.size() && t[i + 1] == '\'') {
            i += 2;
            continue;
          }
          closed = i + 1 == t.size();
          break;
        }
        ++i;
      }
      if (!closed) Fail(tk.column, 1313);
      if (t == "''") Fail(tk.column, 1315);
      op.kind = 'C';
    } else if ((t[0] == 'X' || t[0] == 'x') && t.size() > 1 && t[1] == '\'') {
      if (t.size() != 5 || !IsHex(t[2]) || !IsHex(t[3]) || t[4] != '\'') Fail(tk.column, 1316);
      op.kind = 'X';
    } else if (IsNumber(t)) {
      op.kind = 'N';
    } else {
      op.kind = 'F';
      const Resolved r = Field(tk);
      if (resolved) *resolved = r;
      if (numeric && r.known && !NumericType(r.field.type)) Fail(tk.column, 1306, t);
      if (alpha && r.known && NumericType(r.field.type)) Fail(tk.column, 1376, t);
      return op;
    }
    if (receiver) Fail(tk.column, 1312);
    if (numeric && op.kind != 'N') Fail(tk.column, 1306, t);
    return op;
  }

  // Checks a field operand and gives its description when its buffer is known.
  Resolved Field(const Token& tk) {
    std::string name = Upper(tk.text);
    long long subStart = 0, subLen = 0;
    bool sub = false;
    if (const std::size_t open = name.find('('); open != std::string::npos) {
      const std::string inner = name.substr(open + 1);
      const std::size_t colon = inner.find(':');
      if (inner.empty() || inner.back() != ')' || colon == std::string::npos || !IsDigits(inner.substr(0, colon)) ||
          !IsDigits(inner.substr(colon + 1, inner.size() - colon - 2)))
        Fail(tk.column + static_cast<int>(open), 1355);
      subStart = std::stoll(inner.substr(0, colon));
      subLen = std::stoll(inner.substr(colon + 1, inner.size() - colon - 2));
      if (subStart == 0 || subLen == 0) Fail(tk.column + static_cast<int>(open), 1355);
      sub = true;
      name.resize(open);
    }
    if (name.size() < 3 || name[1] != '.') Fail(tk.column, 1296);
    const char buffer = name[0];
    if (std::string_view("IBOSWVF").find(buffer) == std::string_view::npos) Fail(tk.column, 1295);
    std::string rest = name.substr(2);
    Resolved r;
    if (buffer == 'F') {
      const std::size_t dot = rest.find('.');
      if (dot == std::string::npos || dot == 0 || dot + 1 == rest.size()) Fail(tk.column, 1297);
      const auto alias = aliases_.find(rest.substr(0, dot));
      if (alias == aliases_.end()) Fail(tk.column, 1377);
      const std::string field = rest.substr(dot + 1);
      if (field == "@EOF@") {
        r = {true, {field, "C", 1, 0, 0}};
      } else {
        if (!NameChars(field)) Fail(tk.column, 1297);
        const auto file = fields_.files.find(alias->second);
        if (file != fields_.files.end()) r = Find(file->second, field, tk);
      }
    } else {
      if (!NameChars(rest) || name.size() > kFieldNameWidth) Fail(tk.column, 1297);
      if (buffer == 'W' || buffer == 'V' || buffer == 'O') {
        const auto d = declared_.find(name);
        if (d != declared_.end()) {
          d->second.used = true;
          r = {true, d->second.field};
        } else if (buffer != 'O') {
          Fail(tk.column, 1311, tk.text);
        } else if (fields_.table) {
          r = Find(*fields_.table, rest, tk);
        } else if (DeclaresOutput()) {
          Fail(tk.column, 1311, tk.text);
        }
      } else if (buffer == 'S') {
        if (fields_.system) {
          r = Find(*fields_.system, rest, tk);
        } else {
          const auto& names = SystemFieldNames(as400_);
          if (std::find(names.begin(), names.end(), rest) == names.end()) Fail(tk.column, 1311, tk.text);
        }
      } else if (fields_.table) {
        r = Find(*fields_.table, rest, tk);
      }
    }
    if (sub && r.known) {
      if (NumericType(r.field.type)) Fail(tk.column, 1354);
      if (subStart > r.field.length) Fail(tk.column, 1356);
      if (subStart + subLen - 1 > r.field.length) Fail(tk.column, 1357);
    }
    return r;
  }

  bool DeclaresOutput() const {
    for (const auto& [k, d] : declared_)
      if (k[0] == 'O') return true;
    return false;
  }

  Resolved Find(const std::vector<BufferField>& list, const std::string& name, const Token& tk) {
    for (const BufferField& f : list)
      if (Upper(Trim(f.name)) == name) return {true, f};
    Fail(tk.column, 1311, tk.text);
  }

  bool as400_;
  const ProgramFields& fields_;
  ParsedProgram out_;
  ProgramSection section_ = ProgramSection::Declarations;
  int line_ = 0;
  int end_ = 1;
  const std::vector<Token>* tok_ = nullptr;
  std::size_t at_ = 0;
  std::map<std::string, DeclaredField> declared_;  // "W.TOTAL"
  std::map<std::string, std::string> aliases_;     // alias -> LIBRARY/FILE
  std::set<std::string> tags_, defined_;
};

}  // namespace

bool ParsedProgram::HasErrors() const {
  return std::any_of(diagnostics.begin(), diagnostics.end(), [](const ProgramDiagnostic& d) { return !d.warning; });
}

std::vector<BufferField> BufferFieldsFromZX(const std::vector<Record>& fields) {
  std::vector<BufferField> out;
  for (const Record& r : fields) {
    BufferField f;
    f.name = UCase(Trim(r.Get("FIELDINPUT")));
    f.type = Trim(r.Get("FIELDTYPE"));
    auto num = [&](const char* name) {
      const std::string v = Trim(r.Get(name));
      return IsDigits(v) ? std::stoll(v) : 0LL;
    };
    f.length = num("LEN");
    f.decimals = num("DECI");
    f.position = num("POS_IN");
    out.push_back(std::move(f));
  }
  return out;
}

const std::vector<std::string>& SystemFieldNames(bool as400) {
  static const std::vector<std::string> kAs{
      "PROCESS", "ERROR", "JODATIM", "GRP_ID", "SRC_ID", "ENV_ID", "TGT_ID", "TGT_TYPE", "COM_TYPE",
      "MCHNAME", "TGT_ADR", "LCL_NAME", "RECEIVER", "JRN_SEQ", "JRN_OPLVL", "JRN_OPNAT", "JRN_DATTIM",
      "JRN_JOB", "JRN_USER", "JRN_JOBNUM", "JRN_PGM", "JRN_FILE", "JRN_LIB", "JRN_MBR", "JRN_RRN", "DATETIME"};
  static const std::vector<std::string> kNt = [] {
    std::vector<std::string> v;
    for (const auto& f : NtSystemFields()) v.emplace_back(f.name);
    return v;
  }();
  return as400 ? kAs : kNt;
}

ParsedProgram ParseProgram(std::string_view declarations, std::string_view instructions, bool as400,
                           const ProgramFields& fields) {
  return Checker(as400, fields).Run(declarations, instructions);
}

}  // namespace qv
