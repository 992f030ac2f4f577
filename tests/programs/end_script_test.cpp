// End scripts: the rich text of stored lines and the requests of a script,
// the exact commands and statements sent (recording fake), and what a store
// holds after a script is replaced (embedded source, every kind).
#include <gtest/gtest.h>

#include "programs/end_script_text.h"
#include "programs/program_statements.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

std::string Script(int lines) {
  std::string s;
  for (int i = 1; i <= lines; ++i) s += "CMD" + std::to_string(i) + "\r\n";
  return s;
}

constexpr const char* kHead =
    "{\\rtf1\\ansi\\deff0\\deftab4{\\fonttbl{\\f0\\fmodern Courier New;}{\\f1\\froman\\fcharset2 Symbol;}}"
    "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red0\\green0\\blue255;"
    "\\red255\\green128\\blue0;}\\pard";

TEST(EndScriptText, ColoursEachKindOfLine) {
  const std::string p = "\\plain\\f0\\fs17\\cf";
  const struct {
    std::string line, rtf;
  } cases[] = {
      {"", p + "0  \\par"},
      {"  /* note  ", p + "2   /* note \\par"},
      {"REM a comment", p + "2 /*" + p + "2  a comment \\par"},
      {"rem", p + "2 /* \\par"},
      {"  CALL PGM(X) PARM", p + "3   CALL" + p + "0  PGM(X) PARM \\par"},
      {"ENDJOB", p + "3 ENDJOB \\par"},
  };
  for (const auto& c : cases) EXPECT_EQ(RenderEndScript({c.line}), kHead + c.rtf + "}") << c.line;
  EXPECT_EQ(RenderEndScript({}), std::string(kHead) + "}");
}

TEST(EndScriptText, CutsTheScriptIntoLinesAndChunksOfFifteen) {
  EXPECT_TRUE(EndScriptLines("").empty());
  EXPECT_EQ(EndScriptLines("A\r\nB"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(EndScriptLines("A\r\n\r\n"), (std::vector<std::string>{"A", ""}));

  // An empty script sends its head, flagged "1", and the end: no lines.
  EXPECT_EQ(EndScriptRequests("E1", "T1", "M1", "T", {}), (std::vector<std::string>{"040960E1T1 M1 T1", "040963"}));
  const std::vector<std::string> r = EndScriptRequests("E1", "T1", "M1", "T", {std::string(300, 'L'), "B"});
  EXPECT_EQ(r[1], "04096102" + std::string(255, 'L') + "B" + std::string(254, ' '));
}

TEST(EndScriptText, NtStatementsCutTheLineBeforeDoublingItsQuotes) {
  // Cut to 255 before the quotes are doubled: the cut quote stays whole.
  const std::string cut = InsertEndScriptLineSql("", "E1", "T1", "M1", 2, std::string(254, 'a') + "'x");
  EXPECT_EQ(cut.substr(cut.size() - 12), "aaaa''',' ')");
}

TEST(EndScriptCommands, AnAs400ScriptGoesInChunksOfFifteenLines) {
  OpenedFake o("AS400");
  ASSERT_TRUE(o.control().Write_ENQV("E1", "T1", "M1", "S", Script(31))) << o.control().ErrorText();
  Lines sent;
  for (const FakeCommand& c : o.fake().Commands()) {
    EXPECT_EQ(c.code, "SYSWRTENQV");
    EXPECT_EQ(c.ctl, "0000004096");
    sent.push_back(c.data.substr(0, 8));
  }
  EXPECT_EQ(sent, (Lines{"040960E1", "04096115", "04096115", "04096101", "040963  "}));
  EXPECT_EQ(o.fake().Commands()[0].Request(), "040960E1T1 M1 S0");
  EXPECT_EQ(o.fake().Commands()[3].data.substr(8, 260), "CMD31" + std::string(255, ' '));
  EXPECT_FALSE(o.Writes());
}

TEST(EndScriptCommands, AFailedCommandStopsTheSending) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSWRTENQV").Reply("").Fail(DllParam::kCodeRefused, 9, "no room");
  EXPECT_FALSE(o.control().Write_ENQV("E1", "T1", "M1", "S", Script(20)));
  EXPECT_EQ(o.fake().Commands().size(), 2u);
  EXPECT_EQ(o.control().ErrorStep(), "Write_ENQV");
}

TEST(EndScriptCommands, AnNtScriptReplacesEveryPlaceWithRowsOfPlaceT) {
  OpenedFake o("SQL Server");
  ASSERT_TRUE(o.control().Write_ENQV("E1", "T1", "M1", "S", "ECHO 'a'\r\n\r\nEND"));
  EXPECT_EQ(o.fake().Statements(),
            (Lines{"DELETE FROM QV_USRDATA..QV_END WHERE ENVID='E1' AND TGTID='T1 ' AND GRPID='M1 '",
                   "INSERT INTO QV_USRDATA..QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME) "
                   "VALUES('E1','T1 ','M1 ','T','00001','ECHO ''a''',' ')",
                   "INSERT INTO QV_USRDATA..QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME) "
                   "VALUES('E1','T1 ','M1 ','T','00002','',' ')",
                   "INSERT INTO QV_USRDATA..QV_END (ENVID, TGTID, GRPID, LIEU, LINE, INST, QV_DATETIME) "
                   "VALUES('E1','T1 ','M1 ','T','00003','END',' ')"}));
}

class EndScriptStore : public StoreTest {};

// Sixty lines, the first three with blanks, quotes and a width past the line's.
TEST_P(EndScriptStore, AScriptWrittenReadsBackAsRichTextInItsOrder) {
  embedded::StoreAdmin admin = Admin();
  WriteTopology(admin, "E1");
  const std::string wide(300, 'W');
  ASSERT_TRUE(control().Write_ENQV("E1", "T1", "M1", "T", "  CALL PGM(X) PARM('a')\r\nREM done\r\n" + wide + "\r\n" + Script(57)))
      << control().ErrorText();
  std::string rtf;
  ASSERT_TRUE(control().Read_QVEND("E1", "T1", "M1", "T", rtf)) << control().ErrorText();
  Lines expected{"  CALL PGM(X) PARM('a')", "REM done", wide.substr(0, 255)};
  for (int i = 1; i <= 57; ++i) expected.push_back("CMD" + std::to_string(i));
  EXPECT_EQ(rtf, RenderEndScript(expected));
  // NT sources replace every place of the distribution; the AS/400 server the place sent.
  ASSERT_TRUE(control().Read_QVEND("E1", "T1", "M1", "S", rtf));
  EXPECT_EQ(rtf, RenderEndScript(AS400() ? Lines{"CALL END"} : Lines{}));
  ASSERT_TRUE(control().Read_QVEND("E1", "T2", "M1", "T", rtf));
  EXPECT_EQ(rtf, RenderEndScript({"CALL END"}));

  ASSERT_TRUE(control().Write_ENQV("E1", "T1", "M1", "T", ""));
  ASSERT_TRUE(control().Read_QVEND("E1", "T1", "M1", "T", rtf));
  EXPECT_EQ(rtf, RenderEndScript({}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EndScriptStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
