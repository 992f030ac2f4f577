// Record-access libraries built on another one, or on one generic path for
// every operation:
//
// - DllParamDispatch hands every operation, as a DllParamCall, to Perform();
//   a subclass writes what is the same for every operation once (the network
//   client sends it, a router picks the library that serves it) and overrides
//   the members that need more.
// - DllParamWrapper forwards every operation to a target library, calling
//   Around() with each; a subclass overrides Around() to act around every
//   call (count, trace, inject faults) and any member whose answer differs.
//
//   class Counting : public DllParamWrapper {
//     using DllParamWrapper::DllParamWrapper;
//     int32_t Around(const DllParamCall& call, dllparam::RunRef run) override {
//       ++calls[call.name()];
//       return run();
//     }
//   };
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connection/dllparam.h"
#include "connection/dllparam_call.h"

namespace qv {

class DllParamDispatch : public DllParam {
 public:
#define DLLPARAM_OP(Name, Code, Params, Args) \
  int32_t Name Params override { return Perform(DllParamCall::Of<DllParamOp::Name> Args); }
#include "connection/dllparam_ops.def"

 protected:
  // Runs one call of any operation.
  virtual int32_t Perform(const DllParamCall& call) = 0;
};

class DllParamWrapper : public DllParamDispatch {
 public:
  // Forwards to target, which must outlive the wrapper.
  explicit DllParamWrapper(DllParam& target) : target_(&target) {}
  // Forwards to target, which the wrapper then owns.
  explicit DllParamWrapper(std::unique_ptr<DllParam> target)
      : owned_(std::move(target)), target_(owned_.get()) {}
  DllParamWrapper(const DllParamWrapper&) = delete;
  DllParamWrapper& operator=(const DllParamWrapper&) = delete;

  DllParam& target() const { return *target_; }
  // Gives back the target when the wrapper owns it (else nullptr); the
  // wrapper must not be used afterwards.
  std::unique_ptr<DllParam> ReleaseTarget() {
    target_ = nullptr;
    return std::move(owned_);
  }

 protected:
  // Runs call; run() passes it on to the target (or does what an overriding
  // member put in its place) and gives its result. Returns run() by default.
  virtual int32_t Around(const DllParamCall& call, dllparam::RunRef run) {
    (void)call;
    return run();
  }

  int32_t Perform(const DllParamCall& call) final {
    return Around(call, [&] { return call.RunOn(*target_); });
  }

 private:
  std::unique_ptr<DllParam> owned_;
  DllParam* target_;
};

}  // namespace qv
