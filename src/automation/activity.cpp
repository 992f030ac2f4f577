// Activity: the snapshot's properties and their dispatch table.
#include "automation/activity.h"

#include <vector>

#include "store/records.h"

namespace qv::automation {

static_assert(layout::Activity.fields.size() == Activity::kCount);

const platform::DispatchTable& Activity::Table() {
  static const platform::DispatchTable table = [] {
    std::vector<platform::DispMember> members;
    for (std::size_t i = 0; i < kCount; ++i) {
      const std::string name(layout::Activity.fields[i].name);
      const auto id = static_cast<platform::DISPID>(kFirstDispid + i);
      members.push_back({name, id, platform::InvokeKind::PropertyGet, 0,
                         [i](void* self, platform::ArgList&) {
                           return platform::Variant(static_cast<Activity*>(self)->values_[i]);
                         }});
      members.push_back({name, id, platform::InvokeKind::PropertyPut, 1,
                         [i](void* self, platform::ArgList& a) {
                           static_cast<Activity*>(self)->values_[i] = a.String(0);
                           return platform::Variant();
                         }});
    }
    return platform::DispatchTable("Activity", std::move(members));
  }();
  return table;
}

void Activity::Fill(std::string_view block) {
  const Record record(layout::Activity, block);
  for (std::size_t i = 0; i < kCount; ++i) values_[i] = std::string(record.Get(i));
}

}  // namespace qv::automation
