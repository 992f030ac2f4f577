// Journalisation on embedded SQL Server and Oracle stores, through QVmanager:
// what the server keeps after creating a journal, capturing a table,
// releasing it and removing the journal, what a failure leaves behind, and
// the members on sources that do not journalise.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "connection/qvsource.h"
#include "dllparam/admin/source_tables.h"
#include "dllparam/admin/store_admin.h"
#include "platform/prompt.h"
#include "support/embedded_store.h"
#include "support/kinds.h"

namespace qv::test {
namespace {

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

TEST_P(JournalStore, CreatesCapturesReleasesAndRemovesTheJournal) {
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  const std::string file = "D:\\O'Jrn\\" + Database();
  EXPECT_FALSE(m.DBIsQVJournalised());
  EXPECT_EQ(m.JournalFullPathName(), "");

  std::string directory = " D:\\O'Jrn ";
  ASSERT_TRUE(m.CreateQVJournal(directory)) << m.ErrorText();
  EXPECT_EQ(directory, "D:\\O'Jrn\\");
  EXPECT_TRUE(m.DBIsQVJournalised());
  EXPECT_EQ(m.JournalFullPathName(), file);
  if (Sql()) {
    EXPECT_EQ(Objects(), (std::vector<std::string>{"dboption SALES published ", "job  QV_ReadJrn_SALES running",
                                                   "jobschedule QV_ReadJrn_SALES Always ",
                                                   "jobserver QV_ReadJrn_SALES QVSOURCE ",
                                                   "jobstep QV_ReadJrn_SALES QVlogreader ",
                                                   "journalfile  " + file + " ", "publication SALES QUORVANE active"}));
  } else {
    EXPECT_EQ(Objects(), (std::vector<std::string>{"grant SCOTT QV_F_ADDENTRY ", "journalfile  " + file + " "}));
  }

  EXPECT_FALSE(m.IsTableJournalised("ORDERS"));
  if (!Sql()) {
    EXPECT_FALSE(m.StartTableJournalisation("ORDERS")) << "the manager captures SQL Server tables only";
    EXPECT_EQ(m.ErrorText(), "StartTableJournalisation is not served on Oracle sources");
  }
  ASSERT_TRUE(Capture()) << control().ErrorText();
  EXPECT_TRUE(m.IsTableJournalised("ORDERS"));
  if (Sql()) {
    EXPECT_EQ(asked, 1u);
    EXPECT_EQ(Rows("SELECT SRCDB || '.' || SRCTBL || '.' || FIELDINPUT || '=' || MAXLEN FROM QV_MX"),
              (std::vector<std::string>{"SALES.ORDERS.NOTE=500"}));
    EXPECT_EQ(Detail("view", "qv_ORDERS"),
              "select CODE,AMOUNT,SHIPPED,CAST(NOTE AS varchar(500)) AS NOTE from ORDERS");
    EXPECT_EQ(Detail("subscription", "ORDERS"), "QV_dummy");
  } else {
    const std::string trigger = Detail("trigger", "QV$_ORDERS");
    EXPECT_EQ(trigger.substr(0, trigger.find('\n')), "CREATE OR REPLACE TRIGGER SCOTT.QV$_ORDERS");
    EXPECT_THAT(trigger, HasSubstr("szJRNFullPathName:='D:\\O''Jrn\\SCOTT';"));
    EXPECT_THAT(Objects(), testing::Contains("trigger SCOTT QV$_ORDERS VALID ENABLED"));
  }

  ASSERT_TRUE(m.StopTableJournalisation("ORDERS")) << m.ErrorText();
  EXPECT_FALSE(m.IsTableJournalised("ORDERS"));
  EXPECT_FALSE(m.StopTableJournalisation("ORDERS")) << "released twice";

  ASSERT_TRUE(m.RemoveQVJournal()) << m.ErrorText();
  EXPECT_FALSE(m.DBIsQVJournalised());
  EXPECT_EQ(m.JournalFullPathName(), "");
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
  if (!Sql()) return;

  // The length question cancelled.
  answers = {std::nullopt};
  EXPECT_FALSE(m.StartTableJournalisation("ORDERS"));
  EXPECT_EQ(m.ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(Objects(), journalled);
  EXPECT_FALSE(m.IsTableJournalised("ORDERS"));
}

TEST_P(JournalStore, AnUnknownStatementFailsAsTheDatabaseSaysIt) {
  ASSERT_TRUE(m.OpenConnection()) << m.ErrorText();
  DllParam& lib = control().Library();
  EXPECT_EQ(lib.Saction(Sql() ? "exec msdb..sp_add_alert @name='x'" : "CALL qv_usrdata.qv_unknown('x');"), 0);
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(code, num, text);
  EXPECT_EQ(code, DllParam::kCodeRefused);
  EXPECT_EQ(num, Sql() ? 2812 : 900);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalStore, testing::Values(kSqlServer, kOracle), KindName);

}  // namespace
}  // namespace qv::test
