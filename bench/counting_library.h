// A record-access library for the benchmarks that passes every call on
// to another one and counts the calls by operation. It can also stand in for
// the engine's job lists (the jobs named in `running` are active, every other
// job is not) and make chosen calls fail before they reach the source.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
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

  // When set, the job lists are answered here: a job is active when its
  // name (10 characters, as JobRun sends it) is in running.
  bool answerJobLists = false;
  std::set<std::string> running;

  // When set and it returns true for an operation and its SQL text (Saction,
  // Sread, Sreadblock) or file handle's call, the call fails with
  // kCodeRefused "injected failure" without reaching the source.
  std::function<bool(const std::string& op, const std::string& sql)> failWhen;

  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;

 protected:
  // Counts the call and fails it when failWhen says so.
  int32_t Around(const DllParamCall& call, dllparam::RunRef run) override;

 private:
  bool injected_ = false;
};

}  // namespace qv::test
