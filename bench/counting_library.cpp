// Counts and passes on the calls of the record-access library.
#include "counting_library.h"

namespace qv::test {

int64_t CountingLibrary::Calls() const {
  int64_t n = 0;
  for (const auto& [op, count] : counts)
    if (op != "GetLastError") n += count;
  return n;
}

int32_t CountingLibrary::Around(const DllParamCall& call, dllparam::RunRef run) {
  ++counts[call.name()];
  return run();
}

int32_t CountingLibrary::Execute(std::string& code, std::string& ctl, std::string& data) {
  if (!answerJobLists || code.rfind("SYSLSTJOB", 0) != 0) return DllParamWrapper::Execute(code, ctl, data);
  return Around(DllParamCall::Of<DllParamOp::Execute>(code, ctl, data), [&] {
    // Reply: the count of the bytes that follow in 5 digits, none here.
    dllparam::PutInBuffer(data, "00000");
    return 1;
  });
}

int32_t CountingLibrary::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  if (!answerJobLists) return DllParamWrapper::SJobList(job, answer, kind);
  return Around(DllParamCall::Of<DllParamOp::SJobList>(job, answer, kind), [&] {
    dllparam::PutInBuffer(answer, "00000");
    return 1;
  });
}

}  // namespace qv::test
