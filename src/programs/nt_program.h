// The compiled form of a program that the engine of NT sources runs: every
// instruction with its operands resolved to buffer positions and its
// branches to distances in lines, the constants stored once each.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "programs/program_lines.h"
#include "programs/program_parser.h"

namespace qv {

// A program that cannot be compiled; the message is the user's text.
class ProgramCompileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fields of each buffer ('I', 'B', 'O', 'S', 'W', 'V') with their
// positions, as the compiled form addresses them.
using NtBuffers = std::map<char, std::vector<BufferField>>;

// Returns the buffers of a program: I. and B. are the table's fields (at
// their start in the record), O. the declared output fields (the table's
// when none is declared), W. and V. the declared work fields, each buffer's
// declared fields one after the other in declaration order (a BASED field
// at its place in the field it overlays), and S. the system buffer.
NtBuffers ProgramBuffers(const std::vector<ProgramLine>& lines, const std::vector<BufferField>& table);

// The system buffer of NT sources: its fields, all text, one after another.
const std::vector<BufferField>& NtSystemBuffer();

// Compiles the instruction lines ("i"; "j" lines are skipped) of a program:
//   constants first, each once:  "00" line descriptor value
//   then each statement:         engine code, line, descriptors [condition] [target]
//   and a last                   "01" line "Y 00000" (select the record)
// where a descriptor is 14 characters (buffer, position 5, type, length 5,
// decimals 2) and a target "Y 00000", "S 00000", "E 00000" or "/", "-" or
// "+", and the distance in lines in 5 digits. Line numbers run from 1.
// Throws ProgramCompileError for more than 1000 tags, a tag not defined, an
// operand that names no field, or a statement the engine does not run
// (CALLX, the READ statements).
std::vector<std::string> CompileNtProgram(const std::vector<ProgramLine>& lines, const NtBuffers& buffers);

}  // namespace qv
