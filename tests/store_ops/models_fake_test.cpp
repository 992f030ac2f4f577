// Model, model table, field and mapping operations against the recording
// fake: the exact statements and record calls of each kind, refusals, events.
#include <gtest/gtest.h>

#include "presentation/messages.h"
#include "store/record_rules.h"
#include "store/environment_statements.h"
#include "store/model_statements.h"
#include "store_fake.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

const char* const kAllKinds[] = {"AS400", "ODBC", "SQL Server", "Oracle"};
const char* const kNtKinds[] = {"ODBC", "SQL Server", "Oracle"};

bool Writes(OpenedFake& o) {
  for (const char* op : {"Rwrite", "Rupdate", "Rdelete", "Saction"})
    if (o.fake().CallCount(op) > 0) return true;
  return false;
}

std::string Model(const std::string& grp, const std::string& mandistri = "0",
                  const std::string& allmbr = "0", const std::string& desc = "") {
  Record r(layout::QV_GX, Gx("E1", grp));
  r.Set("MANDISTRI", mandistri);
  r.Set("ALLMBRDIST", allmbr);
  r.Set("DESCRIP", desc);
  return r.image();
}

std::string Table(const std::string& grp, const std::string& fic, const std::string& desc = "") {
  Record r(layout::QV_FX, Fx("E1", grp, fic));
  r.Set("SRCTBL", "SRCLIB    CUSTOMERS           ");
  r.Set("DESCRIP", desc);
  return r.image();
}

std::string Field(const std::string& grp, const std::string& fic, const std::string& name,
                  const std::string& desc = "") {
  Record r(layout::QV_ZX);
  r.Set("ENVID", "E1");
  r.Set("GRPID", grp);
  r.Set("FICID", fic);
  r.Set("FIELDINPUT", name);
  r.Set("DESCRIP", desc);
  return r.image();
}

std::string Mapping(const std::string& field, const std::string& out) {
  Record r(layout::QV_ZC);
  r.Set("ENVID", "E1");
  r.Set("TGTID", "T1");
  r.Set("GRPID", "M1");
  r.Set("FICID", "0000000001");
  r.Set("FIELDINPUT", field);
  r.Set("FIELDOUT", out);
  return r.image();
}

// Scripts the model M1 (and its table 1) as stored for either kind.
void StoreModel(OpenedFake& o, const std::string& model = Model("M1")) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Key("E1M1 ").Record(model).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectModelSql(o.Prefix(), "E1", "M1")).Row(model).Repeatedly();
}

void StoreTable(OpenedFake& o, const std::string& table = Table("M1", "0000000001")) {
  if (o.AS400())
    o.fake().On("Rreadk").File("QV_USRDATA/QV_FX").Key("E1M1 0000000001").Record(table).Repeatedly();
  else
    o.fake().On("Sread").Sql(SelectModelTableSql(o.Prefix(), "E1", "M1", "0000000001")).Row(table).Repeatedly();
}

// ---- Models -------------------------------------------------------------------------------

TEST(DetailGroup, NtBracketsItsReadAndAs400ReadsWithoutLock) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    ASSERT_TRUE(o.opened);
    StoreModel(o, Model("M1", "1", "1", "Orders"));
    std::string s;
    ASSERT_TRUE(o.control().DetailGroup(s, "M1")) << o.control().ErrorText();
    EXPECT_EQ(s, Model("M1", "1", "1", "Orders"));
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), Lines{"Rreadk QV_GX [E1M1 ]"});
      EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(3), DllParam::kKeyEqualNoLock);
    } else {
      EXPECT_EQ(o.Trace(), (Lines{"SetConnectOption 2", "Sread " + SelectModelSql(o.Prefix(), "E1", "M1"),
                                  "Rclose  ", "SetConnectOption 3"}));
    }
    std::string type;
    ASSERT_TRUE(o.control().GroupType(type, "M1"));
    EXPECT_EQ(type, "0");
  }
}

