// List views: the targets, distributions, models, tables, fields and field
// mappings of the current environment in list views, kept in step after
// changes; and the plain selection lists of the selection dialogs.
#include <set>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/list_rows.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "presentation/tree_nodes.h"
#include "store/distribution_statements.h"
#include "store/environment_statements.h"
#include "store/model_statements.h"
#include "store/record_layouts.h"
#include "store/record_rules.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace qv {

using platform::ListView;

namespace {

// Clears lv and sets its columns in report view.
void Prepare(ListView& lv, const std::vector<const char*>& ids) {
  lv.Clear();
  lv.ClearColumns();
  lv.SetView(ListView::kReport);
  for (const char* id : ids) lv.AddColumn(cLoadResString(id));
}

// Adds the row, or rewrites the row of its key.
void Show(ListView& lv, const lists::Row& row) {
  platform::ListItem* item = lv.Find(row.key);
  if (item == nullptr) item = &lv.Add(row.key, row.text, row.icon, row.icon);
  item->text = row.text;
  item->icon = item->smallIcon = row.icon;
  for (std::size_t i = 0; i < row.cells.size(); ++i) item->SetSubItem(static_cast<int>(i + 1), row.cells[i]);
}

void RemoveKey(ListView& lv, const std::string& key) {
  if (lv.Find(key) != nullptr) lv.Remove(key);
}

// Rewrites the hold column and the icon of the row of key.
void SetHold(ListView& lv, const std::string& key, int cell, std::string_view hold, std::string_view state = "") {
  platform::ListItem* item = lv.Find(key);
  if (item == nullptr) return;
  item->SetSubItem(cell, lists::FlagText(hold));
  item->icon = item->smallIcon = lists::Icon(hold, state);
}

}  // namespace

// ---- Targets ------------------------------------------------------------------------------

bool QVSource::ReadTargets(const char* step, std::vector<Record>& out) {
  return ReadBlocks(step, "QV_CX_L0", layout::QV_CX, KeyFromCodes(layout::EnvKey, {sel_.env}),
                    ListTargetsOfEnvironmentSql(prefix_, sel_.env), out);
}

bool QVSource::ReadModels(const char* step, std::vector<Record>& out) {
  return ReadBlocks(step, "QV_GX_L0", layout::QV_GX, KeyFromCodes(layout::EnvKey, {sel_.env}),
                    ListModelsOfEnvironmentSql(prefix_, sel_.env), out);
}

bool QVSource::ReadModelTables(const char* step, const std::string& grp, std::vector<Record>& out) {
  return ReadBlocks(step, "QV_FX_L0", layout::QV_FX, KeyFromCodes(layout::ModelKey, {sel_.env, grp}),
                    ListTablesOfModelSql(prefix_, sel_.env, grp), out);
}

bool QVSource::LoadCibleInList(ListView& lv) {
  return Guard("LoadCibleInList", [&] {
    Prepare(lv, lists::TargetColumns());
    std::vector<Record> records;
    const bool ok = ReadTargets("LoadCibleInList", records);
    for (const Record& cx : records) Show(lv, lists::TargetRow(cx));
    return ok;
  });
}

bool QVSource::AddCibleInList(ListView& lv, const std::string& sQV_CX) {
  return Guard("AddCibleInList", [&] {
    Show(lv, lists::TargetRow(Record(layout::QV_CX, sQV_CX)));
    return true;
  });
}

bool QVSource::ChangeCibleInList(ListView& lv, const std::string& tgt_id, const std::string& sQV_CX) {
  return Guard("ChangeCibleInList", [&] {
    const lists::Row row = lists::TargetRow(Record(layout::QV_CX, sQV_CX));
    if (row.key != tree::TargetKey(tgt_id)) RemoveKey(lv, tree::TargetKey(tgt_id));
    Show(lv, row);
    return true;
  });
}

bool QVSource::DeleteCibleInList(ListView& lv, const std::string& tgt_id) {
  return Guard("DeleteCibleInList", [&] {
    RemoveKey(lv, tree::TargetKey(tgt_id));
    return true;
  });
}

bool QVSource::HoldReleaseCibleInList(ListView& lv, const std::string& tgt_id, const std::string& hold) {
  return Guard("HoldReleaseCibleInList", [&] {
    SetHold(lv, tree::TargetKey(tgt_id), lists::TargetHoldCell(), hold);
    return true;
  });
}

// ---- Distributions of a target --------------------------------------------------------------

