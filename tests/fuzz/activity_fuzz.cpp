// Fuzz target of the activity answers: an NT answer buffer (header, then the
// block) and an AS/400 command reply (the block after position 35) are cut
// into the block's fields, which together give back the block.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "connection/dllparam.h"
#include "connection/remote_commands.h"
#include "fuzz_check.h"
#include "presentation/strutil.h"
#include "store/records.h"

namespace {

void CheckBlock(std::string_view block) {
  const qv::Record record(qv::layout::Activity, block);
  FUZZ_CHECK(record.size() == qv::layout::Activity.length);
  std::string joined;
  for (std::size_t i = 0; i < qv::layout::Activity.fields.size(); ++i) joined += record.Get(i);
  FUZZ_CHECK(joined == record.image());
  FUZZ_CHECK(record.image().substr(0, std::min(block.size(), record.image().size())) ==
             block.substr(0, std::min(block.size(), record.image().size())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  // As the NT source answers into the caller's buffer.
  CheckBlock(qv::PadRight(answer.substr(std::min<std::size_t>(answer.size(), qv::DllParam::kActivityHeader)),
                          qv::DllParam::kActivityBlock));
  // As the AS/400 server program replies in the command's area.
  qv::RemoteCommand command;
  command.data = std::string(answer);
  const std::string_view reply = qv::ReplyText(command);
  FUZZ_CHECK(reply.size() <= size && reply.find('\0') == std::string_view::npos);
  if (reply.size() > 35) CheckBlock(reply.substr(35));
  return 0;
}
