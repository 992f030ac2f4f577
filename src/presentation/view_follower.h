// Keep a shown topology tree, and shown lists, in step with the changes a control makes: a
// receiver of its change events that calls the tree's Add, Change and Delete
// procedures for each change of the control's current environment.
//
//   platform::TreeView tv;
//   control.LoadTree(tv);
//   TreeFollower follow(control, tv);   // registers itself, unregisters when it goes
//   control.AddCible(record);           // the new target shows in tv
#pragma once

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

// Keeps shown lists of targets and models in step the same way, through
// their Add, Change, Delete and HoldRelease procedures.
class ListFollower : public QVSourceEvents {
 public:
  ListFollower(QVSource& control, platform::ListView& targets, platform::ListView& models);
  ~ListFollower() override;
  ListFollower(const ListFollower&) = delete;
  ListFollower& operator=(const ListFollower&) = delete;

  void CXadded(S& envId, S& tgtId, S& tgtType, S& sQV_CX) override;
  void CXupdated(S& envId, S& targetCode, S& tgtType, S& sQV_CX) override;
  void CXdeleted(S& envId, S& tgtId) override;
  void CXHold(S& envId, S& tgtId) override;
  void CXRelease(S& envId, S& tgtId) override;
  void GXadded(S& envId, S& grpId, S& grpType, S& sQV_GX) override;
  void GXupdated(S& envId, S& modelCode, S& grpType, S& sQV_GX) override;
  void GXdeleted(S& envId, S& grpId) override;

 private:
  bool Shown(const std::string& envId) const;

  QVSource& control_;
  platform::ListView& targets_;
  platform::ListView& models_;
};

}  // namespace qv