TEST(AddGroup, NtSetsTheFrequencyAndSendsTheInsert) {
  for (const char* kind : kNtKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    Record in(layout::QV_GX, Model("M2", "0", "0", "Paul's model"));
    in.Set("FREQUENCY", "123456");
    SetDsnArea(in, "USER01    PASSWORD01");
    std::string s = in.image();
    ASSERT_TRUE(o.control().AddGroup(s)) << o.control().ErrorText();
    Record stored = in;
    stored.Set("FREQUENCY", "000000");
    EXPECT_EQ(o.fake().Statements(), Lines{InsertModelSql(o.Prefix(), stored)});
    EXPECT_NE(o.fake().Statements()[0].find("'Paul''s model "), std::string::npos);
    EXPECT_NE(o.fake().Statements()[0].find("','USER01    ','PASSWORD01','000000','"), std::string::npos);
    EXPECT_EQ(s, stored.image());
    EXPECT_EQ(o.events.seen, Lines{"GXadded E1|M2|0"});
    EXPECT_EQ(o.events.records, Lines{stored.image()});
  }
}

TEST(AddGroup, As400WritesTheRecordAsGiven) {
  OpenedFake o("AS400");
  std::string s = "E1M2 ";
  ASSERT_TRUE(o.control().AddGroup(s));
  EXPECT_EQ(o.Trace(), Lines{"Rwrite QV_GX"});
  EXPECT_EQ(o.fake().CallsNamed("Rwrite")[0].Arg(1), "E1M2" + std::string(201, ' '));
  EXPECT_EQ(o.events.seen, Lines{"GXadded E1|M2|"});
}

TEST(AddGroup, AnExistingKeyIsReportedAndRaisesNothing) {
  for (const char* kind : {"AS400", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    o.fake().On(o.AS400() ? "Rwrite" : "Saction").Fail(DllParam::kCodeRefused, 1, "duplicate key M1");
    std::string s = Model("M1");
    EXPECT_FALSE(o.control().AddGroup(s));
    EXPECT_EQ(o.control().ErrorText(), "duplicate key M1");
    EXPECT_EQ(o.control().ErrorStep(), "AddGroup");
    EXPECT_EQ(s, Model("M1"));
    EXPECT_TRUE(o.events.seen.empty());
  }
}

TEST(ChangeGroup, FindsTheModelUnderTheCodeGivenThenRewritesIt) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    std::string s = Model("M9", "1", "0", "renamed");
    ASSERT_TRUE(o.control().ChangeGroup(s, "M1")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_GX [E1M1 ]", "Rupdate QV_GX"}));
      EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(3), DllParam::kKeyEqualLocked);
      EXPECT_EQ(o.fake().CallsNamed("Rupdate")[0].Arg(1), Model("M9", "1", "0", "renamed"));
    } else {
      EXPECT_EQ(o.fake().Statements(),
                (Lines{SelectModelSql(o.Prefix(), "E1", "M1"),
                       UpdateModelSql(o.Prefix(), Record(layout::QV_GX, s), "E1", "M1")}));
    }
    EXPECT_EQ(o.events.seen, Lines{"GXupdated E1|M1|0"});
  }
}

TEST(ModelOperations, AMissingModelGivesTheMessageWritesAndRaisesNothing) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    std::string s = Model("M7");
    EXPECT_FALSE(o.control().GroupExist("M7"));
    EXPECT_FALSE(o.control().DetailGroup(s, "M7"));
    EXPECT_EQ(o.control().ErrorText(), "Model M7 not found");
    EXPECT_FALSE(o.control().ChangeGroup(s, "M7"));
    EXPECT_EQ(o.control().ErrorNum(), 40);
    EXPECT_EQ(o.control().ErrorText(), "Model M7 not found");
    EXPECT_EQ(o.control().ErrorStep(), "ChangeGroup");
    EXPECT_FALSE(o.control().DeleteGroup("M7"));
    EXPECT_EQ(o.control().ErrorText(), "Model M7 not found");
    std::string all, manual;
    EXPECT_FALSE(o.control().CompAllMbrDist("M7", all, manual));
    EXPECT_EQ(o.control().ErrorText(), "Model M7 not found");
    EXPECT_EQ(o.control().ErrorStep(), "CompAllMbrDist");
    EXPECT_EQ(s, Model("M7"));
    EXPECT_FALSE(Writes(o));
    EXPECT_TRUE(o.events.seen.empty());
  }
}

TEST(ModelOperations, CodesThatDoNotFitTheirFieldNameNoModel) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);  // "M1 " is stored; "M1 X" must not reach it
    EXPECT_FALSE(o.control().GroupExist("M1 X"));
    EXPECT_FALSE(o.control().DeleteGroup("M1 X"));
    EXPECT_EQ(o.control().ErrorText(), "Model M1 X not found");
    EXPECT_TRUE(o.control().GroupExist("M1  "));  // trailing blanks fit
    EXPECT_FALSE(Writes(o));
  }
}

