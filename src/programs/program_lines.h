// Transformation programs as the store keeps them: the stored declaration and
// instruction forms of a QV_TX line's INST, the editor's fixed-width program
// records, the rendering of stored lines back into the two texts the user
// edits, and the default program of a table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

namespace qv {

// Widths of the program forms.
inline constexpr std::size_t kDeclRecordWidth = 180;  // editor record of a declaration line
inline constexpr std::size_t kInstRecordWidth = 176;  // editor record of an instruction line
inline constexpr std::size_t kStoredDeclWidth = 112;
inline constexpr std::size_t kStoredInstWidth = 172;
inline constexpr std::size_t kLineContentWidth = 175;  // INST of a QV_TX line
inline constexpr std::size_t kOperandWidth = 45;
inline constexpr std::size_t kTagWidth = 30;
inline constexpr std::size_t kFieldNameWidth = 32;
inline constexpr std::size_t kMaxTags = 1000;

// A declaration as stored: a field of a buffer, or a reference file (type '$':
// name is the alias, based the "Library/File").
struct StoredDecl {
  std::string name;         // with its buffer prefix, "W.TOTAL"
  char type = 'C';          // C B Z P F (AS/400), C N (NT), $ reference file
  long long length = 0;
  long long decimals = 0;
  std::string based;        // field overlaid, blank when none
  long long position = 0;   // start in the based field
  std::string description;  // as typed, quotes single
  char dateCode = ' ';      // date-mask code, blank when none
  char nullCode = '0';      // "0" no, "1" yes, "2" rtrim, "3" same
  long long keyOrder = 0;

  friend bool operator==(const StoredDecl&, const StoredDecl&) = default;
};

// Returns the 112-character form of a declaration.
std::string EncodeDecl(const StoredDecl& decl);
// Reads a stored declaration; a shorter text reads as padded with blanks and
// a number that is not one reads as 0.
StoredDecl DecodeDecl(std::string_view inst);

// An operand of a stored instruction: kind 'F' a field, any other kind a
// constant ('C' quoted alphanumeric, 'X' hexadecimal, 'N' numeric, ' ' an
// alias or nothing). text is the operand as typed, quotes included.
struct Operand {
  char kind = ' ';
  std::string text;
  bool empty() const { return text.empty(); }
  bool field() const { return kind == 'F'; }
  friend bool operator==(const Operand&, const Operand&) = default;
};

// An instruction as stored: code, three operands, condition, tag (also the
// end target, the program of CALLX or the key length of READkey).
struct StoredInst {
  std::string code;
  Operand op[3];
  std::string cond;
  std::string tag;
  friend bool operator==(const StoredInst&, const StoredInst&) = default;
};

// Returns the 172-character form of an instruction.
std::string EncodeInst(const StoredInst& inst);
// Reads a stored instruction (a shorter text reads as padded with blanks).
StoredInst DecodeInst(std::string_view inst);

// One line of a program as QV_TX holds it: type "d", "e", "i", "j" (or "p"
// for the compiled form), indentation and INST content.
struct ProgramLine {
  char type = 'e';
  int indent = 0;
  std::string content;
  friend bool operator==(const ProgramLine&, const ProgramLine&) = default;
};

// Returns the stored lines of the editor's records: the declaration records
// (180 characters each) as "d" lines, or "e" lines for kinds "*" and "$", then
// the instruction records (176 each) as "i" or "j" lines. A line's content is
// the record from its fifth character, at most 175 characters for a
// declaration line and 172 for an instruction line. A trailing part shorter
// than a record is refused with std::invalid_argument, as is an indentation
// that is not three digits.
std::vector<ProgramLine> LinesFromRecords(std::string_view declarations,
                                          std::string_view instructions);

// Returns the editor records of stored lines: the inverse of
// LinesFromRecords ("e" and "j" lines as "*" records when their text starts
// with "/*", "$" otherwise; statements with kind blank).
void RecordsFromLines(const std::vector<ProgramLine>& lines, std::string& declarations,
                      std::string& instructions);

// The two texts the user edits, lines separated by CR LF.
struct ProgramTexts {
  std::string declarations;
  std::string instructions;
  friend bool operator==(const ProgramTexts&, const ProgramTexts&) = default;
};

// Renders one stored declaration: "DCL O.NAME CHAR 10 DESC 'Name' NULL Yes
// KEYORDER 1" (each part but KEYORDER followed by one blank), or "FILE " alias
// padded to 32 "LIKE LIB/FILE" for a reference file.
std::string RenderDeclaration(const StoredDecl& decl, bool as400);
// Renders one stored instruction as the statement text ("MOVE I.A TO O.A "),
// or "" for a code the language does not have.
std::string RenderInstruction(const StoredInst& inst, bool as400);

// Renders stored lines, in their order, into the two texts. The description,
// date mask, allow-null rule and key order of each "O." declaration are first
// taken from the table's current fields (QV_ZX records) when it is among them.
ProgramTexts RenderProgram(const std::vector<ProgramLine>& lines, bool as400,
                           const std::vector<Record>& tableFields);

// Returns the default program of a table of fields (QV_ZX records, in list
// order): the output buffer declared like the table and filled from the input
// buffer, each declaration with the field's description, date mask, allow-null
// rule and key order.
ProgramTexts DefaultProgram(const std::vector<Record>& fields, bool as400);

// Returns the default declarations and instructions that GenerateBufO gives:
// the type part only, the header of each text followed by a line end, then
// "CR LF + line" per declaration and "line + CR LF" per instruction.
ProgramTexts GeneratedBufO(const std::vector<Record>& fields, bool as400);

// Returns the declaration type part of a field type code ("P", 7, 2 gives
// "PACKED 7,2"; on NT sources "XN" gives "NUMERIC 7,2").
std::string DeclTypeText(std::string_view code, long long length, long long decimals, bool as400);
// Tells whether a field type code or declared type letter is numeric.
bool NumericType(std::string_view code);

}  // namespace qv
