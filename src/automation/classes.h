// The classes that the library serves: their class ids and ProgIDs.
#pragma once

namespace qv::automation {

inline constexpr const char* kQVmanagerClassId = "{7E3A2C10-5B4D-4E8F-9A61-0C2D3E4F5A01}";
inline constexpr const char* kQVmanagerProgId = "QVmgr_dll.QVmanager";
inline constexpr const char* kActivityClassId = "{7E3A2C10-5B4D-4E8F-9A61-0C2D3E4F5A02}";
inline constexpr const char* kActivityProgId = "QVmgr_dll.Activity";

// Adds QVmanager and Activity to this module's class table (the table that
// the entry points DllRegisterServer ... DllCanUnloadNow serve).
void AddLibraryClasses();

}  // namespace qv::automation