TEST(ModelOperations, RecordStringsLongerThanTheRecordAreRefused) {
  for (const char* kind : {"AS400", "ODBC"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    std::string gc(624, 'x');
    EXPECT_FALSE(o.control().AddGroup(gc));
    EXPECT_EQ(o.control().ErrorNum(), QVSource::kFaultNum);
    EXPECT_EQ(o.control().ErrorText(), "record string of 624 characters where QV_GX holds 205");
    EXPECT_EQ(o.control().ErrorStep(), "AddGroup");
    EXPECT_FALSE(o.control().ChangeGroup(gc, "M1"));
    EXPECT_EQ(gc, std::string(624, 'x'));
    EXPECT_FALSE(Writes(o));
    EXPECT_TRUE(o.events.seen.empty());
  }
}

TEST(DeleteGroup, NtBracketsTheCascadeAndDeletesTheModelLast) {
  for (const char* kind : kNtKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    ASSERT_TRUE(o.control().DeleteGroup("M1")) << o.control().ErrorText();
    const Lines st = o.fake().Statements();
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(st.front(), SelectModelSql(o.Prefix(), "E1", "M1"));
    EXPECT_EQ(st.back(), DeleteModelSql(o.Prefix(), "E1", "M1"));
    EXPECT_EQ(st.back(), "DELETE FROM " + o.Prefix() + "QV_GX WHERE ENVID='E1' AND GRPID ='M1 '");
    const Lines trace = o.Trace();
    EXPECT_EQ(trace.front(), "SetConnectOption 2");
    EXPECT_EQ(trace.back(), "SetConnectOption 0");
    EXPECT_EQ(o.events.seen, Lines{"GXdeleted E1|M1"});
  }
}

TEST(DeleteGroup, As400DeletesTheLockedRecord) {
  OpenedFake o("AS400");
  StoreModel(o);
  ASSERT_TRUE(o.control().DeleteGroup("M1")) << o.control().ErrorText();
  const Lines trace = o.Trace();
  EXPECT_EQ(trace.front(), "Rreadk QV_GX [E1M1 ]");
  EXPECT_EQ(trace.back(), "Rdelete QV_GX");
  EXPECT_EQ(o.fake().CallsNamed("Rreadk")[0].IntArg(3), DllParam::kKeyEqualLocked);
  EXPECT_EQ(o.events.seen, Lines{"GXdeleted E1|M1"});
}

TEST(DeleteGroup, AFailingStatementEndsTheUnitAndKeepsTheModel) {
  OpenedFake o("SQL Server");
  StoreModel(o);
  o.fake().On("Saction").SqlPrefix("DELETE FROM QV_USRDATA..QV_GX").Fail(DllParam::kCodeRefused, 547, "conflict");
  EXPECT_FALSE(o.control().DeleteGroup("M1"));
  EXPECT_EQ(o.control().ErrorText(), "conflict");
  EXPECT_EQ(o.Trace().back(), "SetConnectOption 0");
  EXPECT_TRUE(o.events.seen.empty());
}

TEST(CompAllMbrDist, GivesTheMemberOptionOfEachKindAndKeepsIt) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o, Model("M1", "1", "1"));
    std::string all = "?", manual = "?";
    ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
    EXPECT_EQ(all, o.AS400() ? "*ALL" : "");
    EXPECT_EQ(manual, "1");
    // Asked again for the same model: no library call.
    o.fake().ClearCalls();
    ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
    EXPECT_TRUE(o.fake().Calls().empty());
    // Writing Grp forgets it.
    o.control().Grp("M1");
    ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
    EXPECT_FALSE(o.fake().Calls().empty());
  }
}

TEST(CompAllMbrDist, AnotherModelIsReadForItself) {
  OpenedFake o("AS400");
  StoreModel(o, Model("M1", "1", "1"));
  o.fake().On("Rreadk").File("QV_USRDATA/QV_GX").Key("E1M2 ").Record(Model("M2", "0", "0")).Repeatedly();
  std::string all, manual;
  ASSERT_TRUE(o.control().CompAllMbrDist("M1", all, manual));
  ASSERT_TRUE(o.control().CompAllMbrDist("M2", all, manual));
  EXPECT_EQ(all, "*FIRST");
  EXPECT_EQ(manual, "0");
}

// ---- Model tables -----------------------------------------------------------------------

