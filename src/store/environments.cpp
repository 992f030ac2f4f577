// Environments and targets: the environment list, reads, adds, changes,
// deletes, hold and release of QV_EX and QV_CX records, target positions.
#include <algorithm>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "store/environment_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {
namespace {

const Layout& Ex() { return layout::QV_EX; }
const Layout& Cx() { return layout::QV_CX; }

}  // namespace

// ---- Reads ------------------------------------------------------------------------------

QVSource::Lookup QVSource::ReadEnvironment(const std::string& env_id, std::string& rec) {
  rec.assign(Ex().length, ' ');
  return ReadItem(files_.QV_EX, KeyFromCodes(layout::EnvKey, {env_id}), false,
                  SelectEnvironmentSql(prefix_, env_id), rec);
}

QVSource::Lookup QVSource::SelectEnvironment(const std::string& env_id, std::string& rec) {
  rec.assign(Ex().length, ' ');
  return ReadItem(files_.QV_EX, KeyFromCodes(layout::EnvKey, {env_id}), true,
                  SelectEnvironmentSql(prefix_, env_id), rec);
}

QVSource::Lookup QVSource::ReadCible(const std::string& tgt_id, std::string& rec) {
  rec.assign(Cx().length, ' ');
  return ReadItem(files_.QV_CX, KeyFromCodes(layout::TargetKey, {sel_.env, tgt_id}), false,
                  SelectTargetSql(prefix_, sel_.env, tgt_id), rec);
}

QVSource::Lookup QVSource::SelectCible(const std::string& tgt_id, std::string& rec) {
  rec.assign(Cx().length, ' ');
  return ReadItem(files_.QV_CX, KeyFromCodes(layout::TargetKey, {sel_.env, tgt_id}), true,
                  SelectTargetSql(prefix_, sel_.env, tgt_id), rec);
}

// ---- Environments ------------------------------------------------------------------

bool QVSource::FillEnvironmentList(platform::ListBox& list) {
  return Guard("FillEnvironmentList", [&] {
    int32_t h = -1;
    if (!OpenFile("QV_EX_L0", DllParam::kModeRead, h, "FillEnvironmentList:Open QV_EX_L0"))
      return false;
    Step("FillEnvironmentList");
    const std::size_t width = layout::EnvListEntry.length;
    bool ok = true;
    std::string entry(width, ' ');
    int32_t len = 0;
    auto add = [&] {
      list.AddItem(FitText(
          std::string_view(entry).substr(0, static_cast<std::size_t>(std::max(len, 0))), width));
      entry.assign(width, ' ');
    };
    if (IsAS400()) {
      while (Src().Rreadn(h, entry, len, DllParam::kReadNoLock) != 0) add();
      ok = AfterMiss() == Lookup::Missing;
    } else {
      const std::string sql = EnvironmentListSql(prefix_);
      lastStatement_ = sql;
      if (Src().Sread(h, entry, len, sql, DllParam::kFirstRow) == 0) {
        ok = AfterMiss() == Lookup::Missing;
      } else {
        for (;;) {
          add();
          int32_t flag = 0;
          if (Src().Snext(h, entry, len, flag) == 0) {
            ok = AfterMiss() == Lookup::Missing;
            break;
          }
          if (flag == 0) break;
        }
      }
    }
    CloseFile(h);
    return ok;
  });
}

bool QVSource::EnvironmentExist(const std::string& env_id) {
  return Guard("EnvironmentExist", [&] {
    std::string rec;
    return ReadEnvironment(env_id, rec) == Lookup::Found;
  });
}

QVSource::Lookup QVSource::DetailEnvironmentRead(std::string& sQV_EX, const std::string& env_id) {
  std::string rec(Ex().length, ' ');
  const Lookup found = ReadItem(files_.QV_EX_ReadOnly, KeyFromCodes(layout::EnvKey, {env_id}),
                                false, SelectEnvironmentSql(prefix_, env_id), rec);
  if (Present(found, "2022", env_id)) sQV_EX = Record(Ex(), rec).image();
  return found;
}

