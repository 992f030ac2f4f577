// Holds one value of a late-bound call: empty, Boolean, Long, Single, Double,
// String (Windows-1252 bytes) or an object, and converts between them the way
// a script host coerces arguments.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace qv::platform {

class IDispatch;
using ObjectPtr = std::shared_ptr<IDispatch>;

// Kinds of value a Variant holds.
enum class VarType { Empty, Boolean, Long, Single, Double, String, Object };

// Returns the script name of a kind: "Empty", "Boolean", "Long", "Single",
// "Double", "String", "Object".
std::string_view TypeName(VarType type);

// Thrown by the conversions of Variant. `overflow()` tells a number out of the
// target's range from a value of the wrong kind.
class VariantError : public std::runtime_error {
 public:
  VariantError(bool overflow, const std::string& what)
      : std::runtime_error(what), overflow_(overflow) {}
  bool overflow() const { return overflow_; }

 private:
  bool overflow_;
};

class Variant {
 public:
  Variant() = default;
  Variant(bool v) : v_(v) {}
  Variant(std::int32_t v) : v_(v) {}
  Variant(float v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(std::string v) : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(const char* v) : v_(std::string(v)) {}
  // Holds an object; a null pointer is the object value "Nothing".
  template <class T, class = std::enable_if_t<std::is_base_of_v<IDispatch, T>>>
  Variant(std::shared_ptr<T> v) : v_(ObjectPtr(std::move(v))) {}
  Variant(std::nullptr_t) : v_(ObjectPtr()) {}
  // Refuses other pointers, which would silently become a Boolean.
  template <class T>
  Variant(T*) = delete;

  VarType type() const { return static_cast<VarType>(v_.index()); }
  bool IsEmpty() const { return type() == VarType::Empty; }
  bool IsObject() const { return type() == VarType::Object; }
  bool IsNumeric() const;

  // Convert to the asked kind, throwing VariantError when the value does not
  // fit ("Type mismatch: ..." or "Overflow: ..."):
  //   Empty     -> False, 0, "", Nothing
  //   Boolean   -> -1 / 0 as a number, "True" / "False" as text
  //   numbers   -> each other (Double to Long rounds half to even), text with
  //                up to 15 (Double) or 7 (Single) significant digits
  //   String    -> Boolean from "True"/"False" or any number (nonzero true);
  //                numbers from decimal text, blanks around allowed
  //   Object    -> only to Object
  bool ToBool() const;
  std::int32_t ToLong() const;
  float ToSingle() const;
  double ToDouble() const;
  std::string ToString() const;
  ObjectPtr ToObject() const;

  // Returns the value converted to `type` (same rules, same exceptions).
  Variant ChangeType(VarType type) const;

  // Returns the held value of exactly this kind, or nullptr.
  template <class T>
  const T* Get() const {
    return std::get_if<T>(&v_);
  }

  // Same kind and same value; objects compare by identity.
  friend bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

 private:
  std::variant<std::monostate, bool, std::int32_t, float, double, std::string, ObjectPtr> v_;
};

// Prints a value with its kind for diagnostics: Empty, Boolean(True),
// Long(12), Single(1.5), Double(0.1), String("abc"), Object(Nothing).
std::ostream& operator<<(std::ostream& out, const Variant& v);

// Parses decimal text as a script host does: blanks around, optional sign,
// digits with an optional fraction and exponent. Returns false when the text
// is not a number.
bool ParseNumber(std::string_view text, double& out);

}  // namespace qv::platform
