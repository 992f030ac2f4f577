// A tree and every list kept in step by the change events, over a sequence of
// changes of every kind of item, on embedded stores of every kind: after each
// change they equal a fresh load of the changed store, node by node and row
// by row.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "dllparam/admin/source_tables.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "platform/controls.h"
#include "presentation/view_follower.h"
#include "store/record_layouts.h"
#include "support/store_fixture.h"
#include "support/topology.h"
#include "views_support.h"

namespace qv::test {
namespace {

using platform::ListView;
using platform::TreeView;

// Returns the nodes of tv as Nodes does, the tables folder of every
// distribution under its load caption: one added to a loaded tree is named
// "Tables" instead, the one way it may differ from a fresh load.
Lines TreeNodes(const TreeView& tv) {
  Lines out = Nodes(tv);
  const std::string added = "|Tables|XSGCFC|", loaded = "|Distributed tables|XSGCFC|";
  for (std::string& line : out)
    if (std::size_t at = line.find(added); at != std::string::npos) line.replace(at, added.size(), loaded);
  return out;
}

// What the views show: the tree with every folder opened, and one list of
// each kind, loaded for these codes.
struct Views {
  TreeView tree;
  ListView targets, models, distributions, distributedTables, modelTables, fields;
  std::vector<const ListView*> Lists() const {
    return {&targets, &models, &distributions, &distributedTables, &modelTables, &fields};
  }
};
constexpr const char* kShownTarget = "T09";  // added by the sequence
constexpr const char* kShownModel = "M1";
constexpr const char* kAddedTable = "0000000003";  // the table the sequence adds to M1

void Load(QVSource& c, Views& v) {
  ASSERT_TRUE(c.LoadTree(v.tree)) << c.ErrorText();
  OpenFolders(c, v.tree);
  ASSERT_TRUE(c.LoadCibleInList(v.targets)) << c.ErrorText();
  ASSERT_TRUE(c.LoadGroupInList(v.models)) << c.ErrorText();
  ASSERT_TRUE(c.LoadGCInList(v.distributions, kShownTarget)) << c.ErrorText();
  ASSERT_TRUE(c.LoadFCInList(v.distributedTables, kShownTarget, kShownModel)) << c.ErrorText();
  ASSERT_TRUE(c.LoadFileInList(v.modelTables, kShownModel)) << c.ErrorText();
  ASSERT_TRUE(c.LoadZXInList(v.fields, kShownModel, kAddedTable)) << c.ErrorText();
}

// The source table the sequence adds to the model, and its fields: the key,
// the field it changes, the field it removes.
struct SourceTable {
  const char* library;
  const char* file;
  const char* changed;
  const char* removed;
};
SourceTable SourceOf(bool as400) {
  return as400 ? SourceTable{"DEMOLIB", "CUST", "F2", "F3"} : SourceTable{"SALES", "ORDERS", "AMOUNT", "LINE"};
}

using Apply = std::function<bool(QVSource&, const SourceTable&)>;
using Io = std::function<bool(QVSource&, const SourceTable&, std::string&)>;

struct Change {
  const char* what;
  Apply apply;
};

// Returns a change that adds the record of this image through add.
Apply Add(std::string image, bool (QVSource::*add)(std::string&)) {
  return [image, add](QVSource& c, const SourceTable&) {
    std::string r = image;
    return (c.*add)(r);
  };
}

// Returns a change that reads a record through read, sets these fields and
// writes it through write.
Apply Edit(const Layout& layout, std::vector<std::pair<const char*, const char*>> fields, Io read, Io write) {
  return [&layout, fields, read, write](QVSource& c, const SourceTable& source) {
    std::string image(layout.length, ' ');
    if (!read(c, source, image)) return false;
    Record r(layout, image);
    for (const auto& [name, value] : fields) r.Set(name, value);
    image = r.image();
    return write(c, source, image);
  };
}

const std::vector<Change>& Sequence() {
  using T = const SourceTable&;
  using S = std::string&;
  static const std::vector<Change> changes = {
      {"add a target", Add(TopoTarget("E1", "T09").image(), &QVSource::AddCible)},
      {"change a target's type and description",
       Edit(layout::QV_CX, {{"TGTTYPE", "1"}, {"DESCRIP", "Renamed 'quoted'"}},
            [](QVSource& c, T, S r) { return c.DetailCible(r, "T01"); },
            [](QVSource& c, T, S r) { return c.ChangeCible(r, "T01"); })},
      {"hold a target", [](QVSource& c, T) { return c.HoldCible("T09"); }},
      {"release a target", [](QVSource& c, T) { return c.ReleaseCible("N1"); }},
      {"add a model", Add(TopoModel("E1", "M3").image(), &QVSource::AddGroup)},
      {"add a distribution with the model's tables", Add(TopoDistribution("E1", "T09", "M1").image(), &QVSource::AddGC)},
      {"change a model its distributions show",
       Edit(layout::QV_GX, {{"DESCRIP", "Customers"}, {"ACCESMODE", "1"}},
            [](QVSource& c, T, S r) { return c.DetailGroup(r, "M1"); },
            [](QVSource& c, T, S r) { return c.ChangeGroup(r, "M1"); })},
      {"change a distribution",
       Edit(layout::QV_GC, {{"HOLD", "1"}}, [](QVSource& c, T, S r) { return c.DetailGC("M1", "T09", r); },
            [](QVSource& c, T, S r) { return c.ChangeControledGC(r, "T09", "M1"); })},
      {"release a distribution", [](QVSource& c, T) { return c.ReleaseGC("E1", "T09", "M1"); }},
      {"hold a distribution", [](QVSource& c, T) { return c.HoldGC("E1", "T09", "M1"); }},
      {"add a table to a model",
       [](QVSource& c, T source) {
         Record fx(layout::QV_FX, TopoTable("E1", "M1", 99).image());
         Record name(layout::ObjectName);
         name.Set("LIBRARY", source.library);
         name.Set("FILE", source.file);
         fx.Set("SRCTBL", name.image());
         fx.Set("DESCRIP", "Added");
         std::string image = fx.image();
         return c.AddFile(image, "M1");
       }},
      {"change a model table",
       Edit(
           layout::QV_FX, {{"DESCRIP", "Orders"}, {"TGTFILE", "ORDERS"}},
           [](QVSource& c, T, S r) {
             std::string all, manual;
             return c.DetailFile(r, "M1", "0000000002", all, manual);
           },
           [](QVSource& c, T, S r) { return c.ChangeFile(r, "M1", "0000000002"); })},
      {"hold a model table", [](QVSource& c, T) { return c.HoldTable("M1", "0000000002"); }},
      {"release a model table", [](QVSource& c, T) { return c.ReleaseTable("M1", "0000000002"); }},
      {"change a distributed table",
       Edit(
           layout::QV_FC, {{"TGTFILE", "CLIENTS"}},
           [](QVSource& c, T, S r) {
             std::string joined, all, manual;
             return c.DetailFC(r, "T09", "M1", "0000000001", joined, all, manual);
           },
           [](QVSource& c, T, S r) { return c.ChangeControledFC(r, "T09", "M1", "0000000001"); })},
      {"hold a distributed table", [](QVSource& c, T) { return c.HoldFC("T09", "M1", "0000000001"); }},
      {"release a distributed table", [](QVSource& c, T) { return c.ReleaseFC("T09", "M1", "0000000001"); }},
      {"change a field",
       Edit(layout::QV_ZX, {{"DESCRIP", "Amount due"}},
            [](QVSource& c, T source, S r) { return c.DetailZX(r, "M1", kAddedTable, source.changed); },
            [](QVSource& c, T source, S r) { return c.ChangeZX(r, "M1", kAddedTable, source.changed); })},
      {"remove a field from its table",
       [](QVSource& c, T source) {
         ListView edited;
         if (!c.FillFieldListZX(edited, "M1", kAddedTable)) return false;
         edited.Item(std::string("ZONE_") + source.removed).tag = "D";
         return c.UpdateZX("M1", kAddedTable, edited);
       }},
      {"delete a distributed table", [](QVSource& c, T) { return c.DeleteFC("T09", "M1", "0000000002"); }},
      {"delete a model table with its fields", [](QVSource& c, T) { return c.DeleteFile("M1", kAddedTable); }},
      {"delete a distribution", [](QVSource& c, T) { return c.DeleteGC("T01", "M1"); }},
      {"delete a model with its distributions", [](QVSource& c, T) { return c.DeleteGroup("M2"); }},
      {"delete a target", [](QVSource& c, T) { return c.DeleteCible("T02"); }},
      {"add an environment", Add(Ex("E3"), &QVSource::AddEnvironment)},
      {"change the shown environment",
       [](QVSource& c, T) {
         std::string ex = Ex("E1", "P", "Renamed");
         return c.ChangeEnvironment(ex, "E1");
       }},
      // E2 holds items of the same codes as those shown.
      {"release an item of another environment", [](QVSource& c, T) { return c.ReleaseGC("E2", "T09", "M1"); }},
      {"delete another environment", [](QVSource& c, T) { return c.DeleteEnvironment("E2"); }},
      {"delete the shown environment", [](QVSource& c, T) { return c.DeleteEnvironment("E1"); }},
  };
  return changes;
}

class FollowStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteShownTopology(admin);
    WriteModel(admin, "E2", "M1", 3, 1);
    admin.PutRecord(TopoTarget("E2", "T09"));
    admin.PutRecord(TopoDistribution("E2", "T09", "M1"));
    if (AS400()) {
      embedded::CatalogFile f{"DEMOLIB", "CUST", "PF", "Customers", {}, {"F1"}, {}};
      for (const char* field : {"F1", "F2", "F3"}) f.fields.push_back({field, 'A', 10, 0, 0, field, false});
      embedded::PutCatalogFile(admin.db(), f);
    } else {
      embedded::AddSourceTable(admin, embedded::ParseSourceTable("table SALES.ORDERS\n"
                                                                 "CODE CHAR(10) key\n"
                                                                 "AMOUNT DECIMAL(10,2)\n"
                                                                 "LINE INT\n"));
    }
  }
};

