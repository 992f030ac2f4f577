// Programs on a source: the exact statements and commands sent (recording
// fake), and what a store holds and gives back (embedded source, every kind).
#include <gtest/gtest.h>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "platform/controls.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

TEST(ProgramCommands, ReadsTheLinesOfOnePlaceInLineOrder) {
  OpenedFake nt("SQL Server");
  platform::ListView fields;
  std::string d, i;
  ASSERT_TRUE(nt.control().ReadPgmTrs("M1", "1", " ", d, i, fields));
  EXPECT_EQ(nt.fake().Statements(),
            (Lines{"SELECT * FROM QV_USRDATA..QV_TX WHERE ENVID ='E1' AND FICID='1         ' AND GRPID='M1 ' AND "
                   "LIEU=' ' ORDER BY LINE"}));
}

const char* const kDecls = "/* output\r\nDCL O.NAME CHAR 30 \r\nDCL W.N PACKED 5,0 ";
const char* const kInsts = "L: \r\n    MOVE I.NAME TO O.NAME \r\n    ADD W.N WITH 1 TO W.N \r\n    GOTO L";

ParsedProgram Parsed(bool as400) {
  std::string decls = kDecls;
  if (!as400) decls.replace(decls.find("PACKED"), 6, "NUMERIC");
  return ParseProgram(decls, kInsts, as400);
}

TEST(ProgramCommands, AnNtProgramIsDeletedThenStoredLineByLineThenCompiled) {
  OpenedFake o("SQL Server");
  o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_FX").Row(Fx("E1", "M1", "0000000001")).Repeatedly();
  o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_GX").Row(Gx("E1", "M1")).Repeatedly();
  platform::ListView fields;
  InitListField(fields, false);
  ShowField(fields.Add("ZONE_NAME", "NAME"), Make(layout::QV_ZX, {{"FIELDINPUT", "NAME"}, {"FIELDTYPE", "C"},
                                                                  {"LEN", "00030"}, {"DECI", "00000"}, {"POS_IN", "00001"}}));
  const ParsedProgram p = Parsed(false);
  ASSERT_TRUE(o.control().WritePgmTrsNT("M1", "0000000001", " ", p.declarations, p.instructions, fields))
      << o.control().ErrorText();
  Lines sql;  // the statements that change the store
  for (const std::string& s : o.fake().Statements())
    if (s.rfind("SELECT", 0) != 0) sql.push_back(s);
  const std::string insert = "INSERT INTO QV_USRDATA..QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST) VALUES('E1', 'M1 ','0000000001',' ','";
  const std::string compiled = "INSERT INTO QV_TX (ENVID, GRPID, FICID, LIEU, LINE, TYPEINST, INDENT, INST) VALUES('E1', 'M1 ','0000000001','I','";
  ASSERT_EQ(sql.size(), 1u + 3 + 4 + 7 + 1);
  EXPECT_EQ(sql[0], "DELETE FROM QV_USRDATA..QV_TX WHERE ENVID='E1' AND GRPID='M1 ' AND FICID='0000000001'");
  EXPECT_EQ(sql[1], insert + "00001','e','000','/* output" + std::string(166, ' ') + "')");
  EXPECT_EQ(sql[4].substr(0, insert.size() + 20), insert + "00004','i','000','00");
  // The compiled lines, numbered from 1; I.NAME is read where the field list puts it.
  EXPECT_EQ(sql[8], compiled + "00001','p','000','0000001C00001C0000100 ')");
  EXPECT_EQ(sql[11], compiled + "00004','p','000','0400004I00001C0003000C00001C0000100O00001C0003000')");
  EXPECT_EQ(sql[14], compiled + "00007','p','000','0100007Y 00000')");
}

