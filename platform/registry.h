// The class registry of the host: which library serves which class, found by
// ProgID. It is a text file, one entry a line, three fields split by a tab:
//
//   # qvmgr class registry: ProgID <TAB> class id <TAB> library path
//   QVmgr_dll.QVmanager	{8D1F6A20-...}	/opt/qvmgr/lib/libQVmgr_dll.so
//
// Lines starting with "#" and blank lines are comments. Lines that cannot be
// read are kept as they stand when the file is rewritten. Writers take an
// exclusive lock on "<file>.lock", write "<file>.tmp.<pid>" and rename it over
// the file, so readers always see a whole file and no writer loses another's
// entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace qv::platform {

struct RegistryEntry {
  std::string progId;
  std::string classId;
  std::string libraryPath;

  friend bool operator==(const RegistryEntry&, const RegistryEntry&) = default;
};

// Returns the registry file: $QV_REGISTRY when set, else
// $XDG_CONFIG_HOME/qvmgr/registry, else ~/.config/qvmgr/registry.
std::string RegistryPath();

struct RegistryContents {
  std::vector<RegistryEntry> entries;
  std::vector<std::string> badLines;  // "line 4: ..." for lines that were skipped
};

// Reads the registry. A missing file is an empty registry; a file that cannot
// be read gives an error.
Status ReadRegistry(const std::string& path, RegistryContents& out);

// Adds or replaces entries: an entry replaces the one with the same ProgID
// (any case) or the same class id. Fails, writing nothing, when an entry has
// an empty field, a tab or a line break in a field, a ProgID with blanks, or a
// malformed class id.
Status RegisterEntries(const std::vector<RegistryEntry>& entries,
                       const std::string& path = RegistryPath());

// Removes the entries with the ProgID and class id of each given entry and
// leaves every other line as it stands.
Status UnregisterEntries(const std::vector<RegistryEntry>& entries,
                         const std::string& path = RegistryPath());

// Finds the entry of a ProgID (any case). Returns nullopt and sets `error`
// when the ProgID is not registered or the file cannot be read.
std::optional<RegistryEntry> LookupProgId(std::string_view progId, std::string& error,
                                          const std::string& path = RegistryPath());

}  // namespace qv::platform
