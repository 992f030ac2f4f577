// What the view tests share: the topology they show, tree and list views
// printed as lines to compare, and the lazy folders of a tree opened as a
// user would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "support/topology.h"

namespace qv::test {

using Lines = std::vector<std::string>;

// Writes environment E1: model M1 of two tables distributed to T01 and T02
// (WriteModel), the held NT target N1, and model M2 of one table distributed
// to N1.
inline void WriteShownTopology(embedded::StoreAdmin& admin) {
  WriteModel(admin, "E1", "M1", 2, 2);
  Record nt = TopoTarget("E1", "N1");
  nt.Set("TGTTYPE", "1");
  nt.Set("HOLD", "1");
  admin.PutRecord(nt);
  admin.PutRecord(TopoModel("E1", "M2"));
  admin.PutRecord(TopoTable("E1", "M2", 1));
  admin.PutRecord(TopoDistribution("E1", "N1", "M2"));
  admin.PutRecord(TopoDistributedTable("E1", "N1", "M2", 1));
}

// Returns every row as "key|text|icon|cell1|cell2|...", in the order shown.
inline Lines Rows(const platform::ListView& lv) {
  Lines out;
  for (const platform::ListItem* item : lv.DisplayOrder()) {
    std::string line = item->Key() + "|" + item->text + "|" + std::to_string(item->icon);
    for (int i = 1; i < lv.ColumnCount(); ++i) line += "|" + item->SubItem(i);
    out.push_back(line);
  }
  return out;
}

// Returns the column captions.
inline Lines Captions(const platform::ListView& lv) {
  Lines out;
  for (const platform::ColumnHeader& h : lv.Columns()) out.push_back(h.text);
  return out;
}

// Returns every node as "depth key|text|tag|image", in display order.
inline Lines Nodes(const platform::TreeView& tv) {
  Lines out;
  for (const platform::TreeNode* n : tv.DisplayOrder())
    out.push_back(std::to_string(n->Depth()) + " " + n->Key() + "|" + n->text + "|" + n->tag + "|" +
                  std::to_string(n->image));
  return out;
}

// Loads every folder of tv not loaded yet, through the control's lazy loads.
inline void OpenFolders(QVSource& control, platform::TreeView& tv) {
  for (bool again = true; again;) {
    again = false;
    for (const platform::TreeNode* n : tv.DisplayOrder()) {
      platform::TreeNode& node = tv.Item(n->Key());
      if (node.tag == " SGC") ASSERT_TRUE(control.LoadGCInTree(tv, node)) << control.ErrorText();
      else if (node.tag == " SGCFC") ASSERT_TRUE(control.LoadFCInTree(tv, node)) << control.ErrorText();
      else if (node.tag == " GFile") ASSERT_TRUE(control.LoadFileInTree(tv, node)) << control.ErrorText();
      else continue;
      again = true;
      break;
    }
  }
}

}  // namespace qv::test
