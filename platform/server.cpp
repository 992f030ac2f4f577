// Keeps the class table of a module and answers its four entry points.
#include "platform/server.h"

#include <dlfcn.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/ascii.h"
#include "platform/registry.h"

namespace qv::platform {
namespace {

std::atomic<int> gLocks{0};

class TableFactory : public IClassFactory {
 public:
  explicit TableFactory(std::function<ObjectPtr()> create) : create_(std::move(create)) {}
  ObjectPtr CreateInstance() override {
    try {
      return create_();
    } catch (...) {
      return nullptr;
    }
  }
  void LockServer(bool lock) override {
    if (lock) {
      ++gLocks;
    } else if (gLocks.load() > 0) {
      --gLocks;
    }
  }

 private:
  std::function<ObjectPtr()> create_;
};

struct ClassEntry {
  ClassInfo info;
  TableFactory factory;
};

std::mutex gMutex;
std::vector<std::unique_ptr<ClassEntry>>& Classes() {
  static std::vector<std::unique_ptr<ClassEntry>> classes;
  return classes;
}

// Runs the module's class list once; false when it failed.
bool EnsureClasses(void (*init)()) {
  static std::once_flag once;
  try {
    std::call_once(once, [init] {
      if (init != nullptr) init();
    });
    return true;
  } catch (const std::exception& e) {
    std::cerr << "automation server: cannot list the classes: " << e.what() << "\n";
    return false;
  }
}

std::vector<RegistryEntry> EntriesOf(const std::string& path) {
  std::vector<RegistryEntry> entries;
  for (const ClassInfo& c : ModuleClasses()) entries.push_back({c.progId, c.classId, path});
  return entries;
}

}  // namespace

bool IsClassId(std::string_view t) {
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
  if (t.size() != 38 || t.front() != '{' || t.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    bool dash = (i == 9 || i == 14 || i == 19 || i == 24);
    if (dash ? t[i] != '-' : !std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
  }
  return true;
}

void AddClass(ClassInfo info) {
  if (!IsClassId(info.classId))
    throw std::invalid_argument("malformed class id \"" + info.classId + "\"");
  if (info.progId.empty() || info.progId.find_first_of(" \t\r\n") != std::string::npos)
    throw std::invalid_argument("malformed ProgID \"" + info.progId + "\"");
  if (!info.create) throw std::invalid_argument("no constructor for " + info.progId);
  std::lock_guard lock(gMutex);
  for (const auto& c : Classes()) {
    if (EqualsNoCase(c->info.classId, info.classId) || EqualsNoCase(c->info.progId, info.progId))
      throw std::invalid_argument("class " + info.progId + " " + info.classId + " is already served");
  }
  auto create = info.create;
  Classes().push_back(std::make_unique<ClassEntry>(ClassEntry{std::move(info), TableFactory(create)}));
}

std::vector<ClassInfo> ModuleClasses() {
  std::lock_guard lock(gMutex);
  std::vector<ClassInfo> out;
  for (const auto& c : Classes()) out.push_back(c->info);
  return out;
}

IClassFactory* FindClassFactory(std::string_view classId) {
  std::lock_guard lock(gMutex);
  for (const auto& c : Classes()) {
    if (EqualsNoCase(c->info.classId, classId)) return &c->factory;
  }
  return nullptr;
}

void ClearModuleClasses() {
  std::lock_guard lock(gMutex);
  Classes().clear();
}

int ServerLockCount() { return gLocks.load(); }

std::string ModulePath(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0')
    return "";
  char resolved[PATH_MAX];
  if (::realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

std::int32_t ServeRegisterServer(void (*init)(), const void* moduleAddress) {
  if (!EnsureClasses(init)) return kResultFail;
  std::string path = ModulePath(moduleAddress);
  if (path.empty()) {
    std::cerr << "DllRegisterServer: cannot tell the path of the library\n";
    return kResultRegistrationFailed;
  }
  Status s = RegisterEntries(EntriesOf(path));
  if (!s.ok()) {
    std::cerr << "DllRegisterServer: " << s.error << "\n";
    return kResultRegistrationFailed;
  }
  return kResultOk;
}

std::int32_t ServeUnregisterServer(void (*init)(), const void* moduleAddress) {
  if (!EnsureClasses(init)) return kResultFail;
  Status s = UnregisterEntries(EntriesOf(ModulePath(moduleAddress)));
  if (!s.ok()) {
    std::cerr << "DllUnregisterServer: " << s.error << "\n";
    return kResultRegistrationFailed;
  }
  return kResultOk;
}

std::int32_t ServeGetClassObject(void (*init)(), const char* classId, void** factory) {
  if (factory == nullptr) return kResultPointer;
  *factory = nullptr;
  if (!EnsureClasses(init)) return kResultFail;
  if (classId == nullptr) return kResultClassNotAvailable;
  IClassFactory* f = FindClassFactory(classId);
  if (f == nullptr) return kResultClassNotAvailable;
  *factory = f;
  return kResultOk;
}

std::int32_t ServeCanUnloadNow(void (*init)()) {
  if (!EnsureClasses(init)) return kResultFalse;
  return (LiveObjectCount() == 0 && ServerLockCount() == 0) ? kResultOk : kResultFalse;
}

}  // namespace qv::platform
