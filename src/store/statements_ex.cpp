// SQL text of the environment, target and cascade operations; node positions.
#include "store/statements_ex.h"

#include <cmath>

#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {
namespace {

constexpr std::size_t kEnv = 2, kTgt = 3, kGrp = 3, kFic = 10, kField = 30;

// Returns a code padded or cut to width, its quotes doubled.
std::string Code(std::string_view value, std::size_t width) {
  return SqlField(FitText(value, width), width);
}

std::string E(std::string_view env) { return Code(env, kEnv); }
std::string T(std::string_view tgt) { return Code(tgt, kTgt); }
std::string G(std::string_view grp) { return Code(grp, kGrp); }
std::string F(std::string_view fic) { return Code(fic, kFic); }

// Returns field i of rec, quoted for a statement.
std::string Value(const Record& rec, std::size_t i) {
  return SqlField(rec.Get(i), rec.layout().fields[i].width);
}

// Returns the values of every field of rec joined by "','", ready to stand
// between the quotes of VALUES('...'): "E1','A','...".
std::string JoinedValues(const Record& rec) {
  std::string out;
  for (std::size_t i = 0; i < rec.layout().fields.size(); ++i) {
    if (i > 0) out += "','";
    out += Value(rec, i);
  }
  return out;
}

std::string Prefixed(std::string_view head, std::string_view prefix, std::string_view rest) {
  std::string out(head);
  out += prefix;
  out += rest;
  return out;
}

void Require(const Record& rec, const Layout& layout) {
  if (&rec.layout() != &layout)
    throw std::invalid_argument("a record of '" + std::string(layout.name) + "' is needed, not '" +
                                std::string(rec.layout().name) + "'");
}

}  // namespace

// ---- Node positions ---------------------------------------------------------

std::string PositionText(float value) {
  constexpr double kMax = 9999999999.0, kMin = -999999999.0;
  double whole = std::isnan(value) ? 0.0 : std::trunc(static_cast<double>(value));
  if (whole > kMax) whole = kMax;
  if (whole < kMin) whole = kMin;
  const long long n = static_cast<long long>(whole);
  std::string digits = std::to_string(n < 0 ? -n : n);
  if (n < 0) return "-" + std::string(9 - digits.size(), '0') + digits;
  return std::string(10 - digits.size(), '0') + digits;
}

int64_t PositionValue(std::string_view text) {
  std::size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0;
  std::size_t e = text.find_last_not_of(' ');
  text = text.substr(b, e - b + 1);
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return 0;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

// ---- Environments -------------------------------------------------------------

std::string NtSourceTypeCode(std::string_view sourceType) {
  if (sourceType == "ODBC") return "5";
  if (sourceType == "SQL Server") return "1";
  if (sourceType == "Oracle") return "2";
  return "";
}

std::string SelectEnvironmentSql(std::string_view prefix, std::string_view env) {
  return Prefixed("SELECT * FROM ", prefix, "QV_EX WHERE ENVID='") + E(env) + "'";
}

std::string InsertEnvironmentSql(std::string_view prefix, const Record& ex) {
  Require(ex, layout::QV_EX);
  return Prefixed("INSERT INTO ", prefix,
                  "QV_EX ( ENVID, ENVTYPE, DESCRIP, HOLD, SRCID, SRCTYPE, TEMPO, ") +
         "RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, SECURE, FILLER) " +
         " VALUES('" + JoinedValues(ex) + "')";
}

std::string UpdateEnvironmentSql(std::string_view prefix, const Record& ex, std::string_view env) {
  Require(ex, layout::QV_EX);
  std::string out = Prefixed("UPDATE ", prefix, "QV_EX SET ");
  const auto fields = ex.layout().fields;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    if (i > 1) out += "', ";
    out += fields[i].column;
    out += " ='";
    out += Value(ex, i);
  }
  return out + "' WHERE ENVID ='" + E(env) + "'";
}

std::string DeleteEnvironmentSql(std::string_view prefix, std::string_view env) {
  return Prefixed("DELETE FROM ", prefix, "QV_EX WHERE ENVID ='") + E(env) + "'";
}

std::string EnvironmentListSql(std::string_view prefix) {
  return Prefixed("SELECT ENVID,ENVTYPE FROM ", prefix, "QV_EX ");
}

// ---- Targets ------------------------------------------------------------------

std::string SelectTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt) {
  return Prefixed("SELECT * FROM ", prefix, "QV_CX WHERE ENVID='") + E(env) + "' AND TGTID='" +
         T(tgt) + "'";
}

std::string InsertTargetSql(std::string_view prefix, const Record& cx) {
  Require(cx, layout::QV_CX);
  return Prefixed("INSERT INTO ", prefix, "QV_CX (ENVID, TGTID, DESCRIP, HOLD, TGTTYPE, COMTYPE, ") +
         " TGTADRESS, TGTNAME, LOCALNAME, EXCLUDE, FMTDATE, TGTTEST, TGTTRACE, TEMPO, " +
         " RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, FILLER)" +
         " VALUES('" + JoinedValues(cx) + "')";
}

std::string UpdateTargetSql(std::string_view prefix, const Record& cx, std::string_view env,
                            std::string_view tgt) {
  Require(cx, layout::QV_CX);
  std::string out = Prefixed("UPDATE ", prefix, "QV_CX SET ");
  const auto fields = cx.layout().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += "',";
    out += fields[i].column;
    out += " ='";
    out += Value(cx, i);
  }
  return out + "' WHERE ENVID ='" + E(env) + "' AND TGTID='" + T(tgt) + "'";
}

std::string DeleteTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt) {
  return Prefixed("DELETE FROM ", prefix, "QV_CX WHERE ENVID ='") + E(env) + "' AND TGTID ='" +
         T(tgt) + "'";
}

