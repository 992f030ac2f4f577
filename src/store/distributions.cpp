// Distributions and distributed tables: reads (alone and joined with the model
// or the model table), adds, changes, deletes, hold and release of QV_GC and
// QV_FC records, node positions, recovery point resets and the distribution
// of all tables of a model.
#include <set>

#include "connection/qvsource.h"
#include "store/cascade_files.h"
#include "store/distribution_statements.h"
#include "store/environment_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {
namespace {

const Layout& Gc() { return layout::QV_GC; }
const Layout& Fc() { return layout::QV_FC; }
const Layout& Fx() { return layout::QV_FX; }
const Layout& GxGc() { return layout::DistributionWithModel; }
const Layout& FcFx() { return layout::DistributedTableWithModelTable; }

// Tells whether a user type may change distributions: 0 (master) and 1 (supervisor).
bool MayChange(int32_t userType) { return userType == 0 || userType == 1; }

}  // namespace

// ---- Reads ------------------------------------------------------------------------------

QVSource::Lookup QVSource::ReadGC(const std::string& env, const std::string& tgt_id,
                                  const std::string& grp_id, bool lock, Record& rec) {
  std::string buf(Gc().length, ' ');
  const Lookup found =
      ReadItem(files_.QV_GC, KeyFromCodes(layout::DistributionKey, {env, tgt_id, grp_id}), lock,
               SelectDistributionSql(prefix_, env, tgt_id, grp_id), buf);
  if (found == Lookup::Found) {
    if (IsAS400()) rec.Assign(buf);
    else rec = NtRowToRecord(Gc(), buf);
  }
  return found;
}

QVSource::Lookup QVSource::ReadFC(const std::string& env, const std::string& tgt_id,
                                  const std::string& grp_id, const std::string& fic_id, bool lock,
                                  Record& rec) {
  std::string buf(Fc().length, ' ');
  const Lookup found = ReadItem(
      files_.QV_FC, KeyFromCodes(layout::DistributedTableKey, {env, tgt_id, grp_id, fic_id}), lock,
      SelectDistributedTableSql(prefix_, env, tgt_id, grp_id, fic_id), buf);
  if (found == Lookup::Found) {
    if (IsAS400()) rec.Assign(buf);
    else rec = NtRowToRecord(Fc(), buf);
  }
  return found;
}

