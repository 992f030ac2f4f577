// The operations of the record-access library as data, for code that treats
// every operation the same way (forwarding, tracing, recording, the wire
// protocol): the table of operations with their parameters, and DllParamCall,
// one call of an operation with references to its arguments.
//
//   DllParamCall call = DllParamCall::Of<DllParamOp::Rreadk>(h, rec, len, opts, key, keyLen);
//   call.name();            // "Rreadk"
//   call.Buffer(1);         // rec
//   call.RunOn(otherLib);   // otherLib.Rreadk(h, rec, len, opts, key, keyLen)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "connection/dllparam.h"

namespace qv {

// One value per operation of DllParam, in the order of dllparam_ops.def.
enum class DllParamOp : uint8_t {
#define DLLPARAM_OP(Name, Code, Params, Args) Name,
#include "connection/dllparam_ops.def"
};

namespace dllparam {

// How a parameter is passed (the DP_ kinds of dllparam_ops.def).
enum class ArgKind : uint8_t {
  Number,       // int32_t
  NumberOut,    // int32_t&, written by the call
  NumberInOut,  // int32_t&, read and written
  Handle,       // int32_t file or statement handle
  HandleOut,    // int32_t&, a handle handed out
  HandleInOut,  // int32_t&, a handle that the call may replace
  Text,         // const std::string&
  Buffer,       // std::string&, an output buffer
  BufferInOut,  // std::string&, the request, replaced by the answer
};

// Tells whether the argument is an int32_t (else a std::string).
constexpr bool IsNumeric(ArgKind k) { return k <= ArgKind::HandleInOut; }
constexpr bool IsHandle(ArgKind k) {
  return k == ArgKind::Handle || k == ArgKind::HandleOut || k == ArgKind::HandleInOut;
}
// Tells whether the call may write the argument.
constexpr bool IsWritten(ArgKind k) {
  return k != ArgKind::Number && k != ArgKind::Handle && k != ArgKind::Text;
}
// Tells whether the call reads the argument's value on entry (an output
// buffer's size only counts, not its contents).
constexpr bool IsReadIn(ArgKind k) {
  return k != ArgKind::NumberOut && k != ArgKind::HandleOut && k != ArgKind::Buffer;
}

struct Parameter {
  ArgKind kind;
  const char* name;
};

struct Operation {
  DllParamOp op;
  const char* name;   // the member's name
  uint8_t wireCode;   // its code on the wire; 0 for a local operation
  std::span<const Parameter> params;
};

// The parameters of each operation, by its name: parameters::Rreadk[1] is
// {ArgKind::Buffer, "rec"}.
namespace parameters {

template <class... P>
constexpr std::array<Parameter, sizeof...(P)> Make(P... params) {
  return {params...};
}

#define DP_NUMBER(n) Parameter{ArgKind::Number, #n}
#define DP_NUMBER_OUT(n) Parameter{ArgKind::NumberOut, #n}
#define DP_NUMBER_INOUT(n) Parameter{ArgKind::NumberInOut, #n}
#define DP_HANDLE(n) Parameter{ArgKind::Handle, #n}
#define DP_HANDLE_OUT(n) Parameter{ArgKind::HandleOut, #n}
#define DP_HANDLE_INOUT(n) Parameter{ArgKind::HandleInOut, #n}
#define DP_TEXT(n) Parameter{ArgKind::Text, #n}
#define DP_BUFFER(n) Parameter{ArgKind::Buffer, #n}
#define DP_BUFFER_INOUT(n) Parameter{ArgKind::BufferInOut, #n}
#define DLLPARAM_OP(Name, Code, Params, Args) inline constexpr auto Name = Make Params;
#include "connection/dllparam_ops.def"

}  // namespace parameters

// Every operation, in the order of DllParamOp.
inline constexpr Operation kOperations[] = {
#define DLLPARAM_OP(Name, Code, Params, Args) \
  Operation{DllParamOp::Name, #Name, Code, parameters::Name},
#include "connection/dllparam_ops.def"
};

constexpr const Operation& OperationOf(DllParamOp op) { return kOperations[static_cast<std::size_t>(op)]; }
constexpr std::span<const Operation> Operations() { return kOperations; }

// The largest number of parameters of an operation.
inline constexpr std::size_t kMaxArgs = [] {
  std::size_t most = 0;
  for (const Operation& o : kOperations) most = o.params.size() > most ? o.params.size() : most;
  return most;
}();

// A reference to something callable as int32_t(), valid while it lives: the
// way to run one call.
class RunRef {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, RunRef> && std::is_invocable_r_v<int32_t, F&>)
  RunRef(F&& f)  // NOLINT: converts from any callable on purpose
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* object) -> int32_t { return (*static_cast<std::remove_reference_t<F>*>(object))(); }) {}

