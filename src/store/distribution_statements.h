// SQL text of the distribution and distributed table operations on NT
// sources, joined reads included. The rules of model_statements.h hold: each
// statement is spelled the way the product sends it, "every column in the
// same form" comes from the record layouts, values are cut to their width
// before their quotes are doubled. The NT tables QV_GC and QV_FC have no
// column for the receiver library (REPRISELIB): no statement names it.
//
// The deletes of one distribution or distributed table, and the listing of
// a distribution's table keys, are those of environment_statements.h. Functions
// taking a record throw std::invalid_argument for a record of another
// layout.
#pragma once

#include <string>
#include <string_view>

#include "store/records.h"

namespace qv {

// How an NT source joins two tables: an inner join with the key equalities
// in parentheses (SQL Server and plain ODBC), or a comma join with the
// outer-join marks "(+)" (Oracle).
enum class JoinDialect { Inner, Oracle };

// Returns the dialect of a source kind: Oracle for "Oracle", Inner otherwise.
JoinDialect JoinDialectOf(std::string_view sourceType);

// ---- Distributions (QV_GC) --------------------------------------------------------

// SELECT * FROM <p>QV_GC WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 '
std::string SelectDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp);

// INSERT INTO <p>QV_GC (ENVID, TGTID, GRPID, HOLD, SCHEDULED, STOPEND_QV, TGTBDTYPE, QV_CONNECT,
//   ..., REPRISETYP, REPRISERCV, REPRISEPNT, X, Y,LOADWITHTXTFILE,PATHFORTXTFILE,FILLER)
//   VALUES('E1','T1 ',...)
std::string InsertDistributionSql(std::string_view prefix, const Record& gc);

// UPDATE <p>QV_GC SET ENVID ='E1', TGTID ='T1 ', GRPID ='M1 ', HOLD ='0', ..., FILLER ='...'
//   WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 '
std::string UpdateDistributionSql(std::string_view prefix, const Record& gc, std::string_view env,
                                  std::string_view tgt, std::string_view grp);

// UPDATE <p>QV_GC SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 '
std::string HoldDistributionSql(std::string_view prefix, std::string_view flag,
                                std::string_view env, std::string_view tgt, std::string_view grp);

// UPDATE <p>QV_GC SET X='0000000012',Y='0000000040' WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 '
std::string DistributionPositionSql(std::string_view prefix, std::string_view x,
                                    std::string_view y, std::string_view env,
                                    std::string_view tgt, std::string_view grp);

// Reads the distribution with its model's settings (the 88-character record):
//   SELECT QV_GC.ENVID, QV_GC.TGTID, QV_GC.GRPID, QV_GX.GRPTYPE, ..., QV_GC.HOLD
// Inner: FROM <p>QV_GC INNER JOIN <p>QV_GX ON (QV_GC.ENVID=QV_GX.ENVID) AND
//   (QV_GC.GRPID=QV_GX.GRPID)  WHERE QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 ' AND QV_GC.GRPID ='M1 '
// Oracle: FROM <p>QV_GC, <p>QV_GX WHERE QV_GC.ENVID (+)=QV_GX.ENVID AND
//   QV_GC.GRPID (+)=QV_GX.GRPID  AND QV_GC.ENVID ='E1' AND QV_GC.TGTID ='T1 ' AND QV_GC.GRPID ='M1 '
std::string SelectDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                           std::string_view env, std::string_view tgt,
                                           std::string_view grp);

// Lists the distributions of one target with their models' settings (the
// records of QV_GX_GC_0), in model order: the select list and joins above,
// the conditions on ENVID and TGTID, then " ORDER BY QV_GC.GRPID".
std::string ListDistributionsOfTargetWithModelSql(JoinDialect dialect, std::string_view prefix,
                                                  std::string_view env, std::string_view tgt);

// ---- Distributed tables (QV_FC) -----------------------------------------------------

// SELECT * FROM <p>QV_FC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID = '0000000001'
std::string SelectDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic);

// INSERT INTO <p>QV_FC (ENVID, TGTID, GRPID, FICID, OCCUR, NUMSEQ, NEW, HOLD, TGTLIB, ...,
//   CONTERROR,REPAIR, ..., INSTDELETE,CLRBEFORE, CLRSPEC, INSTCLRPFM, NUMFC, REPRISETYP, REPRISERCV,
//   REPRISEPNT, X, Y, FILLER ) VALUES('E1','T1 ',...)
std::string InsertDistributedTableSql(std::string_view prefix, const Record& fc);

// UPDATE <p>QV_FC SET ENVID ='E1', TGTID ='T1 ', ..., FILLER ='...'
//   WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND FICID='0000000001'
std::string UpdateDistributedTableSql(std::string_view prefix, const Record& fc,
                                      std::string_view env, std::string_view tgt,
                                      std::string_view grp, std::string_view fic);

// UPDATE <p>QV_FC SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='...'
std::string HoldDistributedTableSql(std::string_view prefix, std::string_view flag,
                                    std::string_view env, std::string_view tgt,
                                    std::string_view grp, std::string_view fic);

// UPDATE <p>QV_FC SET REPRISETYP ='C', REPRISEPNT='0000000000'
//   WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'
std::string ResetRecoveryPointSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp,
                                  std::string_view fic);

// Reads one distributed table with its model table (the 278-character record):
//   SELECT QV_FC.ENVID, QV_FC.TGTID, QV_FC.GRPID, QV_FC.FICID, QV_FC.OCCUR, QV_FX.SRCTBL, ...
// Inner: FROM <p>QV_FC INNER JOIN <p>QV_FX ON (QV_FC.ENVID=QV_FX.ENVID) AND
//   (QV_FC.GRPID=QV_FX.GRPID) AND (QV_FC.FICID=QV_FX.FICID)  WHERE ( QV_FC.ENVID ='E1' AND
//   QV_FC.TGTID ='T1 ' AND QV_FC.GRPID ='M1 ' AND QV_FC.FICID ='0000000001')
// Oracle: FROM <p>QV_FC, <p>QV_FX WHERE QV_FC.ENVID (+)=QV_FX.ENVID AND
//   QV_FC.GRPID (+)=QV_FX.GRPID AND QV_FC.FICID (+)=QV_FX.FICID  AND ( QV_FC.ENVID ='E1' AND ...)
std::string SelectDistributedTableWithModelTableSql(JoinDialect dialect, std::string_view prefix,
                                                    std::string_view env, std::string_view tgt,
                                                    std::string_view grp, std::string_view fic);

// Lists the tables of one distribution with their model tables (the records
// of QV_FC_FX), in table order: the select list and joins above, the
// conditions on ENVID, TGTID and GRPID, then " ORDER BY QV_FC.FICID".
std::string ListTablesOfDistributionWithModelSql(JoinDialect dialect, std::string_view prefix,
                                                 std::string_view env, std::string_view tgt,
                                                 std::string_view grp);

}  // namespace qv
