// The client side of automation: creates objects of registered classes by
// loading the library that serves them, and registers libraries.
#pragma once

#include <string>
#include <string_view>

#include "platform/dispatch.h"
#include "platform/status.h"

namespace qv::platform {

struct CreateResult {
  ObjectPtr object;   // set on success
  std::string error;  // what failed otherwise

  bool ok() const { return object != nullptr; }
};

// Looks the ProgID up in the registry file (RegistryPath()), loads the library
// recorded for it, asks its DllGetClassObject for the factory of the class id
// and creates one object. Libraries stay loaded for the rest of the process.
CreateResult CreateObject(std::string_view progId);

// Creates an object of `classId` served by the library at `libraryPath`.
CreateResult CreateObjectFromLibrary(const std::string& libraryPath, const std::string& classId);

// Loads a library and calls its DllRegisterServer / DllUnregisterServer.
Status RegisterLibrary(const std::string& libraryPath);
Status UnregisterLibrary(const std::string& libraryPath);

// Asks a loaded library whether it could be unloaded (DllCanUnloadNow).
// Returns false when it is not loaded or still serves objects.
bool LibraryCanUnloadNow(const std::string& libraryPath);

}  // namespace qv::platform
