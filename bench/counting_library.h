// A record-access library for the benchmarks that passes every call on
// to another one and counts the calls by operation. It can also stand in for
// the engine's job lists, answering that no job is active.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "connection/dllparam.h"
#include "connection/dllparam_wrapper.h"

namespace qv::test {

class CountingLibrary final : public DllParamWrapper {
 public:
  explicit CountingLibrary(std::unique_ptr<DllParam> inner) : DllParamWrapper(std::move(inner)) {}

  // Calls received, by operation (GetLastError included, under its name).
  std::map<std::string, int64_t> counts;
  // Returns the calls received other than GetLastError.
  int64_t Calls() const;
  void Reset() { counts.clear(); }

  // When set, the job lists are answered here, each with no active job.
  bool answerJobLists = false;

  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;

 protected:
  // Counts the call.
  int32_t Around(const DllParamCall& call, dllparam::RunRef run) override;
};

}  // namespace qv::test