TEST_P(FollowStore, ChangesFollowedThroughTheEventsEqualAFreshLoad) {
  Views shown;
  Load(control(), shown);
  TreeFollower tree(control(), shown.tree);
  ListFollower lists(control());
  lists.Targets(shown.targets);
  lists.Models(shown.models);
  lists.Distributions(shown.distributions, kShownTarget);
  lists.DistributedTables(shown.distributedTables, kShownTarget, kShownModel);
  lists.ModelTables(shown.modelTables, kShownModel);
  lists.Fields(shown.fields, kShownModel, kAddedTable);

  // Rows each list showed at some point: a list no change reached proves nothing.
  std::vector<int> most(6, 0);
  for (const Change& change : Sequence()) {
    SCOPED_TRACE(change.what);
    ASSERT_TRUE(change.apply(control(), SourceOf(AS400()))) << control().ErrorText();
    // Folders the tree follower leaves unloaded are opened as the fresh tree's are.
    OpenFolders(control(), shown.tree);
    Views fresh;
    Load(control(), fresh);
    EXPECT_EQ(TreeNodes(shown.tree), Nodes(fresh.tree));
    for (std::size_t i = 0; i < most.size(); ++i) {
      EXPECT_EQ(Rows(*shown.Lists()[i]), Rows(*fresh.Lists()[i])) << "list " << i;
      most[i] = std::max(most[i], shown.Lists()[i]->Count());
    }
    if (HasFailure()) break;
  }
  if (HasFailure()) return;
  EXPECT_EQ(most, (std::vector<int>{4, 3, 1, 3, 3, 3}));
  EXPECT_EQ(shown.tree.Count(), 4);  // the root, its two folders and the message queue
}

INSTANTIATE_TEST_SUITE_P(Kinds, FollowStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
