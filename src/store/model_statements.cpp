// SQL text of the model, model table, field and mapping operations.
#include "store/model_statements.h"

#include <stdexcept>

#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {

std::string SetColumns(const Record& rec, std::initializer_list<ColumnSpelling> spellings) {
  const Layout& table = rec.layout();
  if (table.kind != LayoutKind::Table)
    throw std::invalid_argument("'" + std::string(table.name) + "' is not a table");
  std::string out;
  out.reserve(rec.size() + 16 * table.fields.size());
  bool first = true;
  for (std::size_t i = 0; i < table.fields.size(); ++i) {
    const Field& f = table.fields[i];
    if (!f.nt) continue;
    const ColumnSpelling* spelled = nullptr;
    for (const ColumnSpelling& s : spellings)
      if (s.column == f.column) spelled = &s;
    if (spelled != nullptr) {
      out += spelled->piece;
    } else {
      if (!first) out += "', ";
      out += f.column;
      out += " ='";
    }
    out += SqlQuote(rec.Get(i));
    first = false;
  }
  out += '\'';
  return out;
}

// ---- Models -------------------------------------------------------------------

std::string SelectModelSql(std::string_view prefix, std::string_view env, std::string_view grp) {
  return SqlHead("SELECT * FROM ", prefix, "QV_GX WHERE ENVID='") + SqlEnvId(env) +
         "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string InsertModelSql(std::string_view prefix, const Record& gx) {
  RequireRecordOf(gx, layout::QV_GX);
  return SqlHead("INSERT INTO ", prefix,
              "QV_GX (ENVID, GRPID, DESCRIP, HOLD, GRPTYPE, DSN_NAME, DSN_UID, DSN_PWD,") +
         "FREQUENCY, MANDISTRI, ALLMBRDIST, ACCESMODE, SHAREDOPN, CONTERROR, REPAIR, CTRBEFORE, " +
         "CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, X, Y,FILLER) " + " VALUES(" + NtValueList(gx) + ")";
}

std::string UpdateModelSql(std::string_view prefix, const Record& gx, std::string_view env,
                           std::string_view grp) {
  RequireRecordOf(gx, layout::QV_GX);
  return SqlHead("UPDATE ", prefix, "QV_GX SET ") + SetColumns(gx) + " WHERE ENVID='" +
         SqlEnvId(env) + "' AND GRPID='" + SqlGrpId(grp) + "'";
}

// ---- Model tables ---------------------------------------------------------------

std::string SelectModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  return SqlHead("SELECT * FROM ", prefix, "QV_FX WHERE ENVID='") + SqlEnvId(env) +
         "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

std::string InsertModelTableSql(std::string_view prefix, const Record& fx) {
  RequireRecordOf(fx, layout::QV_FX);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_FX (ENVID, GRPID, FICID, OCCUR, SRCTBL, DESCRIP, NUMSEQ, TYPE, ") +
         "HOLD, TGTLIB, TGTFILE, TGTMBR, LENREC, QV_TRANSFORM, ACCESMODE, SHAREDOPN, CONTERROR, REPAIR," +
         "CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, INSTINSERT, INSTUPDATE, INSTDELETE, CLRBEFORE," +
         "X, Y,LENRECOUT,NBRFIELDIN, FILLER)" + " VALUES(" + NtValueList(fx) + ")";
}

std::string UpdateModelTableSql(std::string_view prefix, const Record& fx, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  RequireRecordOf(fx, layout::QV_FX);
  const std::string set = SetColumns(fx, {{"ENVID", "ENVID='"},
                                          {"GRPID", "', GRPID='"},
                                          {"FICID", "', FICID ='"},
                                          {"NBRFIELDIN", "',NBRFIELDIN='"},
                                          {"FILLER", "', FILLER ='"}});
  return SqlHead("UPDATE ", prefix, "QV_FX SET ") + set + " WHERE ENVID='" + SqlEnvId(env) +
         "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) + "'";
}

std::string HoldModelTableSql(std::string_view prefix, std::string_view flag, std::string_view env,
                              std::string_view grp, std::string_view fic) {
  return SqlHead("UPDATE ", prefix, "QV_FX SET HOLD ='") +
         SqlCode(flag, layout::QV_FX["HOLD"].width) + "' WHERE ENVID ='" + SqlEnvId(env) +
         "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

// ---- Fields ---------------------------------------------------------------------

std::string SelectFieldSql(std::string_view prefix, std::string_view env, std::string_view grp,
                           std::string_view fic, std::string_view field) {
  return SqlHead("SELECT * FROM ", prefix, "QV_ZX WHERE ENVID='") + SqlEnvId(env) +
         "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "' AND FIELDINPUT='" +
         SqlFieldId(field) + "'";
}

std::string UpdateFieldSql(std::string_view prefix, const Record& zx, std::string_view env,
                           std::string_view grp, std::string_view fic, std::string_view field) {
  RequireRecordOf(zx, layout::QV_ZX);
  return SqlHead("UPDATE ", prefix, "QV_ZX SET ") + SetColumns(zx) + " WHERE ENVID='" +
         SqlEnvId(env) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) +
         "' AND FIELDINPUT ='" + SqlFieldId(field) + "'";
}

std::string ListFieldsOfTableSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                 std::string_view fic) {
  return SqlHead("SELECT * FROM ", prefix, "QV_ZX WHERE ENVID ='") + SqlEnvId(env) + "' AND GRPID='" +
         SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) + "'";
}

