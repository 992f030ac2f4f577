// Keeps a shown topology tree and shown lists in step with the control's change events.
#include "presentation/view_follower.h"

#include "platform/controls.h"
#include "presentation/strutil.h"
#include "presentation/tree_nodes.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv {

using platform::ListView;

TreeFollower::TreeFollower(QVSource& control, platform::TreeView& tv) : control_(control), tv_(tv) {
  control_.AddEventSink(this);
}

TreeFollower::~TreeFollower() { control_.RemoveEventSink(this); }

bool TreeFollower::Shown(const std::string& envId) const { return Trim(envId) == Trim(control_.env()); }

void TreeFollower::CXadded(S& envId, S& tgtId, S& tgtType, S& sQV_CX) {
  if (!Shown(envId)) return;
  platform::TreeNode* node = nullptr;
  control_.AddCibleInTree(tv_, node, tgtId, tgtType, std::string(Record(layout::QV_CX, sQV_CX).Get("DESCRIP")));
}

void TreeFollower::CXupdated(S& envId, S& targetCode, S& tgtType, S& sQV_CX) {
  if (!Shown(envId)) return;
  const Record cx(layout::QV_CX, sQV_CX);
  const std::string description(cx.Get("DESCRIP"));
  if (Trim(cx.Get("TGTID")) == Trim(targetCode)) {
    control_.ChangeCibleInTree(tv_, targetCode, tgtType, description);
    return;
  }
  // A new code: the target shows under it, its distributions to be loaded again.
  control_.DeleteCibleInTree(tv_, targetCode);
  platform::TreeNode* node = nullptr;
  control_.AddCibleInTree(tv_, node, std::string(cx.Get("TGTID")), tgtType, description);
}

void TreeFollower::CXdeleted(S& envId, S& tgtId) {
  if (Shown(envId)) control_.DeleteCibleInTree(tv_, tgtId);
}

void TreeFollower::GXadded(S& envId, S& grpId, S& grpType, S& sQV_GX) {
  if (!Shown(envId)) return;
  platform::TreeNode* node = nullptr;
  control_.AddGroupInTree(tv_, node, grpId, grpType, std::string(Record(layout::QV_GX, sQV_GX).Get("DESCRIP")));
}

void TreeFollower::GXupdated(S& envId, S& modelCode, S& grpType, S& sQV_GX) {
  if (!Shown(envId)) return;
  const Record gx(layout::QV_GX, sQV_GX);
  control_.ChangeGroupInTree(tv_, modelCode, grpType, std::string(gx.Get("DESCRIP")));
}

void TreeFollower::GXdeleted(S& envId, S& grpId) {
  if (Shown(envId)) control_.DeleteGroupInTree(tv_, grpId);
}

void TreeFollower::FXadded(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S&) {
  if (Shown(envId)) control_.AddFileInTree(tv_, modelCode, ficId, text1, text2);
}

void TreeFollower::FXupdated(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S&) {
  if (Shown(envId)) control_.ChangeFileInTree(tv_, modelCode, ficId, text1, text2);
}

void TreeFollower::FXdeleted(S& envId, S& grpId, S& ficId) {
  if (Shown(envId)) control_.DeleteFileInTree(tv_, grpId, ficId);
}

void TreeFollower::GCadded(S& envId, S& tgtId, S& grpId, S& text) {
  if (!Shown(envId)) return;
  const Record joined(layout::DistributionWithModel, text);
  platform::TreeNode* node = nullptr;
  control_.AddGCInTree(tv_, node, tgtId, grpId, std::string(joined.Get("GRPTYPE")),
                       std::string(joined.Get("DESCRIP")));
}

void TreeFollower::GCdeleted(S& envId, S& tgtId, S& grpId) {
  if (Shown(envId)) control_.DeleteGCInTree(tv_, tgtId, grpId);
}

void TreeFollower::FCadded(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S&) {
  if (Shown(envId)) control_.AddFCInTree(tv_, tgtId, grpId, ficId, text1, text2);
}

void TreeFollower::FCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S&) {
  if (Shown(envId)) control_.ChangeAllFCInTree(tv_, grpId, ficId, text1, text2);
  (void)tgtId;
}

void TreeFollower::FCdeleted(S& envId, S& tgtId, S& grpId, S& ficId) {
  if (Shown(envId)) control_.DeleteFCInTree(tv_, tgtId, grpId, ficId);
}

ListFollower::ListFollower(QVSource& control) : control_(control) { control_.AddEventSink(this); }

ListFollower::~ListFollower() { control_.RemoveEventSink(this); }

