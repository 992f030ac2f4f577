// Implements the MI source of programs and their requests.
#include "programs/mi_program.h"

#include <algorithm>

#include "catalogs/field_types.h"
#include "connection/remote_commands.h"
#include "presentation/strutil.h"
#include "store/records.h"

namespace qv {
namespace {

const std::string kPrefix(kMiPrefix);

std::string OperandMi(const Operand& op) {
  const std::string t = Trim(op.text);
  if (!op.field()) return t;
  if (!t.empty() && (t[0] == 'S' || t[0] == 's')) return QVUCase(t);
  return kPrefix + QVUCase(t);
}

std::string TagMi(const std::string& tag) {
  const std::string t = QVUCase(Trim(tag));
  if (t == "*SELECT" || t == "*SKIP" || t == "*ERROR") return t;
  return kPrefix + t;
}

std::string ConditionMi(const std::string& cond) {
  if (cond == "NE") return "NEQ";
  if (cond == "GE") return "NLO";
  if (cond == "GT") return "HI";
  if (cond == "LE") return "NHI";
  if (cond == "LT") return "LO";
  return cond;  // EQ
}

std::string ReadOperation(const std::string& code, const std::string& option) {
  if (code == "R0") return "'f'";
  if (code == "R1") return "'l'";
  if (code == "R2") return "'n'";
  if (code == "R3") return "'p'";
  static const std::map<std::string, std::string> kOptions{{"EQ", "'='"}, {"GE", "'G'"}, {"GT", "'>'"},
                                                           {"LE", "'L'"}, {"LT", "'<'"}, {"NE", "'N'"},
                                                           {"NU", "'U'"}, {"PE", "'P'"}, {"PU", "'u'"}};
  const auto o = kOptions.find(option);
  return o == kOptions.end() ? "'='" : o->second;
}

bool SameName(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), QVUCase(Trim(name))) != names.end();
}

std::string Name10(const std::string& p) { return FitText(QVUCase(Trim(p)), 10); }

std::string Key(std::string_view env, std::string_view grp, std::string_view fic, std::string_view place) {
  return FitText(env, 2) + FitText(grp, 3) + FitText(fic, 10) + FitText(place, 1);
}

// Returns the batches of items (mode "1" or "2") between a begin and an end.
std::vector<std::string> Batches(const std::string& key, char mode, const std::vector<std::string>& items) {
  std::vector<std::string> out{"040960" + key + "0"};
  for (std::size_t at = 0; at < items.size(); at += kProgramLinesPerRequest) {
    const std::size_t n = std::min(kProgramLinesPerRequest, items.size() - at);
    std::string r = std::string("04096") + mode + Digits(static_cast<long long>(n), 2);
    for (std::size_t i = 0; i < n; ++i) r += items[at + i];
    out.push_back(std::move(r));
  }
  out.push_back("040963");
  return out;
}

}  // namespace

