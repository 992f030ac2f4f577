// What "qvmgr journal" does with embedded SQL Server and Oracle stores: the
// whole cycle of a journal and a captured table, a dry run that lists the
// statements and changes nothing, and the refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "dllparam/admin/source_tables.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;

class JournalCommandTest : public QvmgrTest, public testing::WithParamInterface<embedded::SourceKind> {
 protected:
  JournalCommandTest() : store(GetParam(), /*demo=*/true, "demo") {
    embedded::StoreAdmin admin = store.Admin();
    embedded::AddSourceTable(admin, embedded::ParseSourceTable(std::string("table ") + Database() +
                                                               ".ORDERS\nCODE CHAR(10) key\nQTY INT\n" +
                                                               (Sql() ? "NOTE TEXT\n" : "")));
  }
  bool Sql() const { return GetParam() == embedded::SourceKind::SQLServer; }
  std::string Database() const { return Sql() ? "SALES" : "SCOTT"; }
  // Runs "qvmgr --json journal ARGS --database DB" and returns its document.
  Json Run(std::vector<std::string> args, int status = 0, const std::string& input = {}) {
    args.insert(args.begin(), {"--json", "journal"});
    args.insert(args.end(), {"--database", Database()});
    const ProcessResult r = Qvmgr(args, Connect(store), input);
    EXPECT_EQ(r.exitCode, status) << Describe(r);
    return Document(r);
  }

  EmbeddedStore store;
};

TEST_P(JournalCommandTest, CreatesCapturesReleasesAndRemoves) {
  const std::string file = "D:\\J\\" + Database();
  EXPECT_EQ(Run({"status"})["journalised"], false);
  EXPECT_EQ(Run({"create", "--dir", "D:\\J", "--wait", "0"})["file"], file);
  const Json status = Run({"status"});
  EXPECT_EQ(status["journalised"], true);
  EXPECT_EQ(status["file"], file);
  EXPECT_EQ(Run({"path"})["file"], file);

  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);
  Run({"table", "start", "ORDERS", "--maxlen", "300"});
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], true);
  Run({"table", "stop", "ORDERS"});
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);

  Run({"remove", "--wait", "0"});
  EXPECT_EQ(Run({"status"})["journalised"], false);
  Run({"path"}, 1);
}

TEST_P(JournalCommandTest, ADryRunListsTheStatementsAndChangesNothing) {
  const Json created = Run({"create", "--dir", "D:\\J", "--dry-run"});
  EXPECT_EQ(created["dryRun"], true);
  const Json& sent = created["statements"];
  ASSERT_FALSE(sent.empty());
  const std::string insert = Sql() ? "insert into QV_USRDATA..JOURNAL (DB, JrnFile) Values('SALES', 'D:\\J\\SALES')"
                                   : "insert into QV_USRDATA.JOURNAL (DB, JrnFile) Values('SCOTT', 'D:\\J\\SCOTT')";
  EXPECT_EQ(sent.back(), insert);
  std::string all;
  for (const Json& s : sent) all += s.get<std::string>() + "\n";
  EXPECT_EQ(all.find("QVADMIN/QVADMIN"), std::string::npos) << "the log reader's password shows";
  if (Sql()) {
    EXPECT_THAT(all, HasSubstr("QVSOURCE/SALES/QVADMIN/********'"));
  }
  EXPECT_EQ(Run({"status"})["journalised"], false);

  const ProcessResult text = Exits(0, {"journal", "remove", "--database", Database(), "--dry-run"}, Connect(store));
  EXPECT_THAT(text.out, HasSubstr(Sql() ? "delete from QV_USRDATA..JOURNAL where DB='SALES'\n"
                                        : "delete from QV_USRDATA.JOURNAL where DB='SCOTT'\n"));
}

TEST_P(JournalCommandTest, ACaptureWithoutAnAnswerIsCancelled) {
  if (!Sql()) GTEST_SKIP() << "only SQL Server asks the length of long texts";
  Run({"create", "--dir", "D:\\J", "--wait", "0"});
  const ProcessResult r = Exits(1, {"journal", "table", "start", "ORDERS", "--database", "SALES"}, Connect(store), "");
  EXPECT_THAT(r.err, HasSubstr("No length given for the long text column NOTE: the capture of ORDERS is cancelled"));
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalCommandTest,
                         testing::Values(embedded::SourceKind::SQLServer, embedded::SourceKind::Oracle),
                         [](const testing::TestParamInfo<embedded::SourceKind>& info) {
                           return std::string(embedded::KindName(info.param));
                         });

TEST_F(QvmgrTest, JournalIsRefusedOnOtherSourcesAndWithoutADatabase) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true, "demo");
  const ProcessResult other = Exits(1, {"journal", "status", "--database", "SALES"}, Connect(store));
  EXPECT_THAT(other.err, HasSubstr("DBIsQVJournalised is not served on AS400 sources"));
  const ProcessResult missing = Exits(2, {"journal", "status"}, Connect(store));
  EXPECT_THAT(missing.err, HasSubstr("journal status needs --database NAME"));
}

}  // namespace
}  // namespace qv::test