std::string HoldTargetSql(std::string_view prefix, std::string_view flag, std::string_view env,
                          std::string_view tgt) {
  return Prefixed("UPDATE ", prefix, "QV_CX SET HOLD ='") + Code(flag, 1) + "' WHERE ENVID ='" +
         E(env) + "' AND TGTID='" + T(tgt) + "'";
}

std::string TargetPositionSql(std::string_view prefix, std::string_view x, std::string_view y,
                              std::string_view env, std::string_view tgt) {
  return Prefixed("UPDATE ", prefix, "QV_CX SET X='") + SqlField(x, 10) + "',Y='" +
         SqlField(y, 10) + "' WHERE ENVID='" + E(env) + "' AND TGTID ='" + T(tgt) + "'";
}

// ---- Cascades: listings -----------------------------------------------------------

std::string ListTargetsOfEnvironmentSql(std::string_view prefix, std::string_view env) {
  return Prefixed("SELECT * FROM ", prefix, "QV_CX WHERE ENVID ='") + E(env) + "'";
}

std::string ListModelsOfEnvironmentSql(std::string_view prefix, std::string_view env) {
  return Prefixed("SELECT * FROM ", prefix, "QV_GX WHERE ENVID ='") + E(env) + "'";
}

std::string ListDistributionsOfTargetSql(std::string_view prefix, std::string_view env,
                                         std::string_view tgt) {
  return Prefixed("SELECT  ENVID,TGTID,GRPID FROM ", prefix, "QV_GC WHERE ENVID ='") + E(env) +
         "' AND TGTID ='" + T(tgt) + "'";
}

std::string ListDistributionsOfModelSql(std::string_view prefix, std::string_view env,
                                        std::string_view grp) {
  return Prefixed("SELECT ENVID,TGTID,GRPID FROM ", prefix, "QV_GC WHERE ENVID='") + E(env) +
         "' AND GRPID='" + G(grp) + "'";
}

std::string ListTablesOfModelSql(std::string_view prefix, std::string_view env,
                                 std::string_view grp) {
  return Prefixed("SELECT * FROM ", prefix, "QV_FX WHERE ENVID ='") + E(env) + "' AND GRPID ='" +
         G(grp) + "'";
}

std::string ListTablesOfDistributionSql(std::string_view prefix, std::string_view env,
                                        std::string_view tgt, std::string_view grp) {
  return Prefixed("SELECT ENVID,TGTID,GRPID,FICID FROM ", prefix, "QV_FC WHERE ENVID='") + E(env) +
         "' AND TGTID='" + T(tgt) + "' AND GRPID='" + G(grp) + "'";
}

std::string ListDistributedTablesOfTableSql(std::string_view prefix, std::string_view env,
                                            std::string_view grp, std::string_view fic) {
  return Prefixed("SELECT ENVID,TGTID,GRPID,FICID FROM ", prefix, "QV_FC WHERE ENVID='") + E(env) +
         "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

// ---- Deletes of one item ------------------------------------------------------------

std::string DeleteModelSql(std::string_view prefix, std::string_view env, std::string_view grp) {
  return Prefixed("DELETE FROM ", prefix, "QV_GX WHERE ENVID='") + E(env) + "' AND GRPID ='" +
         G(grp) + "'";
}

std::string DeleteDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  return Prefixed("DELETE FROM ", prefix, "QV_GC WHERE ENVID ='") + E(env) + "' AND TGTID='" +
         T(tgt) + "' AND GRPID ='" + G(grp) + "'";
}

std::string DeleteModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  return Prefixed("DELETE FROM ", prefix, "QV_FX WHERE ENVID='") + E(env) + "' AND GRPID= '" +
         G(grp) + "' AND FICID ='" + F(fic) + "'";
}

std::string DeleteDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic) {
  return Prefixed("DELETE FROM ", prefix, "QV_FC WHERE ENVID='") + E(env) + "' AND TGTID='" +
         T(tgt) + "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

// ---- Deletes of the leaves ------------------------------------------------------------

std::string DeleteEndScriptSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                               std::string_view grp) {
  return Prefixed("DELETE FROM ", prefix, "QV_END WHERE ENVID ='") + E(env) + "' AND TGTID ='" +
         T(tgt) + "' AND GRPID = '" + G(grp) + "'";
}

std::string DeleteProgramSql(std::string_view prefix, std::string_view env, std::string_view grp,
                             std::string_view fic) {
  return Prefixed("DELETE FROM ", prefix, "QV_TX WHERE ENVID ='") + E(env) + "' AND GRPID ='" +
         G(grp) + "' AND FICID = '" + F(fic) + "'";
}

std::string DeleteFieldsSql(std::string_view prefix, std::string_view env, std::string_view grp,
                            std::string_view fic) {
  return Prefixed("DELETE FROM ", prefix, "QV_ZX WHERE ENVID ='") + E(env) + "' AND GRPID ='" +
         G(grp) + "' AND FICID = '" + F(fic) + "'";
}

std::string DeleteMappingsOfDistributedTableSql(std::string_view prefix, std::string_view env,
                                                std::string_view tgt, std::string_view grp,
                                                std::string_view fic) {
  return Prefixed("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + E(env) + "' AND TGTID='" +
         T(tgt) + "' AND GRPID= '" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

std::string DeleteMappingsOfFieldSql(std::string_view prefix, std::string_view env,
                                     std::string_view grp, std::string_view fic,
                                     std::string_view field) {
  return Prefixed("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + E(env) + "' AND GRPID= '" +
         G(grp) + "' AND FICID='" + F(fic) + "' AND FIELDINPUT='" + Code(field, kField) + "'";
}

}  // namespace qv
