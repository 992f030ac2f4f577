// Cascading deletes: the children of an environment, target, model,
// distribution, model table, distributed table or field, with everything
// below them, and the deleted event of each child removed.
#include <algorithm>

#include "connection/qvsource.h"
#include "operations/engine_text.h"
#include "store/cascade_files.h"
#include "store/environment_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {

// One parent-child pair of the walk: where the children are read from, how
// each one is deleted and what comes before and after.
struct QVSource::CascadeLevel {
  const char* step;                 // ErrorStep of the walk ("DeleteCXforEX")
  const char* logical;              // AS/400: update-mode logical file of the children
  const Layout* record;             // AS/400: the record that file gives
  ItemKey key;                      // the parent key (AS/400: its image)
  std::string listSql;              // NT: the statement that lists the children
  const Layout* row;                // NT: the row that statement gives
  // Deletes what hangs below one child; false stops the walk.
  std::function<bool(const Record&)> before;
  // NT: the statement that deletes one child.
  std::function<std::string(const Record&)> deleteSql;
  // Runs once the child is deleted: raises its event.
  std::function<void(const Record&)> after;
};

namespace {

std::string F(const Record& r, const char* field) { return std::string(r.Get(field)); }

}  // namespace


// Walks the children of one parent and deletes each, in the order read:
//   AS/400: Ropen(logical, update) unless the cascade has it open; repeat
//           Rreadk(locked, parent key), before(child), Rdelete, after(child)
//           until nothing is found; Rclose when the change ends
//   NT:     Sread(listing) on a statement the cascade keeps; for each row
//           before(child), DELETE ..., after(child), Snext; the statements
//           are closed when the change, or the outermost walk, ends
// A parent key whose codes name no item has no children: nothing is read.
bool QVSource::WalkChildren(const CascadeLevel& level) {
  const std::string step = level.step;
  Step(step);
  if (!level.key.names) return true;
  bool ok = true;
  if (IsAS400()) {
    CascadeFiles files(*this);
    int32_t h = -1;
    if (!files.Open(level.logical, h, step)) return false;
    Step(step);
    for (;;) {
      std::string rec(level.record->length, ' ');
      const Lookup found = ReadKeyed(h, level.key.image, true, rec);
      if (found != Lookup::Found) {
        ok = found == Lookup::Missing;
        break;
      }
      const Record child(*level.record, rec);
      if (level.before && !level.before(child)) {
        ok = false;
        break;
      }
      Step(step);
      if (!ChangeRecord(Change::Delete, h)) {
        ok = false;
        break;
      }
      level.after(child);
      Step(step);
    }
    return ok;
  }

  CascadeFiles statements(*this);
  int32_t h = FreshStatement();
  std::string row(level.row->length, ' ');
  int32_t len = 0;
  lastStatement_ = level.listSql;
  if (Src().Sread(h, row, len, level.listSql, DllParam::kFirstRow) == 0) {
    ok = AfterMiss() == Lookup::Missing;
  } else {
    for (;;) {
      const Record child(*level.row,
                         std::string_view(row).substr(0, static_cast<std::size_t>(std::max(len, 0))));
      if (level.before && !level.before(child)) {
        ok = false;
        break;
      }
      Step(step);
      if (!RunStatement(level.deleteSql(child))) {
        ok = false;
        break;
      }
      level.after(child);
      Step(step);
      row.assign(level.row->length, ' ');
      int32_t flag = 0;
      if (Src().Snext(h, row, len, flag) == 0) {
        ok = AfterMiss() == Lookup::Missing;
        break;
      }
      if (flag == 0) break;
    }
  }
  ReleaseStatement(h);
  return ok;
}

// Deletes the leaves of one parent:
//   AS/400: Ropen(logical, update) unless the cascade has it open; repeat
//           Rreadk(locked, key prefix), Rdelete until nothing is found
//   NT:     one DELETE statement
bool QVSource::DeleteLeaves(const char* logical, std::size_t recordLength, const ItemKey& key,
                            const std::string& sql) {
  if (!key.names) return true;
  if (!IsAS400()) return RunStatement(sql);
  const std::string step = errorStep_;
  CascadeFiles files(*this);
  int32_t h = -1;
  if (!files.Open(logical, h, step)) return false;
  Step(step);
  bool ok = true;
  for (;;) {
    std::string rec(recordLength, ' ');
    const Lookup found = ReadKeyed(h, key.image, true, rec);
    if (found != Lookup::Found) {
      ok = found == Lookup::Missing;
      break;
    }
    if (!ChangeRecord(Change::Delete, h)) {
      ok = false;
      break;
    }
  }
  return ok;
}