TEST(NextFicID, ReadsEveryBlockAndTakesTheGreatestNumber) {
  // 27 tables numbered 1..26 and 40, over three blocks of 13.
  std::vector<std::string> tables;
  for (int i = 1; i <= 26; ++i) tables.push_back(Table("M1", TableNumberText(i)));
  tables.push_back(Table("M1", TableNumberText(40)));
  {
    OpenedFake o("AS400");
    o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Key("E1M1 ").Records(tables);
    int64_t next = 0;
    ASSERT_TRUE(o.control().NextFicID("M1", next)) << o.control().ErrorText();
    EXPECT_EQ(next, 41);
    EXPECT_EQ(o.Trace(), (Lines{"Ropen QV_FX_L0", "Rreadblock QV_FX_L0 [E1M1 ]", "Rreadblock QV_FX_L0 [E1M1 ]",
                                "Rreadblock QV_FX_L0 [E1M1 ]", "Rclose QV_FX_L0"}));
    EXPECT_EQ(o.fake().CallsNamed("Ropen")[0].Arg(1), DllParam::kModeRead);
    EXPECT_EQ(o.fake().CallsNamed("Rreadblock")[0].IntArg(3), 304);
  }
  {
    OpenedFake o("Oracle");
    const std::string sql = ListTablesOfModelSql(o.Prefix(), "E1", "M1");
    EXPECT_EQ(sql, "SELECT * FROM QV_USRDATA.QV_FX WHERE ENVID ='E1' AND GRPID ='M1 '");
    o.fake().On("Sreadblock").Sql(sql).Rows(tables);
    int64_t next = 0;
    ASSERT_TRUE(o.control().NextFicID("M1", next)) << o.control().ErrorText();
    EXPECT_EQ(next, 41);
    const auto calls = o.fake().CallsNamed("Sreadblock");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Arg(4), "1");
    EXPECT_EQ(calls[1].Arg(4), "0");
  }
}

TEST(NextFicID, GapsAreNotFilledAndAnEmptyModelStartsAtOne) {
  OpenedFake o("AS400");
  o.fake().On("Rreadblock").File("QV_USRDATA/QV_FX_L0").Key("E1M1 ").Records(
      {Table("M1", "0000000001"), Table("M1", "0000000002"), Table("M1", "0000000007")});
  int64_t next = 0;
  ASSERT_TRUE(o.control().NextFicID("M1", next));
  EXPECT_EQ(next, 8);
  ASSERT_TRUE(o.control().NextFicID("M2", next));
  EXPECT_EQ(next, 1);
  EXPECT_EQ(TableNumberText(next), "0000000001");
}

TEST(NextFicID, AFailedReadIsReported) {
  OpenedFake o("SQL Server");
  o.fake().On("Sreadblock").Fail(DllParam::kCodeNetwork, 0, "link down");
  int64_t next = -1;
  EXPECT_FALSE(o.control().NextFicID("M1", next));
  EXPECT_EQ(o.control().ErrorText(), "link down");
  EXPECT_EQ(next, -1);
}

TEST(ChangeFile, NtSendsItsSpelledUpdateAndRaisesTheTableTexts) {
  for (const char* kind : kAllKinds) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreModel(o);
    StoreTable(o);
    std::string s = Table("M1", "0000000001", "Customers of 'A'");
    ASSERT_TRUE(o.control().ChangeFile(s, "M1", "0000000001")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_GX [E1M1 ]", "Rreadk QV_FX [E1M1 0000000001]", "Rupdate QV_FX"}));
    } else {
      const std::string sql = o.fake().Statements().back();
      EXPECT_EQ(sql, UpdateModelTableSql(o.Prefix(), Record(layout::QV_FX, s), "E1", "M1", "0000000001"));
      EXPECT_NE(sql.find("DESCRIP ='Customers of ''A''"), std::string::npos);
    }
    const std::string label = o.AS400() ? "SRCLIB/CUSTOMERS" : "SRCLIB.CUSTOMERS";
    EXPECT_EQ(o.events.seen, Lines{"FXupdated E1|M1|0000000001|" + label + "|Customers of 'A'"});
  }
}

TEST(ChangeFile, AMissingTableGives2024) {
  OpenedFake o("ODBC");
  StoreModel(o);
  std::string s = Table("M1", "0000000009");
  EXPECT_FALSE(o.control().ChangeFile(s, "M1", "0000000009"));
  EXPECT_EQ(o.control().ErrorText(), "Table 0000000009 not found in model M1");
  EXPECT_EQ(o.control().ErrorStep(), "ChangeFile");
  EXPECT_FALSE(Writes(o));
}