std::string GenerateMi(const std::vector<ProgramLine>& lines, const std::map<std::string, long long>& aliasLengths) {
  std::string mi;
  std::vector<std::string> called, calledX;
  auto put = [&](const std::string& piece) { WriteFormatedBufMI(mi, piece); };
  for (const ProgramLine& l : lines) {
    if (l.type != 'i') continue;
    const StoredInst s = DecodeInst(l.content);
    const std::string o1 = OperandMi(s.op[0]), o2 = OperandMi(s.op[1]), o3 = OperandMi(s.op[2]);
    const std::string& k = s.code;
    auto branch = [&](const char* op, const std::string& a, const std::string& b, const std::string& c) {
      put(std::string(op) + a + " ," + b + (c.empty() ? "" : " ," + c) + " /" + ConditionMi(s.cond) + " ( " +
          TagMi(s.tag) + " )" + "; ");
    };
    if (k == "00") put(kPrefix + Trim(s.tag) + ": ; ");
    else if (k == "01") put("B " + TagMi(s.tag) + ";");
    else if (k == "02") put("CPYBLAP " + o3 + " ," + o1 + ",' '; ");
    else if (k == "03") put("CPYBRA " + o3 + " ," + o1 + "; ");
    else if (k == "04") put("CPYBLAP " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "05") branch("CMPBLA (B) ", o1, o2, "");
    else if (k == "06") branch("SCAN (B) ", o3, o1, o2);
    else if (k == "07") put("CPYNV " + o3 + " ," + o1 + "; ");
    else if (k == "08") put("ADDN " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "09") put("SUBN " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "0A") put("MULT " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "0B") put("DIV " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "0C") put("REM " + o3 + " ," + o1 + " ," + o2 + "; ");
    else if (k == "0D") branch("CMPNV (B) ", o1, o2, "");
    else if (k == "OF") {
      put("CPYBLA TRACE ," + o1 + "; ");
      put("CALLX SYSTRACE , @PGMTRACE, *;");
    } else if (k == "0E") {
      const std::string p = Trim(s.op[0].text);
      if (!SameName(called, p)) {
        called.push_back(QVUCase(p));
        put("DCL SYSPTR " + kPrefix + "P." + p + " INIT('" + Name10(p) + "',TYPE(PGM,1)); ");
      }
      put("CALLX " + kPrefix + "P." + p + " ,@CALLPGM, *; ");
    } else if (k == "10") {
      const std::string p = Trim(s.tag);
      std::string px = p;
      std::replace(px.begin(), px.end(), '/', '@');
      const std::string params[3] = {o1, o2, o3};
      for (int n = 0; n < 3; ++n)
        if (!params[n].empty()) put("CPYBLA PX.P" + std::to_string(n + 1) + ", " + params[n] + ";");
      const bool first = !SameName(calledX, p);
      if (first) calledX.push_back(QVUCase(p));
      const std::string number =
          std::to_string(std::find(calledX.begin(), calledX.end(), QVUCase(p)) - calledX.begin() + 1);
      if (first) {
        put("DCL SYSPTR " + kPrefix + "PX." + px + " INIT('" + Name10(p) + "',TYPE(PGM,1)); ");
        if (!o1.empty()) {
          std::string list = "DCL OL " + kPrefix + "PX." + number + "( " + "PX.P1@";
          if (!o2.empty()) list += ", PX.P2@";
          if (!o3.empty()) list += ", PX.P3@";
          put(list + ");");
        }
      }
      put("CALLX " + kPrefix + "PX." + px + " ," + kPrefix + "PX." + number + ", *; ");
      for (int n = 0; n < 3; ++n)
        if (!params[n].empty() && s.op[n].field()) put("CPYBLA " + params[n] + ", PX.P" + std::to_string(n + 1) + ";");
    } else if (k.size() == 2 && k[0] == 'R' && k[1] >= '0' && k[1] <= '4') {
      const std::string alias = Trim(s.op[1].text);
      const auto length = aliasLengths.find(QVUCase(alias));
      put("CPYBLAP SF.FILE ," + o1 + ",' ';");
      put("CPYBLA SF.OP ," + ReadOperation(k, s.cond) + ";");
      if (k == "R4") {
        put("CPYNV SF.LENKEY ," + Trim(s.tag) + ";");
        put("CPYBLA SF.KEY, " + o3 + ";");
      }
      put("CPYNV SF.LENBUF ," + std::to_string(length == aliasLengths.end() ? 0 : length->second) + ";");
      put("CPYBLA SF.ERR ,'0';");
      put("CPYBLAP SF.ERRMSG ,' ' ,' '; ");
      put("CALLX SYSFILE , @SYSFILE, *;");
      put("CPYBLA " + kPrefix + o2 + ", SF.BUF;");
      put("CPYBLA " + kPrefix + "F." + alias + ".@EOF@, SF.OP;");
      put("CPYBLAP S.ERROR, SF.ERRMSG, ' ';");
      put("CMPBLA (B) SF.ERR ,'1' /EQ ( *ERROR );");
    }
  }
  return mi;
}

std::vector<std::string> ProgramLineRequests(std::string_view env, std::string_view grp, std::string_view fic,
                                             std::string_view place, const std::vector<ProgramLine>& lines) {
  std::vector<std::string> images;
  for (const ProgramLine& l : lines)
    images.push_back(std::string(1, l.type) + Digits(l.indent, 3) + FitText(l.content, kLineContentWidth));
  return Batches(Key(env, grp, fic, place), '1', images);
}

std::vector<std::string> MiRequests(std::string_view env, std::string_view grp, std::string_view fic,
                                    std::string_view place, std::string_view mi) {
  std::vector<std::string> blocks;
  for (std::size_t at = 0; at < mi.size(); at += kMiBlockWidth) blocks.push_back(FitText(mi.substr(at, kMiBlockWidth), kMiBlockWidth));
  return Batches(Key(env, grp, fic, place), '2', blocks);
}

std::string ProgramDeleteRequest(std::string_view env, std::string_view grp, std::string_view fic,
                                 std::string_view place) {
  return "040960" + Key(env, grp, fic, place) + "1";
}

std::string CompileRequest(std::string_view env, std::string_view grp, std::string_view fic) {
  return "040961" + FitText(env, 2) + "   " + FitText(grp, 3) + FitText(fic, 10);
}

}  // namespace qv
