// Finds the shared library QVmgr_dll that this program ships with, for
// registration and for the automation host's first use.
#pragma once

#include <string>
#include <vector>

namespace qv::cli {

// Name of the variable that names the library explicitly.
inline constexpr const char* kLibraryEnvironmentVariable = "QV_LIBRARY";
// File name of the library.
inline constexpr const char* kLibraryFileName = "libQVmgr_dll.so";

struct LibraryLookup {
  std::string path;                 // the library found, "" when none
  std::vector<std::string> tried;   // the places looked at, in order
};

// Looks for the library: $QV_LIBRARY when set (and only there), else next to
// this program, in ../lib beside it, and in the build tree it was built in.
LibraryLookup FindShippedLibrary();

// Returns the absolute path of this program, or "".
std::string ProgramPath();

}  // namespace qv::cli
