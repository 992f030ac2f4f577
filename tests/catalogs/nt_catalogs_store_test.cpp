// NT catalogs on the embedded source of each kind: the data sources and the
// login test, databases and tables as created and listed, the database tree,
// and the text files of the source machine kept inside the server folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/controls.h"
#include "support/scratch.h"
#include "support/store_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

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

TEST_P(NtCatalogStore, ListsTheDeclaredDataSources) {
  auto admin = Admin();
  admin.DeclareDataSource({"ACCESSDB", "Microsoft Access Driver (*.mdb)", "HOST", "", "", "", ""});
  admin.DeclareDataSource({"ORASALES", "Oracle in XE", "HOST", "", "", "", ""});
  platform::ListBox list;
  int32_t count = 0;
  ASSERT_TRUE(control().FillDSNList(list, count)) << control().ErrorText();
  EXPECT_TRUE(Has(list.Items(), "ORASALES") && Has(list.Items(), "QVSOURCE") && Has(list.Items(), "ACCESSDB"));
}

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
