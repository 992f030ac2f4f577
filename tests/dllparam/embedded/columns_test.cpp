// Source tables of the embedded NT sources: their descriptions, and the
// column lists and primary keys the catalog services give of them.
#include <gtest/gtest.h>

#include "dllparam/admin/source_tables.h"
#include "support/embedded_store.h"
#include "support/lib_client.h"

namespace qv::test {
namespace {

using embedded::SourceKind;

constexpr const char* kOrders = R"(# orders of the sales database
table sales.orders
CODE     CHAR(10)       key
LINE     INT            key

AMOUNT   DECIMAL(10,2)  notnull
NOTE     TEXT           maxlen=500
)";

// Returns the qualified name of a table as the control passes it for kind.
std::string Qualified(const Kind& kind, const std::string& db, const std::string& table) {
  if (kind.store == SourceKind::SQLServer) return db + ".." + table;
  if (kind.store == SourceKind::Oracle) return db + "." + table;
  return table;
}

class ColumnsTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    embedded::StoreAdmin admin = store.Admin();
    embedded::AddSourceTable(admin, embedded::ParseSourceTable(kOrders));
    ASSERT_GT(client.Open(store.address()), 0) << client.Error().text;
    ASSERT_TRUE(client.Login(GetParam().login)) << client.Error().text;
  }

  // Reads every page of the column list of a qualified table with a list
  // buffer of size blanks; pages receives each page.
  bool Columns(const std::string& table, std::size_t size, std::vector<std::string>& pages) {
    for (int32_t first = DllParam::kFirstCall;; first = DllParam::kNextCall) {
      std::string list(size, ' ');
      int32_t len = -1;
      if (client.lib().FillColumnsListSource(DllParam::kColumnsOfTable, table, list, len, first) == 0) return false;
      if (len == 0) return true;
      pages.push_back(list.substr(0, static_cast<std::size_t>(len)));
    }
  }

  EmbeddedStore store{GetParam().store};
  LibClient client;
};

const std::string kOrderLines =
    "CODE\tCHAR 10\t1\t0\t\n"
    "LINE\tINT 10\t2\t0\t\n"
    "AMOUNT\tDECIMAL 10,2\t3\t0\t\n"
    "NOTE\tTEXT 2147483647\t4\t1\t\n";

TEST_P(ColumnsTest, ListsColumnsAndKeysOfTheTableTheKindQualifiesInPagesOfWholeLines) {
  std::vector<std::string> pages;
  ASSERT_TRUE(Columns(Qualified(GetParam(), "Sales", "Orders"), DllParam::kListBuffer, pages))
      << client.Error().text;
  EXPECT_EQ(pages, std::vector<std::string>{kOrderLines});

  std::string keys(DllParam::kBlockBuffer, ' ');
  int32_t len = 0;
  ASSERT_TRUE(client.lib().GetPrimaryKey(Qualified(GetParam(), "SALES", "ORDERS"), keys, len));
  EXPECT_EQ(keys.substr(0, static_cast<std::size_t>(len)), "CODE\tLINE\t");

  std::string list(DllParam::kListBuffer, ' ');
  ASSERT_TRUE(client.lib().FillColumnsList("SALES", "dbo.ORDERS", "a%", list, len, DllParam::kFirstCall));
  EXPECT_EQ(list.substr(0, static_cast<std::size_t>(len)), "AMOUNT\tDECIMAL 10,2\t3\t0\t\n");

  // Pages hold whole lines; a page too small for one line is refused.
  pages.clear();
  ASSERT_TRUE(Columns("SALES..ORDERS", 40, pages)) << client.Error().text;
  EXPECT_EQ(pages, (std::vector<std::string>{"CODE\tCHAR 10\t1\t0\t\nLINE\tINT 10\t2\t0\t\n",
                                             "AMOUNT\tDECIMAL 10,2\t3\t0\t\n", "NOTE\tTEXT 2147483647\t4\t1\t\n"}));
  pages.clear();
  EXPECT_FALSE(Columns("SALES..ORDERS", 10, pages));
  EXPECT_EQ(client.Error().code, DllParam::kCodeBadCall);
}

