// AS/400 object queries: the exact listing commands and pages sent to the
// source (recording fake) and what the fillers make of good and bad answers;
// then what the listings, checks and file creation of the embedded AS/400
// source give through the control.
#include <gtest/gtest.h>

#include <functional>

#include "dllparam/embedded/embedded_catalog.h"
#include "platform/controls.h"
#include "presentation/strutil.h"
#include "store/records.h"
#include "support/fake_control.h"
#include "support/store_fixture.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

std::string Count5(std::size_t n) {
  const std::string v = std::to_string(n);
  return std::string(5 - v.size(), '0') + v;
}

std::string Page(const std::vector<std::string>& entries) {
  std::string body;
  for (const std::string& e : entries) body += e;
  return Count5(body.size()) + body;
}

std::string Entry(const std::string& first, std::size_t width, const std::string& rest = "") {
  return PadRight(PadRight(first, 10) + rest, width);
}

// Entries named prefix + number, enough to fill one 4096-byte page.
std::vector<std::string> FullPage(const std::string& prefix, std::size_t width) {
  std::vector<std::string> out;
  for (std::size_t i = 0; (i + 1) * width <= 4096 - 5; ++i) out.push_back(Entry(prefix + std::to_string(i), width));
  return out;
}

Lines Sent(const RecordingFake& fake) {
  Lines out;
  for (const FakeCommand& c : fake.Commands()) out.push_back(c.code + " " + c.Request());
  return out;
}

// One list filler: what it sends first, its entry width, and the call.
struct Filler {
  const char* name;
  const char* code;
  std::string first;  // the first request
  std::size_t width;
  std::function<bool(QVSource&, platform::ListBox&, int32_t&)> fill;
};

std::vector<Filler> Fillers() {
  return {
      {"fillLIB", "SYSLSTOBJ", "040960*ALL      QSYS      *LIB      PROD", 70,
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.fillLIB(l, true, n); }},
      {"FillFileList", "SYSLSTOBJ", "040960*ALL      DEMOLIB   *FILE     PF", 70,
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillFileList(l, " DEMOLIB", "PF", "%", n); }},
      {"FillJournalList", "SYSLSTOBJ", "040960*ALL      QVJRNLIB  *JRN", 70,
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillJournalList(l, "QvJrnLib", n); }},
      {"FillFileListJrnBased", "SYSLSTJRN", "040960QVJRN     QVJRNLIB", 50,
       [](QVSource& s, platform::ListBox& l, int32_t& n) {
         return s.FillFileListJrnBased(l, "qvjrn", "qvjrnlib", n);
       }},
  };
}

// What a filler sends and keeps as its listing goes on or ends: a full page
// and one more before a count of zero, an empty first page, a failed second
// page (not retried), a malformed second page.
TEST(ObjectLists, EveryFillerPagesUntilACountOfZeroAndKeepsWhatCameBeforeAnEarlyEnd) {
  struct Case {
    const char* what;
    std::function<void(FakeRule&, std::size_t)> second;
    bool empty, ok;
    std::string error;
    std::size_t commands;
  };
  const Case cases[] = {
      {"paged", [](FakeRule& r, std::size_t w) { r.Reply(Page({Entry("LAST", w)})).Reply("00000"); }, false, true,
       "", 3},
      {"empty", [](FakeRule&, std::size_t) {}, true, true, "", 1},
      {"failed", [](FakeRule& r, std::size_t) { r.Fail(2, 9801, "CPF9801 object not found"); }, false, false,
       "CPF9801 object not found", 2},
      {"not a multiple", [](FakeRule& r, std::size_t w) { r.Reply(Count5(w - 1) + Entry("X", w)); }, false, false,
       "not a multiple of", 2},
      {"larger than the area", [](FakeRule& r, std::size_t w) { r.Reply(Count5(2 * w) + Entry("X", w)); }, false,
       false, "bytes of entries but holds", 2},
  };
  for (const Filler& f : Fillers())
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.name) + ", " + c.what);
      OpenedFake o("AS400");
      const std::vector<std::string> full = FullPage("A", f.width);
      FakeRule& rule = o.fake().On("Execute").Code(f.code);
      rule.Reply(c.empty ? "00000" : Page(full));
      c.second(rule, f.width);
      platform::ListBox list;
      int32_t count = -1;
      EXPECT_EQ(f.fill(o.control(), list, count), c.ok);
      Lines sent{std::string(f.code) + "_ " + f.first};
      sent.resize(c.commands, std::string(f.code) + "_ 040961");
      EXPECT_EQ(Sent(o.fake()), sent);
      for (const FakeCommand& command : o.fake().Commands()) EXPECT_EQ(command.ctl, "0000004096");
      Lines kept;
      for (std::size_t i = 0; !c.empty && i < full.size(); ++i) kept.push_back("A" + std::to_string(i));
      if (c.ok && !c.empty) kept.push_back("LAST");
      EXPECT_EQ(list.Items(), kept);
      EXPECT_EQ(count, list.ListCount());
      const std::string error = o.control().ErrorText();
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_EQ(o.control().ErrorStep(), f.name);
    }
}

