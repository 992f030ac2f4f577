// Message queue: reading messages into a list, restarts, filters, clearing,
// deleting user spaces.
#include <gtest/gtest.h>

#include "support/fake_control.h"
#include "connection/remote_commands.h"
#include "operations/engine_text.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

std::string Message(int severity, const std::string& job, const std::string& pgm,
                    const std::string& date, const std::string& time, const std::string& text) {
  return Digits(severity, 5) + PadRight(job, 10) + PadRight(pgm, 12) + date + time +
         Digits(static_cast<long long>(text.size()), 5) + text;
}

std::string Answer(const std::string& marker, const std::string& messages) {
  return Digits(static_cast<long long>(messages.size()), 5) + marker + messages;
}

TEST(QueueText, TruncatedOrMalformedAnswersStopSafely) {
  const std::string good = Message(30, "J", "P", "1240101", "000000", "hello");
  // A text length beyond the answer is cut to what is there.
  std::string cut = Answer("00001", good.substr(0, good.size() - 3));
  ASSERT_EQ(ParseQueueMessages(cut).size(), 1u);
  EXPECT_EQ(ParseQueueMessages(cut)[0].text, "he");
  // A header that does not fit, or a length that is not a number, ends the walk.
  EXPECT_TRUE(ParseQueueMessages(Answer("00001", good.substr(0, 30))).empty());
  std::string bad = good;
  bad[42] = 'X';
  EXPECT_TRUE(ParseQueueMessages(Answer("00001", bad)).empty());
  EXPECT_TRUE(ParseQueueMessages("").empty());
}

TEST(ReadMSG, As400BuildsColumnsAndAddsOneItemPerMessage) {
  auto s = std::make_unique<OpenedFake>("AS400");
  s->fake().On("Execute").Code("SYSRTVMSG_").Reply(Answer(
      "00002", Message(50, "SE1_T01M01", "QVSTR", "1240315", "083012", "Started") +
                   Message(10, "SE1_T02M01", "QVEND", "0991231", "235959", "Ended  ")));
  platform::ListView lv;
  ASSERT_TRUE(s->control().ReadMSG(true, true, lv, "*ALL"));
  const auto c = s->fake().Commands().at(0);
  EXPECT_EQ(c.ctl, "0000008162");
  EXPECT_EQ(c.Request(), "08162000000");
  Lines columns;
  for (const platform::ColumnHeader& h : lv.Columns()) columns.push_back(h.text);
  EXPECT_EQ(columns, (Lines{"", cLoadResString("2094"), cLoadResString("2095"), cLoadResString("2096"),
                            cLoadResString("2097")}));
  ASSERT_EQ(lv.Count(), 2);
  const auto items = lv.DisplayOrder();  // in the order of their dates
  EXPECT_EQ(items[0]->SubItems(), (Lines{"1999/12/31 23:59:59", "SE1_T02M01", "QVEND", "Ended"}));
  EXPECT_EQ(items[1]->SubItems(), (Lines{"2024/03/15 08:30:12", "SE1_T01M01", "QVSTR", "Started"}));
  EXPECT_EQ(std::pair(items[0]->icon, items[1]->icon), std::pair(3, 1));
  // Severities above 40 show an error, 20 to 40 a warning, lower ones a note.
  const std::pair<int, int> icons[] = {{41, 1}, {40, 2}, {20, 2}, {19, 3}};
  for (const auto& [severity, icon] : icons) EXPECT_EQ(MessageIcon(severity), icon) << severity;
  EXPECT_EQ(items[0]->Key()[0], 'J');
}

TEST(ReadMSG, WithoutBuildColumnKeepsTheCallersListAndFilters) {
  auto s = std::make_unique<OpenedFake>("AS400");
  s->fake().On("Execute").Code("SYSRTVMSG_").Reply(Answer(
      "00002", Message(50, "SE1_T01M01", "QVSTR", "1240315", "083012", "Mine") +
                   Message(10, "OTHER", "QVEND", "1240315", "083100", "Not mine")));
  platform::ListView lv;
  lv.AddColumn("mine");
  lv.Add("K1", "kept");
  ASSERT_TRUE(s->control().ReadMSG(false, false, lv, " se1_t01m01 "));
  EXPECT_EQ(lv.ColumnCount(), 1);
  ASSERT_EQ(lv.Count(), 2);
  EXPECT_EQ(lv.DisplayOrder()[1]->SubItem(4), "Mine");
}

