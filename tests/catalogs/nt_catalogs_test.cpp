// NT catalogs: the exact calls and statements sent to the source (recording
// fake) and what the fillers keep of the answers; then, on the embedded
// source of each kind, the data sources and the login test, databases and
// tables as created and listed, the database tree, and the text files of the
// source machine kept inside the server folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "catalogs/nt_catalog_text.h"
#include "platform/controls.h"
#include "presentation/strutil.h"
#include "support/fake_control.h"
#include "support/scratch.h"
#include "support/store_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Returns argument i of every call of op.
Lines ArgsOf(const RecordingFake& fake, const std::string& op, std::size_t i) {
  Lines out;
  for (const FakeCall& c : fake.CallsNamed(op)) out.push_back(c.Arg(i));
  return out;
}

// Returns the calls as "Op arg|arg..." with the arguments at the positions
// given for that operation; connection switches left out.
Lines Calls(const RecordingFake& fake, const std::map<std::string, std::vector<std::size_t>>& shown) {
  Lines out;
  for (const FakeCall& c : fake.Calls()) {
    if (c.op == "SwitchMConnection") continue;
    std::string line = c.op;
    auto at = shown.find(c.op);
    if (at != shown.end())
      for (std::size_t i : at->second) line += (i == at->second.front() ? " " : "|") + c.Arg(i);
    out.push_back(line);
  }
  return out;
}

