// SQL text of the environment and target operations and of the cascading
// deletes on NT sources, plus the node position text. Each statement is
// spelled the way the product sends it, spacing included. Every value is cut
// to its field's width, then has its single quotes doubled (codes are padded
// with blanks to their width first), so a doubled quote is never split.
// prefix qualifies the tables: "QV_USRDATA..", "QV_USRDATA." or "".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/records.h"

namespace qv {

// ---- Node positions ---------------------------------------------------------

// Returns a node coordinate as stored in X or Y: the integer part of value
// (cut toward zero) in exactly 10 characters, zeros on the left:
//   12.7 -> "0000000012", -3.5 -> "-000000003", 0 -> "0000000000".
// A negative value keeps its sign in the first place, so the text reads back
// as the same number. Values beyond what 10 characters hold are clamped to
// 9999999999 and -999999999; a value that is not a number gives zeros.
std::string PositionText(float value);

// ---- Environments (QV_EX) ---------------------------------------------------

// Returns the SRCTYPE an environment added on an NT source receives from the
// source kind: "5" for "ODBC", "1" for "SQL Server", "2" for "Oracle", "" for
// any other kind.
std::string NtSourceTypeCode(std::string_view sourceType);

// SELECT * FROM <p>QV_EX WHERE ENVID='E1'
std::string SelectEnvironmentSql(std::string_view prefix, std::string_view env);

// INSERT INTO <p>QV_EX ( ENVID, ENVTYPE, DESCRIP, HOLD, SRCID, SRCTYPE, TEMPO, RETRY, MAXOPEN,
//   APPCMODE, APPCRMTNAM, APPCDEV, USERID, QV_PASSWORD, X, Y, SECURE, FILLER)  VALUES('E1','A',...)
// Every value is the field at its full width. ex is a QV_EX record.
std::string InsertEnvironmentSql(std::string_view prefix, const Record& ex);

// UPDATE <p>QV_EX SET ENVTYPE ='A', DESCRIP ='...', ..., FILLER ='...' WHERE ENVID ='E1'
// Sets every column after the key from ex; the stored row is found by env.
std::string UpdateEnvironmentSql(std::string_view prefix, const Record& ex, std::string_view env);

// DELETE FROM <p>QV_EX WHERE ENVID ='E1'
std::string DeleteEnvironmentSql(std::string_view prefix, std::string_view env);

// SELECT ENVID,ENVTYPE FROM <p>QV_EX   (one trailing blank)
std::string EnvironmentListSql(std::string_view prefix);

// ---- Targets (QV_CX) --------------------------------------------------------

// SELECT * FROM <p>QV_CX WHERE ENVID='E1' AND TGTID='T1 '
std::string SelectTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt);

// INSERT INTO <p>QV_CX (ENVID, TGTID, DESCRIP, HOLD, TGTTYPE, COMTYPE,  TGTADRESS, ...,
//   X, Y, FILLER) VALUES('E1','T1 ',...)
std::string InsertTargetSql(std::string_view prefix, const Record& cx);

// UPDATE <p>QV_CX SET ENVID ='E1',TGTID ='T2 ',DESCRIP ='...',...,FILLER ='...'
//   WHERE ENVID ='E1' AND TGTID='T1 '
// Sets every column from cx (the key too); the stored row is found by env
// and the target code tgt.
std::string UpdateTargetSql(std::string_view prefix, const Record& cx, std::string_view env,
                            std::string_view tgt);

// DELETE FROM <p>QV_CX WHERE ENVID ='E1' AND TGTID ='T1 '
std::string DeleteTargetSql(std::string_view prefix, std::string_view env, std::string_view tgt);

// UPDATE <p>QV_CX SET HOLD ='1' WHERE ENVID ='E1' AND TGTID='T1 '
std::string HoldTargetSql(std::string_view prefix, std::string_view flag, std::string_view env,
                          std::string_view tgt);

