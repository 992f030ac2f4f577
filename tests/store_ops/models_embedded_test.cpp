// Model and distribution operations against the embedded source, over the
// four kinds of source: what is stored, deleted and raised, and in which
// order; refusals that leave the store as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "connection/qvsource.h"
#include "counting_library.h"
#include "dllparam/source_library.h"
#include "event_log.h"
#include "store/record_rules.h"
#include "support/embedded_store.h"
#include "topology.h"

namespace qv::test {
namespace {

using embedded::SourceKind;
using Lines = std::vector<std::string>;

struct Kind {
  SourceKind store;
  const char* type;
  const char* instance;
};

const Kind kKinds[] = {{SourceKind::AS400, "AS400", ""},
                       {SourceKind::ODBC, "ODBC", ""},
                       {SourceKind::SQLServer, "SQL Server", ""},
                       {SourceKind::Oracle, "Oracle", "QVORA"}};

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  std::string n = info.param.type;
  std::erase(n, ' ');
  return n;
}

// The tables whose rows a cascade touches, by name.
const Layout* const kTables[] = {&layout::QV_GX, &layout::QV_FX, &layout::QV_ZX, &layout::QV_TX,
                                 &layout::QV_GC, &layout::QV_FC, &layout::QV_ZC, &layout::QV_END};

class StoreOps : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    store_ = std::make_unique<EmbeddedStore>(GetParam().store);
    auto admin = store_->Admin();
    WriteModel(admin, "E1", "M1", 2, 3);
    WriteModel(admin, "E1", "M2", 1, 1);  // a neighbour that must stay
    auto lib = std::make_unique<CountingLibrary>(MakeSourceLibrary());
    lib->answerJobLists = true;
    lib->failWhen = [this](const std::string& op, const std::string& sql) {
      if (op == "Saction" || op == "Sread" || op == "Sreadblock") statements_.push_back(sql);
      return failWhen_ && failWhen_(op, sql);
    };
    counting_ = lib.get();
    control_ = std::make_unique<QVSource>(std::move(lib));
    control_->SourceType(GetParam().type);
    control_->InstanceName(GetParam().instance);
    ASSERT_TRUE(control_->OpenConnection(store_->address()))
        << control_->ErrorStep() << ": " << control_->ErrorText();
    control_->AddEventSink(&events_);
    control_->env("E1");
    ClearError();
    statements_.clear();
  }
  void TearDown() override {
    if (control_) control_->CloseConnection();
  }

  bool AS400() const { return GetParam().store == SourceKind::AS400; }
  QVSource& control() { return *control_; }
  void ClearError() {
    control_->ErrorNum();
    control_->ErrorText();
    control_->ErrorStep();
  }
  std::vector<Record> Rows(const Layout& table) { return store_->Admin().Records(table); }
  // Returns every row of the cascade's tables, as images.
  std::map<std::string, std::vector<std::string>> Snapshot() {
    std::map<std::string, std::vector<std::string>> out;
    for (const Layout* t : kTables)
      for (const Record& r : Rows(*t)) out[std::string(t->name)].push_back(r.image());
    return out;
  }
  // Returns the rows of a table that belong to model grp.
  std::size_t RowsOf(const Layout& table, const std::string& grp) {
    std::size_t n = 0;
    for (const Record& r : Rows(table))
      if (r.Trimmed("GRPID") == grp) ++n;
    return n;
  }
  // Makes the n-th deleting call (Rdelete, or an NT DELETE statement) fail.
  void FailNthDelete(int n) {
    failWhen_ = [n, seen = 0](const std::string& op, const std::string& sql) mutable {
      if (op == "Rdelete" || (op == "Saction" && sql.starts_with("DELETE"))) return ++seen == n;
      return false;
    };
  }

  std::unique_ptr<EmbeddedStore> store_;
  std::unique_ptr<QVSource> control_;
  CountingLibrary* counting_ = nullptr;
  EventLog events_;
  Lines statements_;
  std::function<bool(const std::string&, const std::string&)> failWhen_;
};

