// Late-bound calls: the dispatch interface that automation objects offer, the
// result of a call, the caller's helpers and a table that declares the members
// of a class in one place.
//
//   const DispatchTable& Counter::Table() {
//     static const DispatchTable table = MakeDispatchTable<Counter>("Counter", {
//         {"Value", 1, InvokeKind::PropertyGet, 0, [](Counter& c, ArgList&) { return c.value; }},
//         {"Value", 1, InvokeKind::PropertyPut, 1,
//          [](Counter& c, ArgList& a) { c.value = a.Long(0); return Variant(); }},
//         {"Swap", 2, InvokeKind::Method, 1, [](Counter& c, ArgList& a) {
//            std::int32_t old = c.value; c.value = a.Long(0); a.Set(0, old); return Variant(true); }},
//     });
//     return table;
//   }
//   class Counter : public DispatchObject<Counter> { ... };
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace qv::platform {

using DISPID = std::int32_t;
inline constexpr DISPID kDispidUnknown = -1;
inline constexpr DISPID kDispidValue = 0;  // the default member

// How a member is called. The values are bit flags as script hosts pass them.
enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

// Returns "method", "get", "put" or "putref".
std::string_view InvokeKindName(InvokeKind kind);
// Reads "method", "get", "put" or "putref" (any case).
std::optional<InvokeKind> InvokeKindFromName(std::string_view name);

// Outcome of a late-bound call.
enum class DispStatus {
  Ok,
  UnknownName,     // no member of that name
  MemberNotFound,  // no member of that DISPID, or not callable that way
  BadArgCount,     // wrong number of arguments
  TypeMismatch,    // an argument of the wrong kind
  Overflow,        // a number out of range
  Exception,       // the member failed; the text says why
};

// Returns the 32-bit code of a status in the usual automation style
// (0 for Ok, 0x8002xxxx otherwise).
std::int32_t StatusCode(DispStatus status);
// Returns the short name of a status: "Ok", "UnknownName", ...
std::string_view StatusName(DispStatus status);

struct DispResult {
  DispStatus status = DispStatus::Ok;
  std::string text;   // what went wrong, empty on success
  Variant value;      // the member's result (Empty for puts)
  int argIndex = -1;  // argument at fault (0-based, caller's order), or -1

  bool ok() const { return status == DispStatus::Ok; }
  static DispResult Value(Variant v) { return DispResult{DispStatus::Ok, {}, std::move(v), -1}; }
  static DispResult Error(DispStatus s, std::string text, int argIndex = -1) {
    return DispResult{s, std::move(text), Variant(), argIndex};
  }
};

// Arguments of a call in the caller's order; a put's value comes last. The
// callee may write into them: that is how by-reference results come back.
using Args = std::span<Variant>;

class IDispatch {
 public:
  virtual ~IDispatch() = default;
  // Returns the DISPID of a member name (any case), or kDispidUnknown.
  virtual DISPID GetIDsOfNames(std::string_view name) const = 0;
  // Calls a member. Never throws: every failure comes back in the result.
  virtual DispResult Invoke(DISPID id, InvokeKind kind, Args args) = 0;
  // Returns the class name used in messages.
  virtual std::string_view ClassName() const { return "Object"; }
};

// Resolves `name` then invokes it; an unknown name gives UnknownName.
DispResult InvokeByName(IDispatch& object, std::string_view name, InvokeKind kind, Args args);
DispResult CallMethod(IDispatch& object, std::string_view name, Args args = {});
DispResult GetProperty(IDispatch& object, std::string_view name);
DispResult PutProperty(IDispatch& object, std::string_view name, Variant value);
DispResult PutPropertyRef(IDispatch& object, std::string_view name, Variant value);

// Thrown by member handlers (and by ArgList) to end a call with a status.
class DispError : public std::runtime_error {
 public:
  DispError(DispStatus status, const std::string& text, int argIndex = -1)
      : std::runtime_error(text), status_(status), argIndex_(argIndex) {}
  DispStatus status() const { return status_; }
  int argIndex() const { return argIndex_; }

 private:
  DispStatus status_;
  int argIndex_;
};

// Gives a member handler its arguments converted to the kinds it needs. A
// conversion that fails throws DispError naming the argument and the member.
class ArgList {
 public:
  ArgList(Args args, std::string_view member) : args_(args), member_(member) {}

  std::size_t size() const { return args_.size(); }
  Variant& operator[](std::size_t i) { return args_[i]; }
  const Variant& operator[](std::size_t i) const { return args_[i]; }

  bool Bool(std::size_t i) const;
  std::int32_t Long(std::size_t i) const;
  float Single(std::size_t i) const;
  double Double(std::size_t i) const;
  std::string String(std::size_t i) const;
  ObjectPtr Object(std::size_t i) const;
  // Returns the object argument as a T, TypeMismatch when it is another class
  // or Nothing.
  template <class T>
  std::shared_ptr<T> ObjectAs(std::size_t i) const {
    auto p = std::dynamic_pointer_cast<T>(Object(i));
    if (!p) Fail(i, "expected an object of another class");
    return p;
  }
  // Writes a by-reference result back into argument i.
  void Set(std::size_t i, Variant value) { args_[i] = std::move(value); }
  // Ends the call with BadArgCount unless size() is within [min, max].
  void Require(std::size_t min, std::size_t max) const;

 private:
  [[noreturn]] void Fail(std::size_t i, const std::string& why) const;
  template <class F>
  auto Convert(std::size_t i, F f) const -> decltype(f(std::declval<const Variant&>()));

  Args args_;
  std::string_view member_;
};

// Arity that accepts any number of arguments (the handler checks them).
inline constexpr int kAnyArity = -1;

// One member of a class: name, DISPID, kind, number of arguments (a put counts
// its value) and the handler, which gets the object as `void*`.
struct DispMember {
  std::string name;
  DISPID id;
  InvokeKind kind;
  int arity;
  std::function<Variant(void* self, ArgList& args)> handler;
};

// The members of one class, looked up by name (any case) and by DISPID.
// A call by Method finds a PropertyGet of the same DISPID and the other way
// round, as script hosts expect.
class DispatchTable {
 public:
  // Throws std::invalid_argument when two rows share a DISPID and kind, or a
  // DISPID carries two names.
  DispatchTable(std::string className, std::vector<DispMember> members);

  const std::string& className() const { return className_; }
  const std::vector<DispMember>& members() const { return members_; }
  DISPID IdOf(std::string_view name) const;
  // Runs the member on `self`; catches every fault of the handler.
  DispResult Invoke(void* self, DISPID id, InvokeKind kind, Args args) const;

 private:
  std::string className_;
  std::vector<DispMember> members_;
};

// A row of a table of class T, with a typed handler.
template <class T>
struct MemberOf {
  std::string name;
  DISPID id;
  InvokeKind kind;
  int arity;
  std::function<Variant(T& self, ArgList& args)> handler;
};

template <class T>
DispatchTable MakeDispatchTable(std::string className, std::initializer_list<MemberOf<T>> rows) {
  std::vector<DispMember> members;
  members.reserve(rows.size());
  for (const MemberOf<T>& row : rows) {
    auto fn = row.handler;
    members.push_back(DispMember{row.name, row.id, row.kind, row.arity,
                                 [fn](void* self, ArgList& a) { return fn(*static_cast<T*>(self), a); }});
  }
  return DispatchTable(std::move(className), std::move(members));
}

// Counts the automation objects alive in this module, so that the module can
// tell whether it may be unloaded. Automation classes hold one.
class ObjectCounter {
 public:
  ObjectCounter();
  ObjectCounter(const ObjectCounter&);
  ObjectCounter& operator=(const ObjectCounter&) = default;
  ~ObjectCounter();
};
std::size_t LiveObjectCount();

// Implements IDispatch for a class T that has `static const DispatchTable& Table();`.
template <class T>
class DispatchObject : public IDispatch {
 public:
  DISPID GetIDsOfNames(std::string_view name) const override { return T::Table().IdOf(name); }
  DispResult Invoke(DISPID id, InvokeKind kind, Args args) override {
    return T::Table().Invoke(static_cast<T*>(this), id, kind, args);
  }
  std::string_view ClassName() const override { return T::Table().className(); }

 private:
  ObjectCounter counter_;
};

}  // namespace qv::platform
