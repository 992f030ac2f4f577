// Change events of the configuration store: what the control tells its host
// after each successful change, so that trees and lists can follow without
// reading the store again.
#pragma once

#include <string>

namespace qv {

// Receives the control's change events. Each is raised once per item, only
// after the change it reports succeeded. Arguments are passed by reference,
// as the host's event handlers take them; every member does nothing by
// default, so a host overrides only what it shows.
class QVSourceEvents {
 public:
  virtual ~QVSourceEvents() = default;
  using S = std::string;

  virtual void EXupdated(S& envId, S& envType) { (void)envId, (void)envType; }
  virtual void EXadded(S& envId, S& envType) { (void)envId, (void)envType; }
  virtual void EXdeleted(S& envId) { (void)envId; }
  // targetCode is the code the change was asked under (the old code when the
  // change gives the target a new one).
  virtual void CXupdated(S& envId, S& targetCode, S& tgtType, S& sQV_CX) { (void)envId, (void)targetCode, (void)tgtType, (void)sQV_CX; }
  virtual void CXadded(S& envId, S& tgtId, S& tgtType, S& sQV_CX) { (void)envId, (void)tgtId, (void)tgtType, (void)sQV_CX; }
  virtual void CXdeleted(S& envId, S& tgtId) { (void)envId, (void)tgtId; }
  virtual void CXHold(S& envId, S& tgtId) { (void)envId, (void)tgtId; }
  virtual void CXRelease(S& envId, S& tgtId) { (void)envId, (void)tgtId; }
  virtual void GXupdated(S& envId, S& modelCode, S& grpType, S& sQV_GX) { (void)envId, (void)modelCode, (void)grpType, (void)sQV_GX; }
  virtual void GXadded(S& envId, S& grpId, S& grpType, S& sQV_GX) { (void)envId, (void)grpId, (void)grpType, (void)sQV_GX; }
  virtual void GXdeleted(S& envId, S& grpId) { (void)envId, (void)grpId; }
  // text1 and text2 name the table for display (see docs/architecture.md).
  virtual void FXupdated(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) { (void)envId, (void)modelCode, (void)ficId, (void)text1, (void)text2, (void)sQV_FX; }
  virtual void FXadded(S& envId, S& modelCode, S& ficId, S& text1, S& text2, S& sQV_FX) { (void)envId, (void)modelCode, (void)ficId, (void)text1, (void)text2, (void)sQV_FX; }
  virtual void FXdeleted(S& envId, S& grpId, S& ficId) { (void)envId, (void)grpId, (void)ficId; }
  virtual void FXHold(S& envId, S& grpId, S& ficId) { (void)envId, (void)grpId, (void)ficId; }
  virtual void FXRelease(S& envId, S& grpId, S& ficId) { (void)envId, (void)grpId, (void)ficId; }
  virtual void GCadded(S& envId, S& tgtId, S& grpId, S& text) { (void)envId, (void)tgtId, (void)grpId, (void)text; }
  virtual void GCupdated(S& envId, S& tgtId, S& grpId) { (void)envId, (void)tgtId, (void)grpId; }
  virtual void GCdeleted(S& envId, S& tgtId, S& grpId) { (void)envId, (void)tgtId, (void)grpId; }
  virtual void GCHold(S& envId, S& tgtId, S& grpId) { (void)envId, (void)tgtId, (void)grpId; }
  virtual void GCRelease(S& envId, S& tgtId, S& grpId) { (void)envId, (void)tgtId, (void)grpId; }
  virtual void FCadded(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) { (void)envId, (void)tgtId, (void)grpId, (void)ficId, (void)text1, (void)text2, (void)text3; }
  virtual void FCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S& text1, S& text2, S& text3) { (void)envId, (void)tgtId, (void)grpId, (void)ficId, (void)text1, (void)text2, (void)text3; }
  virtual void FCdeleted(S& envId, S& tgtId, S& grpId, S& ficId) { (void)envId, (void)tgtId, (void)grpId, (void)ficId; }
  virtual void FCHold(S& envId, S& tgtId, S& grpId, S& ficId) { (void)envId, (void)tgtId, (void)grpId, (void)ficId; }
  virtual void FCRelease(S& envId, S& tgtId, S& grpId, S& ficId) { (void)envId, (void)tgtId, (void)grpId, (void)ficId; }
  virtual void ZXupdated(S& envId, S& modelCode, S& ficId, S& fieldName, S& sQV_ZX) { (void)envId, (void)modelCode, (void)ficId, (void)fieldName, (void)sQV_ZX; }
  virtual void ZCupdated(S& envId, S& tgtId, S& grpId, S& ficId, S& fieldInput, S& fieldOut) { (void)envId, (void)tgtId, (void)grpId, (void)ficId, (void)fieldInput, (void)fieldOut; }
};

}  // namespace qv
