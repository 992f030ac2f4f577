// The tree and list views on embedded stores of every kind: the nodes of a
// fresh load and the lazy folders, columns, rows and their texts as loaded,
// the selection lists, and the view members called late-bound. (The Add and
// Delete procedures and the rows they rewrite are checked where the views
// follow every change.)
#include <gtest/gtest.h>

#include "platform/control_objects.h"
#include "platform/controls.h"
#include "platform/dispatch.h"
#include "presentation/list_rows.h"
#include "store/record_layouts.h"
#include "support/store_fixture.h"
#include "support/topology.h"
#include "views_support.h"

namespace qv::test {
namespace {

using platform::ListView;

class ShownStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteShownTopology(admin);
  }
  std::string Src(int n) { return std::string(AS400() ? "SRCLIB/FILE" : "SRCLIB.FILE") + std::to_string(n); }
};

const std::string kSep = std::string(" ") + static_cast<char>(150) + " ";

TEST_P(ShownStore, LoadTreeShowsTheTopLevelsAndEachFolderLoadsOnce) {
  platform::TreeView tv;
  ASSERT_TRUE(control().LoadTree(tv)) << control().ErrorText();
  // Each target and model with its two folders; the held NT target shows icon 1, the others 10.
  Lines expected{"0 Env|Topology| Env|2", "1 Cibles|Targets| Cibles|3"};
  for (const auto& [target, image] : {std::pair{"N1", "1"}, {"T01", "10"}, {"T02", "10"}}) {
    const std::string t = target;
    expected.insert(expected.end(), {"2 c" + t + "|" + t + kSep + "Target " + t + "| Ciblen|" + image,
                                     "3 " + t + "/GC|Distributions| SGC|3", "3 " + t + "/Dist|Distribute| SDist|5"});
  }
  expected.push_back("1 Groups|Models| Groups|3");
  for (const std::string m : {"M1", "M2"})
    expected.insert(expected.end(), {"2 g" + m + "|" + m + kSep + "Model " + m + "| Groupn|6",
                                     "3 " + m + "/File|Tables| GFile|3", "3 " + m + "/Distg|Distribute| GDist|5"});
  expected.push_back("1 Messages|Messages| Msgq|8");
  EXPECT_EQ(Nodes(tv), expected);
  EXPECT_TRUE(tv.Item("Env").expanded);

  platform::TreeNode& gc = tv.Item("T01/GC");
  ASSERT_TRUE(control().LoadGCInTree(tv, gc)) << control().ErrorText();
  EXPECT_EQ(gc.tag, "XSGC");
  Lines children;
  for (const platform::TreeNode* n : gc.Children()) {
    children.push_back(n->Key() + "|" + n->text + "|" + n->tag);
    for (const platform::TreeNode* c : n->Children()) children.push_back(c->Key() + "|" + c->text + "|" + c->tag);
  }
  EXPECT_EQ(children, (Lines{"T01:M1|M1" + kSep + "Model M1| GC", "T01:M1/FC|Distributed tables| SGCFC",
                             "T01:M1/Spv|Supervision| SGCSpv"}));
  // A second load adds nothing twice.
  ASSERT_TRUE(control().LoadGCInTree(tv, gc));
  EXPECT_EQ(gc.Children().size(), 1u);

  platform::TreeNode& fc = tv.Item("T01:M1/FC");
  ASSERT_TRUE(control().LoadFCInTree(tv, fc)) << control().ErrorText();
  ASSERT_EQ(fc.Children().size(), 2u);
  EXPECT_EQ(fc.Children()[1]->Key(), "T01:M1:0000000002");
  EXPECT_EQ(fc.Children()[1]->text, Src(2) + kSep + "Table 2 of M1");
}