TEST(ObjectLists, BadNamesAndTypesAreRefusedBeforeAnythingIsSent) {
  OpenedFake o("AS400");
  platform::ListBox list;
  int32_t count = 0;
  EXPECT_FALSE(o.control().FillLIBFile(list, "LIBRARYNAME1", "PF", count));
  EXPECT_EQ(o.control().ErrorText(), "Library name \"LIBRARYNAME1\" is longer than 10 characters");
  EXPECT_FALSE(o.control().FillLIBFile(list, "DEMOLIB", "DSPF", count));
  EXPECT_EQ(o.control().ErrorText(), "File type \"DSPF\" is neither PF, LF nor blank");
  EXPECT_FALSE(o.control().CreateFile("FILENAME_TOO", "L", "A R REC"));
  EXPECT_EQ(o.control().ErrorNum(), QVSource::kRefusalNum);
  EXPECT_FALSE(o.control().CreateFile("NEWF", "DEMOLIB", "L1\r\n" + std::string(81, 'A')));
  EXPECT_EQ(o.control().ErrorText(), "DDS line 2 is longer than 80 characters");
  EXPECT_TRUE(o.fake().Calls().empty());
}

TEST(ObjectLists, TheLibraryCacheIsReadAgainOnlyOnRefreshOrWhenEmpty) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSLSTOBJ").Reply("00000").Reply(Page({Entry("LIB1", 70)})).Reply("00000")
      .Reply(Page({Entry("LIB2", 70)})).Reply("00000");
  platform::ListBox list;
  int32_t count = 0;
  for (bool refresh : {false, false, false, true}) ASSERT_TRUE(o.control().fillLIB(list, refresh, count));
  EXPECT_EQ(o.fake().Commands().size(), 5u);  // empty, LIB1 (twice from the cache), LIB2
  EXPECT_EQ(list.Items(), (Lines{"LIB1", "LIB1", "LIB2"}));
}

TEST(ReceiverList, ShowsSequencesAndCenturyDatesUnderTheirColumns) {
  OpenedFake o("AS400");
  const std::string rcv1 =
      Entry("RCV0001", 77, "0000000001" "0000001000" "0990102030405" "1230405060708" "             ");
  const std::string rcv2 = Entry("RCV0002", 77, "0000001001" "0000001500" "1230405060709" "0991231235959" "1240101000000");
  o.fake().On("Execute").Code("SYSLSTRCV").Reply(Page({rcv1, rcv2})).Reply("00000");
  platform::ListView lv;
  lv.Add("OLD", "old");
  ASSERT_TRUE(o.control().LoadRcvList(lv, "qvjrn", "qvjrnlib")) << o.control().ErrorText();
  EXPECT_EQ(Sent(o.fake()), (Lines{"SYSLSTRCV_ 040960QVJRN     QVJRNLIB", "SYSLSTRCV_ 040961"}));
  ASSERT_EQ(lv.Count(), 2);
  EXPECT_EQ(lv.Item(1).text, "RCV0001");
  EXPECT_EQ(lv.Item(1).SubItems(), (Lines{"0000000001", "0000001000", "1999/01/02 03:04:05",
                                          "2023/04/05 06:07:08", ""}));
  EXPECT_EQ(lv.Item(2).SubItems(), (Lines{"0000001001", "0000001500", "2023/04/05 06:07:09", "1999/12/31 23:59:59",
                                          "2024/01/01 00:00:00"}));

  // A date without its century digit is an error naming it.
  o.fake().On("Execute").Code("SYSLSTRCV").Reply(Page({Entry("RCV3", 77, "0000000001" "0000001000" "2990102030405")}));
  EXPECT_FALSE(o.control().LoadRcvList(lv, "QVJRN", "QVJRNLIB"));
  EXPECT_NE(o.control().ErrorText().find("\"2990102030405\""), std::string::npos);
}