TEST(DetailFile, GivesTheTableAndTheModelsOptions) {
  OpenedFake o("AS400");
  StoreModel(o, Model("M1", "1", "0"));
  StoreTable(o);
  std::string s, all, manual;
  ASSERT_TRUE(o.control().DetailFile(s, "M1", "0000000001", all, manual));
  EXPECT_EQ(s, Table("M1", "0000000001"));
  EXPECT_EQ(all, "*FIRST");
  EXPECT_EQ(manual, "1");
  EXPECT_TRUE(o.control().FileExist("x", "y", "M1", "0000000001"));
  EXPECT_FALSE(o.control().FileExist("x", "y", "M1", "0000000002"));
}

TEST(DeleteFile, CascadeFailuresCarryThePrefixAndKeepTheTable) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreTable(o);
    if (o.AS400())
      o.fake().On("Ropen").File("QV_USRDATA/QV_FC_L1").Fail(DllParam::kCodeRefused, 9, "no file");
    else
      o.fake().On("Sread").SqlPrefix("SELECT ENVID,TGTID,GRPID,FICID FROM").Fail(DllParam::kCodeRefused, 9, "no table");
    EXPECT_FALSE(o.control().DeleteFile("M1", "0000000001"));
    const std::string step = o.control().ErrorStep();
    EXPECT_EQ(step.rfind("DeleteFile:DeleteFCforFX", 0), 0u) << step;
    EXPECT_FALSE(Writes(o));
    EXPECT_TRUE(o.events.seen.empty());
    if (!o.AS400()) { EXPECT_EQ(o.Trace().back(), "SetConnectOption 0"); }
  }
}

TEST(DeleteFile, DeletesTheTableAfterItsChildren) {
  for (const char* kind : {"AS400", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreTable(o);
    ASSERT_TRUE(o.control().DeleteFile("M1", "0000000001")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace().back(), "Rdelete QV_FX");
    } else {
      EXPECT_EQ(o.fake().Statements().back(),
                "DELETE FROM QV_USRDATA.QV_FX WHERE ENVID='E1' AND GRPID= 'M1 ' AND FICID ='0000000001'");
    }
    EXPECT_EQ(o.events.seen, Lines{"FXdeleted E1|M1|0000000001"});
  }
}