void QVSource::DeleteUserSpaces(std::string_view env, std::string_view tgt, std::string_view grp) {
  // The codes as the job name writes them: "E1", "T1_", "M1_".
  DeleteUsrSpc(NormalizeId(env, layout::kEnvIdWidth), NormalizeId(tgt, layout::kTgtIdWidth),
               NormalizeId(grp, layout::kGrpIdWidth));
}

// ---- Children with children of their own ---------------------------------------------

bool QVSource::DeleteCXforEX(const std::string& env) {
  return Guard("DeleteCXforEX", [&] {
    return WalkChildren(CascadeLevel{
        "DeleteCXforEX", "QV_CX_L0", &layout::QV_CX, KeyFromCodes(layout::EnvKey, {env}),
        ListTargetsOfEnvironmentSql(prefix_, env), &layout::QV_CX,
        [&](const Record& c) { return DeleteGCforCX(F(c, "ENVID"), F(c, "TGTID")); },
        [&](const Record& c) { return DeleteTargetSql(prefix_, c.Get("ENVID"), c.Get("TGTID")); },
        [&](const Record& c) { Raise(&QVSourceEvents::CXdeleted, c.Get("ENVID"), c.Get("TGTID")); }});
  });
}

bool QVSource::DeleteGXforEX(const std::string& env) {
  return Guard("DeleteGXforEX", [&] {
    return WalkChildren(CascadeLevel{
        "DeleteGXforEX", "QV_GX_L0", &layout::QV_GX, KeyFromCodes(layout::EnvKey, {env}),
        ListModelsOfEnvironmentSql(prefix_, env), &layout::QV_GX,
        [&](const Record& g) { return DeleteFXforGX(F(g, "ENVID"), F(g, "GRPID")); },
        [&](const Record& g) { return DeleteModelSql(prefix_, g.Get("ENVID"), g.Get("GRPID")); },
        [&](const Record& g) { Raise(&QVSourceEvents::GXdeleted, g.Get("ENVID"), g.Get("GRPID")); }});
  });
}

