// Fuzz target of the job-list parsers: an AS/400 page gives 10-character
// entries taken from the page; an NT answer gives the pieces between its
// TABs, none empty and none holding a TAB.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "operations/engine_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto page = qv::JobEntriesAs400(text);
  for (std::size_t i = 0; i < page.size(); ++i) {
    FUZZ_CHECK(page[i].size() <= 10 && !page[i].empty());
    FUZZ_CHECK(text.substr(5 + i * 10, page[i].size()) == page[i]);
  }
  std::size_t total = 0;
  for (const std::string& entry : qv::JobEntriesNt(text)) {
    FUZZ_CHECK(!entry.empty() && entry.find('\t') == std::string::npos);
    FUZZ_CHECK(text.find(entry) != std::string_view::npos);
    total += entry.size();
  }
  FUZZ_CHECK(total <= size);
  return 0;
}
