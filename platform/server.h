// Serves automation classes from a module: class factories, the module's class
// table, and the bodies of the four exported entry points.
//
// A library lists its classes in one function and exports the entry points:
//
//   void RegisterMyClasses() {
//     qv::platform::AddClass({"{...}", "MyLib.Thing", [] { return std::make_shared<Thing>(); }});
//   }
//   QV_DEFINE_SERVER_ENTRY_POINTS(RegisterMyClasses)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"
#include "platform/entry_points.h"
#include "platform/status.h"

namespace qv::platform {

// Creates the objects of one class.
class IClassFactory {
 public:
  virtual ~IClassFactory() = default;
  // Returns a new object, or nullptr when it cannot be made. Never throws.
  virtual ObjectPtr CreateInstance() = 0;
  // Keeps the module loaded while a client holds a lock.
  virtual void LockServer(bool lock) = 0;
};

struct ClassInfo {
  std::string classId;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
  std::string progId;   // "Library.Class"
  std::function<ObjectPtr()> create;
};

// Returns true when `text` has the shape of a class id (braces, hex digits).
bool IsClassId(std::string_view text);

// Adds a class to this module's class table. Throws std::invalid_argument when
// the class id is malformed, the ProgID is empty or holds blanks, or either is
// already in the table.
void AddClass(ClassInfo info);
// Returns the classes of this module in the order they were added.
std::vector<ClassInfo> ModuleClasses();
// Returns the factory of a class id (any case), or nullptr.
IClassFactory* FindClassFactory(std::string_view classId);
// Empties the class table (tests).
void ClearModuleClasses();

// Number of LockServer(true) calls not yet undone.
int ServerLockCount();

// Returns the absolute path of the loaded file (library or program) that
// holds `address`, or "" when it cannot be told.
std::string ModulePath(const void* address);

// Bodies of the entry points. `init` adds the module's classes; it runs once.
// `moduleAddress` is any address inside the module (an entry point itself).
std::int32_t ServeRegisterServer(void (*init)(), const void* moduleAddress);
std::int32_t ServeUnregisterServer(void (*init)(), const void* moduleAddress);
std::int32_t ServeGetClassObject(void (*init)(), const char* classId, void** factory);
std::int32_t ServeCanUnloadNow(void (*init)());

}  // namespace qv::platform

// Defines the four exported entry points of a library whose classes are added
// by the function `init` (void init()).
#define QV_DEFINE_SERVER_ENTRY_POINTS(init)                                                 \
  extern "C" QV_EXPORT std::int32_t DllRegisterServer(void) {                               \
    return ::qv::platform::ServeRegisterServer(&init,                                       \
                                               reinterpret_cast<const void*>(&DllRegisterServer)); \
  }                                                                                         \
  extern "C" QV_EXPORT std::int32_t DllUnregisterServer(void) {                             \
    return ::qv::platform::ServeUnregisterServer(                                           \
        &init, reinterpret_cast<const void*>(&DllUnregisterServer));                        \
  }                                                                                         \
  extern "C" QV_EXPORT std::int32_t DllGetClassObject(const char* classId, void** factory) { \
    return ::qv::platform::ServeGetClassObject(&init, classId, factory);                    \
  }                                                                                         \
  extern "C" QV_EXPORT std::int32_t DllCanUnloadNow(void) {                                 \
    return ::qv::platform::ServeCanUnloadNow(&init);                                        \
  }
