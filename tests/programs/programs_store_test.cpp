// Programs on a source: the exact statements and commands sent (recording
// fake), and what a store holds and gives back (embedded source, every kind).
#include <gtest/gtest.h>

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
  OpenedFake as("AS400");
  ASSERT_TRUE(as.control().ReadPgmTrs("M1", "0000000001", "I", d, i, fields));
  EXPECT_EQ(as.Trace(), (Lines{"Ropen QV_TX_L0", "Rreadblock QV_TX_L0 [E1M1 0000000001I] -> 0", "Rclose QV_TX_L0"}));
  EXPECT_EQ(d, "/* Output buffer (O.) declaration");
  EXPECT_EQ(i, "/* Output buffer (O.) alimentation with input buffer (I.)");
}

class ProgramStore : public StoreTest {
 protected:
  void SetUp() override {
    embedded::StoreAdmin admin = Admin();
    WriteTopology(admin, "E1");
    ASSERT_TRUE(control().FillFieldListZX(fields, "M1", "0000000001")) << control().ErrorText();
  }
  void PutLine(const std::string& place, const std::string& line, char type, const std::string& indent,
               const std::string& content) {
    embedded::StoreAdmin admin = Admin();
    admin.PutRecord(Make(layout::QV_TX, {{"ENVID", "E1"}, {"GRPID", "M1"}, {"FICID", "0000000001"}, {"LIEU", place},
                                         {"LINE", line}, {"TYPEINST", std::string(1, type)}, {"INDENT", indent},
                                         {"INST", content}}));
  }
  platform::ListView fields;
};

TEST_P(ProgramStore, StoredLinesReadBackInLineOrder) {
  StoredInst move;
  move.code = "02";
  move.op[0] = {'F', "I.NAME"};
  move.op[2] = {'F', "O.NAME"};
  PutLine("X", "00003", 'i', "004", EncodeInst(move));
  PutLine("X", "00001", 'd', "000", EncodeDecl({"O.NAME", 'C', 30, 0, "", 0, "", ' ', '0', 0}));
  PutLine("X", "00002", 'j', "000", "/* copy");
  std::string d, i;
  ASSERT_TRUE(control().ReadPgmTrs("M1", "0000000001", "X", d, i, fields)) << control().ErrorText();
  EXPECT_EQ(d, std::string("DCL O.NAME ") + (AS400() ? "CHAR 30 " : "CHAR 30 "));
  EXPECT_EQ(i, "/* copy\r\n    MOVE I.NAME TO O.NAME ");
}

TEST_P(ProgramStore, ATableWithoutLinesGetsTheDefaultProgramOfItsFields) {
  std::string d, i;
  ASSERT_TRUE(control().ReadPgmTrs("M1", "0000000001", "Q", d, i, fields)) << control().ErrorText();
  EXPECT_EQ(i,
            "/* Output buffer (O.) alimentation with input buffer (I.)\r\n"
            "    MOVE I.CUSTNO TO O.CUSTNO\r\n    MOVE I.NAME TO O.NAME");
  EXPECT_EQ(d.substr(0, 35), "/* Output buffer (O.) declaration\r\n");
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProgramStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
