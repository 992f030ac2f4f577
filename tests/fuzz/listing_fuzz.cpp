// Fuzz target of the listing pages: a block of records read together (the
// first byte picks the layout, the second the count of records announced) is
// cut into whole records that are slices of the block, and an object listing
// reply says whether the object exists.
#include <cstdint>
#include <string>
#include <string_view>

#include "connection/remote_commands.h"
#include "fuzz_check.h"
#include "store/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const auto layouts = qv::AllLayouts();
  const qv::Layout& layout = *layouts[data[0] % layouts.size()];
  const std::size_t count = data[1];
  const std::string_view block(reinterpret_cast<const char*>(data) + 2, size - 2);
  const auto records = qv::RecordsFromBlock(layout, block, count);
  FUZZ_CHECK(records.size() <= count);
  FUZZ_CHECK(layout.length == 0 || records.size() <= block.size() / layout.length);
  for (std::size_t i = 0; i < records.size(); ++i)
    FUZZ_CHECK(records[i].image() == block.substr(i * layout.length, layout.length));
  qv::RemoteCommand command;
  command.data = std::string(block);
  const bool exists = qv::ObjectExists(qv::ReplyText(command));
  FUZZ_CHECK(!exists || (block.size() >= 6 && block[5] == '0'));
  return 0;
}