// ---- Deleting a model ----------------------------------------------------------------

TEST_P(StoreOps, DeleteGroupRemovesTablesThenDistributionsThenTheModel) {
  ASSERT_TRUE(control().DeleteGroup("M1")) << control().ErrorStep() << ": " << control().ErrorText();
  for (const Layout* t : kTables) EXPECT_EQ(RowsOf(*t, "M1"), 0u) << t->name;
  EXPECT_EQ(RowsOf(layout::QV_FX, "M2"), 1u);
  EXPECT_EQ(RowsOf(layout::QV_FC, "M2"), 1u);
  EXPECT_EQ(RowsOf(layout::QV_GX, "M2"), 1u);
  EXPECT_EQ(Rows(layout::QV_CX).size(), 3u);  // targets stay

  const Lines& seen = events_.seen;
  ASSERT_EQ(seen.size(), 12u);
  EXPECT_EQ(events_.Named("FCdeleted").size(), 6u);
  EXPECT_EQ(events_.Named("FXdeleted"), (Lines{"FXdeleted E1|M1|0000000001", "FXdeleted E1|M1|0000000002"}));
  EXPECT_EQ(events_.Named("GCdeleted").size(), 3u);
  EXPECT_EQ(seen.back(), "GXdeleted E1|M1");
  auto at = [&](const std::string& e) { return std::find(seen.begin(), seen.end(), e) - seen.begin(); };
  for (int t = 1; t <= 3; ++t) {
    for (int i = 1; i <= 2; ++i) {
      const std::string fic = TableNumberText(i);
      EXPECT_LT(at("FCdeleted E1|" + TargetCode(t) + "|M1|" + fic), at("FXdeleted E1|M1|" + fic));
    }
    EXPECT_GT(at("GCdeleted E1|" + TargetCode(t) + "|M1"), at("FXdeleted E1|M1|0000000002"));
  }
  EXPECT_TRUE(store_->Admin().Locks().empty());
}

TEST_P(StoreOps, ARunningDistributionKeepsTheWholeModel) {
  const auto before = Snapshot();
  counting_->running.insert("SE1_T02M1_");
  EXPECT_FALSE(control().DeleteGroup("M1"));
  EXPECT_EQ(control().ErrorNum(), 40);
  EXPECT_EQ(control().ErrorText(), "Impossible to remove an active distribution ");
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(events_.seen.empty());
  EXPECT_TRUE(store_->Admin().Locks().empty());

  // The same distribution cannot be deleted alone either.
  EXPECT_FALSE(control().DeleteGC("T02", "M1"));
  EXPECT_EQ(control().ErrorText(), "Impossible to remove an active distribution ");
  EXPECT_EQ(Snapshot(), before);
}

TEST_P(StoreOps, AFailingCallStopsTheCascadeAndKeepsTheModel) {
  const auto before = Snapshot();
  FailNthDelete(4);
  EXPECT_FALSE(control().DeleteGroup("M1"));
  EXPECT_EQ(control().ErrorText(), "injected failure");
  // The model stays; what went before the failure is gone, each item whole.
  EXPECT_EQ(RowsOf(layout::QV_GX, "M1"), 1u);
  EXPECT_EQ(std::count(events_.seen.begin(), events_.seen.end(), "GXdeleted E1|M1"), 0);
  const auto after = Snapshot();
  for (const auto& [table, rows] : after)
    for (const std::string& row : rows)
      EXPECT_NE(std::find(before.at(table).begin(), before.at(table).end(), row), before.at(table).end())
          << table << " holds a row that was not there before";
  // Every distributed table reported deleted is gone; every other stays.
  std::size_t gone = 0;
  for (const std::string& e : events_.Named("FCdeleted")) (void)e, ++gone;
  EXPECT_EQ(RowsOf(layout::QV_FC, "M1"), 6u - gone);
  EXPECT_TRUE(store_->Admin().Locks().empty());

  // Once the failure is gone, the delete completes.
  failWhen_ = nullptr;
  ClearError();
  EXPECT_TRUE(control().DeleteGroup("M1")) << control().ErrorText();
  EXPECT_EQ(RowsOf(layout::QV_GX, "M1"), 0u);
}

