#include "store/record_layouts.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using namespace layout;

struct LengthCase {
  const char* name;
  int length;
};

TEST(RecordLayouts, EveryLayoutHasItsDocumentedLength) {
  const LengthCase cases[] = {
      {"QV_VER", 12}, {"QV_EX", 216}, {"QV_CX", 292}, {"QV_GX", 205}, {"QV_GC", 624},
      {"QV_FX", 304}, {"QV_FC", 557}, {"QV_ZX", 114}, {"QV_ZC", 78}, {"QV_TX", 200},
      {"QV_END", 283}, {"QV_UID", 164}, {"QV_SPV", 427}, {"Activity", 261}, {"ObjectName", 30},
      {"EnvKey", 2}, {"EnvListEntry", 3}, {"TargetKey", 5}, {"ModelKey", 5},
      {"DistributionKey", 8}, {"EndScriptKey", 9}, {"ModelTableKey", 15}, {"ProgramKey", 16},
      {"DistributedTableKey", 18}, {"DistributedTableShort", 19}, {"TargetPosition", 25},
      {"DistributionPosition", 28}, {"UserKey", 32}, {"FieldKey", 45}, {"MappingKey", 48},
      {"DistributionSummary", 59}, {"DistributionWithModel", 88},
      {"DistributedTableWithModelTable", 278}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Layout* l = FindLayout(c.name);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->length, c.length);
  }
  EXPECT_EQ(AllLayouts().size(), std::size(cases));
  EXPECT_EQ(FindLayout("QV_XX"), nullptr);
  EXPECT_EQ(FindLayout("qv_ex"), nullptr);
}

TEST(RecordLayouts, FieldsAreContiguousAndCoverTheRecord) {
  for (const Layout* l : AllLayouts()) {
    SCOPED_TRACE(std::string(l->name));
    std::size_t offset = 0;
    for (const Field& f : l->fields) {
      EXPECT_EQ(f.offset, offset) << f.name;
      EXPECT_GT(f.width, 0) << f.name;
      offset += f.width;
    }
    EXPECT_EQ(offset, l->length);
  }
}

struct OffsetCase {
  const Layout* layout;
  const char* field;
  int offset;
  int width;
};

