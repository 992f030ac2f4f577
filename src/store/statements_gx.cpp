// SQL text of the model, model table, field and mapping operations.
#include "store/statements_gx.h"

#include <stdexcept>

#include "store/record_layouts.h"
#include "store/sqltext.h"

namespace qv {
namespace {

constexpr std::size_t kEnv = 2, kTgt = 3, kGrp = 3, kFic = 10, kField = 30;

std::string E(std::string_view env) { return SqlCode(env, kEnv); }
std::string T(std::string_view tgt) { return SqlCode(tgt, kTgt); }
std::string G(std::string_view grp) { return SqlCode(grp, kGrp); }
std::string F(std::string_view fic) { return SqlCode(fic, kFic); }
std::string Z(std::string_view field) { return SqlCode(field, kField); }

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

}  // namespace

std::string SqlCode(std::string_view value, std::size_t width) {
  return SqlQuote(FitText(value, width));
}

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
  return Head("SELECT * FROM ", prefix, "QV_GX WHERE ENVID='") + E(env) + "' AND GRPID='" +
         G(grp) + "'";
}

std::string InsertModelSql(std::string_view prefix, const Record& gx) {
  Require(gx, layout::QV_GX);
  return Head("INSERT INTO ", prefix,
              "QV_GX (ENVID, GRPID, DESCRIP, HOLD, GRPTYPE, DSN_NAME, DSN_UID, DSN_PWD,") +
         "FREQUENCY, MANDISTRI, ALLMBRDIST, ACCESMODE, SHAREDOPN, CONTERROR, REPAIR, CTRBEFORE, " +
         "CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, X, Y,FILLER) " + " VALUES(" + NtValueList(gx) + ")";
}

std::string UpdateModelSql(std::string_view prefix, const Record& gx, std::string_view env,
                           std::string_view grp) {
  Require(gx, layout::QV_GX);
  return Head("UPDATE ", prefix, "QV_GX SET ") + SetColumns(gx) + " WHERE ENVID='" + E(env) +
         "' AND GRPID='" + G(grp) + "'";
}

// ---- Model tables ---------------------------------------------------------------

std::string SelectModelTableSql(std::string_view prefix, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  return Head("SELECT * FROM ", prefix, "QV_FX WHERE ENVID='") + E(env) + "' AND GRPID ='" +
         G(grp) + "' AND FICID='" + F(fic) + "'";
}

std::string InsertModelTableSql(std::string_view prefix, const Record& fx) {
  Require(fx, layout::QV_FX);
  return Head("INSERT INTO ", prefix,
              "QV_FX (ENVID, GRPID, FICID, OCCUR, SRCTBL, DESCRIP, NUMSEQ, TYPE, ") +
         "HOLD, TGTLIB, TGTFILE, TGTMBR, LENREC, QV_TRANSFORM, ACCESMODE, SHAREDOPN, CONTERROR, REPAIR," +
         "CTRBEFORE, CLRPFM, RGZPFM, ADDPFM, RMVMBR, DLTF, INSTINSERT, INSTUPDATE, INSTDELETE, CLRBEFORE," +
         "X, Y,LENRECOUT,NBRFIELDIN, FILLER)" + " VALUES(" + NtValueList(fx) + ")";
}

std::string UpdateModelTableSql(std::string_view prefix, const Record& fx, std::string_view env,
                                std::string_view grp, std::string_view fic) {
  Require(fx, layout::QV_FX);
  const std::string set = SetColumns(fx, {{"ENVID", "ENVID='"},
                                          {"GRPID", "', GRPID='"},
                                          {"FICID", "', FICID ='"},
                                          {"NBRFIELDIN", "',NBRFIELDIN='"},
                                          {"FILLER", "', FILLER ='"}});
  return Head("UPDATE ", prefix, "QV_FX SET ") + set + " WHERE ENVID='" + E(env) +
         "' AND GRPID='" + G(grp) + "' AND FICID ='" + F(fic) + "'";
}

std::string HoldModelTableSql(std::string_view prefix, std::string_view flag, std::string_view env,
                              std::string_view grp, std::string_view fic) {
  return Head("UPDATE ", prefix, "QV_FX SET HOLD ='") + SqlCode(flag, 1) + "' WHERE ENVID ='" +
         E(env) + "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) + "'";
}

// ---- Fields ---------------------------------------------------------------------

std::string SelectFieldSql(std::string_view prefix, std::string_view env, std::string_view grp,
                           std::string_view fic, std::string_view field) {
  return Head("SELECT * FROM ", prefix, "QV_ZX WHERE ENVID='") + E(env) + "' AND GRPID ='" +
         G(grp) + "' AND FICID='" + F(fic) + "' AND FIELDINPUT='" + Z(field) + "'";
}

std::string UpdateFieldSql(std::string_view prefix, const Record& zx, std::string_view env,
                           std::string_view grp, std::string_view fic, std::string_view field) {
  Require(zx, layout::QV_ZX);
  return Head("UPDATE ", prefix, "QV_ZX SET ") + SetColumns(zx) + " WHERE ENVID='" + E(env) +
         "' AND GRPID='" + G(grp) + "' AND FICID ='" + F(fic) + "' AND FIELDINPUT ='" + Z(field) +
         "'";
}

// ---- Field mappings ---------------------------------------------------------------

std::string SelectMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field) {
  return Head("SELECT * FROM ", prefix, "QV_ZC WHERE ENVID='") + E(env) + "' AND TGTID='" +
         T(tgt) + "' AND GRPID='" + G(grp) + "' AND FICID='" + F(fic) + "' AND FIELDINPUT='" +
         Z(field) + "'";
}

std::string InsertMappingSql(std::string_view prefix, const Record& zc) {
  Require(zc, layout::QV_ZC);
  return Head("INSERT INTO ", prefix, "QV_ZC (ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT) ") +
         " VALUES(" + NtValueList(zc) + ")";
}

std::string UpdateMappingSql(std::string_view prefix, const Record& zc, std::string_view env,
                             std::string_view tgt, std::string_view grp, std::string_view fic,
                             std::string_view field) {
  Require(zc, layout::QV_ZC);
  const std::string set = SetColumns(zc, {{"ENVID", "ENVID ='"},
                                          {"TGTID", "',TGTID='"},
                                          {"GRPID", "',GRPID='"},
                                          {"FICID", "',FICID ='"},
                                          {"FIELDINPUT", "',FIELDINPUT='"},
                                          {"FIELDOUT", "',FIELDOUT ='"}});
  return Head("UPDATE ", prefix, "QV_ZC SET ") + set + " WHERE ENVID='" + E(env) +
         "' AND TGTID ='" + T(tgt) + "' AND GRPID ='" + G(grp) + "' AND FICID ='" + F(fic) +
         "' AND FIELDINPUT = '" + Z(field) + "'";
}

std::string DeleteMappingSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view fic, std::string_view field) {
  return Head("DELETE FROM ", prefix, "QV_ZC WHERE ENVID='") + E(env) + "' AND TGTID ='" +
         T(tgt) + "' AND GRPID='" + G(grp) + "' AND FICID ='" + F(fic) + "' AND FIELDINPUT='" +
         Z(field) + "'";
}

}  // namespace qv