QVSource::Lookup QVSource::ReadFC_FXU(const std::string& env, const std::string& tgt_id,
                                      const std::string& grp_id, const std::string& fic_id,
                                      Record& rec) {
  std::string buf(FcFx().length, ' ');
  const Lookup found = ReadItem(
      files_.QV_FC_FXU, KeyFromCodes(layout::DistributedTableKey, {env, tgt_id, grp_id, fic_id}),
      false,
      SelectDistributedTableWithModelTableSql(JoinDialectOf(sourceType_), prefix_, env, tgt_id,
                                              grp_id, fic_id),
      buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

QVSource::Lookup QVSource::ReadGX_GC_1(const std::string& env, const std::string& tgt_id,
                                       const std::string& grp_id, Record& rec) {
  std::string buf(GxGc().length, ' ');
  const Lookup found = ReadItem(
      files_.QV_GX_GC_1, KeyFromCodes(layout::DistributionKey, {env, tgt_id, grp_id}), false,
      SelectDistributionWithModelSql(JoinDialectOf(sourceType_), prefix_, env, tgt_id, grp_id),
      buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

// ---- Distributions -----------------------------------------------------------------------

bool QVSource::GCExist(const std::string& tgt_id, const std::string& grp_id) {
  return Guard("GCExist", [&] {
    Record gc(Gc());
    return ReadGC(sel_.env, tgt_id, grp_id, false, gc) == Lookup::Found;
  });
}

bool QVSource::SelectGC(const std::string& tgt_id, const std::string& grp_id) {
  return Guard("SelectGC", [&] {
    Record gc(Gc());
    return ReadGC(sel_.env, tgt_id, grp_id, true, gc) == Lookup::Found;
  });
}

bool QVSource::DetailGC(const std::string& grp_id, const std::string& tgt_id, std::string& sQV_GC) {
  return Guard("DetailGC", [&] {
    Record gc(Gc());
    const Lookup found = ReadGC(sel_.env, tgt_id, grp_id, false, gc);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    sQV_GC = gc.image();
    return true;
  });
}

bool QVSource::DetailGC_GX_GC_1(std::string& sQV_GX_GC_1, const std::string& tgt_id,
                                const std::string& grp_id) {
  return Guard("DetailGC_GX_GC_1", [&] {
    Record joined(GxGc());
    const Lookup found = ReadGX_GC_1(sel_.env, tgt_id, grp_id, joined);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    sQV_GX_GC_1 = joined.image();
    return true;
  });
}

bool QVSource::AddGC(std::string& sQV_GC) {
  return Guard("AddGC", [&] {
    auto fail = [&] {
      if (errorStep_.rfind("AddGC", 0) != 0) errorStep_ = "AddGC:" + errorStep_;
      return false;
    };
    Record gc = RecordFromString(Gc(), sQV_GC);
    gc.Set("ENVID", sel_.env);
    const std::string env = EnvCode(sel_.env), tgt(gc.Get("TGTID")), grp(gc.Get("GRPID"));
    // A distribution joins a stored target and a stored model.
    std::string cx;
    if (!DetailCible(cx, std::string(gc.Trimmed("TGTID")))) return fail();
    Step("AddGC");
    Record gx(layout::QV_GX);
    const Lookup model = ReadGroup(grp, false, gx);
    if (!Present(model, "2023", std::string(gc.Trimmed("GRPID")))) return fail();
    if (IsAS400()) {
      if (!ChangeRecord(Change::Write, files_.QV_GC, gc.image())) return false;
    } else {
      gc.Set("FILLER", "");
      gc.Set("REPRISELIB", "");  // not stored on NT sources
      if (!RunStatement(InsertDistributionSql(prefix_, gc))) return false;
    }
    sQV_GC = gc.image();
    Step("AddGC:DetailGC_GX_GC_1");
    Record joined(GxGc());
    const Lookup back = ReadGX_GC_1(env, tgt, grp, joined);
    if (!Present(back, "2026", std::string(gc.Trimmed("GRPID")), std::string(gc.Trimmed("TGTID"))))
      return false;
    Raise(&QVSourceEvents::GCadded, env, tgt, grp, joined.image());
    if (joined.Get("MANDISTRI") == "1") return true;
    Step("AddGC:DistributeFC");
    if (!DistributeTables(gc)) return fail();
    Step("AddGC");
    return true;
  });
}

bool QVSource::ChangeGC(const std::string& grp_id, const std::string& tgt_id, std::string& sQV_GC) {
  return Guard("ChangeGC", [&] {
    if (!MayChange(currentUserType_)) return true;
    return ChangeControledGC(sQV_GC, tgt_id, grp_id);
  });
}

bool QVSource::ChangeControledGC(std::string& sQV_GC, const std::string& tgt_id,
                                 const std::string& grp_id) {
  return Guard("ChangeControledGC", [&] {
    Record gc = RecordFromString(Gc(), sQV_GC);
    Record stored(Gc());
    const Lookup found = ReadGC(sel_.env, tgt_id, grp_id, true, stored);
    Step("ChangeControledGC");
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id);
    // The distribution keeps its key: its tables, mappings and scripts hang
    // below it by that key.
    gc.Set("ENVID", env);
    gc.Set("TGTID", tgt);
    gc.Set("GRPID", grp);
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_GC, gc.image(), env + tgt + grp)) return false;
    } else {
      if (!RunStatement(UpdateDistributionSql(prefix_, gc, env, tgt, grp))) return false;
      gc.Set("REPRISELIB", "");  // not stored on NT sources
    }
    sQV_GC = gc.image();
    Raise(&QVSourceEvents::GCupdated, env, tgt, grp);
    return true;
  });
}

bool QVSource::DeleteGC(const std::string& tgt_id, const std::string& grp_id) {
  return Guard("DeleteGC", [&] {
    return InChangeUnit([&] {
      Record stored(Gc());
      const Lookup found = ReadGC(sel_.env, tgt_id, grp_id, true, stored);
      Step("DeleteGC");
      if (!Present(found, "2026", grp_id, tgt_id)) return false;
      const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id);
      if (!DistributionIdle("DeleteGC", env, tgt, grp) || !DeleteENDforGC(env, tgt, grp) ||
          !DeleteFCforGC(env, tgt, grp)) {
        if (IsAS400()) ReleaseLock(files_.QV_GC, Gc().length, env + tgt + grp);
        return false;
      }
      Step("DeleteGC");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_GC)) return false;
      } else if (!RunStatement(DeleteDistributionSql(prefix_, env, tgt, grp))) {
        return false;
      }
      // The engine's user spaces go once the distribution is gone.
      DeleteUserSpaces(env, tgt, grp);
      Step("DeleteGC");
      Raise(&QVSourceEvents::GCdeleted, env, tgt, grp);
      return true;
    });
  });
}