TEST(ReadMSG, RestartMarkerReadsAgainFromTheFirstAndClearsTheItems) {
  auto s = std::make_unique<OpenedFake>("AS400");
  s->fake().On("Execute").Code("SYSRTVMSG_").Reply("0000099999").Reply(
      Answer("00001", Message(30, "J", "P", "1240101", "000000", "again")));
  platform::ListView lv;
  lv.Add("OLD", "old");
  ASSERT_TRUE(s->control().ReadMSG(false, false, lv, "*ALL"));
  EXPECT_EQ(s->Trace(), (Lines{"Execute SYSRTVMSG_ 08162000001", "Execute SYSRTVMSG_ 08162000000"}));
  ASSERT_EQ(lv.Count(), 1);
  EXPECT_EQ(lv.DisplayOrder()[0]->SubItem(4), "again");
}

TEST(ClearMsgQ, As400ClearsTheQueueWithItsOwnLengthRule) {
  auto s = std::make_unique<OpenedFake>("AS400");
  ASSERT_TRUE(s->control().ClearMsgQ());
  const auto c = s->fake().Commands().at(0);
  EXPECT_EQ((Lines{c.code, c.ctl, c.Request()}),
            (Lines{"RCMD______", "0000000041", "00036CLRMSGQ MSGQ(QV_USRDATA/QVMSGQ)"}));
}

// NT reads the queue file with the engine's kind code from where the last
// read stopped; clearing empties the file and the next read starts at its head.
TEST(ClearMsgQ, NtEmptiesTheQueueFileAndTheNextReadStartsAtItsHead) {
  auto s = std::make_unique<OpenedFake>("SQL Server");
  FakeAnswer read = FakeAnswer::Ok(Answer("00001", Message(20, "J", "P", "1240101", "000000", "one")));
  read.number = 1;  // the position after the messages read
  s->fake().On("ReadQVMSGQ").Answer(read).Repeatedly();
  platform::ListView lv;
  ASSERT_TRUE(s->control().ReadMSG(true, true, lv, "*ALL"));
  EXPECT_EQ(lv.Count(), 1);
  ASSERT_TRUE(s->control().ReadMSG(false, false, lv, "*ALL"));
  ASSERT_TRUE(s->control().ClearMsgQ());
  const auto call = s->fake().CallsNamed("WriteFile").at(0);
  EXPECT_EQ(call.Arg(0), "QVMSGQ.QVM");
  EXPECT_EQ(call.Arg(1), "");
  ASSERT_TRUE(s->control().ReadMSG(false, false, lv, "*ALL"));
  const auto reads = s->fake().CallsNamed("ReadQVMSGQ");
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].Arg(0).substr(0, 10), "QVMSGQ.QVM");
  EXPECT_EQ(reads[0].Arg(2), "SQL_");
  EXPECT_EQ(reads[1].IntArg(1), 1);  // a read goes on where the last stopped
  EXPECT_EQ(reads[2].IntArg(1), 0);  // until the queue is cleared
}

TEST(DeleteUsrSpc, DeletesBothSpacesAndIgnoresFailures) {
  auto s = std::make_unique<OpenedFake>("AS400");
  s->fake().On("Execute").Code("DLTUSRSPC_").Fail(DllParam::kCodeRefused, 1, "not found").Repeatedly();
  s->control().DeleteUsrSpc("e1", "t01", "m01");
  EXPECT_EQ(s->Trace(), (Lines{"Execute DLTUSRSPC_ 00025SE1_T01M01 -> 0", "Execute DLTUSRSPC_ 00025SE1$T01M01 -> 0"}));
  EXPECT_EQ(s->fake().Commands().at(0).ctl, "0000000020");

  auto n = std::make_unique<OpenedFake>("Oracle");
  n->control().DeleteUsrSpc("E1", "T01", "M01");
  EXPECT_EQ(n->Trace(), (Lines{"DeleteFile SE1_T01M01", "DeleteFile SE1$T01M01"}));
}

}  // namespace
}  // namespace qv::test
