#include "store/records.h"

#include <gtest/gtest.h>

#include <string>


namespace qv {
namespace {

using namespace layout;

TEST(Record, ShortImageIsPaddedAndLongImageIsCut) {
  const Record shortRec(QV_EX, "01E");
  EXPECT_EQ(shortRec.size(), 216u);
  EXPECT_EQ(shortRec.Get("ENVID"), "01");
  EXPECT_EQ(shortRec.Get("ENVTYPE"), "E");
  EXPECT_EQ(shortRec.Get("DESCRIP"), std::string(30, ' '));

  const std::string longImage = std::string(216, 'x') + "overflow";
  const Record longRec(QV_EX, longImage);
  EXPECT_EQ(longRec.image(), std::string(216, 'x'));

  Record r(QV_ZC);
  r.Assign("01");
  EXPECT_EQ(r.image(), "01" + std::string(76, ' '));
}

TEST(Record, SetPadsAndCutsAtTheFieldWidth) {
  Record r(QV_CX);
  r.Set("ENVID", "A");
  r.Set("TGTID", "TOOLONG");
  r.Set("DESCRIP", std::string(40, 'd'));
  r.Set("HOLD", "");
  EXPECT_EQ(r.Get("ENVID"), "A ");
  EXPECT_EQ(r.Get("TGTID"), "TOO");
  EXPECT_EQ(r.Get("DESCRIP"), std::string(30, 'd'));
  EXPECT_EQ(r.Get("HOLD"), " ");
  // Neighbours are untouched and the image keeps its length.
  EXPECT_EQ(r.image().substr(0, 36), "A TOO" + std::string(30, 'd') + " ");
  EXPECT_EQ(r.size(), 292u);

  r.Set("DESCRIP", "short");
  EXPECT_EQ(r.Get("DESCRIP"), "short" + std::string(25, ' '));
  EXPECT_EQ(r.Trimmed("DESCRIP"), "short");
  r.Set("DESCRIP", "  both  ");
  EXPECT_EQ(r.Trimmed("DESCRIP"), "both");
  EXPECT_EQ(r.Trimmed("FILLER"), "");
}

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

TEST(Record, ShortKeyMatchesTheBlankPaddedValue) {
  EXPECT_EQ(BuildKey(EnvKey, {"A"}), "A ");
  EXPECT_EQ(BuildKey(TargetKey, {"A", "T1"}), "A T1 ");
  EXPECT_EQ(BuildKey(DistributionKey, {"01", "T1"}), "01T1    ");
  EXPECT_EQ(BuildKey(UserKey, {"**", "JOHN"}), "**JOHN" + std::string(26, ' '));
  EXPECT_EQ(BuildKey(ModelTableKey, {"01", "G1", "12345678901"}), "01G1 1234567890");
  EXPECT_THROW(BuildKey(EnvKey, {"A", "B"}), std::invalid_argument);

  Record stored(QV_EX);
  stored.Set("ENVID", "A");
  EXPECT_EQ(stored.image().substr(0, 2), BuildKey(EnvKey, {"A"}));
}

TEST(Record, BlockOfModelTablesIsCutIntoWholeRecords) {
  std::string block;
  for (int i = 1; i <= 13; ++i) {
    Record fx(QV_FX);
    fx.Set("FICID", std::string(9, '0') + std::to_string(i % 10));
    block += fx.image();
  }
  block += "partial";
  const auto records = RecordsFromBlock(QV_FX, block, 20);
  ASSERT_EQ(records.size(), 13u);
  EXPECT_EQ(records[12].Get("FICID"), "0000000003");
  EXPECT_EQ(RecordsFromBlock(QV_FX, block, 2).size(), 2u);
  EXPECT_TRUE(RecordsFromBlock(QV_FX, "", 13).empty());
}

TEST(Record, ActivityBlockAndObjectNameReadFromTheirHolders) {
  Record spv(QV_SPV);
  std::string block(261, ' ');
  block.replace(251, 10, "0000000003");
  block[0] = 'A';
  spv.Set("ACTIVITY", block);
  const Record activity(Activity, spv.Get("ACTIVITY"));
  EXPECT_EQ(activity.Get("state"), "A");
  EXPECT_EQ(activity.Get("CptErr"), "0000000003");

  Record fx(QV_FX);
  fx.Set("SRCTBL", "MYLIB     CUSTOMERS *FIRST");
  const Record name(ObjectName, fx.Get("SRCTBL"));
  EXPECT_EQ(name.Trimmed("LIBRARY"), "MYLIB");
  EXPECT_EQ(name.Trimmed("FILE"), "CUSTOMERS");
  EXPECT_EQ(name.Trimmed("MEMBER"), "*FIRST");
}

// ---- Layouts ----------------------------------------------------------------

TEST(RecordLayouts, FieldsAreContiguousAndCoverTheRecord) {
  for (const Layout* l : AllLayouts()) {
    std::size_t offset = 0;
    for (const Field& f : l->fields) {
      EXPECT_EQ(f.offset, offset) << l->name << "." << f.name;
      EXPECT_GT(f.width, 0) << l->name << "." << f.name;
      offset += f.width;
    }
    EXPECT_EQ(offset, l->length) << l->name;
  }
}

TEST(RecordLayouts, UnknownFieldsAreAClearErrorAndChangeNothing) {
  Record r(QV_UID, "**JOHN");
  EXPECT_THROW(r.Set("TGTID", "T1"), UnknownFieldError);
  EXPECT_THROW((void)r.Get("NOPE"), UnknownFieldError);
  EXPECT_THROW(r.Set(QV_UID.fields.size(), "x"), std::out_of_range);
  EXPECT_THROW((void)r.Get(99), std::out_of_range);
  EXPECT_EQ(r.image(), Record(QV_UID, "**JOHN").image());
  EXPECT_EQ(QV_GC.Find("NOPE"), -1);
  EXPECT_FALSE(QV_GC.Has("hold"));  // names are case-sensitive
  try {
    (void)QV_GC.Index("NOPE");
    FAIL() << "no exception";
  } catch (const UnknownFieldError& e) {
    EXPECT_STREQ(e.what(), "unknown field 'NOPE' in layout 'QV_GC'");
  }
  // Only the receiver library of distributions lacks an NT column.
  for (const Layout* l : AllLayouts())
    for (const Field& f : l->fields)
      EXPECT_EQ(f.nt, !((l == &QV_GC || l == &QV_FC) && f.name == "REPRISELIB")) << l->name << "." << f.name;
}

// ---- NT forms -------------------------------------------------------------

// Fills every field with a text that tells it apart from its neighbours.
Record Distinct(const Layout& l) {
  Record r(l);
  for (std::size_t i = 0; i < l.fields.size(); ++i)
    r.Set(i, std::string(l.fields[i].width, static_cast<char>('A' + i % 26)));
  return r;
}

TEST(NtForms, ReceiverLibraryKeepsLaterFieldsAligned) {
  for (const Layout* t : {&QV_GC, &QV_FC}) {
    SCOPED_TRACE(std::string(t->name));
    Record original = Distinct(*t);
    const std::string row = RecordToNtRow(original);
    ASSERT_EQ(row.size(), NtRowLength(*t));

    const Record read = NtRowToRecord(*t, row);
    EXPECT_EQ(read.Get("REPRISELIB"), std::string(10, ' '));
    EXPECT_EQ(read.Get("REPRISEPNT"), original.Get("REPRISEPNT"));
    EXPECT_EQ(read.Get("X"), original.Get("X"));
    EXPECT_EQ(read.Get("FILLER"), original.Get("FILLER"));

    original.Set("REPRISELIB", "");
    EXPECT_EQ(read, original);
  }
}

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
