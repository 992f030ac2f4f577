// The replication engine of the embedded source: a small simulation of the
// jobs that carry out distributions, their activity blocks and user spaces,
// and the engine's message queue, kept in the store file so that every
// connection, a served client and a later process see the same engine.
//
// Rules of the simulation:
// - Starting a distribution (E1/T01/M01) creates the job "SE1_T01M01" (the
//   name of JobName()), its two user spaces "SE1_T01M01" (the activity
//   block) and "SE1$T01M01" (the restart point), its supervision record and
//   the message "Distribution E1/T01/M01 started at entry 1234 of receiver
//   RCV0001." Refused: a distribution not in QV_GC, a held one (HOLD "1"),
//   one whose job is already active.
// - No thread runs: a job's activity is computed from the seconds elapsed
//   since its start on the library's clock (platform::CurrentClock()),
//   each time the activity is read, and written back into the user space.
//   The job reads kEntriesPerSecond journal entries per whole second:
//     state    "I" before the first entry, "A" while active, "X" once ended
//     Step     "1" before the first entry, "2" while active, "3" once ended
//     JOSEQN   the start point + the entries read
//     Receiver the start receiver, its trailing number raised by one for
//              every kEntriesPerReceiver entries read; RcvNum that number
//     CptRead  entries read; of every ten, one is ignored (a before-image),
//              one a delete, two adds, six updates; CptSel = CptSnd = read
//              - ignored (every entry is ignored when the distribution has
//              no table); CptMbr, CptRpr and CptErr stay 0
//     JO*      the last entry read: its code, type, time stamp (the start
//              time + the entries / kEntriesPerSecond), the source file of
//              one of the distribution's tables in turn
//     TimeProcess  the start time + the elapsed seconds, YYYYMMDDHHMMSS
// - A start point is the recovery point of QV_GC when REPRISETYP is "P"
//   (REPRISERCV, REPRISELIB, entry REPRISEPNT), else the restart point the
//   last run left in its "$" user space, else receiver QVRCV00001 entry 0.
// - The activity read with option "I" ends the job: its counters stop where
//   they are, state "X", and the message "Distribution E1/T01/M01 ended at
//   entry 1254 of receiver RCV0001: 20 entries read, 18 sent." The job then
//   leaves the job lists; its user spaces stay until deleted.
// - A job whose distribution is removed from QV_GC or held while it runs
//   fails at its next refresh: state "E", CptErr 1, run flag "0" in its
//   supervision record, and the message "Distribution E1/T01/M01 failed at
//   entry 1254 of receiver RCV0001: the distribution is held." It then
//   leaves the job lists.
// - Every read of QV_SPV first refreshes the active jobs, so that the
//   supervision records show them as of the read.
// - The user spaces of an active job cannot be deleted.
// - Messages carry severity 0, the job's name and program "QVSTR". Clearing
//   the queue starts a new generation of it: readers positioned in an older
//   generation are told to start again.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dllparam/embedded/sqlite_db.h"
#include "dllparam/embedded/store_schema.h"

