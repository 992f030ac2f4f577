// Converts between the values of late-bound calls and JSON, as the automation
// host reads arguments and writes results:
//
//   JSON                         Variant
//   null                         Empty
//   true / false                 Boolean
//   integer within 32 bits       Long (other integers: Double)
//   other number                 Double
//   "text" (UTF-8)               String (Windows-1252)
//   {"object": "lv"}             the object named lv; {"object": null} is Nothing
//   {"type": "Single", "value": 1.5}
//                                the value converted to that kind (Empty,
//                                Boolean, Long, Single, Double, String)
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/variant.h"

namespace qv::cli {

using Json = nlohmann::ordered_json;

// Thrown when a JSON value cannot be an argument; the text says why.
class ArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the object of a name, or nullptr when no object has that name.
using ObjectLookup = std::function<platform::ObjectPtr(const std::string& name)>;
// Returns the name under which an object is reported.
using ObjectNamer = std::function<std::string(const platform::ObjectPtr& object)>;

// Converts one JSON value into an argument. Throws ArgumentError for arrays,
// unknown object names, unknown kinds, values the kind cannot hold and text
// that To1252Exact refuses.
platform::Variant VariantFromJson(const Json& value, const ObjectLookup& lookup);

// Converts a value into JSON: text as UTF-8, an object as
// {"object": NAME, "class": CLASS} (Nothing as {"object": null}).
Json JsonFromVariant(const platform::Variant& value, const ObjectNamer& namer);

// Converts UTF-8 to Windows-1252, refusing text that has no form there and
// text that holds a NUL character. Throws ArgumentError naming what (e.g.
// "argument 2").
std::string To1252Exact(const std::string& utf8, const std::string& what);

}  // namespace qv::cli
