// Implements the compiled form of programs for the engine of NT sources.
#include "programs/nt_program.h"

#include <algorithm>
#include <cctype>

#include "catalogs/fields_nt_text.h"
#include "connection/remote_commands.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

std::string Upper(std::string_view s) { return UCase(Trim(s)); }

[[noreturn]] void Refuse(const char* id, const std::string& p1 = "") {
  throw ProgramCompileError(cLoadResString(id, p1));
}

char TypeLetter(const std::string& type) {
  if (type.size() == 1) return type[0];
  return NumericType(type) ? 'N' : 'C';
}

std::string Descriptor(char buffer, long long position, char type, long long length, long long decimals) {
  return std::string(1, buffer) + Digits(position, 5) + type + Digits(length, 5) + Digits(decimals, 2);
}

// The value of a constant operand: quoted text without its quotes (doubled
// quotes single), a hexadecimal byte, or a number as typed.
struct Constant {
  char type;  // 'C' or 'D'
  std::string value;
  long long decimals = 0;
};

Constant ConstantOf(const Operand& op) {
  const std::string& t = op.text;
  if (op.kind == 'C' && t.size() >= 2 && t.front() == '\'') {
    std::string v;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
      v += t[i];
      if (t[i] == '\'' && t[i + 1] == '\'') ++i;
    }
    return {'C', v};
  }
  if (op.kind == 'X' && t.size() == 5) return {'C', std::string(1, static_cast<char>(std::stoi(t.substr(2, 2), nullptr, 16)))};
  if (op.kind == 'N') {
    const std::size_t point = t.find_first_of(".,");
    return {'D', t, point == std::string::npos ? 0 : static_cast<long long>(t.size() - point - 1)};
  }
  return {'C', t};  // a program name
}

class Compiler {
 public:
  Compiler(const NtBuffers& buffers) : buffers_(buffers) {}

  std::vector<std::string> Run(const std::vector<ProgramLine>& lines) {
    std::vector<StoredInst> insts;
    for (const ProgramLine& l : lines)
      if (l.type == 'i') insts.push_back(DecodeInst(l.content));
    // Constants first, once each.
    for (const StoredInst& s : insts) {
      for (int n = 0; n < 3; ++n)
        if (!s.op[n].empty() && !s.op[n].field() && !(s.code == "10" || s.code[0] == 'R')) AddConstant(s.op[n]);
      if (s.code == "02") AddConstant(kBlank);
    }
    // Tags at their compiled lines.
    long long number = static_cast<long long>(out_.size());
    for (const StoredInst& s : insts) {
      ++number;
      if (s.code != "00") continue;
      if (tags_.size() == kMaxTags) Refuse("1395", std::to_string(kMaxTags));
      if (!tags_.emplace(Upper(s.tag), number).second) Refuse("1308");
    }
    number = static_cast<long long>(out_.size());
    for (const StoredInst& s : insts) out_.push_back(Statement(s, ++number));
    out_.push_back("01" + Digits(number + 1, 5) + "Y 00000");
    return std::move(out_);
  }

 private:
  inline static const Operand kBlank{'C', "' '"};

  void AddConstant(const Operand& op) {
    const Constant c = ConstantOf(op);
    const std::string key = std::string(1, c.type) + c.value;
    if (constants_.count(key)) return;
    const long long length = static_cast<long long>(c.value.size());
    const std::string d = Descriptor('C', area_, c.type, length, c.decimals);
    constants_[key] = d;
    area_ += std::max<long long>(length, 1);
    out_.push_back("00" + Digits(static_cast<long long>(out_.size()) + 1, 5) + d + c.value);
  }

  std::string Operand14(const Operand& op) {
    if (!op.field()) {
      const Constant c = ConstantOf(op);
      return constants_.at(std::string(1, c.type) + c.value);
    }
    std::string name = Upper(op.text);
    long long subStart = 0, subLen = 0;
    if (const std::size_t open = name.find('('); open != std::string::npos) {
      const std::size_t colon = name.find(':', open);
      subStart = std::stoll(name.substr(open + 1, colon - open - 1));
      subLen = std::stoll(name.substr(colon + 1, name.size() - colon - 2));
      name.resize(open);
    }
    const char buffer = name[0];
    const auto list = buffers_.find(buffer);
    if (name.size() > 2 && list != buffers_.end())
      for (const BufferField& f : list->second)
        if (Upper(f.name) == name.substr(2)) {
          if (subStart > 0)
            return Descriptor(buffer, f.position + subStart - 1, TypeLetter(f.type), subLen, 0);
          return Descriptor(buffer, f.position, TypeLetter(f.type), f.length, f.decimals);
        }
    Refuse("1311", op.text);
  }

  std::string Target(const std::string& tag, long long line) {
    const std::string t = Upper(tag);
    if (t == "*SELECT") return "Y 00000";
    if (t == "*SKIP") return "S 00000";
    if (t == "*ERROR") return "E 00000";
    const auto found = tags_.find(t);
    if (found == tags_.end()) Refuse("1292");
    const long long distance = found->second - line;
    return std::string("/") + (distance < 0 ? "-" : "+") + Digits(distance < 0 ? -distance : distance, 5);
  }

