// SQL text of program lines (QV_TX) and end-script lines (QV_END) on NT
// sources, spelled as the operations send them. Every value is cut to its
// field's width, then has its quotes doubled.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// SELECT * FROM <p>QV_TX WHERE ENVID ='E1' AND FICID='0000000001' AND GRPID='M1 ' AND LIEU=' ' ORDER BY LINE
std::string ReadProgramLinesSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                std::string_view fic, std::string_view place);
// DELETE FROM <p>QV_TX WHERE ENVID='E1' AND GRPID='M1 ' AND FICID='0000000001'   (every place)
std::string ReplaceProgramDeleteSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                    std::string_view fic);
// INSERT INTO <p>QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST)
//   VALUES('E1', 'M1 ','0000000001',' ','00001','d','004','...')
std::string InsertProgramLineSql(std::string_view prefix, std::string_view env, std::string_view grp,
                                 std::string_view fic, long long line, char type, int indent,
                                 std::string_view content);
// INSERT INTO QV_TX (...) VALUES('E1', 'M1 ','0000000001','I','00001','p','000','...')   (no prefix)
std::string InsertCompiledLineSql(std::string_view env, std::string_view grp, std::string_view fic,
                                  long long line, std::string_view compiled);

// SELECT * FROM <p>QV_END WHERE ENVID ='E1' AND TGTID='T1 ' AND GRPID ='M1 ' AND LIEU ='T'
std::string ReadEndScriptSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                             std::string_view grp, std::string_view place);
// DELETE FROM <p>QV_END WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 '   (every place)
std::string ReplaceEndScriptDeleteSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                                      std::string_view grp);
// INSERT INTO <p>QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME)
//   VALUES('E1','T1 ','M1 ','T','00001','CALL PGM(X)',' ')
std::string InsertEndScriptLineSql(std::string_view prefix, std::string_view env, std::string_view tgt,
                                   std::string_view grp, long long line, std::string_view text);

}  // namespace qv
