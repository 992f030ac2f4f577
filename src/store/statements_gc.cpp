// SQL text of the distribution and distributed table operations.
#include "store/statements_gc.h"

#include <stdexcept>

#include "store/record_layouts.h"
#include "store/sqltext.h"
#include "store/statements_gx.h"

namespace qv {
namespace {

constexpr std::size_t kEnv = 2, kTgt = 3, kGrp = 3, kFic = 10;

std::string E(std::string_view env) { return SqlCode(env, kEnv); }
std::string T(std::string_view tgt) { return SqlCode(tgt, kTgt); }
std::string G(std::string_view grp) { return SqlCode(grp, kGrp); }
std::string F(std::string_view fic) { return SqlCode(fic, kFic); }

std::string Head(std::string_view verb, std::string_view prefix, std::string_view rest) {
  std::string out(verb);
  out += prefix;
  out += rest;
  return out;
}

void Require(const Record& rec, const Layout& layout) {
  if (&rec.layout() != &layout)
    throw std::invalid_argument("a record of '" + std::string(layout.name) + "' is needed, not '" +
                                std::string(rec.layout().name) + "'");
}

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
    return Head(" FROM ", prefix, "QV_FC, ") + std::string(prefix) +
           "QV_FX WHERE QV_FC.ENVID (+)=QV_FX.ENVID AND QV_FC.GRPID (+)=QV_FX.GRPID AND "
           "QV_FC.FICID (+)=QV_FX.FICID " +
           " AND ( QV_FC.ENVID ='";
  return Head(" FROM ", prefix, "QV_FC INNER JOIN ") + std::string(prefix) +
         "QV_FX ON (QV_FC.ENVID=QV_FX.ENVID) AND (QV_FC.GRPID=QV_FX.GRPID) AND "
         "(QV_FC.FICID=QV_FX.FICID) " +
         " WHERE ( QV_FC.ENVID ='";
}

}  // namespace

JoinDialect JoinDialectOf(std::string_view sourceType) {
  return sourceType == "Oracle" ? JoinDialect::Oracle : JoinDialect::Inner;
}

// ---- Distributions -------------------------------------------------------------------

std::string SelectDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  return Head("SELECT * FROM ", prefix, "QV_GC WHERE ENVID='") + E(env) + "' AND TGTID ='" +
         T(tgt) + "' AND GRPID ='" + G(grp) + "'";
}

std::string InsertDistributionSql(std::string_view prefix, const Record& gc) {
  Require(gc, layout::QV_GC);
  return Head("INSERT INTO ", prefix, "QV_GC (ENVID, TGTID, GRPID, HOLD, SCHEDULED, STOPEND_QV, ") +
         "TGTBDTYPE, QV_CONNECT, TARGETDB, ASYNC, END_QV, USELIBNAME, PLANNING, ACTREBUILD, " +
         "REPRISETYP, REPRISERCV, REPRISEPNT, X, Y,LOADWITHTXTFILE,PATHFORTXTFILE,FILLER)" +
         " VALUES(" + NtValueList(gc) + ")";
}

std::string UpdateDistributionSql(std::string_view prefix, const Record& gc, std::string_view env,
                                  std::string_view tgt, std::string_view grp) {
  Require(gc, layout::QV_GC);
  return Head("UPDATE ", prefix, "QV_GC SET ") + SetColumns(gc) + " WHERE ENVID ='" + E(env) +
         "' AND TGTID='" + T(tgt) + "' AND GRPID='" + G(grp) + "'";
}

std::string HoldDistributionSql(std::string_view prefix, std::string_view flag,
                                std::string_view env, std::string_view tgt, std::string_view grp) {
  return Head("UPDATE ", prefix, "QV_GC SET HOLD ='") + SqlCode(flag, 1) + "' WHERE ENVID ='" +
         E(env) + "' AND TGTID='" + T(tgt) + "' AND GRPID='" + G(grp) + "'";
}

std::string DistributionPositionSql(std::string_view prefix, std::string_view x,
                                    std::string_view y, std::string_view env,
                                    std::string_view tgt, std::string_view grp) {
  return Head("UPDATE ", prefix, "QV_GC SET X='") + SqlCode(x, 10) + "',Y='" + SqlCode(y, 10) +
         "' WHERE ENVID='" + E(env) + "' AND TGTID ='" + T(tgt) + "' AND GRPID ='" + G(grp) + "'";
}

