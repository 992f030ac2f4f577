// Loads automation libraries with dlopen and calls their entry points.
#include "platform/create_object.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/entry_points.h"
#include "platform/registry.h"
#include "platform/server.h"

namespace qv::platform {
namespace {

std::string Hex(std::int32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
  return buf;
}

// Loaded libraries by path. They are never closed: objects they made may
// outlive any caller's handle.
std::mutex gMutex;
std::map<std::string, void*>& Loaded() {
  static std::map<std::string, void*> loaded;
  return loaded;
}

void* Load(const std::string& path, std::string& error) {
  std::lock_guard lock(gMutex);
  auto it = Loaded().find(path);
  if (it != Loaded().end()) return it->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load the library " + path + ": " + (why != nullptr ? why : "unknown reason");
    return nullptr;
  }
  Loaded().emplace(path, handle);
  return handle;
}

template <class Fn>
Fn Entry(void* handle, const std::string& path, const char* name, std::string& error) {
  ::dlerror();
  void* sym = ::dlsym(handle, name);
  if (sym == nullptr) {
    error = "the library " + path + " has no entry point " + name;
    return nullptr;
  }
  return reinterpret_cast<Fn>(sym);
}

Status CallRegistration(const std::string& path, const char* name) {
  std::string error;
  void* handle = Load(path, error);
  if (handle == nullptr) return Status::Fail(error);
  auto fn = Entry<QvDllRegisterServerFn>(handle, path, name, error);
  if (fn == nullptr) return Status::Fail(error);
  std::int32_t code = fn();
  if (code != kResultOk)
    return Status::Fail(std::string(name) + " of " + path + " failed (code " + Hex(code) + ")");
  return Status::Ok();
}

}  // namespace

CreateResult CreateObjectFromLibrary(const std::string& libraryPath, const std::string& classId) {
  CreateResult r;
  void* handle = Load(libraryPath, r.error);
  if (handle == nullptr) return r;
  auto get = Entry<QvDllGetClassObjectFn>(handle, libraryPath, kDllGetClassObject, r.error);
  if (get == nullptr) return r;
  void* out = nullptr;
  std::int32_t code = get(classId.c_str(), &out);
  if (code != kResultOk || out == nullptr) {
    r.error = "the library " + libraryPath + " does not serve the class " + classId + " (code " +
              Hex(code) + ")";
    return r;
  }
  r.object = static_cast<IClassFactory*>(out)->CreateInstance();
  if (!r.object) r.error = "the class " + classId + " of " + libraryPath + " could not create an object";
  return r;
}

CreateResult CreateObject(std::string_view progId) {
  CreateResult r;
  std::optional<RegistryEntry> entry = LookupProgId(progId, r.error);
  if (!entry) return r;
  r = CreateObjectFromLibrary(entry->libraryPath, entry->classId);
  if (!r.ok()) r.error = "cannot create " + std::string(progId) + ": " + r.error;
  return r;
}

Status RegisterLibrary(const std::string& libraryPath) {
  return CallRegistration(libraryPath, kDllRegisterServer);
}

Status UnregisterLibrary(const std::string& libraryPath) {
  return CallRegistration(libraryPath, kDllUnregisterServer);
}

bool LibraryCanUnloadNow(const std::string& libraryPath) {
  void* handle = nullptr;
  {
    std::lock_guard lock(gMutex);
    auto it = Loaded().find(libraryPath);
    if (it == Loaded().end()) return false;
    handle = it->second;
  }
  std::string error;
  auto fn = Entry<QvDllCanUnloadNowFn>(handle, libraryPath, kDllCanUnloadNow, error);
  return fn != nullptr && fn() == kResultOk;
}

}  // namespace qv::platform
