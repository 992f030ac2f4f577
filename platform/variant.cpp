// Converts and prints the values of late-bound calls.
#include "platform/variant.h"

#include "platform/ascii.h"

#include <cctype>
#include <locale.h>
#include <cstdlib>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

namespace qv::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}


// Formats a number with `digits` significant digits, the exponent in upper
// case: 0.1, 12, 1E+20, 1E-05.
std::string FormatNumber(double v, int digits) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, v);
  std::string s(buf);
  if (s == "-0") s = "0";
  return s;
}

[[noreturn]] void Mismatch(const Variant& v, VarType to) {
  std::string what = "Type mismatch: cannot convert ";
  what += TypeName(v.type());
  if (const std::string* s = v.Get<std::string>()) what += " \"" + *s + "\"";
  what += " to ";
  what += TypeName(to);
  throw VariantError(false, what);
}

[[noreturn]] void Overflow(double v, VarType to) {
  throw VariantError(true, "Overflow: " + FormatNumber(v, 15) + " does not fit in a " +
                               std::string(TypeName(to)));
}

// Reads a value as a double for the numeric conversions, or throws.
double NumericValue(const Variant& v, VarType to) {
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Boolean:
      return *v.Get<bool>() ? -1 : 0;
    case VarType::Long:
      return *v.Get<std::int32_t>();
    case VarType::Single:
      return *v.Get<float>();
    case VarType::Double:
      return *v.Get<double>();
    case VarType::String: {
      double d = 0;
      if (!ParseNumber(*v.Get<std::string>(), d)) Mismatch(v, to);
      if (!std::isfinite(d)) Overflow(d, to);
      return d;
    }
    case VarType::Object:
      break;
  }
  Mismatch(v, to);
}

}  // namespace

std::string_view TypeName(VarType type) {
  switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::Boolean: return "Boolean";
    case VarType::Long: return "Long";
    case VarType::Single: return "Single";
    case VarType::Double: return "Double";
    case VarType::String: return "String";
    case VarType::Object: return "Object";
  }
  return "Unknown";
}

bool ParseNumber(std::string_view text, double& out) {
  std::string_view s = TrimBlanks(text);
  if (s.empty()) return false;
  // Accept only the plain decimal shape: no hex, no "inf", no "nan".
  bool digit = false;
  for (char c : s) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = true;
    } else if (c != '-' && c != '.' && c != 'e' && c != 'E' && c != '+') {
      return false;
    }
  }
  if (!digit) return false;
  // Parse in the C locale so that the decimal point is always ".".
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string copy(s);
  char* end = nullptr;
  double d = strtod_l(copy.c_str(), &end, c_locale);
  if (end != copy.c_str() + copy.size()) return false;
  out = d;
  return true;
}

bool Variant::IsNumeric() const {
  switch (type()) {
    case VarType::Empty:
    case VarType::Boolean:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
      return true;
    case VarType::String: {
      double d = 0;
      return ParseNumber(*Get<std::string>(), d);
    }
    case VarType::Object:
      return false;
  }
  return false;
}

bool Variant::ToBool() const {
  if (const bool* b = Get<bool>()) return *b;
  if (const std::string* s = Get<std::string>()) {
    std::string_view t = TrimBlanks(*s);
    if (EqualsNoCase(t, "True")) return true;
    if (EqualsNoCase(t, "False")) return false;
  }
  double d = NumericValue(*this, VarType::Boolean);
  return d != 0;
}

std::int32_t Variant::ToLong() const {
  if (const std::int32_t* l = Get<std::int32_t>()) return *l;
  double d = NumericValue(*this, VarType::Long);
  if (std::isnan(d)) Overflow(d, VarType::Long);
  double r = std::nearbyint(d);  // the default rounding mode rounds half to even
  if (r < -2147483648.0 || r > 2147483647.0) Overflow(d, VarType::Long);
  return static_cast<std::int32_t>(r);
}

float Variant::ToSingle() const {
  if (const float* f = Get<float>()) return *f;
  double d = NumericValue(*this, VarType::Single);
  if (std::isfinite(d) && std::fabs(d) > FLT_MAX) Overflow(d, VarType::Single);
  return static_cast<float>(d);
}

double Variant::ToDouble() const {
  return NumericValue(*this, VarType::Double);
}

std::string Variant::ToString() const {
  switch (type()) {
    case VarType::Empty: return "";
    case VarType::Boolean: return *Get<bool>() ? "True" : "False";
    case VarType::Long: return std::to_string(*Get<std::int32_t>());
    case VarType::Single: return FormatNumber(*Get<float>(), 7);
    case VarType::Double: return FormatNumber(*Get<double>(), 15);
    case VarType::String: return *Get<std::string>();
    case VarType::Object: break;
  }
  Mismatch(*this, VarType::String);
}

ObjectPtr Variant::ToObject() const {
  if (const ObjectPtr* o = Get<ObjectPtr>()) return *o;
  if (IsEmpty()) return nullptr;
  Mismatch(*this, VarType::Object);
}

Variant Variant::ChangeType(VarType to) const {
  switch (to) {
    case VarType::Empty: return Variant();
    case VarType::Boolean: return Variant(ToBool());
    case VarType::Long: return Variant(ToLong());
    case VarType::Single: return Variant(ToSingle());
    case VarType::Double: return Variant(ToDouble());
    case VarType::String: return Variant(ToString());
    case VarType::Object: return Variant(ToObject());
  }
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Variant& v) {
  switch (v.type()) {
    case VarType::Empty: return out << "Empty";
    case VarType::String: return out << "String(\"" << *v.Get<std::string>() << "\")";
    case VarType::Object:
      return out << "Object(" << (*v.Get<ObjectPtr>() ? "object" : "Nothing") << ")";
    default: return out << TypeName(v.type()) << "(" << v.ToString() << ")";
  }
}

}  // namespace qv::platform
