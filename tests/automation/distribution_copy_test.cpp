// The manager's copy of a distribution record: Val of stored numbers, the
// names and flags each property put stores and get reads.
#include "automation/distribution_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cctype>
#include <limits>

#include "presentation/strutil.h"

namespace qv::automation {
namespace {

TEST(ValOfTextTest, ReadsTheLeadingNumberAsAScriptDoes) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"0000000042", 42},  {"0000005000", 5000}, {"          ", 0},   {"", 0},
      {"1", 1},            {"0", 0},             {" 1 2 3", 123},     {"\t4\r\n2", 42},
      {"-17", -17},        {"+8", 8},            {"12AB", 12},        {"AB12", 0},
      {"00000000-5", 0},   {"3.75", 3.75},       {".5", 0.5},         {"1E3", 1000},
      {"1d2", 100},        {"2E", 2},            {"2E-", 2},          {"5e-1", 0.5},
      {"&H10", 0},         {"-", 0},             {".", 0},            {"9999999999", 9999999999.0},
      {"1e-400", 0},       {"0.000e999", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ValOfText(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(ValOfText("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ValOfText("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ValOfText("0." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(ValOfText("1" + std::string(400, '0')), std::numeric_limits<double>::infinity());
}

TEST(DistributionCopyTest, StoredPointsReadAsVal) {
  struct Case {
    const char* stored;
    std::int64_t value;
  };
  const Case cases[] = {{"0000005000", 5000}, {"          ", 0}, {"   12     ", 12},
                        {"9999999999", 9999999999LL}, {"00000000-5", 0}, {"2.5E0     ", 2}, {"3.5       ", 4}};
  for (const Case& c : cases) {
    Record gc(layout::QV_GC);
    gc.Set("REPRISEPNT", c.stored);
    DistributionCopy copy;
    copy.Assign(gc.image());
    EXPECT_EQ(copy.ReprisePoint(), c.value) << '"' << c.stored << '"';
  }
}

TEST(DistributionCopyTest, FlagsStoreZeroWhenOffAndReadAnyOtherDigitAsOn) {
  DistributionCopy copy;
  copy.Hold(false);
  Record gc(layout::QV_GC, copy.image());
  EXPECT_EQ(gc.Get("HOLD"), "0");

  struct Case {
    const char* stored;
    bool value;
  };
  for (const Case& c : {Case{"0", false}, Case{"1", true}, Case{" ", false}, Case{"2", true}, Case{"X", false}}) {
    gc.Set("SCHEDULED", c.stored);
    gc.Set("HOLD", c.stored);
    copy.Assign(gc.image());
    EXPECT_EQ(copy.Scheduled(), c.value) << '"' << c.stored << '"';
    EXPECT_EQ(copy.Hold(), c.value) << '"' << c.stored << '"';
  }
}

TEST(DistributionCopyTest, RepriseTypeTakesOnlyPBlankOrC) {
  DistributionCopy copy;
  for (const char* accepted : {"p", "P", " ", "c", "C"}) {
    EXPECT_TRUE(copy.RepriseType(accepted)) << accepted;
    EXPECT_EQ(copy.RepriseType(), std::string(1, static_cast<char>(std::toupper(accepted[0]))));
  }
  ASSERT_TRUE(copy.RepriseType("p"));
  const std::string before = copy.image();
  for (const char* ignored : {"", "X", "PC", "  ", "P ", " C", "\xe9"}) {
    EXPECT_FALSE(copy.RepriseType(ignored)) << '"' << ignored << '"';
    EXPECT_EQ(copy.image(), before);
  }
}

TEST(DistributionCopyTest, NamesAreUpperCasedPaddedOrCutToTen) {
  struct Case {
    const char* in;
    const char* stored;
    const char* read;
  };
  const Case cases[] = {
      {"rcv0042", "RCV0042   ", "RCV0042"},
      {"receiver12345", "RECEIVER12", "RECEIVER12"},
      {"", "          ", ""},
      {" jrn\xe9", " JRN\xc9     ", "JRN\xc9"},
  };
  for (const Case& c : cases) {
    DistributionCopy copy;
    copy.RepriseReceiver(c.in);
    copy.RepriseLibrary(std::string(c.in) + "l");
    const Record gc(layout::QV_GC, copy.image());
    EXPECT_EQ(gc.Get("REPRISERCV"), c.stored) << c.in;
    EXPECT_EQ(copy.RepriseReceiver(), c.read) << c.in;
    EXPECT_EQ(gc.Get("REPRISELIB"), PadRight(UCase(std::string(c.in) + "l"), 10)) << c.in;
    // The neighbours stay blank.
    EXPECT_EQ(gc.Get("REPRISETYP"), " ");
    EXPECT_EQ(gc.Get("REPRISEPNT"), std::string(10, ' '));
  }
}

TEST(DistributionCopyTest, AssignPadsOrCutsTheImage) {
  DistributionCopy copy;
  copy.Assign("E1T1 M1 ");
  EXPECT_EQ(copy.image().size(), 624u);
  EXPECT_EQ(copy.image().substr(0, 8), "E1T1 M1 ");
  copy.Assign(std::string(700, 'x'));
  EXPECT_EQ(copy.image(), std::string(624, 'x'));
}

}  // namespace
}  // namespace qv::automation
