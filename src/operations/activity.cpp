// Activity of a distribution's engine job: the activity block and the stop request.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "operations/engine_text.h"
#include "presentation/strutil.h"

namespace qv {

bool QVSource::ReadActivity(const std::string& environment, const std::string& target,
                            const std::string& model, std::string& block, int32_t size,
                            const std::string& action, const std::string& option) {
  return Guard("ReadActivity", [&] {
    const std::string name = JobName(environment, target, model);
    const std::string act = ActivityAction(action);
    const std::string opt = option.empty() ? " " : option;
    if (IsAS400()) {
      // No user space: the job never ran, the block is blank. A check that
      // failed says nothing of the space: the read fails with its error.
      const Lookup space = CheckObject(name, "QV_USRDATA", "*USRSPC   ");
      if (space == Lookup::Failed) return false;
      if (space == Lookup::Missing) {
        block.assign(305, ' ');
        return true;
      }
      RemoteCommand c = FrameCommand(
          cmd::kReadUserSpace, std::string("00000") + "00305", 305,
          "00300" + name + "QV_USRDATA" + act + opt + Digits(size, 8));
      if (Src().Execute(c.code, c.ctl, c.data) == 0) {
        QVParamError();
        return false;
      }
      const std::string_view reply = ReplyText(c);
      if (reply.size() > 35) block = std::string(reply.substr(35));
      return true;
    }
    std::string buffer = PadRight(name, DllParam::kActivityBuffer);
    if (Src().Activity(buffer, opt + Digits(size, 8) + act) == 0) {
      QVParamError();
      return false;
    }
    block = PadRight(std::string_view(buffer).substr(
                         std::min<std::size_t>(buffer.size(), DllParam::kActivityHeader)),
                     DllParam::kActivityBlock);
    return true;
  });
}

}  // namespace qv
