// Counts and passes on the calls of the record-access library.
#include "counting_library.h"

#include <algorithm>

namespace qv::test {

int64_t CountingLibrary::Calls() const {
  int64_t n = 0;
  for (const auto& [op, count] : counts)
    if (op != "GetLastError") n += count;
  return n;
}

int32_t CountingLibrary::Around(const DllParamCall& call, dllparam::RunRef run) {
  ++counts[call.name()];
  if (call.op() == DllParamOp::GetLastError) return run();
  const auto sql = call.Find("sql");
  if (failWhen && failWhen(call.name(), sql ? call.Text(*sql) : std::string())) {
    injected_ = true;
    return 0;
  }
  injected_ = false;
  return run();
}

int32_t CountingLibrary::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  if (!injected_) return DllParamWrapper::GetLastError(code, errNum, text);
  return Around(DllParamCall::Of<DllParamOp::GetLastError>(code, errNum, text), [&] {
    code = kCodeRefused;
    errNum = 0;
    dllparam::PutInBuffer(text, "injected failure");
    return 1;
  });
}

int32_t CountingLibrary::Execute(std::string& code, std::string& ctl, std::string& data) {
  if (!answerJobLists || code.rfind("SYSLSTJOB", 0) != 0) return DllParamWrapper::Execute(code, ctl, data);
  return Around(DllParamCall::Of<DllParamOp::Execute>(code, ctl, data), [&] {
    // Request: "04096" + "0" + job; reply: the count of the bytes that
    // follow in 5 digits, then the active job's name.
    const std::string job = data.substr(6, 10);
    const std::string reply = running.contains(job) ? "00015" + job : "00000";
    dllparam::PutInBuffer(data, reply);
    return 1;
  });
}

int32_t CountingLibrary::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  if (!answerJobLists) return DllParamWrapper::SJobList(job, answer, kind);
  return Around(DllParamCall::Of<DllParamOp::SJobList>(job, answer, kind), [&] {
    dllparam::PutInBuffer(answer, running.contains(job) ? "00001\t" + job + " 4711\t" : "00000");
    return 1;
  });
}

}  // namespace qv::test
