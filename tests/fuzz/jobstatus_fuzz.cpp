// Fuzz target of the job-status answer: "R" or "", and "R" only for an
// answer whose leading count is a number other than 0.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "operations/engine_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const std::string status = qv::JobStatusFromAnswer(answer);
  FUZZ_CHECK(status.empty() || status == "R");
  if (status == "R") FUZZ_CHECK(qv::LeadingNumber(answer.substr(0, 5)) > 0);
  FUZZ_CHECK(qv::LeadingNumber(answer) >= 0);
  return 0;
}
