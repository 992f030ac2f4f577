// Implements the program and end-script commands of the embedded AS/400
// source: "SYSWRTTRS_" receives a program's lines (kept in QV_TX) and its MI
// source (kept beside them), "SYSGENTRS_" compiles the MI source in
// simulation, refusing text it cannot read, and "SYSWRTENQV" replaces the
// lines of an end script. Received lines are stored when the end request
// arrives, all at once.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <set>

#include "dllparam/embedded/embedded_internal.h"

namespace qv::embedded {
namespace {

constexpr size_t kProgramLine = 179;  // type, indentation, content
constexpr size_t kMiBlock = 175;
constexpr size_t kEndLine = 255;
constexpr std::string_view kMiArea = "QV_TRSSRC";

// Returns the items of a batch ("04096", mode, a 2-digit count, then the
// items of width characters each), or "" in error with the reason.
std::vector<std::string> Items(std::string_view area, size_t width, const char* command, std::string& error) {
  std::vector<std::string> out;
  const std::string_view digits = area.size() >= 8 ? area.substr(6, 2) : std::string_view{};
  if (digits.size() != 2 || !std::isdigit(static_cast<unsigned char>(digits[0])) ||
      !std::isdigit(static_cast<unsigned char>(digits[1]))) {
    error = std::string(command) + " batch without its 2-digit count";
    return out;
  }
  const size_t count = std::stoul(std::string(digits));
  if (8 + count * width > area.size()) {
    error = std::string(command) + " batch of " + std::to_string(count) + " items larger than its area";
    return out;
  }
  for (size_t i = 0; i < count; ++i) out.emplace_back(area.substr(8 + i * width, width));
  return out;
}

std::string Now14() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
  return buf;
}

void DeleteProgramLines(Db& db, std::string_view key) {
  Stmt st = db.prepareOnce("DELETE FROM QV_TX WHERE ENVID = ? AND GRPID = ? AND FICID = ? AND LIEU = ?");
  st.bind(1, key.substr(0, 2));
  st.bind(2, key.substr(2, 3));
  st.bind(3, key.substr(5, 10));
  st.bind(4, key.substr(15, 1));
  st.step();
}

void SetMiSource(Db& db, std::string_view table, const std::string* text) {
  Stmt st = db.prepareOnce(text ? "INSERT OR REPLACE INTO qvs_file (area, name, data) VALUES (?, ?, ?)"
                                : "DELETE FROM qvs_file WHERE area = ? AND name = ?");
  st.bind(1, kMiArea);
  st.bind(2, table);
  if (text) st.bind(3, *text);
  st.step();
}

// Reads MI source as the compile does: statements end with ";", a tag
// definition is a name followed by ":", and every branch ("B T" or
// "... /cond ( T )") must name a tag of the source or an end target.
// Returns "" when it compiles, else the reason.
std::string CheckMi(std::string_view mi) {
  static const std::set<std::string> kOps{"B",    "CPYBLAP", "CPYBRA", "CMPBLA", "SCAN", "CPYNV", "ADDN",
                                          "SUBN", "MULT",    "DIV",    "REM",    "CMPNV", "CPYBLA", "CALLX",
                                          "DCL"};
  std::set<std::string> tags;
  std::vector<std::string> branches;
  size_t at = 0;
  while (at < mi.size()) {
    size_t end = mi.find(';', at);
    if (end == std::string_view::npos) end = mi.size();
    const std::string piece = TrimText(mi.substr(at, end - at));
    at = end + 1;
    if (piece.empty()) continue;
    if (piece.back() == ':') {
      tags.insert(UpperText(TrimText(std::string_view(piece).substr(0, piece.size() - 1))));
      continue;
    }
    const std::string op = UpperText(piece.substr(0, piece.find(' ')));
    if (!kOps.count(op)) return "MCH0401 instruction " + op + " not valid";
    if (op == "B") {
      branches.push_back(UpperText(TrimText(std::string_view(piece).substr(1))));
    } else if (piece.find("(B)") != std::string::npos) {
      const size_t open = piece.rfind('('), close = piece.rfind(')');
      if (open == std::string::npos || close == std::string::npos || close < open)
        return "MCH0402 branch target missing";
      branches.push_back(UpperText(TrimText(std::string_view(piece).substr(open + 1, close - open - 1))));
    }
  }
  for (const std::string& b : branches)
    if (b != "*SELECT" && b != "*SKIP" && b != "*ERROR" && !tags.count(b)) return "MCH0403 tag " + b + " not declared";
  return "";
}

}  // namespace