bool QVSource::LoadGCInList(ListView& lv, const std::string& tgt_id) {
  return Guard("LoadGCInList", [&] {
    Prepare(lv, lists::DistributionColumns());
    std::vector<Record> records;
    const bool ok = ReadBlocks(
        "LoadGCInList", "QV_GX_GC_0", layout::DistributionWithModel, KeyFromCodes(layout::TargetKey, {sel_.env, tgt_id}),
        ListDistributionsOfTargetWithModelSql(JoinDialectOf(sourceType_), prefix_, sel_.env, tgt_id), records);
    for (const Record& r : records) Show(lv, lists::DistributionRow(r));
    return ok;
  });
}

bool QVSource::AddGCInList(ListView& lv, const std::string& sQV_GX_GC_1) {
  return Guard("AddGCInList", [&] {
    Show(lv, lists::DistributionRow(Record(layout::DistributionWithModel, sQV_GX_GC_1)));
    return true;
  });
}

bool QVSource::ChangeGCInList(ListView& lv, const std::string& sQV_GX_GC_1) {
  return Guard("ChangeGCInList", [&] {
    Show(lv, lists::DistributionRow(Record(layout::DistributionWithModel, sQV_GX_GC_1)));
    return true;
  });
}

bool QVSource::DeleteGCInList(ListView& lv, const std::string& tgt_id, const std::string& grp_id) {
  return Guard("DeleteGCInList", [&] {
    RemoveKey(lv, tree::DistributionKey(tgt_id, grp_id));
    return true;
  });
}

bool QVSource::HoldReleaseGCInList(ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                                   const std::string& hold, const std::string& state) {
  return Guard("HoldReleaseGCInList", [&] {
    SetHold(lv, tree::DistributionKey(tgt_id, grp_id), lists::DistributionHoldCell(), hold, state);
    return true;
  });
}

// ---- Models ------------------------------------------------------------------------------

bool QVSource::LoadGroupInList(ListView& lv) {
  return Guard("LoadGroupInList", [&] {
    Prepare(lv, lists::ModelColumns());
    std::vector<Record> records;
    const bool ok = ReadModels("LoadGroupInList", records);
    for (const Record& gx : records) Show(lv, lists::ModelRow(gx));
    return ok;
  });
}

bool QVSource::AddGroupInList(ListView& lv, const std::string& sQV_GX) {
  return Guard("AddGroupInList", [&] {
    Show(lv, lists::ModelRow(Record(layout::QV_GX, sQV_GX)));
    return true;
  });
}

bool QVSource::ChangeGroupInList(ListView& lv, const std::string& grp_id, const std::string& sQV_GX) {
  return Guard("ChangeGroupInList", [&] {
    const lists::Row row = lists::ModelRow(Record(layout::QV_GX, sQV_GX));
    if (row.key != tree::ModelKey(grp_id)) RemoveKey(lv, tree::ModelKey(grp_id));
    Show(lv, row);
    return true;
  });
}

bool QVSource::DeleteGroupInList(ListView& lv, const std::string& grp_id) {
  return Guard("DeleteGroupInList", [&] {
    RemoveKey(lv, tree::ModelKey(grp_id));
    return true;
  });
}

// ---- Distributed tables -------------------------------------------------------------------

bool QVSource::LoadFCInList(ListView& lv, const std::string& tgt_id, const std::string& grp_id) {
  return Guard("LoadFCInList", [&] {
    Prepare(lv, lists::DistributedTableColumns());
    std::vector<Record> records;
    const bool ok = ReadBlocks(
        "LoadFCInList", "QV_FC_FX", layout::DistributedTableWithModelTable,
        KeyFromCodes(layout::DistributionKey, {sel_.env, tgt_id, grp_id}),
        ListTablesOfDistributionWithModelSql(JoinDialectOf(sourceType_), prefix_, sel_.env, tgt_id, grp_id), records);
    for (const Record& r : records) Show(lv, lists::DistributedTableRow(r, IsAS400()));
    return ok;
  });
}

bool QVSource::AddFCInList(ListView& lv, const std::string& sQV_FC_FXU) {
  return Guard("AddFCInList", [&] {
    Show(lv, lists::DistributedTableRow(Record(layout::DistributedTableWithModelTable, sQV_FC_FXU), IsAS400()));
    return true;
  });
}

bool QVSource::ChangeFCInList(ListView& lv, const std::string& sQV_FC_FXU) {
  return Guard("ChangeFCInList", [&] {
    Show(lv, lists::DistributedTableRow(Record(layout::DistributedTableWithModelTable, sQV_FC_FXU), IsAS400()));
    return true;
  });
}