TEST_P(ColumnsTest, UnknownAndAmbiguousTablesAreRefusedByName) {
  std::vector<std::string> pages;
  EXPECT_FALSE(Columns("SALES..NOPE", 100, pages));
  EXPECT_EQ(ErrorOf(client.lib()), "refused 208 Invalid object name 'SALES..NOPE'.");

  embedded::StoreAdmin admin = store.Admin();
  embedded::AddSourceTable(admin, embedded::ParseSourceTable("table OLD.ORDERS\nCODE CHAR(10)\n"));
  EXPECT_FALSE(Columns("ORDERS", 100, pages));
  EXPECT_NE(client.Error().text.find("Ambiguous table name 'ORDERS'"), std::string::npos);
  ASSERT_TRUE(Columns("OLD.ORDERS", 100, pages));
  EXPECT_EQ(pages, std::vector<std::string>{"CODE\tCHAR 10\t1\t1\t\n"});
}

INSTANTIATE_TEST_SUITE_P(Kinds, ColumnsTest, NtKinds(), KindName);

TEST(SourceTables, NeedAnNtStore) {
  EmbeddedStore as400(SourceKind::AS400);
  embedded::StoreAdmin admin = as400.Admin();
  EXPECT_THROW(embedded::AddSourceTable(admin, embedded::ParseSourceTable(kOrders)), embedded::StoreError);
  LibClient client;
  ASSERT_GT(client.Open(as400.address()), 0);
  std::string keys(100, ' ');
  int32_t len = 0;
  EXPECT_FALSE(client.lib().GetPrimaryKey("SALES..ORDERS", keys, len));
  EXPECT_EQ(client.Error().code, DllParam::kCodeNotSupported);
}

TEST(SourceTables, ASecondTableOfTheSameNameIsRefusedAndNothingChangesInTheStore) {
  EmbeddedStore nt(SourceKind::Oracle);
  embedded::StoreAdmin admin = nt.Admin();
  embedded::AddSourceTable(admin, embedded::ParseSourceTable(kOrders));
  try {
    embedded::AddSourceTable(admin, embedded::ParseSourceTable("table SALES.ORDERS\nX TEXT maxlen=9\n"));
    ADD_FAILURE() << "no refusal";
  } catch (const embedded::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("table SALES.ORDERS exists already"), std::string::npos);
  }
  embedded::Stmt st = admin.db().prepare("SELECT COUNT(*) FROM QV_MX");
  ASSERT_TRUE(st.step());
  EXPECT_EQ(st.columnInt(0), 1);
  EXPECT_NE(embedded::DescribeStore(nt.path()).find("\nSource tables\n  SALES.ORDERS  4 columns, key CODE, LINE, 0 rows\n"),
            std::string::npos);
}

TEST(SourceTables, DescriptionsThatCannotBeReadSayWhichLineAndWhy) {
  struct Case {
    const char* text;
    const char* says;
  };
  for (const Case& c : {
           Case{"", "no \"table DATABASE.TABLE\" line"},
           Case{"tables SALES.ORDERS\n", "line 1: expected \"table DATABASE.TABLE\""},
           Case{"table ORDERS\nA INT\n", "line 1: \"ORDERS\" is not DATABASE.TABLE"},
           Case{"table S.T\n\nA\n", "line 3: a column needs a name and a type"},
           Case{"table S.T\nA DECIMAL(10,)\n", "line 2: \"DECIMAL(10,)\" is not a type"},
           Case{"table S.T\nA INT\na CHAR(2)\n", "line 3: column A is given twice"},
           Case{"table S.T\nA INT maxlen=5\n", "maxlen is for TEXT and LONGVARCHAR columns only"},
           Case{"table S.T\nA INT unique\n", "unknown word \"unique\""},
       }) {
    try {
      embedded::ParseSourceTable(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const embedded::StoreError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace qv::test
