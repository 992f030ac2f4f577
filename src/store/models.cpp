// Models, model tables and fields: reads, adds, changes, deletes, hold and
// release of QV_GX, QV_FX, QV_ZX and QV_ZC records, the member options of a
// model and the numbering of its tables.
#include <algorithm>
#include <stdexcept>

#include "connection/qvsource.h"
#include "store/environment_statements.h"
#include "store/model_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {
namespace {

const Layout& Gx() { return layout::QV_GX; }
const Layout& Fx() { return layout::QV_FX; }
const Layout& Zx() { return layout::QV_ZX; }
const Layout& Zc() { return layout::QV_ZC; }

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

// ---- Reads ------------------------------------------------------------------------------

QVSource::Lookup QVSource::ReadGroup(const std::string& grp_id, bool lock, Record& rec) {
  std::string buf(Gx().length, ' ');
  const Lookup found = ReadItem(files_.QV_GX, KeyFromCodes(layout::ModelKey, {sel_.env, grp_id}),
                                lock, SelectModelSql(prefix_, sel_.env, grp_id), buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

QVSource::Lookup QVSource::ReadFile(const std::string& grp_id, const std::string& fic_id, bool lock,
                                    Record& rec) {
  std::string buf(Fx().length, ' ');
  const Lookup found =
      ReadItem(files_.QV_FX, KeyFromCodes(layout::ModelTableKey, {sel_.env, grp_id, fic_id}), lock,
               SelectModelTableSql(prefix_, sel_.env, grp_id, fic_id), buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

QVSource::Lookup QVSource::ReadZX(const std::string& grp_id, const std::string& fic_id,
                                  const std::string& field, bool lock, Record& rec) {
  std::string buf(Zx().length, ' ');
  const Lookup found =
      ReadItem(files_.QV_ZX, KeyFromCodes(layout::FieldKey, {sel_.env, grp_id, fic_id, field}),
               lock, SelectFieldSql(prefix_, sel_.env, grp_id, fic_id, field), buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

QVSource::Lookup QVSource::ReadZC(const std::string& tgt_id, const std::string& grp_id,
                                  const std::string& fic_id, const std::string& field,
                                  Record& rec) {
  std::string buf(Zc().length, ' ');
  const Lookup found = ReadItem(
      files_.QV_ZC, KeyFromCodes(layout::MappingKey, {sel_.env, tgt_id, grp_id, fic_id, field}),
      true, SelectMappingSql(prefix_, sel_.env, tgt_id, grp_id, fic_id, field), buf);
  if (found == Lookup::Found) rec.Assign(buf);
  return found;
}

// ---- Models ------------------------------------------------------------------------------

bool QVSource::GroupExist(const std::string& grp_id) {
  return Guard("GroupExist", [&] {
    Record gx(Gx());
    return ReadGroup(grp_id, false, gx) == Lookup::Found;
  });
}

bool QVSource::DetailGroup(std::string& sQV_GX, const std::string& grp_id) {
  return Guard("DetailGroup", [&] {
    Record gx(Gx());
    Lookup found = Lookup::Failed;
    if (IsAS400() || inChangeUnit_) {
      found = ReadGroup(grp_id, false, gx);
    } else {
      // NT: the read stands in a unit of its own (2 before, 3 after).
      if (Src().SetConnectOption(DllParam::kOptionBeginChange) == 0) {
        QVParamError();
        return false;
      }
      found = ReadGroup(grp_id, false, gx);
      Src().SetConnectOption(DllParam::kOptionEndRead);
    }
    Step("DetailGroup");
    if (!Present(found, "2023", grp_id)) return false;
    sQV_GX = gx.image();
    return true;
  });
}

bool QVSource::GroupType(std::string& GrpType, const std::string& grp_id) {
  return Guard("GroupType", [&] {
    std::string rec;
    if (!DetailGroup(rec, grp_id)) {
      Step("GroupType");
      return false;
    }
    Step("GroupType");
    GrpType = std::string(Record(Gx(), rec).Get("GRPTYPE"));
    return true;
  });
}

bool QVSource::AddGroup(std::string& sQV_GX) {
  return Guard("AddGroup", [&] {
    Record gx = RecordFromString(Gx(), sQV_GX);
    if (IsAS400()) {
      if (!ChangeRecord(Change::Write, files_.QV_GX, gx.image())) return false;
    } else {
      gx.Set("FREQUENCY", "000000");
      if (!RunStatement(InsertModelSql(prefix_, gx))) return false;
    }
    sQV_GX = gx.image();
    Raise(&QVSourceEvents::GXadded, gx.Get("ENVID"), gx.Get("GRPID"), gx.Get("GRPTYPE"),
          gx.image());
    return true;
  });
}

bool QVSource::ChangeGroup(std::string& sQV_GX, const std::string& grp_id) {
  return Guard("ChangeGroup", [&] {
    Record gx = RecordFromString(Gx(), sQV_GX);
    Record stored(Gx());
    const Lookup found = ReadGroup(grp_id, true, stored);
    Step("ChangeGroup");
    if (!Present(found, "2023", grp_id)) return false;
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_GX, gx.image(),
                        BuildKey(layout::ModelKey, {sel_.env, grp_id})))
        return false;
    } else if (!RunStatement(UpdateModelSql(prefix_, gx, sel_.env, grp_id))) {
      return false;
    }
    // The model's options may have changed: the next question reads them again.
    memberOptionsOf_.clear();
    sQV_GX = gx.image();
    Raise(&QVSourceEvents::GXupdated, gx.Get("ENVID"), GrpCode(grp_id), gx.Get("GRPTYPE"),
          gx.image());
    return true;
  });
}

bool QVSource::DeleteGroup(const std::string& grp_id) {
  return Guard("DeleteGroup", [&] {
    return InChangeUnit([&] {
      Record stored(Gx());
      const Lookup found = ReadGroup(grp_id, true, stored);
      Step("DeleteGroup");
      if (!Present(found, "2023", grp_id)) return false;
      const std::string env = EnvCode(sel_.env), grp = GrpCode(grp_id);
      // A running distribution keeps the whole model: it is asked before
      // anything is deleted, then tables go before distributions.
      if (!ModelDistributionsIdle("DeleteGroup", env, grp) || !DeleteFXforGX(env, grp) ||
          !DeleteGCforGX(env, grp)) {
        if (IsAS400()) ReleaseLock(files_.QV_GX, Gx().length, env + grp);
        return false;
      }
      Step("DeleteGroup");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_GX)) return false;
      } else if (!RunStatement(DeleteModelSql(prefix_, env, grp))) {
        return false;
      }
      memberOptionsOf_.clear();
      Raise(&QVSourceEvents::GXdeleted, env, grp);
      return true;
    });
  });
}

bool QVSource::CompAllMbrDist(const std::string& grp_id, std::string& AllMbrDist,
                              std::string& ManDistri) {
  return Guard("CompAllMbrDist", [&] { return MemberOptions(grp_id, AllMbrDist, ManDistri); });
}

// ---- Model tables ----------------------------------------------------------------------

bool QVSource::NextFicID(const std::string& grp_id, int64_t& next) {
  return Guard("NextFicID", [&] {
    std::vector<Record> tables;
    if (!ReadBlocks("NextFicID", "QV_FX_L0", Fx(),
                    KeyFromCodes(layout::ModelKey, {sel_.env, grp_id}),
                    ListTablesOfModelSql(prefix_, sel_.env, grp_id), tables))
      return false;
    int64_t top = 0;
    for (const Record& t : tables) top = std::max(top, TableNumber(t.Get("FICID")));
    if (top >= kMaxTableNumber)
      throw std::overflow_error("no table number left in model " + grp_id);
    next = top + 1;
    return true;
  });
}

bool QVSource::FileExist(const std::string&, const std::string&, const std::string& grp_id,
                         const std::string& fic_id) {
  return Guard("FileExist", [&] {
    Record fx(Fx());
    return ReadFile(grp_id, fic_id, false, fx) == Lookup::Found;
  });
}

bool QVSource::DetailFile(std::string& sQV_FX, const std::string& grp_id, const std::string& fic_id,
                          std::string& AllMbrDist, std::string& ManDistri) {
  return Guard("DetailFile", [&] {
    Record fx(Fx());
    const Lookup found = ReadFile(grp_id, fic_id, false, fx);
    if (!Present(found, "2024", fic_id, grp_id)) return false;
    if (!MemberOptions(grp_id, AllMbrDist, ManDistri)) return false;
    sQV_FX = fx.image();
    return true;
  });
}

bool QVSource::ChangeFile(std::string& sQV_FX, const std::string& grp_id,
                          const std::string& fic_id) {
  return Guard("ChangeFile", [&] {
    Record fx = RecordFromString(Fx(), sQV_FX);
    std::string option, manual;
    if (!MemberOptions(grp_id, option, manual)) return false;
    Record stored(Fx());
    const Lookup found = ReadFile(grp_id, fic_id, true, stored);
    Step("ChangeFile");
    if (!Present(found, "2024", fic_id, grp_id)) return false;
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_FX, fx.image(),
                        BuildKey(layout::ModelTableKey, {sel_.env, grp_id, fic_id})))
        return false;
    } else if (!RunStatement(UpdateModelTableSql(prefix_, fx, sel_.env, grp_id, fic_id))) {
      return false;
    }
    sQV_FX = fx.image();
    const ModelTableTexts texts = ModelTableEventTexts(fx, IsAS400());
    Raise(&QVSourceEvents::FXupdated, fx.Get("ENVID"), GrpCode(grp_id), fx.Get("FICID"),
          texts.label, texts.description, fx.image());
    return true;
  });
}