TEST(NtCatalogs, DataSourcesAreKeptWhenTheirDriverServesTheKind) {
  const std::string page =
      "ACC\tMicrosoft Access Driver (*.mdb)\n"
      "JET\tAccess Jet\n"
      "NATIVE\tSQL Native Client\n"
      "ORA\tOracle in OraDb11g\n"
      "REVERSED\tServer for SQL data\n"
      "SQLSRV\tSQL Server\n"
      "SRV\tServer Driver\n";
  struct Case {
    const char* kind;
    Lines kept;
  };
  const Case cases[] = {
      {"Sql Server", {"REVERSED", "SQLSRV"}},
      {"ORACLE", {"ORA"}},
      {"MS-ACCESS", {"ACC"}},
      {"", {"ACC", "JET", "NATIVE", "ORA", "REVERSED", "SQLSRV", "SRV", "LAST"}},
      {"DB2", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    OpenedFake o("SQL Server");
    o.fake().On("GetDSNsAndDrivers").Out(page).Out("LAST\tOther\n").Out("");
    platform::ListBox list;
    list.AddItem("OLD");
    int32_t count = -1;
    ASSERT_TRUE(o.control().FillDSN(list, c.kind, count)) << o.control().ErrorText();
    EXPECT_EQ(list.Items(), c.kept);
    EXPECT_EQ(count, list.ListCount());
    EXPECT_EQ(ArgsOf(o.fake(), "GetDSNsAndDrivers", 2), (Lines{"1", "0", "0"}));
  }
}

// A login refused without a text says so.
TEST(NtCatalogs, TestDsnClosesWhatItOpenedWhateverTheLoginGives) {
  for (const bool ok : {true, false}) {
    SCOPED_TRACE(ok ? "accepted" : "refused");
    OpenedFake o("SQL Server");
    if (!ok) o.fake().On("ConnectDSN").Fail(DllParam::kCodeRefused, 0, "");
    EXPECT_EQ(o.control().TestDSN(" SALES ", "ME", "PW"), ok);
    Lines expected{"OpenMConnection SRC", "ConnectDSN DSN=SALES|ME|PW"};
    if (ok) expected.push_back("CloseConnectionDSN DSN=SALES");
    expected.push_back("CloseMConnection 2");
    EXPECT_EQ(Calls(o.fake(), {{"OpenMConnection", {0}}, {"ConnectDSN", {0, 1, 2}}, {"CloseConnectionDSN", {0}},
                               {"CloseMConnection", {0}}}),
              expected);
    EXPECT_EQ(o.fake().OpenConnections(), (std::set<int32_t>{1}));
    EXPECT_EQ(o.control().ErrorNum(), ok ? 0 : QVSource::kRefusalNum);
    EXPECT_EQ(o.control().ErrorText(), ok ? "" : "Error -- No error information available");
    // The next call goes back to the source connection.
    o.fake().ClearCalls();
    o.control().TableNTExist("T");
    EXPECT_EQ(ArgsOf(o.fake(), "SwitchMConnection", 0), Lines{"1"});
  }
}

TEST(NtCatalogs, DatabaseAndSchemaListsSendTheirStatementAndLeaveTheServersOwnOut) {
  Lines many;
  for (int i = 10; i < 45; ++i) many.push_back("DB" + std::to_string(i));
  Lines databases{"master", "SALES", "MSDB", "tempdb", "Model", "HR"};
  databases.insert(databases.end(), many.begin(), many.end());
  Lines keptDatabases{"SALES", "HR"};
  keptDatabases.insert(keptDatabases.end(), many.begin(), many.end());
  const Lines schemas{"SYS", "SCOTT", "system", "SH", "RMAN", "QS_WS", "HR"};
  const Lines keptSchemas{"SCOTT", "HR"};

  using Fill = bool (QVSource::*)(platform::ListBox&, int32_t&);
  struct Case {
    const char* what;
    const char* kind;
    Fill fill;
    const char* sql;
    std::size_t width;
    const Lines& rows;
    const Lines& kept;
    Lines flags;
  };
  const Case cases[] = {
      {"FillLibraryList", "SQL Server", &QVSource::FillLibraryList, kDatabasesSql, kDatabaseNameWidth, databases,
       keptDatabases, {"1", "0"}},
      {"FillLibraryList", "Oracle", &QVSource::FillLibraryList, kSchemasSql, kSchemaNameWidth, schemas, keptSchemas,
       {"1"}},
      {"FillSCH", "Oracle", &QVSource::FillSCH, kSchemasSql, kSchemaNameWidth, schemas, keptSchemas, {"1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " on " + c.kind);
    OpenedFake o(c.kind);
    Lines rows;
    for (const std::string& name : c.rows) rows.push_back(PadRight(name, c.width));
    o.fake().On("Sreadblock").Sql(c.sql).Rows(rows);
    const auto openBefore = o.fake().OpenFiles();
    platform::ListBox list;
    if (c.fill == &QVSource::FillSCH) list.AddItem("OLD");
    int32_t count = -1;
    EXPECT_TRUE((o.control().*c.fill)(list, count)) << o.control().ErrorText();
    EXPECT_EQ(list.Items(), c.kept);
    EXPECT_EQ(count, list.ListCount());
    EXPECT_EQ(o.fake().Statements(), Lines{c.sql});
    EXPECT_EQ(ArgsOf(o.fake(), "Sreadblock", 4), c.flags);
    EXPECT_EQ(o.fake().OpenFiles(), openBefore);
  }
}

TEST(NtCatalogs, TableListsLeaveOutSqlServersOwnTablesOnSqlServerOnly) {
  const std::string page =
      "INFORMATION_SCHEMA.TABLES\tdbo.DtProperties\tdbo.ORDERS\tdbo.SYSCONSTRAINTS\tsysalternates\t"
      "dbo.syssegments\tdbo.sysarticleupdates\tdbo.LINES_INFORMATION\t";
  const Lines every{"INFORMATION_SCHEMA.TABLES", "dbo.DtProperties", "dbo.ORDERS",           "dbo.SYSCONSTRAINTS",
                    "sysalternates",             "dbo.syssegments",  "dbo.sysarticleupdates", "dbo.LINES_INFORMATION"};
  for (const char* kind : {"SQL Server", "Oracle", "ODBC"}) {
    SCOPED_TRACE(kind);
    const Lines kept = std::string(kind) == "SQL Server" ? Lines{"dbo.ORDERS", "dbo.LINES_INFORMATION"} : every;
    OpenedFake o(kind);
    o.fake().On("FillTBL").Out(page).Out("");
    platform::ListBox list;
    list.AddItem("OLD");
    int32_t count = 0;
    ASSERT_TRUE(o.control().FillTBL(list, " SALES ", "", count)) << o.control().ErrorText();
    EXPECT_EQ(list.Items(), kept);
    EXPECT_EQ(count, list.ListCount());
    EXPECT_EQ(Calls(o.fake(), {{"FillTBL", {0, 1, 4}}}), (Lines{"FillTBL SALES|%|1", "FillTBL SALES|%|0"}));

    // The file list of an NT source is the same list, added to the items there.
    o.fake().On("FillTBL").Out(page).Out("");
    o.fake().ClearCalls();
    ASSERT_TRUE(o.control().FillFileList(list, "SALES", "", "ORD%", count));
    EXPECT_EQ(list.ListCount(), static_cast<int>(2 * kept.size()));
    EXPECT_EQ(count, static_cast<int>(kept.size()));
    EXPECT_EQ(ArgsOf(o.fake(), "FillTBL", 1), (Lines{"ORD%", "ORD%"}));
  }
}

// A list whose second part fails keeps the items of the first and records
// the library's error.
TEST(NtCatalogs, AListThatFailsKeepsTheItemsAddedBefore) {
  struct Case {
    const char* op;
    std::string page;
    std::function<bool(QVSource&, platform::ListBox&, int32_t&)> fill;
  };
  const Case cases[] = {
      {"FillTBL", "A\tB\t",
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillTBL(l, "SALES", "%", n); }},
      {"GetDSNsAndDrivers", "A\tSQL Server\nB\tSQL Server\n",
       [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.FillDSNList(l, n); }},
      {"FillDB", "A\tB\t", [](QVSource& s, platform::ListBox& l, int32_t& n) { return s.fillDB(l, true, n); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    OpenedFake o("SQL Server");
    o.fake().On(c.op).Out(c.page).Fail(DllParam::kCodeRefused, 208, "Invalid object name 'SALES'.");
    platform::ListBox list;
    int32_t count = 0;
    EXPECT_FALSE(c.fill(o.control(), list, count));
    EXPECT_EQ(list.Items(), (Lines{"A", "B"}));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(o.control().ErrorNum(), 208);
    EXPECT_EQ(o.control().ErrorText(), "Invalid object name 'SALES'.");
  }
}

TEST(NtCatalogs, DatabasesAreReadOnceUnlessRefreshed) {
  OpenedFake o("SQL Server");
  o.fake().On("FillDB").Out("master\tSALES\t").Out("").Repeatedly();
  platform::ListBox list;
  int32_t count = 0;
  ASSERT_TRUE(o.control().fillDB(list, false, count));
  ASSERT_TRUE(o.control().fillDB(list, false, count));
  EXPECT_EQ(list.Items(), (Lines{"master", "SALES"}));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Calls(o.fake(), {{"FillDB", {0, 3}}}), (Lines{"FillDB NEANT|1", "FillDB NEANT|0"}));
  // The source now lists nothing.
  ASSERT_TRUE(o.control().fillDB(list, true, count));
  EXPECT_EQ(o.fake().CallCount("FillDB"), 3);
  EXPECT_EQ(list.Items(), Lines{});
  EXPECT_EQ(count, 0);
}

TEST(NtCatalogs, AFailedTableCheckNamesTheTrimmedTable) {
  OpenedFake o("SQL Server");
  o.fake().On("TableNTExist").Fail(DllParam::kCodeNetwork, 0, "lost");
  EXPECT_FALSE(o.control().TableNTExist(" SALES..O'NEIL "));
  EXPECT_EQ(ArgsOf(o.fake(), "TableNTExist", 0), Lines{"SALES..O'NEIL"});
  EXPECT_EQ(o.control().ErrorText(), "Error in TableNTExist for table SALES..O'NEIL");
}

TEST(NtCatalogs, ServerTextFileIsDeletedThenWrittenWhole) {
  struct Case {
    const char* what;
    std::function<void(FakeRule&)> deleted;
    bool written;
  };
  const Case cases[] = {
      {"replaced", [](FakeRule&) {}, true},
      {"new", [](FakeRule& r) { r.NotFound(); }, true},
      {"delete refused", [](FakeRule& r) { r.Fail(DllParam::kCodeRefused, 5, "Access is denied."); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedFake o("SQL Server");
    c.deleted(o.fake().On("DeleteFileWithFullPath"));
    EXPECT_EQ(o.control().WriteServerTxtFile(" scripts\\end.txt ", "a\r\nb\r\n"), c.written);
    Lines expected{"DeleteFileWithFullPath scripts\\end.txt"};
    if (c.written) expected.push_back("WriteFileWithFullPath scripts\\end.txt|a\r\nb\r\n|1");
    EXPECT_EQ(Calls(o.fake(), {{"DeleteFileWithFullPath", {0}}, {"WriteFileWithFullPath", {0, 1, 2}}}), expected);
    EXPECT_EQ(o.control().ErrorText(), c.written ? "" : "Access is denied.");
  }
}

TEST(NtCatalogs, ComputerNameComesFromTheCommandOnAs400AndTheLibraryElsewhere) {
  OpenedFake nt("Oracle");
  EXPECT_EQ(nt.control().GetComputerName(), "FAKEHOST");
  OpenedFake o("AS400");
  o.fake().On("Execute").Code("RTVMCHNAME").Reply("SYSTEM1   ");
  EXPECT_EQ(o.control().GetComputerName(), "SYSTEM1");
  ASSERT_EQ(o.fake().Commands().size(), 1u);
  EXPECT_EQ(o.fake().Commands()[0].ctl, "0000000100");
  o.fake().On("Execute").Code("RTVMCHNAME").Fail(DllParam::kCodeRefused, 0, "refused");
  EXPECT_EQ(o.control().GetComputerName(), "");
  EXPECT_EQ(o.control().ErrorNum(), QVSource::kRefusalNum);
  EXPECT_EQ(o.control().ErrorText(), "Error in GetComputerName");
}

class NtCatalogStore : public StoreTest {
 protected:
  bool SqlServer() const { return GetParam().store == embedded::SourceKind::SQLServer; }
  bool Odbc() const { return GetParam().store == embedded::SourceKind::ODBC; }
  // A table named as this kind's table service qualifies it.
  std::string Qualified(const std::string& database, const std::string& table) const {
    if (Odbc()) return table;
    return database + (SqlServer() ? ".." : ".") + table;
  }
  // A table name as this kind's table list shows it.
  std::string Listed(const std::string& table) const { return (SqlServer() ? "dbo." : "") + table; }
  // The database the tables of the tests are in ("" on a plain ODBC source).
  std::string Sales() const { return Odbc() ? "" : "SALES"; }

  Lines Tables(const std::string& database, const std::string& mask) {
    platform::ListBox list;
    int32_t count = -1;
    EXPECT_TRUE(control().FillTBL(list, database, mask, count)) << control().ErrorText();
    EXPECT_EQ(count, list.ListCount());
    return list.Items();
  }
  bool Has(const Lines& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  }
};

TEST_P(NtCatalogStore, TestsALoginWithoutDisturbingTheSourceConnection) {
  struct Case {
    const char* dsn;
    const char* password;
    bool ok;
    const char* error;
  };
  const Case cases[] = {
      {"QVSOURCE", "QVADMIN", true, ""},
      {"QVSOURCE", "WRONG", false, "Login failed for user 'QVADMIN'."},
      {"NOSUCH", "QVADMIN", false, "Data source name not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dsn) + " " + c.password);
    EXPECT_EQ(control().TestDSN(c.dsn, "QVADMIN", c.password), c.ok);
    EXPECT_EQ(control().ErrorNum(), c.ok ? 0 : QVSource::kRefusalNum);
    EXPECT_NE(control().ErrorText().find(c.error), std::string::npos);
    // The source connection keeps its own login.
    EXPECT_TRUE(Has(Tables(Odbc() ? "" : "QV_USRDATA", "QV_E%"), Listed("QV_EX")));
  }
}

TEST_P(NtCatalogStore, CreatesTablesThatTheChecksAndListsThenFind) {
  const std::string orders = Qualified("SALES", "ORDERS");
  EXPECT_FALSE(control().TableNTExist(orders));
  EXPECT_EQ(control().ErrorNum(), 0);
  ASSERT_TRUE(control().CreateTable(orders, "CODE CHAR(10) NOT NULL, AMOUNT NUMERIC(9,2)")) << control().ErrorText();
  ASSERT_TRUE(control().CreateTable(Qualified("SALES", "LINES"), "CODE CHAR(10)")) << control().ErrorText();
  EXPECT_TRUE(control().TableNTExist(orders));
  EXPECT_EQ(Tables(Sales(), "ORD%"), Lines{Listed("ORDERS")});
  EXPECT_EQ(Tables(Sales(), "%iNES"), Lines{Listed("LINES")});
  EXPECT_EQ(Tables(Sales(), "_RDERS"), Lines{Listed("ORDERS")});

  EXPECT_FALSE(control().CreateTable(orders, "CODE CHAR(10)"));
  EXPECT_NE(control().ErrorText().find("already an object named 'ORDERS'"), std::string::npos);
  // A definition that holds a second statement runs nothing.
  EXPECT_FALSE(control().CreateTable(Qualified("SALES", "EXTRA"), "A INT); DROP TABLE \"SALES.ORDERS\"; --"));
  EXPECT_TRUE(control().TableNTExist(orders));
  EXPECT_FALSE(control().TableNTExist(Qualified("SALES", "EXTRA")));
}

TEST_P(NtCatalogStore, NamesWithQuotesAreRefusedOrFindNothing) {
  ASSERT_TRUE(control().CreateTable(Qualified("SALES", "ORDERS"), "CODE CHAR(10)"));
  const Lines before = Tables(Sales(), "%");
  EXPECT_FALSE(control().CreateTable(Qualified("SALES", "O'NEIL"), "CODE CHAR(10)"));
  EXPECT_NE(control().ErrorText().find("'O'NEIL' cannot name a table"), std::string::npos);
  ClearError();
  EXPECT_FALSE(control().TableNTExist(Qualified("SALES", "O'NEIL")));
  EXPECT_EQ(control().ErrorNum(), 0);
  EXPECT_EQ(Tables(Sales(), "O'%"), Lines{});
  EXPECT_EQ(Tables(Sales(), "%"), before);
}

TEST_P(NtCatalogStore, TreeHoldsTheDatabasesAndTheTablesOfTheOnesOpened) {
  ASSERT_TRUE(control().CreateTable(Qualified("SALES", "ORDERS"), "A INT"));
  ASSERT_TRUE(control().CreateTable(Qualified("HR", "STAFF"), "A INT"));
  platform::TreeView tv;
  int32_t count = 0;
  if (Odbc()) {
    EXPECT_FALSE(control().LoadDBList(tv, count));
    EXPECT_NE(control().ErrorText().find("not served for ODBC"), std::string::npos);
    return;
  }
  ASSERT_TRUE(control().LoadDBList(tv, count)) << control().ErrorText();
  Lines roots;
  for (const platform::TreeNode* n : tv.Roots()) roots.push_back(n->Key() + " " + n->tag);
  EXPECT_EQ(roots, (Lines{"DB:HR DB", "DB:QV_USRDATA DB", "DB:SALES DB"}));
  EXPECT_EQ(count, 3);
  // Loading a database twice keeps one node per table.
  ASSERT_TRUE(control().LoadTBLList(tv, "SALES", count));
  ASSERT_TRUE(control().LoadTBLList(tv, "SALES", count)) << control().ErrorText();
  Lines children;
  for (const platform::TreeNode* n : tv.Find("DB:SALES")->Children()) children.push_back(n->Key() + " " + n->tag);
  EXPECT_EQ(children, (Lines{"TBL:SALES." + Listed("ORDERS") + " TBL"}));
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(control().LoadTBLList(tv, "NOSUCH", count));
  ASSERT_TRUE(control().ClearTBLList(tv));
  EXPECT_EQ(tv.Count(), 3);

  platform::ListBox all;
  ASSERT_TRUE(control().fillDB(all, true, count));
  EXPECT_TRUE(Has(all.Items(), SqlServer() ? "master" : "SYS"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, NtCatalogStore, NtKinds(), KindName);

// Text files of the source machine, on a store of every kind.
class ServerFileStore : public StoreTest {
 protected:
  fs::path Folder() { return Admin().path() + ".server"; }
};

TEST_P(ServerFileStore, ReplacesAFileInsideTheServerFolder) {
  ASSERT_TRUE(control().WriteServerTxtFile("scripts\\end.txt", "first\r\nfile\r\n")) << control().ErrorText();
  ASSERT_TRUE(control().WriteServerTxtFile("scripts/./end.txt", "second\r\n")) << control().ErrorText();
  EXPECT_EQ(ReadWholeFile((Folder() / "scripts" / "end.txt").string()), "second\r\n");
}

TEST_P(ServerFileStore, RefusesAPathThatLeavesTheFolderAndWritesNothing) {
  const fs::path outside = fs::path(Admin().path()).parent_path() / "outside";
  fs::create_directories(outside);
  fs::create_directories(Folder());
  fs::create_directory_symlink(outside, Folder() / "link");
  struct Case {
    std::string path;
    const char* error;
  };
  const Case cases[] = {
      {"..\\outside\\x.txt", "leaves the server folder"},
      {"scripts/../../outside/x.txt", "leaves the server folder"},
      {(outside / "x.txt").string(), "is absolute"},
      {"C:\\outside\\x.txt", "is absolute"},
      {"link\\x.txt", "symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(control().WriteServerTxtFile(c.path, "x"));
    EXPECT_NE(control().ErrorText().find(c.error), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_FALSE(fs::exists(Folder() / "scripts"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ServerFileStore, AllKinds(), KindName);

}  // namespace
}  // namespace qv::test
