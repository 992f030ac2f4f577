// qvmgr demo: creates a fresh embedded demo store and walks a scheduler's
// road through QVmanager, step by step, ending with the commands that do the
// same by hand.
#pragma once

#include <string>

#include "dllparam/embedded/store_schema.h"
#include "qvmgr/commands.h"

namespace qv::cli {

struct DemoOptions {
  std::string kind = "AS400";  // AS400, ODBC, SQLSERVER or ORACLE
  std::string dir;             // folder of the store; a new temporary one when empty
  int polls = 3;               // activity reads while the job runs
  int pollSeconds = 1;
};

// Creates the demo store of kind at path, replacing one there, with the
// master user's password (UTF-8). Throws std::exception on failure.
void WriteDemoStore(const std::string& path, embedded::SourceKind kind, const std::string& password);

// Returns 0 when the road could be walked (steps that the source refused are
// told as such), 1 when the store could not be made or the connection not
// opened; throws UsageError for an unknown kind.
int Demo(Context& ctx, const DemoOptions& options);

}  // namespace qv::cli