bool QVSource::DeleteFile(const std::string& grp_id, const std::string& fic_id) {
  return Guard("DeleteFile", [&] {
    return InChangeUnit([&] {
      Record stored(Fx());
      const Lookup found = ReadFile(grp_id, fic_id, true, stored);
      Step("DeleteFile");
      if (!Present(found, "2024", fic_id, grp_id)) return false;
      const std::string env = EnvCode(sel_.env), grp = GrpCode(grp_id), fic = FicCode(fic_id);
      // Each step runs only when the one before it succeeded; its failure
      // is reported under "DeleteFile:" and its own step.
      auto stepOk = [&](bool ok) {
        if (!ok) errorStep_ = "DeleteFile:" + errorStep_;
        return ok;
      };
      if (!stepOk(DeleteFCforFX(env, grp, fic)) || !stepOk(DeleteTXforFX(env, grp, fic)) ||
          !stepOk(DeleteZXforFX(env, grp, fic))) {
        if (IsAS400()) ReleaseLock(files_.QV_FX, Fx().length, env + grp + fic);
        return false;
      }
      Step("DeleteFile");
      if (IsAS400()) {
        if (!ChangeRecord(Change::Delete, files_.QV_FX)) return false;
      } else if (!RunStatement(DeleteModelTableSql(prefix_, env, grp, fic))) {
        return false;
      }
      Raise(&QVSourceEvents::FXdeleted, env, grp, fic);
      return true;
    });
  });
}

