// Date masks, type and allow-null texts, MI blocks, field list columns, and
// the reading of the source's listing answers.
#include <gtest/gtest.h>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "platform/controls.h"

namespace qv {
namespace {

TEST(DateMasks, CodesAreCaseSensitiveAndEveryMaskComesBackToItsCode) {
  EXPECT_EQ(MaskDate("a"), "YYDDD");
  EXPECT_EQ(MaskDate("A"), "CYYMMDD");
  EXPECT_EQ(MaskDate("f"), "YYYY-MM-DD-HH.MM.SS");
  for (const char* none : {"I", " ", "", "i", "Z", "00"}) EXPECT_EQ(MaskDate(none), "") << none;
  EXPECT_EQ(NumMask(""), " ");
  EXPECT_EQ(NumMask("yyyymmdd"), "?");
  EXPECT_EQ(NumMask("YYYYMMDD "), "?");
  int codes = 0;
  for (int c = 0; c < 256; ++c) {
    const std::string code(1, static_cast<char>(c));
    const std::string mask = MaskDate(code);
    if (mask.empty()) continue;
    ++codes;
    EXPECT_EQ(NumMask(mask), code) << mask;
  }
  EXPECT_EQ(codes, 42);
}

TEST(FieldTypes, DisplayTextsShowLengthsAsNumbersAndDecimalsOfNumbers) {
  struct Case {
    const char* code;
    const char* len;
    const char* deci;
    const char* text;
  } cases[] = {
      // The names of the other codes are entries of the same table.
      {"P", "00007", "00002", "Packed 7,2"}, {"Z", "00005", "00000", "Zoned 5,0"},
      {"c ", "00010", "", "Char 10"},        {"Xn", "00010", "00002", "Decimal 10,2"},
      {"XN", "00008", "00003", "Numeric 8,3"}, {"Xi", "00005", "", "Smallint 5"},
      {"G", "00010", "00000", ""},            {"xn", "00010", "00002", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TypeDisplayText(c.code, c.len, c.deci), c.text) << c.code;
  EXPECT_THROW(TypeDisplayText("C", "1O", ""), std::invalid_argument);
  EXPECT_EQ(FieldIcon("V"), 1);
  EXPECT_EQ(FieldIcon("F"), 2);
  EXPECT_EQ(FieldIcon("L"), 3);
}

TEST(FieldTypes, AllowNullTextsGoBothWays) {
  const char* texts[] = {"No", "Yes", "Rtrim", "Same"};
  for (int i = 0; i < 4; ++i) {
    const std::string code(1, static_cast<char>('0' + i));
    EXPECT_EQ(AllowNullText(code), texts[i]);
    EXPECT_EQ(AllowNullCode(AllowNullText(code)), code);
  }
  EXPECT_EQ(AllowNullCode("rtrim  "), "2");
  EXPECT_EQ(AllowNullCode(" YES"), "");
  EXPECT_EQ(AllowNullText("4"), "");
  EXPECT_EQ(FieldNumber(123456), "23456");
}

TEST(MiBlocks, APieceNeverStraddlesABlock) {
  std::string buffer;
  WriteFormatedBufMI(buffer, std::string(10, 'a'));
  EXPECT_EQ(buffer, std::string(10, 'a'));
  buffer.assign(170, 'x');
  WriteFormatedBufMI(buffer, "12345");
  EXPECT_EQ(buffer, std::string(170, 'x') + std::string(5, ' ') + "12345");
  buffer.assign(170, 'x');
  WriteFormatedBufMI(buffer, "1234");
  EXPECT_EQ(buffer.size(), 174u);
  buffer.clear();
  WriteFormatedBufMI(buffer, std::string(175, 'p'));
  EXPECT_EQ(buffer, std::string(175, ' ') + std::string(175, 'p'));
}

TEST(FieldList, ColumnsHideWhatASourceFileDoesNotHaveAndSortByStart) {
  platform::ListView lv;
  lv.AddColumn("old");
  lv.Add("k", "item");
  InitListField(lv, true);
  ASSERT_EQ(lv.ColumnCount(), 14);
  EXPECT_EQ(lv.Count(), 0);
  EXPECT_EQ(lv.sortKey, 4);
  EXPECT_EQ(lv.Columns()[4].text, "Start storage");
  std::vector<int> hidden;
  for (int i = 0; i < 14; ++i)
    if (lv.Columns()[i].width == 0) hidden.push_back(i);
  EXPECT_EQ(hidden, (std::vector<int>{3, 6, 11, 12, 13}));
  InitListField(lv, false);
  EXPECT_EQ(lv.Columns()[0].width, 1200);
  for (const auto& c : lv.Columns()) EXPECT_GT(c.width, 0);
}

TEST(Listings, ACountThatIsNoMultipleOrPassesTheAnswerIsRefused) {
  const std::string two = "00160" + std::string(80, 'a') + std::string(80, 'b');
  const auto entries = ListingEntries(two, 80, "SYSLSTRCD_");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1], std::string(80, 'b'));
  EXPECT_TRUE(ListingEntries("00000", 108, "SYSLSTFLD_").empty());
  for (const std::string& bad : {"00100" + std::string(200, ' '), "00216" + std::string(200, ' '),
                                std::string("0 108"), std::string("001")})
    EXPECT_THROW(ListingEntries(bad, 108, "SYSLSTFLD_"), ListingError) << bad.substr(0, 5);
}

TEST(Listings, AccessPathsGiveTheirKeysOrNothing) {
  EXPECT_FALSE(ReadAccessPath("00030" + std::string(25, ' ')).found);
  const AccessPath ar = ReadAccessPath("00030CUST      LIB       AR000");
  EXPECT_TRUE(ar.found);
  EXPECT_FALSE(ar.keyed);
  const AccessPath ku = ReadAccessPath("00050CUST      LIB       KU002custno    Region    ");
  EXPECT_TRUE(ku.keyed);
  EXPECT_EQ(ku.keys, (std::vector<std::string>{"CUSTNO", "REGION"}));
  EXPECT_THROW(ReadAccessPath("00050CUST      LIB       KU003custno    Region    "), ListingError);
  EXPECT_THROW(ReadAccessPath("00050CUST      LIB       KUx02"), ListingError);
  EXPECT_THROW(ReadAccessPath("00005CUST"), ListingError);
}

}  // namespace
}  // namespace qv
