// Field import and adding a table: the exact commands sent to an AS/400
// source (recording fake), and what an embedded store holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalogs/field_listing.h"
#include "dllparam/admin/source_tables.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "platform/controls.h"
#include "store/model_statements.h"
#include "store/record_rules.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// Returns the trimmed values of the columns given, joined by blanks.
std::string Joined(const Record& r, std::initializer_list<const char*> columns) {
  std::string out;
  for (const char* c : columns) {
    if (c != *columns.begin()) out += ' ';
    out += r.Trimmed(c);
  }
  return out;
}

std::string Num10(long long n) {
  const std::string v = std::to_string(n);
  return std::string(10 - v.size(), '0') + v;
}

// One entry of the field listing as the source sends it.
std::string FieldEntry(const std::string& name, char letter, long long pos, long long bytes, long long digits,
                       long long decimals, const std::string& text = "", char fixed = '0') {
  std::string e = FitText(name, 10) + letter + Num10(pos) + Num10(bytes) + Num10(digits) + Num10(decimals) +
                  FitText(text, 30);
  e += std::string(102 - e.size(), ' ') + fixed;
  return e + std::string(108 - e.size(), ' ');
}

std::string Page(const std::vector<std::string>& entries) {
  std::string body;
  for (const std::string& e : entries) body += e;
  return Num10(static_cast<long long>(body.size())).substr(5) + body;
}

// An opened AS/400 fake whose file DEMOLIB/CUST exists with one format.
struct FieldFake : OpenedFake {
  FieldFake() : OpenedFake("AS400") {
    fake().On("Execute").Code("CHKOBJ").Reply("000010").Repeatedly();
    fake().On("Execute").Code("SYSLSTRCD").Reply("00080" + FitText("CUSTR     CUST      0000000042", 80)).Reply("00000");
  }
  void Fields(const std::string& access, const std::vector<std::string>& pages) {
    fake().On("Execute").Code("SYSRTVACPT").Reply(access);
    FakeRule& rule = fake().On("Execute").Code("SYSLSTFLD");
    for (const std::string& p : pages) rule.Reply(p);
    rule.Reply("00000");
  }
  std::vector<Record> Written() {
    std::vector<Record> out;
    for (const FakeCall& c : fake().CallsNamed("Rwrite")) out.emplace_back(layout::QV_ZX, c.Arg(1));
    return out;
  }
};

TEST(FieldCommands, AListingOfThreePagesAsksFirstWithZeroThenWithOne) {
  FieldFake o;
  o.Fields("00040CUST      DEMOLIB   KU001REGION    ",
           {Page({FieldEntry("CUSTNO", 'P', 1, 4, 7, 0)}), Page({FieldEntry("REGION", 'A', 5, 2, 0, 0)}),
            Page({FieldEntry("NAME", 'A', 7, 30, 0, 0, "", '1'), FieldEntry("ID", 'B', 37, 4, 9, 0),
                  FieldEntry("RATE", 'F', 41, 8, 17, 0), FieldEntry("PIC", 'G', 49, 10, 0, 0)})});
  platform::ListView lv;
  ASSERT_TRUE(o.control().FillColumnsListAS400(lv, "demolib", "cust")) << o.control().ErrorText();
  Lines sent;
  for (const FakeCommand& c : o.fake().Commands()) sent.push_back(c.code + " " + c.Request());
  EXPECT_EQ(sent, (Lines{"CHKOBJ____ CUST      DEMOLIB   *FILE", "SYSLSTRCD_ 040960CUST      DEMOLIB",
                         "SYSLSTRCD_ 040961", "SYSRTVACPT 04096CUST      DEMOLIB", "SYSLSTFLD_ 040960CUST      DEMOLIB",
                         "SYSLSTFLD_ 040961", "SYSLSTFLD_ 040961", "SYSLSTFLD_ 040961"}));
  for (const FakeCommand& c : o.fake().Commands())
    if (c.code != "CHKOBJ____") {
      EXPECT_EQ(c.ctl, "0000004096");
    }
  ASSERT_EQ(lv.Count(), 6);
  for (const platform::ListItem* item : lv.DisplayOrder())
    EXPECT_EQ(item->SubItem(6), item->text == "REGION" ? "No" : "Yes") << item->text;
  EXPECT_EQ(lv.Find("ZONE_REGION")->SubItem(7), "00001");
  EXPECT_EQ(lv.Find("ZONE_CUSTNO")->icon, 12);
  EXPECT_EQ(lv.Find("ZONE_NAME")->SubItem(13), "00011");  // after packed 7,0 (8) and char 2
  // Binary and float fields show their bytes; a letter without a type shows none.
  EXPECT_EQ((Lines{lv.Find("ZONE_ID")->SubItem(2), lv.Find("ZONE_ID")->SubItem(11), lv.Find("ZONE_RATE")->SubItem(11),
                   lv.Find("ZONE_PIC")->SubItem(2)}),
            (Lines{"Binary 4", "00010", "00031", ""}));
}

