// The generated forms of a program: the MI source of AS/400 sources and the
// compiled lines of NT sources, statement by statement, and the requests
// that carry lines and MI blocks.
#include <gtest/gtest.h>

#include "catalogs/field_types.h"
#include "programs/mi_program.h"
#include "programs/nt_program.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"

namespace qv {
namespace {

// Lays pieces out as the generator appends them.
std::string Blocks(const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& p : pieces) WriteFormatedBufMI(out, p);
  return out;
}

const char* const kDecls =
    "DCL W.B CHAR 10 \r\nDCL W.N PACKED 7,2 \r\nDCL W.R PACKED 7,2 \r\nDCL V.P ZONED 3,0 \r\n"
    "FILE CUST LIKE DEMOLIB/CUST";

std::vector<ProgramLine> Program(const std::string& insts, bool as400 = true, const char* decls = kDecls) {
  const ParsedProgram p = ParseProgram(decls, insts, as400);
  for (const ProgramDiagnostic& d : p.diagnostics)
    if (!d.warning) ADD_FAILURE() << insts << ": " << d.line << ":" << d.column << " " << d.text;
  return LinesFromRecords(p.declarations, p.instructions);
}

TEST(MiSource, EachStatementBecomesItsTemplate) {
  const std::string F = "F@@@@@@@@@@.";
  const struct {
    std::string statement, mi;
  } cases[] = {
      {"GOTO *skip", "B *SKIP;"},
      {"Lbl: \r\nGOTO Lbl", F + "Lbl: ; B " + F + "LBL;"},
      {"MOVE I.A TO W.B", "CPYBLAP " + F + "W.B ," + F + "I.A,' '; "},
      {"MOVER 'X''Y' TO W.B", "CPYBRA " + F + "W.B ,'X''Y'; "},
      {"MOVEA X'4F' TO W.B COMPLETEDBY ' '", "CPYBLAP " + F + "W.B ,X'4F' ,' '; "},
      {"COMPL S.ERROR WITH 'E' BRANCHIF GE TO *ERROR", "CMPBLA (B) S.ERROR ,'E' /NLO ( *ERROR ); "},
      {"COMPL W.B WITH 'E' BRANCHIF NE TO *SELECT", "CMPBLA (B) " + F + "W.B ,'E' /NEQ ( *SELECT ); "},
      {"SCAN W.B WITH 'A' POS V.P IFNOTFOUND *SKIP", "SCAN (B) " + F + "V.P ," + F + "W.B ,'A' /EQ ( *SKIP ); "},
      {"SCAN W.B WITH 'A' POS V.P IFFOUND *SKIP", "SCAN (B) " + F + "V.P ," + F + "W.B ,'A' /NEQ ( *SKIP ); "},
      {"Z-ADD 5 TO W.N", "CPYNV " + F + "W.N ,5; "},
      {"ADD W.N WITH 1 TO W.R", "ADDN " + F + "W.R ," + F + "W.N ,1; "},
      {"SUB W.N FROM I.A TO W.R", "SUBN " + F + "W.R ," + F + "I.A ," + F + "W.N; "},
      {"MULT W.N WITH 2 TO W.R", "MULT " + F + "W.R ," + F + "W.N ,2; "},
      {"DIV W.N WITH 2 TO W.R", "DIV " + F + "W.R ," + F + "W.N ,2; "},
      {"REMAINDEROF W.N WITH 2 TO W.R", "REM " + F + "W.R ," + F + "W.N ,2; "},
      {"COMPN W.N WITH 0 BRANCHIF LT TO *SKIP", "CMPNV (B) " + F + "W.N ,0 /LO ( *SKIP ); "},
      {"TRACE S.ERROR", "CPYBLA TRACE ,S.ERROR; CALLX SYSTRACE , @PGMTRACE, *;"},
      {"CALL Pgma \r\nCALL PGMA",
       "DCL SYSPTR " + F + "P.Pgma INIT('PGMA      ',TYPE(PGM,1)); CALLX " + F + "P.Pgma ,@CALLPGM, *; CALLX " + F +
           "P.PGMA ,@CALLPGM, *; "},
      {"CALLX LIB/PGMB", "DCL SYSPTR " + F + "PX.LIB@PGMB INIT('LIB/PGMB  ',TYPE(PGM,1)); CALLX " + F +
                             "PX.LIB@PGMB ," + F + "PX.1, *; "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(GenerateMi(Program(c.statement), {{"CUST", 42}}), c.mi);
  }
  EXPECT_EQ(GenerateMi(Program("READfirst 'DEMOLIB/CUST' ON CUST"), {{"CUST", 42}}),
            Blocks({"CPYBLAP SF.FILE ,'DEMOLIB/CUST',' ';", "CPYBLA SF.OP ,'f';", "CPYNV SF.LENBUF ,42;",
                    "CPYBLA SF.ERR ,'0';", "CPYBLAP SF.ERRMSG ,' ' ,' '; ", "CALLX SYSFILE , @SYSFILE, *;",
                    "CPYBLA " + F + "CUST, SF.BUF;", "CPYBLA " + F + "F.CUST.@EOF@, SF.OP;",
                    "CPYBLAP S.ERROR, SF.ERRMSG, ' ';", "CMPBLA (B) SF.ERR ,'1' /EQ ( *ERROR );"}));
  // A keyed read carries its option and key.
  EXPECT_NE(GenerateMi(Program("READkey 'F' ON CUST WITHKEY PREVUNQ TO W.B"), {})
                .find("CPYBLA SF.OP ,'u';CPYNV SF.LENKEY ,10;CPYBLA SF.KEY, F@@@@@@@@@@.W.B;CPYNV SF.LENBUF ,0;"),
            std::string::npos);
}

TEST(MiSource, CallxDeclaresItsPointerAndOperandListOnce) {
  const std::string F = "F@@@@@@@@@@.";
  EXPECT_EQ(GenerateMi(Program("CALLX P1 W.B 'K' \r\nCALLX p1 W.B \r\nCALLX P2 'Z'")),
            Blocks({"CPYBLA PX.P1, " + F + "W.B;", "CPYBLA PX.P2, 'K';",
                    "DCL SYSPTR " + F + "PX.P1 INIT('P1        ',TYPE(PGM,1)); ", "DCL OL " + F + "PX.1( PX.P1@, PX.P2@);",
                    "CALLX " + F + "PX.P1 ," + F + "PX.1, *; ", "CPYBLA " + F + "W.B, PX.P1;",
                    // the same program again: its pointer and operand list are declared
                    "CPYBLA PX.P1, " + F + "W.B;", "CALLX " + F + "PX.p1 ," + F + "PX.1, *; ",
                    "CPYBLA " + F + "W.B, PX.P1;",
                    // a constant parameter is not copied back
                    "CPYBLA PX.P1, 'Z';", "DCL SYSPTR " + F + "PX.P2 INIT('P2        ',TYPE(PGM,1)); ",
                    "DCL OL " + F + "PX.2( PX.P1@);", "CALLX " + F + "PX.P2 ," + F + "PX.2, *; "}));
}

TEST(ProgramRequests, LinesAndBlocksGoInBatchesOfTwentyTwo) {
  std::vector<ProgramLine> lines;
  for (int i = 0; i < 45; ++i) lines.push_back({'i', 4, std::string(172, 'x')});
  const std::vector<std::string> r = ProgramLineRequests("E1", "M1", "1", "I", lines);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[1].substr(0, 8), "04096122");
  EXPECT_EQ(r[1].size(), 8u + 22 * 179);
  EXPECT_EQ(r[1].substr(8, 179), "i004" + std::string(172, 'x') + "   ");
  EXPECT_EQ(r[3], "04096101i004" + std::string(172, 'x') + "   ");
  EXPECT_EQ(r[4], "040963");
  const std::vector<std::string> m = MiRequests("E1", "M1", "1", "I", std::string(175 * 23 - 5, 'm'));
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[1].size(), 8u + 22 * 175);
  EXPECT_EQ(m[2], "04096201" + std::string(170, 'm') + "     ");
  EXPECT_EQ(ProgramDeleteRequest("E1", "M1", "1", "I"), "040960E1M1 1         I1");
  EXPECT_EQ(CompileRequest("E1", "M1", "0000000001"), "040961E1   M1 0000000001");
}

