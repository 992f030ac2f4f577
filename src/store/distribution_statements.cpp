// SQL text of the distribution and distributed table operations.
#include "store/distribution_statements.h"

#include <stdexcept>

#include "store/model_statements.h"
#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {
namespace {

// Returns "SELECT QV_GC.ENVID, QV_GC.TGTID, ...": the columns of a joined
// record in its order, each qualified by its table.
std::string SelectList(const Layout& joined) {
  std::string out = "SELECT ";
  bool first = true;
  for (const Field& f : joined.fields) {
    if (!first) out += ", ";
    out += f.table;
    out += '.';
    out += f.column;
    first = false;
  }
  return out;
}

// Returns " FROM ... QV_FC ... QV_FX ..." up to the first condition on
// QV_FC.ENVID, as each dialect writes it.
std::string TableJoin(JoinDialect dialect, std::string_view prefix) {
  if (dialect == JoinDialect::Oracle)
    return SqlHead(" FROM ", prefix, "QV_FC, ") + std::string(prefix) +
           "QV_FX WHERE QV_FC.ENVID (+)=QV_FX.ENVID AND QV_FC.GRPID (+)=QV_FX.GRPID AND "
           "QV_FC.FICID (+)=QV_FX.FICID " +
           " AND ( QV_FC.ENVID ='";
  return SqlHead(" FROM ", prefix, "QV_FC INNER JOIN ") + std::string(prefix) +
         "QV_FX ON (QV_FC.ENVID=QV_FX.ENVID) AND (QV_FC.GRPID=QV_FX.GRPID) AND "
         "(QV_FC.FICID=QV_FX.FICID) " +
         " WHERE ( QV_FC.ENVID ='";
}

// Returns " FROM ... QV_GC ... QV_GX ..." up to the first condition on
// QV_GC.ENVID, as each dialect writes it.
std::string DistributionJoin(JoinDialect dialect, std::string_view prefix) {
  if (dialect == JoinDialect::Oracle)
    return SqlHead(" FROM ", prefix, "QV_GC, ") + std::string(prefix) +
           "QV_GX WHERE QV_GC.ENVID (+)=QV_GX.ENVID AND QV_GC.GRPID (+)=QV_GX.GRPID " + " AND QV_GC.ENVID ='";
  return SqlHead(" FROM ", prefix, "QV_GC INNER JOIN ") + std::string(prefix) +
         "QV_GX ON (QV_GC.ENVID=QV_GX.ENVID) AND (QV_GC.GRPID=QV_GX.GRPID) " + " WHERE QV_GC.ENVID ='";
}

}  // namespace

JoinDialect JoinDialectOf(std::string_view sourceType) {
  return sourceType == "Oracle" ? JoinDialect::Oracle : JoinDialect::Inner;
}

// ---- Distributions -------------------------------------------------------------------

std::string SelectDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  return SqlHead("SELECT * FROM ", prefix, "QV_GC WHERE ENVID='") + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "'";
}

std::string InsertDistributionSql(std::string_view prefix, const Record& gc) {
  RequireRecordOf(gc, layout::QV_GC);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_GC (ENVID, TGTID, GRPID, HOLD, SCHEDULED, STOPEND_QV, ") +
         "TGTBDTYPE, QV_CONNECT, TARGETDB, ASYNC, END_QV, USELIBNAME, PLANNING, ACTREBUILD, " +
         "REPRISETYP, REPRISERCV, REPRISEPNT, X, Y,LOADWITHTXTFILE,PATHFORTXTFILE,FILLER)" +
         " VALUES(" + NtValueList(gc) + ")";
}

std::string UpdateDistributionSql(std::string_view prefix, const Record& gc, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  RequireRecordOf(gc, layout::QV_GC);
  return SqlHead("UPDATE ", prefix, "QV_GC SET ") + SetColumns(gc) + " WHERE ENVID ='" +
         SqlEnvId(env) + "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string HoldDistributionSql(std::string_view prefix, std::string_view flag,
                                std::string_view env, std::string_view tgt, std::string_view grp) {
  return SqlHead("UPDATE ", prefix, "QV_GC SET HOLD ='") +
         SqlCode(flag, layout::QV_GC["HOLD"].width) + "' WHERE ENVID ='" + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string DistributionPositionSql(std::string_view prefix, std::string_view x,
                                    std::string_view y, std::string_view env,
                                    std::string_view tgt, std::string_view grp) {
  return SqlHead("UPDATE ", prefix, "QV_GC SET X='") + SqlCode(x, layout::QV_GC["X"].width) +
         "',Y='" + SqlCode(y, layout::QV_GC["Y"].width) + "' WHERE ENVID='" + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "'";
}

std::string SelectDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                           std::string_view env, std::string_view tgt,
                                           std::string_view grp) {
  const std::string out = SelectList(layout::DistributionWithModel) + DistributionJoin(dialect, prefix);
  return out + SqlEnvId(env) + "' AND QV_GC.TGTID ='" + SqlTgtId(tgt) + "' AND QV_GC.GRPID ='" +
         SqlGrpId(grp) + "'";
}

std::string ListDistributionsOfTargetWithModelSql(JoinDialect dialect, std::string_view prefix,
                                                  std::string_view env, std::string_view tgt) {
  const std::string out = SelectList(layout::DistributionWithModel) + DistributionJoin(dialect, prefix);
  return out + SqlEnvId(env) + "' AND QV_GC.TGTID ='" + SqlTgtId(tgt) + "' ORDER BY QV_GC.GRPID";
}

// ---- Distributed tables ------------------------------------------------------------------

std::string SelectDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic) {
  return SqlHead("SELECT * FROM ", prefix, "QV_FC WHERE ENVID ='") + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID = '" +
         SqlFicId(fic) + "'";
}