TEST_P(StoreOps, DeleteFileTakesItsDistributedTablesProgramAndFields) {
  ASSERT_TRUE(control().DeleteFile("M1", "0000000002")) << control().ErrorText();
  EXPECT_EQ(RowsOf(layout::QV_FX, "M1"), 1u);
  EXPECT_EQ(RowsOf(layout::QV_FC, "M1"), 3u);
  EXPECT_EQ(RowsOf(layout::QV_ZX, "M1"), 2u);
  EXPECT_EQ(RowsOf(layout::QV_TX, "M1"), 1u);
  EXPECT_EQ(RowsOf(layout::QV_ZC, "M1"), 3u);
  EXPECT_EQ(events_.seen.back(), "FXdeleted E1|M1|0000000002");
  EXPECT_EQ(events_.Named("FCdeleted").size(), 3u);
}

// ---- Distributions ---------------------------------------------------------------------

TEST_P(StoreOps, AddGCDistributesEveryTableOfTheModel) {
  auto admin = store_->Admin();
  admin.PutRecord(TopoTarget("E1", "T09"));
  for (int i = 3; i <= 20; ++i) admin.PutRecord(TopoTable("E1", "M1", i));
  std::string s = TopoDistribution("E1", "T09", "M1").image();
  ASSERT_TRUE(control().AddGC(s)) << control().ErrorStep() << ": " << control().ErrorText();
  std::size_t added = 0;
  for (const Record& fc : Rows(layout::QV_FC)) {
    if (fc.Trimmed("TGTID") != "T09") continue;
    ++added;
    EXPECT_EQ(fc.Get("HOLD"), "0");
    EXPECT_EQ(fc.Get("NEW"), "1");
    EXPECT_EQ(fc.Get("OCCUR"), " ");
    for (const char* f : {"REPRISEPNT", "NUMFC", "X", "Y"}) EXPECT_EQ(fc.Get(f), "0000000000") << f;
    EXPECT_TRUE(fc.Trimmed("TGTLIB").empty());
  }
  EXPECT_EQ(added, 20u);
  ASSERT_EQ(events_.seen.size(), 21u);
  EXPECT_TRUE(events_.seen[0].starts_with("GCadded E1|T09|M1|E1T09M1 0Model M1"));
  EXPECT_EQ(events_.Named("FCadded").size(), 20u);
  // Distributing again adds nothing: every table is there.
  events_.Clear();
  ASSERT_TRUE(control().DistributeFC("T09", "M1")) << control().ErrorText();
  EXPECT_TRUE(events_.seen.empty());
}

TEST_P(StoreOps, ChangeGCWritesOnlyForUserTypesZeroAndOne) {
  auto admin = store_->Admin();
  admin.PutRecord(TopoEnvironment("E1", true));
  SetProcessUserID("BOB");
  for (const char* type : {"0", "1", "2"}) {
    SCOPED_TRACE(type);
    Record user(layout::QV_UID);
    user.Set("ENVID", "E1");
    user.Set("USERID", "BOB");
    user.Set("USERTYPE", type);
    admin.PutRecord(user);
    control().env("E1");
    ASSERT_EQ(control().CurrentUserType(), std::stoi(type));
    events_.Clear();
    std::string s(624, ' ');
    ASSERT_TRUE(control().DetailGC("M1", "T01", s));
    Record gc(layout::QV_GC, s);
    gc.Set("SCHEDULED", "1");
    gc.Set("REPRISEPNT", "00000000" + std::string(type) + "7");
    s = gc.image();
    EXPECT_TRUE(control().ChangeGC("M1", "T01", s)) << control().ErrorText();
    std::string back(624, ' ');
    ASSERT_TRUE(control().DetailGC("M1", "T01", back));
    const bool writes = std::string(type) != "2";
    EXPECT_EQ(Record(layout::QV_GC, back).Get("REPRISEPNT") == gc.Get("REPRISEPNT"), writes);
    EXPECT_EQ(events_.seen, writes ? Lines{"GCupdated E1|T01|M1"} : Lines{});
  }
  SetProcessUserID("");
}

