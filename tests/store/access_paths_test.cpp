#include "store/access_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "sqlite_helper.h"
#include "store/records.h"
#include "store/schema.h"

namespace qv {
namespace {

using namespace layout;
using test::MemoryDb;

// Every key and join column exists, and every field of a returned record is
// a column of the same width in a file of the path.
TEST(AccessPaths, KeysJoinsAndRecordsMatchTheirFiles) {
  for (const AccessPath& p : AllAccessPaths()) {
    SCOPED_TRACE(std::string(p.name));
    for (std::string_view c : p.key) EXPECT_TRUE(p.physical->Has(c)) << c;
    for (std::string_view c : p.joinOn) {
      EXPECT_TRUE(p.physical->Has(c)) << c;
      EXPECT_TRUE(p.joined->Has(c)) << c;
    }
    for (const Field& f : p.record->fields) {
      const Layout* from = f.table == p.physical->table ? p.physical
                           : (p.joined && f.table == p.joined->table) ? p.joined
                                                                      : nullptr;
      ASSERT_NE(from, nullptr) << f.name;
      ASSERT_TRUE(from->Has(f.column)) << f.name;
      EXPECT_EQ((*from)[f.column].width, f.width) << f.name;
    }
  }
}

// A rewrite or a delete through a path over one file can find the physical
// row from the record it read.
TEST(AccessPaths, ProjectionsCarryThePhysicalKey) {
  for (const AccessPath& p : AllAccessPaths()) {
    if (p.IsJoin()) continue;
    for (const Field& k : p.physical->Key())
      EXPECT_TRUE(p.record->Has(k.name)) << p.name << " lacks " << k.name;
  }
}

TEST(AccessPathSql, EveryPathQueryRunsWithAWholeKeyAPartialKeyAndNoKey) {
  MemoryDb db;
  for (const std::string& sql : StoreSchemaSql(StoreKind::As400)) ASSERT_EQ(db.Exec(sql), "");
  for (const AccessPath& p : AllAccessPaths())
    for (const std::string& key : {"01T1 G1 " + std::string(60, ' '), std::string("01"), std::string()}) {
      const AccessQuery q = BuildAccessQuery(p, key);
      EXPECT_NO_THROW(db.Query(q.sql, q.params)) << p.name << " [" << key << "]";
    }
}

TEST(AccessPathSql, StatementShapes) {
  const AccessPath& l1 = *FindAccessPath("QV_FC_L1");
  const AccessQuery q = BuildAccessQuery(l1, "01G1 00000");
  EXPECT_EQ(q.sql,
            "SELECT QV_FC.rowid, QV_FC.ENVID, QV_FC.TGTID, QV_FC.GRPID, QV_FC.FICID, QV_FC.OCCUR "
            "FROM QV_FC WHERE QV_FC.ENVID = ? AND QV_FC.GRPID = ? AND "
            "substr(QV_FC.FICID || '          ', 1, 5) = ? "
            "ORDER BY QV_FC.ENVID, QV_FC.GRPID, QV_FC.FICID, QV_FC.TGTID");
  EXPECT_EQ(q.params, (std::vector<std::string>{"01", "G1 ", "00000"}));

  EXPECT_EQ(AccessUpdateSql(*FindAccessPath("QV_CX_XY")),
            "UPDATE QV_CX SET ENVID = ?, TGTID = ?, X = ?, Y = ? WHERE rowid = ?");
  EXPECT_EQ(AccessInsertSql(*FindAccessPath("QV_ZC_L0")),
            "INSERT INTO QV_ZC (ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT) "
            "VALUES (?, ?, ?, ?, ?, ?)");
  EXPECT_EQ(BuildAccessQuery(*FindAccessPath("QV_VER"), "").sql,
            "SELECT QV_VER.rowid, QV_VER.SRCTYPE, QV_VER.VERSION, QV_VER.VERFLAG FROM QV_VER "
            "ORDER BY QV_VER.rowid");
  EXPECT_THROW(AccessInsertSql(*FindAccessPath("QV_CX_XY")), std::invalid_argument);
  EXPECT_THROW(AccessUpdateSql(*FindAccessPath("QV_FC_FXU")), std::invalid_argument);
  EXPECT_THROW(AccessDeleteSql(*FindAccessPath("QV_GX_GC")), std::invalid_argument);
}

}  // namespace
}  // namespace qv
