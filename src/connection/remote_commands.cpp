// Frames the remote commands sent to AS/400 sources.
#include "connection/remote_commands.h"

#include <algorithm>

#include "presentation/strutil.h"

namespace qv {

std::string Digits(long long n, std::size_t width) {
  return ZeroPadLeft(std::to_string(n < 0 ? 0 : n), width);
}

std::string CommandCode(std::string_view code) {
  std::string out(code.substr(0, std::min<std::size_t>(code.size(), 10)));
  out.resize(10, '_');
  return out;
}

std::string ObjectName10(std::string_view name) { return PadRight(UCase(std::string(name)), 10); }

RemoteCommand FrameCommand(std::string_view code, std::size_t areaSize, std::string_view request) {
  return FrameCommand(code, Digits(static_cast<long long>(areaSize), 10), areaSize, request);
}

RemoteCommand FrameCommand(std::string_view code, std::string_view ctl, std::size_t areaSize,
                           std::string_view request) {
  RemoteCommand c;
  c.code = CommandCode(code);
  c.ctl = PadRight(ctl, 10);
  c.data = PadRight(request, areaSize);
  c.data.push_back('\0');
  return c;
}

RemoteCommand ClCommand(std::string_view command) {
  std::string request = Digits(static_cast<long long>(command.size()), 5);
  request.append(command);
  return FrameCommand(cmd::kRcmd, 100, request);
}

std::string_view ReplyText(const RemoteCommand& command) {
  std::string_view d(command.data);
  return d.substr(0, d.find('\0'));
}

RemoteCommand CheckObjectCommand(std::string_view object, std::string_view library,
                                 std::string_view type) {
  std::string request = ObjectName10(object) + ObjectName10(library) + ObjectName10(type);
  return FrameCommand(cmd::kCheckObject, std::string("00000") + "00040", 40, request);
}

bool ObjectExists(std::string_view reply) { return reply.size() >= 6 && reply[5] == '0'; }

}  // namespace qv
