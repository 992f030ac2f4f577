#include "store/records.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using namespace layout;

// A target record as the source holds it: the fields are read from their places.
TEST(Record, ATargetRecordOfTheSourceReadsFieldByField) {
  auto pad = [](const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); };
  const std::string image = "E1" + pad("T1", 3) + pad("Target one", 30) + "1" + "0" + "T" +
                            pad("as1.example.local", 30) + pad("AS1 TARGET", 30) + pad("LOCAL", 10) + "EXC" + "1";
  const Record cx(QV_CX, image);
  EXPECT_EQ(cx.Trimmed("DESCRIP"), "Target one");
  EXPECT_EQ(std::string(cx.Get("HOLD")) + std::string(cx.Get("TGTTYPE")) + std::string(cx.Get("COMTYPE")), "10T");
  EXPECT_EQ(cx.Trimmed("TGTADRESS"), "as1.example.local");
  EXPECT_EQ(cx.Trimmed("TGTNAME"), "AS1 TARGET");
  EXPECT_EQ(cx.Trimmed("LOCALNAME"), "LOCAL");
  EXPECT_EQ(std::string(cx.Get("EXCLUDE")) + std::string(cx.Get("FMTDATE")), "EXC1");
}

// ---- NT forms -------------------------------------------------------------

TEST(NtForms, ShortOrLongNtRowsNeverShiftFields) {
  const Record shortRow = NtRowToRecord(QV_GC, "01T1 G1 1");
  EXPECT_EQ(shortRow.Get("HOLD"), "1");
  EXPECT_EQ(shortRow.size(), 624u);
  const Record longRow = NtRowToRecord(QV_GC, std::string(700, 'z'));
  EXPECT_EQ(longRow.Get("REPRISELIB"), std::string(10, ' '));
  EXPECT_EQ(longRow.Get("FILLER"), std::string(39, 'z'));
}

}  // namespace
}  // namespace qv