std::string InsertDistributedTableSql(std::string_view prefix, const Record& fc) {
  RequireRecordOf(fc, layout::QV_FC);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_FC (ENVID, TGTID, GRPID, FICID, OCCUR, NUMSEQ, NEW, ") +
         "HOLD, TGTLIB, TGTFILE, TGTMBR, TGTPGM, ACCESMODE, SHAREDOPN, CONTERROR,REPAIR, " +
         "CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, INSTINSERT, INSTUPDATE, INSTDELETE," +
         "CLRBEFORE, CLRSPEC, INSTCLRPFM, NUMFC, REPRISETYP, REPRISERCV, REPRISEPNT, X, Y, FILLER )" +
         " VALUES(" + NtValueList(fc) + ")";
}

std::string UpdateDistributedTableSql(std::string_view prefix, const Record& fc,
                                      std::string_view env, std::string_view tgt,
                                      std::string_view grp, std::string_view fic) {
  RequireRecordOf(fc, layout::QV_FC);
  return SqlHead("UPDATE ", prefix, "QV_FC SET ") + SetColumns(fc) + " WHERE ENVID='" +
         SqlEnvId(env) + "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) +
         "' AND FICID='" + SqlFicId(fic) + "'";
}

std::string HoldDistributedTableSql(std::string_view prefix, std::string_view flag,
                                    std::string_view env, std::string_view tgt,
                                    std::string_view grp, std::string_view fic) {
  return SqlHead("UPDATE ", prefix, "QV_FC SET HOLD ='") +
         SqlCode(flag, layout::QV_FC["HOLD"].width) + "' WHERE ENVID ='" + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" +
         SqlFicId(fic) + "'";
}

std::string ResetRecoveryPointSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp,
                                  std::string_view fic) {
  return SqlHead("UPDATE ", prefix, "QV_FC SET REPRISETYP ='") + "C" +
         "', REPRISEPNT='0000000000' WHERE ENVID ='" + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

std::string SelectDistributedTableWithModelTableSql(JoinDialect dialect, std::string_view prefix,
                                                    std::string_view env, std::string_view tgt,
                                                    std::string_view grp, std::string_view fic) {
  return SelectList(layout::DistributedTableWithModelTable) + TableJoin(dialect, prefix) +
         SqlEnvId(env) + "' AND QV_FC.TGTID ='" + SqlTgtId(tgt) + "' AND QV_FC.GRPID ='" +
         SqlGrpId(grp) + "' AND QV_FC.FICID ='" + SqlFicId(fic) + "')";
}

std::string ListTablesOfDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                                 std::string_view env, std::string_view tgt,
                                                 std::string_view grp) {
  return SelectList(layout::DistributedTableWithModelTable) + TableJoin(dialect, prefix) +
         SqlEnvId(env) + "' AND QV_FC.TGTID ='" + SqlTgtId(tgt) + "' AND QV_FC.GRPID ='" +
         SqlGrpId(grp) + "') ORDER BY QV_FC.FICID";
}

}  // namespace qv
