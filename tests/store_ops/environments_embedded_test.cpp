// Environment and target operations on embedded stores of every kind: what
// is stored and read back, refusals that leave the store as it was, events.
#include <gtest/gtest.h>

#include "platform/controls.h"
#include "presentation/messages.h"
#include "store/environment_statements.h"
#include "store_embedded.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

class EnvironmentStore : public StoreTest {};

std::string Field(const std::string& image, const Layout& layout, const char* field) {
  return std::string(Record(layout, image).Trimmed(field));
}

TEST_P(EnvironmentStore, AnEnvironmentWithQuotesRoundTripsWithTheKindsSourceType) {
  std::string s = Ex("E2", "T", "O'Brien's 'env'");
  ASSERT_TRUE(control().AddEnvironment(s)) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailEnvironment(detail, "E2")) << control().ErrorText();
  EXPECT_EQ(detail, s);
  EXPECT_EQ(Field(detail, layout::QV_EX, "DESCRIP"), "O'Brien's 'env'");
  EXPECT_EQ(Field(detail, layout::QV_EX, "SRCTYPE"), NtSourceTypeCode(GetParam().sourceType));
  EXPECT_TRUE(control().EnvironmentExist("E2"));
  platform::ListBox list;
  ASSERT_TRUE(control().FillEnvironmentList(list)) << control().ErrorText();
  EXPECT_EQ(list.Items(), Lines{"E2T"});
  EXPECT_EQ(events.seen, Lines{"EXadded E2|T"});
}

TEST_P(EnvironmentStore, AChangeRewritesTheEnvironment) {
  std::string s = Ex("E2", "T", "first");
  ASSERT_TRUE(control().AddEnvironment(s));
  std::string changed = Ex("E2", "U", "a 30-character text ending '''", "1");
  ASSERT_TRUE(control().ChangeEnvironment(changed, "E2")) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailEnvironment(detail, "E2"));
  EXPECT_EQ(Field(detail, layout::QV_EX, "DESCRIP"), "a 30-character text ending '''");
  EXPECT_EQ(Field(detail, layout::QV_EX, "SECURE"), "1");
  EXPECT_EQ(detail, changed);
  EXPECT_EQ(events.seen, (Lines{"EXadded E2|T", "EXupdated E2|U"}));
}

TEST_P(EnvironmentStore, AddingAnExistingKeyIsRefusedAndKeepsTheStoredItem) {
  std::string first = Ex("E2", "T", "first");
  ASSERT_TRUE(control().AddEnvironment(first));
  std::string second = Ex("E2", "X", "second");
  EXPECT_FALSE(control().AddEnvironment(second));
  EXPECT_NE(control().ErrorNum(), 0);
  EXPECT_EQ(Field(Stored(layout::QV_EX, "E2").at(0), layout::QV_EX, "DESCRIP"), "first");

  std::string t1 = Cx("E1", "T1", "0", "first");
  ASSERT_TRUE(control().AddCible(t1));
  std::string again = Cx("E1", "T1", "1", "second");
  EXPECT_FALSE(control().AddCible(again));
  EXPECT_NE(control().ErrorNum(), 0);
  EXPECT_EQ(Stored(layout::QV_CX, "E1"), Lines{t1});
  EXPECT_EQ(events.seen, (Lines{"EXadded E2|T", "CXadded E1|T1|0"}));
}

TEST_P(EnvironmentStore, ChangesAndDeletesOfMissingItemsWriteAndRaiseNothing) {
  auto admin = Admin();
  WriteTopology(admin, "E1");
  const auto before = CountsOf("");
  std::string ex = Ex("E7");
  EXPECT_FALSE(control().ChangeEnvironment(ex, "E7"));
  EXPECT_EQ(control().ErrorText(), cLoadResString("2022", "E7"));
  EXPECT_FALSE(control().DeleteEnvironment("E7"));
  EXPECT_EQ(control().ErrorText(), cLoadResString("2022", "E7"));
  std::string cx = Cx("E1", "T7");
  EXPECT_FALSE(control().ChangeCible(cx, "T7"));
  EXPECT_EQ(control().ErrorText(), cLoadResString("2020", "T7"));
  EXPECT_FALSE(control().DeleteCible("T7"));
  EXPECT_FALSE(control().HoldCible("T7"));
  EXPECT_FALSE(control().CibleUpdatePos("E1", "T7", 1, 2));
  EXPECT_EQ(control().ErrorText(), cLoadResString("2020", "T7"));
  EXPECT_EQ(CountsOf(""), before);
  EXPECT_TRUE(events.seen.empty());
  EXPECT_TRUE(Admin().Locks().empty());
}

