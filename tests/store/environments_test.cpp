// Environment and target operations: what embedded stores of every kind
// hold after them and the events raised, and, against the recording fake,
// the units of work and the failures of the library.
#include <gtest/gtest.h>

#include "platform/controls.h"
#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

std::string Field(const std::string& image, const Layout& layout, const char* field) {
  return std::string(Record(layout, image).Trimmed(field));
}

class EnvironmentStore : public StoreTest {};

TEST_P(EnvironmentStore, AddedAndChangedEnvironmentsReadBackWithTheKindsSourceType) {
  Record in(layout::QV_EX, Ex("E2", "T", "O'Brien's 'env'"));
  in.Set("FILLER", "left over");
  std::string s = in.image();
  ASSERT_TRUE(control().AddEnvironment(s)) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailEnvironment(detail, "E2")) << control().ErrorText();
  EXPECT_EQ(detail, s);
  EXPECT_EQ(Field(detail, layout::QV_EX, "DESCRIP"), "O'Brien's 'env'");
  EXPECT_EQ(Field(detail, layout::QV_EX, "SRCTYPE"), NtSourceTypeCode(GetParam().type));
  EXPECT_EQ(Field(detail, layout::QV_EX, "FILLER"), AS400() ? "left over" : "");
  EXPECT_TRUE(control().EnvironmentExist("E2"));
  platform::ListBox list;
  list.AddItem("kept");
  ASSERT_TRUE(control().FillEnvironmentList(list)) << control().ErrorText();
  EXPECT_EQ(list.Items(), (Lines{"kept", "E2T"}));

  std::string changed = Ex("E2", "U", "a 30-character text ending '''", "1");
  ASSERT_TRUE(control().ChangeEnvironment(changed, "E2")) << control().ErrorText();
  ASSERT_TRUE(control().DetailEnvironment(detail, "E2"));
  EXPECT_EQ(detail, changed);
  EXPECT_EQ(Field(detail, layout::QV_EX, "DESCRIP"), "a 30-character text ending '''");
  EXPECT_EQ(events.seen, (Lines{"EXadded E2|T", "EXupdated E2|U"}));
}

TEST_P(EnvironmentStore, AnExistingEnvironmentIsRefusedAndKeepsTheStoredOne) {
  std::string first = Ex("E2", "T", "first");
  ASSERT_TRUE(control().AddEnvironment(first));
  std::string second = Ex("E2", "X", "second");
  EXPECT_FALSE(control().AddEnvironment(second));
  EXPECT_NE(control().ErrorNum(), 0);
  EXPECT_EQ(control().ErrorStep(), "AddEnvironment");
  EXPECT_EQ(Stored(layout::QV_EX), Lines{first});
  EXPECT_EQ(events.seen, Lines{"EXadded E2|T"});
}

TEST_P(EnvironmentStore, ATargetCanBeRenamedHeldAndMoved) {
  Put(Cx("E1", "T1", "0", "box"), layout::QV_CX);
  std::string s = Cx("E1", "T9", "1", "moved box");
  ASSERT_TRUE(control().ChangeCible(s, "T1")) << control().ErrorText();
  EXPECT_EQ(Stored(layout::QV_CX, "E1"), Lines{Cx("E1", "T9", "1", "moved box")});
  EXPECT_FALSE(control().CibleExist("T1"));
  ASSERT_TRUE(control().HoldCible("T9"));
  ASSERT_TRUE(control().HoldCible("T9"));
  EXPECT_EQ(Field(Stored(layout::QV_CX, "E1").at(0), layout::QV_CX, "HOLD"), "1");
  ASSERT_TRUE(control().ReleaseCible("T9"));
  ASSERT_TRUE(control().CibleUpdatePos("E1", "T9", -3.5f, 12.7f)) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailCible(detail, "T9"));
  Record expected(layout::QV_CX, Cx("E1", "T9", "1", "moved box"));
  expected.Set("X", "-000000003");
  expected.Set("Y", "0000000012");
  EXPECT_EQ(detail, expected.image());
  // The old code is reported, at its width; holding twice raises twice.
  EXPECT_EQ(events.seen, (Lines{"CXupdated E1|T1|1", "CXHold E1|T9", "CXHold E1|T9", "CXRelease E1|T9"}));
  EXPECT_EQ(events.raw[0][1], "T1 ");
  EXPECT_EQ(events.records.at(0), s);
}