TEST(CreateFile, ClearsTheMemberWritesEveryLineThenCreates) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("CLRDDS").Return(1);
  o.fake().On("Execute").Code("CRTDDS").Return(1);
  ASSERT_TRUE(o.control().CreateFile("newf", "demolib", "     A          R NEWR\r\n     A            ID  5\r\n"))
      << o.control().ErrorText();
  const std::string member = "QTEMP/QDDSSRC(QUORVANE)";
  EXPECT_EQ(o.Trace(), (Lines{"Execute CLRDDS____ 04096", "Ropen " + member, "Rwrite " + member, "Rwrite " + member,
                              "Rclose " + member, "Execute CRTDDS____ 04096NEWF      DEMOLIB"}));
  const auto writes = o.fake().CallsNamed("Rwrite");
  EXPECT_EQ(writes.at(1).Arg(1), "     A            ID  5");
  EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(1), "rr+");
}

TEST(CreateFile, StopsAtTheFirstFailedWrite) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("CLRDDS").Return(1);
  o.fake().On("Rwrite").Return(1).Fail(2, 0, "member full");
  EXPECT_FALSE(o.control().CreateFile("NEWF", "DEMOLIB", "L1\r\nL2\r\nL3"));
  EXPECT_EQ(o.control().ErrorText(), "member full");
  const std::string member = "QTEMP/QDDSSRC(QUORVANE)";
  EXPECT_EQ(o.Trace(), (Lines{"Execute CLRDDS____ 04096", "Ropen " + member, "Rwrite " + member,
                              "Rwrite " + member + " -> 0", "Rclose " + member}));
}

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
  Lines physical, f101, endingIn5;
  for (int i = 150; i > 0; --i) {
    const std::string name = "F" + std::to_string(1000 + i);
    objects.push_back({"BIGLIB", name, "*FILE", i % 10 ? "PF" : "LF", ""});
    if (i % 10) physical.insert(physical.begin(), name);
    if (i / 10 == 1) f101.insert(f101.begin(), name);
    if (i % 10 == 5) endingIn5.insert(endingIn5.begin(), name);
  }
  Admin().PutObjects(objects);
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "PF", "%", n); }), physical);
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "", "f101_", n); }), f101);
  EXPECT_EQ(Listed([&](auto& l, auto& n) { return control().FillFileList(l, "BIGLIB", "PF", "%5", n); }), endingIn5);
}

TEST_P(ObjectStore, MissingLibrariesAndJournalsAreErrors) {
  platform::ListBox list;
  int32_t count = 0;
  EXPECT_FALSE(control().FillLIBFile(list, "NOLIB", "PF", count));
  EXPECT_EQ(control().ErrorNum(), 2110);
  EXPECT_FALSE(control().FillFileListJrnBased(list, "NOJRN", "QV_USRDATA", count));
  EXPECT_EQ(control().ErrorNum(), 9801);
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_P(ObjectStore, ChecksEveryKindOfObjectItKeeps) {
  QVSource& s = control();
  struct Case {
    const char *object, *library, *type;
    bool exists;
  };
  for (const Case& c : {Case{"demolib", "QSYS", "*LIB", true}, Case{"cust", "demolib", "*FILE", true},
                        Case{"orders", "demolib", "*FILE", false}, Case{"QV_GC", "QV_USRDATA", "*FILE", true},
                        Case{"qvjrn", "qv_usrdata", "*JRN", true}}) {
    SCOPED_TRACE(std::string(c.object) + " " + c.type);
    EXPECT_EQ(s.ChkObj(c.object, c.library, c.type), !c.exists);
  }
  EXPECT_TRUE(s.TableASExist("custbyname", "DEMOLIB"));
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
  EXPECT_EQ((Lines{lv.Find("ZONE_ID")->SubItem(2), lv.Find("ZONE_NAME")->SubItem(2)}),
            (Lines{"Packed 7,0", "VarChar 30"}));
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
