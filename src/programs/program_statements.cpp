// Implements the SQL text of program and end-script lines.
#include "programs/program_statements.h"

#include "connection/remote_commands.h"
#include "store/sqltext.h"

namespace qv {

std::string ReadProgramLinesSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                std::string_view fic, std::string_view place) {
  return SqlHead("SELECT * FROM ", prefix, "QV_TX WHERE ENVID ='") + SqlEnvId(env) + "' AND FICID='" +
         SqlFicId(fic) + "' AND GRPID='" + SqlGrpId(grp) + "' AND LIEU='" + SqlCode(place, 1) + "' ORDER BY LINE";
}

std::string ReplaceProgramDeleteSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                    std::string_view fic) {
  return SqlHead("DELETE FROM ", prefix, "QV_TX WHERE ENVID='") + SqlEnvId(env) + "' AND GRPID='" +
         SqlGrpId(grp) + "' AND FICID='" + SqlFicId(fic) + "'";
}

std::string InsertProgramLineSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                 std::string_view fic, long long line, char type, int indent,
                                 std::string_view content) {
  return SqlHead("INSERT INTO ", prefix, "QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST) VALUES('") +
         SqlEnvId(env) + "', '" + SqlGrpId(grp) + "','" + SqlFicId(fic) + "',' ','" + Digits(line, 5) + "','" +
         SqlCode(std::string(1, type), 1) + "','" + Digits(indent, 3) + "','" + SqlField(content, 175) + "')";
}

std::string InsertCompiledLineSql(std::string_view env, std::string_view grp, std::string_view fic,
                                  long long line, std::string_view compiled) {
  return "INSERT INTO QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST) VALUES('" + SqlEnvId(env) +
         "', '" + SqlGrpId(grp) + "','" + SqlFicId(fic) + "','I','" + Digits(line, 5) + "','p','000','" +
         SqlField(compiled, 175) + "')";
}

std::string ReadEndScriptSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view place) {
  return SqlHead("SELECT * FROM ", prefix, "QV_END WHERE ENVID ='") + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID ='" + SqlGrpId(grp) + "' AND LIEU ='" + SqlCode(place, 1) + "'";
}

std::string ReplaceEndScriptDeleteSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                                      std::string_view grp) {
  return SqlHead("DELETE FROM ", prefix, "QV_END WHERE ENVID='") + SqlEnvId(env) + "' AND TGTID='" +
         SqlTgtId(tgt) + "' AND GRPID='" + SqlGrpId(grp) + "'";
}

std::string InsertEndScriptLineSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                                   std::string_view grp, long long line, std::string_view text) {
  return SqlHead("INSERT INTO ", prefix, "QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME) VALUES('") +
         SqlEnvId(env) + "','" + SqlTgtId(tgt) + "','" + SqlGrpId(grp) + "','T','" + Digits(line, 5) + "','" +
         SqlField(text, 255) + "',' ')";
}

}  // namespace qv