TEST_P(EnvironmentStore, ABlankCodeNamesATargetLikeAnyOther) {
  std::string blank = Cx("E1", "");
  ASSERT_TRUE(control().AddCible(blank)) << control().ErrorText();
  EXPECT_TRUE(control().CibleExist("   "));
  ASSERT_TRUE(control().DeleteCible("")) << control().ErrorText();
  EXPECT_TRUE(Stored(layout::QV_CX, "E1").empty());
  EXPECT_EQ(events.seen, (Lines{"CXadded E1||0", "CXdeleted E1|"}));
}

TEST_P(EnvironmentStore, AFailedRewriteReleasesTheLockAndRaisesNothing) {
  Put(Cx("E1", "T1"), layout::QV_CX);
  engine().failWhen = [](const std::string& op, const std::string& sql) {
    return op == "Rupdate" || sql.starts_with("UPDATE");
  };
  std::string s = Cx("E1", "T1", "1", "changed");
  EXPECT_FALSE(control().ChangeCible(s, "T1"));
  EXPECT_NE(control().ErrorNum(), 0);
  EXPECT_EQ(Stored(layout::QV_CX), Lines{Cx("E1", "T1")});
  EXPECT_TRUE(Admin().Locks().empty());
  EXPECT_TRUE(events.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EnvironmentStore, StoreKinds(), KindName);

// ---- What only the fake shows ----------------------------------------------------

// The unit of work of an NT delete is checked on the cascade's trace, the
// locked read of a change on the stores (a rewrite needs it).
TEST(EnvironmentCalls, LibraryFailuresAreReportedAsSuchWithTheirStep) {
  OpenedFake o("AS400");
  const auto files = o.fake().OpenFiles().size();
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Fail(DllParam::kCodeNetwork, 0, "connection lost");
  std::string s;
  EXPECT_FALSE(o.control().DetailEnvironment(s, "E1"));
  EXPECT_EQ(o.control().ErrorNum(), 1002);  // not a missing environment
  EXPECT_EQ(o.control().ErrorText(), "connection lost");
  OpenedFake n("SQL Server");
  n.fake().On("Sread").Sql(SelectEnvironmentSql(n.Prefix(), "E1")).Fail(DllParam::kCodeNetwork, 0, "lost");
  EXPECT_FALSE(n.control().DetailEnvironment(s, "E1"));
  EXPECT_EQ(n.control().ErrorNum(), 1002);

  o.fake().On("Rreadn").File("QV_USRDATA/QV_EX_L0").Record("E1P").Fail(DllParam::kCodeNetwork, 0, "lost");
  platform::ListBox list;
  EXPECT_FALSE(o.control().FillEnvironmentList(list));
  EXPECT_EQ(list.Items(), Lines{"E1P"});
  EXPECT_EQ(o.control().ErrorText(), "lost");
  EXPECT_EQ(o.fake().OpenFiles().size(), files);
  EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(1), DllParam::kModeRead);
}

TEST(SelectingAnEnvironment, ARefusalOrAFailedReadLeavesTheSelection) {
  ProcessLogin login("BOB", "");
  OpenedFake o("AS400");
  o.control().tgt("T1");
  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E2").Record(Ex("E2", "P", "", "1")).Repeatedly();
  o.fake().On("Rreadblock").File("QV_USRDATA/QV_UID_L0").Key("E2").Records(
      {Make(layout::QV_UID, {{"ENVID", "E2"}, {"USERID", "ANN"}, {"USERTYPE", "0"}}).image()});
  o.control().env("E2");
  EXPECT_EQ(o.control().env(), "E1");
  EXPECT_EQ(o.control().tgt(), "T1");
  EXPECT_EQ(o.control().ErrorText(), cLoadResString("2132", "BOB"));

  o.fake().On("Rreadk").File("QV_USRDATA/QV_EX").Key("E3").Fail(DllParam::kCodeNetwork, 0, "lost");
  o.control().env("E3");
  EXPECT_EQ(o.control().env(), "E1");

  // A missing environment is selected with full rights, as an unsecured one.
  o.control().env("E5");
  EXPECT_EQ(o.control().env(), "E5");
  EXPECT_EQ(o.control().tgt(), "");
  EXPECT_EQ(o.control().CurrentUserType(), 0);
  EXPECT_EQ(o.control().ErrorText(), "Environment E5 not found");
}

}  // namespace
}  // namespace qv::test