// Buffers of the compile tests: I. from the table, W. and V. declared.
NtBuffers Buffers(const std::vector<ProgramLine>& lines) {
  return ProgramBuffers(lines, {{"A", "C", 5, 0, 1}, {"Q", "XN", 7, 2, 6}});
}

const char* const kNtDecls = "DCL W.B CHAR 10 \r\nDCL W.N NUMERIC 7,2 \r\nDCL V.P NUMERIC 3,0 \r\nDCL W.S CHAR 4 BASED W.B POS 3";

TEST(NtCompiledForm, EveryStatementResolvesItsOperandsAndTargets) {
  const std::vector<ProgramLine> lines = Program(
      "TOP: \r\n"
      "/* comment lines are skipped\r\n"
      "MOVE I.A TO W.B \r\n"
      "MOVE 'O''K' TO W.S \r\n"
      "MOVEA I.A TO W.B COMPLETEDBY '*' \r\n"
      "COMPL W.B WITH 'O''K' BRANCHIF NE TO TOP \r\n"
      "SCAN W.B(2:3) WITH '*' POS V.P IFNOTFOUND END \r\n"
      "Z-ADD I.Q TO W.N \r\n"
      "ADD W.N WITH 1.50 TO W.N \r\n"
      "SUB 1 FROM W.N TO W.N \r\n"
      "MULT W.N WITH W.N TO W.N \r\n"
      "DIV W.N WITH 3 TO W.N \r\n"
      "REMAINDEROF W.N WITH 3 TO W.N \r\n"
      "COMPN W.N WITH 0 BRANCHIF LE TO *ERROR \r\n"
      "CALL Plug.Main \r\n"
      "TRACE S.ERROR \r\n"
      "END: \r\n"
      "GOTO TOP",
      false, kNtDecls);
  const std::vector<std::string> expected = {
      // the constant area: ' ', 'O''K', '*', 1.50, 1, 3, 0, the program name
      "0000001C00001C0000100 ",
      "0000002C00002C0000300O'K",
      "0000003C00005C0000100*",
      "0000004C00006D00004021.50",
      "0000005C00010D0000100" "1",
      "0000006C00011D0000100" "3",
      "0000007C00012D0000100" "0",
      "0000008C00013C00009" "00Plug.Main",
      "1600009",
      "0400010I00001C0000500C00001C0000100W00001C0001000",
      "0400011C00002C0000300C00001C0000100W00003C0000400",
      "0400012I00001C0000500C00005C0000100W00001C0001000",
      "0500013W00001C0001000C00002C0000300*/-00004",
      "0600014W00002C0000300C00005C0000100NV00001N0000300/+00010",
      "0700015I00006N0000702W00011N0000702",
      "0800016W00011N0000702C00006D0000402W00011N0000702",
      "0900017W00011N0000702C00010D0000100W00011N0000702",
      "1000018W00011N0000702W00011N0000702W00011N0000702",
      "1100019W00011N0000702C00011D0000100W00011N0000702",
      "1200020W00011N0000702C00011D0000100W00011N0000702",
      "1300021W00011N0000702C00012D0000100LE 00000",
      "1400022C00013C0000900",
      "1700023S00002C0025600",
      "1600024",
      "0100025/-00016",
      "0100026Y 00000",
  };
  EXPECT_EQ(CompileNtProgram(lines, Buffers(lines)), expected);
}

TEST(NtCompiledForm, RefusesWhatTheEngineCannotRun) {
  auto refused = [](const std::string& insts, const char* decls = kNtDecls) {
    const std::vector<ProgramLine> lines = Program(insts, false, decls);
    try {
      CompileNtProgram(lines, Buffers(lines));
    } catch (const ProgramCompileError& e) {
      return std::string(e.what());
    }
    return std::string("compiled");
  };
  EXPECT_EQ(refused("CALLX Dll.Cls W.B"), "The statement CALLX is unknown");
  EXPECT_EQ(refused("MOVE I.ZZ TO W.B"), "Not defined I.ZZ field");
  EXPECT_EQ(refused("GOTO *SELECT"), "compiled");
}

}  // namespace
}  // namespace qv
