// Texts of the supervision list: the state of a distribution from its
// QV_SPV record, the row key and text, and the cells of the 26 columns.
//
// The fields of QV_SPV outside the activity block are read as the engine
// writes them: STATE the state letter of the job, HOLD "1" when the
// distribution is held, RUN "0" once the job stopped, REPRISETYP, REPRISERCV,
// REPRISELIB and REPRISEPNT the recovery point the job will restart from,
// JOBNBR the job's number, REFRESHDT the time of the record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Record;

// The string ids of the 26 columns of the supervision list, in order.
const std::vector<const char*>& SupervisionColumnIds();

// Returns the state code ReadStateGC gives for a stored record: "E" when its
// error counter is above 0, "X" when its run flag (the third one-character
// field) is "0", else "A".
std::string DistributionStateCode(const Record& spv);

// Returns the state the list shows: "E" when the error counter is above 0;
// for a stopped job "H" when the distribution is held, else "X"; for a
// running job the engine's letter when it is "I" or "J", else "A".
std::string SupervisionStateCode(const Record& spv);

// Returns the string id of a state code's label ("A" gives "412"), "" for a
// code without one (the engine's "F" among them).
const char* StateLabelId(std::string_view code);

// Returns the row key: "KEY" + environment + target + model as stored.
std::string SupervisionRowKey(const Record& spv);

// Returns the row text: "[" + environment + "_" + model + "] -> " + target,
// each trimmed ("[E1_M01] -> T01").
std::string SupervisionRowText(const Record& spv);

// Returns the 25 sub-items of a record's row (columns 2 to 26), the state
// label given:
//   Run        the job number while it runs, "LOAD" while it runs a full
//              load (recovery type "C"), "" once it stopped
//   Status     stateLabel
//   Reprise    type; "LIBRARY/RECEIVER" (receiver alone without library)
//   Receiver   the receiver the job reads
//   Poste ...  entry number, code and type ("R-UP"), date "YYYY/MM/DD
//              HH:MM:SS", "NUMBER/USER/JOB", program, "LIB/FILE(MBR)", RRN
//   Process    "YYYY/MM/DD HH:MM:SS"; Step as stored
//   counters   read, selected, sent, ignored, added, modified, deleted,
//              member operations, repaired, errors, as plain numbers
//   Refresh    "YYYY/MM/DD HH:MM:SS"
// Numbers lose their leading zeros; blank fields give "".
std::vector<std::string> SupervisionCells(const Record& spv, const std::string& stateLabel);

// Returns a 14-digit time stamp "YYYYMMDDHHMMSS" as "YYYY/MM/DD HH:MM:SS", a
// journal time stamp "YYYY-MM-DD-HH.MM.SS.ffffff" as "YYYY/MM/DD HH:MM:SS",
// and "" for a blank text; any other text comes back trimmed.
std::string EditTimeStamp(std::string_view text);

}  // namespace qv