bool QVSource::DetailEnvironment(std::string& sQV_EX, const std::string& env_id) {
  return Guard("DetailEnvironment",
               [&] { return DetailEnvironmentRead(sQV_EX, env_id) == Lookup::Found; });
}

bool QVSource::AddEnvironment(std::string& sQV_EX) {
  return Guard("AddEnvironment", [&] {
    Record r(Ex(), sQV_EX);
    if (IsAS400()) {
      if (!ChangeRecord(Change::Write, files_.QV_EX, r.image())) return false;
    } else {
      const std::string kind = NtSourceTypeCode(sourceType_);
      if (!kind.empty()) r.Set("SRCTYPE", kind);
      r.Set("FILLER", "");
      if (!RunStatement(InsertEnvironmentSql(prefix_, r))) return false;
    }
    sQV_EX = r.image();
    Raise(&QVSourceEvents::EXadded, r.Get("ENVID"), r.Get("ENVTYPE"));
    return true;
  });
}

bool QVSource::ChangeEnvironment(std::string& sQV_EX, const std::string& env_id) {
  return Guard("ChangeEnvironment", [&] {
    Record r(Ex(), sQV_EX);
    std::string stored;
    const Lookup found = SelectEnvironment(env_id, stored);
    Step("ChangeEnvironment");
    if (!Present(found, "2022", env_id)) return false;
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_EX, r.image(),
                        BuildKey(layout::EnvKey, {env_id})))
        return false;
    } else {
      // The NT statement keeps the stored key: the record as stored has it.
      r.Set("ENVID", EnvCode(env_id));
      if (!RunStatement(UpdateEnvironmentSql(prefix_, r, env_id))) return false;
    }
    sQV_EX = r.image();
    Raise(&QVSourceEvents::EXupdated, r.Get("ENVID"), r.Get("ENVTYPE"));
    return true;
  });
}

bool QVSource::DeleteEnvironment(const std::string& env_id) {
  return Guard("DeleteEnvironment", [&] {
    return InChangeUnit([&] {
      std::string stored;
      const Lookup found = SelectEnvironment(env_id, stored);
      Step("DeleteEnvironment");
      if (!Present(found, "2022", env_id)) return false;
      const std::string env = EnvCode(env_id);
      // The users go last: an environment that a running distribution keeps
      // alive keeps its users too.
      if (!DeleteCXforEX(env) || !DeleteGXforEX(env) || !DeleteUserEnv(env)) {
        if (IsAS400()) ReleaseLock(files_.QV_EX, Ex().length, env);
        return false;
      }
      Step("DeleteEnvironment");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_EX)) return false;
      } else if (!RunStatement(DeleteEnvironmentSql(prefix_, env))) {
        return false;
      }
      Raise(&QVSourceEvents::EXdeleted, env);
      return true;
    });
  });
}

// ---- Targets ------------------------------------------------------------------------

bool QVSource::CibleExist(const std::string& tgt_id) {
  return Guard("CibleExist", [&] {
    std::string rec;
    return ReadCible(tgt_id, rec) == Lookup::Found;
  });
}

bool QVSource::DetailCible(std::string& sQV_CX, const std::string& tgt_id) {
  return Guard("DetailCible", [&] {
    std::string rec;
    const Lookup found = ReadCible(tgt_id, rec);
    if (!Present(found, "2020", tgt_id)) return false;
    sQV_CX = Record(Cx(), rec).image();
    return true;
  });
}

bool QVSource::AddCible(std::string& sQV_CX) {
  return Guard("AddCible", [&] {
    Record r(Cx(), sQV_CX);
    if (IsAS400()) {
      if (!ChangeRecord(Change::Write, files_.QV_CX, r.image())) return false;
    } else {
      r.Set("FILLER", "");
      if (!RunStatement(InsertTargetSql(prefix_, r))) return false;
    }
    sQV_CX = r.image();
    Raise(&QVSourceEvents::CXadded, r.Get("ENVID"), r.Get("TGTID"), r.Get("TGTTYPE"), r.image());
    return true;
  });
}

