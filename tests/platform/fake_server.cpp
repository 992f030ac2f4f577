// A small automation library for the tests: serves "QVTest.Counter", an
// object whose one member fails.
#include <memory>
#include <stdexcept>

#include "platform/server.h"

namespace {

using qv::platform::ArgList;
using qv::platform::InvokeKind;
using qv::platform::Variant;

class Counter : public qv::platform::DispatchObject<Counter> {
 public:
  static const qv::platform::DispatchTable& Table() {
    static const qv::platform::DispatchTable table = qv::platform::MakeDispatchTable<Counter>(
        "Counter", {
                       {"Fail", 0x60030003, InvokeKind::Method, 0,
                        [](Counter&, ArgList&) -> Variant { throw std::runtime_error("counter broke"); }},
                   });
    return table;
  }
};

void AddTestClasses() {
  qv::platform::AddClass({"{6A0C1E52-3B7D-4F11-9C2E-5D8A7B90C1F3}", "QVTest.Counter",
                          [] { return std::make_shared<Counter>(); }});
}

}  // namespace

QV_DEFINE_SERVER_ENTRY_POINTS(AddTestClasses)