bool QVSource::SetFXHold(const char* step, const std::string& grp_id, const std::string& fic_id,
                         const char* flag) {
  Record stored(Fx());
  const Lookup found = ReadFile(grp_id, fic_id, true, stored);
  Step(step);
  if (!Present(found, "2024", fic_id, grp_id)) return false;
  if (IsAS400()) {
    stored.Set("HOLD", flag);
    return ChangeRecord(Change::Update, files_.QV_FX, stored.image(),
                        BuildKey(layout::ModelTableKey, {sel_.env, grp_id, fic_id}));
  }
  return RunStatement(HoldModelTableSql(prefix_, flag, sel_.env, grp_id, fic_id));
}

bool QVSource::HoldTable(const std::string& grp_id, const std::string& fic_id) {
  return Guard("HoldTable", [&] {
    if (!SetFXHold("HoldTable", grp_id, fic_id, "1")) return false;
    Raise(&QVSourceEvents::FXHold, EnvCode(sel_.env), GrpCode(grp_id), FicCode(fic_id));
    return true;
  });
}

bool QVSource::ReleaseTable(const std::string& grp_id, const std::string& fic_id) {
  return Guard("ReleaseTable", [&] {
    if (!SetFXHold("ReleaseTable", grp_id, fic_id, "0")) return false;
    Raise(&QVSourceEvents::FXRelease, EnvCode(sel_.env), GrpCode(grp_id), FicCode(fic_id));
    return true;
  });
}

