// Automation objects that carry a control model, so that a host can pass a
// tree view, list view or list box to a late-bound member and the member can
// reach the model:
//
//   ListView* lv = ModelOf<ListView>(args[2]);   // nullptr when not a list view
#pragma once

#include <memory>

#include "platform/controls.h"
#include "platform/dispatch.h"

namespace qv::platform {

// Members: Count get (1).
class TreeViewObject : public DispatchObject<TreeViewObject> {
 public:
  static const DispatchTable& Table();
  TreeView& model() { return model_; }

 private:
  TreeView model_;
};

// Members: View get/put (1), Sorted get/put (2), SortKey get/put (3),
// Count get (4), Clear method (5) which clears the items.
class ListViewObject : public DispatchObject<ListViewObject> {
 public:
  static const DispatchTable& Table();
  ListView& model() { return model_; }

 private:
  ListView model_;
};

// Members: ListCount get (1), AddItem method (2), Clear method (3),
// Text get (4).
class ListBoxObject : public DispatchObject<ListBoxObject> {
 public:
  static const DispatchTable& Table();
  ListBox& model() { return model_; }

 private:
  ListBox model_;
};

namespace detail {
template <class Model> struct ObjectOf;
template <> struct ObjectOf<TreeView> { using type = TreeViewObject; };
template <> struct ObjectOf<ListView> { using type = ListViewObject; };
template <> struct ObjectOf<ListBox> { using type = ListBoxObject; };
}  // namespace detail

// Returns the model carried by an object value, or nullptr when the value is
// not an object of that control. The object must stay alive while the model
// is used.
template <class Model>
Model* ModelOf(const Variant& value) {
  const ObjectPtr* object = value.Get<ObjectPtr>();
  if (object == nullptr || !*object) return nullptr;
  auto* carrier = dynamic_cast<typename detail::ObjectOf<Model>::type*>(object->get());
  return carrier != nullptr ? &carrier->model() : nullptr;
}

}  // namespace qv::platform