std::string InsertFieldSql(std::string_view prefix, const Record& zx) {
  RequireRecordOf(zx, layout::QV_ZX);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_ZX (ENVID,GRPID,FICID,FIELDINPUT,DESCRIP,FIELDTYPE,MASKDATE,LEN,DECI,POS_IN,"
                 "LEN_IN,POS_EXT,LEN_EXT,ALLOWNULL,KEYORDER) ") +
         "VALUES(" + NtValueList(zx) + ")";
}

std::string InsertImportedFieldSql(std::string_view prefix, const Record& zx) {
  RequireRecordOf(zx, layout::QV_ZX);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_ZX (ENVID, GRPID, FICID, FIELDINPUT, DESCRIP, FIELDTYPE, MASKDATE, LEN, DECI, POS_IN, "
                 "LEN_IN, POS_EXT ,LEN_EXT ,ALLOWNULL, KEYORDER) ") +
         " VALUES(" + NtValueList(zx) + ")";
}

std::string DeleteFieldSql(std::string_view prefix, std::string_view env, std::string_view grp,
                           std::string_view fic, std::string_view field) {
  return SqlHead("DELETE FROM ", prefix, "QV_ZX WHERE ENVID='") + SqlEnvId(env) + "'AND GRPID='" +
         SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) + "' AND FIELDINPUT ='" +
         SqlFieldId(field) + "'";
}

// ---- Field mappings ---------------------------------------------------------------

std::string SelectMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field) {
  return SqlHead("SELECT * FROM ", prefix, "QV_ZC WHERE ENVID='") + SqlEnvId(env) +
         "' AND TGTID='" + SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID='" +
         SqlFicId(fic) + "' AND FIELDINPUT='" + SqlFieldId(field) + "'";
}

std::string InsertMappingSql(std::string_view prefix, const Record& zc) {
  RequireRecordOf(zc, layout::QV_ZC);
  return SqlHead("INSERT INTO ", prefix,
                 "QV_ZC (ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT) ") +
         " VALUES(" + NtValueList(zc) + ")";
}

std::string UpdateMappingSql(std::string_view prefix, const Record& zc, std::string_view env,
                             std::string_view tgt, std::string_view grp, std::string_view fic,
                             std::string_view field) {
  RequireRecordOf(zc, layout::QV_ZC);
  const std::string set = SetColumns(zc, {{"ENVID", "ENVID ='"},
                                          {"TGTID", "',TGTID='"},
                                          {"GRPID", "',GRPID='"},
                                          {"FICID", "',FICID ='"},
                                          {"FIELDINPUT", "',FIELDINPUT='"},
                                          {"FIELDOUT", "',FIELDOUT ='"}});
  return SqlHead("UPDATE ", prefix, "QV_ZC SET ") + set + " WHERE ENVID='" + SqlEnvId(env) +
         "' AND TGTID ='" + SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "' AND FICID ='" +
         SqlFicId(fic) + "' AND FIELDINPUT = '" + SqlFieldId(field) + "'";
}

std::string DeleteMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field) {
  return SqlHead("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + SqlEnvId(env) + "' AND TGTID ='" +
         SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "' AND FICID ='" + SqlFicId(fic) +
         "' AND FIELDINPUT='" + SqlFieldId(field) + "'";
}

}  // namespace qv
