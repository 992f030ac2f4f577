// Values of late-bound calls to and from JSON.
#include "qvmgr/variant_json.h"

#include <cstdint>
#include <limits>

#include "platform/ascii.h"
#include "platform/dispatch.h"
#include "platform/encoding.h"

namespace qv::cli {
namespace {

using platform::Variant;
using platform::VarType;

std::optional<VarType> KindFromName(const std::string& name) {
  for (VarType t : {VarType::Empty, VarType::Boolean, VarType::Long, VarType::Single, VarType::Double,
                    VarType::String}) {
    if (platform::EqualsNoCase(platform::TypeName(t), name)) return t;
  }
  return std::nullopt;
}

Variant Plain(const Json& value, const ObjectLookup& lookup) {
  switch (value.type()) {
    case Json::value_t::null:
      return Variant();
    case Json::value_t::boolean:
      return Variant(value.get<bool>());
    case Json::value_t::number_integer: {
      const std::int64_t n = value.get<std::int64_t>();
      if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max())
        return Variant(static_cast<std::int32_t>(n));
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_unsigned: {
      const std::uint64_t n = value.get<std::uint64_t>();
      if (n <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return Variant(static_cast<std::int32_t>(n));
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_float:
      return Variant(value.get<double>());
    case Json::value_t::string:
      return Variant(To1252Exact(value.get<std::string>(), ""));
    case Json::value_t::object: {
      if (value.contains("object")) {
        if (value.size() != 1) throw ArgumentError("an object reference holds only \"object\"");
        const Json& name = value["object"];
        if (name.is_null()) return Variant(nullptr);
        if (!name.is_string()) throw ArgumentError("\"object\" takes the name of an object or null");
        platform::ObjectPtr object = lookup(name.get<std::string>());
        if (!object) throw ArgumentError("no object named \"" + name.get<std::string>() + "\"");
        return Variant(object);
      }
      if (value.contains("type")) {
        if (!value["type"].is_string()) throw ArgumentError("\"type\" takes the name of a kind");
        const std::string kindName = value["type"].get<std::string>();
        const std::optional<VarType> kind = KindFromName(kindName);
        if (!kind)
          throw ArgumentError("unknown kind \"" + kindName +
                              "\" (Empty, Boolean, Long, Single, Double or String)");
        for (const auto& item : value.items())
          if (item.key() != "type" && item.key() != "value")
            throw ArgumentError("a typed value holds only \"type\" and \"value\"");
        const Variant inner = value.contains("value") ? Plain(value["value"], lookup) : Variant();
        if (inner.IsObject()) throw ArgumentError("an object cannot be given a kind");
        try {
          return inner.ChangeType(*kind);
        } catch (const platform::VariantError& e) {
          throw ArgumentError(Cp1252ToUtf8(e.what()));
        }
      }
      throw ArgumentError("an object value must be {\"object\": NAME} or {\"type\": KIND, \"value\": V}");
    }
    case Json::value_t::array:
      throw ArgumentError("arrays are not values of a call");
    default:
      throw ArgumentError("unsupported JSON value");
  }
}

}  // namespace

std::string To1252Exact(const std::string& utf8, const std::string& what) {
  std::string out;
  std::size_t offset = 0;
  const std::string prefix = what.empty() ? std::string() : what + ": ";
  if (!Utf8ToCp1252Exact(utf8, out, offset))
    throw ArgumentError(prefix + "the character at byte " + std::to_string(offset) + " has no Windows-1252 form");
  // A NUL would end the text early wherever it goes next (a statement, a buffer).
  if (const std::size_t nul = out.find('\0'); nul != std::string::npos)
    throw ArgumentError(prefix + "the text holds a NUL character (at character " + std::to_string(nul) +
                        "); NUL is refused");
  return out;
}

Variant VariantFromJson(const Json& value, const ObjectLookup& lookup) { return Plain(value, lookup); }

Json JsonFromVariant(const Variant& value, const ObjectNamer& namer) {
  switch (value.type()) {
    case VarType::Empty:
      return nullptr;
    case VarType::Boolean:
      return *value.Get<bool>();
    case VarType::Long:
      return *value.Get<std::int32_t>();
    case VarType::Single:
      return static_cast<double>(*value.Get<float>());
    case VarType::Double:
      return *value.Get<double>();
    case VarType::String:
      return Cp1252ToUtf8(*value.Get<std::string>());
    case VarType::Object: {
      const platform::ObjectPtr& object = *value.Get<platform::ObjectPtr>();
      Json out = Json::object();
      if (!object) {
        out["object"] = nullptr;
        return out;
      }
      out["object"] = namer(object);
      out["class"] = std::string(object->ClassName());
      return out;
    }
  }
  return nullptr;
}

}  // namespace qv::cli
