// The four functions that a shared library serving automation classes exports
// with C linkage, and their result codes.
//
//   extern "C" int32_t DllRegisterServer(void);
//       Writes ProgID -> class id -> this library's path into the registry file
//       for every class the library serves.
//   extern "C" int32_t DllUnregisterServer(void);
//       Removes exactly those entries again.
//   extern "C" int32_t DllGetClassObject(const char* classId, void** factory);
//       Stores in *factory the qv::platform::IClassFactory* of a class id
//       ("{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", any case). The factory
//       belongs to the library and lives as long as it stays loaded.
//   extern "C" int32_t DllCanUnloadNow(void);
//       kResultOk when no object of the library is alive and no lock is held,
//       kResultFalse otherwise.
//
// A library defines all four at once with QV_DEFINE_SERVER_ENTRY_POINTS (see
// platform/server.h).
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define QV_EXPORT __attribute__((visibility("default")))
#else
#define QV_EXPORT
#endif

extern "C" {
typedef std::int32_t (*QvDllRegisterServerFn)(void);
typedef std::int32_t (*QvDllUnregisterServerFn)(void);
typedef std::int32_t (*QvDllGetClassObjectFn)(const char* classId, void** factory);
typedef std::int32_t (*QvDllCanUnloadNowFn)(void);
}

namespace qv::platform {

// Names under which the entry points are looked up in a loaded library.
inline constexpr const char* kDllRegisterServer = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServer = "DllUnregisterServer";
inline constexpr const char* kDllGetClassObject = "DllGetClassObject";
inline constexpr const char* kDllCanUnloadNow = "DllCanUnloadNow";

// Result codes of the entry points, in the usual automation style.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultFalse = 1;
inline constexpr std::int32_t kResultFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kResultPointer = static_cast<std::int32_t>(0x80004003u);
inline constexpr std::int32_t kResultClassNotAvailable = static_cast<std::int32_t>(0x80040111u);
inline constexpr std::int32_t kResultRegistrationFailed = static_cast<std::int32_t>(0x80040201u);

}  // namespace qv::platform
