// AS/400 object queries: the exact listing commands and pages sent to the
// source (recording fake), and what the fillers make of good and bad answers.
#include <gtest/gtest.h>

#include <functional>

#include "platform/controls.h"
#include "presentation/strutil.h"
#include "support/fake_control.h"

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
      {"FillLibraryList", "SYSLSTOBJ", "040960*ALL      QSYS      *LIB      PROD", 70,
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillLibraryList(l, n); }},
      {"FillLIBFile", "SYSLSTOBJ", "040960*ALL      DEMOLIB   *FILE     LF", 70,
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillLIBFile(l, "demolib", "lf", n); }},
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
  EXPECT_FALSE(o.control().FillFileListJrnBased(list, "JOURNALNAME1", "QVJRNLIB", count));
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
  Lines columns;
  for (const auto& c : lv.Columns()) columns.push_back(c.text);
  EXPECT_EQ(columns, (Lines{"Receiver", "First sequence", "Last sequence", "Date first sequence",
                            "Date last sequence", "Save date"}));
  ASSERT_EQ(lv.Count(), 2);
  EXPECT_EQ(lv.Item(1).text, "RCV0001");
  EXPECT_EQ(lv.Item(1).SubItems(), (Lines{"0000000001", "0000001000", "1999/01/02 03:04:05",
                                          "2023/04/05 06:07:08", ""}));
  EXPECT_EQ(lv.Item(2).SubItem(3), "2023/04/05 06:07:09");
  EXPECT_EQ(lv.Item(2).SubItem(4), "1999/12/31 23:59:59");
  EXPECT_EQ(lv.Item(2).SubItem(5), "2024/01/01 00:00:00");

  // A date without its century digit is an error naming it.
  o.fake().On("Execute").Code("SYSLSTRCV").Reply(Page({Entry("RCV3", 77, "0000000001" "0000001000" "2990102030405")}));
  EXPECT_FALSE(o.control().LoadRcvList(lv, "QVJRN", "QVJRNLIB"));
  EXPECT_NE(o.control().ErrorText().find("\"2990102030405\""), std::string::npos);
}

TEST(ObjectChecks, FormatsAndFileChecksAreAskedUpperCased) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSLSTRCD").Reply(Page({PadRight("CUSTR", 80), PadRight("CUSTR2", 80)})).Reply("00000");
  o.fake().On("Execute").Code("CHKOBJ").Fail(2, 0, "down");
  std::vector<std::string> formats{"stale"};
  ASSERT_TRUE(o.control().ListRcd("cust", "demolib", formats));
  EXPECT_EQ(formats, (Lines{"CUSTR", "CUSTR2"}));
  EXPECT_FALSE(o.control().TableASExist("cust", "demolib"));
  EXPECT_EQ(o.control().ErrorText(), "down");
  EXPECT_EQ(Sent(o.fake()), (Lines{"SYSLSTRCD_ 040960CUST      DEMOLIB", "SYSLSTRCD_ 040961",
                                   "CHKOBJ____ CUST      DEMOLIB   *FILE"}));
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
  EXPECT_EQ(o.fake().CallsNamed("Rwrite").size(), 2u);
  EXPECT_EQ(o.fake().CallsNamed("Rclose").size(), 1u);
  EXPECT_EQ(o.fake().Commands().size(), 1u);  // no CRTDDS____
}

}  // namespace
}  // namespace qv::test
