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

TEST(ObjectLists, EveryFillerPagesUntilACountOfZeroAndAddsEveryEntry) {
  for (const Filler& f : Fillers()) {
    SCOPED_TRACE(f.name);
    OpenedFake o("AS400");
    const std::vector<std::string> full = FullPage("A", f.width);
    o.fake().On("Execute").Code(f.code).Reply(Page(full)).Reply(Page({Entry("LAST", f.width)})).Reply("00000");
    platform::ListBox list;
    int32_t count = -1;
    ASSERT_TRUE(f.fill(o.control(), list, count)) << o.control().ErrorText();
    EXPECT_EQ(Sent(o.fake()), (Lines{std::string(f.code) + "_ " + f.first, std::string(f.code) + "_ 040961",
                                     std::string(f.code) + "_ 040961"}));
    for (const FakeCommand& c : o.fake().Commands()) EXPECT_EQ(c.ctl, "0000004096");
    ASSERT_EQ(count, static_cast<int32_t>(full.size() + 1));
    ASSERT_EQ(list.ListCount(), count);
    EXPECT_EQ(list.List(0), "A0");
    EXPECT_EQ(list.List(count - 1), "LAST");
  }
}

TEST(ObjectLists, AnEmptyListingAsksForNoSecondPage) {
  for (const Filler& f : Fillers()) {
    SCOPED_TRACE(f.name);
    OpenedFake o("AS400");
    o.fake().On("Execute").Code(f.code).Reply("00000");
    platform::ListBox list;
    int32_t count = -1;
    ASSERT_TRUE(f.fill(o.control(), list, count)) << o.control().ErrorText();
    EXPECT_EQ(o.fake().Commands().size(), 1u);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list.ListCount(), 0);
  }
}

TEST(ObjectLists, AFailedSecondPageKeepsTheFirstAndIsNotRetried) {
  for (const Filler& f : Fillers()) {
    SCOPED_TRACE(f.name);
    OpenedFake o("AS400");
    o.fake().On("Execute").Code(f.code).Reply(Page({Entry("ONE", f.width), Entry("TWO", f.width)}))
        .Fail(2, 9801, "CPF9801 object not found");
    platform::ListBox list;
    int32_t count = -1;
    EXPECT_FALSE(f.fill(o.control(), list, count));
    EXPECT_EQ(o.fake().Commands().size(), 2u);
    EXPECT_EQ(list.Items(), (Lines{"ONE", "TWO"}));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(o.control().ErrorNum(), 9801);
    EXPECT_EQ(o.control().ErrorText(), "CPF9801 object not found");
    EXPECT_EQ(o.control().ErrorStep(), f.name);
  }
}

TEST(ObjectLists, AMalformedPageStopsTheListingWithItsCommandNamed) {
  struct Case {
    const char* page;
    const char* says;
  };
  const std::string entry = Entry("LIB1", 70);
  for (const Case& c : {Case{"00069", "not a multiple of 70"}, Case{"00140", "but holds 70"},
                        Case{"0x070", "is not a number"}}) {
    SCOPED_TRACE(c.page);
    OpenedFake o("AS400");
    o.fake().On("Execute").Code("SYSLSTOBJ").Reply(Page({entry})).Reply(c.page + entry);
    platform::ListBox list;
    int32_t count = -1;
    EXPECT_FALSE(o.control().FillJournalList(list, "QVJRNLIB", count));
    EXPECT_EQ(list.Items(), (Lines{"LIB1"}));
    EXPECT_EQ(count, 1);
    const std::string text = o.control().ErrorText();
    EXPECT_NE(text.find("SYSLSTOBJ_"), std::string::npos) << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
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
  EXPECT_EQ(o.control().ErrorNum(), QVSource::kRefusalNum);
  std::vector<std::string> formats;
  EXPECT_FALSE(o.control().ListRcd("CUST", "LIBRARYNAME1", formats));
  platform::ListView lv;
  EXPECT_FALSE(o.control().LoadRcvList(lv, "JOURNALNAME1", "L"));
  EXPECT_FALSE(o.control().CreateFile("FILENAME_TOO", "L", "A R REC"));
  EXPECT_TRUE(o.fake().Calls().empty());
}

TEST(ObjectLists, TheLibraryCacheIsReadAgainOnlyOnRefreshOrWhenEmpty) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSLSTOBJ").Reply("00000").Reply(Page({Entry("LIB1", 70)})).Reply("00000")
      .Reply(Page({Entry("LIB2", 70)})).Reply("00000");
  platform::ListBox list;
  int32_t count = 0;
  ASSERT_TRUE(o.control().fillLIB(list, false, count));  // empty: read
  ASSERT_TRUE(o.control().fillLIB(list, false, count));  // still empty: read again
  EXPECT_EQ(o.fake().Commands().size(), 3u);
  ASSERT_TRUE(o.control().FillLibraryList(list, count));  // cached
  EXPECT_EQ(o.fake().Commands().size(), 3u);
  EXPECT_EQ(count, 1);
  ASSERT_TRUE(o.control().fillLIB(list, true, count));
  EXPECT_EQ(o.fake().Commands().size(), 5u);
  EXPECT_EQ(list.Items(), (Lines{"LIB1", "LIB1", "LIB2"}));
}

