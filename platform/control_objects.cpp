// Declares the late-bound members of the control objects.
#include "platform/control_objects.h"

namespace qv::platform {
namespace {

// Runs a model operation, turning a ControlError into a call failure.
template <class F>
Variant Guard(F f) {
  try {
    return f();
  } catch (const ControlError& e) {
    throw DispError(DispStatus::Exception, e.what());
  }
}

}  // namespace

const DispatchTable& TreeViewObject::Table() {
  static const DispatchTable table = MakeDispatchTable<TreeViewObject>(
      "TreeView", {
                      {"Count", 1, InvokeKind::PropertyGet, 0,
                       [](TreeViewObject& o, ArgList&) { return Variant(o.model_.Count()); }},
                  });
  return table;
}

const DispatchTable& ListViewObject::Table() {
  static const DispatchTable table = MakeDispatchTable<ListViewObject>(
      "ListView",
      {
          {"View", 1, InvokeKind::PropertyGet, 0,
           [](ListViewObject& o, ArgList&) { return Variant(o.model_.View()); }},
          {"View", 1, InvokeKind::PropertyPut, 1,
           [](ListViewObject& o, ArgList& a) {
             std::int32_t v = a.Long(0);
             return Guard([&] {
               o.model_.SetView(v);
               return Variant();
             });
           }},
          {"Sorted", 2, InvokeKind::PropertyGet, 0,
           [](ListViewObject& o, ArgList&) { return Variant(o.model_.sorted); }},
          {"Sorted", 2, InvokeKind::PropertyPut, 1,
           [](ListViewObject& o, ArgList& a) {
             o.model_.sorted = a.Bool(0);
             return Variant();
           }},
          {"SortKey", 3, InvokeKind::PropertyGet, 0,
           [](ListViewObject& o, ArgList&) { return Variant(o.model_.sortKey); }},
          {"SortKey", 3, InvokeKind::PropertyPut, 1,
           [](ListViewObject& o, ArgList& a) {
             o.model_.sortKey = a.Long(0);
             return Variant();
           }},
          {"Count", 4, InvokeKind::PropertyGet, 0,
           [](ListViewObject& o, ArgList&) { return Variant(o.model_.Count()); }},
          {"Clear", 5, InvokeKind::Method, 0,
           [](ListViewObject& o, ArgList&) {
             o.model_.Clear();
             return Variant();
           }},
      });
  return table;
}

const DispatchTable& ListBoxObject::Table() {
  static const DispatchTable table = MakeDispatchTable<ListBoxObject>(
      "ListBox", {
                     {"ListCount", 1, InvokeKind::PropertyGet, 0,
                      [](ListBoxObject& o, ArgList&) { return Variant(o.model_.ListCount()); }},
                     {"AddItem", 2, InvokeKind::Method, 1,
                      [](ListBoxObject& o, ArgList& a) {
                        o.model_.AddItem(a.String(0));
                        return Variant();
                      }},
                     {"Clear", 3, InvokeKind::Method, 0,
                      [](ListBoxObject& o, ArgList&) {
                        o.model_.Clear();
                        return Variant();
                      }},
                     {"Text", 4, InvokeKind::PropertyGet, 0,
                      [](ListBoxObject& o, ArgList&) { return Variant(o.model_.Text()); }},
                 });
  return table;
}

}  // namespace qv::platform
