// Keeps the values of a script collection in order, by position and by key.
#include "platform/collection.h"

#include "platform/ascii.h"

#include <cctype>
#include <stdexcept>

namespace qv::platform {
namespace {


[[noreturn]] void NoSuchItem(const Variant& indexOrKey) {
  throw DispError(DispStatus::Exception, "Invalid procedure call or argument: no item " +
                                             (indexOrKey.IsObject() ? std::string("(object)")
                                                                    : indexOrKey.ToString()));
}

}  // namespace

const DispatchTable& Collection::Table() {
  static const DispatchTable table = MakeDispatchTable<Collection>(
      "Collection",
      {
          {"Item", kDispidValue, InvokeKind::Method, 1,
           [](Collection& c, ArgList& a) {
             auto i = c.Find(a[0]);
             if (!i) NoSuchItem(a[0]);
             return c.items_[*i].value;
           }},
          {"Add", 1, InvokeKind::Method, kAnyArity,
           [](Collection& c, ArgList& a) {
             a.Require(1, 2);
             std::string key = a.size() > 1 ? a.String(1) : std::string();
             try {
               c.Add(a[0], key);
             } catch (const std::invalid_argument& e) {
               throw DispError(DispStatus::Exception, e.what());
             }
             return Variant();
           }},
          {"Count", 2, InvokeKind::PropertyGet, 0,
           [](Collection& c, ArgList&) { return Variant(static_cast<std::int32_t>(c.Count())); }},
          {"Remove", 3, InvokeKind::Method, 1,
           [](Collection& c, ArgList& a) {
             auto i = c.Find(a[0]);
             if (!i) NoSuchItem(a[0]);
             c.items_.erase(c.items_.begin() + static_cast<std::ptrdiff_t>(*i));
             return Variant();
           }},
      });
  return table;
}

void Collection::Add(Variant item, std::string key) {
  if (!key.empty() && Item(key) != nullptr) {
    throw std::invalid_argument("This key is already associated with an element of this collection: " +
                                key);
  }
  items_.push_back(Entry{std::move(item), std::move(key)});
}

const Variant* Collection::Item(std::size_t index) const {
  if (index < 1 || index > items_.size()) return nullptr;
  return &items_[index - 1].value;
}

const Variant* Collection::Item(std::string_view key) const {
  for (const Entry& e : items_) {
    if (!e.key.empty() && EqualsNoCase(e.key, key)) return &e.value;
  }
  return nullptr;
}

bool Collection::Remove(std::size_t index) {
  if (index < 1 || index > items_.size()) return false;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index - 1));
  return true;
}

bool Collection::Remove(std::string_view key) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (!it->key.empty() && EqualsNoCase(it->key, key)) {
      items_.erase(it);
      return true;
    }
  }
  return false;
}

// Reads a position (any number) or a key (text) as a 0-based slot.
std::optional<std::size_t> Collection::Find(const Variant& indexOrKey) const {
  if (const std::string* key = indexOrKey.Get<std::string>()) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (!items_[i].key.empty() && EqualsNoCase(items_[i].key, *key)) return i;
    }
    return std::nullopt;
  }
  std::int32_t n = indexOrKey.ToLong();
  if (n < 1 || static_cast<std::size_t>(n) > items_.size()) return std::nullopt;
  return static_cast<std::size_t>(n - 1);
}

}  // namespace qv::platform
