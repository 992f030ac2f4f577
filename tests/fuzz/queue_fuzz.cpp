// Fuzz target of the message-queue answer parser: any answer gives messages
// whose parts fit in the answer, each with an icon.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "operations/engine_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const auto messages = qv::ParseQueueMessages(answer);
  qv::QueueRestarted(answer);
  FUZZ_CHECK(messages.size() <= size / 45);
  for (const qv::QueueMessage& m : messages) {
    FUZZ_CHECK(m.job.size() <= 10 && m.program.size() <= 12);
    FUZZ_CHECK(m.text.size() <= size);
    FUZZ_CHECK(m.date.size() == 19);
    const int icon = qv::MessageIcon(m.severity);
    FUZZ_CHECK(icon >= 1 && icon <= 3);
  }
  return 0;
}
