// AS/400 object queries: the object check.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"

namespace qv {

QVSource::Lookup QVSource::CheckObject(const std::string& object, const std::string& library,
                                       const std::string& type) {
  RemoteCommand c = CheckObjectCommand(object, library, type);
  if (Src().Execute(c.code, c.ctl, c.data) == 0) {
    QVParamError();
    return Lookup::Failed;
  }
  return ObjectExists(ReplyText(c)) ? Lookup::Found : Lookup::Missing;
}

bool QVSource::ChkObj(const std::string& object, const std::string& library,
                      const std::string& type) {
  // A failed check counts as missing.
  return Guard("ChkObj", [&] { return CheckObject(object, library, type) != Lookup::Found; });
}

}  // namespace qv