TEST_P(EnvironmentStore, ANewTargetCodeReplacesTheOldOneAndTheEventNamesTheOld) {
  Put(Cx("E1", "T1", "0", "box"), layout::QV_CX);
  std::string s = Cx("E1", "T9", "1", "moved box");
  ASSERT_TRUE(control().ChangeCible(s, "T1")) << control().ErrorText();
  EXPECT_EQ(Stored(layout::QV_CX, "E1"), Lines{Cx("E1", "T9", "1", "moved box")});
  EXPECT_FALSE(control().CibleExist("T1"));
  EXPECT_TRUE(control().CibleExist("T9"));
  EXPECT_EQ(events.seen, Lines{"CXupdated E1|T1|1"});
  EXPECT_EQ(events.records, Lines{s});
}

TEST_P(EnvironmentStore, ANegativePositionIsStoredWithItsSignAndReadsBack) {
  Put(Cx("E1", "T1"), layout::QV_CX);
  ASSERT_TRUE(control().CibleUpdatePos("E1", "T1", -3.5f, 12.7f)) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailCible(detail, "T1"));
  const Record r(layout::QV_CX, detail);
  EXPECT_EQ(r.Get("X"), "-000000003");
  EXPECT_EQ(r.Get("Y"), "0000000012");
  EXPECT_EQ(PositionValue(r.Get("X")), -3);
  EXPECT_EQ(Record(layout::QV_CX, Cx("E1", "T1")).Get("DESCRIP"), r.Get("DESCRIP"));
  EXPECT_TRUE(events.seen.empty());
}

TEST_P(EnvironmentStore, HoldingTwiceKeepsHoldAndRaisesEachTime) {
  Put(Cx("E1", "T1"), layout::QV_CX);
  ASSERT_TRUE(control().HoldCible("T1"));
  ASSERT_TRUE(control().HoldCible("T1"));
  EXPECT_EQ(Field(Stored(layout::QV_CX, "E1").at(0), layout::QV_CX, "HOLD"), "1");
  ASSERT_TRUE(control().ReleaseCible("T1"));
  EXPECT_EQ(Field(Stored(layout::QV_CX, "E1").at(0), layout::QV_CX, "HOLD"), "0");
  EXPECT_EQ(events.seen, (Lines{"CXHold E1|T1", "CXHold E1|T1", "CXRelease E1|T1"}));
}

TEST_P(EnvironmentStore, ADescriptionFillingItsFieldWithAQuoteAtTheEndIsKeptWhole) {
  const std::string desc = "twenty-nine characters long. '";  // 30 characters
  ASSERT_EQ(desc.size(), 30u);
  std::string s = Cx("E1", "T1", "0", desc);
  ASSERT_TRUE(control().AddCible(s)) << control().ErrorText();
  std::string detail;
  ASSERT_TRUE(control().DetailCible(detail, "T1"));
  EXPECT_EQ(Field(detail, layout::QV_CX, "DESCRIP"), desc);
}

TEST_P(EnvironmentStore, CodesWithQuotesLowerCaseBlanksOrTooLongAreKeptAsTheirKeys) {
  std::string quoted = Cx("E1", "t'1");
  ASSERT_TRUE(control().AddCible(quoted)) << control().ErrorText();
  EXPECT_TRUE(control().CibleExist("t'1"));
  std::string longer = Cx("E1", "LONGER");  // the record holds "LON"
  ASSERT_TRUE(control().AddCible(longer));
  EXPECT_FALSE(control().CibleExist("LONGER"));  // a code longer than its field names none
  EXPECT_TRUE(control().CibleExist("LON"));
  std::string blank = Cx("E1", "");
  ASSERT_TRUE(control().AddCible(blank));
  EXPECT_TRUE(control().CibleExist(""));
  EXPECT_TRUE(control().CibleExist("   "));
  ASSERT_TRUE(control().DeleteCible("t'1")) << control().ErrorText();
  ASSERT_TRUE(control().DeleteCible("")) << control().ErrorText();
  EXPECT_EQ(Stored(layout::QV_CX, "E1"), Lines{Cx("E1", "LON")});
  EXPECT_EQ(events.seen, (Lines{"CXadded E1|t'1|0", "CXadded E1|LON|0", "CXadded E1||0",
                                "CXdeleted E1|t'1", "CXdeleted E1|"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EnvironmentStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
