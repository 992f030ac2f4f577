// The class list of the library.
#include "automation/classes.h"

#include <memory>

#include "automation/activity.h"
#include "automation/qvmanager.h"
#include "platform/server.h"

namespace qv::automation {

void AddLibraryClasses() {
  platform::AddClass({kQVmanagerClassId, kQVmanagerProgId, [] { return std::make_shared<QVmanager>(); }});
  platform::AddClass({kActivityClassId, kActivityProgId, [] { return std::make_shared<Activity>(); }});
}

}  // namespace qv::automation