bool QVSource::DeleteFCInList(ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                              const std::string& fic_id) {
  return Guard("DeleteFCInList", [&] {
    RemoveKey(lv, tree::DistributedTableKey(tgt_id, grp_id, fic_id));
    return true;
  });
}

bool QVSource::HoldReleaseFCInList(ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                                   const std::string& fic_id, const std::string& hold) {
  return Guard("HoldReleaseFCInList", [&] {
    SetHold(lv, tree::DistributedTableKey(tgt_id, grp_id, fic_id), lists::DistributedTableHoldCell(), hold);
    return true;
  });
}

// ---- Model tables ------------------------------------------------------------------------

bool QVSource::LoadFileInList(ListView& lv, const std::string& grp_id) {
  return Guard("LoadFileInList", [&] {
    Prepare(lv, lists::ModelTableColumns());
    std::vector<Record> records;
    const bool ok = ReadModelTables("LoadFileInList", grp_id, records);
    for (const Record& fx : records) Show(lv, lists::ModelTableRow(fx, IsAS400()));
    return ok;
  });
}

bool QVSource::AddFileInList(ListView& lv, const std::string& sQV_FX) {
  return Guard("AddFileInList", [&] {
    Show(lv, lists::ModelTableRow(Record(layout::QV_FX, sQV_FX), IsAS400()));
    return true;
  });
}

bool QVSource::ChangeFileInList(ListView& lv, const std::string& sQV_FX) {
  return Guard("ChangeFileInList", [&] {
    Show(lv, lists::ModelTableRow(Record(layout::QV_FX, sQV_FX), IsAS400()));
    return true;
  });
}

bool QVSource::DeleteFileInList(ListView& lv, const std::string& grp_id, const std::string& fic_id) {
  return Guard("DeleteFileInList", [&] {
    RemoveKey(lv, tree::ModelTableKey(grp_id, fic_id));
    return true;
  });
}

bool QVSource::HoldReleaseFXInList(ListView& lv, const std::string& grp_id, const std::string& fic_id,
                                   const std::string& hold) {
  return Guard("HoldReleaseFXInList", [&] {
    SetHold(lv, tree::ModelTableKey(grp_id, fic_id), lists::ModelTableHoldCell(), hold);
    return true;
  });
}

// ---- Fields and mappings -----------------------------------------------------------------

bool QVSource::ReadFields(const char* step, const std::string& grp, const std::string& fic,
                          std::vector<Record>& out) {
  return ReadBlocks(step, "QV_ZX_L0", layout::QV_ZX, KeyFromCodes(layout::ModelTableKey, {sel_.env, grp, fic}),
                    ListFieldsOfTableSql(prefix_, sel_.env, grp, fic), out);
}

bool QVSource::LoadZXInList(ListView& lv, const std::string& grp_id, const std::string& fic_id) {
  return Guard("LoadZXInList", [&] {
    Prepare(lv, lists::FieldColumns());
    std::vector<Record> records;
    const bool ok = ReadFields("LoadZXInList", grp_id, fic_id, records);
    for (const Record& zx : records) Show(lv, lists::FieldRow(zx));
    return ok;
  });
}

bool QVSource::AddZXInList(ListView& lv, const std::string& sQV_ZX) {
  return Guard("AddZXInList", [&] {
    Show(lv, lists::FieldRow(Record(layout::QV_ZX, sQV_ZX)));
    return true;
  });
}

bool QVSource::ChangeZXInList(ListView& lv, const std::string& sQV_ZX) {
  return Guard("ChangeZXInList", [&] {
    Show(lv, lists::FieldRow(Record(layout::QV_ZX, sQV_ZX)));
    return true;
  });
}

bool QVSource::DeleteZXInList(ListView& lv, const std::string& FieldInput) {
  return Guard("DeleteZXInList", [&] {
    RemoveKey(lv, "ZONE_" + Trim(FieldInput));
    return true;
  });
}