TEST(FieldCommands, StoredFieldsFollowTheConversionOfEveryLetter) {
  FieldFake o;
  o.Fields("00050CUST      DEMOLIB   KU002ID        CODE      ",
           {Page({FieldEntry("AMOUNT", 'P', 1, 4, 7, 2, "Amount"), FieldEntry("QTY", 'S', 5, 7, 7, 0),
                  FieldEntry("ID", 'B', 12, 4, 9, 0), FieldEntry("CODE", 'A', 16, 3, 0, 0),
                  FieldEntry("RATE", 'F', 19, 8, 17, 0), FieldEntry("NOTE", 'O', 27, 20, 0, 0, "", '1'),
                  FieldEntry("BORN", 'L', 47, 10, 0, 0), FieldEntry("AT", 'T', 57, 8, 0, 0),
                  FieldEntry("STAMP", 'Z', 65, 26, 0, 0)})});
  ASSERT_TRUE(o.control().AddAllZX("E1", "M1", "0000000007", "DEMOLIB", "CUST")) << o.control().ErrorText();
  const std::vector<Record> zx = o.Written();
  ASSERT_EQ(zx.size(), 9u);
  const Lines expected = {
      "AMOUNT P  00007 00002 00001 00009 1 00000", "QTY Z  00007 00000 00010 00008 1 00000",
      "ID B  00009 00000 00018 00010 0 00001",     "CODE C  00003 00000 00028 00003 2 00002",
      "RATE F  00017 00000 00031 00014 1 00000",   "NOTE V  00020 00000 00045 00020 1 00000",
      "BORN L d 00010 00000 00065 00010 1 00000",  "AT T e 00008 00000 00075 00008 1 00000",
      "STAMP S f 00026 00000 00083 00026 1 00000"};
  for (std::size_t i = 0; i < zx.size(); ++i) {
    EXPECT_EQ(Joined(zx[i], {"FIELDINPUT", "FIELDTYPE", "MASKDATE", "LEN", "DECI", "POS_EXT", "LEN_EXT", "ALLOWNULL",
                             "KEYORDER", "ENVID", "FICID"}),
              expected[i] + " E1 0000000007");
  }
  EXPECT_EQ(zx[0].Trimmed("DESCRIP"), "Amount");
  EXPECT_EQ(zx[2].Get("POS_IN"), "00012");
}

// A list of n fields with the action given.
void AddItems(platform::ListView& lv, int n, const std::string& action, const std::string& stem) {
  for (int i = 1; i <= n; ++i) {
    platform::ListItem& item = lv.Add("ZONE_" + stem + std::to_string(i), stem + std::to_string(i));
    item.tag = action;
    item.SetSubItem(1, "O'Brien");
    item.SetSubItem(3, "");
    item.SetSubItem(6, "Yes");
    item.SetSubItem(8, "C");
    item.SetSubItem(9, "10");
  }
}

TEST(FieldCommands, FieldWritesGoInBatchesOf35RecordsAnd136Keys) {
  FieldFake o;
  o.fake().On("Rreadk").File("QV_USRDATA/QV_FX").Record(Fx("E1", "M1", "0000000001")).Repeatedly();
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Record(Gx("E1", "M1")).Repeatedly();
  platform::ListView lv;
  AddItems(lv, 36, "A", "N");
  AddItems(lv, 137, "D", "X");
  AddItems(lv, 2, "", "K");  // unchanged fields are not sent
  ASSERT_TRUE(o.control().UpdateZX("M1", "0000000001", lv)) << o.control().ErrorText();
  Lines heads;
  for (const FakeCommand& c : o.fake().Commands()) {
    EXPECT_EQ(c.data.size(), 4097u);
    EXPECT_EQ(c.data.back(), '\0');
    heads.push_back(c.code + " " + c.data.substr(0, c.data[5] == '2' ? 9 : 8));
  }
  EXPECT_EQ(heads, (Lines{"SYSWRTZX__ 040960E1", "SYSWRTZX__ 04096135", "SYSWRTZX__ 04096101",
                          "SYSWRTZX__ 040962136", "SYSWRTZX__ 040962001"}));
  const std::vector<FakeCommand> commands = o.fake().Commands();
  EXPECT_EQ(commands[0].Request(), "040960E1M1 0000000001");
  EXPECT_EQ(commands[2].data.substr(8, 114),
            Make(layout::QV_ZX, {{"ENVID", "E1"}, {"GRPID", "M1"}, {"FICID", "0000000001"},
                                 {"FIELDINPUT", "N36"}, {"DESCRIP", "O'Brien"}, {"FIELDTYPE", "C"},
                                 {"MASKDATE", " "}, {"LEN", "00010"}, {"DECI", "00000"}, {"POS_IN", "00000"},
                                 {"LEN_IN", "00000"}, {"POS_EXT", "00000"}, {"LEN_EXT", "00000"},
                                 {"ALLOWNULL", "1"}, {"KEYORDER", "00000"}})
                .image());
  EXPECT_EQ(commands[4].data.substr(9, 30), FitText("X137", 30));
  EXPECT_EQ(o.fake().CallCount("Rupdate"), 1);  // the table's record, rewritten last

  o.fake().ClearCalls();
  platform::ListView none;
  AddItems(none, 3, "", "K");
  ASSERT_TRUE(o.control().UpdateZX("M1", "0000000001", none));
  EXPECT_TRUE(o.fake().Commands().empty());
}

