// Records and texts of the model and distribution operations: record strings
// from callers, table numbers, member options, default distributed tables and
// the display texts of the change events.
#include <gtest/gtest.h>

#include "store/record_rules.h"
#include "store/record_layouts.h"
#include "support/topology.h"

namespace qv {
namespace {

// A short record string padded and a long one refused are checked on the
// stores; these are the tails a caller's fixed buffer leaves.
TEST(RecordStrings, BlankAndNulTailsAreCutOthersRefused) {
  const std::string exact(205, 'x');
  EXPECT_EQ(RecordFromString(layout::QV_GX, exact).image(), exact);
  // A fixed buffer: blanks and NULs after the record are dropped.
  EXPECT_EQ(RecordFromString(layout::QV_GX, exact + "   " + std::string(3, '\0')).image(), exact);
  // Anything else past the record means another record.
  EXPECT_THROW(RecordFromString(layout::QV_GX, exact + "  x"), std::invalid_argument);
}

TEST(RecordStrings, CodesFitWhenTheirTrailingBlanksAreLeftOut) {
  EXPECT_TRUE(CodeFits("M1    ", 3));
  EXPECT_TRUE(CodeFits(" M1", 3));
  EXPECT_FALSE(CodeFits("M123", 3));
  EXPECT_FALSE(CodeFits("  M1", 3));
}

TEST(TableNumbers, ReadAndWrittenAsTenDigits) {
  EXPECT_EQ(TableNumber("0000000007"), 7);
  EXPECT_EQ(TableNumber("  12AB"), 12);
  EXPECT_EQ(TableNumber("ABC"), 0);
  EXPECT_EQ(TableNumber("9999999999"), 9999999999);
  EXPECT_EQ(TableNumberText(kMaxTableNumber), "9999999999");
  EXPECT_THROW(TableNumberText(kMaxTableNumber + 1), std::out_of_range);
  EXPECT_THROW(TableNumberText(-1), std::out_of_range);
}

TEST(Models, MemberOptionFollowsTheAllMembersFlagOnAs400Only) {
  // "*ALL" on AS/400 and nothing on NT are checked on the stores.
  EXPECT_EQ(MemberOption(true, "0"), "*FIRST");
  EXPECT_EQ(MemberOption(true, " "), "*FIRST");
}

Record ModelTable() {
  return test::Make(layout::QV_FX, {{"ENVID", "E1"}, {"GRPID", "M1"}, {"FICID", "0000000003"},
                                    {"NUMSEQ", "0000000042"}, {"SRCTBL", "SRCLIB    CUSTOMERS MBR1      "},
                                    {"DESCRIP", "  Customers  "}, {"HOLD", "1"}, {"TGTLIB", "FXLIB"},
                                    {"ACCESMODE", "K"}});
}

TEST(DistributedTables, DefaultRecordOfAModelTable) {
  // Everything else is blank: the model table's hold, library and options stay behind.
  const Record expected = test::Make(
      layout::QV_FC, {{"ENVID", "E1"}, {"TGTID", "T1"}, {"GRPID", "M1"}, {"FICID", "0000000003"}, {"OCCUR", "0"},
                      {"NUMSEQ", "0000000042"}, {"NEW", "1"}, {"HOLD", "0"}, {"CLRSPEC", "0"}, {"NUMFC", "0000000000"},
                      {"REPRISEPNT", "0000000000"}, {"X", "0000000000"}, {"Y", "0000000000"}});
  EXPECT_EQ(DefaultDistributedTable(ModelTable(), "E1", "T1", "M1"), expected);
  EXPECT_THROW(DefaultDistributedTable(Record(layout::QV_GX), "E1", "T1", "M1"), std::invalid_argument);
}

TEST(EventTexts, EffectiveTargetLibraryFallsBackInTurn) {
  struct Case {
    const char* fcLib;
    const char* fxLib;
    const char* dbType;
    const char* expected;
  };
  const Case cases[] = {
      {"FCLIB", "FXLIB", "0", "FCLIB"},   // the distributed table's own library
      {"", "FXLIB", "0", "FXLIB"},        // else the model table's
      {"", "", " ", "TARGETDB"},          // else the distribution's database for types blank, 0-2
      {"", "", "2", "TARGETDB"},
      {"", "", "3", "SRCLIB"},            // else the source library
  };
  for (const Case& c : cases) {
    Record fx = ModelTable();
    fx.Set("TGTLIB", c.fxLib);
    Record fc = DefaultDistributedTable(fx, "E1", "T1", "M1");
    fc.Set("TGTLIB", c.fcLib);
    Record gc(layout::QV_GC);
    gc.Set("TGTBDTYPE", c.dbType);
    gc.Set("TARGETDB", "  TARGETDB  ");
    EXPECT_EQ(EffectiveTargetLibrary(JoinDistributedTable(fc, fx), gc), c.expected)
        << c.fcLib << "/" << c.fxLib << "/" << c.dbType;
  }
}

// A table without member or target file is shown by the stores; these are
// the member, shown on AS/400 only, and the target file.
TEST(EventTexts, DistributedTableTextsShowTheMemberOnAs400AndTheTargetFile) {
  const Record fx = ModelTable();
  Record fc = DefaultDistributedTable(fx, "E1", "T1", "M1");
  fc.Set("TGTFILE", "CUST_COPY");
  const Record joined = JoinDistributedTable(fc, fx);
  const DistributedTableTexts t = DistributedTableEventTexts(joined, Record(layout::QV_GC), true);
  EXPECT_EQ(t.source, "SRCLIB/CUSTOMERS(MBR1)");
  EXPECT_EQ(t.description, "Customers");
  EXPECT_EQ(t.target, "FXLIB/CUST_COPY");
}

}  // namespace
}  // namespace qv