bool QVSource::LoadZX_ZC_InList(ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                                const std::string& fic_id) {
  return Guard("LoadZX_ZC_InList", [&] {
    Prepare(lv, lists::MappingColumns());
    std::vector<Record> fields, mappings;
    if (!ReadFields("LoadZX_ZC_InList", grp_id, fic_id, fields)) return false;
    if (!ReadBlocks("LoadZX_ZC_InList", "QV_ZC_L0", layout::QV_ZC,
                    KeyFromCodes(layout::DistributedTableKey, {sel_.env, tgt_id, grp_id, fic_id}),
                    SqlSelect(prefix_, SqlKey(layout::QV_ZC, {sel_.env, tgt_id, grp_id, fic_id})), mappings))
      return false;
    for (const Record& zx : fields) {
      std::string out;
      for (const Record& zc : mappings)
        if (zc.Get("FIELDINPUT") == zx.Get("FIELDINPUT")) out = std::string(zc.Get("FIELDOUT"));
      Show(lv, lists::MappingRow(zx, out));
    }
    return true;
  });
}

bool QVSource::AddZX_ZC_InList(ListView& lv, const std::string& sQV_ZX, const std::string& FieldOutput) {
  return Guard("AddZX_ZC_InList", [&] {
    Show(lv, lists::MappingRow(Record(layout::QV_ZX, sQV_ZX), FieldOutput));
    return true;
  });
}

// ---- Selection lists ----------------------------------------------------------------------

bool QVSource::FillCibleNonDistList(platform::ListBox& list, const std::string& grp_id) {
  return Guard("FillCibleNonDistList", [&] {
    list.Clear();
    std::vector<Record> targets, distributions;
    if (!ReadTargets("FillCibleNonDistList", targets)) return false;
    if (!ReadBlocks("FillCibleNonDistList", "QV_GC_L0", layout::DistributionKey,
                    KeyFromCodes(layout::ModelKey, {sel_.env, grp_id}),
                    ListDistributionsOfModelSql(prefix_, sel_.env, grp_id), distributions))
      return false;
    std::set<std::string> taken;
    for (const Record& gc : distributions) taken.insert(Trim(gc.Get("TGTID")));
    for (const Record& cx : targets)
      if (taken.count(Trim(cx.Get("TGTID"))) == 0) list.AddItem(std::string(cx.Get("TGTID")) + " " + Trim(cx.Get("DESCRIP")));
    return true;
  });
}

bool QVSource::FillGroupNonDistList(platform::ListBox& list, const std::string& tgt_id) {
  return Guard("FillGroupNonDistList", [&] {
    list.Clear();
    std::vector<Record> models, distributions;
    if (!ReadModels("FillGroupNonDistList", models)) return false;
    if (!ReadBlocks("FillGroupNonDistList", "QV_GC_L1", layout::DistributionKey,
                    KeyFromCodes(layout::TargetKey, {sel_.env, tgt_id}),
                    ListDistributionsOfTargetSql(prefix_, sel_.env, tgt_id), distributions))
      return false;
    std::set<std::string> taken;
    for (const Record& gc : distributions) taken.insert(Trim(gc.Get("GRPID")));
    for (const Record& gx : models)
      if (taken.count(Trim(gx.Get("GRPID"))) == 0) list.AddItem(std::string(gx.Get("GRPID")) + " " + Trim(gx.Get("DESCRIP")));
    return true;
  });
}

bool QVSource::FillFXList(platform::ListBox& list, const std::string& grp_id) {
  return Guard("FillFXList", [&] {
    list.Clear();
    std::vector<Record> tables;
    if (!ReadModelTables("FillFXList", grp_id, tables)) return false;
    for (const Record& fx : tables)
      list.AddItem(std::string(fx.Get("FICID")) + " " + SourceTableLabel(fx.Get("SRCTBL"), IsAS400()));
    return true;
  });
}

bool QVSource::FillFXnoFCList(platform::ListBox& list, const std::string& tgt_id, const std::string& grp_id) {
  return Guard("FillFXnoFCList", [&] {
    list.Clear();
    std::vector<Record> tables, distributed;
    if (!ReadModelTables("FillFXnoFCList", grp_id, tables)) return false;
    if (!ReadBlocks("FillFXnoFCList", "QV_FC_L0", layout::DistributedTableKey,
                    KeyFromCodes(layout::DistributionKey, {sel_.env, tgt_id, grp_id}),
                    ListTablesOfDistributionSql(prefix_, sel_.env, tgt_id, grp_id), distributed))
      return false;
    std::set<std::string> taken;
    for (const Record& fc : distributed) taken.insert(Trim(fc.Get("FICID")));
    for (const Record& fx : tables)
      if (taken.count(Trim(fx.Get("FICID"))) == 0)
        list.AddItem(std::string(fx.Get("FICID")) + " " + SourceTableLabel(fx.Get("SRCTBL"), IsAS400()));
    return true;
  });
}

}  // namespace qv