TEST(FieldCommands, NtFieldChangesAreStatementsWithEveryValueQuoted) {
  OpenedFake o("SQL Server");
  o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_FX").Row(Fx("E1", "M1", "0000000001")).Repeatedly();
  o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_GX").Row(Gx("E1", "M1")).Repeatedly();
  platform::ListView lv;
  AddItems(lv, 1, "A", "N");
  AddItems(lv, 1, "D", "X");
  AddItems(lv, 1, "U", "U");
  lv.Find("ZONE_U1")->SetSubItem(6, "bad");
  EXPECT_FALSE(o.control().UpdateZX("M1", "0000000001", lv));
  EXPECT_FALSE(o.Writes());
  lv.Find("ZONE_U1")->SetSubItem(6, "rtrim ");
  ASSERT_TRUE(o.control().UpdateZX("M1", "0000000001", lv)) << o.control().ErrorText();
  Lines changes;
  for (const std::string& s : o.fake().Statements())
    if (s.rfind("SELECT", 0) != 0 && s.find("QV_ZX") != std::string::npos) changes.push_back(s);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].substr(0, 177),
            "INSERT INTO QV_USRDATA..QV_ZX (ENVID,GRPID,FICID,FIELDINPUT,DESCRIP,FIELDTYPE,MASKDATE,LEN,DECI,POS_IN,"
            "LEN_IN,POS_EXT,LEN_EXT,ALLOWNULL,KEYORDER) VALUES('E1','M1 ','0000000001',");
  EXPECT_NE(changes[0].find("'O''Brien"), std::string::npos);
  EXPECT_EQ(changes[1], "DELETE FROM QV_USRDATA..QV_ZX WHERE ENVID='E1'AND GRPID='M1 ' AND FICID ='0000000001' AND "
                        "FIELDINPUT ='X1" + std::string(28, ' ') + "'");
  EXPECT_EQ(changes[2].rfind("UPDATE QV_USRDATA..QV_ZX SET ENVID ='E1', ", 0), 0u);
  EXPECT_NE(changes[2].find("ALLOWNULL ='2'"), std::string::npos);
}

// ---- What the embedded store holds ------------------------------------------------------

embedded::CatalogFile CustomerFile(int fields, long long bytes = 10) {
  embedded::CatalogFile f;
  f.library = "demolib";
  f.name = "cust";
  f.text = "Customers";
  f.keys = {"F1"};
  for (int i = 1; i <= fields; ++i)
    f.fields.push_back({"F" + std::to_string(i), 'A', bytes, 0, 0, "Field " + std::to_string(i), false});
  return f;
}

// A model M1 distributed to two targets, a model M3 distributed by hand, and
// a source file of three fields: DEMOLIB/CUST (key F1) on AS/400, the table
// SALES.ORDERS (keys CODE and LINE) elsewhere.
class AddFileStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteModel(admin, "E1", "M1", 2, 2);
    admin.PutRecord(TopoModel("E1", "M3", "1"));
    admin.PutRecord(TopoDistribution("E1", "T01", "M3"));
    if (AS400()) {
      embedded::PutCatalogFile(admin.db(), CustomerFile(3));
      return;
    }
    embedded::AddSourceTable(admin, embedded::ParseSourceTable("table SALES.ORDERS\n"
                                                               "CODE CHAR(10) key\n"
                                                               "AMOUNT DECIMAL(10,2)\n"
                                                               "LINE INT key\n"));
  }
  // Returns a new model-table record naming the file of the source's library
  // (its source file when file is empty).
  std::string NewTable(const std::string& file = "") {
    Record fx(layout::QV_FX, TopoTable("E1", "M1", 99).image());
    Record name(layout::ObjectName);
    name.Set("LIBRARY", AS400() ? "DEMOLIB" : "SALES");
    name.Set("FILE", !file.empty() ? file : AS400() ? "CUST" : "ORDERS");
    fx.Set("SRCTBL", name.image());
    return fx.image();
  }
  std::size_t Rows(const Layout& table, const std::string& grp, const std::string& fic) {
    std::size_t n = 0;
    for (const std::string& image : Stored(table)) {
      const Record r(table, image);
      if (r.Trimmed("GRPID") == grp && r.Get("FICID") == fic) ++n;
    }
    return n;
  }
};