TEST(ObjectLists, AClosedConnectionSendsNothing) {
  FakeSource s("AS400");
  platform::ListBox list;
  int32_t count = 5;
  EXPECT_FALSE(s.control->fillLIB(list, true, count));
  EXPECT_FALSE(s.control->FillJournalList(list, "L", count));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(s.fake->Commands().empty());
}

TEST(ObjectLists, NtSourcesAreRefusedForTheAs400Listings) {
  OpenedFake o("SQL Server");
  platform::ListBox list;
  int32_t count = 0;
  EXPECT_FALSE(o.control().FillFileList(list, "db", "PF", "%", count));
  EXPECT_EQ(o.control().ErrorText(), "FillFileList is not served for SQL Server sources");
  EXPECT_TRUE(o.fake().Commands().empty());
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
}

TEST(ReceiverList, ADateWithoutItsCenturyDigitIsAnError) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSLSTRCV").Reply(
      Page({Entry("RCV0001", 77, "0000000001" "0000001000" "2990102030405")}));
  platform::ListView lv;
  EXPECT_FALSE(o.control().LoadRcvList(lv, "QVJRN", "QVJRNLIB"));
  EXPECT_NE(o.control().ErrorText().find("\"2990102030405\""), std::string::npos);
}

TEST(ObjectChecks, FormatsAndFileChecksAreAskedUpperCased) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("SYSLSTRCD").Reply(Page({PadRight("CUSTR     CUST      0000000042", 80),
                                                        PadRight("CUSTR2", 80)}))
      .Reply("00000");
  o.fake().On("Execute").Code("CHKOBJ").Reply("000010").Reply("000011").Fail(2, 0, "down");
  std::vector<std::string> formats{"stale"};
  ASSERT_TRUE(o.control().ListRcd("cust", "demolib", formats));
  EXPECT_EQ(formats, (Lines{"CUSTR", "CUSTR2"}));
  EXPECT_TRUE(o.control().TableASExist("cust", "demolib"));
  EXPECT_FALSE(o.control().TableASExist("cust", "demolib"));
  EXPECT_FALSE(o.control().TableASExist("cust", "demolib"));
  EXPECT_EQ(o.control().ErrorText(), "down");
  EXPECT_EQ(Sent(o.fake()), (Lines{"SYSLSTRCD_ 040960CUST      DEMOLIB", "SYSLSTRCD_ 040961",
                                   "CHKOBJ____ CUST      DEMOLIB   *FILE", "CHKOBJ____ CUST      DEMOLIB   *FILE",
                                   "CHKOBJ____ CUST      DEMOLIB   *FILE"}));
}

TEST(CreateFile, ClearsTheMemberWritesEveryLineThenCreates) {
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("CLRDDS").Return(1);
  o.fake().On("Execute").Code("CRTDDS").Return(1);
  ASSERT_TRUE(o.control().CreateFile("newf", "demolib", "     A          R NEWR\r\n     A            ID  5\r\n"))
      << o.control().ErrorText();
  const Lines trace = o.Trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[0], "Execute CLRDDS____ 04096");
  EXPECT_EQ(trace[1], "Ropen QTEMP/QDDSSRC(QUORVANE)");
  EXPECT_EQ(trace[5], "Execute CRTDDS____ 04096NEWF      DEMOLIB");
  const auto writes = o.fake().CallsNamed("Rwrite");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].Arg(1), "     A          R NEWR");
  EXPECT_EQ(writes[1].Arg(1), "     A            ID  5");
  EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(1), "rr+");
  EXPECT_EQ(o.fake().CallsNamed("Rclose").size(), 1u);
}

TEST(CreateFile, StopsAtTheFirstFailureAndRefusesLongLines) {
  {
    OpenedFake o("AS400");
    o.fake().On("Execute").Code("CLRDDS").Return(1);
    o.fake().On("Rwrite").Return(1).Fail(2, 0, "member full");
    EXPECT_FALSE(o.control().CreateFile("NEWF", "DEMOLIB", "L1\r\nL2\r\nL3"));
    EXPECT_EQ(o.control().ErrorText(), "member full");
    EXPECT_EQ(o.fake().CallsNamed("Rwrite").size(), 2u);
    EXPECT_EQ(o.fake().CallsNamed("Rclose").size(), 1u);
    EXPECT_EQ(o.fake().Commands().size(), 1u);  // no CRTDDS____
  }
  OpenedFake o("AS400");
  EXPECT_FALSE(o.control().CreateFile("NEWF", "DEMOLIB", "L1\r\n" + std::string(81, 'A')));
  EXPECT_EQ(o.control().ErrorText(), "DDS line 2 is longer than 80 characters");
  EXPECT_TRUE(o.fake().Calls().empty());
}

}  // namespace
}  // namespace qv::test
