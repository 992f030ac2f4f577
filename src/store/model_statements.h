// SQL text of the model, model table, field and field mapping operations on
// NT sources. Each statement is spelled the way the product sends it, spacing
// included; the statements that set "every column in the same form" take
// their columns from the record layouts. Every value is cut to its field's
// width, then has its single quotes doubled (codes are padded with blanks to
// their width first), so a doubled quote is never split. prefix qualifies
// the tables: "QV_USRDATA..", "QV_USRDATA." or "".
//
// The deletes of one model or model table, and the listing of a model's
// tables, are those of environment_statements.h (the cascades send them too).
// Functions taking a record throw std::invalid_argument for a record of
// another layout.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "store/records.h"
#include "store/sqltext.h"

namespace qv {

// ---- Column lists ---------------------------------------------------------------

// A column whose piece departs from the common form: the text that stands
// between the previous value (its closing quote included) and this value.
struct ColumnSpelling {
  std::string_view column;
  std::string_view piece;
};

// Returns the SET list of an UPDATE: every NT column of rec in record order,
// each piece followed by the quoted value, closed by a quote:
//   ENVID ='E1', GRPID ='M1 ', DESCRIP ='...', ..., FILLER ='   '
// The common piece is column + " ='" for the first column and "', " + column
// + " ='" after it; spellings replace it for the columns they name. Throws
// std::invalid_argument when rec is not a whole table record.
std::string SetColumns(const Record& rec, std::initializer_list<ColumnSpelling> spellings = {});

// ---- Models (QV_GX) -----------------------------------------------------------

// SELECT * FROM <p>QV_GX WHERE ENVID='E1' AND GRPID='M1 '
std::string SelectModelSql(std::string_view prefix, std::string_view env, std::string_view grp);

// INSERT INTO <p>QV_GX (ENVID, GRPID, DESCRIP, HOLD, GRPTYPE, DSN_NAME, DSN_UID, DSN_PWD,FREQUENCY,
//   MANDISTRI, ..., DLTF, X, Y,FILLER)  VALUES('E1','M1 ',...)
// DSN_UID and DSN_PWD take the left and right 10 characters of the DSN area.
std::string InsertModelSql(std::string_view prefix, const Record& gx);

// UPDATE <p>QV_GX SET ENVID ='E1', GRPID ='M1 ', DESCRIP ='...', ..., FILLER ='...'
//   WHERE ENVID='E1' AND GRPID='M1 '
// Sets every column from gx (the key too); the stored row is found by env
// and the model code grp.
std::string UpdateModelSql(std::string_view prefix, const Record& gx, std::string_view env,
                           std::string_view grp);

// ---- Model tables (QV_FX) -----------------------------------------------------

// SELECT * FROM <p>QV_FX WHERE ENVID='E1' AND GRPID ='M1 ' AND FICID='0000000001'
std::string SelectModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic);

// INSERT INTO <p>QV_FX (ENVID, GRPID, FICID, OCCUR, SRCTBL, ..., CLRBEFORE,X, Y,LENRECOUT,NBRFIELDIN,
//   FILLER) VALUES('E1','M1 ','0000000001',...)
std::string InsertModelTableSql(std::string_view prefix, const Record& fx);

// UPDATE <p>QV_FX SET ENVID='E1', GRPID='M1 ', FICID ='0000000001', OCCUR =' ', ...,
//   LENRECOUT ='...',NBRFIELDIN='00012', FILLER ='...'
//   WHERE ENVID='E1' AND GRPID='M1 ' AND FICID ='0000000001'
std::string UpdateModelTableSql(std::string_view prefix, const Record& fx, std::string_view env,
                                std::string_view grp, std::string_view fic);

// UPDATE <p>QV_FX SET HOLD ='1' WHERE ENVID ='E1' AND GRPID='M1 ' AND FICID='0000000001'
std::string HoldModelTableSql(std::string_view prefix, std::string_view flag, std::string_view env,
                              std::string_view grp, std::string_view fic);

// ---- Fields (QV_ZX) -----------------------------------------------------------

// SELECT * FROM <p>QV_ZX WHERE ENVID='E1' AND GRPID ='M1 ' AND FICID='0000000001'
//   AND FIELDINPUT='CUSTNO ...'
std::string SelectFieldSql(std::string_view prefix, std::string_view env, std::string_view grp,
                           std::string_view fic, std::string_view field);

// UPDATE <p>QV_ZX SET ENVID ='E1', GRPID ='M1 ', FICID ='...', FIELDINPUT ='...', ...,
//   ALLOWNULL ='1', KEYORDER ='00000' WHERE ENVID='E1' AND GRPID='M1 ' AND FICID ='...'
//   AND FIELDINPUT ='...'
std::string UpdateFieldSql(std::string_view prefix, const Record& zx, std::string_view env,
                           std::string_view grp, std::string_view fic, std::string_view field);

// SELECT * FROM <p>QV_ZX WHERE ENVID ='E1' AND GRPID='M1 ' AND FICID ='0000000001'
std::string ListFieldsOfTableSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                 std::string_view fic);

// INSERT INTO <p>QV_ZX (ENVID,GRPID,FICID,...,ALLOWNULL,KEYORDER) VALUES('E1','M1 ',...)
std::string InsertFieldSql(std::string_view prefix, const Record& zx);

// The insert of a field imported from an NT table, spaced as the import sends it:
// INSERT INTO <p>QV_ZX (ENVID, GRPID, FICID, FIELDINPUT, DESCRIP, FIELDTYPE, MASKDATE, LEN, DECI,
//   POS_IN, LEN_IN, POS_EXT ,LEN_EXT ,ALLOWNULL, KEYORDER)  VALUES('E1','M1 ',...)
std::string InsertImportedFieldSql(std::string_view prefix, const Record& zx);

// DELETE FROM <p>QV_ZX WHERE ENVID='E1'AND GRPID='M1 ' AND FICID ='...' AND FIELDINPUT ='...'
std::string DeleteFieldSql(std::string_view prefix, std::string_view env, std::string_view grp,
                           std::string_view fic, std::string_view field);

// ---- Field mappings (QV_ZC) ---------------------------------------------------

// SELECT * FROM <p>QV_ZC WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 ' AND FICID='...'
//   AND FIELDINPUT='...'
std::string SelectMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field);

// INSERT INTO <p>QV_ZC (ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT)  VALUES('E1','T1 ',...)
std::string InsertMappingSql(std::string_view prefix, const Record& zc);

// UPDATE <p>QV_ZC SET ENVID ='E1',TGTID='T1 ',GRPID='M1 ',FICID ='...',FIELDINPUT='...',
//   FIELDOUT ='...' WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID ='M1 ' AND FICID ='...'
//   AND FIELDINPUT = '...'
std::string UpdateMappingSql(std::string_view prefix, const Record& zc, std::string_view env,
                             std::string_view tgt, std::string_view grp, std::string_view fic,
                             std::string_view field);

// DELETE FROM <p>QV_ZC WHERE ENVID='E1' AND TGTID ='T1 ' AND GRPID='M1 ' AND FICID ='...'
//   AND FIELDINPUT='...'
std::string DeleteMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field);

}  // namespace qv
