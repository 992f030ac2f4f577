#include "platform/controls.h"

#include <gtest/gtest.h>

#include "platform/control_objects.h"

namespace qv::platform {
namespace {

std::vector<std::string> KeysInDisplayOrder(const TreeView& tree) {
  std::vector<std::string> keys;
  for (const TreeNode* n : tree.DisplayOrder()) keys.push_back(n->Key());
  return keys;
}

using Keys = std::vector<std::string>;

// --- Tree view -----------------------------------------------------------------

TEST(TreeViewTest, PlacesNodesBesideTheirRelative) {
  TreeView tree;
  tree.Add("Env", "Topology");
  tree.Add("Env", Relationship::Child, "Cibles", "Targets");
  tree.Add(1, Relationship::Child, "Groups", "Models");  // relative by index
  tree.Add("Groups", Relationship::Next, "Messages", "Messages");
  tree.Add("Cibles", Relationship::Previous, "A", "before targets");
  tree.Add("Groups", Relationship::First, "B", "first");
  tree.Add("Cibles", Relationship::Last, "C", "last");
  tree.Add("Cibles", Relationship::Child, "cT1_", "T1_");
  tree.Add("Top2", "second root");
  tree.Add("Env", Relationship::Next, "Top1b", "between roots");

  EXPECT_EQ(KeysInDisplayOrder(tree),
            (Keys{"Env", "B", "A", "Cibles", "cT1_", "Groups", "Messages", "C", "Top1b", "Top2"}));
  // Indexes follow the order of addition, not the display.
  EXPECT_EQ(tree.Item("Messages").Index(), 4);
  EXPECT_EQ(tree.Item(8).Key(), "cT1_");
  EXPECT_EQ(tree.Item("cT1_").Parent()->Key(), "Cibles");
  EXPECT_EQ(tree.Item("cT1_").Depth(), 2);
  EXPECT_EQ(tree.Roots().size(), 3u);
}

TEST(TreeViewTest, RemovesANodeWithItsSubtreeAndRenumbers) {
  TreeView tree;
  tree.Add("Env", "Topology");
  tree.Add("Env", Relationship::Child, "Cibles", "Targets");
  tree.Add("Cibles", Relationship::Child, "cT1_", "T1_");
  tree.Add("cT1_", Relationship::Child, "T1_/GC", "Distributions");
  tree.Add("Env", Relationship::Child, "Groups", "Models");
  tree.Add("Cibles", Relationship::Child, "cT2_", "T2_");

  tree.Remove("Cibles");
  EXPECT_EQ(tree.Count(), 2);
  EXPECT_EQ(KeysInDisplayOrder(tree), (Keys{"Env", "Groups"}));
  EXPECT_EQ(tree.Item("Groups").Index(), 2);
  for (const char* gone : {"Cibles", "cT1_", "T1_/GC", "cT2_"}) EXPECT_EQ(tree.Find(gone), nullptr);
  // The keys are free again.
  tree.Add("Env", Relationship::Child, "cT1_", "T1_ again");
  EXPECT_EQ(tree.Item(3).Key(), "cT1_");
}

// The hosts print the controls as JSON only.
TEST(TreeViewTest, PrintsAsJson) {
  TreeView tree;
  TreeNode& root = tree.Add("Env", "Topology", 3);
  root.tag = " Env";
  root.expanded = true;
  TreeNode& t = tree.Add("Env", Relationship::Child, "cT1_", "T1_ \x96 Caf\xE9 \"q\"", 10);
  t.tag = " Ciblen";

  EXPECT_EQ(tree.ToJson(),
            "{\"nodes\":[{\"index\":1,\"key\":\"Env\",\"text\":\"Topology\",\"tag\":\" Env\","
            "\"image\":3,\"expanded\":true,\"children\":[{\"index\":2,\"key\":\"cT1_\","
            "\"text\":\"T1_ \xE2\x80\x93 Caf\xC3\xA9 \\\"q\\\"\",\"tag\":\" Ciblen\",\"image\":10,"
            "\"expanded\":false,\"children\":[]}]}]}");
}

// --- List view -----------------------------------------------------------------

ListView& Fill(ListView& lv) {
  lv.AddColumn("Target", 800);
  lv.AddColumn("Description");
  lv.AddColumn("Type");
  ListItem& a = lv.Add("cB__", "B__", 1, 2);
  a.SetSubItem(1, "second");
  a.SetSubItem(2, "AS/400");
  ListItem& b = lv.Add("cA__", "A__");
  b.SetSubItem(1, "First");
  b.SetSubItem(2, "NT");
  b.tag = "x";
  return lv;
}

TEST(ListViewTest, KeepsItemsByKeyAndPosition) {
  ListView lv;
  Fill(lv);
  EXPECT_EQ(lv.Item("cA__").Index(), 2);
  EXPECT_EQ(lv.Item(1).SubItem(7), "");
  EXPECT_THROW(lv.Item(1).SetSubItem(0, "x"), ControlError);

  lv.AddAt(1, "cC__", "C__");
  EXPECT_EQ(lv.Item("cB__").Index(), 2);
  EXPECT_THROW(lv.Add("cC__", "dup"), ControlError);
  EXPECT_THROW(lv.AddAt(9, "cD__", "D__"), ControlError);
  EXPECT_EQ(lv.Count(), 3);

  lv.Remove("cB__");
  EXPECT_EQ(lv.Item("cA__").Index(), 2);
  EXPECT_EQ(lv.Find("cB__"), nullptr);
  EXPECT_THROW(lv.Remove("cB__"), ControlError);
  lv.Remove(1);
  EXPECT_EQ(lv.Item(1).Key(), "cA__");

  lv.Clear();
  EXPECT_EQ(lv.Count(), 0);
  EXPECT_EQ(lv.ColumnCount(), 3);  // columns stay
  lv.ClearColumns();
  EXPECT_EQ(lv.ColumnCount(), 0);
}

TEST(ListViewTest, SortsTheDisplayBySortKey) {
  ListView lv;
  Fill(lv);
  lv.Add("cc__", "c__").SetSubItem(1, "third");
  auto texts = [&] {
    std::vector<std::string> out;
    for (const ListItem* i : lv.DisplayOrder()) out.push_back(i->text);
    return out;
  };
  EXPECT_EQ(texts(), (Keys{"B__", "A__", "c__"}));
  lv.sorted = true;
  EXPECT_EQ(texts(), (Keys{"A__", "B__", "c__"}));
  lv.sortKey = 1;  // Description: "First" < "second" < "third", any case
  EXPECT_EQ(texts(), (Keys{"A__", "B__", "c__"}));
  lv.sortOrder = 1;
  EXPECT_EQ(texts(), (Keys{"c__", "B__", "A__"}));
  lv.sortKey = 2;  // items without that sub-item sort first
  lv.sortOrder = 0;
  EXPECT_EQ(texts(), (Keys{"c__", "B__", "A__"}));
  EXPECT_EQ(lv.Item(1).text, "B__");  // positions are not changed by sorting
}

// --- List box and combo box ----------------------------------------

TEST(ListBoxTest, AddsInsertsRemovesAndSelectsAndAComboKeepsItsText) {
  ListBox box;
  box.AddItem("ENV1");
  box.AddItem("ENV3");
  box.AddItem("ENV2", 1);
  EXPECT_EQ(box.Items(), (Keys{"ENV1", "ENV2", "ENV3"}));
  box.SetListIndex(2);
  EXPECT_EQ(box.Text(), "ENV3");
  box.RemoveItem(0);
  EXPECT_EQ(box.ListIndex(), 1);
  EXPECT_EQ(box.Text(), "ENV3");
  box.RemoveItem(1);
  EXPECT_EQ(box.ListIndex(), -1);
  EXPECT_EQ(box.Text(), "");
  EXPECT_THROW(box.List(5), ControlError);
  EXPECT_THROW(box.AddItem("x", 3), ControlError);
  EXPECT_THROW(box.SetListIndex(1), ControlError);
  EXPECT_EQ(box.ToJson(), "{\"listIndex\":-1,\"items\":[\"ENV2\"]}");
  box.Clear();
  EXPECT_EQ(box.ListCount(), 0);

  // A combo box keeps its own text.
  ComboBox combo;
  combo.AddItem("AS400");
  combo.AddItem("ODBC");
  combo.SetText("typed");
  EXPECT_EQ(combo.Text(), "typed");
  combo.SetListIndex(1);
  EXPECT_EQ(combo.Text(), "ODBC");
}

// --- Control objects -------------------------------------------------------------

TEST(ControlObjectTest, AListViewsPropertiesAndMethodsReachItsModel) {
  auto lvObject = std::make_shared<ListViewObject>();
  ListView* lv = &lvObject->model();
  ASSERT_TRUE(PutProperty(*lvObject, "View", Variant(3)).ok());
  EXPECT_EQ(lv->View(), 3);
  DispResult bad = PutProperty(*lvObject, "View", Variant(4));  // one past the report view
  EXPECT_EQ(bad.status, DispStatus::Exception);
  EXPECT_NE(bad.text.find("Invalid view 4"), std::string::npos) << bad.text;
  EXPECT_EQ(lv->View(), 3);
  lv->Add("k", "t");
  EXPECT_EQ(GetProperty(*lvObject, "Count").value, Variant(1));
  ASSERT_TRUE(CallMethod(*lvObject, "Clear").ok());
  EXPECT_EQ(lv->Count(), 0);
}

}  // namespace
}  // namespace qv::platform
