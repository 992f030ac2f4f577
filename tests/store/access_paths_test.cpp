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

// ---- serving the paths from a store ---------------------------------------

class ServedPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& sql : StoreSchemaSql(StoreKind::As400)) ASSERT_EQ(db_.Exec(sql), "");
    AddModel("G1", "Model one");
    AddModel("G2", "Model two");
    for (const char* t : {"T2", "T1"}) {
      AddDistribution(t, "G1");
      for (const char* fic : {"0000000002", "0000000001"}) AddDistributedTable(t, "G1", fic);
    }
    AddDistribution("T1", "G2");
    for (const char* fic : {"0000000001", "0000000002"}) AddModelTable("G1", fic);
  }

  void Write(const Record& r) {
    const AccessPath& p = *FindAccessPath(r.layout().name);
    std::vector<std::string> params;
    for (std::size_t i = 0; i < r.layout().fields.size(); ++i) params.emplace_back(r.Get(i));
    ASSERT_EQ(db_.Exec(AccessInsertSql(p), params), "");
  }
  void AddModel(const char* grp, const char* descrip) {
    Record gx(QV_GX);
    gx.Set("ENVID", "01");
    gx.Set("GRPID", grp);
    gx.Set("DESCRIP", descrip);
    gx.Set("GRPTYPE", "1");
    Write(gx);
  }
  void AddDistribution(const char* tgt, const char* grp) {
    Record gc(QV_GC);
    gc.Set("ENVID", "01");
    gc.Set("TGTID", tgt);
    gc.Set("GRPID", grp);
    gc.Set("HOLD", "0");
    gc.Set("REPRISELIB", "RCVLIB");
    gc.Set("X", "0000000007");
    Write(gc);
  }
  void AddModelTable(const char* grp, const char* fic) {
    Record fx(QV_FX);
    fx.Set("ENVID", "01");
    fx.Set("GRPID", grp);
    fx.Set("FICID", fic);
    fx.Set("SRCTBL", "LIB       FILE");
    fx.Set("TGTLIB", "FXLIB");
    Write(fx);
  }
  void AddDistributedTable(const char* tgt, const char* grp, const char* fic) {
    Record fc(QV_FC);
    fc.Set("ENVID", "01");
    fc.Set("TGTID", tgt);
    fc.Set("GRPID", grp);
    fc.Set("FICID", fic);
    fc.Set("OCCUR", "0");
    fc.Set("TGTLIB", "FCLIB");
    Write(fc);
  }

  // Runs a path's query and returns the record images, rowids dropped.
  std::vector<Record> Read(const char* path, std::string_view key) {
    const AccessPath& p = *FindAccessPath(path);
    const AccessQuery q = BuildAccessQuery(p, key);
    std::vector<Record> out;
    for (const auto& row : db_.Query(q.sql, q.params)) {
      std::string image;
      for (std::size_t i = 0; i < p.record->fields.size(); ++i)
        image += FitText(row.at(i + 1), p.record->fields[i].width);
      out.emplace_back(*p.record, image);
    }
    return out;
  }

  MemoryDb db_;
};

TEST_F(ServedPaths, EveryPathQueryRunsWithAWholeKeyAPartialKeyAndNoKey) {
  for (const AccessPath& p : AllAccessPaths()) {
    SCOPED_TRACE(std::string(p.name));
    const std::string key = "01T1 G1 " + std::string(60, ' ');
    EXPECT_NO_THROW(Read(std::string(p.name).c_str(), key));
    EXPECT_NO_THROW(Read(std::string(p.name).c_str(), "01"));
    EXPECT_NO_THROW(Read(std::string(p.name).c_str(), ""));
  }
}

TEST_F(ServedPaths, ProjectionComesInKeyOrderWithTheRestOfThePhysicalKey) {
  const auto rows = Read("QV_FC_L1", BuildKey(ModelTableKey, {"01", "G1", "0000000001"}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].image(), "01T1 G1 00000000010");
  EXPECT_EQ(rows[1].image(), "01T2 G1 00000000010");
}

TEST_F(ServedPaths, PartialKeyReadsEveryRecordThatStartsWithIt) {
  EXPECT_EQ(Read("QV_GC_L1", "01T").size(), 3u);   // T1/G1, T1/G2, T2/G1
  EXPECT_EQ(Read("QV_GC_L1", "01T1").size(), 2u);
  EXPECT_EQ(Read("QV_GC_L1", "01T1 ").size(), 2u);
  EXPECT_EQ(Read("QV_GC_L0", "01G1 ").size(), 2u);
  EXPECT_EQ(Read("QV_FC_L0", "01T2 G1 ").size(), 2u);
  EXPECT_EQ(Read("QV_FC", "01T2 G1 0000000001").size(), 1u);
  EXPECT_EQ(Read("QV_FC", "01T2 G1 0000000001 and more").size(), 1u);  // cut to the key
  EXPECT_EQ(Read("QV_GC", "").size(), 3u);
}

TEST_F(ServedPaths, UpdateThroughAProjectionKeepsTheOtherFields) {
  const AccessPath& xy = *FindAccessPath("QV_GC_XY");
  const AccessQuery q = BuildAccessQuery(xy, "01T1 G1 ");
  const auto rows = db_.Query(q.sql, q.params);
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(db_.Exec(AccessUpdateSql(xy), {"01", "T1 ", "G1 ", "0000000055", "0000000066",
                                           rows[0][0]}),
            "");
  const auto gc = Read("QV_GC", "01T1 G1 ");
  ASSERT_EQ(gc.size(), 1u);
  EXPECT_EQ(gc[0].Get("X"), "0000000055");
  EXPECT_EQ(gc[0].Get("Y"), "0000000066");
  EXPECT_EQ(gc[0].Trimmed("REPRISELIB"), "RCVLIB");  // kept by the AS/400 store
  EXPECT_EQ(gc[0].Get("HOLD"), "0");
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
