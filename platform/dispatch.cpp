// Runs late-bound calls through dispatch tables and turns every fault of a
// member into a call result.
#include "platform/dispatch.h"

#include "platform/ascii.h"

#include <atomic>
#include <cctype>
#include <set>
#include <utility>

namespace qv::platform {
namespace {

std::atomic<std::size_t> gLiveObjects{0};


// Describes a call for messages: "QVmanager.ReadMSG".
std::string Where(std::string_view className, std::string_view member) {
  std::string s(className);
  s += '.';
  s += member;
  return s;
}

}  // namespace

std::string_view InvokeKindName(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Method: return "method";
    case InvokeKind::PropertyGet: return "get";
    case InvokeKind::PropertyPut: return "put";
    case InvokeKind::PropertyPutRef: return "putref";
  }
  return "?";
}

std::optional<InvokeKind> InvokeKindFromName(std::string_view name) {
  for (InvokeKind k : {InvokeKind::Method, InvokeKind::PropertyGet, InvokeKind::PropertyPut,
                       InvokeKind::PropertyPutRef}) {
    if (EqualsNoCase(name, InvokeKindName(k))) return k;
  }
  return std::nullopt;
}

std::int32_t StatusCode(DispStatus status) {
  switch (status) {
    case DispStatus::Ok: return 0;
    case DispStatus::UnknownName: return static_cast<std::int32_t>(0x80020006u);
    case DispStatus::MemberNotFound: return static_cast<std::int32_t>(0x80020003u);
    case DispStatus::BadArgCount: return static_cast<std::int32_t>(0x8002000Eu);
    case DispStatus::TypeMismatch: return static_cast<std::int32_t>(0x80020005u);
    case DispStatus::Overflow: return static_cast<std::int32_t>(0x8002000Au);
    case DispStatus::Exception: return static_cast<std::int32_t>(0x80020009u);
  }
  return -1;
}

std::string_view StatusName(DispStatus status) {
  switch (status) {
    case DispStatus::Ok: return "Ok";
    case DispStatus::UnknownName: return "UnknownName";
    case DispStatus::MemberNotFound: return "MemberNotFound";
    case DispStatus::BadArgCount: return "BadArgCount";
    case DispStatus::TypeMismatch: return "TypeMismatch";
    case DispStatus::Overflow: return "Overflow";
    case DispStatus::Exception: return "Exception";
  }
  return "?";
}

DispResult InvokeByName(IDispatch& object, std::string_view name, InvokeKind kind, Args args) {
  DISPID id = object.GetIDsOfNames(name);
  if (id == kDispidUnknown) {
    return DispResult::Error(DispStatus::UnknownName,
                             "Object doesn't support this property or method: " +
                                 Where(object.ClassName(), name));
  }
  return object.Invoke(id, kind, args);
}

DispResult CallMethod(IDispatch& object, std::string_view name, Args args) {
  return InvokeByName(object, name, InvokeKind::Method, args);
}

DispResult GetProperty(IDispatch& object, std::string_view name) {
  return InvokeByName(object, name, InvokeKind::PropertyGet, {});
}

DispResult PutProperty(IDispatch& object, std::string_view name, Variant value) {
  return InvokeByName(object, name, InvokeKind::PropertyPut, Args(&value, 1));
}

DispResult PutPropertyRef(IDispatch& object, std::string_view name, Variant value) {
  return InvokeByName(object, name, InvokeKind::PropertyPutRef, Args(&value, 1));
}

// --- ArgList ---------------------------------------------------------------

void ArgList::Fail(std::size_t i, const std::string& why) const {
  throw DispError(DispStatus::TypeMismatch,
                  "Type mismatch in argument " + std::to_string(i + 1) + " of " +
                      std::string(member_) + ": " + why,
                  static_cast<int>(i));
}

template <class F>
auto ArgList::Convert(std::size_t i, F f) const -> decltype(f(std::declval<const Variant&>())) {
  if (i >= args_.size()) {
    throw DispError(DispStatus::BadArgCount,
                    "Wrong number of arguments: " + std::string(member_) + " needs argument " +
                        std::to_string(i + 1));
  }
  try {
    return f(args_[i]);
  } catch (const VariantError& e) {
    throw DispError(e.overflow() ? DispStatus::Overflow : DispStatus::TypeMismatch,
                    std::string(e.what()) + " (argument " + std::to_string(i + 1) + " of " +
                        std::string(member_) + ")",
                    static_cast<int>(i));
  }
}

