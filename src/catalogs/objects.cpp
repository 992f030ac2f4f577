// AS/400 object queries: the object check.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"

namespace qv {

bool QVSource::ChkObj(const std::string& object, const std::string& library,
                      const std::string& type) {
  return Guard("ChkObj", [&] {
    RemoteCommand c = CheckObjectCommand(object, library, type);
    if (Src().Execute(c.code, c.ctl, c.data) == 0) {
      QVParamError();
      return true;  // a failed check counts as missing
    }
    return !ObjectExists(ReplyText(c));
  });
}

}  // namespace qv