// ---- Fields and field mappings ------------------------------------------------------------

bool QVSource::DetailZX(std::string& sQV_ZX, const std::string& grp_id, const std::string& fic_id,
                        const std::string& FieldInput) {
  return Guard("DetailZX", [&] {
    Record zx(Zx());
    const Lookup found = ReadZX(grp_id, fic_id, FieldInput, false, zx);
    if (!Present(found, "2025", FieldInput, fic_id, grp_id)) return false;
    sQV_ZX = zx.image();
    return true;
  });
}

bool QVSource::ChangeZX(std::string& sQV_ZX, const std::string& grp_id, const std::string& fic_id,
                        const std::string& FieldInput) {
  return Guard("ChangeZX", [&] {
    Record zx = RecordFromString(Zx(), sQV_ZX);
    Record stored(Zx());
    const Lookup found = ReadZX(grp_id, fic_id, FieldInput, true, stored);
    Step("ChangeZX");
    if (!Present(found, "2025", FieldInput, fic_id, grp_id)) return false;
    if (IsAS400()) {
      if (!ChangeRecord(Change::Update, files_.QV_ZX, zx.image(),
                        BuildKey(layout::FieldKey, {sel_.env, grp_id, fic_id, FieldInput})))
        return false;
    } else if (!RunStatement(UpdateFieldSql(prefix_, zx, sel_.env, grp_id, fic_id, FieldInput))) {
      return false;
    }
    sQV_ZX = zx.image();
    Raise(&QVSourceEvents::ZXupdated, zx.Get("ENVID"), GrpCode(grp_id), zx.Get("FICID"),
          zx.Get("FIELDINPUT"), zx.image());
    return true;
  });
}

bool QVSource::ChangeZC(const std::string& grp_id, const std::string& tgt_id,
                        const std::string& fic_id, const std::string& FieldInput,
                        const std::string& FieldOutput) {
  return Guard("ChangeZC", [&] {
    Record stored(Zc());
    const Lookup found = ReadZC(tgt_id, grp_id, fic_id, FieldInput, stored);
    Step("ChangeZC");
    if (found == Lookup::Failed) return false;
    const bool mapped = found == Lookup::Found;
    const std::string env = EnvCode(sel_.env), tgt = TgtCode(tgt_id), grp = GrpCode(grp_id),
                      fic = FicCode(fic_id), field = FieldCode(FieldInput);
    if (IsBlank(FieldOutput)) {
      if (!mapped) return true;
      if (IsAS400()) {
        return ChangeRecord(Change::Delete, files_.QV_ZC, stored.image(),
                            env + tgt + grp + fic + field);
      }
      return RunStatement(DeleteMappingSql(prefix_, env, tgt, grp, fic, field));
    }
    // A new mapping is written under its codes cut to their fields: codes
    // that do not fit would store it under another field's key.
    if (!KeyFromCodes(layout::MappingKey, {sel_.env, tgt_id, grp_id, fic_id, FieldInput}).names)
      throw std::invalid_argument("a code longer than its field names no mapping");
    Record zc(Zc());
    zc.Set("ENVID", env);
    zc.Set("TGTID", tgt);
    zc.Set("GRPID", grp);
    zc.Set("FICID", fic);
    zc.Set("FIELDINPUT", field);
    zc.Set("FIELDOUT", FieldOutput);
    if (IsAS400()) {
      if (!(mapped ? ChangeRecord(Change::Update, files_.QV_ZC, zc.image(),
                                  env + tgt + grp + fic + field)
                   : ChangeRecord(Change::Write, files_.QV_ZC, zc.image())))
        return false;
    } else if (!RunStatement(mapped ? UpdateMappingSql(prefix_, zc, env, tgt, grp, fic, field)
                                    : InsertMappingSql(prefix_, zc))) {
      return false;
    }
    Raise(&QVSourceEvents::ZCupdated, env, tgt, grp, fic, field, zc.Get("FIELDOUT"));
    return true;
  });
}

}  // namespace qv