TEST(ProgramCommands, AnAs400ProgramSendsItsLinesItsMiAndCompilesIt) {
  OpenedFake o("AS400");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_FX").Record(Fx("E1", "M1", "0000000001")).Repeatedly();
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Record(Gx("E1", "M1")).Repeatedly();
  o.fake().On("Execute").Code("SYSGENTRS").Reply("000010");
  const ParsedProgram p = Parsed(true);
  std::string mi;
  ASSERT_TRUE(o.control().WritePgmTrsAS("M1", "0000000001", " ", p.declarations, p.instructions, mi, 42))
      << o.control().ErrorText();
  Lines sent;
  for (const FakeCommand& c : o.fake().Commands()) sent.push_back(c.code + " " + c.ctl + " " + c.data.substr(0, 8));
  EXPECT_EQ(sent, (Lines{"SYSWRTTRS_ 0000004096 040960E1", "SYSWRTTRS_ 0000004096 04096107", "SYSWRTTRS_ 0000004096 040963  ",
                         "SYSWRTTRS_ 0000004096 040960E1", "SYSWRTTRS_ 0000004096 04096201", "SYSWRTTRS_ 0000004096 040963  ",
                         "SYSGENTRS_ 0000004096 040961E1", "DLTSPLFTRS 0000000020 E1M1 000"}));
  EXPECT_EQ(o.fake().Commands()[0].Request(), "040960E1M1 0000000001I0");
  EXPECT_EQ(o.fake().Commands()[1].data.substr(8 + 4 * 179, 179),
            "i004" + p.instructions.substr(kInstRecordWidth + 4, kStoredInstWidth) + "   ");
  EXPECT_EQ(mi.substr(0, 16), "F@@@@@@@@@@.L: ;");
  EXPECT_EQ(o.fake().Commands()[4].data.substr(8, 175), FitText(mi, 175));
}

class ProgramStore : public StoreTest {
 protected:
  void SetUp() override {
    embedded::StoreAdmin admin = Admin();
    WriteTopology(admin, "E1");
    ASSERT_TRUE(control().FillFieldListZX(fields, "M1", "0000000001")) << control().ErrorText();
  }
  // Counts the stored lines of table 1 whose field has that value (no field: all).
  std::size_t LinesOfTable(const char* field = nullptr, const char* value = "") {
    std::size_t n = 0;
    for (const std::string& row : Stored(layout::QV_TX, "E1")) {
      const Record tx(layout::QV_TX, row);
      n += tx.Get("FICID") == "0000000001" && (field == nullptr || tx.Get(field) == value);
    }
    return n;
  }
  platform::ListView fields;
};

TEST_P(ProgramStore, ATableWithoutLinesGetsTheDefaultProgramOfItsFields) {
  std::string d, i;
  ASSERT_TRUE(control().ReadPgmTrs("M1", "0000000001", "Q", d, i, fields)) << control().ErrorText();
  EXPECT_EQ(i,
            "/* Output buffer (O.) alimentation with input buffer (I.)\r\n"
            "    MOVE I.CUSTNO TO O.CUSTNO\r\n    MOVE I.NAME TO O.NAME");
  EXPECT_EQ(d.substr(0, 35), "/* Output buffer (O.) declaration\r\n");
}

TEST_P(ProgramStore, GenerateBufOListsTheFieldsAndGivesTheDefaultTexts) {
  platform::ListView lv;
  std::string d, i;
  ASSERT_TRUE(control().GenerateBufO("M1", "0000000002", lv, d, i)) << control().ErrorText();
  ASSERT_EQ(lv.ColumnCount(), 5);
  ASSERT_EQ(lv.Count(), 2);
  EXPECT_EQ(lv.Item(1).text, "CUSTNO");
  EXPECT_EQ(d, "/* Output buffer (O.) declaration\r\n\r\n    DCL O.CUSTNO CHAR 0\r\n    DCL O.NAME CHAR 0");
  EXPECT_EQ(i, "/* Output buffer (O.) alimentation with input buffer (I.)\r\n    MOVE I.CUSTNO TO O.CUSTNO\r\n"
               "    MOVE I.NAME TO O.NAME\r\n");
}

// Stores the records of a program as the source kind does.
bool Store(QVSource& control, bool as400, const std::string& decls, const std::string& insts,
           platform::ListView& fields, std::string& mi) {
  if (as400) return control.WritePgmTrsAS("M1", "0000000001", "I", decls, insts, mi, 3);
  return control.WritePgmTrsNT("M1", "0000000001", " ", decls, insts, fields);
}

