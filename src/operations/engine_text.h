// Names and request texts of the replication engine's jobs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Returns an identifier upper-cased, trimmed and padded with "_" (or cut) to
// width: (" a", 2) gives "A_", ("t1", 3) gives "T1_".
std::string NormalizeId(std::string_view id, std::size_t width);

// Returns the name of a distribution's source job: "S" + environment (2) +
// "_" + target (3) + model (3), each identifier normalised.
std::string JobName(std::string_view environment, std::string_view target, std::string_view model);

// Returns the activity action: "F" or "G" after upper-casing, anything else "G".
std::string ActivityAction(std::string_view action);

}  // namespace qv

namespace qv {

// Returns Val() of the leading decimal digits of text (blanks before them
// skipped); 0 when there are none.
long long LeadingNumber(std::string_view text);

// Returns the CL command that starts a distribution's engine:
// CALL PGM(QVSTR) PARM('E1' 'T01' 'M01' 'z').
std::string StartCommand(std::string_view environment, std::string_view target,
                         std::string_view model);

// Returns the running-job status of a job-list answer: "R" when its leading
// 5-digit count is not 0, "" for a blank answer, one that starts with a NUL,
// or a count of 0.
std::string JobStatusFromAnswer(std::string_view answer);

// Returns the 10-character job entries of one AS/400 job-list page: the
// (n - 5) / 10 entries after position 5, n being the page's leading count.
std::vector<std::string> JobEntriesAs400(std::string_view page);
// Returns the pieces between the TABs of an NT job-list answer (the leading
// count and empty pieces left out).
std::vector<std::string> JobEntriesNt(std::string_view answer);

// One message of the engine's message queue.
struct QueueMessage {
  int severity = 0;
  std::string job;      // trimmed
  std::string program;  // trimmed
  std::string date;     // "2024/03/15 08:30:12"
  std::string text;     // cut to its length, trimmed
};

// Returns the messages of a message-queue answer: positions 1-5 a count,
// 6-10 a marker ("99999" when the reading restarted), then from position 11
// messages of a 45-character header (severity 5, job 10, program 12, date
// CYYMMDD 7, time HHMMSS 6, text length 5) followed by the text. Stops at the
// first header that does not fit or whose length is not a number.
std::vector<QueueMessage> ParseQueueMessages(std::string_view answer);
// Tells whether a message-queue answer carries the restart marker "99999".
bool QueueRestarted(std::string_view answer);
// Returns the icon of a message: 1 above severity 40, 2 from 20 to 40, 3 below 20.
int MessageIcon(int severity);

}  // namespace qv
