// A script collection: an ordered list of values, each with an optional key,
// reached by 1-based position or by key (any case).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"

namespace qv::platform {

class Collection : public DispatchObject<Collection> {
 public:
  // Members: Item (DISPID 0, the default member), Add 1, Count 2, Remove 3.
  static const DispatchTable& Table();

  // Appends a value; throws std::invalid_argument when the key is taken.
  void Add(Variant item, std::string key = {});
  std::size_t Count() const { return items_.size(); }
  // Returns the value at a 1-based position or with a key, or nullptr.
  const Variant* Item(std::size_t index) const;
  const Variant* Item(std::string_view key) const;
  // Removes by position or key; returns false when there is no such item.
  bool Remove(std::size_t index);
  bool Remove(std::string_view key);

 private:
  struct Entry {
    Variant value;
    std::string key;
  };
  std::optional<std::size_t> Find(const Variant& indexOrKey) const;

  std::vector<Entry> items_;
};

}  // namespace qv::platform
