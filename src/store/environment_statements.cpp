// SQL text of the environment, target and cascade operations; node positions.
#include "store/environment_statements.h"

#include <cmath>

#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {
namespace {

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

// ---- Environments -------------------------------------------------------------

std::string NtSourceTypeCode(std::string_view sourceType) {
  if (sourceType == "ODBC") return "5";
  if (sourceType == "SQL Server") return "1";
  if (sourceType == "Oracle") return "2";
  return "";
}

std::string SelectEnvironmentSql(std::string_view prefix, std::string_view env) {
  return SqlHead("SELECT * FROM ", prefix, "QV_EX WHERE ENVID='") + SqlEnvId(env) + "'";
}

std::string InsertEnvironmentSql(std::string_view prefix, const Record& ex) {
  RequireRecordOf(ex, layout::QV_EX);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_EX ( ENVID, ENVTYPE, DESCRIP, HOLD, SRCID, SRCTYPE, TEMPO, ") +
         "RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, SECURE, FILLER) " +
         " VALUES('" + JoinedValues(ex) + "')";
}

std::string UpdateEnvironmentSql(std::string_view prefix, const Record& ex, std::string_view env) {
  RequireRecordOf(ex, layout::QV_EX);
  std::string out = SqlHead("UPDATE ", prefix, "QV_EX SET ");
  const auto fields = ex.layout().fields;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    if (i > 1) out += "', ";
    out += fields[i].column;
    out += " ='";
    out += Value(ex, i);
  }
  return out + "' WHERE ENVID ='" + SqlEnvId(env) + "'";
}

std::string DeleteEnvironmentSql(std::string_view prefix, std::string_view env) {
  return SqlHead("DELETE FROM ", prefix, "QV_EX WHERE ENVID ='") + SqlEnvId(env) + "'";
}

std::string EnvironmentListSql(std::string_view prefix) {
  return SqlHead("SELECT ENVID,ENVTYPE FROM ", prefix, "QV_EX ");
}

// ---- Targets ------------------------------------------------------------------

std::string SelectTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt) {
  return SqlHead("SELECT * FROM ", prefix, "QV_CX WHERE ENVID='") + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "'";
}

std::string InsertTargetSql(std::string_view prefix, const Record& cx) {
  RequireRecordOf(cx, layout::QV_CX);
  return SqlHead("INSERT INTO ", prefix, "QV_CX (ENVID, TGTID, DESCRIP, HOLD, TGTTYPE, COMTYPE, ") +
         " TGTADRESS, TGTNAME, LOCALNAME, EXCLUDE, FMTDATE, TGTTEST, TGTTRACE, TEMPO, " +
         " RETRY, MAXOPEN, APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, FILLER)" +
         " VALUES('" + JoinedValues(cx) + "')";
}

std::string UpdateTargetSql(std::string_view prefix, const Record& cx, std::string_view env,
                            std::string_view tgt) {
  RequireRecordOf(cx, layout::QV_CX);
  std::string out = SqlHead("UPDATE ", prefix, "QV_CX SET ");
  const auto fields = cx.layout().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += "',";
    out += fields[i].column;
    out += " ='";
    out += Value(cx, i);
  }
  return out + "' WHERE ENVID ='" + SqlEnvId(env) + "' AND TGTID='" + SqlTgtId(tgt) + "'";
}

std::string DeleteTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt) {
  return SqlHead("DELETE FROM ", prefix, "QV_CX WHERE ENVID ='") + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "'";
}

std::string HoldTargetSql(std::string_view prefix, std::string_view flag, std::string_view env,
                          std::string_view tgt) {
  return SqlHead("UPDATE ", prefix, "QV_CX SET HOLD ='") +
         SqlCode(flag, layout::QV_CX["HOLD"].width) + "' WHERE ENVID ='" + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "'";
}

std::string TargetPositionSql(std::string_view prefix, std::string_view x, std::string_view y,
                              std::string_view env, std::string_view tgt) {
  return SqlHead("UPDATE ", prefix, "QV_CX SET X='") + SqlField(x, layout::QV_CX["X"].width) +
         "',Y='" + SqlField(y, layout::QV_CX["Y"].width) + "' WHERE ENVID='" + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "'";
}