void ListFollower::Targets(ListView& lv) { lists_[kTargets] = {&lv, {}}; }
void ListFollower::Models(ListView& lv) { lists_[kModels] = {&lv, {}}; }
void ListFollower::Distributions(ListView& lv, const std::string& tgt_id) {
  lists_[kDistributions] = {&lv, {Trim(tgt_id)}};
}
void ListFollower::DistributedTables(ListView& lv, const std::string& tgt_id, const std::string& grp_id) {
  lists_[kDistributedTables] = {&lv, {Trim(tgt_id), Trim(grp_id)}};
}
void ListFollower::ModelTables(ListView& lv, const std::string& grp_id) {
  lists_[kModelTables] = {&lv, {Trim(grp_id)}};
}
void ListFollower::Fields(ListView& lv, const std::string& grp_id, const std::string& fic_id) {
  lists_[kFields] = {&lv, {Trim(grp_id), Trim(fic_id)}};
}

ListView* ListFollower::Shown(List list, const std::string& envId,
                              std::initializer_list<std::string_view> codes) const {
  const Followed& f = lists_[list];
  if (f.lv == nullptr || Trim(envId) != Trim(control_.env())) return nullptr;
  std::size_t i = 0;
  for (std::string_view code : codes) {
    if (!code.empty() && i < f.codes.size() && Trim(code) != f.codes[i]) return nullptr;
    ++i;
  }
  return f.lv;
}

void ListFollower::ShowDistribution(ListView& lv, const std::string& tgt, const std::string& grp,
                                    bool added) {
  if (!added && lv.Find(tree::DistributionKey(tgt, grp)) == nullptr) return;
  std::string joined;
  if (control_.DetailGC_GX_GC_1(joined, tgt, grp)) control_.ChangeGCInList(lv, joined);
}

void ListFollower::ShowDistributedTable(ListView& lv, const std::string& tgt, const std::string& grp,
                                        const std::string& fic, bool added) {
  if (!added && lv.Find(tree::DistributedTableKey(tgt, grp, fic)) == nullptr) return;
  std::string fc, joined, option, manual;
  if (!control_.DetailFC(fc, tgt, grp, fic, joined, option, manual)) return;
  if (added) control_.AddFCInList(lv, joined);
  else control_.ChangeFCInList(lv, joined);
}

// ---- Targets and models ----------------------------------------------------------------------

void ListFollower::CXadded(S& envId, S&, S&, S& sQV_CX) {
  if (ListView* lv = Shown(kTargets, envId, {})) control_.AddCibleInList(*lv, sQV_CX);
}

void ListFollower::CXupdated(S& envId, S& targetCode, S&, S& sQV_CX) {
  if (ListView* lv = Shown(kTargets, envId, {})) control_.ChangeCibleInList(*lv, targetCode, sQV_CX);
}

void ListFollower::CXdeleted(S& envId, S& tgtId) {
  if (ListView* lv = Shown(kTargets, envId, {})) control_.DeleteCibleInList(*lv, tgtId);
}

void ListFollower::CXHold(S& envId, S& tgtId) {
  if (ListView* lv = Shown(kTargets, envId, {})) control_.HoldReleaseCibleInList(*lv, tgtId, "1");
}

void ListFollower::CXRelease(S& envId, S& tgtId) {
  if (ListView* lv = Shown(kTargets, envId, {})) control_.HoldReleaseCibleInList(*lv, tgtId, "0");
}

void ListFollower::GXadded(S& envId, S&, S&, S& sQV_GX) {
  if (ListView* lv = Shown(kModels, envId, {})) control_.AddGroupInList(*lv, sQV_GX);
}

void ListFollower::GXupdated(S& envId, S& modelCode, S&, S& sQV_GX) {
  if (ListView* lv = Shown(kModels, envId, {})) control_.ChangeGroupInList(*lv, modelCode, sQV_GX);
  // A distribution shows its model's settings; under a new code the model
  // has no distribution left.
  ListView* dists = Shown(kDistributions, envId, {});
  if (dists == nullptr) return;
  const std::string& tgt = lists_[kDistributions].codes[0];
  if (Trim(Record(layout::QV_GX, sQV_GX).Get("GRPID")) == Trim(modelCode))
    ShowDistribution(*dists, tgt, modelCode, false);
  else
    control_.DeleteGCInList(*dists, tgt, modelCode);
}

void ListFollower::GXdeleted(S& envId, S& grpId) {
  if (ListView* lv = Shown(kModels, envId, {})) control_.DeleteGroupInList(*lv, grpId);
}

// ---- Model tables and their fields -----------------------------------------------------------