TEST_P(ShownStore, TargetsShowTheirTypeHoldAndIconUnderColumnsAnEmptyEnvironmentKeeps) {
  ListView lv;
  ASSERT_TRUE(control().LoadCibleInList(lv)) << control().ErrorText();
  EXPECT_EQ(Captions(lv), (Lines{"Target", "Description", "Name", "Type", "Tempo", "Com.Err", "Trace", "Test",
                                 "Hold", "Exclude"}));
  // The held NT target shows the held icon.
  EXPECT_EQ(Rows(lv), (Lines{"cN1|N1|2|Target N1||NT|||No|No|Yes|", "cT01|T01|1|Target T01||AS/400|||No|No|No|",
                             "cT02|T02|1|Target T02||AS/400|||No|No|No|"}));
  // An empty environment keeps the columns.
  control().env("E9");
  ASSERT_TRUE(control().LoadCibleInList(lv)) << control().ErrorText();
  EXPECT_EQ(lv.ColumnCount(), 10);
  EXPECT_EQ(lv.Count(), 0);
}

TEST_P(ShownStore, DistributionsModelsAndTablesShowTheirRecords) {
  ListView lv;
  ASSERT_TRUE(control().LoadGCInList(lv, "T01")) << control().ErrorText();
  EXPECT_EQ(Rows(lv), (Lines{"T01:M1|M1|1|Model M1|0|Yes|||No|No|No|No|No|No|No|No"}));
  ASSERT_TRUE(control().LoadGroupInList(lv)) << control().ErrorText();
  EXPECT_EQ(Rows(lv), (Lines{"gM1|M1|1|Model M1|0|Yes|||No|No|No|No|No|No|No|No",
                             "gM2|M2|1|Model M2|0|Yes|||No|No|No|No|No|No|No|No"}));
  // A row of table n: its source, description and number, then its flags.
  const auto table = [&](const std::string& key, int n, const std::string& flags) {
    const std::string number = std::to_string(n);
    return key + number + "|" + Src(n) + "|1||Table " + number + " of M1||" + number + "|No|" + flags;
  };
  const std::string no12 = "|No|No|No|No|No|No|No|No|No|No|No|No";
  ASSERT_TRUE(control().LoadFileInList(lv, "M1")) << control().ErrorText();
  EXPECT_EQ(Rows(lv), (Lines{table("M1:000000000", 1, no12), table("M1:000000000", 2, no12)}));
  ASSERT_TRUE(control().LoadFCInList(lv, "T02", "M1")) << control().ErrorText();
  EXPECT_EQ(Rows(lv), (Lines{table("T02:M1:000000000", 1, no12 + "|No"), table("T02:M1:000000000", 2, no12 + "|No")}));
}

TEST_P(ShownStore, FieldsAndMappingsShowTheFieldCatalogTexts) {
  ListView lv;
  ASSERT_TRUE(control().LoadZXInList(lv, "M1", "0000000001")) << control().ErrorText();
  EXPECT_EQ(Captions(lv), (Lines{"Key order", "Field name", "Description", "Type", "Date", "Null", "Start"}));
  EXPECT_EQ(Rows(lv), (Lines{"ZONE_DATAFLD|0|1|DATAFLD|Field DATAFLD|Char 10|||",
                             "ZONE_KEYFLD|0|1|KEYFLD|Field KEYFLD|Char 10|||"}));
  ASSERT_TRUE(control().LoadZX_ZC_InList(lv, "T01", "M1", "0000000001")) << control().ErrorText();
  EXPECT_EQ(Rows(lv), (Lines{"ZONE_DATAFLD|0|1|DATAFLD||Field DATAFLD|Char 10|||C|10|0",
                             "ZONE_KEYFLD|0|1|KEYFLD|TGTKEY|Field KEYFLD|Char 10|||C|10|0"}));
}

TEST_P(ShownStore, SelectionListsLeaveOutWhatIsAlreadyDistributed) {
  platform::ListBox box;
  ASSERT_TRUE(control().FillCibleNonDistList(box, "M1")) << control().ErrorText();
  EXPECT_EQ(box.Items(), (Lines{"N1  Target N1"}));
  ASSERT_TRUE(control().FillGroupNonDistList(box, "T01")) << control().ErrorText();
  EXPECT_EQ(box.Items(), (Lines{"M2  Model M2"}));
  ASSERT_TRUE(control().DeleteFC("T01", "M1", "0000000002"));
  ASSERT_TRUE(control().FillFXnoFCList(box, "T01", "M1")) << control().ErrorText();
  EXPECT_EQ(box.Items(), (Lines{"0000000002 " + Src(2)}));
}

