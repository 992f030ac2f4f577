// AS/400 object queries on the embedded AS/400 source: what its listings,
// checks and file creation give through the control.
#include <gtest/gtest.h>

#include "dllparam/embedded/embedded_catalog.h"
#include "platform/controls.h"
#include "store/records.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

embedded::CatalogFile File(const std::string& library, const std::string& name, const std::string& attribute) {
  embedded::CatalogFile f;
  f.library = library;
  f.name = name;
  f.attribute = attribute;
  f.text = name + " text";
  f.fields.push_back({"ID", 'P', 4, 7, 0, "Id", false});
  return f;
}

// One DDS field line: name in 19-28, length right-aligned in 30-34, type in 35.
std::string Field(const std::string& name, const std::string& length, char type) {
  std::string line = "     A            " + name;
  line.resize(29, ' ');
  return line + std::string(5 - length.size(), ' ') + length + type;
}

class ObjectStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    embedded::PutCatalogFile(admin.db(), File("demolib", "cust", "PF"));
    embedded::PutCatalogFile(admin.db(), File("demolib", "custbyname", "LF"));
    embedded::PutCatalogFile(admin.db(), File("other", "orders", "PF"));
  }
  Lines Listed(const std::function<bool(platform::ListBox&, int32_t&)>& fill) {
    platform::ListBox list;
    int32_t count = -1;
    EXPECT_TRUE(fill(list, count)) << control().ErrorText();
    EXPECT_EQ(count, list.ListCount());
    return list.Items();
  }
};

TEST_P(ObjectStore, ListsFilesOfEveryAttributeAndJournalsOfTheirLibrary) {
  QVSource& s = control();
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return s.FillLIBFile(l, "demolib", "", n); }),
            (Lines{"CUST", "CUSTBYNAME"}));
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return s.FillFileList(l, "DEMOLIB", "PF", "", n); }), (Lines{"CUST"}));
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return s.FillJournalList(l, "DEMOLIB", n); }), Lines{});
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return s.FillFileListJrnBased(l, "QVJRN", "QV_USRDATA", n); }),
            (Lines{"CUST      DEMOLIB   *ALL", "ORDERS    OTHER     *ALL"}));
}

// A library added in one write, over several listing pages: every file once,
// in name order, and only the attribute asked for.
TEST_P(ObjectStore, ListsALibraryOfManyPagesWhole) {
  std::vector<embedded::StoreObject> objects{{"QSYS", "BIGLIB", "*LIB", "PROD", ""}};
  Lines physical;
  for (int i = 150; i > 0; --i) {
    const std::string name = "F" + std::to_string(1000 + i);
    objects.push_back({"BIGLIB", name, "*FILE", i % 10 ? "PF" : "LF", ""});
    if (i % 10) physical.insert(physical.begin(), name);
  }
  Admin().PutObjects(objects);
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "PF", "%", n); }), physical);
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "", "f101_", n); }),
            (Lines{"F1010", "F1011", "F1012", "F1013", "F1014", "F1015", "F1016", "F1017", "F1018", "F1019"}));
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "PF", "%5", n); }),
            (Lines{"F1005", "F1015", "F1025", "F1035", "F1045", "F1055", "F1065", "F1075", "F1085", "F1095", "F1105",
                   "F1115", "F1125", "F1135", "F1145"}));
}