TEST_P(AddFileStore, TheTableIsNumberedImportedAndDistributed) {
  std::string fx = NewTable();
  ASSERT_TRUE(control().AddFile(fx, "M1")) << control().ErrorText();
  EXPECT_EQ(Joined(Record(layout::QV_FX, fx), {"FICID", "LENREC", "LENRECOUT", "NBRFIELDIN"}),
            "0000000003 0000000030 0000000030 00003");
  Lines fields;
  for (const std::string& image : Stored(layout::QV_ZX)) {
    const Record zx(layout::QV_ZX, image);
    if (zx.Get("FICID") == "0000000003")
      fields.push_back(Joined(zx, {"FIELDINPUT", "FIELDTYPE", "POS_IN", "LEN_IN", "ALLOWNULL", "KEYORDER"}));
  }
  std::sort(fields.begin(), fields.end());
  const Lines expected = AS400() ? Lines{"F1 C 00001 00010 2 00001", "F2 C 00011 00010 1 00000",
                                         "F3 C 00021 00010 1 00000"}
                                 : Lines{"AMOUNT Xn 00011 00010 1 00000", "CODE C 00001 00010 0 00001",
                                         "LINE XI 00021 00010 0 00002"};
  EXPECT_EQ(fields, expected);
  Lines distributed;
  for (const std::string& image : Stored(layout::QV_FC)) {
    const Record fc(layout::QV_FC, image);
    if (fc.Get("FICID") == "0000000003") distributed.push_back(Joined(fc, {"GRPID", "TGTFILE", "NUMFC"}));
  }
  EXPECT_EQ(distributed, (Lines{"M1  0000000000", "M1  0000000000"}));
  EXPECT_EQ(events.Named("FXadded").size(), 1u);
  EXPECT_EQ(events.Named("FCadded").size(), 2u);
  std::string manual = NewTable();
  ASSERT_TRUE(control().AddFile(manual, "M3")) << control().ErrorText();
  EXPECT_EQ(Record(layout::QV_FX, manual).Get("FICID"), "0000000001");
  EXPECT_EQ(Rows(layout::QV_FC, "M3", "0000000001"), 0u);
}