  static char Comparison(const std::string& cond) {
    if (cond == "EQ") return '=';
    if (cond == "NE") return '*';
    if (cond == "GT") return '>';
    if (cond == "GE") return 'G';
    if (cond == "LT") return '<';
    if (cond == "LE") return 'L';
    Refuse("1305");
  }

  std::string Statement(const StoredInst& s, long long line) {
    const std::string n = Digits(line, 5);
    const std::string& k = s.code;
    auto op = [&](int i) { return Operand14(s.op[i]); };
    if (k == "00") return "16" + n;
    if (k == "01") return "01" + n + Target(s.tag, line);
    if (k == "02") return "04" + n + op(0) + Operand14(kBlank) + op(2);
    if (k == "03") return "03" + n + op(0) + op(2);
    if (k == "04") return "04" + n + op(0) + op(1) + op(2);
    if (k == "05" || k == "0D")
      return (k == "05" ? "05" : "13") + n + op(0) + op(1) + Comparison(s.cond) + Target(s.tag, line);
    if (k == "06") return "06" + n + op(0) + op(1) + (s.cond == "EQ" ? "N" : "B") + op(2) + Target(s.tag, line);
    if (k == "07") return "07" + n + op(0) + op(2);
    static const std::map<std::string, std::string> kThree{{"08", "08"}, {"09", "09"}, {"0A", "10"}, {"0B", "11"}, {"0C", "12"}};
    if (const auto e = kThree.find(k); e != kThree.end()) return e->second + n + op(0) + op(1) + op(2);
    if (k == "0E") return "14" + n + op(0);
    if (k == "OF") return "17" + n + op(0);
    const std::string text = RenderInstruction(s, false);
    Refuse("1309", text.empty() ? s.code : text.substr(0, text.find(' ')));
  }

  const NtBuffers& buffers_;
  std::vector<std::string> out_;
  std::map<std::string, std::string> constants_;  // type + value -> descriptor
  std::map<std::string, long long> tags_;         // tag -> compiled line
  long long area_ = 1;                            // next free position of the constant area
};

}  // namespace

const std::vector<BufferField>& NtSystemBuffer() {
  static const std::vector<BufferField> kBuffer = [] {
    // Lengths of the system fields, by name; the others are 30 long.
    static const std::map<std::string, long long> kLengths{
        {"PROCESS", 1},   {"ERROR", 256},     {"JODATTIM", 17}, {"GRP_ID", 3},      {"SRC_ID", 3},
        {"ENV_ID", 2},    {"TGT_ID", 3},      {"TGT_TYPE", 1},  {"COM_TYPE", 1},    {"RECEIVER", 20},
        {"JRN_SEQ", 10},  {"JRN_OPLVL", 1},   {"JRN_OPNAT", 2}, {"JRN_DATTIM", 26}, {"JRN_JOB", 10},
        {"JRN_USER", 10}, {"JRN_JOBNUM", 6},  {"JRN_PGM", 10},  {"JRN_SEQNO", 10},  {"CURDATETIME", 14}};
    std::vector<BufferField> out;
    long long position = 1;
    for (const NtSystemField& f : NtSystemFields()) {
      const auto l = kLengths.find(f.name);
      const long long length = l == kLengths.end() ? 30 : l->second;
      out.push_back({f.name, "C", length, 0, position});
      position += length;
    }
    return out;
  }();
  return kBuffer;
}

NtBuffers ProgramBuffers(const std::vector<ProgramLine>& lines, const std::vector<BufferField>& table) {
  NtBuffers out;
  out['I'] = table;
  out['B'] = table;
  out['S'] = NtSystemBuffer();
  std::map<char, long long> next{{'O', 1}, {'W', 1}, {'V', 1}};
  for (const ProgramLine& l : lines) {
    if (l.type != 'd') continue;
    const StoredDecl d = DecodeDecl(l.content);
    if (d.type == '$' || d.name.size() < 3 || !next.count(d.name[0])) continue;
    const char buffer = d.name[0];
    BufferField f{UCase(d.name.substr(2)), std::string(1, d.type), d.length, d.decimals, next[buffer]};
    if (!d.based.empty()) {
      for (const BufferField& b : out[buffer])
        if (b.name == UCase(d.based.substr(2))) f.position = b.position + d.position - 1;
    } else {
      next[buffer] += d.length;
    }
    out[buffer].push_back(std::move(f));
  }
  if (out['O'].empty()) {
    long long position = 1;
    for (BufferField f : table) {
      f.position = position;
      position += f.length;
      out['O'].push_back(std::move(f));
    }
  }
  return out;
}

std::vector<std::string> CompileNtProgram(const std::vector<ProgramLine>& lines, const NtBuffers& buffers) {
  return Compiler(buffers).Run(lines);
}

}  // namespace qv
