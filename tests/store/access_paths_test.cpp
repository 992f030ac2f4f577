#include "store/access_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "store/records.h"

namespace qv {
namespace {

using namespace layout;

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

}  // namespace
}  // namespace qv