bool QVSource::SetGCHold(const char* step, const std::string& env, const std::string& tgt_id,
                         const std::string& grp_id, const char* flag, DistributionEvent event) {
  return Guard(step, [&] {
    Record stored(Gc());
    const Lookup found = ReadGC(env, tgt_id, grp_id, true, stored);
    Step(step);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    if (IsAS400()) {
      stored.Set("HOLD", flag);
      if (!ChangeRecord(Change::Update, files_.QV_GC, stored.image(),
                        BuildKey(layout::DistributionKey, {env, tgt_id, grp_id})))
        return false;
    } else if (!RunStatement(HoldDistributionSql(prefix_, flag, env, tgt_id, grp_id))) {
      return false;
    }
    Raise(event, EnvCode(env), TgtCode(tgt_id), GrpCode(grp_id));
    return true;
  });
}

bool QVSource::HoldGC(const std::string& env_id, const std::string& tgt_id,
                      const std::string& grp_id) {
  return SetGCHold("HoldGC", env_id, tgt_id, grp_id, "1", &QVSourceEvents::GCHold);
}

bool QVSource::ReleaseGC(const std::string& env_id, const std::string& tgt_id,
                         const std::string& grp_id) {
  return SetGCHold("ReleaseGC", env_id, tgt_id, grp_id, "0", &QVSourceEvents::GCRelease);
}

bool QVSource::GCUpdatePos(const std::string& env_id, const std::string& tgt_id,
                           const std::string& grp_id, float X, float Y) {
  return Guard("GCUpdatePos", [&] {
    const std::string x = PositionText(X), y = PositionText(Y);
    const ItemKey key = KeyFromCodes(layout::DistributionKey, {env_id, tgt_id, grp_id});
    // AS/400 reads the position record locked; on NT an UPDATE of a missing
    // row does nothing: the read of the distribution tells it apart.
    std::string buf(IsAS400() ? layout::DistributionPosition.length : Gc().length, ' ');
    const Lookup found = ReadItem(files_.QV_GC_XY, key, true,
                                  SelectDistributionSql(prefix_, env_id, tgt_id, grp_id), buf);
    if (!Present(found, "2021", grp_id, tgt_id)) return false;
    if (!IsAS400())
      return RunStatement(DistributionPositionSql(prefix_, x, y, env_id, tgt_id, grp_id));
    Record pos(layout::DistributionPosition, buf);
    pos.Set("X", x);
    pos.Set("Y", y);
    return ChangeRecord(Change::Update, files_.QV_GC_XY, pos.image(), key.image);
  });
}

// ---- Distributed tables ----------------------------------------------------------------------

void QVSource::RaiseFCWritten(bool added, const Record& fcfx, const Record& gc) {
  const DistributedTableTexts t = DistributedTableEventTexts(fcfx, gc, IsAS400());
  Raise(added ? &QVSourceEvents::FCadded : &QVSourceEvents::FCupdated, fcfx.Get("ENVID"),
        fcfx.Get("TGTID"), fcfx.Get("GRPID"), fcfx.Get("FICID"), t.source, t.description, t.target);
}

bool QVSource::WriteNewFC(Record& fc) {
  PrepareNewDistributedTable(fc);
  if (IsAS400()) {
    return ChangeRecord(Change::Write, files_.QV_FC, fc.image());
  }
  fc.Set("REPRISELIB", "");  // not stored on NT sources
  return RunStatement(InsertDistributedTableSql(prefix_, fc));
}

bool QVSource::DetailFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id,
                        const std::string& fic_id, std::string& sQV_FC_FXU, std::string& AllMbrDist,
                        std::string& ManDistri) {
  return Guard("DetailFC", [&] {
    if (!MemberOptions(grp_id, AllMbrDist, ManDistri)) return false;
    Record gc(Gc());
    Lookup found = ReadGC(sel_.env, tgt_id, grp_id, false, gc);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    Record fc(Fc());
    found = ReadFC(sel_.env, tgt_id, grp_id, fic_id, false, fc);
    if (!Present(found, "2028", fic_id, grp_id, tgt_id)) return false;
    Record joined(FcFx());
    found = ReadFC_FXU(sel_.env, tgt_id, grp_id, fic_id, joined);
    if (found != Lookup::Found) {
      Step("DetailFc:ReadFC_FXU");
      return Present(found, "2024", fic_id, grp_id);
    }
    sQV_FC = fc.image();
    sQV_FC_FXU = joined.image();
    return true;
  });
}