TEST_P(ObjectStore, MissingLibrariesAndJournalsAreErrors) {
  platform::ListBox list;
  int32_t count = 0;
  EXPECT_FALSE(control().FillLIBFile(list, "NOLIB", "PF", count));
  EXPECT_EQ(control().ErrorNum(), 2110);
  EXPECT_FALSE(control().FillFileListJrnBased(list, "NOJRN", "QV_USRDATA", count));
  EXPECT_EQ(control().ErrorNum(), 9801);
  platform::ListView lv;
  EXPECT_FALSE(control().LoadRcvList(lv, "QVJRN", "DEMOLIB"));
  EXPECT_EQ(control().ErrorNum(), 9801);
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_P(ObjectStore, ChecksEveryKindOfObjectItKeeps) {
  QVSource& s = control();
  struct Case {
    const char *object, *library, *type;
    bool exists;
  };
  for (const Case& c : {Case{"demolib", "QSYS", "*LIB", true}, Case{"nolib", "QSYS", "*LIB", false},
                        Case{"cust", "demolib", "*FILE", true}, Case{"orders", "demolib", "*FILE", false},
                        Case{"QV_GC", "QV_USRDATA", "*FILE", true}, Case{"qvjrn", "qv_usrdata", "*JRN", true},
                        Case{"QVJRN", "DEMOLIB", "*JRN", false}}) {
    SCOPED_TRACE(std::string(c.object) + " " + c.type);
    EXPECT_EQ(s.ChkObj(c.object, c.library, c.type), !c.exists);
  }
  EXPECT_TRUE(s.TableASExist("custbyname", "DEMOLIB"));
}

TEST_P(ObjectStore, ReceiversReachTheOneADistributionStartedFrom) {
  platform::ListView lv;
  ASSERT_TRUE(control().LoadRcvList(lv, "QVJRN", "QV_USRDATA")) << control().ErrorText();
  ASSERT_EQ(lv.Count(), 1);
  EXPECT_EQ(lv.Item(1).text, "QVRCV00001");
  EXPECT_EQ(lv.Item(1).SubItem(1), "0000000001");
  EXPECT_EQ(lv.Item(1).SubItem(2), "0000001000");
  EXPECT_EQ(lv.Item(1).SubItem(3).size(), 19u);  // the store's creation, YYYY/MM/DD HH:MM:SS
  EXPECT_EQ(lv.Item(1).SubItem(5), "");

  auto admin = Admin();
  admin.PutRecord(TopoModel("E1", "M1"));
  Record gc = TopoDistribution("E1", "T01", "M1");
  gc.Set("REPRISETYP", "P");
  gc.Set("REPRISERCV", "QVRCV00003");
  gc.Set("REPRISELIB", "QV_USRDATA");
  gc.Set("REPRISEPNT", "0000002001");
  admin.PutRecord(gc);
  ASSERT_TRUE(control().StartQV("E1", "T01", "M1", "")) << control().ErrorText();
  ASSERT_TRUE(control().LoadRcvList(lv, "QVJRN", "QV_USRDATA")) << control().ErrorText();
  ASSERT_EQ(lv.Count(), 3);
  EXPECT_EQ(lv.Item(3).text, "QVRCV00003");
  EXPECT_EQ(lv.Item(3).SubItem(1), "0000002001");
}

TEST_P(ObjectStore, CreatesAFileFromDds) {
  QVSource& s = control();
  const std::string dds =
      "     A          R NEWR                      TEXT('New file')\r\n"
      "     A*  a comment\r\n"
      "     A            ID             7P 0       TEXT('Identifier')\r\n"
      "     A            NAME          30A         VARLEN\r\n"
      "     A            BORN            L\r\n"
      "     A          K ID\r\n";
  ASSERT_TRUE(s.CreateFile("newf", "demolib", dds)) << s.ErrorText();
  platform::ListView lv;
  ASSERT_TRUE(s.FillColumnsListAS400(lv, "DEMOLIB", "NEWF")) << s.ErrorText();
  ASSERT_EQ(lv.Count(), 3);
  EXPECT_EQ(lv.Find("ZONE_ID")->icon, 13);  // the key
  EXPECT_EQ(lv.Find("ZONE_ID")->SubItem(2), "Packed 7,0");
  EXPECT_EQ(lv.Find("ZONE_NAME")->SubItem(2), "VarChar 30");
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return s.FillLIBFile(l, "DEMOLIB", "PF", n); }), (Lines{"CUST", "NEWF"}));

  // An existing file and a DDS source in error create nothing.
  EXPECT_FALSE(s.CreateFile("NEWF", "DEMOLIB", dds));
  EXPECT_NE(s.ErrorText().find("CPF7302"), std::string::npos);
  const std::string format = "     A          R BADR\r\n";
  struct Bad {
    std::string line, says;
  };
  for (const Bad& b : {Bad{Field("AMOUNT", "7", 'X'), "type"}, Bad{Field("CODE", "ZZ", 'A'), "DDS line 2: length \"ZZ\""},
                       Bad{Field("NOLEN", "", 'A'), "DDS line 2: field NOLEN without a length"},
                       Bad{"     A          Q BADQ", "DDS line 2: name type \"Q\""}}) {
    EXPECT_FALSE(s.CreateFile("BADF", "DEMOLIB", format + b.line));
    const std::string error = s.ErrorText();
    EXPECT_NE(error.find(b.says), std::string::npos) << error;
  }
  EXPECT_TRUE(s.ChkObj("BADF", "DEMOLIB", "*FILE"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ObjectStore, testing::Values(kAs400), KindName);

}  // namespace
}  // namespace qv::test