void EmbeddedSource::WriteProgram(Connection& c, std::string& data, size_t n) {
  constexpr const char* kCmd = "SYSWRTTRS_";
  if (n < 6) Fail(kCodeBadCall, std::string(kCmd) + " area shorter than its request");
  const std::string_view area = std::string_view(data).substr(0, n);
  WriteSession& s = c.program;
  switch (area[5]) {
    case '0': {
      if (n < 23) Fail(kCodeBadCall, std::string(kCmd) + " begin request without its program key");
      const std::string key(area.substr(6, 16));
      if (area[22] == '1') {
        WithWriteTransaction(c.db, [&] {
          DeleteProgramLines(c.db, key);
          SetMiSource(c.db, key.substr(0, 15), nullptr);
        });
        s = {};
        return;
      }
      s = {};
      s.key = key;
      return;
    }
    case '1':
    case '2': {
      if (s.key.empty()) Fail(kCodeBadCall, std::string(kCmd) + " batch without a begin request");
      const bool lines = area[5] == '1';
      std::string error;
      std::vector<std::string> items = Items(area, lines ? kProgramLine : kMiBlock, kCmd, error);
      if (!error.empty()) Fail(kCodeBadCall, error);
      for (std::string& item : items) (lines ? s.lines : s.blocks).push_back(std::move(item));
      (lines ? s.gotLines : s.gotBlocks) = true;
      return;
    }
    case '3': {
      if (s.key.empty()) Fail(kCodeBadCall, std::string(kCmd) + " end request without a begin request");
      WithWriteTransaction(c.db, [&] {
        if (s.gotLines) {
          DeleteProgramLines(c.db, s.key);
          Stmt st = c.db.prepareOnce(
              "INSERT INTO QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
          for (size_t i = 0; i < s.lines.size(); ++i) {
            const std::string_view l = s.lines[i];
            st.bind(1, std::string_view(s.key).substr(0, 2));
            st.bind(2, std::string_view(s.key).substr(2, 3));
            st.bind(3, std::string_view(s.key).substr(5, 10));
            st.bind(4, std::string_view(s.key).substr(15, 1));
            st.bind(5, Num(static_cast<int64_t>(i + 1), 5));
            st.bind(6, l.substr(0, 1));
            st.bind(7, l.substr(1, 3));
            st.bind(8, l.substr(4, 175));
            st.step();
            st.reset();
          }
        }
        if (s.gotBlocks) {
          std::string text;
          for (const std::string& b : s.blocks) text += b;
          SetMiSource(c.db, s.key.substr(0, 15), &text);
        }
      });
      s = {};
      return;
    }
    default:
      Fail(kCodeBadCall, std::string(kCmd) + " mode \"" + area[5] + "\" is none of \"0\", \"1\", \"2\", \"3\"");
  }
}

void EmbeddedSource::CompileProgram(Connection& c, std::string& data, size_t n) {
  if (n < 24 || data[5] != '1') Fail(kCodeBadCall, "SYSGENTRS_ request without its model table");
  const std::string_view area(data);
  const std::string table = std::string(area.substr(6, 2)) + std::string(area.substr(11, 3)) + std::string(area.substr(14, 10));
  Stmt st = c.db.prepareOnce("SELECT data FROM qvs_file WHERE area = ? AND name = ?");
  st.bind(1, kMiArea);
  st.bind(2, table);
  std::string error = st.step() ? CheckMi(st.columnText(0)) : "CPF9801 no MI source for " + TrimText(table);
  const std::string answer = error.empty() ? "0" : "1" + error;
  Reply(data, n, Num(static_cast<int64_t>(answer.size()), 5) + answer);
}

void EmbeddedSource::WriteEndScript(Connection& c, std::string& data, size_t n) {
  constexpr const char* kCmd = "SYSWRTENQV";
  if (n < 6) Fail(kCodeBadCall, std::string(kCmd) + " area shorter than its request");
  const std::string_view area = std::string_view(data).substr(0, n);
  WriteSession& s = c.endScript;
  switch (area[5]) {
    case '0':
      if (n < 16) Fail(kCodeBadCall, std::string(kCmd) + " begin request without its distribution and place");
      s = {};
      s.key = std::string(area.substr(6, 9));
      return;
    case '1': {
      if (s.key.empty()) Fail(kCodeBadCall, std::string(kCmd) + " batch without a begin request");
      std::string error;
      std::vector<std::string> items = Items(area, kEndLine, kCmd, error);
      if (!error.empty()) Fail(kCodeBadCall, error);
      for (std::string& item : items) s.lines.push_back(std::move(item));
      return;
    }
    case '3': {
      if (s.key.empty()) Fail(kCodeBadCall, std::string(kCmd) + " end request without a begin request");
      const std::string_view key = s.key;
      WithWriteTransaction(c.db, [&] {
        Stmt del = c.db.prepareOnce("DELETE FROM QV_END WHERE ENVID = ? AND TGTID = ? AND GRPID = ? AND LIEU = ?");
        del.bind(1, key.substr(0, 2));
        del.bind(2, key.substr(2, 3));
        del.bind(3, key.substr(5, 3));
        del.bind(4, key.substr(8, 1));
        del.step();
        Stmt ins = c.db.prepareOnce(
            "INSERT INTO QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME) VALUES (?, ?, ?, ?, ?, ?, ?)");
        const std::string now = Now14();
        for (size_t i = 0; i < s.lines.size(); ++i) {
          ins.bind(1, key.substr(0, 2));
          ins.bind(2, key.substr(2, 3));
          ins.bind(3, key.substr(5, 3));
          ins.bind(4, key.substr(8, 1));
          ins.bind(5, Num(static_cast<int64_t>(i + 1), 5));
          ins.bind(6, s.lines[i]);
          ins.bind(7, now);
          ins.step();
          ins.reset();
        }
      });
      s = {};
      return;
    }
    default:
      Fail(kCodeBadCall, std::string(kCmd) + " mode \"" + area[5] + "\" is none of \"0\", \"1\", \"3\"");
  }
}

}  // namespace qv::embedded
