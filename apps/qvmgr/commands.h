// The commands of qvmgr that drive one source through QVmanager: each opens
// the connection the way a scheduler script does (source, kind, login, then
// the identifiers of one distribution), does its work, reports and closes.
// Each returns the exit status: 0 done, 1 an operation answered false (the
// error state on the error stream), and throws UsageError for a command line
// that cannot be run (exit status 2).
#pragma once

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>

#include "qvmgr/options.h"
#include "qvmgr/output.h"

namespace qv::cli {

struct Context {
  GlobalOptions options;
  Reporter& out;
};

int EnvShow(Context& ctx);
int TargetShow(Context& ctx);
int ModelShow(Context& ctx);
int DistShow(Context& ctx);

// Changes of `dist set`, as typed (UTF-8); unset members stay as stored.
struct DistChanges {
  std::optional<std::string> repriseType;  // "P", "C" or "" (none)
  std::optional<std::string> receiver;
  std::optional<std::string> library;
  std::optional<std::int64_t> point;
  std::optional<std::string> scheduled;  // on|off
  std::optional<std::string> hold;       // on|off
};
int DistSet(Context& ctx, const DistChanges& changes);

// Adds file of library (an AS/400 source file) to the model as a new table
// with the description given, then shows the fields imported.
struct TableAddOptions {
  std::string library, file, description;  // UTF-8 as typed
};
int TableAdd(Context& ctx, const TableAddOptions& options);
// Shows the fields of table (its FICID, or its number) of the model.
int FieldsShow(Context& ctx, const std::string& table);

// Lists objects of an AS/400 source: what is "libraries", "files" (of
// --library, by --type PF or LF; or journaled to --journal), "journals" (of
// --library), "receivers" (of --journal in --library) or "formats" (of
// --file in --library); or the catalogs of an NT source: "dsn" (the data
// sources, of the driver --kind), "databases" (databases or schemas, the
// system ones left out) or "tables" (of --database, matching --mask). Names
// are given as typed (UTF-8).
struct CatalogOptions {
  std::string what, library, type, journal, file, kind, database, mask;
};
int Catalog(Context& ctx, const CatalogOptions& options);

int Start(Context& ctx);
int Stop(Context& ctx);
int Status(Context& ctx);
int ActivityShow(Context& ctx);

struct MessageOptions {
  bool follow = false;
  int interval = 5;  // seconds between reads with follow
};
int Messages(Context& ctx, const MessageOptions& options);

// Registers or unregisters the shared library (libraryPath, or the one
// shipped with the program when empty) in the class registry.
int Register(Context& ctx, const std::string& libraryPath);
int Unregister(Context& ctx, const std::string& libraryPath);

// Reads "on"/"off" (also yes/no, true/false, 1/0, any case); throws
// UsageError naming the option otherwise.
bool OnOff(const std::string& value, const std::string& option);

// Turns SIGINT and SIGTERM into a request to stop, for the life of the
// object, so that a command that repeats itself can end cleanly.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  struct sigaction oldInt_ {}, oldTerm_ {};
};

// Sleeps up to seconds, waking early when an InterruptScope caught an
// interrupt. Returns false when interrupted.
bool SleepUnlessInterrupted(int seconds);

// Returns the job name of a distribution: "S" + environment + "_" + target + model.
std::string JobName(const std::string& env, const std::string& target, const std::string& model);

}  // namespace qv::cli