// UPDATE <p>QV_CX SET X='0000000012',Y='-000000003' WHERE ENVID='E1' AND TGTID ='T1 '
std::string TargetPositionSql(std::string_view prefix, std::string_view x, std::string_view y,
                              std::string_view env, std::string_view tgt);

// ---- Cascades: listings of the children ------------------------------------

// SELECT * FROM <p>QV_CX WHERE ENVID ='E1'
std::string ListTargetsOfEnvironmentSql(std::string_view prefix, std::string_view env);
// SELECT * FROM <p>QV_GX WHERE ENVID ='E1'
std::string ListModelsOfEnvironmentSql(std::string_view prefix, std::string_view env);
// SELECT  ENVID,TGTID,GRPID FROM <p>QV_GC WHERE ENVID ='E1' AND TGTID ='T1 '   (two blanks after SELECT)
std::string ListDistributionsOfTargetSql(std::string_view prefix, std::string_view env,
                                         std::string_view tgt);
// SELECT ENVID,TGTID,GRPID FROM <p>QV_GC WHERE ENVID='E1' AND GRPID='M1 '
std::string ListDistributionsOfModelSql(std::string_view prefix, std::string_view env,
                                        std::string_view grp);
// SELECT * FROM <p>QV_FX WHERE ENVID ='E1' AND GRPID ='M1 '
std::string ListTablesOfModelSql(std::string_view prefix, std::string_view env, std::string_view grp);
// SELECT ENVID,TGTID,GRPID,FICID FROM <p>QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 '
std::string ListTablesOfDistributionSql(std::string_view prefix, std::string_view env,
                                        std::string_view tgt, std::string_view grp);
// SELECT ENVID,TGTID,GRPID,FICID FROM <p>QV_FC WHERE ENVID='E1' AND GRPID='M1 ' AND FICID='0000000001'
std::string ListDistributedTablesOfTableSql(std::string_view prefix, std::string_view env,
                                            std::string_view grp, std::string_view fic);

// ---- Deletes of one item (the single deletes, also used by the cascades) ----

// DELETE FROM <p>QV_GX WHERE ENVID='E1' AND GRPID ='M1 '
std::string DeleteModelSql(std::string_view prefix, std::string_view env, std::string_view grp);
// DELETE FROM <p>QV_GC WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 '
std::string DeleteDistributionSql(std::string_view prefix, std::string_view env,
                                  std::string_view tgt, std::string_view grp);
// DELETE FROM <p>QV_FX WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID ='0000000001'
std::string DeleteModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic);
// DELETE FROM <p>QV_FC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='0000000001'
std::string DeleteDistributedTableSql(std::string_view prefix, std::string_view env,
                                      std::string_view tgt, std::string_view grp,
                                      std::string_view fic);

// ---- Cascades: deletes of the leaves ------------------------------------------

// DELETE FROM <p>QV_END WHERE ENVID ='E1' AND TGTID ='T1 ' AND GRPID = 'M1 '   (every place)
std::string DeleteEndScriptSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                               std::string_view grp);
// DELETE FROM <p>QV_TX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'   (every place)
std::string DeleteProgramSql(std::string_view prefix, std::string_view env, std::string_view grp,
                             std::string_view fic);
// DELETE FROM <p>QV_ZX WHERE ENVID ='E1' AND GRPID ='M1 ' AND FICID = '0000000001'
std::string DeleteFieldsSql(std::string_view prefix, std::string_view env, std::string_view grp,
                            std::string_view fic);
// DELETE FROM <p>QV_ZC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID= 'M1 ' AND FICID='0000000001'
std::string DeleteMappingsOfDistributedTableSql(std::string_view prefix, std::string_view env,
                                                std::string_view tgt, std::string_view grp,
                                                std::string_view fic);
// DELETE FROM <p>QV_ZC WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID='0000000001' AND FIELDINPUT='CUSTNO ...'
std::string DeleteMappingsOfFieldSql(std::string_view prefix, std::string_view env,
                                     std::string_view grp, std::string_view fic,
                                     std::string_view field);

}  // namespace qv