  int32_t operator()() const { return call_(object_); }

 private:
  void* object_;
  int32_t (*call_)(void*);
};

}  // namespace dllparam

// One call of an operation: the operation and references to its arguments,
// in the operation's order. It does not own them and must not outlive them.
class DllParamCall {
 public:
  // Refers to the arguments of operation Op, as its member receives them.
  template <DllParamOp Op, class... A>
  static DllParamCall Of(A&... args) {
    static_assert(Fits<A...>(dllparam::OperationOf(Op).params),
                  "the arguments do not have the operation's parameter types");
    const std::array<void*, sizeof...(A)> at{Address(args)...};
    return DllParamCall(Op, at);
  }

  // Refers to arguments given by address, in the operation's order: an
  // int32_t for a numeric kind, a std::string for the others.
  DllParamCall(DllParamOp op, std::span<void* const> args) : op_(op), count_(args.size()) {
    for (std::size_t i = 0; i < count_ && i < args_.size(); ++i) args_[i] = args[i];
  }

  DllParamOp op() const { return op_; }
  const dllparam::Operation& info() const { return dllparam::OperationOf(op_); }
  const char* name() const { return info().name; }
  std::size_t size() const { return count_; }
  dllparam::ArgKind kind(std::size_t i) const { return info().params[i].kind; }
  const char* argName(std::size_t i) const { return info().params[i].name; }

  // Returns the position of the argument called name, if there is one.
  std::optional<std::size_t> Find(std::string_view name) const {
    for (std::size_t i = 0; i < count_; ++i)
      if (name == argName(i)) return i;
    return std::nullopt;
  }

  // Argument i of a numeric kind (for a number passed by value, the member's
  // own copy).
  int32_t& Number(std::size_t i) const { return *static_cast<int32_t*>(args_[i]); }
  // Argument i of a text or buffer kind.
  const std::string& Text(std::size_t i) const { return *static_cast<const std::string*>(args_[i]); }
  // Argument i of a buffer kind.
  std::string& Buffer(std::size_t i) const { return *static_cast<std::string*>(args_[i]); }

  // Calls the same operation on lib with these arguments.
  int32_t RunOn(DllParam& lib) const {
    switch (op_) {
#define DLLPARAM_OP(Name, Code, Params, Args) \
  case DllParamOp::Name: return Apply(lib, &DllParam::Name);
#include "connection/dllparam_ops.def"
    }
    return 0;
  }

  // Calls member of object with these arguments; the member takes the
  // operation's parameters.
  template <class T, class... P>
  int32_t Apply(T& object, int32_t (T::*member)(P...)) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return (object.*member)(Get<P>(I)...);
    }(std::index_sequence_for<P...>{});
  }

 private:
  template <class A>
  static void* Address(A& arg) {
    return const_cast<void*>(static_cast<const void*>(&arg));
  }

  template <class A>
  static constexpr bool FitsOne(dllparam::ArgKind kind) {
    using Bare = std::remove_const_t<A>;
    if (dllparam::IsNumeric(kind)) return std::is_same_v<Bare, int32_t>;
    return std::is_same_v<Bare, std::string> && (kind == dllparam::ArgKind::Text || !std::is_const_v<A>);
  }

  template <class... A>
  static constexpr bool Fits(std::span<const dllparam::Parameter> params) {
    if (params.size() != sizeof...(A)) return false;
    std::size_t i = 0;
    return (FitsOne<A>(params[i++].kind) && ...);
  }

  // Returns argument i as parameter type P.
  template <class P>
  P Get(std::size_t i) const {
    using Bare = std::remove_cvref_t<P>;
    if constexpr (std::is_lvalue_reference_v<P>) {
      return *static_cast<Bare*>(args_[i]);
    } else {
      return *static_cast<const Bare*>(args_[i]);
    }
  }

  DllParamOp op_;
  std::size_t count_;
  std::array<void*, dllparam::kMaxArgs> args_{};
};

}  // namespace qv
