// Keeps a shown topology tree in step with the control's change events.
#include "presentation/view_follower.h"

#include "platform/controls.h"
#include "presentation/strutil.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv {

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

ListFollower::ListFollower(QVSource& control, platform::ListView& targets, platform::ListView& models)
    : control_(control), targets_(targets), models_(models) {
  control_.AddEventSink(this);
}

ListFollower::~ListFollower() { control_.RemoveEventSink(this); }

bool ListFollower::Shown(const std::string& envId) const { return Trim(envId) == Trim(control_.env()); }

void ListFollower::CXadded(S& envId, S&, S&, S& sQV_CX) {
  if (Shown(envId)) control_.AddCibleInList(targets_, sQV_CX);
}

void ListFollower::CXupdated(S& envId, S& targetCode, S&, S& sQV_CX) {
  if (Shown(envId)) control_.ChangeCibleInList(targets_, targetCode, sQV_CX);
}

void ListFollower::CXdeleted(S& envId, S& tgtId) {
  if (Shown(envId)) control_.DeleteCibleInList(targets_, tgtId);
}

void ListFollower::CXHold(S& envId, S& tgtId) {
  if (Shown(envId)) control_.HoldReleaseCibleInList(targets_, tgtId, "1");
}

void ListFollower::CXRelease(S& envId, S& tgtId) {
  if (Shown(envId)) control_.HoldReleaseCibleInList(targets_, tgtId, "0");
}

void ListFollower::GXadded(S& envId, S&, S&, S& sQV_GX) {
  if (Shown(envId)) control_.AddGroupInList(models_, sQV_GX);
}

void ListFollower::GXupdated(S& envId, S& modelCode, S&, S& sQV_GX) {
  if (Shown(envId)) control_.ChangeGroupInList(models_, modelCode, sQV_GX);
}

void ListFollower::GXdeleted(S& envId, S& grpId) {
  if (Shown(envId)) control_.DeleteGroupInList(models_, grpId);
}

}  // namespace qv