// ---- Cascades: listings -----------------------------------------------------------

std::string ListTargetsOfEnvironmentSql(std::string_view prefix, std::string_view env) {
  return SqlHead("SELECT * FROM ", prefix, "QV_CX WHERE ENVID ='") + SqlEnvId(env) + "'";
}

std::string ListModelsOfEnvironmentSql(std::string_view prefix, std::string_view env) {
  return SqlHead("SELECT * FROM ", prefix, "QV_GX WHERE ENVID ='") + SqlEnvId(env) + "'";
}

std::string ListDistributionsOfTargetSql(std::string_view prefix, std::string_view env,
                                         std::string_view tgt) {
  return SqlHead("SELECT  ENVID,TGTID,GRPID FROM ", prefix, "QV_GC WHERE ENVID ='") +
         SqlEnvId(env) + "' AND TGTID ='" + SqlTgtId(tgt) + "'";
}

std::string ListDistributionsOfModelSql(std::string_view prefix, std::string_view env,
                                        std::string_view grp) {
  return SqlHead("SELECT ENVID,TGTID,GRPID FROM ", prefix, "QV_GC WHERE ENVID='") + SqlEnvId(env) +
         "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string ListTablesOfModelSql(std::string_view prefix, std::string_view env,
                                 std::string_view grp) {
  return SqlHead("SELECT * FROM ", prefix, "QV_FX WHERE ENVID ='") + SqlEnvId(env) +
         "' AND GRPID ='" + SqlGrpId(grp) + "'";
}

std::string ListTablesOfDistributionSql(std::string_view prefix, std::string_view env,
                                        std::string_view tgt, std::string_view grp) {
  return SqlHead("SELECT ENVID,TGTID,GRPID,FICID FROM ", prefix, "QV_FC WHERE ENVID='") +
         SqlEnvId(env) + "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string ListDistributedTablesOfTableSql(std::string_view prefix, std::string_view env,
                                            std::string_view grp, std::string_view fic) {
  return SqlHead("SELECT ENVID,TGTID,GRPID,FICID FROM ", prefix, "QV_FC WHERE ENVID='") +
         SqlEnvId(env) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

// ---- Deletes of one item ------------------------------------------------------------

std::string DeleteModelSql(std::string_view prefix, std::string_view env, std::string_view grp) {
  return SqlHead("DELETE FROM ", prefix, "QV_GX WHERE ENVID='") + SqlEnvId(env) + "' AND GRPID ='" +
         SqlGrpId(grp) + "'";
}

std::string DeleteDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  return SqlHead("DELETE FROM ", prefix, "QV_GC WHERE ENVID ='") + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "'";
}

std::string DeleteModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_FX WHERE ENVID='") + SqlEnvId(env) + "' AND GRPID= '" +
         SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) + "'";
}

std::string DeleteDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_FC WHERE ENVID='") + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

// ---- Deletes of the leaves ------------------------------------------------------------

std::string DeleteEndScriptSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                               std::string_view grp) {
  return SqlHead("DELETE FROM ", prefix, "QV_END WHERE ENVID ='") + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "' AND GRPID = '" + SqlGrpId(grp) + "'";
}

std::string DeleteProgramSql(std::string_view prefix, std::string_view env, std::string_view grp,
                             std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_TX WHERE ENVID ='") + SqlEnvId(env) +
         "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID = '" + SqlFicId(fic) + "'";
}

std::string DeleteFieldsSql(std::string_view prefix, std::string_view env, std::string_view grp,
                            std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_ZX WHERE ENVID ='") + SqlEnvId(env) +
         "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID = '" + SqlFicId(fic) + "'";
}

std::string DeleteMappingsOfDistributedTableSql(std::string_view prefix, std::string_view env,
                                                std::string_view tgt, std::string_view grp,
                                                std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID= '" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

std::string DeleteMappingsOfFieldSql(std::string_view prefix, std::string_view env,
                                     std::string_view grp, std::string_view fic,
                                     std::string_view field) {
  return SqlHead("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + SqlEnvId(env) + "' AND GRPID= '" +
         SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "' AND FIELDINPUT='" +
         SqlFieldId(field) + "'";
}

}  // namespace qv
