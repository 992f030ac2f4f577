#include "store/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sqlite_helper.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace qv {
namespace {

using namespace layout;
using test::MemoryDb;


void CreateStore(MemoryDb& db, StoreKind kind) {
  for (const std::string& sql : StoreSchemaSql(kind)) ASSERT_EQ(db.Exec(sql), "") << sql;
}

// Concatenates the columns of a row, each padded to its width, as the
// embedded source hands rows back.
std::string RowImage(const Layout& table, const MemoryDb::Row& row) {
  std::string image;
  std::size_t c = 0;
  for (const Field& f : table.fields)
    if (f.nt) image += FitText(row.at(c++), f.width);
  return image;
}

// Fills every field with text that tells it apart, a quote included where
// the field is wide enough.
Record Distinct(const Layout& l, char seed) {
  Record r(l);
  for (std::size_t i = 0; i < l.fields.size(); ++i) {
    std::string v(l.fields[i].width, static_cast<char>(seed + i % 20));
    if (v.size() > 3) v[v.size() - 1] = '\'';
    r.Set(i, v);
  }
  return r;
}

void BlankFieldsWithoutColumn(Record& r) {
  for (std::size_t i = 0; i < r.layout().fields.size(); ++i)
    if (!r.layout().fields[i].nt) r.Set(i, "");
}

TEST(Schema, CreateTableTextOfATable) {
  EXPECT_EQ(CreateTableSql(QV_ZC, StoreKind::Nt),
            "CREATE TABLE QV_ZC ("
            "ENVID CHAR(2) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(ENVID) <= 2), "
            "TGTID CHAR(3) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(TGTID) <= 3), "
            "GRPID CHAR(3) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(GRPID) <= 3), "
            "FICID CHAR(10) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(FICID) <= 10), "
            "FIELDINPUT CHAR(30) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(FIELDINPUT) <= 30), "
            "FIELDOUT CHAR(30) NOT NULL DEFAULT '' COLLATE RTRIM CHECK (length(FIELDOUT) <= 30), "
            "PRIMARY KEY (ENVID, TGTID, GRPID, FICID, FIELDINPUT))");
  EXPECT_EQ(CreateTableSql(QV_VER, StoreKind::As400).find("PRIMARY KEY"), std::string::npos);
  EXPECT_NE(CreateTableSql(QV_GC, StoreKind::As400).find("REPRISELIB CHAR(10)"),
            std::string::npos);
  EXPECT_EQ(CreateTableSql(QV_GC, StoreKind::Nt).find("REPRISELIB"), std::string::npos);
  EXPECT_NE(CreateTableSql(QV_TX, StoreKind::Nt).find("PRIMARY KEY (ENVID, GRPID, FICID, LIEU, LINE)"),
            std::string::npos);
  EXPECT_NE(CreateTableSql(QV_END, StoreKind::Nt).find("PRIMARY KEY (ENVID, TGTID, GRPID, LIEU, LINE)"),
            std::string::npos);
  EXPECT_THROW(CreateTableSql(DistributionKey, StoreKind::Nt), std::invalid_argument);
}

// A row written by the generic INSERT on every NT table reads back as the
// same record (the receiver library blank).
TEST(Schema, GenericStatementsRoundTripEveryNtTable) {
  MemoryDb db;
  CreateStore(db, StoreKind::Nt);
  for (const Layout* t : StoreTables()) {
    SCOPED_TRACE(std::string(t->name));
    Record record = Distinct(*t, 'A');
    ASSERT_EQ(db.Exec(SqlInsert("", record)), "");

    const SqlKey key = t->keyCount > 0 ? SqlKey::Of(record) : SqlKey(*t, {});
    const auto rows = db.Query(SqlSelect("", key));
    ASSERT_EQ(rows.size(), 1u);
    BlankFieldsWithoutColumn(record);
    EXPECT_EQ(NtRowToRecord(*t, RowImage(*t, rows[0])), record);

  }
}

TEST(Schema, AShortKeyIsTheSameKeyAsItsBlankPaddedForm) {
  MemoryDb db;
  CreateStore(db, StoreKind::Nt);
  ASSERT_EQ(db.Exec("INSERT INTO QV_CX (ENVID, TGTID) VALUES('A','T1')"), "");
  Record cx(QV_CX);
  cx.Set("ENVID", "A");
  cx.Set("TGTID", "T1");
  EXPECT_NE(db.Exec(SqlInsert("", cx)), "");
  EXPECT_EQ(db.Count("QV_CX"), 1);
}

TEST(Schema, LongTextLengthsTableRefusesASecondRowForOneColumn) {
  MemoryDb db;
  CreateStore(db, StoreKind::Nt);
  const std::string insert =
      "INSERT INTO QV_MX (SRCDB, SRCTBL, FIELDINPUT, MAXLEN) VALUES('db', 'orders', 'note', 500)";
  ASSERT_EQ(db.Exec(insert), "");
  EXPECT_NE(db.Exec(insert), "");
  EXPECT_EQ(db.Query("SELECT MAXLEN FROM QV_MX WHERE SRCDB='db' AND SRCTBL='orders' AND "
                     "FIELDINPUT='note'")[0][0],
            "500");
}

}  // namespace
}  // namespace qv
