// The qvmgr commands for transformation programs and end-of-distribution
// scripts: program check, show and store for a table of a model; endscript
// show and store for a distribution.
#pragma once

#include <string>

#include "qvmgr/commands.h"

namespace qv::cli {

struct ProgramOptions {
  std::string table;                       // the table's number (FICID)
  std::string declarations, instructions;  // files of the two texts (UTF-8)
  std::string place;                       // LIEU; empty: the kind's own
  int count = 0;                           // program store on AS/400 sources
};

// Checks the two texts: offline with the language of --type (AS400 by
// default), or against the table's fields when --source is given. Prints
// "FILE:LINE:COL: error: TEXT" a line; exit 1 when any error.
int ProgramCheck(Context& ctx, const ProgramOptions& options);
// Shows the two texts of the table's program (its default program when none
// is stored).
int ProgramShow(Context& ctx, const ProgramOptions& options);
// Checks, then stores the program of the table; nothing is sent when the
// check finds an error.
int ProgramStore(Context& ctx, const ProgramOptions& options);

struct EndScriptOptions {
  std::string place = "T";  // LIEU
  std::string file;         // endscript store: the script (UTF-8)
};
// Shows the end script of the distribution as the editor's rich text.
int EndScriptShow(Context& ctx, const EndScriptOptions& options);
// Replaces the end script of the distribution with the file's lines.
int EndScriptStore(Context& ctx, const EndScriptOptions& options);

}  // namespace qv::cli
