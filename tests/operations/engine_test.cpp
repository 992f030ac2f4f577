// Engine control and jobs: the requests each kind sends and how answers are read.
#include <gtest/gtest.h>

#include "support/fake_control.h"
#include "connection/remote_commands.h"
#include "operations/engine_text.h"
#include "platform/controls.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

TEST(StartQV, As400CallsTheStartProgramWithTheCommandLengthAndReportsARefusal) {
  auto s = std::make_unique<OpenedFake>("AS400");
  ASSERT_TRUE(s->control().StartQV("E1", "T01", "M01", ""));
  const auto c = s->fake().Commands().at(0);
  EXPECT_EQ((Lines{c.code, c.ctl, c.Request()}),
            (Lines{"RCMD______", "0000000057", "00042CALL PGM(QVSTR) PARM('E1' 'T01' 'M01' 'z')"}));
  s->fake().On("Execute").Code("RCMD").Fail(DllParam::kCodeRefused, 9, "CPF0001 program not found");
  EXPECT_FALSE(s->control().StartQV("E1", "T01", "M01", ""));
  EXPECT_EQ(s->control().ErrorStep(), "StartQV");
  EXPECT_EQ(s->control().ErrorText(), "CPF0001 program not found");
}

TEST(StartQV, NtSendsTheKindCodeAndTheInstance) {
  struct Case {
    const char* kind;
    const char* instance;
    const char* code;
    const char* sentInstance;
  };
  for (const Case& c : {Case{"SQL Server", "", "SQL_", "*"},
                        Case{"ODBC", "", "ODBC", "ODBC"}, Case{"Oracle", "ORCL", "ORAC", "ORCL"}}) {
    auto s = std::make_unique<OpenedFake>(c.kind);
    ASSERT_TRUE(s->control().StartQV("E1", "T01", "M01", c.instance)) << c.kind;
    const auto call = s->fake().CallsNamed("StrReplication").at(0);
    EXPECT_EQ(call.Arg(0), "E1T01M01");
    EXPECT_EQ(call.Arg(1), c.code);
    EXPECT_EQ(call.Arg(2), c.sentInstance) << c.kind;
  }
}

TEST(JobRun, NtAsksTheJobListWithTheKindCodeAndCutsTheAnswerAtTabs) {
  auto s = std::make_unique<OpenedFake>("Oracle");
  s->fake().On("SJobList").Out("00001\tSE1_T01M01 4242\t").Out("00002\tJOB1 11\tJOB2 12\t");
  std::string status;
  ASSERT_TRUE(s->control().JobRun("SE1_T01M01", status));
  EXPECT_EQ(status, "R");
  EXPECT_EQ(s->fake().CallsNamed("SJobList").at(0).Arg(2), "ORAC");
  platform::ListBox list;
  ASSERT_TRUE(s->control().ListJobRun("JOB", list));
  EXPECT_EQ(list.Items(), (Lines{"JOB1 11", "JOB2 12"}));
}

TEST(ListJobRun, As400PagesWhileEntriesCome) {
  auto s = std::make_unique<OpenedFake>("AS400");
  s->fake().On("Execute").Code("SYSLSTJOB_").Reply("00025JOB1      JOB2      ").Reply("00015JOB3      ").Reply("00000");
  platform::ListBox list;
  list.AddItem("stale");
  ASSERT_TRUE(s->control().ListJobRun("JOB", list));
  EXPECT_EQ(list.Items(), (Lines{"JOB1      ", "JOB2      ", "JOB3      "}));
  EXPECT_EQ(s->Trace(),
            (Lines{"Execute SYSLSTJOB_ 040960JOB", "Execute SYSLSTJOB_ 040961JOB", "Execute SYSLSTJOB_ 040961JOB"}));
}

TEST(EngineText, JobAnswersAreReadSafely) {
  EXPECT_EQ(JobStatusFromAnswer(""), "");
  EXPECT_EQ(JobStatusFromAnswer("00000"), "");
  EXPECT_EQ(JobStatusFromAnswer("0001"), "R");
  // A count announcing more entries than the page holds never reads past it.
  EXPECT_EQ(JobEntriesAs400("00095JOB1      ").size(), 1u);
  EXPECT_TRUE(JobEntriesAs400("00005").empty());
  EXPECT_TRUE(JobEntriesNt("00000").empty());
}

}  // namespace
}  // namespace qv::test