TEST_P(StoreOps, TheReceiverLibrarySurvivesAs400ChangesAndIsNeverSentOnNt) {
  std::string s(624, ' ');
  ASSERT_TRUE(control().DetailGC("M1", "T01", s));
  Record gc(layout::QV_GC, s);
  gc.Set("REPRISERCV", "RCV0099");
  gc.Set("REPRISELIB", "RCVLIB9");
  s = gc.image();
  ASSERT_TRUE(control().ChangeGC("M1", "T01", s)) << control().ErrorText();
  std::string back(624, ' ');
  ASSERT_TRUE(control().DetailGC("M1", "T01", back));
  const Record stored(layout::QV_GC, back);
  EXPECT_EQ(stored.Trimmed("REPRISERCV"), "RCV0099");
  EXPECT_EQ(stored.Trimmed("REPRISELIB"), AS400() ? "RCVLIB9" : "");
  // A later change that does not carry it keeps it on AS/400.
  Record again = stored;
  again.Set("SCHEDULED", "1");
  s = again.image();
  ASSERT_TRUE(control().ChangeControledGC(s, "T01", "M1"));
  ASSERT_TRUE(control().DetailGC("M1", "T01", back));
  EXPECT_EQ(Record(layout::QV_GC, back).Trimmed("REPRISELIB"), AS400() ? "RCVLIB9" : "");
  for (const std::string& sql : statements_) {
    EXPECT_EQ(sql.find("REPRISELIB"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("RCVLIB9"), std::string::npos) << sql;
  }
  EXPECT_EQ(statements_.empty(), AS400());
}

TEST_P(StoreOps, HoldReleasePositionAndRecoveryReset) {
  ASSERT_TRUE(control().HoldGC("E1", "T01", "M1"));
  ASSERT_TRUE(control().HoldFC("T01", "M1", "0000000001"));
  ASSERT_TRUE(control().HoldTable("M1", "0000000002"));
  ASSERT_TRUE(control().GCUpdatePos("E1", "T01", "M1", 12.7f, -3.5f));
  ASSERT_TRUE(control().LoadRepriseFC("T01", "M1", "0000000002"));
  for (const Record& gc : Rows(layout::QV_GC)) {
    if (gc.Trimmed("TGTID") != "T01" || gc.Trimmed("GRPID") != "M1") continue;
    EXPECT_EQ(gc.Get("HOLD"), "1");
    EXPECT_EQ(gc.Get("X"), "0000000012");
    EXPECT_EQ(gc.Get("Y"), "-000000003");
    EXPECT_EQ(gc.Get("REPRISEPNT"), "0000000010");
  }
  for (const Record& fc : Rows(layout::QV_FC)) {
    if (fc.Trimmed("TGTID") != "T01" || fc.Trimmed("GRPID") != "M1") continue;
    EXPECT_EQ(fc.Get("HOLD"), fc.Trimmed("FICID") == "0000000001" ? "1" : "0");
    if (fc.Trimmed("FICID") == "0000000002") {
      EXPECT_EQ(fc.Get("REPRISETYP"), "C");
      EXPECT_EQ(fc.Get("REPRISEPNT"), "0000000000");
    }
  }
  EXPECT_EQ(events_.seen, (Lines{"GCHold E1|T01|M1", "FCHold E1|T01|M1|0000000001",
                                 "FXHold E1|M1|0000000002"}));
  ASSERT_TRUE(control().ReleaseGC("E1", "T01", "M1"));
  EXPECT_EQ(events_.seen.back(), "GCRelease E1|T01|M1");
}

// ---- Models, tables and fields ------------------------------------------------------------

TEST_P(StoreOps, NextFicIDReadsEveryTableOfTheModel) {
  auto admin = store_->Admin();
  for (int i : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 40})
    admin.PutRecord(TopoTable("E1", "M1", i));
  int64_t next = 0;
  ASSERT_TRUE(control().NextFicID("M1", next)) << control().ErrorText();
  EXPECT_EQ(next, 41);
  ASSERT_TRUE(control().NextFicID("M2", next));
  EXPECT_EQ(next, 2);
  ASSERT_TRUE(control().NextFicID("M9", next));
  EXPECT_EQ(next, 1);
}

