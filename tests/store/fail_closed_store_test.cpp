// The store operations fail closed, on embedded stores: a code longer than
// its field names no item at any entry point, nothing is added under a
// missing parent, and a delete that cannot read an entry stops instead of
// reporting success.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "dllparam/embedded/embedded_source.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "support/lib_client.h"
#include "support/store_fixture.h"
#include "support/topology.h"

namespace qv::test {
namespace {

// Codes one character too long whose leading part names a stored item:
// cutting them would reach E1, T1, M1, table 1, field CUSTNO and user ANN.
const std::string kEnv = "E1X";
const std::string kTgt = "T1 X";
const std::string kGrp = "M1 X";
const std::string kFic = "0000000001X";
const std::string kField = FitText("CUSTNO", 30) + "X";
const std::string kUser = FitText("ANN", 30) + "X";

std::string M(const char* id, const std::string& p1 = "", const std::string& p2 = "",
              const std::string& p3 = "") {
  return cLoadResString(id, p1, p2, p3);
}

// What a case passes: record strings to write and buffers to fill.
struct Args {
  std::string ex = Ex("E1", "X", "changed"), cx = Cx("E1", "T1", "9", "changed"),
              gx = Gx("E1", "M1"), fx = Fx("E1", "M1", "0000000001"),
              gc = TopoDistribution("E1", "T1", "M1").image(),
              fc = TopoDistributedTable("E1", "T1", "M1", 1).image(),
              zx = TopoField("E1", "M1", 1, "CUSTNO").image(), uid = User("E1", "ANN", "2"),
              gcOfT9 = TopoDistribution("E1", "T9", "M1").image(), gcOfM9 = TopoDistribution("E1", "T1", "M9").image(),
              fcOf9 = TopoDistributedTable("E1", "T1", "M1", 9).image();
  std::string out, a, b, c;
  int64_t next = 0;
};

struct NoItemCase {
  const char* call;
  std::function<bool(QVSource&, Args&)> run;
  bool result;
  // The refusal text (ErrorNum 40), "" for no error at all, or nothing when
  // the error is not checked.
  std::optional<std::string> refusal;
};

const std::string t1 = "0000000001";

// Names a call of the control and makes the case's function of it.
#define CALL(call) #call, [](QVSource& c, [[maybe_unused]] Args& x) { return c.call; }

// Every public entry point that takes a code, with one code too long, and
// the additions under a missing parent.
std::vector<NoItemCase> NoItemCases() {
  return {
      // Environments and targets
      {CALL(EnvironmentExist(kEnv)), false, ""},
      {CALL(DetailEnvironment(x.out, kEnv)), false, M("2022", kEnv)},
      {CALL(ChangeEnvironment(x.ex, kEnv)), false, M("2022", kEnv)},
      {CALL(DeleteEnvironment(kEnv)), false, M("2022", kEnv)},
      {CALL(CibleExist(kTgt)), false, ""},
      {"CibleExist in a selected over-long env",
       [](QVSource& c, Args&) {
         c.env(kEnv);  // a missing environment is selected as an unsecured one
         const bool found = c.CibleExist("T1");
         c.env("E1");
         return found;
       },
       false, std::nullopt},
      {CALL(DetailCible(x.out, kTgt)), false, M("2020", kTgt)},
      {CALL(ChangeCible(x.cx, kTgt)), false, M("2020", kTgt)},
      {CALL(DeleteCible(kTgt)), false, M("2020", kTgt)},
      {CALL(HoldCible(kTgt)), false, M("2020", kTgt)},
      {CALL(ReleaseCible(kTgt)), false, M("2020", kTgt)},
      {CALL(CibleUpdatePos("E1", kTgt, 5, 6)), false, M("2020", kTgt)},
      {CALL(CibleUpdatePos(kEnv, "T1", 5, 6)), false, M("2020", "T1")},
      // Models, model tables, fields and mappings
      {CALL(GroupExist(kGrp)), false, ""},
      {CALL(DetailGroup(x.out, kGrp)), false, M("2023", kGrp)},
      {CALL(GroupType(x.out, kGrp)), false, M("2023", kGrp)},
      {CALL(ChangeGroup(x.gx, kGrp)), false, M("2023", kGrp)},
      {CALL(DeleteGroup(kGrp)), false, M("2023", kGrp)},
      {CALL(CompAllMbrDist(kGrp, x.a, x.b)), false, M("2023", kGrp)},
      {CALL(NextFicID(kGrp, x.next) && x.next == 1), true, ""},
      {CALL(FileExist("", "", kGrp, t1)), false, ""},
      {CALL(FileExist("", "", "M1", kFic)), false, ""},
      {CALL(DetailFile(x.out, "M1", kFic, x.a, x.b)), false, M("2024", kFic, "M1")},
      {CALL(ChangeFile(x.fx, "M1", kFic)), false, M("2024", kFic, "M1")},
      {CALL(DeleteFile(kGrp, t1)), false, M("2024", t1, kGrp)},
      {CALL(HoldTable("M1", kFic)), false, M("2024", kFic, "M1")},
      {CALL(ReleaseTable(kGrp, t1)), false, M("2024", t1, kGrp)},
      {CALL(DetailZX(x.out, "M1", t1, kField)), false, M("2025", kField, t1, "M1")},
      {CALL(ChangeZX(x.zx, "M1", t1, kField)), false, M("2025", kField, t1, "M1")},
      {CALL(ChangeZC("M1", "T1", t1, kField, "")), true, ""},
      {CALL(ChangeZC("M1", kTgt, t1, "CUSTNO", "")), true, ""},
      {CALL(ChangeZC("M1", "T1", t1, kField, "OTHER")), false, std::nullopt},
      // Distributions and distributed tables
      {CALL(GCExist(kTgt, "M1")), false, ""},
      {CALL(SelectGC("T1", kGrp)), false, ""},
      {CALL(DetailGC(kGrp, "T1", x.out)), false, M("2026", kGrp, "T1")},
      {CALL(DetailGC_GX_GC_1(x.out, kTgt, "M1")), false, M("2026", "M1", kTgt)},
      {CALL(ChangeGC(kGrp, "T1", x.gc)), false, M("2026", kGrp, "T1")},
      {CALL(ChangeControledGC(x.gc, kTgt, "M1")), false, M("2026", "M1", kTgt)},
      {CALL(DeleteGC("T1", kGrp)), false, M("2026", kGrp, "T1")},
      {CALL(HoldGC(kEnv, "T1", "M1")), false, M("2026", "M1", "T1")},
      {CALL(ReleaseGC("E1", kTgt, "M1")), false, M("2026", "M1", kTgt)},
      {CALL(GCUpdatePos("E1", "T1", kGrp, 5, 6)), false, M("2021", kGrp, "T1")},
      {CALL(DetailFC(x.out, "T1", "M1", kFic, x.c, x.a, x.b)), false, M("2028", kFic, "M1", "T1")},
      {CALL(AddFC(x.fc, kTgt, "M1")), false, M("2026", "M1", kTgt)},
      {CALL(ChangeFC(x.fc, "T1", "M1", kFic)), false, M("2024", kFic, "M1")},
      {CALL(ChangeControledFC(x.fc, kTgt, "M1", t1)), false, M("2026", "M1", kTgt)},
      {CALL(DeleteFC("T1", "M1", kFic)), false, M("2028", kFic, "M1", "T1")},
      {CALL(HoldFC("T1", "M1", kFic)), false, M("2024", kFic, "M1")},
      {CALL(ReleaseFC(kTgt, "M1", t1)), false, M("2024", t1, "M1")},
      {CALL(LoadRepriseFC("T1", kGrp, t1)), false, M("2024", t1, kGrp)},
      {CALL(DistributeFC(kTgt, "M1")), false, M("2026", "M1", kTgt)},
      // Cascades: an item that does not exist has no children
      {CALL(DeleteCXforEX(kEnv)), true, ""},
      {CALL(DeleteGXforEX(kEnv)), true, ""},
      {CALL(DeleteGCforCX("E1", kTgt)), true, ""},
      {CALL(DeleteGCforGX("E1", kGrp)), true, ""},
      {CALL(DeleteFXforGX("E1", kGrp)), true, ""},
      {CALL(DeleteFCforGC("E1", "T1", kGrp)), true, ""},
      {CALL(DeleteFCforFX("E1", "M1", kFic)), true, ""},
      {CALL(DeleteENDforGC("E1", kTgt, "M1")), true, ""},
      {CALL(DeleteTXforFX("E1", kGrp, t1)), true, ""},
      {CALL(DeleteZXforFX(kEnv, "M1", t1)), true, ""},
      {CALL(DeleteZCforFC("E1", "T1", "M1", kFic)), true, ""},
      {CALL(DeleteZCforZX("E1", "M1", t1, kField)), true, ""},
      // Users
      {CALL(SelectUser("E1", kUser)), false, ""},
      {CALL(ChangeUser(x.uid, "E1", kUser)), false, M("2206")},
      {CALL(DeleteEnvUser(kEnv, "ANN")), false, M("2206")},
      {CALL(DeleteUser(kUser)), true, ""},
      {CALL(DeleteUserEnv(kEnv)), true, ""},
      // Missing parents
      {CALL(AddGC(x.gcOfT9)), false, M("2020", "T9")},
      {CALL(AddGC(x.gcOfM9)), false, M("2023", "M9")},
      {CALL(DistributeFC("T1", "M9")), false, M("2023", "M9")},
      {CALL(AddFC(x.fcOf9, "T1", "M1")), false, M("2024", "0000000009", "M1")},
  };
}

#undef CALL

class FailClosedStore : public StoreTest {
 protected:
  void SetUp() override {
    auto admin = Admin();
    WriteTopology(admin, "E1");
  }
};

TEST_P(FailClosedStore, AnOverlongCodeOrAMissingParentNamesNoItem) {
  for (const NoItemCase& c : NoItemCases()) {
    SCOPED_TRACE(c.call);
    Args args;
    const auto before = Snapshot();
    ClearError();
    events.Clear();
    engine().userSpacesDeleted.clear();
    EXPECT_EQ(c.run(control(), args), c.result);
    if (c.refusal && !c.refusal->empty()) {
      EXPECT_EQ(control().ErrorText(), *c.refusal);
      EXPECT_EQ(control().ErrorNum(), QVSource::kRefusalNum);
    } else if (c.refusal) {
      EXPECT_EQ(control().ErrorNum(), 0);
    }
    if (Snapshot() != before) {
      ADD_FAILURE() << "the store changed";
      Restore(before);
    }
    EXPECT_EQ(events.seen, std::vector<std::string>{});
    EXPECT_EQ(engine().userSpacesDeleted, std::vector<std::string>{});
    EXPECT_TRUE(Admin().Locks().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FailClosedStore, StoreKinds(), KindName);

// ---- An entry held by another job ---------------------------------------------------

class LockedUserStore : public FailClosedStore {};

TEST_P(LockedUserStore, AUserHeldByAnotherJobKeepsItsEnvironment) {
  // Another job holds BOB's entry of E1 locked.
  LibClient other(kAs400, std::make_unique<embedded::EmbeddedSource>());
  ASSERT_NE(other.Open(UCase("file:" + Admin().path())), 0);
  const int32_t h = other.Ropen("QV_UID");
  ASSERT_TRUE(other.Readk(h, BuildKey(layout::UserKey, {"E1", "BOB"}), true, layout::QV_UID.length));

  EXPECT_FALSE(control().DeleteEnvironment("E1"));
  EXPECT_EQ(control().ErrorStep(), "DeleteUserEnv");
  EXPECT_NE(control().ErrorText().find("in use"), std::string::npos) << control().ErrorText();
  EXPECT_EQ(Stored(layout::QV_EX, "E1").size(), 1u);
  bool bobLeft = false;
  for (const std::string& u : Stored(layout::QV_UID, "E1"))
    bobLeft = bobLeft || Record(layout::QV_UID, u).Trimmed("USERID") == "BOB";
  EXPECT_TRUE(bobLeft);
  EXPECT_EQ(events.Named("EXdeleted"), std::vector<std::string>{});

  // Once the other job lets go, the delete goes through.
  ASSERT_TRUE(other.Close());
  ClearError();
  ASSERT_TRUE(control().DeleteEnvironment("E1")) << control().ErrorText();
  EXPECT_EQ(Stored(layout::QV_UID, "E1"), std::vector<std::string>{});
  EXPECT_EQ(Stored(layout::QV_EX, "E1"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(AS400, LockedUserStore,
                         testing::Values(kAs400),
                         KindName);

}  // namespace
}  // namespace qv::test