TEST(HoldTable, SetsTheHoldFlagOfTheModelTable) {
  for (const char* kind : {"AS400", "SQL Server"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    StoreTable(o);
    ASSERT_TRUE(o.control().HoldTable("M1", "0000000001"));
    ASSERT_TRUE(o.control().ReleaseTable("M1", "0000000001"));
    if (o.AS400()) {
      const auto updates = o.fake().CallsNamed("Rupdate");
      ASSERT_EQ(updates.size(), 2u);
      EXPECT_EQ(Record(layout::QV_FX, updates[0].Arg(1)).Get("HOLD"), "1");
      EXPECT_EQ(Record(layout::QV_FX, updates[1].Arg(1)).Get("HOLD"), "0");
    } else {
      const Lines st = o.fake().Statements();
      EXPECT_EQ(st[1], "UPDATE QV_USRDATA..QV_FX SET HOLD ='1' WHERE ENVID ='E1' AND GRPID='M1 ' AND FICID='0000000001'");
      EXPECT_EQ(st[3], HoldModelTableSql(o.Prefix(), "0", "E1", "M1", "0000000001"));
    }
    EXPECT_EQ(o.events.seen, (Lines{"FXHold E1|M1|0000000001", "FXRelease E1|M1|0000000001"}));
    EXPECT_FALSE(o.control().HoldTable("M1", "0000000002"));
    EXPECT_EQ(o.control().ErrorText(), "Table 0000000002 not found in model M1");
  }
}

// ---- Fields and mappings -------------------------------------------------------------------

TEST(ChangeZX, RewritesTheFieldAndRaisesZXupdated) {
  for (const char* kind : {"AS400", "Oracle"}) {
    SCOPED_TRACE(kind);
    OpenedFake o(kind);
    const std::string key = "E1M1 0000000001CUSTNO                        ";
    if (o.AS400())
      o.fake().On("Rreadk").File("QV_USRDATA/QV_ZX").Key(key).Record(Field("M1", "0000000001", "CUSTNO"));
    else
      o.fake().On("Sread").Sql(SelectFieldSql(o.Prefix(), "E1", "M1", "0000000001", "CUSTNO")).Row(
          Field("M1", "0000000001", "CUSTNO"));
    std::string s = Field("M1", "0000000001", "CUSTNO", "Customer's number");
    ASSERT_TRUE(o.control().ChangeZX(s, "M1", "0000000001", "CUSTNO")) << o.control().ErrorText();
    if (o.AS400()) {
      EXPECT_EQ(o.Trace(), (Lines{"Rreadk QV_ZX [" + key + "]", "Rupdate QV_ZX"}));
    } else {
      EXPECT_EQ(o.fake().Statements().back(),
                UpdateFieldSql(o.Prefix(), Record(layout::QV_ZX, s), "E1", "M1", "0000000001", "CUSTNO"));
    }
    EXPECT_EQ(o.events.seen, Lines{"ZXupdated E1|M1|0000000001|CUSTNO"});
    EXPECT_FALSE(o.control().ChangeZX(s, "M1", "0000000001", "OTHER"));
    EXPECT_EQ(o.control().ErrorText(), "Field OTHER not found in table 0000000001 for model M1");
    std::string d;
    EXPECT_FALSE(o.control().DetailZX(d, "M1", "0000000001", "OTHER"));
  }
}

TEST(ChangeZC, AddsRewritesRemovesOrLeavesAMapping) {
  struct Case {
    bool mapped;
    const char* out;
    const char* as400;   // the write on AS/400, "" for none
    const char* ntHead;  // the start of the NT statement, "" for none
    bool event;
  };
  const Case cases[] = {
      {false, "", "", "", false},
      {false, "   ", "", "", false},
      {true, "", "Rdelete", "DELETE FROM ", false},
      {false, "TGTFIELD", "Rwrite", "INSERT INTO ", true},
      {true, "TGTFIELD", "Rupdate", "UPDATE ", true},
  };
  for (const char* kind : {"AS400", "SQL Server"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(kind) + " mapped=" + (c.mapped ? "1" : "0") + " out='" + c.out + "'");
      OpenedFake o(kind);
      const std::string field = "CUSTNO";
      if (c.mapped) {
        if (o.AS400())
          o.fake().On("Rreadk").File("QV_USRDATA/QV_ZC").Record(Mapping(field, "OLD"));
        else
          o.fake().On("Sread").SqlPrefix("SELECT * FROM QV_USRDATA..QV_ZC").Row(Mapping(field, "OLD"));
      }
      ASSERT_TRUE(o.control().ChangeZC("M1", "T1", "0000000001", field, c.out)) << o.control().ErrorText();
      if (o.AS400()) {
        const Lines trace = o.Trace();
        EXPECT_EQ(trace.front(), std::string("Rreadk QV_ZC [E1T1 M1 0000000001CUSTNO                        ]") +
                                     (c.mapped ? "" : " -> 0"));
        EXPECT_EQ(trace.size(), std::string(c.as400).empty() ? 1u : 2u);
        if (trace.size() == 2) { EXPECT_EQ(trace[1], std::string(c.as400) + " QV_ZC"); }
        if (std::string(c.as400) == "Rwrite") {
          EXPECT_EQ(o.fake().CallsNamed("Rwrite")[0].Arg(1), Mapping(field, "TGTFIELD"));
        }
      } else {
        const Lines st = o.fake().Statements();
        EXPECT_EQ(st.front(), SelectMappingSql(o.Prefix(), "E1", "T1", "M1", "0000000001", field));
        EXPECT_EQ(st.size(), std::string(c.ntHead).empty() ? 1u : 2u);
        if (st.size() == 2) { EXPECT_TRUE(st[1].starts_with(c.ntHead)) << st[1]; }
        if (std::string(c.ntHead) == "INSERT INTO ") {
          EXPECT_EQ(st[1], InsertMappingSql(o.Prefix(), Record(layout::QV_ZC, Mapping(field, "TGTFIELD"))));
        }
      }
      EXPECT_EQ(o.events.seen.size(), c.event ? 1u : 0u);
      if (c.event) { EXPECT_EQ(o.events.seen[0], "ZCupdated E1|T1|M1|0000000001|CUSTNO|TGTFIELD"); }
    }
  }
}

}  // namespace
}  // namespace qv::test