namespace qv::embedded {

inline constexpr int kEntriesPerSecond = 10;
inline constexpr int kEntriesPerReceiver = 1000;
// The journal the engine reads (in the store library) and its first
// receiver; later receivers raise the receiver's trailing number.
inline constexpr std::string_view kJournalName = "QVJRN";
inline constexpr std::string_view kFirstReceiver = "QVRCV00001";
// Longest text of one message; longer texts are cut.
inline constexpr size_t kMessageTextMax = 512;
// Length of a message header in the queue answers.
inline constexpr size_t kMessageHeader = 45;
inline constexpr const char* kEngineProgram = "QVSTR";

// A refusal of the engine (missing or held distribution, job already active,
// user space in use); what() is the text for the caller.
class EngineRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reading positions of one connection in the engine's lists.
struct EngineCursor {
  // AS/400 job list: the entries of the last listing not yet paged out.
  std::vector<std::string> jobsLeft;
  // AS/400 message queue: generation and last message read; generation < 0
  // when this connection has read nothing yet.
  int64_t msgGeneration = -1;
  int64_t msgLast = 0;
  // NT message queue: the count this connection last answered and its
  // generation.
  int64_t ntGeneration = -1;
  int32_t ntCount = -1;
};

// Creates the engine's tables when the store lacks them (stores made before
// the engine existed); a no-op otherwise.
//   qvs_job      one row per job: name, distribution, kind, number, state,
//                start on the clock and the wall clock, start point, tables
//   qvs_message  the message queue, in arrival order
void EnsureEngineTables(Db& db);

// Returns the 10-character job name under which the engine keeps a job:
// upper-cased, blanks and padding turned into "_" ("SE1_T1 M1" gives
// "SE1_T1_M1_"). A generic name (ending in "*", or "*ALL") is returned
// upper-cased and trimmed.
std::string JobKey(std::string_view name);
// Returns the name of a job's second user space: "$" in place of the "_"
// after the environment ("SE1_T01M01" gives "SE1$T01M01").
std::string RestartSpaceName(std::string_view job);

// Tells whether a user space (either of a job's two) belongs to an active job.
bool SpaceInUse(Db& db, std::string_view space);

// Starts the job of distribution env/tgt/grp (codes as sent, "_"- or
// blank-padded or not) and returns its name. engineKind is "AS400", "ODBC",
// "SQL_" or "ORAC"; instance is kept with the job. Throws EngineRefusal.
std::string StartJob(Db& db, SourceKind kind, std::string_view env, std::string_view tgt,
                     std::string_view grp, std::string_view engineKind, std::string_view instance);
// Starts the job named by env + tgt + model as the NT engine service gets it:
// 8 characters split 2 / 3 / 3, or a shorter text matched against the
// stored distributions with padding ignored. Throws EngineRefusal.
std::string StartJobByName(Db& db, SourceKind kind, std::string_view name, std::string_view engineKind,
                           std::string_view instance);

struct JobEntry {
  std::string name;  // 10 characters
  int64_t number = 0;
};
// Returns the active jobs whose name matches pattern (a name, "PREFIX*" or
// "*ALL"), by name.
std::vector<JobEntry> ActiveJobs(Db& db, std::string_view pattern);
// Tells whether the job name matches pattern as ActiveJobs matches it: every
// name for "*ALL", the names that begin with PREFIX for "PREFIX*", else the
// name JobKey(pattern).
bool JobMatches(std::string_view name, std::string_view pattern);
// Returns the answer of the job-list service in a buffer of room bytes: the
// count in 5 digits, then "\tNAME NUMBER" for as many of jobs as fit whole,
// then a closing tab ("00000" alone when there are none).
std::string JobListAnswer(const std::vector<JobEntry>& jobs, std::size_t room);

// Brings the activity block of job up to the clock and writes it into the
// job's user space; with stop, ends the job first. Does nothing for a job the
// engine does not know or that has ended (a stop request included). Returns
// true when the job was active. A read that finds the store held by another
// writer past the busy timeout leaves the block as last written; a stop
// request then throws StoreError (busy).
bool RefreshJob(Db& db, SourceKind kind, std::string_view job, bool stop);

// Refreshes every active job (RefreshJob), so that QV_SPV shows them as of now.
void RefreshSupervision(Db& db, SourceKind kind);

struct StoredMessage {
  int64_t id = 0;
  int severity = 0;
  std::string job, program;
  std::string date;  // CYYMMDD
  std::string time;  // HHMMSS
  std::string text;
};
// Adds a message to the queue (text cut to kMessageTextMax).
void AddMessage(Db& db, const StoredMessage& m);
// Empties the queue and starts its next generation.
void ClearMessages(Db& db);
// Returns the generation of the queue.
int64_t MessageGeneration(Db& db);
// Returns the messages of the queue after message id `after`, in order.
std::vector<StoredMessage> MessagesAfter(Db& db, int64_t after);
// Returns a message as the queue answers give it: severity (5), job (10),
// program (12), date CYYMMDD (7), time HHMMSS (6), text length (5), text.
std::string MessageEntry(const StoredMessage& m);
// Reads messages written back to back in the form of MessageEntry. Throws
// EngineRefusal for a text of another form.
std::vector<StoredMessage> ParseMessageEntries(std::string_view text);

// A job as the store keeps it, for descriptions.
struct JobInfo {
  std::string name, env, tgt, grp, engineKind, instance, state;
  int64_t number = 0;
  double elapsed = 0;  // seconds run, as of the last read of its activity
  std::string startedAt;  // "2024-01-15 10:30:00"
};
std::vector<JobInfo> Jobs(Db& db);

}  // namespace qv::embedded
