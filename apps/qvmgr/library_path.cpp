// Finding the shipped library.
#include "qvmgr/library_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qv::cli {
namespace fs = std::filesystem;

#ifndef QV_BUILD_LIBRARY_PATH
#define QV_BUILD_LIBRARY_PATH ""
#endif

std::string ProgramPath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

LibraryLookup FindShippedLibrary() {
  LibraryLookup out;
  auto consider = [&](const fs::path& candidate) {
    if (candidate.empty()) return false;
    out.tried.push_back(candidate.string());
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) {
      fs::path absolute = fs::absolute(candidate, ec);
      out.path = (ec ? candidate : absolute).lexically_normal().string();
      return true;
    }
    return false;
  };

  if (const char* env = std::getenv(kLibraryEnvironmentVariable); env != nullptr && *env != '\0') {
    consider(env);
    return out;
  }
  const std::string program = ProgramPath();
  if (!program.empty()) {
    const fs::path dir = fs::path(program).parent_path();
    if (consider(dir / kLibraryFileName)) return out;
    if (consider(dir.parent_path() / "lib" / kLibraryFileName)) return out;
  }
  consider(fs::path(QV_BUILD_LIBRARY_PATH));
  return out;
}

}  // namespace qv::cli
