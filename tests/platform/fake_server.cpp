// A small automation library for the tests: serves "QVTest.Counter", an
// object with a Long value, a name, a by-reference swap and a failing member.
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
        "Counter",
        {
            {"Value", 0x68030001, InvokeKind::PropertyGet, 0,
             [](Counter& c, ArgList&) { return Variant(c.value_); }},
            {"Value", 0x68030001, InvokeKind::PropertyPut, 1,
             [](Counter& c, ArgList& a) {
               c.value_ = a.Long(0);
               return Variant();
             }},
            {"Swap", 0x60030002, InvokeKind::Method, 1,
             [](Counter& c, ArgList& a) {
               std::int32_t old = c.value_;
               c.value_ = a.Long(0);
               a.Set(0, old);
               return Variant(true);
             }},
            {"Fail", 0x60030003, InvokeKind::Method, 0,
             [](Counter&, ArgList&) -> Variant { throw std::runtime_error("counter broke"); }},
        });
    return table;
  }

 private:
  std::int32_t value_ = 0;
};

void AddTestClasses() {
  qv::platform::AddClass({"{6A0C1E52-3B7D-4F11-9C2E-5D8A7B90C1F3}", "QVTest.Counter",
                          [] { return std::make_shared<Counter>(); }});
}

}  // namespace

QV_DEFINE_SERVER_ENTRY_POINTS(AddTestClasses)
