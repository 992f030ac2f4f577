// Keeps a shown topology tree, and shown lists, in step with the changes a
// control makes: receivers of its change events that call the Add, Change and
// Delete procedures of the tree and the lists for each change of the
// control's current environment.
//
//   platform::TreeView tv;
//   control.LoadTree(tv);
//   TreeFollower follow(control, tv);   // registers itself, unregisters when it goes
//   control.AddCible(record);           // the new target shows in tv
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "connection/qvsource.h"
#include "store/change_events.h"

namespace qv {

namespace platform {
class TreeView;
class ListView;
}

class TreeFollower : public QVSourceEvents {
 public:
  TreeFollower(QVSource& control, platform::TreeView& tv);
  ~TreeFollower() override;
  TreeFollower(const TreeFollower&) = delete;
  TreeFollower& operator=(const TreeFollower&) = delete;

  void CXadded(S& envId, S& tgtId, S& tgtType, S& sQV_CX) override;
  void CXupdated(S& envId, S& targetCode, S& tgtType, S& sQV_CX) override;
  void CXdeleted(S& envId, S& tgtId) override;
  void GXadded(S& envId, S& grpId, S& grpType, S& sQV_GX) override;
  void GXupdated(S& envId, S& modelCode, S& grpType, S& sQV_GX) override;
  void GXdeleted(S& envId, S& grpId) override;
  void FXadded(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) override;
  void FXupdated(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) override;
  void FXdeleted(S& envId, S& grpId, S& ficId) override;
  void GCadded(S& envId, S& tgtId, S& grpId, S& text) override;
  void GCdeleted(S& envId, S& tgtId, S& grpId) override;
  void FCadded(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) override;
  void FCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) override;
  void FCdeleted(S& envId, S& tgtId, S& grpId, S& ficId) override;

 private:
  // Tells whether an event concerns the environment the tree shows.
  bool Shown(const std::string& envId) const;

  QVSource& control_;
  platform::TreeView& tv_;
};

// Keeps shown lists in step the same way, through their Add, Change, Delete
// and HoldRelease procedures. Give it each list with what its Load procedure
// was asked for; lists it was not given are left alone.
//
//   control.LoadGCInList(dists, "T01");
//   ListFollower follow(control);
//   follow.Distributions(dists, "T01");
//   control.HoldGC(control.env(), "T01", "M1");   // the row shows held
//
// What the events do not carry is read back through the control: a changed
// distribution (DetailGC_GX_GC_1), an added or changed distributed table
// (DetailFC), and the fields of a model table that is added or changed
// (LoadZXInList: fields added or removed with their table raise no event of
// their own). Rows of distributions show the icon of their hold flag alone,
// as a load shows them.
class ListFollower : public QVSourceEvents {
 public:
  explicit ListFollower(QVSource& control);
  ~ListFollower() override;
  ListFollower(const ListFollower&) = delete;
  ListFollower& operator=(const ListFollower&) = delete;

  // Follow lv as LoadCibleInList, LoadGroupInList, LoadGCInList,
  // LoadFCInList, LoadFileInList or LoadZXInList filled it with these codes.
  void Targets(platform::ListView& lv);
  void Models(platform::ListView& lv);
  void Distributions(platform::ListView& lv, const std::string& tgt_id);
  void DistributedTables(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id);
  void ModelTables(platform::ListView& lv, const std::string& grp_id);
  void Fields(platform::ListView& lv, const std::string& grp_id, const std::string& fic_id);

  void CXadded(S& envId, S& tgtId, S& tgtType, S& sQV_CX) override;
  void CXupdated(S& envId, S& targetCode, S& tgtType, S& sQV_CX) override;
  void CXdeleted(S& envId, S& tgtId) override;
  void CXHold(S& envId, S& tgtId) override;
  void CXRelease(S& envId, S& tgtId) override;
  void GXadded(S& envId, S& grpId, S& grpType, S& sQV_GX) override;
  void GXupdated(S& envId, S& modelCode, S& grpType, S& sQV_GX) override;
  void GXdeleted(S& envId, S& grpId) override;
  void FXadded(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) override;
  void FXupdated(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) override;
  void FXdeleted(S& envId, S& grpId, S& ficId) override;
  void FXHold(S& envId, S& grpId, S& ficId) override;
  void FXRelease(S& envId, S& grpId, S& ficId) override;
  void GCadded(S& envId, S& tgtId, S& grpId, S& text) override;
  void GCupdated(S& envId, S& tgtId, S& grpId) override;
  void GCdeleted(S& envId, S& tgtId, S& grpId) override;
  void GCHold(S& envId, S& tgtId, S& grpId) override;
  void GCRelease(S& envId, S& tgtId, S& grpId) override;
  void FCadded(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) override;
  void FCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) override;
  void FCdeleted(S& envId, S& tgtId, S& grpId, S& ficId) override;
  void FCHold(S& envId, S& tgtId, S& grpId, S& ficId) override;
  void FCRelease(S& envId, S& tgtId, S& grpId, S& ficId) override;
  void ZXupdated(S& envId, S& modelCode, S& ficId, S& fieldName, S& sQV_ZX) override;

 private:
  enum List { kTargets, kModels, kDistributions, kDistributedTables, kModelTables, kFields, kLists };
  // A list followed and the codes its load was given, trimmed.
  struct Followed {
    platform::ListView* lv = nullptr;
    std::vector<std::string> codes;
  };

  // Returns the list when it is followed, the event concerns the shown
  // environment and codes (compared trimmed, in the order the list was
  // given them; an empty one matches any) are those of the list.
  platform::ListView* Shown(List list, const std::string& envId,
                           std::initializer_list<std::string_view> codes) const;
  // Show the row of a distribution or distributed table as stored now;
  // added shows it even when the list has no row for it yet.
  void ShowDistribution(platform::ListView& lv, const std::string& tgt, const std::string& grp, bool added);
  void ShowDistributedTable(platform::ListView& lv, const std::string& tgt, const std::string& grp,
                            const std::string& fic, bool added);

  QVSource& control_;
  Followed lists_[kLists];
};

}  // namespace qv
