// Implements the stored forms of program lines, their rendering into the
// editor's texts and the default program of a table.
#include "programs/program_lines.h"

#include <cctype>
#include <stdexcept>

#include "catalogs/field_types.h"
#include "connection/remote_commands.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string_view Slice(std::string_view text, std::size_t at, std::size_t width) {
  if (at >= text.size()) return {};
  return text.substr(at, width);
}

std::string Cut(std::string_view text, std::size_t at, std::size_t width) {
  return Trim(Slice(text, at, width));
}

long long Number(std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty()) return 0;
  long long v = 0;
  for (char c : t) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    v = v * 10 + (c - '0');
    if (v > 999999999) return 0;
  }
  return v;
}

char CharAt(std::string_view text, std::size_t at) { return at < text.size() ? text[at] : ' '; }

// Returns the text between quotes with its quotes doubled.
std::string Quoted(std::string_view text) { return "'" + DoubleCharInString("'", "'", std::string(text)) + "'"; }

const char* NullWord(char code) {
  switch (code) {
    case '1': return "Yes";
    case '2': return "Rtrim";
    case '3': return "Same";
    default: return nullptr;
  }
}

// Returns the READkey option word of a stored option.
std::string KeyOptionWord(std::string_view stored) {
  if (stored == "NE") return "NEXTEQ";
  if (stored == "NU") return "NEXTUNQ";
  if (stored == "PE") return "PREVEQ";
  if (stored == "PU") return "PREVUNQ";
  return std::string(stored);
}

std::string Op(const StoredInst& i, int n) { return Trim(i.op[n].text); }

// Returns the optional parts of a declaration in statement form.
std::string OptionalParts(std::string_view description, char dateCode, char nullCode, long long keyOrder) {
  std::string out;
  if (!Trim(description).empty()) out += "DESC " + Quoted(RTrim(description)) + " ";
  if (dateCode != ' ' && !MaskDate(std::string(1, dateCode)).empty())
    out += "DATEFMT " + MaskDate(std::string(1, dateCode)) + " ";
  if (const char* w = NullWord(nullCode)) out += std::string("NULL ") + w + " ";
  if (keyOrder > 0) out += "KEYORDER " + std::to_string(keyOrder);
  return out;
}

const Record* FindField(const std::vector<Record>& fields, std::string_view name) {
  const std::string wanted = UCase(Trim(name));
  for (const Record& r : fields)
    if (UCase(Trim(r.Get("FIELDINPUT"))) == wanted) return &r;
  return nullptr;
}

void AppendLine(std::string& text, const std::string& line) {
  if (!text.empty()) text += kCrLf;
  text += line;
}

}  // namespace

std::string EncodeDecl(const StoredDecl& d) {
  std::string out = FitText(d.name, 32);
  out += d.type;
  out += Digits(d.length, 5) + Digits(d.decimals, 2);
  out += FitText(d.based, 30) + Digits(d.position, 5);
  out += FitText(d.description, 30);
  out += d.dateCode;
  out += d.nullCode;
  out += Digits(d.keyOrder, 5);
  return out;
}

StoredDecl DecodeDecl(std::string_view s) {
  StoredDecl d;
  d.name = Cut(s, 0, 32);
  d.type = CharAt(s, 32);
  d.length = Number(Slice(s, 33, 5));
  d.decimals = Number(Slice(s, 38, 2));
  d.based = Cut(s, 40, 30);
  d.position = Number(Slice(s, 70, 5));
  d.description = RTrim(Slice(s, 75, 30));
  d.dateCode = CharAt(s, 105);
  d.nullCode = CharAt(s, 106);
  d.keyOrder = Number(Slice(s, 107, 5));
  return d;
}

std::string EncodeInst(const StoredInst& i) {
  std::string out = FitText(i.code, 2);
  for (const Operand& o : i.op) {
    out += o.kind;
    out += FitText(o.text, kOperandWidth);
  }
  out += FitText(i.cond, 2) + FitText(i.tag, kTagWidth);
  return out;
}

StoredInst DecodeInst(std::string_view s) {
  StoredInst i;
  i.code = std::string(Slice(s, 0, 2));
  for (int n = 0; n < 3; ++n) {
    const std::size_t at = 2 + static_cast<std::size_t>(n) * 46;
    i.op[n].kind = CharAt(s, at);
    i.op[n].text = Cut(s, at + 1, kOperandWidth);
    if (i.op[n].text.empty()) i.op[n].kind = ' ';
  }
  i.cond = Cut(s, 140, 2);
  i.tag = Cut(s, 142, kTagWidth);
  return i;
}

