// The tables of an NT store as the schema makes them: what a row written by
// the generic statements reads back as, and what the tables refuse.
#include "store/schema.h"

#include <gtest/gtest.h>

#include <string>

#include "dllparam/embedded/sqlite_db.h"
#include "presentation/strutil.h"
#include "store/records.h"
#include "store/sqltext.h"
#include "support/embedded_store.h"

namespace qv {
namespace {

using namespace layout;

class Schema : public testing::Test {
 protected:
  embedded::Db& db() { return admin_.db(); }

 private:
  test::EmbeddedStore store_{embedded::SourceKind::ODBC};
  embedded::StoreAdmin admin_ = store_.Admin();
};

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

// A row written by the generic INSERT on every NT table reads back through
// the generic SELECT as the same record (the receiver library blank).
TEST_F(Schema, GenericStatementsRoundTripEveryNtTable) {
  for (const Layout* t : StoreTables()) {
    SCOPED_TRACE(std::string(t->name));
    db().exec("DELETE FROM " + std::string(t->table));
    Record record = Distinct(*t, 'A');
    db().exec(SqlInsert("", record));

    const SqlKey key = t->keyCount > 0 ? SqlKey::Of(record) : SqlKey(*t, {});
    embedded::Stmt rows = db().prepareOnce(SqlSelect("", key));
    ASSERT_TRUE(rows.step());
    // Concatenates the columns, each padded to its width, as the embedded
    // source hands rows back.
    std::string image;
    int c = 0;
    for (const Field& f : t->fields)
      if (f.nt) image += FitText(rows.columnText(c++), f.width);
    EXPECT_FALSE(rows.step());
    for (std::size_t i = 0; i < t->fields.size(); ++i)
      if (!t->fields[i].nt) record.Set(i, "");
    EXPECT_EQ(NtRowToRecord(*t, image), record);
  }
}

// Keys compare without their trailing blanks, a table of long text lengths
// holds one row per column, and no column takes more than its width.
TEST_F(Schema, TablesRefuseASecondRowOfAKeyAndAnOverlongValue) {
  struct Case {
    const char* first;  // "" when the second alone is refused
    std::string second;
  };
  Record cx(QV_CX);
  cx.Set("ENVID", "A");
  cx.Set("TGTID", "T1");
  const std::string mx = "INSERT INTO QV_MX (SRCDB, SRCTBL, FIELDINPUT, MAXLEN) VALUES('db', 'orders', 'note', 500)";
  const Case cases[] = {
      {"INSERT INTO QV_CX (ENVID, TGTID) VALUES('A','T1')", SqlInsert("", cx)},
      {mx.c_str(), mx},
      {"", "INSERT INTO QV_EX (ENVID) VALUES('ABC')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    if (*c.first) db().exec(c.first);
    EXPECT_THROW(db().exec(c.second), embedded::StoreError);
  }
}

}  // namespace
}  // namespace qv