// A source file that is missing, or (on AS/400) that has a type letter
// without a field type, leaves the store as it was and says why.
TEST_P(AddFileStore, AFileThatCannotBeImportedLeavesTheStoreAsItWas) {
  if (AS400()) {
    embedded::CatalogFile graphic = CustomerFile(2);
    graphic.name = "PICS";
    graphic.fields[1].type = 'G';
    auto admin = Admin();
    embedded::PutCatalogFile(admin.db(), graphic);
  }
  const auto before = Snapshot();
  std::string missing = NewTable("NOPE");
  EXPECT_FALSE(control().AddFile(missing, "M1"));
  EXPECT_EQ(control().ErrorNum(), AS400() ? 40 : 208);
  EXPECT_NE(control().ErrorText().find("NOPE"), std::string::npos) << control().ErrorText();
  if (AS400()) {
    std::string pics = NewTable("PICS");
    EXPECT_FALSE(control().AddFile(pics, "M1"));
    EXPECT_EQ(control().ErrorText(), "field F2 has the type letter \"G\", which has no field type");
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(events.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, AddFileStore, AllKinds(), KindName);

// What only AS/400 source files have: record lengths past the limit and
// field changes made from the file.
class As400AddFile : public AddFileStore {};

TEST_P(As400AddFile, ARecordOver32000KeepsTheTableAndItsFieldsUndistributed) {
  auto admin = Admin();
  embedded::PutCatalogFile(admin.db(), CustomerFile(4, 8001));
  std::string fx = NewTable();
  EXPECT_FALSE(control().AddFile(fx, "M1"));
  EXPECT_EQ(control().ErrorNum(), 40);
  EXPECT_EQ(control().ErrorText(), "The lenght of the record is greather than 32000");
  EXPECT_EQ(Rows(layout::QV_FX, "M1", "0000000003"), 1u);
  EXPECT_EQ(Rows(layout::QV_ZX, "M1", "0000000003"), 4u);
  EXPECT_EQ(Rows(layout::QV_FC, "M1", "0000000003"), 0u);
}

TEST_P(As400AddFile, FieldChangesReachTheStore) {
  std::string fx = NewTable();
  ASSERT_TRUE(control().AddFile(fx, "M1"));
  platform::ListView lv;
  ASSERT_TRUE(control().FillFieldFromFileAS(lv, "F.CUST", "DEMOLIB", "CUST"));
  ASSERT_EQ(lv.Count(), 4);
  EXPECT_EQ(lv.Find("ZONE_F.CUST@EOF@")->SubItem(2), "Char 1");
  lv.Remove("ZONE_F.CUST@EOF@");
  lv.Find("ZONE_F1")->tag = "D";
  platform::ListItem& f2 = *lv.Find("ZONE_F2");
  f2.tag = "U";
  f2.SetSubItem(1, "Renamed");
  platform::ListItem& added = lv.Add("ZONE_NEW", "NEW");
  added.tag = "A";
  for (int i = 1; i <= 13; ++i) added.SetSubItem(i, f2.SubItem(i));
  added.SetSubItem(6, "Same");
  ASSERT_TRUE(control().UpdateZX("M1", "0000000003", lv)) << control().ErrorText();
  Lines fields;
  for (const std::string& image : Stored(layout::QV_ZX)) {
    const Record zx(layout::QV_ZX, image);
    if (zx.Get("FICID") == "0000000003" && zx.Trimmed("GRPID") == "M1")
      fields.push_back(Joined(zx, {"FIELDINPUT", "DESCRIP", "ALLOWNULL"}));
  }
  std::sort(fields.begin(), fields.end());
  EXPECT_EQ(fields, (Lines{"F2 Renamed 1", "F3 Field 3 1", "NEW Renamed 3"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, As400AddFile, testing::Values(kAs400), KindName);

TEST(CatalogDescription, ReadsEveryItemAndNamesTheLineOfAMistake) {
  const embedded::CatalogFile f = embedded::ParseCatalogDescription(
      "# customers\r\n"
      "file demolib/cust LF  Customers of the shop\n"
      "\n"
      "format CUSTR\n"
      "key CUSTNO\n"
      "field CUSTNO P 4 7 0 Customer number\n"
      "field NAME A 30 0 0 varying   The name\n"
      "field PIC G 10 0 0\n");
  EXPECT_EQ(f.library + "/" + f.name + " " + f.attribute + " " + f.text, "demolib/cust LF Customers of the shop");
  EXPECT_EQ(f.formats, std::vector<std::string>{"CUSTR"});
  EXPECT_EQ(f.keys, std::vector<std::string>{"CUSTNO"});
  ASSERT_EQ(f.fields.size(), 3u);
  EXPECT_EQ(f.fields[0].digits, 7);
  EXPECT_TRUE(f.fields[1].varying);
  EXPECT_EQ((Lines{f.fields[0].text, f.fields[1].text, f.fields[2].text}), (Lines{"Customer number", "The name", ""}));
  struct Bad {
    const char* text;
    const char* message;
  } bad[] = {
      {"field A A 1 0 0\n", "no file line"},
      {"file L/F\nfield A A x 0 0\n", "line 2: bytes \"x\" is not a number"},
      {"file L/F\nfield A AB 1 0 0\n", "line 2: the type \"AB\" is not one letter"},
      {"file L/F\ncolumn A\n", "line 2: unknown item \"column\"; expected file, format, key or field"},
      {"file LF\n", "line 1: file needs LIBRARY/FILE"},
  };
  for (const Bad& b : bad)
    EXPECT_THAT([&] { embedded::ParseCatalogDescription(b.text); },
                testing::ThrowsMessage<std::invalid_argument>(testing::StrEq(b.message)));
  EmbeddedStore store(embedded::SourceKind::AS400);
  auto admin = store.Admin();
  embedded::CatalogFile unknown = f;
  unknown.fields[2].type = 'X';
  EXPECT_THROW(embedded::PutCatalogFile(admin.db(), unknown), std::invalid_argument);
  unknown = f;
  unknown.keys = {"NOPE"};
  EXPECT_THROW(embedded::PutCatalogFile(admin.db(), unknown), std::invalid_argument);
  EXPECT_TRUE(embedded::CatalogFiles(admin.db()).empty());
}

}  // namespace
}  // namespace qv::test