std::vector<ProgramLine> LinesFromRecords(std::string_view declarations, std::string_view instructions) {
  std::vector<ProgramLine> out;
  auto take = [&](std::string_view records, std::size_t width, std::size_t content, char statement,
                  char text, const char* what) {
    if (records.size() % width != 0)
      throw std::invalid_argument(std::string(what) + " records: " + std::to_string(records.size()) +
                                  " characters are not whole records of " + std::to_string(width));
    for (std::size_t at = 0; at < records.size(); at += width) {
      const std::string_view r = records.substr(at, width);
      const std::string_view indent = r.substr(1, 3);
      for (char c : indent)
        if (!std::isdigit(static_cast<unsigned char>(c)))
          throw std::invalid_argument(std::string(what) + " record " + std::to_string(at / width + 1) +
                                      ": indentation \"" + std::string(indent) + "\" is not 3 digits");
      ProgramLine line;
      line.type = (r[0] == '*' || r[0] == '$') ? text : statement;
      line.indent = std::stoi(std::string(indent));
      line.content = std::string(r.substr(4, content));
      out.push_back(std::move(line));
    }
  };
  take(declarations, kDeclRecordWidth, kLineContentWidth, 'd', 'e', "declaration");
  take(instructions, kInstRecordWidth, kStoredInstWidth, 'i', 'j', "instruction");
  return out;
}

void RecordsFromLines(const std::vector<ProgramLine>& lines, std::string& declarations,
                      std::string& instructions) {
  declarations.clear();
  instructions.clear();
  for (const ProgramLine& l : lines) {
    const bool decl = l.type == 'd' || l.type == 'e';
    if (!decl && l.type != 'i' && l.type != 'j') continue;
    char kind = ' ';
    if (l.type == 'e' || l.type == 'j') kind = Trim(l.content).rfind("/*", 0) == 0 ? '*' : '$';
    std::string r(1, kind);
    r += Digits(l.indent, 3);
    r += l.content;
    (decl ? declarations : instructions) += FitText(r, decl ? kDeclRecordWidth : kInstRecordWidth);
  }
}

bool NumericType(std::string_view code) {
  const std::string c = Trim(code);
  static const char* const kNumeric[] = {"Z", "P", "B", "F", "N", "XN", "Xn", "XB", "XF", "Xf", "XI", "Xi", "XM", "Xm"};
  for (const char* n : kNumeric)
    if (c == n) return true;
  return false;
}

std::string DeclTypeText(std::string_view code, long long length, long long decimals, bool as400) {
  const std::string c = Trim(code);
  const std::string n = std::to_string(length), d = std::to_string(decimals);
  if (!as400) return NumericType(c) ? "NUMERIC " + n + "," + d : "CHAR " + n;
  if (c == "Z") return "ZONED " + n + "," + d;
  if (c == "P") return "PACKED " + n + "," + d;
  if (c == "B") return "BIN " + n;
  if (c == "F") return "FLOAT " + n;
  return "CHAR " + n;
}

std::string RenderDeclaration(const StoredDecl& d, bool as400) {
  if (d.type == '$') return "FILE " + FitText(d.name, kFieldNameWidth) + "LIKE " + d.based;
  std::string out = "DCL " + d.name + " " + DeclTypeText(std::string(1, d.type), d.length, d.decimals, as400) + " ";
  if (!d.based.empty()) out += "BASED " + d.based + " POS " + std::to_string(d.position) + " ";
  out += OptionalParts(d.description, d.dateCode, d.nullCode, d.keyOrder);
  return out;
}

std::string RenderInstruction(const StoredInst& i, bool as400) {
  const std::string o1 = Op(i, 0), o2 = Op(i, 1), o3 = Op(i, 2), t = i.tag, c = i.cond;
  const std::string& k = i.code;
  if (k == "00") return t + ": ";
  if (k == "01") return "GOTO " + t + " ";
  if (k == "02") return "MOVE " + o1 + " TO " + o3 + " ";
  if (k == "03") return (as400 ? "MOVER " : "MOVE ") + o1 + " TO " + o3 + " ";
  if (k == "04") return "MOVEA " + o1 + " TO " + o3 + " COMPLETEDBY " + o2 + " ";
  if (k == "05") return "COMPL " + o1 + " WITH " + o2 + " BRANCHIF " + c + " TO " + t + " ";
  if (k == "06")
    return "SCAN " + o1 + " WITH " + o2 + " POS " + o3 + (c == "EQ" ? " IFNOTFOUND " : " IFFOUND ") + t + " ";
  if (k == "07") return "Z-ADD " + o1 + " TO " + o3 + " ";
  if (k == "08") return "ADD " + o1 + " WITH " + o2 + " TO " + o3 + " ";
  if (k == "09") return "SUB " + o2 + " FROM " + o1 + " TO " + o3 + " ";
  if (k == "0A") return "MULT " + o1 + " WITH " + o2 + " TO " + o3 + " ";
  if (k == "0B") return "DIV " + o1 + " WITH " + o2 + " TO " + o3 + " ";
  if (k == "0C") return "REMAINDEROF " + o1 + " WITH " + o2 + " TO " + o3 + " ";
  if (k == "0D") return "COMPN " + o1 + " WITH " + o2 + " BRANCHIF " + c + " TO " + t + " ";
  if (k == "0E") return "CALL " + o1 + " ";
  if (k == "10") return "CALLX " + t + " " + o1 + " " + o2 + " " + o3 + " ";
  if (k == "OF") return "TRACE " + o1 + " ";
  if (k == "R0") return "READfirst " + o1 + " ON " + o2 + " ";
  if (k == "R1") return "READlast " + o1 + " ON " + o2 + " ";
  if (k == "R2") return "READnext " + o1 + " ON " + o2 + " ";
  if (k == "R3") return "READprevious " + o1 + " ON " + o2 + " ";
  if (k == "R4") return "READkey " + o1 + " ON " + o2 + " WITHKEY " + KeyOptionWord(c) + " TO " + o3;
  return "";
}