TEST_P(StoreOps, CodesAndDescriptionsWithQuotesBlanksAndCase) {
  Record gx = TopoModel("E1", "Q'X");
  gx.Set("DESCRIP", "Paul's \"quoted\" model");
  std::string s = gx.image();
  ASSERT_TRUE(control().AddGroup(s)) << control().ErrorText();
  std::string back;
  ASSERT_TRUE(control().DetailGroup(back, "Q'X")) << control().ErrorText();
  EXPECT_EQ(Record(layout::QV_GX, back).Trimmed("DESCRIP"), "Paul's \"quoted\" model");
  // Lower case names another model; a code longer than its field names none.
  EXPECT_FALSE(control().GroupExist("q'x"));
  EXPECT_FALSE(control().GroupExist("Q'XY"));
  EXPECT_FALSE(control().DeleteGroup("M1X"));
  EXPECT_EQ(control().ErrorText(), "Model M1X not found");
  EXPECT_EQ(RowsOf(layout::QV_GX, "M1"), 1u);
  EXPECT_FALSE(control().DetailGroup(back, ""));
  EXPECT_EQ(control().ErrorText(), "Model  not found");
  EXPECT_TRUE(control().GroupExist("M1 "));
  // A description that fills its field with quotes is cut before the quotes
  // are doubled: it is stored whole, as 30 quotes.
  gx.Set("DESCRIP", std::string(40, '\''));
  s = gx.image();
  ASSERT_TRUE(control().ChangeGroup(s, "Q'X")) << control().ErrorText();
  ASSERT_TRUE(control().DetailGroup(back, "Q'X"));
  EXPECT_EQ(Record(layout::QV_GX, back).Get("DESCRIP"), std::string(30, '\''));
}

TEST_P(StoreOps, AddingAnExistingModelIsRefusedAndChangesNothing) {
  const auto before = Snapshot();
  std::string s = TopoModel("E1", "M1").image();
  s[10] = 'Z';
  EXPECT_FALSE(control().AddGroup(s));
  EXPECT_NE(control().ErrorNum(), 0);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(events_.seen.empty());
}

