// Rows of the list views of the configuration: the columns of each list (by
// string id) and the row a record shows.
//
// Value texts: flags "1" read "Yes", anything else "No" (the allow-null
// words); access modes "0" Rrn, "1" Key, "2" Sql (2063 to 2065), another
// code as stored; manual distribution 2062 "Manual" or ""; target type "1"
// "NT", otherwise "AS/400"; field types their display text (field_types.h).
// Icons: kIconActive, kIconHeld for a held item; distributions not held show
// kIconRunning, kIconError or kIconFailed for the state letters "A", "E",
// "F" given to HoldReleaseGCInList.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Record;

namespace lists {

inline constexpr int kIconActive = 1, kIconHeld = 2, kIconRunning = 3, kIconError = 4, kIconFailed = 5;

struct Row {
  std::string key;
  std::string text;
  int icon = kIconActive;
  std::vector<std::string> cells;  // sub-items 1..n
};

// Column ids of each list, first column (the item text) included.
const std::vector<const char*>& TargetColumns();
const std::vector<const char*>& DistributionColumns();
const std::vector<const char*>& ModelColumns();
const std::vector<const char*>& DistributedTableColumns();
const std::vector<const char*>& ModelTableColumns();
const std::vector<const char*>& FieldColumns();
const std::vector<const char*>& MappingColumns();

// Returns "Yes" for "1", "No" otherwise.
std::string FlagText(std::string_view flag);
// Returns the icon of an item: held ("1") or not, and for a distribution its
// state letter ("" for other items).
int Icon(std::string_view hold, std::string_view state = "");

// The position (1-based sub-item) of the hold column of each list.
int TargetHoldCell();
int DistributionHoldCell();
int DistributedTableHoldCell();
int ModelTableHoldCell();

// Rows of a QV_CX record; a QV_GX_GC_1 record (DistributionWithModel); a
// QV_GX record; a QV_FC_FXU record (DistributedTableWithModelTable), the
// source a label (as400 picks its form); a QV_FX record; a QV_ZX record; a
// QV_ZX record with the field it maps to.
Row TargetRow(const Record& cx);
Row DistributionRow(const Record& gxgc);
Row ModelRow(const Record& gx);
Row DistributedTableRow(const Record& fcfx, bool as400);
Row ModelTableRow(const Record& fx, bool as400);
Row FieldRow(const Record& zx);
Row MappingRow(const Record& zx, std::string_view fieldOut);

}  // namespace lists
}  // namespace qv
