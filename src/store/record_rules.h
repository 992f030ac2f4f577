// Records and texts that the model and distribution operations build: record
// strings taken from callers, table numbers, the default distributed table
// of a model table, the member option of a model, and the display texts that
// the change events of model tables, distributions and distributed tables
// carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "store/records.h"

namespace qv {

// ---- Record strings and codes from callers ----------------------------------------

// Returns the record held by a caller's record string: a shorter string is
// padded with blanks; a longer one is accepted when what passes the record
// length is only blanks or NULs (a fixed buffer), and cut. Throws
// std::invalid_argument naming the layout and both lengths otherwise: such a
// string holds another record, and cutting it would store a wrong one.
Record RecordFromString(const Layout& layout, std::string_view text);

// Tells whether a code fits its field: at most width characters once its
// trailing blanks are removed. A longer code names no stored item (cutting
// it would name another one).
bool CodeFits(std::string_view code, std::size_t width);

// The key a caller's codes give: its image (each code padded with blanks or
// cut to its field, fields without a code blank) and whether the codes name
// an item at all. They name none when one of them does not fit its field
// (CodeFits): the store helpers then read nothing, find nothing and delete
// nothing, as for a missing item.
struct ItemKey {
  std::string image;
  bool names = true;
};

// Builds the key of the leading fields of keyFields (or of a key layout) from
// codes, in order; widths come from the fields. Throws std::invalid_argument
// for more codes than fields.
ItemKey KeyFromCodes(std::span<const Field> keyFields,
                     std::initializer_list<std::string_view> codes);
ItemKey KeyFromCodes(const Layout& keyLayout, std::initializer_list<std::string_view> codes);

// Return a code at its field width (blank-padded or cut), as keys and events
// carry it: environment, target, model, model table, field.
std::string EnvCode(std::string_view code);
std::string TgtCode(std::string_view code);
std::string GrpCode(std::string_view code);
std::string FicCode(std::string_view code);
std::string FieldCode(std::string_view code);

// ---- Table numbers (FICID) ------------------------------------------------------------

// The greatest table number a FICID holds.
inline constexpr int64_t kMaxTableNumber = 9999999999;

// Returns the number a FICID holds: its leading decimal digits after any
// blanks ("0000000007" -> 7, "12AB" -> 12); 0 when there are none.
int64_t TableNumber(std::string_view ficid);

// Returns a table number as a FICID: 10 digits, zeros on the left
// (8 -> "0000000008"). Throws std::out_of_range for a number below 0 or above
// kMaxTableNumber.
std::string TableNumberText(int64_t number);

// ---- Models -------------------------------------------------------------------------

// Returns the member option of a model: "*ALL" on an AS/400 source when its
// ALLMBRDIST is "1", "*FIRST" on an AS/400 source otherwise, "" on NT sources.
std::string MemberOption(bool as400, std::string_view allMbrDist);

// ---- Distributed tables ----------------------------------------------------------------

// Returns the distributed-table record (QV_FC) that a model table receives in
// a distribution: ENVID, TGTID, GRPID of the distribution, FICID and NUMSEQ
// of the model table, NEW "1", OCCUR, HOLD and CLRSPEC "0", NUMFC,
// REPRISEPNT, X and Y ten zeros, every other field blank. fx is a QV_FX
// record (std::invalid_argument otherwise).
Record DefaultDistributedTable(const Record& fx, std::string_view env, std::string_view tgt,
                               std::string_view grp);

// Prepares a distributed-table record for its first write: OCCUR blank, NEW
// "1", X and Y ten zeros, whatever the caller gave.
void PrepareNewDistributedTable(Record& fc);

// Returns the joined record of a distributed table and its model table (the
// 278 characters of QV_FC_FXU), built from the two records.
Record JoinDistributedTable(const Record& fc, const Record& fx);

// ---- Display texts of the change events -------------------------------------------------

// Returns the label of a source table from its 30-character object name
// (library, file, member): on AS/400 sources "LIB/FILE", with "(MBR)" after
// it when a member is named; on NT sources "DATABASE.TABLE". Each part is
// trimmed; a blank library gives the file alone.
std::string SourceTableLabel(std::string_view srctbl, bool as400);

// The two texts that FXadded and FXupdated carry between FICID and the record.
struct ModelTableTexts {
  std::string label;        // SourceTableLabel of SRCTBL
  std::string description;  // DESCRIP, trimmed
};
ModelTableTexts ModelTableEventTexts(const Record& fx, bool as400);

// Returns the library (or database, schema) a distributed table is written
// to: its own TGTLIB when not blank, else the model table's TGTLIB when not
// blank, else the distribution's TARGETDB (trimmed) when its TGTBDTYPE is
// blank, "0", "1" or "2", else the source library. fcfx is the joined record
// (JoinDistributedTable or a QV_FC_FXU read), gc the distribution.
std::string EffectiveTargetLibrary(const Record& fcfx, const Record& gc);

// Returns the file (or table) a distributed table is written to: its own
// TGTFILE, else the model table's, else the source file; trimmed.
std::string EffectiveTargetFile(const Record& fcfx);

// The three texts that FCadded and FCupdated carry after FICID.
struct DistributedTableTexts {
  std::string source;       // SourceTableLabel of the model table's SRCTBL
  std::string description;  // the model table's DESCRIP, trimmed
  std::string target;       // effective library + "/" (AS/400) or "." (NT) + effective file
};
DistributedTableTexts DistributedTableEventTexts(const Record& fcfx, const Record& gc, bool as400);

}  // namespace qv