bool QVSource::DeleteGCforCX(const std::string& env, const std::string& tgt) {
  return Guard("DeleteGCforCX", [&] {
    return WalkChildren(CascadeLevel{
        "DeleteGCforCX", "QV_GC_L1", &layout::DistributionKey,
        KeyFromCodes(layout::TargetKey, {env, tgt}),
        ListDistributionsOfTargetSql(prefix_, env, tgt), &layout::DistributionKey,
        [&](const Record& d) {
          const std::string e = F(d, "ENVID"), t = F(d, "TGTID"), g = F(d, "GRPID");
          return DistributionIdle("DeleteGCforCX", e, t, g) && DeleteENDforGC(e, t, g) &&
                 DeleteFCforGC(e, t, g);
        },
        [&](const Record& d) {
          return DeleteDistributionSql(prefix_, d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
        },
        [&](const Record& d) {
          DeleteUserSpaces(d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
          Raise(&QVSourceEvents::GCdeleted, d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
        }});
  });
}

bool QVSource::DeleteGCforGX(const std::string& env, const std::string& grp) {
  return Guard("DeleteGCforGX", [&] {
    return WalkChildren(CascadeLevel{
        "DeleteGCforGX", "QV_GC_L0", &layout::DistributionKey,
        KeyFromCodes(layout::ModelKey, {env, grp}),
        ListDistributionsOfModelSql(prefix_, env, grp), &layout::DistributionKey,
        [&](const Record& d) {
          // The model's tables, and with them the distributed tables, went
          // before; the end script of the distribution goes with it, so that
          // a later distribution of the same model to the same target does
          // not inherit it.
          const std::string e = F(d, "ENVID"), t = F(d, "TGTID"), g = F(d, "GRPID");
          return DistributionIdle("DeleteGCforGX", e, t, g) && DeleteENDforGC(e, t, g);
        },
        [&](const Record& d) {
          return DeleteDistributionSql(prefix_, d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
        },
        [&](const Record& d) {
          DeleteUserSpaces(d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
          Raise(&QVSourceEvents::GCdeleted, d.Get("ENVID"), d.Get("TGTID"), d.Get("GRPID"));
        }});
  });
}

bool QVSource::DeleteFXforGX(const std::string& env, const std::string& grp) {
  return Guard("DeleteFXforGX", [&] {
    return WalkChildren(CascadeLevel{
        "DeleteFXforGX", "QV_FX_L0", &layout::QV_FX, KeyFromCodes(layout::ModelKey, {env, grp}),
        ListTablesOfModelSql(prefix_, env, grp), &layout::QV_FX,
        [&](const Record& f) {
          const std::string e = F(f, "ENVID"), g = F(f, "GRPID"), t = F(f, "FICID");
          return DeleteTXforFX(e, g, t) && DeleteZXforFX(e, g, t) && DeleteFCforFX(e, g, t);
        },
        [&](const Record& f) {
          return DeleteModelTableSql(prefix_, f.Get("ENVID"), f.Get("GRPID"), f.Get("FICID"));
        },
        [&](const Record& f) {
          Raise(&QVSourceEvents::FXdeleted, f.Get("ENVID"), f.Get("GRPID"), f.Get("FICID"));
        }});
  });
}

// Deletes the distributed tables read through one parent, each after its
// field mappings, raising FCdeleted for each: the walk of both parents of
// QV_FC (a distribution, a model table).
bool QVSource::WalkDistributedTables(const char* step, const char* logical, const Layout& record,
                                     const ItemKey& key, std::string listSql) {
  return WalkChildren(CascadeLevel{
      step, logical, &record, key, std::move(listSql), &layout::DistributedTableKey,
      [&](const Record& c) {
        return DeleteZCforFC(F(c, "ENVID"), F(c, "TGTID"), F(c, "GRPID"), F(c, "FICID"));
      },
      [&](const Record& c) {
        return DeleteDistributedTableSql(prefix_, c.Get("ENVID"), c.Get("TGTID"), c.Get("GRPID"),
                                         c.Get("FICID"));
      },
      [&](const Record& c) {
        Raise(&QVSourceEvents::FCdeleted, c.Get("ENVID"), c.Get("TGTID"), c.Get("GRPID"),
              c.Get("FICID"));
      }});
}

bool QVSource::DeleteFCforGC(const std::string& env, const std::string& tgt, const std::string& grp) {
  return Guard("DeleteFCforGC", [&] {
    return WalkDistributedTables("DeleteFCforGC", "QV_FC_L0", layout::DistributedTableKey,
                                 KeyFromCodes(layout::DistributionKey, {env, tgt, grp}),
                                 ListTablesOfDistributionSql(prefix_, env, tgt, grp));
  });
}

bool QVSource::DeleteFCforFX(const std::string& env, const std::string& grp, const std::string& fic) {
  return Guard("DeleteFCforFX", [&] {
    return WalkDistributedTables("DeleteFCforFX", "QV_FC_L1", layout::DistributedTableShort,
                                 KeyFromCodes(layout::ModelTableKey, {env, grp, fic}),
                                 ListDistributedTablesOfTableSql(prefix_, env, grp, fic));
  });
}

// ---- Leaves ---------------------------------------------------------------------------
// The lines of programs and end scripts are read by the key without its
// place (LIEU), so the lines of every place go, as the NT statements do.

bool QVSource::DeleteENDforGC(const std::string& env, const std::string& tgt, const std::string& grp) {
  return Guard("DeleteENDforGC", [&] {
    return DeleteLeaves("QV_END_L0", layout::QV_END.length,
                        KeyFromCodes(layout::DistributionKey, {env, tgt, grp}),
                        DeleteEndScriptSql(prefix_, env, tgt, grp));
  });
}

bool QVSource::DeleteTXforFX(const std::string& env, const std::string& grp, const std::string& fic) {
  return Guard("DeleteTXforFX", [&] {
    return DeleteLeaves("QV_TX_L0", layout::QV_TX.length,
                        KeyFromCodes(layout::ModelTableKey, {env, grp, fic}),
                        DeleteProgramSql(prefix_, env, grp, fic));
  });
}

bool QVSource::DeleteZXforFX(const std::string& env, const std::string& grp, const std::string& fic) {
  return Guard("DeleteZXforFX", [&] {
    return DeleteLeaves("QV_ZX_L0", layout::QV_ZX.length,
                        KeyFromCodes(layout::ModelTableKey, {env, grp, fic}),
                        DeleteFieldsSql(prefix_, env, grp, fic));
  });
}

bool QVSource::DeleteZCforFC(const std::string& env, const std::string& tgt, const std::string& grp,
                             const std::string& fic) {
  return Guard("DeleteZCforFC", [&] {
    return DeleteLeaves("QV_ZC_L0", layout::QV_ZC.length,
                        KeyFromCodes(layout::DistributedTableKey, {env, tgt, grp, fic}),
                        DeleteMappingsOfDistributedTableSql(prefix_, env, tgt, grp, fic));
  });
}

bool QVSource::DeleteZCforZX(const std::string& env, const std::string& grp, const std::string& fic,
                             const std::string& field) {
  return Guard("DeleteZCforZX", [&] {
    return DeleteLeaves("QV_ZC_L1", layout::QV_ZC.length,
                        KeyFromCodes(layout::FieldKey, {env, grp, fic, field}),
                        DeleteMappingsOfFieldSql(prefix_, env, grp, fic, field));
  });
}

}  // namespace qv