ProgramTexts RenderProgram(const std::vector<ProgramLine>& lines, bool as400,
                           const std::vector<Record>& tableFields) {
  ProgramTexts out;
  bool firstDecl = true, firstInst = true;
  for (const ProgramLine& l : lines) {
    const std::string lead(static_cast<std::size_t>(std::max(l.indent, 0)), ' ');
    std::string text;
    switch (l.type) {
      case 'd': {
        StoredDecl d = DecodeDecl(l.content);
        if (d.type != '$' && UCase(d.name).rfind("O.", 0) == 0) {
          if (const Record* f = FindField(tableFields, d.name.substr(2))) {
            d.description = RTrim(f->Get("DESCRIP"));
            d.dateCode = f->Get("MASKDATE")[0];
            const std::string code = AllowNullCode(AllowNullText(f->Get("ALLOWNULL")));
            d.nullCode = code.empty() ? '0' : code[0];
            d.keyOrder = Number(f->Get("KEYORDER"));
          }
        }
        text = lead + RenderDeclaration(d, as400);
        break;
      }
      case 'e':
      case 'j': text = lead + Trim(l.content); break;
      case 'i': text = lead + RenderInstruction(DecodeInst(l.content), as400); break;
      default: continue;
    }
    const bool decl = l.type == 'd' || l.type == 'e';
    std::string& target = decl ? out.declarations : out.instructions;
    bool& first = decl ? firstDecl : firstInst;
    if (!first) target += kCrLf;
    target += text;
    first = false;
  }
  return out;
}

ProgramTexts DefaultProgram(const std::vector<Record>& fields, bool as400) {
  ProgramTexts out{cLoadResString("2091"), cLoadResString("2092")};
  for (const Record& f : fields) {
    const std::string name = Trim(f.Get("FIELDINPUT"));
    const std::string_view type = f.Get("FIELDTYPE");
    const std::string nullCode = AllowNullCode(AllowNullText(f.Get("ALLOWNULL")));
    const std::string typeText = DeclTypeText(type, Number(f.Get("LEN")), Number(f.Get("DECI")), as400);
    AppendLine(out.declarations,
               "    DCL O." + name + " " + typeText + " " +
                   OptionalParts(f.Get("DESCRIP"), f.Get("MASKDATE")[0], nullCode.empty() ? '0' : nullCode[0],
                                 Number(f.Get("KEYORDER"))));
    AppendLine(out.instructions,
               std::string("    ") + (typeText.rfind("CHAR", 0) != 0 ? "Z-ADD I." : "MOVE I.") + name + " TO O." + name);
  }
  return out;
}

ProgramTexts GeneratedBufO(const std::vector<Record>& fields, bool as400) {
  ProgramTexts out{cLoadResString("2091") + std::string(kCrLf), cLoadResString("2092") + std::string(kCrLf)};
  for (const Record& f : fields) {
    const std::string name = Trim(f.Get("FIELDINPUT"));
    const std::string_view type = f.Get("FIELDTYPE");
    const std::string typeText = DeclTypeText(type, Number(f.Get("LEN")), Number(f.Get("DECI")), as400);
    out.declarations += std::string(kCrLf) + "    DCL O." + name + " " + typeText;
    out.instructions += std::string("    ") + (typeText.rfind("CHAR", 0) != 0 ? "Z-ADD I." : "MOVE I.") + name + " TO O." +
                        name + std::string(kCrLf);
  }
  return out;
}

}  // namespace qv
