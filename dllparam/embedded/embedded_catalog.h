// The file catalog of embedded AS/400 sources: libraries' physical and
// logical files with their record formats, fields and access paths, kept in
// the store and served through the format, access-path and field listings;
// field descriptions sent back to the store are applied to QV_ZX.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "dllparam/embedded/sqlite_db.h"

namespace qv::embedded {

// The source type letters a catalog field may have: character ("A", and the
// DBCS forms "J", "E", "O"), binary "B", packed "P", zoned "S", float "F",
// date "L", time "T", timestamp "Z", hexadecimal "H" and graphic "G".
inline constexpr const char* kCatalogTypeLetters = "AJEOBPSFLTZHG";

struct CatalogField {
  std::string name;     // at most 10 characters
  char type = 'A';      // one of kCatalogTypeLetters
  int64_t bytes = 0;    // length in the record
  int64_t digits = 0;   // digits of numeric fields
  int64_t decimals = 0;
  std::string text;     // at most 30 characters
  bool varying = false; // character fields of varying length
};

struct CatalogFile {
  std::string library, name;         // at most 10 characters each
  std::string attribute = "PF";      // "PF" physical, "LF" logical
  std::string text;                  // object text
  std::vector<std::string> formats;  // record format names; none: the file name
  std::vector<std::string> keys;     // key fields in order; none: arrival sequence
  std::vector<CatalogField> fields;  // in record order
};

// Stores file (names upper-cased), replacing a file of the same library and
// name, with its *FILE object. Throws std::invalid_argument, naming the file
// and the field, for a name longer than 10, an unknown type letter, a
// negative length, a key that is no field, or no field at all.
void PutCatalogFile(Db& db, const CatalogFile& file);

// Reads the description of one file, a line per item; blank lines and lines
// starting with "#" are skipped:
//   file LIBRARY/FILE [PF|LF] [TEXT...]
//   format NAME                 (once per record format, in order)
//   key FIELD                   (once per key field, in key order)
//   field NAME TYPE BYTES DIGITS DECIMALS [varying] [TEXT...]
// Throws std::invalid_argument naming the line for anything else.
CatalogFile ParseCatalogDescription(std::string_view text);

// Returns the files of the catalog in library and name order.
std::vector<CatalogFile> CatalogFiles(Db& db);

// Where a connection is in the listings it pages through, and the model
// table its field writes go to.
struct CatalogCursor {
  std::deque<std::string> formatsLeft;  // 80-character entries not yet sent
  std::deque<std::string> fieldsLeft;   // 108-character entries not yet sent
  std::string fieldTable;               // ENVID + GRPID + FICID, "" before a begin
  std::deque<std::string> objectsLeft;    // 70-character object entries not yet sent
  std::deque<std::string> journaledLeft;  // 50-character journaled-file entries not yet sent
  std::deque<std::string> receiversLeft;  // 77-character receiver entries not yet sent
  std::vector<std::string> ddsLines;      // the lines of the work source member
};

}  // namespace qv::embedded
