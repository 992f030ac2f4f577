// Model, model table, field and mapping operations: what embedded stores of
// every kind hold after them and the events raised; against the recording
// fake, the units of work, the member options kept between calls and the
// steps of the library's failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "store/record_rules.h"
#include "store/model_statements.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

class ModelStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteModel(admin, "E1", "M1", 2, 3);
    WriteModel(admin, "E1", "M2", 1, 1);  // a neighbour that must stay
  }
};

TEST_P(ModelStore, ARunningDistributionKeepsTheWholeModel) {
  const auto before = Snapshot();
  engine().running.insert("SE1_T02M1_");
  EXPECT_FALSE(control().DeleteGroup("M1"));
  EXPECT_EQ(control().ErrorNum(), 40);
  EXPECT_EQ(control().ErrorText(), "Impossible to remove an active distribution ");
  EXPECT_FALSE(control().DeleteGC("T02", "M1"));
  EXPECT_EQ(control().ErrorText(), "Impossible to remove an active distribution ");
  EXPECT_EQ(control().ErrorStep(), "DeleteGC");
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(events.seen.empty());
  EXPECT_TRUE(engine().userSpacesDeleted.empty());
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(ModelStore, ModelsAreAddedChangedAndReadWithQuotesBlanksAndCase) {
  Record gx = TopoModel("E1", "Q'X");
  gx.Set("DESCRIP", "Paul's \"quoted\" model");
  gx.Set("FREQUENCY", "123456");
  std::string s = gx.image();
  ASSERT_TRUE(control().AddGroup(s)) << control().ErrorText();
  std::string back, type;
  ASSERT_TRUE(control().DetailGroup(back, "Q'X")) << control().ErrorText();
  EXPECT_EQ(back, s);
  EXPECT_EQ(Record(layout::QV_GX, back).Trimmed("DESCRIP"), "Paul's \"quoted\" model");
  EXPECT_EQ(Record(layout::QV_GX, back).Get("FREQUENCY"), AS400() ? "123456" : "000000");
  ASSERT_TRUE(control().GroupType(type, "Q'X"));
  EXPECT_EQ(type, "0");
  // Lower case names another model; a code longer than its field names none.
  EXPECT_FALSE(control().GroupExist("q'x"));
  EXPECT_TRUE(control().GroupExist("M1 "));
  // A change is seen by the member options read before it.
  std::string all, manual;
  ASSERT_TRUE(control().CompAllMbrDist("Q'X", all, manual));
  EXPECT_EQ(manual, "0");
  gx.Set("MANDISTRI", "1");
  // A description that fills its field with quotes is cut before the quotes
  // are doubled: it is stored whole, as 30 quotes.
  gx.Set("DESCRIP", std::string(40, '\''));
  s = gx.image();
  ASSERT_TRUE(control().ChangeGroup(s, "Q'X")) << control().ErrorText();
  ASSERT_TRUE(control().DetailGroup(back, "Q'X"));
  EXPECT_EQ(Record(layout::QV_GX, back).Get("DESCRIP"), std::string(30, '\''));
  ASSERT_TRUE(control().CompAllMbrDist("Q'X", all, manual));
  EXPECT_EQ(manual, "1");
  // A short record string is padded, a long one refused.
  std::string shortOne = "E1M1 Short";
  ASSERT_TRUE(control().ChangeGroup(shortOne, "M1")) << control().ErrorText();
  EXPECT_EQ(shortOne.size(), 205u);
  std::string tooLong(700, 'x');
  EXPECT_FALSE(control().AddGroup(tooLong));
  EXPECT_EQ(control().ErrorNum(), QVSource::kFaultNum);
  EXPECT_EQ(control().ErrorText(), "record string of 700 characters where QV_GX holds 205");
  EXPECT_EQ(control().ErrorStep(), "AddGroup");
  std::string existing = TopoModel("E1", "M2").image();
  EXPECT_FALSE(control().AddGroup(existing));
  EXPECT_EQ(events.seen, (Lines{"GXadded E1|Q'X|0", "GXupdated E1|Q'X|0", "GXupdated E1|M1|"}));
}

TEST_P(ModelStore, TablesAreNumberedReadChangedHeldAndDeletedWithTheirChildren) {
  auto admin = Admin();
  for (int i : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 40})
    admin.PutRecord(TopoTable("E1", "M1", i));
  int64_t next = 0;
  ASSERT_TRUE(control().NextFicID("M1", next)) << control().ErrorText();
  EXPECT_EQ(next, 41);  // gaps are not filled

  std::string fx, all, manual;
  ASSERT_TRUE(control().DetailFile(fx, "M1", "0000000001", all, manual)) << control().ErrorText();
  EXPECT_EQ(fx, TopoTable("E1", "M1", 1).image());
  EXPECT_EQ(all, AS400() ? "*ALL" : "");
  EXPECT_EQ(manual, "0");
  EXPECT_TRUE(control().FileExist("", "", "M1", "0000000001"));
  Record changed(layout::QV_FX, fx);
  changed.Set("DESCRIP", "Customers of 'A'");
  fx = changed.image();
  ASSERT_TRUE(control().ChangeFile(fx, "M1", "0000000001")) << control().ErrorText();
  ASSERT_TRUE(control().HoldTable("M1", "0000000001"));
  std::string back;
  ASSERT_TRUE(control().DetailFile(back, "M1", "0000000001", all, manual));
  changed.Set("HOLD", "1");
  EXPECT_EQ(back, changed.image());
  ASSERT_TRUE(control().ReleaseTable("M1", "0000000001"));

  ASSERT_TRUE(control().DeleteFile("M1", "0000000002")) << control().ErrorText();
  // Table 2 of M1 went with its children; M2 (one of each) stays.
  EXPECT_EQ(CountsOf("E1"), (std::vector<std::size_t>{1, 0, 3, 2, 27, 4, 2, 4, 4, 4, 4}));
  const std::string source = AS400() ? "SRCLIB/FILE1" : "SRCLIB.FILE1";
  EXPECT_EQ(events.seen, (Lines{"FXupdated E1|M1|0000000001|" + source + "|Customers of 'A'",
                                "FXHold E1|M1|0000000001", "FXRelease E1|M1|0000000001",
                                "FCdeleted E1|T01|M1|0000000002", "FCdeleted E1|T02|M1|0000000002",
                                "FCdeleted E1|T03|M1|0000000002", "FXdeleted E1|M1|0000000002"}));
}

