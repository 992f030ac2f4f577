// Program texts: parsing into editor records, the checker's diagnostics, and
// rendering stored lines back into texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "store/records.h"
#include "support/topology.h"

namespace qv {

// Shows program texts in failure messages.
void PrintTo(const ProgramTexts& t, std::ostream* out) { *out << "{" << t.declarations << " | " << t.instructions << "}"; }

namespace {

const std::string kDeclsAs =
    "/* work fields\r\n"
    "DCL W.TOTAL PACKED 9,2 DESC 'Total of l''order' \r\n"
    "DCL W.TEXT CHAR 20 \r\n"
    "  DCL W.PART CHAR 5 BASED W.TEXT POS 3 \r\n"
    "DCL W.COUNT BIN 4 \r\n"
    "DCL W.RATE FLOAT 8 \r\n"
    "DCL W.Z ZONED 5,0 \r\n"
    "DCL O.CUSTNO PACKED 7,0 DESC 'Customer' DATEFMT YYYYMMDD NULL Yes KEYORDER 1\r\n"
    "DCL O.NAME CHAR 30 \r\n"
    "FILE CUST                            LIKE DEMOLIB/CUST\r\n"
    "\r\n"
    "DCL V.POS ZONED 3,0 ";

const std::string kInstsAs =
    "/* every statement\r\n"
    "START: \r\n"
    "    MOVE I.NAME TO O.NAME \r\n"
    "    MOVER 'A''B' TO W.TEXT \r\n"
    "    MOVEA X'4F' TO W.PART COMPLETEDBY ' ' \r\n"
    "    COMPL I.NAME WITH 'X' BRANCHIF NE TO NEXT \r\n"
    "    SCAN W.TEXT(1:10) WITH 'AB' POS V.POS IFFOUND NEXT \r\n"
    "    SCAN W.TEXT WITH 'AB' POS V.POS IFNOTFOUND *skip \r\n"
    "    Z-ADD I.CUSTNO TO O.CUSTNO \r\n"
    "    ADD W.TOTAL WITH 1 TO W.TOTAL \r\n"
    "    SUB W.Z FROM I.CUSTNO TO W.TOTAL \r\n"
    "    MULT W.TOTAL WITH 1.5 TO W.TOTAL \r\n"
    "    DIV W.TOTAL WITH W.COUNT TO W.RATE \r\n"
    "    REMAINDEROF W.TOTAL WITH 7 TO W.Z \r\n"
    "    COMPN W.TOTAL WITH 0 BRANCHIF GE TO START \r\n"
    "NEXT: \r\n"
    "    CALL PGMA \r\n"
    "    CALLX LIB/PGMB W.TEXT S.ERROR \r\n"
    "    TRACE S.ERROR \r\n"
    "    READfirst 'DEMOLIB/CUST' ON CUST \r\n"
    "    READlast I.NAME ON CUST \r\n"
    "    READnext 'F' ON CUST \r\n"
    "    READprevious 'F' ON CUST \r\n"
    "    READkey 'F' ON CUST WITHKEY NEXTUNQ TO F.CUST.CUSTNO\r\n"
    "    GOTO *SELECT ";

Record Zx(const std::string& name, const std::string& type, const std::string& len, const std::string& deci,
          const std::string& desc = "", const std::string& mask = " ", const std::string& null = "0",
          const std::string& key = "00000") {
  return test::Make(layout::QV_ZX, {{"FIELDINPUT", name}, {"DESCRIP", desc}, {"FIELDTYPE", type}, {"MASKDATE", mask},
                                    {"LEN", len}, {"DECI", deci}, {"POS_IN", "00001"}, {"ALLOWNULL", null},
                                    {"KEYORDER", key}});
}

std::vector<Record> Table() {
  return {Zx("CUSTNO", "P", "00007", "00000", "Customer", "0", "1", "00001"), Zx("NAME", "C", "00030", "00000")};
}

ProgramFields Known() {
  ProgramFields f;
  f.table = BufferFieldsFromZX(Table());
  return f;
}

// The table's fields and those of the file DEMOLIB/CUST.
ProgramFields KnownWithFile() {
  ProgramFields f = Known();
  f.files["DEMOLIB/CUST"] = {{"CUSTNO", "P", 7, 0, 1}};
  return f;
}

std::string Errors(const ParsedProgram& p) {
  std::string out;
  for (const ProgramDiagnostic& d : p.diagnostics)
    out += std::to_string(d.line) + ":" + std::to_string(d.column) + " " + std::to_string(d.id) + " " + d.text + "\n";
  return out;
}

TEST(ProgramText, AProgramOfEveryStatementReadsBackToTheSameRecordsOnBothKinds) {
  const std::string ntDecls =
      "DCL W.TOTAL NUMERIC 9,2 DESC 'Total' \r\nDCL W.TEXT CHAR 20 \r\nDCL V.POS NUMERIC 3,0 \r\nDCL O.NAME CHAR 30 ";
  const std::string ntInsts =
      "L1: \r\n MOVE I.NAME TO O.NAME \r\n SCAN W.TEXT WITH 'A' POS V.POS IFFOUND L1 \r\n"
      " SUB 1 FROM W.TOTAL TO W.TOTAL \r\n CALLX QV.Plug W.TEXT \r\n GOTO *ERROR ";
  struct Case {
    bool as400;
    std::string decls, insts;
  } cases[] = {{true, kDeclsAs, kInstsAs}, {false, ntDecls, ntInsts}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.as400 ? "AS400" : "NT");
    const ParsedProgram first = ParseProgram(c.decls, c.insts, c.as400, KnownWithFile());
    ASSERT_EQ(Errors(first), "");
    const std::vector<ProgramLine> lines = LinesFromRecords(first.declarations, first.instructions);
    const ProgramTexts texts = RenderProgram(lines, c.as400, Table());
    const ParsedProgram again = ParseProgram(texts.declarations, texts.instructions, c.as400, KnownWithFile());
    EXPECT_EQ(Errors(again), "");
    EXPECT_EQ(again.declarations, first.declarations);
    EXPECT_EQ(again.instructions, first.instructions);
    std::string d, i;
    RecordsFromLines(lines, d, i);
    EXPECT_EQ(d, first.declarations);
    EXPECT_EQ(i, first.instructions);
  }
}

TEST(ProgramText, StatementsAreStoredWithTheirOperandsInPlace) {
  const ParsedProgram p = ParseProgram(kDeclsAs, kInstsAs, true, KnownWithFile());
  ASSERT_EQ(Errors(p), "");
  const std::vector<ProgramLine> lines = LinesFromRecords(p.declarations, p.instructions);
  ASSERT_EQ(lines.size(), 12u + 25u);
  EXPECT_EQ(lines[0].type, 'e');
  EXPECT_EQ(lines[10].type, 'e');  // the blank line
  EXPECT_EQ(DecodeDecl(lines[1].content), (StoredDecl{"W.TOTAL", 'P', 9, 2, "", 0, "Total of l'order", ' ', '0', 0}));
  EXPECT_EQ(DecodeDecl(lines[3].content), (StoredDecl{"W.PART", 'C', 5, 0, "W.TEXT", 3, "", ' ', '0', 0}));
  EXPECT_EQ(lines[3].indent, 2);
  EXPECT_EQ(DecodeDecl(lines[9].content), (StoredDecl{"CUST", '$', 0, 0, "DEMOLIB/CUST", 0, "", ' ', '0', 0}));
  const Operand ab{'C', "'AB'"}, pos{'F', "V.POS"};
  const std::pair<std::size_t, StoredInst> stored[] = {
      {4, {"04", {{'X', "X'4F'"}, {'C', "' '"}, {'F', "W.PART"}}, "", ""}},
      {6, {"06", {{'F', "W.TEXT(1:10)"}, ab, pos}, "NE", "NEXT"}},  // IFFOUND
      {7, {"06", {{'F', "W.TEXT"}, ab, pos}, "EQ", "*skip"}},
      {10, {"09", {{'F', "I.CUSTNO"}, {'F', "W.Z"}, {'F', "W.TOTAL"}}, "", ""}},  // the minuend first
      {17, {"10", {{'F', "W.TEXT"}, {'F', "S.ERROR"}, {}}, "", "LIB/PGMB"}},
      {23, {"R4", {{'C', "'F'"}, {' ', "CUST"}, {'F', "F.CUST.CUSTNO"}}, "NU", "7"}},  // the key field's length
  };
  for (const auto& [n, inst] : stored) EXPECT_EQ(DecodeInst(lines[12 + n].content), inst) << "statement " << n;
}

TEST(ProgramText, StoredLinesRenderAsTheLanguageWritesThem) {
  const Operand A{'F', "I.A"}, B{'F', "W.B"}, R{'F', "W.R"}, none{};
  const std::vector<ProgramLine> lines = {
      {'i', 2, EncodeInst({"09", {A, B, R}, "", ""})},
      {'i', 0, EncodeInst({"03", {A, none, R}, "", ""})},
      {'i', 0, EncodeInst({"06", {A, B, R}, "EQ", "T1"})},
      {'i', 0, EncodeInst({"R4", {{'C', "'F'"}, {' ', "AL"}, {'F', "F.AL.K"}}, "NU", "5"})},
      {'i', 4, EncodeInst({"ZZ", {A, B, R}, "", ""})},
      {'j', 3, "/* note  "},
      {'d', 0, EncodeDecl({"W.X", 'Z', 5, 2, "", 0, "", ' ', '0', 0})},
      {'d', 1, EncodeDecl({"O.CUSTNO", 'P', 7, 0, "", 0, "old", ' ', '0', 0})},
  };
  const ProgramTexts as = RenderProgram(lines, true, Table());
  EXPECT_EQ(as.instructions,
            "  SUB W.B FROM I.A TO W.R \r\nMOVER I.A TO W.R \r\nSCAN I.A WITH W.B POS W.R IFNOTFOUND T1 \r\n"
            "READkey 'F' ON AL WITHKEY NEXTUNQ TO F.AL.K\r\n    \r\n   /* note");
  EXPECT_EQ(as.declarations,
            "DCL W.X ZONED 5,2 \r\n DCL O.CUSTNO PACKED 7,0 DESC 'Customer' DATEFMT YYYYMMDD NULL Yes KEYORDER 1");
  const ProgramTexts nt = RenderProgram(lines, false, {});
  EXPECT_EQ(nt.instructions.substr(0, 46), "  SUB W.B FROM I.A TO W.R \r\nMOVE I.A TO W.R \r\n");
  EXPECT_EQ(nt.declarations, "DCL W.X NUMERIC 5,2 \r\n DCL O.CUSTNO NUMERIC 7,0 DESC 'old' ");
}

TEST(ProgramText, TheDefaultProgramDeclaresAndFillsEveryOutputField) {
  const std::vector<Record> table = {Zx("CUSTNO", "P", "00007", "00000", "It's", " ", "0", "00001"),
                                     Zx("D", "XN", "00009", "00002")};
  EXPECT_EQ(DefaultProgram(table, true),
            (ProgramTexts{"/* Output buffer (O.) declaration\r\n"
                          "    DCL O.CUSTNO PACKED 7,0 DESC 'It''s' KEYORDER 1\r\n"
                          "    DCL O.D CHAR 9 ",
                          "/* Output buffer (O.) alimentation with input buffer (I.)\r\n"
                          "    Z-ADD I.CUSTNO TO O.CUSTNO\r\n"
                          "    MOVE I.D TO O.D"}));
  const ProgramTexts nt = DefaultProgram(table, false);
  EXPECT_EQ(nt.declarations.substr(nt.declarations.rfind('\n') + 1), "    DCL O.D NUMERIC 9,2 ");
  EXPECT_EQ(nt.instructions.substr(nt.instructions.rfind('\n') + 1), "    Z-ADD I.D TO O.D");
}

struct Diag {
  const char* decls;
  const char* insts;
  bool as400;
  int id, line, column;
};

TEST(ProgramChecker, ReportsEachFaultWithItsLineAndColumn) {
  const std::string op46 = "'" + std::string(44, 'A') + "'";
  const std::string tag31(31, 'T');
  const Diag cases[] = {
      {"DCX W.A CHAR 1", "", true, 1294, 1, 1},
      {"DCL", "", true, 1293, 1, 4},
      {"DCL WA CHAR 1", "", true, 1296, 1, 5},
      {"DCL Q.A CHAR 1", "", true, 1295, 1, 5},
      {"DCL W.A-B CHAR 1", "", true, 1297, 1, 5},
      {"DCL W.A TEXT 1", "", true, 1298, 1, 9},
      {"DCL W.A PACKED 1", "", false, 1349, 1, 9},
      {"DCL W.A CHAR 0", "", true, 1299, 1, 14},
      {"DCL W.A BIN 3", "", true, 1300, 1, 13},
      {"DCL W.A", "", true, 1301, 1, 8},
      {"DCL W.A FLOAT 6", "", true, 1350, 1, 15},
      {"DCL W.A CHAR 4\r\nDCL W.B CHAR 3 BASED W.A POS 3", "", true, 1310, 2, 30},
      {"DCL W.B CHAR 3 BASED W.A POS 1", "", true, 1311, 1, 22},
      {"DCL W.A CHAR 1 DESC 'open", "", true, 1313, 1, 21},
      {"DCL W.A CHAR 8 DATEFMT YYMMXX", "", true, 1351, 1, 24},
      {"DCL W.A CHAR 1 NULL Maybe", "", true, 1352, 1, 21},
      {"DCL W.A CHAR 1\r\nDCL W.A CHAR 2", "", true, 1396, 2, 5},
      {"FILE", "", true, 1363, 1, 5},
      {"FILE A LIKE LIBFILE", "", true, 1365, 1, 13},
      {"FILE A LIKE L/F\r\nFILE A LIKE L/G", "", true, 1364, 2, 6},
      {"FILE A LIKE L/F\r\nFILE B LIKE L/F", "", true, 1370, 2, 13},
      {"", "GOTO", true, 1302, 1, 5},
      {"", "GOTO NOWHERE", true, 1292, 1, 6},
      {"", "L: \r\nL: ", true, 1308, 2, 1},
      {"", "FETCH I.A", true, 1309, 1, 1},
      {"", "MOVE I.NAME", true, 1304, 1, 12},
      {"", "MOVE I.NAME TO O.NAME EXTRA", true, 1303, 1, 23},
      {"", "MOVE I.NAME INTO O.NAME", true, 1312, 1, 13},
      {"", "COMPL I.NAME WITH 'A' BRANCHIF XX TO *SKIP", true, 1305, 1, 32},
      {"", "Z-ADD I.NAME TO O.CUSTNO", true, 1306, 1, 7},
      {"", "SCAN I.CUSTNO WITH 'A' POS O.CUSTNO IFFOUND *SKIP", true, 1376, 1, 6},
      {"", "CALL", true, 1307, 1, 5},
      {"", "CALLX", false, 1361, 1, 6},
      {"", "CALLX DLL.Class", false, 1393, 1, 16},
      {"", "MOVE I.NOPE TO O.NAME", true, 1311, 1, 6},
      {"", "MOVE '' TO O.NAME", true, 1315, 1, 6},
      {"", "MOVE X'4G' TO O.NAME", true, 1316, 1, 6},
      {"", "MOVE I.NAME TO 'A'", true, 1312, 1, 16},
      {"", "MOVE I.CUSTNO(1:2) TO O.NAME", true, 1354, 1, 6},
      {"", "MOVE I.NAME(1-2) TO O.NAME", true, 1355, 1, 12},
      {"", "MOVE I.NAME(31:1) TO O.NAME", true, 1356, 1, 6},
      {"", "MOVE I.NAME(30:2) TO O.NAME", true, 1357, 1, 6},
      {"", "READfirst 'F' ON NOALIAS", true, 1377, 1, 18},
      {"FILE A LIKE L/F", "READkey 'F' ON A WITHKEY SOME TO I.NAME", true, 1391, 1, 26},
      {"FILE A LIKE L/F", "READkey 'F' ON A WITHKEY EQ TO 'K'", true, 1390, 1, 32},
      {"", "S.NOSUCH: \r\nTRACE S.NOSUCH", true, 1312, 1, 1},
  };
  for (const Diag& c : cases) {
    SCOPED_TRACE(std::string(c.decls) + " | " + c.insts);
    const ParsedProgram p = ParseProgram(c.decls, c.insts, c.as400, Known());
    const auto error = std::find_if(p.diagnostics.begin(), p.diagnostics.end(),
                                    [](const ProgramDiagnostic& d) { return !d.warning; });
    ASSERT_NE(error, p.diagnostics.end());
    const ProgramDiagnostic& d = *error;
    EXPECT_EQ(d.id, c.id) << d.text;
    EXPECT_EQ(d.line, c.line);
    EXPECT_EQ(d.column, c.column);
    EXPECT_TRUE(p.HasErrors());
  }
  // Limits of operands and tags, and lines too long to store.
  EXPECT_EQ(ParseProgram("", "MOVE " + op46 + " TO O.NAME", true, Known()).diagnostics.at(0).text,
            "Lenght (46) greather than the autorized 45 char");
  EXPECT_EQ(ParseProgram("", tag31 + ": ", true, Known()).diagnostics.at(0).id, 1394);
  const ParsedProgram longLine = ParseProgram("/* " + std::string(200, 'x'), "", true, Known());
  EXPECT_EQ(Errors(longLine), "1:176 1291 The line is too long and being truncated\n");
  EXPECT_FALSE(longLine.HasErrors());
  EXPECT_EQ(longLine.declarations.size(), kDeclRecordWidth);
}

TEST(ProgramChecker, CountsTagsAndWarnsOfUnusedWorkFields) {
  std::string many;
  for (int i = 0; i <= 1000; ++i) many += "T" + std::to_string(i) + ": \r\n";
  EXPECT_EQ(Errors(ParseProgram("", many, true, Known())), "1001:1 1395 More than 1000 tags in the program\n");
  const ParsedProgram unused = ParseProgram("DCL W.USED CHAR 1\r\nDCL V.IDLE CHAR 1", "MOVE 'A' TO W.USED", true);
  EXPECT_EQ(Errors(unused), "2:5 1353 WARNING: Field V.IDLE not used\n");
  EXPECT_FALSE(unused.HasErrors());
}

TEST(ProgramLines, RecordsThatAreNotWholeAreRefused) {
  EXPECT_THROW(LinesFromRecords(std::string(179, ' '), ""), std::invalid_argument);
  EXPECT_THROW(LinesFromRecords("", " 0x1" + std::string(172, ' ')), std::invalid_argument);
  EXPECT_TRUE(LinesFromRecords("", "").empty());
}

}  // namespace
}  // namespace qv