TEST(RecordLayouts, FieldsSitAtTheirDocumentedOffsets) {
  const OffsetCase cases[] = {
      {&QV_VER, "SRCTYPE", 0, 1}, {&QV_VER, "VERSION", 1, 10}, {&QV_VER, "VERFLAG", 11, 1},
      // environments
      {&QV_EX, "ENVTYPE", 2, 1}, {&QV_EX, "DESCRIP", 3, 30}, {&QV_EX, "HOLD", 33, 1},
      {&QV_EX, "SRCID", 34, 3}, {&QV_EX, "SRCTYPE", 37, 1}, {&QV_EX, "TEMPO", 38, 2},
      {&QV_EX, "RETRY", 40, 3}, {&QV_EX, "MAXOPEN", 43, 3}, {&QV_EX, "APPCMODE", 46, 10},
      {&QV_EX, "QV_PASSWORD", 86, 10}, {&QV_EX, "X", 96, 10}, {&QV_EX, "Y", 106, 10},
      {&QV_EX, "SECURE", 116, 1}, {&QV_EX, "FILLER", 117, 99},
      // targets
      {&QV_CX, "TGTID", 2, 3}, {&QV_CX, "DESCRIP", 5, 30}, {&QV_CX, "HOLD", 35, 1},
      {&QV_CX, "TGTTYPE", 36, 1}, {&QV_CX, "COMTYPE", 37, 1}, {&QV_CX, "TGTADRESS", 38, 30},
      {&QV_CX, "TGTNAME", 68, 30}, {&QV_CX, "LOCALNAME", 98, 10}, {&QV_CX, "EXCLUDE", 108, 3},
      {&QV_CX, "FMTDATE", 111, 1}, {&QV_CX, "TGTTEST", 112, 1}, {&QV_CX, "TGTTRACE", 113, 1},
      {&QV_CX, "TEMPO", 114, 2}, {&QV_CX, "APPCMODE", 122, 10}, {&QV_CX, "X", 172, 10},
      {&QV_CX, "FILLER", 192, 100},
      // models
      {&QV_GX, "GRPID", 2, 3}, {&QV_GX, "DESCRIP", 5, 30}, {&QV_GX, "HOLD", 35, 1},
      {&QV_GX, "GRPTYPE", 36, 1}, {&QV_GX, "DSN_NAME", 37, 10}, {&QV_GX, "DSN_UID", 47, 10},
      {&QV_GX, "DSN_PWD", 57, 10}, {&QV_GX, "FREQUENCY", 67, 6}, {&QV_GX, "MANDISTRI", 73, 1},
      {&QV_GX, "ALLMBRDIST", 74, 1}, {&QV_GX, "ACCESMODE", 75, 1}, {&QV_GX, "DLTF", 84, 1},
      {&QV_GX, "X", 85, 10}, {&QV_GX, "FILLER", 105, 100},
      // distributions
      {&QV_GC, "TGTID", 2, 3}, {&QV_GC, "GRPID", 5, 3}, {&QV_GC, "HOLD", 8, 1},
      {&QV_GC, "SCHEDULED", 9, 1}, {&QV_GC, "STOPEND_QV", 10, 1}, {&QV_GC, "TGTBDTYPE", 11, 1},
      {&QV_GC, "QV_CONNECT", 12, 250}, {&QV_GC, "TARGETDB", 262, 30}, {&QV_GC, "ASYNC", 292, 1},
      {&QV_GC, "END_QV", 293, 10}, {&QV_GC, "USELIBNAME", 303, 1}, {&QV_GC, "PLANNING", 304, 168},
      {&QV_GC, "ACTREBUILD", 472, 1}, {&QV_GC, "REPRISETYP", 473, 1},
      {&QV_GC, "REPRISERCV", 474, 10}, {&QV_GC, "REPRISELIB", 484, 10},
      {&QV_GC, "REPRISEPNT", 494, 10}, {&QV_GC, "X", 504, 10},
      {&QV_GC, "LOADWITHTXTFILE", 524, 1}, {&QV_GC, "PATHFORTXTFILE", 525, 60},
      {&QV_GC, "FILLER", 585, 39},
      // model tables
      {&QV_FX, "FICID", 5, 10}, {&QV_FX, "OCCUR", 15, 1}, {&QV_FX, "SRCTBL", 16, 30},
      {&QV_FX, "DESCRIP", 46, 30}, {&QV_FX, "NUMSEQ", 76, 10}, {&QV_FX, "TYPE", 86, 2},
      {&QV_FX, "HOLD", 88, 1}, {&QV_FX, "TGTLIB", 89, 30}, {&QV_FX, "TGTFILE", 119, 30},
      {&QV_FX, "TGTMBR", 149, 10}, {&QV_FX, "LENREC", 159, 10}, {&QV_FX, "QV_TRANSFORM", 169, 1},
      {&QV_FX, "ACCESMODE", 170, 1}, {&QV_FX, "INSTINSERT", 180, 1}, {&QV_FX, "CLRBEFORE", 183, 1},
      {&QV_FX, "X", 184, 10}, {&QV_FX, "LENRECOUT", 204, 10}, {&QV_FX, "NBRFIELDIN", 214, 5},
      {&QV_FX, "FILLER", 219, 85},
      // distributed tables
      {&QV_FC, "FICID", 8, 10}, {&QV_FC, "OCCUR", 18, 1}, {&QV_FC, "NUMSEQ", 19, 10},
      {&QV_FC, "NEW", 29, 1}, {&QV_FC, "HOLD", 30, 1}, {&QV_FC, "TGTLIB", 31, 30},
      {&QV_FC, "TGTFILE", 61, 30}, {&QV_FC, "TGTMBR", 91, 10}, {&QV_FC, "TGTPGM", 101, 30},
      {&QV_FC, "ACCESMODE", 131, 1}, {&QV_FC, "INSTINSERT", 141, 1}, {&QV_FC, "CLRSPEC", 145, 1},
      {&QV_FC, "INSTCLRPFM", 146, 250}, {&QV_FC, "NUMFC", 396, 10},
      {&QV_FC, "REPRISETYP", 406, 1}, {&QV_FC, "REPRISELIB", 417, 10},
      {&QV_FC, "REPRISEPNT", 427, 10}, {&QV_FC, "X", 437, 10}, {&QV_FC, "FILLER", 457, 100},
      // fields and mappings
      {&QV_ZX, "FIELDINPUT", 15, 30}, {&QV_ZX, "DESCRIP", 45, 30}, {&QV_ZX, "FIELDTYPE", 75, 2},
      {&QV_ZX, "MASKDATE", 77, 1}, {&QV_ZX, "LEN", 78, 5}, {&QV_ZX, "DECI", 83, 5},
      {&QV_ZX, "POS_IN", 88, 5}, {&QV_ZX, "LEN_IN", 93, 5}, {&QV_ZX, "POS_EXT", 98, 5},
      {&QV_ZX, "LEN_EXT", 103, 5}, {&QV_ZX, "ALLOWNULL", 108, 1}, {&QV_ZX, "KEYORDER", 109, 5},
      {&QV_ZC, "FIELDINPUT", 18, 30}, {&QV_ZC, "FIELDOUT", 48, 30},
      // program and script lines, users
      {&QV_TX, "LIEU", 15, 1}, {&QV_TX, "LINE", 16, 5}, {&QV_TX, "TYPEINST", 21, 1},
      {&QV_TX, "INDENT", 22, 3}, {&QV_TX, "INST", 25, 175},
      {&QV_END, "LIEU", 8, 1}, {&QV_END, "LINE", 9, 5}, {&QV_END, "INST", 14, 255},
      {&QV_END, "QV_DATETIME", 269, 14},
      {&QV_UID, "USERID", 2, 30}, {&QV_UID, "USERTYPE", 32, 1}, {&QV_UID, "PASSWORD", 33, 30},
      {&QV_UID, "LEVELPWD", 63, 1}, {&QV_UID, "FILLER", 64, 100},
      // supervision and its activity block
      {&QV_SPV, "ACTIVITY", 52, 261}, {&QV_SPV, "REFRESHDT", 313, 14},
      {&QV_SPV, "FILLER", 327, 100},
      {&Activity, "state", 0, 1}, {&Activity, "Receiver", 1, 20}, {&Activity, "RcvNum", 21, 10},
      {&Activity, "JOSEQN", 31, 10}, {&Activity, "JOCODE", 41, 1}, {&Activity, "JOENTT", 42, 2},
      {&Activity, "JOTMST", 44, 26}, {&Activity, "JOJOB", 70, 10}, {&Activity, "JOUSER", 80, 10},
      {&Activity, "JONBR", 90, 6}, {&Activity, "JOPGM", 96, 10}, {&Activity, "JOOBJ", 106, 10},
      {&Activity, "JOLIB", 116, 10}, {&Activity, "JOMBR", 126, 10},
      {&Activity, "JOCTRR", 136, 10}, {&Activity, "Step", 146, 1},
      {&Activity, "TimeProcess", 147, 14}, {&Activity, "CptRead", 161, 10},
      {&Activity, "CptSel", 171, 10}, {&Activity, "CptSnd", 181, 10},
      {&Activity, "CptIgnore", 191, 10}, {&Activity, "CptAdd", 201, 10},
      {&Activity, "CptUpd", 211, 10}, {&Activity, "CptDel", 221, 10},
      {&Activity, "CptMbr", 231, 10}, {&Activity, "CptRpr", 241, 10},
      {&Activity, "CptErr", 251, 10},
      // joined records
      {&DistributionSummary, "DESCRIP", 8, 30}, {&DistributionSummary, "GRPTYPE", 38, 1},
      {&DistributionSummary, "X", 39, 10},
      {&DistributionWithModel, "GRPTYPE", 8, 1}, {&DistributionWithModel, "DESCRIP", 9, 30},
      {&DistributionWithModel, "DSN_UID", 49, 10}, {&DistributionWithModel, "ACCESMODE", 77, 1},
      {&DistributionWithModel, "HOLD", 87, 1},
      {&DistributedTableWithModelTable, "SRCTBL", 19, 30},
      {&DistributedTableWithModelTable, "NUMSEQ", 81, 10},
      {&DistributedTableWithModelTable, "TGTPGM", 162, 30},
      {&DistributedTableWithModelTable, "FX_TGTLIB", 192, 30},
      {&DistributedTableWithModelTable, "QV_TRANSFORM", 262, 1},
      {&DistributedTableWithModelTable, "CLRSPEC", 277, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout->name) + "." + c.field);
    const Field& f = (*c.layout)[c.field];
    EXPECT_EQ(f.offset, c.offset);
    EXPECT_EQ(f.width, c.width);
  }
}