bool QVSource::AddFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id) {
  return Guard("AddFC", [&] {
    Record fc = RecordFromString(Fc(), sQV_FC);
    std::string option, manual;
    if (!MemberOptions(grp_id, option, manual)) return false;
    Record gc(Gc());
    Lookup found = ReadGC(sel_.env, tgt_id, grp_id, false, gc);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    const std::string fic(fc.Get("FICID"));
    Record fx(Fx());
    found = ReadFile(grp_id, fic, false, fx);
    if (!Present(found, "2024", fic, grp_id)) return false;
    const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id);
    fc.Set("ENVID", env);
    fc.Set("TGTID", tgt);
    fc.Set("GRPID", grp);
    if (!WriteNewFC(fc)) return false;
    sQV_FC = fc.image();
    Record joined(FcFx());
    found = ReadFC_FXU(env, tgt, grp, fic, joined);
    if (found != Lookup::Found) {
      Step("AddFc:ReadFC");
      return Present(found, "2028", fic, grp_id, tgt_id);
    }
    RaiseFCWritten(true, joined, gc);
    return true;
  });
}

bool QVSource::ChangeFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id,
                        const std::string& fic_id) {
  return Guard("ChangeFC", [&] {
    if (!MayChange(currentUserType_)) return true;
    return ChangeControledFC(sQV_FC, tgt_id, grp_id, fic_id);
  });
}

bool QVSource::ChangeControledFC(std::string& sQV_FC, const std::string& tgt_id,
                                 const std::string& grp_id, const std::string& fic_id) {
  return Guard("ChangeControledFC", [&] {
    Record fc = RecordFromString(Fc(), sQV_FC);
    std::string option, manual;
    if (!MemberOptions(grp_id, option, manual)) return false;
    Record gc(Gc());
    Lookup found = ReadGC(sel_.env, tgt_id, grp_id, false, gc);
    if (!Present(found, "2026", grp_id, tgt_id)) return false;
    Record fx(Fx());
    found = ReadFile(grp_id, fic_id, false, fx);
    if (!Present(found, "2024", fic_id, grp_id)) return false;
    Record stored(Fc());
    found = ReadFC(sel_.env, tgt_id, grp_id, fic_id, true, stored);
    Step("ChangeControledFC");
    if (!Present(found, "2028", fic_id, grp_id, tgt_id)) return false;
    const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id),
                      fic = FicCode(fic_id);
    // The distributed table keeps its key: its field mappings hang below it.
    fc.Set("ENVID", env);
    fc.Set("TGTID", tgt);
    fc.Set("GRPID", grp);
    fc.Set("FICID", fic);
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_FC, fc.image(), env + tgt + grp + fic))
        return false;
    } else {
      if (!RunStatement(UpdateDistributedTableSql(prefix_, fc, env, tgt, grp, fic))) return false;
      fc.Set("REPRISELIB", "");  // not stored on NT sources
    }
    sQV_FC = fc.image();
    Record joined(FcFx());
    found = ReadFC_FXU(env, tgt, grp, fic, joined);
    if (found != Lookup::Found) {
      Step("ChangeControledFC:ReadFC_FXU");
      return Present(found, "2028", fic_id, grp_id, tgt_id);
    }
    RaiseFCWritten(false, joined, gc);
    return true;
  });
}

bool QVSource::DeleteFC(const std::string& tgt_id, const std::string& grp_id,
                        const std::string& fic_id) {
  return Guard("DeleteFC", [&] {
    return InChangeUnit([&] {
      Record stored(Fc());
      const Lookup found = ReadFC(sel_.env, tgt_id, grp_id, fic_id, true, stored);
      Step("DeleteFC");
      if (!Present(found, "2028", fic_id, grp_id, tgt_id)) return false;
      const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id),
                        fic = FicCode(fic_id);
      if (!DeleteZCforFC(env, tgt, grp, fic)) {
        if (IsAS400()) ReleaseLock(files_.QV_FC, Fc().length, env + tgt + grp + fic);
        return false;
      }
      Step("DeleteFC");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_FC)) return false;
      } else if (!RunStatement(DeleteDistributedTableSql(prefix_, env, tgt, grp, fic))) {
        return false;
      }
      Raise(&QVSourceEvents::FCdeleted, env, tgt, grp, fic);
      return true;
    });
  });
}