TEST_P(ModelStore, FieldsAreRewrittenAndMappingsAddedRewrittenAndRemoved) {
  Record zx = TopoField("E1", "M1", 1, "KEYFLD");
  zx.Set("DESCRIP", "Customer's number");
  std::string s = zx.image(), back;
  ASSERT_TRUE(control().ChangeZX(s, "M1", "0000000001", "KEYFLD")) << control().ErrorText();
  ASSERT_TRUE(control().DetailZX(back, "M1", "0000000001", "KEYFLD")) << control().ErrorText();
  EXPECT_EQ(back, s);

  auto mappings = [&] {
    Lines out;
    for (const std::string& image : Stored(layout::QV_ZC)) {
      const Record zc(layout::QV_ZC, image);
      if (zc.Trimmed("TGTID") == "T01" && zc.Trimmed("GRPID") == "M1" && zc.Trimmed("FICID") == "0000000001")
        out.push_back(std::string(zc.Trimmed("FIELDINPUT")) + ">" + std::string(zc.Trimmed("FIELDOUT")));
    }
    return out;
  };
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "DATAFLD", "TGTDATA"));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "KEYFLD", "NEWKEY"));
  EXPECT_EQ(mappings(), (Lines{"DATAFLD>TGTDATA", "KEYFLD>NEWKEY"}));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "KEYFLD", ""));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "NOMAP", "   "));
  EXPECT_EQ(mappings(), Lines{"DATAFLD>TGTDATA"});
  EXPECT_EQ(events.seen, (Lines{"ZXupdated E1|M1|0000000001|KEYFLD", "ZCupdated E1|T01|M1|0000000001|DATAFLD|TGTDATA",
                                "ZCupdated E1|T01|M1|0000000001|KEYFLD|NEWKEY"}));
  EXPECT_TRUE(Admin().Locks().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ModelStore, StoreKinds(), KindName);