std::string SelectDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                           std::string_view env, std::string_view tgt,
                                           std::string_view grp) {
  std::string out = SelectList(layout::DistributionWithModel);
  if (dialect == JoinDialect::Oracle)
    out += Head(" FROM ", prefix, "QV_GC, ") + std::string(prefix) +
           "QV_GX WHERE QV_GC.ENVID (+)=QV_GX.ENVID AND QV_GC.GRPID (+)=QV_GX.GRPID " +
           " AND QV_GC.ENVID ='";
  else
    out += Head(" FROM ", prefix, "QV_GC INNER JOIN ") + std::string(prefix) +
           "QV_GX ON (QV_GC.ENVID=QV_GX.ENVID) AND (QV_GC.GRPID=QV_GX.GRPID) " +
           " WHERE QV_GC.ENVID ='";
  return out + E(env) + "' AND QV_GC.TGTID ='" + T(tgt) + "' AND QV_GC.GRPID ='" + G(grp) + "'";
}

// ---- Distributed tables ------------------------------------------------------------------

std::string SelectDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic) {
  return Head("SELECT * FROM ", prefix, "QV_FC WHERE ENVID ='") + E(env) + "' AND TGTID='" +
         T(tgt) + "' AND GRPID ='" + G(grp) + "' AND FICID = '" + F(fic) + "'";
}

std::string InsertDistributedTableSql(std::string_view prefix, const Record& fc) {
  Require(fc, layout::QV_FC);
  return Head("INSERT INTO ", prefix, "QV_FC (ENVID, TGTID, GRPID, FICID, OCCUR, NUMSEQ, NEW, ") +
         "HOLD, TGTLIB, TGTFILE, TGTMBR, TGTPGM, ACCESMODE, SHAREDOPN, CONTERROR,REPAIR, " +
         "CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, INSTINSERT, INSTUPDATE, INSTDELETE," +
         "CLRBEFORE, CLRSPEC, INSTCLRPFM, NUMFC, REPRISETYP, REPRISERCV, REPRISEPNT, X, Y, FILLER )" +
         " VALUES(" + NtValueList(fc) + ")";
}

std::string UpdateDistributedTableSql(std::string_view prefix, const Record& fc,
                                      std::string_view env, std::string_view tgt,
                                      std::string_view grp, std::string_view fic) {
  Require(fc, layout::QV_FC);
  return Head("UPDATE ", prefix, "QV_FC SET ") + SetColumns(fc) + " WHERE ENVID='" + E(env) +
         "' AND TGTID='" + T(tgt) + "' AND GRPID ='" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

std::string HoldDistributedTableSql(std::string_view prefix, std::string_view flag,
                                    std::string_view env, std::string_view tgt,
                                    std::string_view grp, std::string_view fic) {
  return Head("UPDATE ", prefix, "QV_FC SET HOLD ='") + SqlCode(flag, 1) + "' WHERE ENVID ='" +
         E(env) + "' AND TGTID='" + T(tgt) + "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) +
         "'";
}

std::string ResetRecoveryPointSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp,
                                  std::string_view fic) {
  return Head("UPDATE ", prefix, "QV_FC SET REPRISETYP ='") + "C" +
         "', REPRISEPNT='0000000000' WHERE ENVID ='" + E(env) + "' AND TGTID='" + T(tgt) +
         "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

std::string SelectDistributedTableWithModelTableSql(JoinDialect dialect, std::string_view prefix,
                                                    std::string_view env, std::string_view tgt,
                                                    std::string_view grp, std::string_view fic) {
  return SelectList(layout::DistributedTableWithModelTable) + TableJoin(dialect, prefix) + E(env) +
         "' AND QV_FC.TGTID ='" + T(tgt) + "' AND QV_FC.GRPID ='" + G(grp) +
         "' AND QV_FC.FICID ='" + F(fic) + "')";
}

std::string ListTablesOfDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                                 std::string_view env, std::string_view tgt,
                                                 std::string_view grp) {
  return SelectList(layout::DistributedTableWithModelTable) + TableJoin(dialect, prefix) + E(env) +
         "' AND QV_FC.TGTID ='" + T(tgt) + "' AND QV_FC.GRPID ='" + G(grp) +
         "') ORDER BY QV_FC.FICID";
}

}  // namespace qv
