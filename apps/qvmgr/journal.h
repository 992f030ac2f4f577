// `qvmgr journal`: journalisation of a SQL Server database or an Oracle
// schema through QVmanager's journal members, with a dry run that prints the
// statements instead of sending them.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "qvmgr/commands.h"

namespace qv::cli {

// What `journal ...` was asked, as typed (UTF-8).
struct JournalOptions {
  std::string action;       // create, status, path, remove; "table" for the table commands
  std::string tableAction;  // start, stop, status
  std::string table;
  std::string database;     // --database: the SQL Server database or Oracle schema
  std::string directory;    // --dir of create
  std::optional<int> maxlen;  // --maxlen: the length of every long text column captured
  std::optional<int> waitMs;  // --wait: the pause after create and remove
  bool dryRun = false;
};

// Adds the command `journal` and its subcommands to app; the returned
// command tells by parsed() whether it was given.
CLI::App* AddJournalCommand(CLI::App& app, JournalOptions& options);

// Runs the journal command; returns the exit status.
int Journal(Context& ctx, const JournalOptions& options);

}  // namespace qv::cli
