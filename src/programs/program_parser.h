// Reading the program texts the user edits: each line becomes an editor
// record (a statement in its stored form, or a text line), and every fault of
// the text is reported with its line and column and the message of the
// string table in the user's language.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

namespace qv {

// A field of a buffer, as the checker and the compiled form need it.
struct BufferField {
  std::string name;      // without the buffer prefix, upper-cased
  std::string type;      // type code ("C", "P", "XN", ...) or declared letter
  long long length = 0;
  long long decimals = 0;
  long long position = 0;  // 1-based start in its buffer
};

// Returns the fields of QV_ZX records: names, types, lengths and their
// start in the input record (POS_IN).
std::vector<BufferField> BufferFieldsFromZX(const std::vector<Record>& fields);

// What the checker knows of the buffers besides the declarations. A list
// left empty (nullopt) is not known: any field of that buffer is accepted.
struct ProgramFields {
  std::optional<std::vector<BufferField>> table;   // I., B. (and O. when not declared)
  std::optional<std::vector<BufferField>> system;  // S.; unknown: the kind's system field names
  // Fields of reference files by "LIBRARY/FILE"; a file not listed is not known.
  std::map<std::string, std::vector<BufferField>> files;
  bool filesKnown = false;  // true: a file not listed does not exist (message 1366)
};

// Returns the system field names of a source kind.
const std::vector<std::string>& SystemFieldNames(bool as400);

enum class ProgramSection { Declarations, Instructions };

struct ProgramDiagnostic {
  ProgramSection section = ProgramSection::Declarations;
  int line = 0;    // 1-based within its text
  int column = 0;  // 1-based
  int id = 0;      // message of the string table
  std::string text;
  bool warning = false;
};

struct ParsedProgram {
  std::string declarations;  // 180-character records
  std::string instructions;  // 176-character records
  std::vector<ProgramDiagnostic> diagnostics;
  bool HasErrors() const;
};

// Parses and checks both texts (lines separated by CR LF or LF). A line in
// fault is kept as a text record ("$") so that nothing of it is lost.
ParsedProgram ParseProgram(std::string_view declarations, std::string_view instructions, bool as400,
                           const ProgramFields& fields = {});

// Longest text a line may carry after its indentation (message 1291 beyond).
inline constexpr std::size_t kDeclLineMax = 175;
inline constexpr std::size_t kInstLineMax = 172;

}  // namespace qv