bool QVSource::SetFCHold(const char* step, const std::string& tgt_id, const std::string& grp_id,
                         const std::string& fic_id, const char* flag, TableEvent event) {
  return Guard(step, [&] {
    Record stored(Fc());
    const Lookup found = ReadFC(sel_.env, tgt_id, grp_id, fic_id, true, stored);
    Step(step);
    if (!Present(found, "2024", fic_id, grp_id)) return false;
    if (IsAS400()) {
      stored.Set("HOLD", flag);
      if (!ChangeRecord(Change::Update, files_.QV_FC, stored.image(),
                        BuildKey(layout::DistributedTableKey, {sel_.env, tgt_id, grp_id, fic_id})))
        return false;
    } else if (!RunStatement(HoldDistributedTableSql(prefix_, flag, sel_.env, tgt_id, grp_id, fic_id))) {
      return false;
    }
    Raise(event, EnvCode(sel_.env), TgtCode(tgt_id), GrpCode(grp_id), FicCode(fic_id));
    return true;
  });
}

bool QVSource::HoldFC(const std::string& tgt_id, const std::string& grp_id,
                      const std::string& fic_id) {
  return SetFCHold("HoldFC", tgt_id, grp_id, fic_id, "1", &QVSourceEvents::FCHold);
}

bool QVSource::ReleaseFC(const std::string& tgt_id, const std::string& grp_id,
                         const std::string& fic_id) {
  return SetFCHold("ReleaseFC", tgt_id, grp_id, fic_id, "0", &QVSourceEvents::FCRelease);
}

bool QVSource::LoadRepriseFC(const std::string& tgt_id, const std::string& grp_id,
                             const std::string& fic_id) {
  return Guard("LoadRepriseFC", [&] {
    Record stored(Fc());
    const Lookup found = ReadFC(sel_.env, tgt_id, grp_id, fic_id, true, stored);
    if (!Present(found, "2024", fic_id, grp_id)) return false;
    if (IsAS400()) {
      stored.Set("REPRISETYP", "C");
      stored.Set("REPRISEPNT", "0000000000");
      return ChangeRecord(
          Change::Update, files_.QV_FC, stored.image(),
          BuildKey(layout::DistributedTableKey, {sel_.env, tgt_id, grp_id, fic_id}));
    }
    return RunStatement(ResetRecoveryPointSql(prefix_, sel_.env, tgt_id, grp_id, fic_id));
  });
}

bool QVSource::DistributeTables(const Record& gc) {
  const std::string env(gc.Get("ENVID")), tgt(gc.Get("TGTID")), grp(gc.Get("GRPID"));
  std::vector<Record> tables;
  if (!ReadBlocks("DistributeFC", "QV_FX_L0", Fx(), KeyFromCodes(layout::ModelKey, {env, grp}),
                  ListTablesOfModelSql(prefix_, env, grp), tables))
    return false;
  if (tables.empty()) return true;
  // Tables the distribution already holds stay as they are.
  std::vector<Record> present;
  if (!ReadBlocks("DistributeFC", "QV_FC_L0", layout::DistributedTableKey,
                  KeyFromCodes(layout::DistributionKey, {env, tgt, grp}),
                  ListTablesOfDistributionSql(prefix_, env, tgt, grp), present))
    return false;
  std::set<std::string, std::less<>> distributed;
  for (const Record& k : present) distributed.emplace(k.Get("FICID"));
  Step("DistributeFC:AddFC");
  for (const Record& fx : tables) {
    if (distributed.contains(fx.Get("FICID"))) continue;
    Record fc = DefaultDistributedTable(fx, env, tgt, grp);
    if (!WriteNewFC(fc)) return false;
    // The joined record is the one just written beside its model table.
    RaiseFCWritten(true, JoinDistributedTable(fc, fx), gc);
  }
  Step("DistributeFC");
  return true;
}

bool QVSource::DistributeFC(const std::string& tgt_id, const std::string& grp_id) {
  return Guard("DistributeFC", [&] {
    auto fail = [&] {
      if (errorStep_.rfind("DistributeFC", 0) != 0) errorStep_ = "DistributeFC:" + errorStep_;
      return false;
    };
    // NT: the four reads run one after the other on one statement.
    CascadeFiles statements(*this);
    std::string option, manual;
    if (!MemberOptions(grp_id, option, manual)) return fail();
    Record gc(Gc());
    const Lookup found = ReadGC(sel_.env, tgt_id, grp_id, false, gc);
    if (!Present(found, "2026", grp_id, tgt_id)) return fail();
    return DistributeTables(gc) || fail();
  });
}

}  // namespace qv