TEST_P(StoreOps, MissingItemsAreReportedAndNothingIsWritten) {
  const auto before = Snapshot();
  std::string gx = TopoModel("E1", "M9").image(), fx = TopoTable("E1", "M1", 9).image();
  std::string gc = TopoDistribution("E1", "T01", "M9").image(), fc = TopoDistributedTable("E1", "T01", "M1", 9).image();
  std::string zx = TopoField("E1", "M1", 1, "NOFIELD").image();
  struct Case {
    std::function<bool()> op;
    std::string message;
  };
  const Case cases[] = {
      {[&] { return control().ChangeGroup(gx, "M9"); }, "Model M9 not found"},
      {[&] { return control().DeleteGroup("M9"); }, "Model M9 not found"},
      {[&] { return control().ChangeFile(fx, "M1", "0000000009"); }, "Table 0000000009 not found in model M1"},
      {[&] { return control().DeleteFile("M1", "0000000009"); }, "Table 0000000009 not found in model M1"},
      {[&] { return control().ChangeZX(zx, "M1", "0000000001", "NOFIELD"); },
       "Field NOFIELD not found in table 0000000001 for model M1"},
      {[&] { return control().ChangeControledGC(gc, "T01", "M9"); }, "Distribution M9 for target T01 not found"},
      {[&] { return control().DeleteGC("T01", "M9"); }, "Distribution M9 for target T01 not found"},
      {[&] { return control().HoldGC("E1", "T01", "M9"); }, "Distribution M9 for target T01 not found"},
      {[&] { return control().GCUpdatePos("E1", "T01", "M9", 1, 2); }, "Distribution M9 in target T01 not found"},
      {[&] { return control().ChangeControledFC(fc, "T01", "M1", "0000000009"); },
       "Table 0000000009 not found in model M1"},
      {[&] { return control().DeleteFC("T01", "M1", "0000000009"); },
       "Table 0000000009 not found in distribution M1 to target T01"},
      {[&] { return control().AddFC(fc, "T01", "M1"); }, "Table 0000000009 not found in model M1"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.op()) << c.message;
    EXPECT_EQ(control().ErrorNum(), 40) << c.message;
    EXPECT_EQ(control().ErrorText(), c.message);
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(events_.seen.empty());
  EXPECT_TRUE(store_->Admin().Locks().empty());
}

TEST_P(StoreOps, RecordStringsOfTheWrongLengthAreRefusedOrPadded) {
  const auto before = Snapshot();
  std::string tooLong(700, 'x');
  EXPECT_FALSE(control().ChangeGroup(tooLong, "M1"));
  EXPECT_FALSE(control().ChangeControledGC(tooLong, "T01", "M1"));
  EXPECT_EQ(control().ErrorNum(), QVSource::kFaultNum);
  EXPECT_EQ(Snapshot(), before);
  // A short string is padded: the model keeps its key, the rest is blank.
  std::string shortOne = "E1M1 Short";
  ASSERT_TRUE(control().ChangeGroup(shortOne, "M1")) << control().ErrorText();
  EXPECT_EQ(shortOne.size(), 205u);
  std::string back;
  ASSERT_TRUE(control().DetailGroup(back, "M1"));
  EXPECT_EQ(Record(layout::QV_GX, back).Trimmed("DESCRIP"), "Short");
}

TEST_P(StoreOps, FieldMappingsAreAddedRewrittenAndRemoved) {
  auto mappings = [&] {
    Lines out;
    for (const Record& zc : Rows(layout::QV_ZC))
      if (zc.Trimmed("TGTID") == "T01" && zc.Trimmed("GRPID") == "M1" && zc.Trimmed("FICID") == "0000000001")
        out.push_back(std::string(zc.Trimmed("FIELDINPUT")) + ">" + std::string(zc.Trimmed("FIELDOUT")));
    return out;
  };
  EXPECT_EQ(mappings(), Lines{"KEYFLD>TGTKEY"});
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "DATAFLD", "TGTDATA"));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "KEYFLD", "NEWKEY"));
  EXPECT_EQ(mappings(), (Lines{"DATAFLD>TGTDATA", "KEYFLD>NEWKEY"}));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "KEYFLD", ""));
  ASSERT_TRUE(control().ChangeZC("M1", "T01", "0000000001", "NOMAP", ""));
  EXPECT_EQ(mappings(), Lines{"DATAFLD>TGTDATA"});
  EXPECT_EQ(events_.seen, (Lines{"ZCupdated E1|T01|M1|0000000001|DATAFLD|TGTDATA",
                                 "ZCupdated E1|T01|M1|0000000001|KEYFLD|NEWKEY"}));
  EXPECT_TRUE(store_->Admin().Locks().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoreOps, ::testing::ValuesIn(kKinds), KindName);

}  // namespace
}  // namespace qv::test
