// Journalisation of NT sources: the exact statements the control sends, by
// server version, and what it does when a statement fails or an answer is
// refused; and the pieces of those statements that come from the caller's
// input: names and answers to the length question.
// Then, on embedded SQL Server and Oracle stores through QVmanager, what the
// server keeps after creating a journal, capturing a table, releasing it and
// removing the journal, and what a failure leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/admin/source_tables.h"
#include "dllparam/admin/store_admin.h"
#include "journal/journal_text.h"
#include "platform/controls.h"
#include "platform/prompt.h"
#include "support/embedded_store.h"
#include "support/fake_control.h"
#include "support/kinds.h"

namespace qv::test {
namespace {

using Statements = std::vector<std::string>;

const std::string kRegistry =
    "exec master..xp_regread 'HKEY_LOCAL_MACHINE', 'SOFTWARE\\Orvenne\\Quorvane\\QV_for_SQLServer', "
    "'PathSQLServerSource'";
const std::string kProbe = "SELECT CONVERT(char(20), SERVERPROPERTY('ProductVersion'))";

// Answers the version probe: a row of the version text, or no row.
void AnswerVersion(RecordingFake& fake, const std::string& version) {
  if (version.empty()) fake.On("Sread").Sql(kProbe).NotFound().Repeatedly();
  else fake.On("Sread").Sql(kProbe).Row(version + "                    ").Repeatedly();
}

// Appends more to list.
Statements operator+(Statements list, const Statements& more) {
  list.insert(list.end(), more.begin(), more.end());
  return list;
}

TEST(SqlCreateJournal, SendsTheJobsThePublicationOfTheVersionAndTheJournalRow) {
  const Statements jobs{
      "EXEC master..sp_dboption 'SALES', published, TRUE",
      "exec msdb..sp_add_job @job_name='QV_ReadJrn_SALES', @enabled=1, @description='Quorvane LogReader', "
      "@start_step_id=1, @category_id=13, @notify_level_eventlog=3",
      "exec msdb..sp_add_jobstep  @job_name='QV_ReadJrn_SALES', @subsystem='CMDEXEC', @step_id=1, "
      "@step_name='QVlogreader', @command='\"C:\\Program Files\\QV\\QVlogreader.exe\" SRV1/SALES/sa/secret', "
      "@database_name='SALES', @retry_attempts=65535",
      "exec msdb..sp_add_jobschedule @job_name='QV_ReadJrn_SALES', @name='Always', @enabled=1, @freq_type=64",
      "exec msdb..sp_add_jobserver @job_name='QV_ReadJrn_SALES', @server_name='SRV1 '",
      kProbe};
  const std::string general =
      "exec SALES..sp_addpublication @publication='Quorvane', @description='Publication Quorvane', "
      "@independent_agent='true', @retention=0, @status='active'";
  const Statements end{"exec msdb..sp_start_job @job_name='QV_ReadJrn_SALES'",
                       "exec master..qv_CRTJRN 'D:\\O''Jrn\\SALES'",
                       "insert into QV_USRDATA..JOURNAL (DB, JrnFile) Values('SALES', 'D:\\O''Jrn\\SALES')"};
  struct Case {
    std::string version;  // "" : the probe finds no row
    Statements publication;
  };
  const Case cases[] = {
      {"8.00.2039",
       {"exec SALES..sp_addpublication @publication='Quorvane', @description='Publication Quorvane', "
        "@independent_agent='true', @retention=0, @logreader_job_name='QV_ReadJrn_SALES', @status='active'"}},
      {"",
       {general,
        "declare @jobid uniqueidentifier\r\nselect @jobid=job_id from msdb..sysjobsteps where subsystem='LogReader' "
        "and command LIKE '%SALES%' and command like '%-PublisherDB%'\r\nexec msdb..sp_delete_job @job_id=@jobid"}},
      {"9.00.1399", {general}},
  };
  for (const Case& c : cases) {
    OpenedFake s("SQL Server");
    s.fake().On("Sread").Sql(kRegistry).Row(std::string(255, ' ') + "C:\\Program Files\\QV   ");
    AnswerVersion(s.fake(), c.version);
    std::string directory = "  D:\\O'Jrn ";
    EXPECT_TRUE(s.control().SQL_CRTJRN("SALES", directory)) << c.version;
    EXPECT_EQ(directory, "D:\\O'Jrn\\");
    EXPECT_EQ(s.fake().Statements(), Statements{kRegistry} + jobs + c.publication + end) << c.version;
  }
}

// Job errors are collected and the journal still made; a journal file or
// journal row that fails stops at once with its own error.
TEST(SqlCreateJournal, GoesOnPastJobErrorsAndStopsAtTheJournalFileOrItsRow) {
  for (const std::string failing : {"", "exec master..qv_CRTJRN", "insert into QV_USRDATA..JOURNAL"}) {
    SCOPED_TRACE(failing);
    OpenedFake s("SQL Server");
    s.fake().On("Sread").Sql(kRegistry).Row(std::string(255, ' ') + "C:\\QV\\");
    AnswerVersion(s.fake(), "9");
    s.fake().On("Saction").SqlPrefix("exec msdb..sp_add_jobschedule").Fail(DllParam::kCodeRefused, 14261, "job exists");
    s.fake().On("Saction").SqlPrefix("exec msdb..sp_start_job").Fail(DllParam::kCodeRefused, 22022, "agent stopped");
    if (!failing.empty()) s.fake().On("Saction").SqlPrefix(failing).Fail(DllParam::kCodeRefused, 5133, "no such directory");
    std::string directory = "D:\\J";
    EXPECT_FALSE(s.control().SQL_CRTJRN("SALES", directory));
    EXPECT_EQ(s.control().ErrorStep(), "SQL_CRTJRN");
    const std::string last = s.fake().Statements().back();
    if (failing.empty()) {
      EXPECT_EQ(s.control().ErrorText(), "job exists\r\nagent stopped");
      EXPECT_EQ(last, "insert into QV_USRDATA..JOURNAL (DB, JrnFile) Values('SALES', 'D:\\J\\SALES')");
    } else {
      EXPECT_EQ(s.control().ErrorNum(), 5133);
      EXPECT_EQ(s.control().ErrorText(), "no such directory");
      EXPECT_TRUE(last.starts_with(failing)) << last;
    }
  }
}

TEST(SqlCreateJournal, RefusesBadInputBeforeSendingAnything) {
  struct Case {
    std::string db, directory;
  };
  for (const Case& c : {Case{"SALES", "   "}, Case{"SA'LES", "D:\\J"}, Case{"", "D:\\J"}}) {
    OpenedFake s("SQL Server");
    std::string directory = c.directory;
    EXPECT_FALSE(s.control().SQL_CRTJRN(c.db, directory)) << c.db << "|" << c.directory;
    EXPECT_EQ(s.control().ErrorNum(), QVSource::kRefusalNum);
    EXPECT_TRUE(s.fake().Statements().empty()) << c.db << "|" << c.directory;
  }
  OpenedFake s("SQL Server");
  std::string directory = "D:\\J";
  EXPECT_FALSE(s.control().SQL_CRTJRN("SALES", directory)) << "the registry has no product path";
  EXPECT_EQ(s.control().ErrorText(), "Error reading Path for QVSQL in source machine");
  EXPECT_EQ(s.fake().Statements(), Statements{kRegistry});
}

TEST(SqlRemoveJournal, DeletesTheServersLogReaderJobOnlyWhenTheVersionIsUnknown) {
  for (const std::string version : {"8", "", "9"}) {
    OpenedFake s("SQL Server");
    AnswerVersion(s.fake(), version);
    EXPECT_TRUE(s.control().SQL_RMVJRN("SALES"));
    Statements expected{"EXEC SALES..sp_droppublication @publication='Quorvane'", kProbe};
    if (version.empty()) expected.push_back("exec msdb..sp_delete_job @job_name='QV_ReadJrn_SALES'");
    expected = expected + Statements{"EXEC master..sp_dboption 'SALES', published, FALSE",
                                     "EXEC SALES..sp_replicationdboption 'SALES','publish', 'false'",
                                     "delete from QV_USRDATA..JOURNAL where DB='SALES'"};
    EXPECT_EQ(s.fake().Statements(), expected) << version;
  }
}

// A control of a SQL Server source whose table ORDERS has a key and a long
// text column, and a prompter that gives the answers in turn.
struct Capture {
  explicit Capture(const std::string& version, std::vector<std::optional<std::string>> answers)
      : prompter([this, answers](const platform::PromptRequest& r) -> std::optional<std::string> {
          asked.push_back(r);
          return asked.size() <= answers.size() ? answers[asked.size() - 1] : std::nullopt;
        }),
        scoped(prompter) {
    AnswerVersion(s.fake(), version);
    s.fake().On("FillColumnsListSource").Out("ID\tINT 10\t1\t0\t\nNOTE\ttext 2147483647\t2\t1\t\n");
    s.fake().On("Sread").Sql("Select MAX(DATALENGTH(NOTE)) FROM SALES..ORDERS").Row("40");
  }
  std::vector<std::string> Options() {
    std::vector<std::string> out;
    for (const FakeCall& c : s.fake().CallsNamed("SetConnectOption")) out.push_back(c.Arg(0));
    return out;
  }