TEST_P(ProgramStore, AProgramStoredAndReadBackParsesToTheSameRecords) {
  std::string decls =
      "/* Output\r\n    DCL O.CUSTNO CHAR 10 \r\n    DCL O.NAME CHAR 20 \r\n\r\nDCL W.N PACKED 5,0 DESC 'It''s' ";
  if (!AS400()) decls.replace(decls.find("PACKED"), 6, "NUMERIC");
  const std::string insts =
      "/* Copy, count and skip the blank names: it's quick\r\nTOP: \r\n  MOVE I.NAME TO O.NAME \r\n  MOVE I.CUSTNO TO O.CUSTNO \r\n"
      "  ADD W.N WITH 1 TO W.N \r\n  COMPL I.NAME WITH ' ' BRANCHIF EQ TO *SKIP \r\n  SCAN I.NAME WITH 'X' POS W.N "
      "IFFOUND TOP \r\n  TRACE 'it''s done' ";
  ProgramFields known;
  known.table = BufferFieldsFromZX({Make(layout::QV_ZX, {{"FIELDINPUT", "CUSTNO"}}), Make(layout::QV_ZX, {{"FIELDINPUT", "NAME"}})});
  const ParsedProgram first = ParseProgram(decls, insts, AS400(), known);
  for (const ProgramDiagnostic& d : first.diagnostics) ASSERT_TRUE(d.warning) << d.text;
  std::string mi;
  ASSERT_TRUE(Store(control(), AS400(), first.declarations, first.instructions, fields, mi)) << control().ErrorText();
  std::string d, i;
  ASSERT_TRUE(control().ReadPgmTrs("M1", "0000000001", AS400() ? "I" : " ", d, i, fields)) << control().ErrorText();
  const ParsedProgram again = ParseProgram(d, i, AS400(), known);
  EXPECT_EQ(again.declarations, first.declarations);
  EXPECT_EQ(again.instructions, first.instructions);
  const Record stored(layout::QV_FX, Stored(layout::QV_FX, "E1").at(0));
  EXPECT_EQ(stored.Get("QV_TRANSFORM"), "1");
  if (AS400()) {
    EXPECT_EQ(stored.Get("FILLER").substr(0, 5), "00003");  // the count given with the program
  }
  // The other places of the table keep their lines; NT sources replace every place.
  EXPECT_EQ(LinesOfTable("LIEU", "S"), AS400() ? 1u : 0u);
  // The compiled lines: constants (the blank once), statements, the final selection.
  EXPECT_EQ(LinesOfTable("TYPEINST", "p"), AS400() ? 0u : 4u + 7u + 1u);

  // Empty texts delete the program: on AS/400 at the place given and "I", on NT sources at every place.
  ASSERT_TRUE(AS400() ? control().WritePgmTrsAS("M1", "0000000001", "S", "", "", mi, 9)
                      : Store(control(), false, "", "", fields, mi))
      << control().ErrorText();
  EXPECT_EQ(LinesOfTable("LIEU", "T"), AS400() ? 1u : 0u);  // a place not named keeps its lines
  EXPECT_EQ(LinesOfTable(), LinesOfTable("LIEU", "T"));
  const Record fx(layout::QV_FX, Stored(layout::QV_FX, "E1").at(0));
  EXPECT_EQ(fx.Get("QV_TRANSFORM"), "0");
  if (AS400()) {
    EXPECT_EQ(fx.Get("FILLER").substr(0, 5), "00000");
  }
}

TEST_P(ProgramStore, AProgramTheSourceCannotCompileIsReported) {
  // A branch to a tag that is not defined, as no checked text gives it.
  const StoredInst jump{"01", {}, "", "NOWHERE"};
  const std::string insts = FitText(" 000" + EncodeInst(jump), kInstRecordWidth);
  std::string mi;
  EXPECT_FALSE(Store(control(), AS400(), "", insts, fields, mi));
  EXPECT_EQ(control().ErrorNum(), 40);
  if (AS400()) {
    EXPECT_EQ(control().ErrorStep(), "WritePgmTrsAS:CompilAS400");
    EXPECT_EQ(control().ErrorText(),
              "Compil error in AS/400 (MCH0403 tag F@@@@@@@@@@.NOWHERE not declared), watch QV_TRS_PRT spool file");
  } else {
    EXPECT_EQ(control().ErrorText(), "Tag not found");
    // Nothing was sent: the lines of the table are as they were.
    EXPECT_EQ(LinesOfTable(), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProgramStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
