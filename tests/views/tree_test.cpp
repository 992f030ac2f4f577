// The topology tree on embedded stores of every kind: the nodes of a fresh
// load and the lazy folders. (The Add and Delete procedures are checked where
// the views follow every change.)
#include <gtest/gtest.h>

#include "platform/controls.h"
#include "support/store_fixture.h"
#include "support/topology.h"
#include "views_support.h"

namespace qv::test {
namespace {

using platform::TreeNode;
using platform::TreeView;

const std::string kSep = std::string(" ") + static_cast<char>(150) + " ";

class TreeStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteShownTopology(admin);
  }
  std::string Label(int n) { return std::string(AS400() ? "SRCLIB/FILE" : "SRCLIB.FILE") + std::to_string(n); }
};

TEST_P(TreeStore, LoadTreeShowsTheTopLevelsAndEachFolderLoadsOnce) {
  TreeView tv;
  ASSERT_TRUE(control().LoadTree(tv)) << control().ErrorText();
  EXPECT_EQ(Nodes(tv), (Lines{
                           "0 Env|Topology| Env|2",
                           "1 Cibles|Targets| Cibles|3",
                           "2 cN1|N1" + kSep + "Target N1| Ciblen|1",
                           "3 N1/GC|Distributions| SGC|3",
                           "3 N1/Dist|Distribute| SDist|5",
                           "2 cT01|T01" + kSep + "Target T01| Ciblen|10",
                           "3 T01/GC|Distributions| SGC|3",
                           "3 T01/Dist|Distribute| SDist|5",
                           "2 cT02|T02" + kSep + "Target T02| Ciblen|10",
                           "3 T02/GC|Distributions| SGC|3",
                           "3 T02/Dist|Distribute| SDist|5",
                           "1 Groups|Models| Groups|3",
                           "2 gM1|M1" + kSep + "Model M1| Groupn|6",
                           "3 M1/File|Tables| GFile|3",
                           "3 M1/Distg|Distribute| GDist|5",
                           "2 gM2|M2" + kSep + "Model M2| Groupn|6",
                           "3 M2/File|Tables| GFile|3",
                           "3 M2/Distg|Distribute| GDist|5",
                           "1 Messages|Messages| Msgq|8",
                       }));
  EXPECT_TRUE(tv.Item("Env").expanded);

  TreeNode& gc = tv.Item("T01/GC");
  ASSERT_TRUE(control().LoadGCInTree(tv, gc)) << control().ErrorText();
  EXPECT_EQ(gc.tag, "XSGC");
  Lines children;
  for (const TreeNode* n : gc.Children()) {
    children.push_back(n->Key() + "|" + n->text + "|" + n->tag);
    for (const TreeNode* c : n->Children()) children.push_back(c->Key() + "|" + c->text + "|" + c->tag);
  }
  EXPECT_EQ(children, (Lines{"T01:M1|M1" + kSep + "Model M1| GC", "T01:M1/FC|Distributed tables| SGCFC",
                             "T01:M1/Spv|Supervision| SGCSpv"}));
  // A second load adds nothing twice.
  ASSERT_TRUE(control().LoadGCInTree(tv, gc));
  EXPECT_EQ(gc.Children().size(), 1u);

  TreeNode& fc = tv.Item("T01:M1/FC");
  ASSERT_TRUE(control().LoadFCInTree(tv, fc)) << control().ErrorText();
  ASSERT_EQ(fc.Children().size(), 2u);
  EXPECT_EQ(fc.Children()[1]->Key(), "T01:M1:0000000002");
  EXPECT_EQ(fc.Children()[1]->text, Label(2) + kSep + "Table 2 of M1");
  TreeNode& files = tv.Item("M2/File");
  ASSERT_TRUE(control().LoadFileInTree(tv, files)) << control().ErrorText();
  EXPECT_EQ(files.tag, "XGFile");
  ASSERT_EQ(files.Children().size(), 1u);
  EXPECT_EQ(files.Children()[0]->Key(), "M2:0000000001");
  EXPECT_EQ(files.Children()[0]->tag, " File");
}

INSTANTIATE_TEST_SUITE_P(Kinds, TreeStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