// ---- What only the fake shows ----------------------------------------------------

std::string Model(const std::string& mandistri, const std::string& allmbr) {
  Record r(layout::QV_GX, Gx("E1", "M1"));
  r.Set("MANDISTRI", mandistri);
  r.Set("ALLMBRDIST", allmbr);
  return r.image();
}

void StoreModel(OpenedFake& o, const std::string& model) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Key("E1M1 ").Record(model).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectModelSql(o.Prefix(), "E1", "M1")).Row(model).Repeatedly();
}

TEST(ModelCalls, NtReadsAModelInAUnitOfItsOwnAndAs400ReadsItWithoutLock) {
  for (const char* kind : {"AS400", "ODBC", "SQL Server", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o, Model("0", "0"));
    std::string s;
    ASSERT_TRUE(o.control().DetailGroup(s, "M1")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), Lines{"Rreadk QV_GX [E1M1 ]"});
      EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(3), DllParam::kKeyEqualNoLock);
    } else {
      EXPECT_EQ(o.Trace(), (Lines{"SetConnectOption 2", "Sread " + SelectModelSql(o.Prefix(), "E1", "M1"),
                                  "Rclose  ", "SetConnectOption 3"}));
    }
  }
}

// The options each kind reads are checked on the stores.
TEST(ModelCalls, MemberOptionsAreReadOncePerModelUntilGrpIsWritten) {
  OpenedFake o("SQL Server");
  StoreModel(o, Model("1", "1"));
  std::string all = "?", manual = "?";
  ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
  EXPECT_EQ(manual, "1");
  o.fake().ClearCalls();
  ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
  EXPECT_TRUE(o.fake().Calls().empty());
  o.control().Grp("M1");
  ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
  EXPECT_FALSE(o.fake().Calls().empty());
}

TEST(ModelCalls, NtDistributingTablesReadsOnOneStatementClosedOnce) {
  OpenedFake o("SQL Server");
  StoreModel(o, Model("0", "0"));
  o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_GC ").Row(TopoDistribution("E1", "T1", "M1").image());
  o.fake().On("Sreadblock").SqlPrefix("SELECT * FROM QV_USRDATA..QV_FX ").Rows(
      {Fx("E1", "M1", "0000000001"), Fx("E1", "M1", "0000000002")});
  const auto files = o.fake().OpenFiles().size();
  ASSERT_TRUE(o.control().DistributeFC("T1", "M1")) << o.control().ErrorText();
  std::set<int32_t> statements;
  for (const FakeCall& c : o.fake().Calls())
    if (c.op == "Sread" || c.op == "Sreadblock") statements.insert(c.IntArg(0));
  EXPECT_EQ(o.fake().CallsNamed("Sread").size() + o.fake().CallsNamed("Sreadblock").size(), 4u);
  EXPECT_EQ(statements.size(), 2u);  // the first read opens it (-1), the others reuse it
  EXPECT_EQ(o.fake().CallCount("Rclose"), 1);
  EXPECT_EQ(o.fake().CallCount("Saction"), 2);
  EXPECT_EQ(o.fake().OpenFiles().size(), files);
}

TEST(ModelCalls, AFailedWriteWhileDistributingCarriesItsStepAndRaisesNothing) {
  OpenedFake o("AS400");
  StoreModel(o, Model("0", "0"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GC").Key("E1T1 M1 ").Record(TopoDistribution("E1", "T1", "M1").image());
  o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Records({Fx("E1", "M1", "0000000001")});
  o.fake().On("Rwrite").Fail(DllParam::kCodeRefused, 3, "full");
  EXPECT_FALSE(o.control().DistributeFC("T1", "M1"));
  EXPECT_EQ(o.control().ErrorStep(), "DistributeFC:AddFC");
  EXPECT_TRUE(o.events.seen.empty());
}

}  // namespace
}  // namespace qv::test