TEST(RecordLayouts, TableKeysAreTheirLeadingFields) {
  auto names = [](const Layout& l) {
    std::string out;
    for (const Field& f : l.Key()) out += std::string(f.name) + ",";
    return out;
  };
  EXPECT_EQ(names(QV_VER), "");
  EXPECT_EQ(names(QV_CX), "ENVID,TGTID,");
  EXPECT_EQ(names(QV_FC), "ENVID,TGTID,GRPID,FICID,");
  EXPECT_EQ(names(QV_TX), "ENVID,GRPID,FICID,LIEU,LINE,");
  EXPECT_EQ(names(QV_END), "ENVID,TGTID,GRPID,LIEU,LINE,");
  EXPECT_EQ(names(QV_UID), "ENVID,USERID,");
  EXPECT_EQ(names(QV_SPV), "ENVID,TGTID,GRPID,");
}

TEST(RecordLayouts, UnknownFieldIsAClearError) {
  EXPECT_EQ(QV_GC.Find("NOPE"), -1);
  EXPECT_FALSE(QV_GC.Has("hold"));  // names are case-sensitive
  try {
    (void)QV_GC.Index("NOPE");
    FAIL() << "no exception";
  } catch (const UnknownFieldError& e) {
    EXPECT_STREQ(e.what(), "unknown field 'NOPE' in layout 'QV_GC'");
  }
  EXPECT_THROW((void)QV_EX["TGTID"], std::invalid_argument);
}

TEST(RecordLayouts, OnlyTheReceiverLibraryOfDistributionsLacksAnNtColumn) {
  for (const Layout* l : AllLayouts())
    for (const Field& f : l->fields) {
      const bool expected = !((l == &QV_GC || l == &QV_FC) && f.name == "REPRISELIB");
      EXPECT_EQ(f.nt, expected) << l->name << "." << f.name;
    }
}

}  // namespace
}  // namespace qv