void ListFollower::FXadded(S& envId, S& modelCode, S& ficId, S&, S&, S& sQV_FX) {
  if (ListView* lv = Shown(kModelTables, envId, {modelCode})) control_.AddFileInList(*lv, sQV_FX);
  if (ListView* lv = Shown(kFields, envId, {modelCode, ficId})) control_.LoadZXInList(*lv, modelCode, ficId);
}

void ListFollower::FXupdated(S& envId, S& modelCode, S& ficId, S&, S&, S& sQV_FX) {
  if (ListView* lv = Shown(kModelTables, envId, {modelCode})) control_.ChangeFileInList(*lv, sQV_FX);
  if (ListView* lv = Shown(kDistributedTables, envId, {"", modelCode}))
    ShowDistributedTable(*lv, lists_[kDistributedTables].codes[0], modelCode, ficId, false);
  if (ListView* lv = Shown(kFields, envId, {modelCode, ficId})) control_.LoadZXInList(*lv, modelCode, ficId);
}

void ListFollower::FXdeleted(S& envId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kModelTables, envId, {grpId})) control_.DeleteFileInList(*lv, grpId, ficId);
  if (ListView* lv = Shown(kFields, envId, {grpId, ficId})) {
    // The fields went with their table, without events of their own.
    std::vector<std::string> names;
    for (int i = 1; i <= lv->Count(); ++i) names.push_back(lv->Item(i).SubItem(1));
    for (const std::string& name : names) control_.DeleteZXInList(*lv, name);
  }
}

void ListFollower::FXHold(S& envId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kModelTables, envId, {grpId})) control_.HoldReleaseFXInList(*lv, grpId, ficId, "1");
}

void ListFollower::FXRelease(S& envId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kModelTables, envId, {grpId})) control_.HoldReleaseFXInList(*lv, grpId, ficId, "0");
}

void ListFollower::ZXupdated(S& envId, S& modelCode, S& ficId, S&, S& sQV_ZX) {
  if (ListView* lv = Shown(kFields, envId, {modelCode, ficId})) control_.ChangeZXInList(*lv, sQV_ZX);
}

// ---- Distributions and distributed tables ----------------------------------------------------

void ListFollower::GCadded(S& envId, S& tgtId, S&, S& text) {
  if (ListView* lv = Shown(kDistributions, envId, {tgtId})) control_.AddGCInList(*lv, text);
}

void ListFollower::GCupdated(S& envId, S& tgtId, S& grpId) {
  if (ListView* lv = Shown(kDistributions, envId, {tgtId})) ShowDistribution(*lv, tgtId, grpId, false);
}

void ListFollower::GCdeleted(S& envId, S& tgtId, S& grpId) {
  if (ListView* lv = Shown(kDistributions, envId, {tgtId})) control_.DeleteGCInList(*lv, tgtId, grpId);
}

void ListFollower::GCHold(S& envId, S& tgtId, S& grpId) {
  if (ListView* lv = Shown(kDistributions, envId, {tgtId})) control_.HoldReleaseGCInList(*lv, tgtId, grpId, "1", "");
}

void ListFollower::GCRelease(S& envId, S& tgtId, S& grpId) {
  if (ListView* lv = Shown(kDistributions, envId, {tgtId})) control_.HoldReleaseGCInList(*lv, tgtId, grpId, "0", "");
}

void ListFollower::FCadded(S& envId, S& tgtId, S& grpId, S& ficId, S&, S&, S&) {
  if (ListView* lv = Shown(kDistributedTables, envId, {tgtId, grpId}))
    ShowDistributedTable(*lv, tgtId, grpId, ficId, true);
}

void ListFollower::FCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S&, S&, S&) {
  if (ListView* lv = Shown(kDistributedTables, envId, {tgtId, grpId}))
    ShowDistributedTable(*lv, tgtId, grpId, ficId, false);
}

void ListFollower::FCdeleted(S& envId, S& tgtId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kDistributedTables, envId, {tgtId, grpId}))
    control_.DeleteFCInList(*lv, tgtId, grpId, ficId);
}

void ListFollower::FCHold(S& envId, S& tgtId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kDistributedTables, envId, {tgtId, grpId}))
    control_.HoldReleaseFCInList(*lv, tgtId, grpId, ficId, "1");
}

void ListFollower::FCRelease(S& envId, S& tgtId, S& grpId, S& ficId) {
  if (ListView* lv = Shown(kDistributedTables, envId, {tgtId, grpId}))
    control_.HoldReleaseFCInList(*lv, tgtId, grpId, ficId, "0");
}

}  // namespace qv