  OpenedFake s{"SQL Server"};
  std::vector<platform::PromptRequest> asked;
  platform::CallbackPrompter prompter;
  platform::ScopedPrompter scoped;
};

const Statements kCaptureStart{kProbe, "use SALES", "drop view qv_ORDERS"};
const std::string kLengthUsed = "Select MAX(DATALENGTH(NOTE)) FROM SALES..ORDERS";
const std::string kMaxLenInsert =
    "INSERT INTO QV_USRDATA..QV_MX (SRCDB, SRCTBL, FIELDINPUT, MAXLEN) VALUES('SALES', 'ORDERS', 'NOTE', 500)";
const std::string kView = "create view qv_ORDERS as select ID,CAST(NOTE AS varchar(500)) AS NOTE from ORDERS";
const std::string kArticle =
    "exec SALES..sp_addarticle @publication='Quorvane', @article='ORDERS', @source_table='ORDERS', "
    "@type='logbased', @ins_cmd='xcall QVI', @del_cmd='xcall QVD', @upd_cmd='xcall QVU', "
    "@destination_table='qv_dummy', @status=0, @sync_object='qv_ORDERS'";

TEST(SqlCaptureTable, SendsTheViewArticleAndSubscriptionOfTheVersion) {
  struct Case {
    std::string version;
    Statements article;
  };
  const Statements general{
      "declare @artid int\r\n" + kArticle + ", @schema_option=0x00000000000000F1",
      "exec SALES..sp_addsubscription @publication='Quorvane', @subscriber='Quorvane', @sync_type='none', "
      "@destination_db='QV_dummy'",
      "declare @jobid uniqueidentifier\r\nselect @jobid=job_id from msdb..sysjobsteps where subsystem='Distribution' "
      "and server=@@SERVERNAME and command like '%-SubscriberDB [[]QV_dummy]%' and command like "
      "'%-PublisherDB [[]SALES]%'\r\nexec msdb..sp_delete_job @job_id=@jobid"};
  const Case cases[] = {
      {"8",
       {"declare @artid int\r\n" + kArticle +
            ", @artid=@artid OUTPUT\r\nupdate sysarticles set status=1, schema_option=0x00000000000000F1 where "
            "artid=@artid",
        "exec msdb..sp_add_job @job_name='QV_TempJrn_SALES', @enabled=0, @description='Quorvane Temporary', "
        "@start_step_id=1, @category_id=10",
        "exec msdb..sp_add_jobstep  @job_name='QV_TempJrn_SALES', @step_id=1, @step_name='Step 1', "
        "@subsystem ='distribution', @command='use master'",
        "exec msdb..sp_add_jobserver @job_name='QV_TempJrn_SALES', @server_name='SRV1'",
        "exec sp_addsubscription @publication='Quorvane', @subscriber='Quorvane', @sync_type='none', "
        "@distribution_job_name='QV_TempJrn_SALES', @destination_db='QV_dummy'",
        "exec msdb..sp_delete_job @job_name='QV_TempJrn_SALES'"}},
      {"9", general},
  };
  for (const Case& c : cases) {
    // Out-of-range and unreadable answers ask again.
    Capture t(c.version, {"0", "30001", "12a", " 500 "});
    EXPECT_TRUE(t.s.control().SQL_STRJRNPF("SALES", "ORDERS")) << c.version;
    EXPECT_EQ(t.s.fake().Statements(),
              (kCaptureStart + Statements{kLengthUsed, kMaxLenInsert, kView} + c.article + Statements{"use QV_USRDATA"}))
        << c.version;
    EXPECT_EQ(t.Options(), (std::vector<std::string>{"2", "0"}));
    ASSERT_EQ(t.asked.size(), 4u);
    EXPECT_EQ(t.asked[0].prompt, "Len for the Varchar Field NOTE (MaxLen used = 40)");
    EXPECT_EQ(t.asked[0].title, "Define a maxi length for a LongVarchar");
    EXPECT_EQ(t.asked[0].proposed, "40");
    EXPECT_EQ(t.s.fake().CallsNamed("FillColumnsListSource").at(0).Arg(1), "SALES..ORDERS");
  }
}

TEST(SqlCaptureTable, UpdatesTheLengthOfAColumnCapturedBefore) {
  Capture t("9", {"500"});
  t.s.fake().On("Saction").Sql(kMaxLenInsert).Fail(DllParam::kCodeRefused, 2627, "duplicate key");
  EXPECT_TRUE(t.s.control().SQL_STRJRNPF("SALES", "ORDERS"));
  const Statements sent = t.s.fake().Statements();
  EXPECT_EQ(sent.at(5),
            "UPDATE QV_USRDATA..QV_MX SET MAXLEN=500 WHERE SRCDB='SALES' AND SRCTBL='ORDERS' AND FIELDINPUT='NOTE'");
}

TEST(SqlCaptureTable, AFailureUndoesWhatTheCaptureAddedAndTellsWhy) {
  const Statements undoView{"drop view qv_ORDERS", "use QV_USRDATA"};
  struct Case {
    const char* what;
    std::vector<std::optional<std::string>> answers;
    const char* failing;  // prefix of the statement made to fail, or nullptr
    Statements tail;      // what follows kCaptureStart
    std::string error;
    bool columns = true;  // false: the table lists no columns
  };
  const Case cases[] = {
      {"cancelled", {std::nullopt}, nullptr, Statements{kLengthUsed} + undoView,
       "No length given for the long text column NOTE: the capture of ORDERS is cancelled"},
      {"empty answer", {"  "}, nullptr, Statements{kLengthUsed} + undoView,
       "No length given for the long text column NOTE: the capture of ORDERS is cancelled"},
      {"no columns", {}, nullptr, undoView, "SALES..ORDERS has no columns to capture", false},
      {"view refused", {"500"}, "create view", Statements{kLengthUsed, kMaxLenInsert, kView} + undoView, "bad column"},
      {"subscription refused",
       {"500"},
       "exec SALES..sp_addsubscription",
       Statements{kLengthUsed, kMaxLenInsert, kView, "declare @artid int\r\n" + kArticle + ", @schema_option=0x00000000000000F1",
                  "exec SALES..sp_addsubscription @publication='Quorvane', @subscriber='Quorvane', "
                  "@sync_type='none', @destination_db='QV_dummy'",
                  "exec sp_dropsubscription @publication='Quorvane', @subscriber='Quorvane', @article='ORDERS'",
                  "exec sp_droparticle @publication='Quorvane', @article='ORDERS'"} +
           undoView,
       "bad column"},
  };
  for (const Case& c : cases) {
    Capture t("9", c.answers);
    if (!c.columns) t.s.fake().On("FillColumnsListSource").Out("");
    if (c.failing != nullptr) t.s.fake().On("Saction").SqlPrefix(c.failing).Fail(DllParam::kCodeRefused, 207, "bad column");
    EXPECT_FALSE(t.s.control().SQL_STRJRNPF("SALES", "ORDERS")) << c.what;
    EXPECT_EQ(t.s.fake().Statements(), kCaptureStart + c.tail) << c.what;
    EXPECT_EQ(t.s.control().ErrorText(), c.error) << c.what;
    EXPECT_EQ(t.Options(), (std::vector<std::string>{"2", "0"})) << c.what;
  }
}

TEST(SqlReleaseTable, DropsTheArticleOnlyWhenItsSubscriptionWent) {
  for (bool subscribed : {true, false}) {
    OpenedFake s("SQL Server");
    if (!subscribed) s.fake().On("Saction").SqlPrefix("exec sp_dropsubscription").Fail(DllParam::kCodeRefused, 14, "none");
    EXPECT_EQ(s.control().SQL_ENDJRNPF("SALES", "ORDERS"), subscribed);
    Statements expected{"use SALES", "drop view qv_ORDERS",
                        "exec sp_dropsubscription @publication='Quorvane', @subscriber='Quorvane', @article='ORDERS'"};
    if (subscribed) expected.push_back("exec sp_droparticle @publication='Quorvane', @article='ORDERS'");
    expected.push_back("use QV_USRDATA");
    EXPECT_EQ(s.fake().Statements(), expected);
  }
}

TEST(JournalQuestions, AskTheCatalogOfTheKindAndNothingElsewhere) {
  struct Case {
    const char* kind;
    Statements sent;
  };
  const Case cases[] = {
      {"SQL Server",
       {"select a.name from SALES..sysarticles a left join SALES..syspublications b on a.pubid = b.pubid where "
        "a.name='SCOTT.EMP' and b.name='Quorvane'"}},
      {"Oracle",
       {"select name from sys.obj$ where name='QV$_EMP' and owner#=(select user# from sys.user$ where "
        "name='SALES');"}},
      {"ODBC", {}},
  };
  for (const Case& c : cases) {
    OpenedFake s(c.kind);
    s.fake().On("Sread").SqlPrefix("select").Row("EMP");
    EXPECT_EQ(s.control().IsFileJournalised("SALES", "SCOTT.EMP"), !c.sent.empty()) << c.kind;
    EXPECT_EQ(s.fake().Statements(), c.sent) << c.kind;
  }
}

TEST(JournalQuestions, ReadTheJournalRowOfTheDatabase) {
  OpenedFake s("SQL Server");
  s.fake().On("Sread").Sql("select * from JOURNAL WHERE DB='SALES'").Row("SALES" + std::string(25, ' ') + "D:\\J\\SALES   ");
  std::string path;
  EXPECT_TRUE(s.control().ReadJrnTable(" SALES ", path));
  EXPECT_EQ(path, "D:\\J\\SALES");
  EXPECT_FALSE(s.control().ReadJrnTable("HR", path));
  EXPECT_EQ(path, "");
}

TEST(OracleCreateJournal, GrantsCreatesTheFileWithEitherFormAndRecordsIt) {
  for (bool executeForm : {true, false}) {
    OpenedFake s("Oracle");
    if (!executeForm) s.fake().On("Saction").SqlPrefix("EXECUTE").Fail(DllParam::kCodeRefused, 900, "invalid SQL");
    std::string directory = "D:\\O'J";
    EXPECT_TRUE(s.control().ORACLE_CRTJRN("SCOTT", directory));
    Statements expected{"grant EXECUTE on QV_USRDATA.qv_f_AddEntry TO \"SCOTT\";",
                        "EXECUTE qv_usrdata.qv_CRTJRN('D:\\O''J\\SCOTT');"};
    if (!executeForm) expected.push_back("CALL qv_usrdata.qv_CRTJRN('D:\\O''J\\SCOTT');");
    expected.push_back("insert into QV_USRDATA.JOURNAL (DB, JrnFile) Values('SCOTT', 'D:\\O''J\\SCOTT')");
    EXPECT_EQ(s.fake().Statements(), expected);
  }
}

// Adds a field to a buffer field list as FillFieldFromFileNT shows it.
void AddField(platform::ListView& lv, const std::string& name, const std::string& mask, const std::string& start,
              const std::string& length, const std::string& type) {
  platform::ListItem& item = lv.Add("I." + name, name);
  item.SetSubItem(3, mask);
  item.SetSubItem(4, start);
  item.SetSubItem(5, length);
  item.SetSubItem(8, type);
}

TEST(OracleCaptureTable, WritesTheTriggerLineForLineThenCompilesAndEnablesIt) {
  OpenedFake s("Oracle");
  s.fake().On("Sread").Sql("select JRNFILE from QV_USRDATA.JOURNAL where DB='SCOTT'").Row("D:\\O'J\\SCOTT    ");
  platform::ListView lv;
  AddField(lv, "CODE", "", "00001", "00010", "C");
  AddField(lv, "WHEN", "YYYYMMDDHHMMSS", "00011", "00014", "C");
  AddField(lv, "DAY", "DDMMYYYY", "00025", "00008", "C");
  AddField(lv, "BLOB", "", "00033", "00004", "V");
  AddField(lv, "QTY", "", "00037", "00012", "N");
  ASSERT_TRUE(s.control().ORACLE_STRJRNPF(lv, "SCOTT", "EMP")) << s.control().ErrorText();

  const std::string header =
      "||TO_CHAR(SYSDATE,'YYYY-MM-DD.HH24.MI.SS')||'.000000'||RPAD(USERENV('TERMINAL'),10,' ')||RPAD(USER,10,' ')||"
      "RPAD('EMP',30,' ')||RPAD(USER,10,' ')||RPAD(SUBSTR(SYS_CONTEXT('USERENV','DB_NAME'),1,8),8,' ')||'00005'";
  const std::string before =
      "'00010'||:old.CODE||CHR(9)||'00014'||TO_CHAR(:old.WHEN,'YYYYMMDDHHMISS')||CHR(9)||"
      "'00008'||TO_CHAR(:old.DAY,'DDMMYYYY')||CHR(9)||"
      "'00012'||TO_CHAR(:old.QTY,'TM','NLS_NUMERIC_CHARACTERS=''. ''')||CHR(9)||CHR(0)";
  const std::string after =
      "'00010'||:new.CODE||CHR(9)||'00014'||TO_CHAR(:new.WHEN,'YYYYMMDDHHMISS')||CHR(9)||"
      "'00008'||TO_CHAR(:new.DAY,'DDMMYYYY')||CHR(9)||"
      "'00012'||TO_CHAR(:new.QTY,'TM','NLS_NUMERIC_CHARACTERS=''. ''' )||CHR(9)||CHR(0)";
  // The three lines that journal one image of the row: its head, its fields, the call.
  const auto entry = [&](const std::string& indent, const std::string& code, const std::string& image) {
    return indent + "szJournal :='00048'||'" + code + "'" + header + ";\n" + indent + "szCmd :=" + image + ";\n" +
           indent + "iReturn :=QV_USRDATA.qv_f_AddEntry(szJRNFullPathName,szJournal,szCmd);";
  };
  const Statements lines{
      "CREATE OR REPLACE TRIGGER SCOTT.QV$_EMP",
      "   AFTER DELETE OR INSERT OR UPDATE",
      "   OF CODE,WHEN,DAY,BLOB,QTY",
      "   ON SCOTT.EMP",
      "   FOR EACH ROW  ",
      "DECLARE",
      "/****************************************************************",
      "* Quorvane generated code ",
      "* replication trigger on EMP",
      "* WARNING : DO NOT MODIFY",
      "****************************************************************/",
      "    iReturn INTEGER;",
      "    szJournal CHAR(107);",
      "    szCmd VARCHAR2(78);",
      "    szJRNFullPathName CHAR(13);",
      "BEGIN",
      "    szJRNFullPathName:='D:\\O''J\\SCOTT';",
      "    IF UPDATING THEN",
      entry("        ", "RUB", before),
      entry("        ", "RUP", after),
      "    ELSE ",
      "        IF DELETING THEN",
      entry("            ", "RDL", before),
      "        ELSE",
      entry("            ", "RPT", after),
      "            END IF;",
      "    END IF;",
      "END; ",
  };
  std::string trigger;
  for (const std::string& line : lines) trigger += (trigger.empty() ? "" : "\n") + line;
  EXPECT_EQ(s.fake().Statements(), (Statements{"select JRNFILE from QV_USRDATA.JOURNAL where DB='SCOTT'", trigger,
                                               "ALTER TRIGGER SCOTT.QV$_EMP COMPILE;",
                                               "ALTER TRIGGER SCOTT.QV$_EMP ENABLE;"}));
}

// A schema without a JOURNAL row or an empty field list writes nothing; a
// failed statement ends the capture there.
TEST(OracleCaptureTable, StopsWithoutJournalOrFieldsAndAtTheFirstFailedStatement) {
  struct Case {
    const char* what;
    bool journalised, fields;
    std::string lastWrite;  // "": nothing written
    std::string error;
  };
  const Case cases[] = {
      {"no JOURNAL row", false, true, "", "SCOTT is not journalised: it has no JOURNAL row"},
      {"no fields", true, false, "", "SCOTT.EMP has no columns to capture"},
      {"compilation refused", true, true, "ALTER TRIGGER SCOTT.QV$_EMP COMPILE;", "compilation error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedFake s("Oracle");
    if (c.journalised) s.fake().On("Sread").SqlPrefix("select JRNFILE").Row("D:\\J\\SCOTT");
    s.fake().On("Saction").SqlPrefix("ALTER TRIGGER SCOTT.QV$_EMP COMPILE").Fail(DllParam::kCodeRefused, 24344,
                                                                                "compilation error");
    platform::ListView lv;
    if (c.fields) AddField(lv, "CODE", "", "00001", "00010", "C");
    EXPECT_FALSE(s.control().ORACLE_STRJRNPF(lv, "SCOTT", "EMP"));
    EXPECT_EQ(s.control().ErrorText(), c.error);
    EXPECT_EQ(s.Writes() ? s.fake().Statements().back() : "", c.lastWrite);
  }
}

TEST(JournalText, TakesOnlyNamesThatCannotBreakAStatement) {
  for (const char* name : {"SALES", "dbo.ORDERS", "T_1$#@", "Caf\xe9"}) EXPECT_EQ(JournalNameProblem(name), "") << name;
  for (const char* name : {"", "  ", "O'HARA", "A B", "A;B", "A\"B", "[A]", "A-B", "A\nB"})
    EXPECT_NE(JournalNameProblem(name), "") << name;
}

TEST(JournalText, ReadsALengthAnswerFrom1To30000) {
  struct Case {
    const char* answer;
    int32_t length;
  };
  for (const Case& c : {Case{"1", 1}, Case{" 30000 ", 30000}, Case{"0500", 500}, Case{"0", 0}, Case{"30001", 0},
                        Case{"-5", 0}, Case{"12a", 0}, Case{"", 0}, Case{"99999999999", 0}})
    EXPECT_EQ(CaptureLengthOfAnswer(c.answer), c.length) << c.answer;
}

using automation::QVmanager;
using ::testing::HasSubstr;

// A demo store of the kind with the source table ORDERS (a key, a number, a
// date, a long text), a manager connected to it that does not wait, and a
// prompter that answers the length question from `answers`.
class JournalStore : public testing::TestWithParam<Kind> {
 protected:
  JournalStore() : store_(GetParam().store, /*demo=*/true, "demo"), scoped_(prompter_) {
    automation::SetLibraryFactory(nullptr);
    automation::DropForm();
    QVmanager::SetJournalWait(0);
    embedded::StoreAdmin admin = store_.Admin();
    embedded::AddSourceTable(admin, embedded::ParseSourceTable("table " + Database() +
                                                               ".ORDERS\n"
                                                               "CODE CHAR(10) key\n"
                                                               "AMOUNT DECIMAL(10,2)\n"
                                                               "SHIPPED DATE\n" +
                                                               (Sql() ? "NOTE TEXT\n" : "")));
    m.SourceType(GetParam().type);
    m.InstanceName(GetParam().instance);
    m.UserID("QVADMIN");
    m.Password("demo");
    m.SourceAdress(store_.address());
    m.SQL_DBname("SALES");
    m.ORACLE_SchemaName("SCOTT");
  }
  ~JournalStore() override {
    QVmanager::SetJournalWait(QVmanager::kDefaultJournalWaitMs);
    SetProcessUserID("");
    SetProcessPassword("");
  }

  bool Sql() const { return GetParam().store == embedded::SourceKind::SQLServer; }
  // Returns the database or schema journalised.
  std::string Database() const { return Sql() ? "SALES" : "SCOTT"; }
  QVSource& control() { return automation::frm().ctl(); }
  // Captures ORDERS: on SQL Server through the manager, on Oracle through the
  // control with the field list of its columns.
  bool Capture() { return Sql() ? m.StartTableJournalisation("ORDERS") : control().ORACLE_CaptureTable("SCOTT", "ORDERS"); }
  // Returns the first column of every row a query of the server's store gives.
  std::vector<std::string> Rows(const std::string& sql) {
    embedded::StoreAdmin admin = store_.Admin();
    embedded::Stmt st = admin.db().prepareOnce(sql);
    std::vector<std::string> out;
    while (st.step()) out.emplace_back(st.columnText(0));
    return out;
  }
  // Returns "kind owner name state" of every object the server keeps.
  std::vector<std::string> Objects() {
    return Rows("SELECT kind || ' ' || owner || ' ' || name || ' ' || state FROM qvs_journal_object "
                "ORDER BY kind, owner, name");
  }
  std::string Detail(const std::string& kind, const std::string& name) {
    const auto rows = Rows("SELECT detail FROM qvs_journal_object WHERE kind = '" + kind + "' AND name = '" + name + "'");
    return rows.empty() ? "missing" : rows[0];
  }

  std::vector<std::optional<std::string>> answers{"500"};
  std::size_t asked = 0;
  QVmanager m;

  EmbeddedStore store_;

 private:
  platform::CallbackPrompter prompter_{[this](const platform::PromptRequest&) -> std::optional<std::string> {
    return asked < answers.size() ? answers[asked++] : std::nullopt;
  }};
  platform::ScopedPrompter scoped_;
};

// The states along the way are checked end to end by JournalCommandTest;
// here, what the server keeps.
TEST_P(JournalStore, CreatesCapturesReleasesAndRemovesTheJournal) {
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  const std::string file = "D:\\O'Jrn\\" + Database();

  std::string directory = " D:\\O'Jrn ";
  ASSERT_TRUE(m.CreateQVJournal(directory)) << m.ErrorText();
  EXPECT_EQ(directory, "D:\\O'Jrn\\");
  if (Sql()) {
    EXPECT_EQ(Objects(), (std::vector<std::string>{"dboption SALES published ", "job  QV_ReadJrn_SALES running",
                                                   "jobschedule QV_ReadJrn_SALES Always ",
                                                   "jobserver QV_ReadJrn_SALES QVSOURCE ",
                                                   "jobstep QV_ReadJrn_SALES QVlogreader ",
                                                   "journalfile  " + file + " ", "publication SALES QUORVANE active"}));
  } else {
    EXPECT_EQ(Objects(), (std::vector<std::string>{"grant SCOTT QV_F_ADDENTRY ", "journalfile  " + file + " "}));
  }

  if (!Sql()) {
    EXPECT_FALSE(m.StartTableJournalisation("ORDERS")) << "the manager captures SQL Server tables only";
    EXPECT_EQ(m.ErrorText(), "StartTableJournalisation is not served on Oracle sources");
  }
  ASSERT_TRUE(Capture()) << control().ErrorText();
  if (Sql()) {
    EXPECT_EQ(asked, 1u);
    EXPECT_EQ(Rows("SELECT SRCDB || '.' || SRCTBL || '.' || FIELDINPUT || '=' || MAXLEN FROM QV_MX"),
              (std::vector<std::string>{"SALES.ORDERS.NOTE=500"}));
    EXPECT_EQ(Detail("view", "qv_ORDERS"),
              "select CODE,AMOUNT,SHIPPED,CAST(NOTE AS varchar(500)) AS NOTE from ORDERS");
    EXPECT_EQ(Detail("subscription", "ORDERS"), "QV_dummy");
  } else {
    // Its text is checked line for line against the recording fake.
    EXPECT_THAT(Detail("trigger", "QV$_ORDERS"), HasSubstr("szJRNFullPathName:='D:\\O''Jrn\\SCOTT';"));
    EXPECT_THAT(Objects(), testing::Contains("trigger SCOTT QV$_ORDERS VALID ENABLED"));
  }

  ASSERT_TRUE(m.StopTableJournalisation("ORDERS")) << m.ErrorText();
  EXPECT_FALSE(m.StopTableJournalisation("ORDERS")) << "released twice";

  ASSERT_TRUE(m.RemoveQVJournal()) << m.ErrorText();
  EXPECT_THAT(Objects(), testing::Each(testing::Not(testing::AnyOf(HasSubstr("publication"), HasSubstr("view"),
                                                                   HasSubstr("dboption")))));
}

TEST_P(JournalStore, RefusalsAndFailuresLeaveNothingBehindAndSayWhy) {
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  std::string blank = "   ";
  EXPECT_FALSE(m.CreateQVJournal(blank));
  m.SQL_DBname("SA'LES");
  m.ORACLE_SchemaName("SCO'TT");
  std::string directory = "D:\\J";
  EXPECT_FALSE(m.CreateQVJournal(directory));
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_TRUE(Objects().empty());

  m.SQL_DBname("SALES");
  m.ORACLE_SchemaName("SCOTT");
  ASSERT_TRUE(m.CreateQVJournal(directory)) << m.ErrorText();
  EXPECT_FALSE(m.CreateQVJournal(directory)) << "the JOURNAL row exists";
  EXPECT_NE(m.ErrorNum(), 0);
  const std::vector<std::string> journalled = Objects();

  // A table the source does not have.
  EXPECT_FALSE(Sql() ? m.StartTableJournalisation("NOSUCH") : control().ORACLE_CaptureTable("SCOTT", "NOSUCH"));
  EXPECT_NE((Sql() ? m.ErrorText() : control().ErrorText()).find("NOSUCH"), std::string::npos);
  EXPECT_EQ(Objects(), journalled);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalStore, testing::Values(kSqlServer, kOracle), KindName);

}  // namespace
}  // namespace qv::test