bool ArgList::Bool(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToBool(); });
}
std::int32_t ArgList::Long(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToLong(); });
}
float ArgList::Single(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToSingle(); });
}
double ArgList::Double(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToDouble(); });
}
std::string ArgList::String(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToString(); });
}
ObjectPtr ArgList::Object(std::size_t i) const {
  return Convert(i, [](const Variant& v) { return v.ToObject(); });
}

void ArgList::Require(std::size_t min, std::size_t max) const {
  if (args_.size() < min || args_.size() > max) {
    throw DispError(DispStatus::BadArgCount,
                    "Wrong number of arguments: " + std::string(member_) + " takes " +
                        std::to_string(min) + (min == max ? "" : " to " + std::to_string(max)) +
                        ", got " + std::to_string(args_.size()));
  }
}

// --- DispatchTable ---------------------------------------------------------

DispatchTable::DispatchTable(std::string className, std::vector<DispMember> members)
    : className_(std::move(className)), members_(std::move(members)) {
  std::set<std::pair<DISPID, int>> seen;
  for (const DispMember& m : members_) {
    if (!seen.insert({m.id, static_cast<int>(m.kind)}).second) {
      throw std::invalid_argument(className_ + ": two members with DISPID " + std::to_string(m.id) +
                                  " and kind " + std::string(InvokeKindName(m.kind)));
    }
    for (const DispMember& other : members_) {
      if (other.id == m.id && !EqualsNoCase(other.name, m.name)) {
        throw std::invalid_argument(className_ + ": DISPID " + std::to_string(m.id) +
                                    " named both " + m.name + " and " + other.name);
      }
      if (other.id != m.id && EqualsNoCase(other.name, m.name)) {
        throw std::invalid_argument(className_ + ": " + m.name + " has two DISPIDs");
      }
    }
  }
}

DISPID DispatchTable::IdOf(std::string_view name) const {
  for (const DispMember& m : members_) {
    if (EqualsNoCase(m.name, name)) return m.id;
  }
  return kDispidUnknown;
}

DispResult DispatchTable::Invoke(void* self, DISPID id, InvokeKind kind, Args args) const {
  const DispMember* exact = nullptr;
  const DispMember* getOrCall = nullptr;
  const DispMember* any = nullptr;
  for (const DispMember& m : members_) {
    if (m.id != id) continue;
    any = &m;
    if (m.kind == kind) exact = &m;
    bool readKinds = (kind == InvokeKind::Method && m.kind == InvokeKind::PropertyGet) ||
                     (kind == InvokeKind::PropertyGet && m.kind == InvokeKind::Method);
    if (readKinds) getOrCall = &m;
  }
  if (any == nullptr) {
    return DispResult::Error(DispStatus::MemberNotFound,
                             "Object doesn't support this property or method: " + className_ +
                                 " has no member with DISPID " + std::to_string(id));
  }
  const DispMember* m = exact != nullptr ? exact : getOrCall;
  if (m == nullptr) {
    return DispResult::Error(DispStatus::MemberNotFound,
                             "Object doesn't support this action: " +
                                 std::string(InvokeKindName(kind)) + " " + Where(className_, any->name));
  }
  std::string where = Where(className_, m->name);
  if (m->arity != kAnyArity && args.size() != static_cast<std::size_t>(m->arity)) {
    return DispResult::Error(DispStatus::BadArgCount,
                             "Wrong number of arguments or invalid property assignment: " + where +
                                 " takes " + std::to_string(m->arity) + ", got " +
                                 std::to_string(args.size()));
  }
  try {
    ArgList list(args, where);
    Variant value = m->handler(self, list);
    if (kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef) value = Variant();
    return DispResult::Value(std::move(value));
  } catch (const DispError& e) {
    return DispResult::Error(e.status(), e.what(), e.argIndex());
  } catch (const VariantError& e) {
    return DispResult::Error(e.overflow() ? DispStatus::Overflow : DispStatus::TypeMismatch,
                             std::string(e.what()) + " (" + where + ")");
  } catch (const std::exception& e) {
    return DispResult::Error(DispStatus::Exception, where + ": " + e.what());
  } catch (...) {
    return DispResult::Error(DispStatus::Exception, where + ": unknown failure");
  }
}

// --- ObjectCounter ---------------------------------------------------------

ObjectCounter::ObjectCounter() { ++gLiveObjects; }
ObjectCounter::ObjectCounter(const ObjectCounter&) { ++gLiveObjects; }
ObjectCounter::~ObjectCounter() { --gLiveObjects; }
std::size_t LiveObjectCount() { return gLiveObjects.load(); }

}  // namespace qv::platform