bool QVSource::ChangeCible(std::string& sQV_CX, const std::string& tgt_id) {
  return Guard("ChangeCible", [&] {
    Record r(Cx(), sQV_CX);
    std::string stored;
    const Lookup found = SelectCible(tgt_id, stored);
    Step("ChangeCible");
    if (!Present(found, "2020", tgt_id)) return false;
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_CX, r.image(),
                        BuildKey(layout::TargetKey, {sel_.env, tgt_id})))
        return false;
    } else if (!RunStatement(UpdateTargetSql(prefix_, r, sel_.env, tgt_id))) {
      return false;
    }
    sQV_CX = r.image();
    Raise(&QVSourceEvents::CXupdated, r.Get("ENVID"), TgtCode(tgt_id), r.Get("TGTTYPE"), r.image());
    return true;
  });
}

bool QVSource::DeleteCible(const std::string& tgt_id) {
  return Guard("DeleteCible", [&] {
    return InChangeUnit([&] {
      std::string stored;
      const Lookup found = SelectCible(tgt_id, stored);
      Step("DeleteCible");
      if (!Present(found, "2020", tgt_id)) return false;
      const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id);
      if (!DeleteGCforCX(env, tgt)) {
        if (IsAS400()) ReleaseLock(files_.QV_CX, Cx().length, env + tgt);
        return false;
      }
      Step("DeleteCible");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_CX)) return false;
      } else if (!RunStatement(DeleteTargetSql(prefix_, env, tgt))) {
        return false;
      }
      Raise(&QVSourceEvents::CXdeleted, env, tgt);
      return true;
    });
  });
}

bool QVSource::SetTargetHold(const char* step, const std::string& tgt_id, const char* flag) {
  std::string stored;
  const Lookup found = SelectCible(tgt_id, stored);
  Step(step);
  if (!Present(found, "2020", tgt_id)) return false;
  if (IsAS400()) {
    Record r(Cx(), stored);
    r.Set("HOLD", flag);
    return ChangeRecord(Change::Update, files_.QV_CX, r.image(),
                        BuildKey(layout::TargetKey, {sel_.env, tgt_id}));
  }
  return RunStatement(HoldTargetSql(prefix_, flag, sel_.env, tgt_id));
}

bool QVSource::HoldCible(const std::string& tgt_id) {
  return Guard("HoldCible", [&] {
    if (!SetTargetHold("HoldCible", tgt_id, "1")) return false;
    Raise(&QVSourceEvents::CXHold, EnvCode(sel_.env), TgtCode(tgt_id));
    return true;
  });
}

bool QVSource::ReleaseCible(const std::string& tgt_id) {
  return Guard("ReleaseCible", [&] {
    if (!SetTargetHold("ReleaseCible", tgt_id, "0")) return false;
    Raise(&QVSourceEvents::CXRelease, EnvCode(sel_.env), TgtCode(tgt_id));
    return true;
  });
}

bool QVSource::CibleUpdatePos(const std::string& env_id, const std::string& tgt_id, float X,
                              float Y) {
  return Guard("CibleUpdatePos", [&] {
    const std::string x = PositionText(X), y = PositionText(Y);
    const ItemKey key = KeyFromCodes(layout::TargetKey, {env_id, tgt_id});
    // AS/400 reads the position record locked; on NT an UPDATE that finds no
    // row succeeds: the target is read first so that a missing one is
    // reported as on AS/400.
    std::string rec(IsAS400() ? layout::TargetPosition.length : Cx().length, ' ');
    const Lookup found =
        ReadItem(files_.QV_CX_XY, key, true, SelectTargetSql(prefix_, env_id, tgt_id), rec);
    if (!Present(found, "2020", tgt_id)) return false;
    if (!IsAS400()) return RunStatement(TargetPositionSql(prefix_, x, y, env_id, tgt_id));
    Record pos(layout::TargetPosition, rec);
    pos.Set("X", x);
    pos.Set("Y", y);
    return ChangeRecord(Change::Update, files_.QV_CX_XY, pos.image(), key.image);
  });
}

}  // namespace qv