// The view members through the control's dispatch object, as a host calls
// them: models passed as objects, tree nodes by key, results by reference.
TEST_P(ShownStore, ViewMembersAreReachableLateBound) {
  using platform::Variant;
  std::shared_ptr<platform::IDispatch> object = control().Dispatch();
  std::vector<Variant> args;  // those of the last call, with its results by reference
  auto invoke = [&](const char* member, std::vector<Variant> given) {
    args = std::move(given);
    return platform::CallMethod(*object, member, args);
  };
  auto call = [&](const char* member, std::vector<Variant> given) {
    const platform::DispResult r = invoke(member, std::move(given));
    EXPECT_TRUE(r.ok()) << member << ": " << r.text;
    return r.value;
  };

  auto tree = std::make_shared<platform::TreeViewObject>();
  EXPECT_EQ(call("LoadTree", {Variant(tree)}), Variant(true));
  EXPECT_EQ(call("LoadGCInTree", {Variant(tree), Variant("T01/GC")}), Variant(true));
  EXPECT_EQ(tree->model().Item("T01/GC").tag, "XSGC");
  EXPECT_NE(tree->model().Find("T01:M1"), nullptr);
  EXPECT_EQ(call("AddCibleInTree", {Variant(tree), Variant("Env"), Variant("T09"), Variant("0"), Variant("Ninth")}),
            Variant(true));
  EXPECT_EQ(args[1], Variant("cT09"));  // the key of the node added
  EXPECT_EQ(call("AddCibleInTree", args), Variant(true));
  EXPECT_EQ(args[1], Variant(""));  // already there: none added

  // A list filled late-bound holds what the direct call fills.
  auto dists = std::make_shared<platform::ListViewObject>();
  EXPECT_EQ(call("LoadGCInList", {Variant(dists), Variant("T01")}), Variant(true));
  ListView direct;
  ASSERT_TRUE(control().LoadGCInList(direct, "T01"));
  EXPECT_EQ(Rows(dists->model()), Rows(direct));
  EXPECT_EQ(call("HoldReleaseGCInList", {Variant(dists), Variant("T01"), Variant("M1"), Variant("1"), Variant("")}),
            Variant(true));
  EXPECT_EQ(dists->model().Item("T01:M1").icon, lists::kIconHeld);

  // A node key that names no node, and a list where a tree is due, are refused.
  platform::DispResult r = invoke("LoadGCInTree", {Variant(tree), Variant("T77/GC")});
  EXPECT_EQ(r.status, platform::DispStatus::TypeMismatch);
  EXPECT_EQ(r.argIndex, 1);
  r = invoke("DeleteCibleInTree", {Variant(dists), Variant("T01")});
  EXPECT_EQ(r.status, platform::DispStatus::TypeMismatch);
  EXPECT_EQ(r.argIndex, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ShownStore, AllKinds(), KindName);

TEST(ListRows, FlagAccessModeAndIconTexts) {
  struct Case {
    const char* access;
    const char* manual;
    const char* hold;
    const char* accessText;
    const char* manualText;
    int icon;
  } cases[] = {{"0", "1", "0", "Rrn", "Manual", lists::kIconActive},
               {"1", "0", "1", "Key", "", lists::kIconHeld},
               {"7", "0", "0", "7", "", lists::kIconActive}};
  for (const Case& c : cases) {
    const lists::Row row = lists::ModelRow(
        Make(layout::QV_GX, {{"ENVID", "E1"}, {"GRPID", "M1"}, {"ACCESMODE", c.access}, {"MANDISTRI", c.manual},
                             {"HOLD", c.hold}}));
    EXPECT_EQ((Lines{row.cells[4], row.cells[3]}), (Lines{c.accessText, c.manualText})) << c.access;
    EXPECT_EQ(row.icon, c.icon);
  }
  // Running, in error, failed; held whatever the state.
  const std::vector<int> icons{lists::Icon("0", "A"), lists::Icon("0", "E"), lists::Icon("0", "F"), lists::Icon("1", "A")};
  EXPECT_EQ(icons, (std::vector<int>{lists::kIconRunning, lists::kIconError, lists::kIconFailed, lists::kIconHeld}));
}

}  // namespace
}  // namespace qv::test
