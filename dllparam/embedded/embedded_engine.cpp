// Implements the replication engine of the embedded source: jobs, their
// activity blocks, user spaces and supervision records, and the message queue.
#include "dllparam/embedded/embedded_engine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>

#include "operations/engine_text.h"
#include "platform/clock.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::embedded {
namespace {

constexpr int64_t kFirstJobNumber = 100001;

// Returns n as zero-filled decimal digits of width (n below 0 gives zeros).
std::string Num(int64_t n, size_t width) {
  std::string s = std::to_string(std::max<int64_t>(n, 0));
  return s.size() >= width ? s.substr(s.size() - width) : std::string(width - s.size(), '0') + s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

// Returns an identifier as the engine compares it: trimmed, upper-cased,
// without the "_" or blanks that pad it.
std::string Code(std::string_view id) {
  std::string v = Upper(TrimBlanks(id));
  while (!v.empty() && (v.back() == '_' || v.back() == ' ')) v.pop_back();
  return v;
}

// Returns the text without any blank or "_", upper-cased.
std::string Squeezed(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '_') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Returns the value of the digits at the start of s (blanks before them
// skipped); 0 when there are none.
int64_t LeadingDigits(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  s = first == std::string_view::npos ? std::string_view() : s.substr(first);
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9' || v > 100000000000LL) break;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::tm LocalTime(int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  return tm;
}

std::string Format(int64_t t, const char* pattern) {
  std::tm tm = LocalTime(t);
  char buf[64];
  std::strftime(buf, sizeof buf, pattern, &tm);
  return buf;
}

// Date of a message: CYYMMDD, C "0" for 19xx, "1" for 20xx.
std::string MessageDate(int64_t t) {
  std::tm tm = LocalTime(t);
  const int year = tm.tm_year + 1900;
  return std::to_string(std::clamp(year / 100 - 19, 0, 9)) + Num(year % 100, 2) + Num(tm.tm_mon + 1, 2) +
         Num(tm.tm_mday, 2);
}

double ClockNow() { return platform::CurrentClock().Now(); }

int64_t WallNow() { return static_cast<int64_t>(std::time(nullptr)); }

// ---- Store access ------------------------------------------------------------

std::string MetaValue(Db& db, std::string_view key) {
  Stmt st = db.prepareOnce("SELECT value FROM qvs_meta WHERE key = ?");
  st.bind(1, key);
  return st.step() ? std::string(st.columnText(0)) : std::string();
}

void SetMetaValue(Db& db, std::string_view key, std::string_view value) {
  Stmt st = db.prepareOnce("INSERT OR REPLACE INTO qvs_meta (key, value) VALUES (?, ?)");
  st.bind(1, key);
  st.bind(2, value);
  st.step();
}

// Reads a user space (AS/400) or engine file (NT) of the engine.
std::optional<std::string> ReadSpace(Db& db, SourceKind kind, std::string_view name) {
  Stmt st = db.prepareOnce(IsNtKind(kind) ? "SELECT data FROM qvs_file WHERE area = ? AND name = ?"
                                          : "SELECT data FROM qvs_usrspc WHERE library = ? AND name = ?");
  st.bind(1, IsNtKind(kind) ? kEngineArea : kLibraryName);
  st.bind(2, name);
  if (!st.step()) return std::nullopt;
  return std::string(st.columnText(0));
}

void WriteSpace(Db& db, SourceKind kind, std::string_view name, std::string_view data) {
  Stmt st = db.prepareOnce(IsNtKind(kind) ? "INSERT OR REPLACE INTO qvs_file (area, name, data) VALUES (?, ?, ?)"
                                          : "INSERT OR REPLACE INTO qvs_usrspc (library, name, data) VALUES (?, ?, ?)");
  st.bind(1, IsNtKind(kind) ? kEngineArea : kLibraryName);
  st.bind(2, name);
  st.bind(3, data);
  st.step();
}

// A distribution as the engine reads it from QV_GC.
struct Distribution {
  std::string env, tgt, grp;  // as stored
  std::string hold, repriseType, repriseReceiver, repriseLibrary, reprisePoint;
  std::string Label() const { return TrimBlanks(env) + "/" + TrimBlanks(tgt) + "/" + TrimBlanks(grp); }
};

std::vector<Distribution> FindDistributions(Db& db, SourceKind kind, const std::string& where,
                                            std::initializer_list<std::string_view> values) {
  const std::string library = IsNtKind(kind) ? "''" : "REPRISELIB";
  Stmt st = db.prepareOnce("SELECT ENVID, TGTID, GRPID, HOLD, REPRISETYP, REPRISERCV, " + library +
                           ", REPRISEPNT FROM QV_GC WHERE " + where + " ORDER BY ENVID, TGTID, GRPID");
  int i = 1;
  for (std::string_view v : values) st.bind(i++, v);
  std::vector<Distribution> out;
  while (st.step()) {
    Distribution d;
    d.env = st.columnText(0);
    d.tgt = st.columnText(1);
    d.grp = st.columnText(2);
    d.hold = TrimBlanks(st.columnText(3));
    d.repriseType = TrimBlanks(st.columnText(4));
    d.repriseReceiver = TrimBlanks(st.columnText(5));
    d.repriseLibrary = TrimBlanks(st.columnText(6));
    d.reprisePoint = TrimBlanks(st.columnText(7));
    out.push_back(std::move(d));
  }
  return out;
}

// Returns the source files (library 10, file 10, member 10) of the tables
// distributed by d and not held, back to back in table order.
std::string DistributedObjects(Db& db, const Distribution& d) {
  Stmt st = db.prepareOnce(
      "SELECT fx.SRCTBL FROM QV_FC fc JOIN QV_FX fx ON fx.ENVID = fc.ENVID AND fx.GRPID = fc.GRPID "
      "AND fx.FICID = fc.FICID WHERE fc.ENVID = ? AND fc.TGTID = ? AND fc.GRPID = ? "
      "AND fc.HOLD <> '1' ORDER BY fc.FICID");
  st.bind(1, d.env);
  st.bind(2, d.tgt);
  st.bind(3, d.grp);
  std::string out;
  while (st.step()) {
    std::string object = FitText(st.columnText(0), 30);
    if (TrimBlanks(object.substr(10, 10)).empty()) continue;
    out += object;
  }
  return out;
}

// A job row of qvs_job.
struct Job {
  std::string name, env, tgt, grp, engineKind, instance, state, repriseType;
  int64_t number = 0;
  double started = 0;      // clock seconds at the start (moved when the clock went back)
  int64_t startedWall = 0;  // wall clock at the start
  double elapsed = 0;       // seconds run at the last refresh
  std::string receiver, library;
  int64_t sequence = 0;  // entry of the start point
  std::string objects;
  std::string Label() const { return TrimBlanks(env) + "/" + TrimBlanks(tgt) + "/" + TrimBlanks(grp); }
};

constexpr const char* kJobColumns =
    "name, envid, tgtid, grpid, kind, instance, state, reprisetyp, number, started, started_wall, elapsed, "
    "receiver, rcvlib, seq, objects";

Job JobFromRow(const Stmt& st) {
  Job j;
  j.name = st.columnText(0);
  j.env = st.columnText(1);
  j.tgt = st.columnText(2);
  j.grp = st.columnText(3);
  j.engineKind = st.columnText(4);
  j.instance = st.columnText(5);
  j.state = st.columnText(6);
  j.repriseType = st.columnText(7);
  j.number = st.columnInt(8);
  j.started = sqlite3_column_double(st.get(), 9);
  j.startedWall = st.columnInt(10);
  j.elapsed = sqlite3_column_double(st.get(), 11);
  j.receiver = st.columnText(12);
  j.library = st.columnText(13);
  j.sequence = st.columnInt(14);
  j.objects = st.columnText(15);
  return j;
}

std::optional<Job> LoadJob(Db& db, std::string_view name) {
  StmtLoan st = db.lend(std::string("SELECT ") + kJobColumns + " FROM qvs_job WHERE name = ?");
  st->bind(1, name);
  if (!st->step()) return std::nullopt;
  return JobFromRow(*st);
}

void SaveJob(Db& db, const Job& j) {
  Stmt st = db.prepareOnce(std::string("INSERT OR REPLACE INTO qvs_job (") + kJobColumns +
                           ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  st.bind(1, j.name);
  st.bind(2, j.env);
  st.bind(3, j.tgt);
  st.bind(4, j.grp);
  st.bind(5, j.engineKind);
  st.bind(6, j.instance);
  st.bind(7, j.state);
  st.bind(8, j.repriseType);
  st.bind(9, j.number);
  sqlite3_bind_double(st.get(), 10, j.started);
  st.bind(11, j.startedWall);
  sqlite3_bind_double(st.get(), 12, j.elapsed);
  st.bind(13, j.receiver);
  st.bind(14, j.library);
  st.bind(15, j.sequence);
  st.bind(16, j.objects);
  st.step();
}

// ---- The simulation ------------------------------------------------------------

// Returns the receiver name and number after `switches` receiver changes:
// the trailing number of the name raised ("RCV0001" + 2 gives "RCV0003", 3),
// five digits added to a name without one.
std::pair<std::string, int64_t> ReceiverAfter(const std::string& receiver, int64_t switches) {
  size_t digitsAt = receiver.size();
  while (digitsAt > 0 && std::isdigit(static_cast<unsigned char>(receiver[digitsAt - 1]))) --digitsAt;
  const std::string prefix = receiver.substr(0, digitsAt);
  const std::string digits = receiver.substr(digitsAt);
  const int64_t number = (digits.empty() ? 0 : LeadingDigits(digits)) + switches;
  if (digits.empty() && switches == 0) return {receiver, 0};
  std::string numberText = Num(number, digits.empty() ? 5 : digits.size());
  if (std::to_string(number).size() > numberText.size()) numberText = std::to_string(number);
  std::string name = prefix.substr(0, numberText.size() >= 10 ? 0 : 10 - numberText.size()) + numberText;
  return {name.substr(0, 10), number};
}

struct Snapshot {
  std::string block;        // the activity block
  std::string restartPoint;  // Receiver (20), RcvNum (10), JOSEQN (10)
  int64_t read = 0, sent = 0;
  std::string receiver;
  int64_t entry = 0;
  int64_t wall = 0;  // wall-clock time of the snapshot
};

// Computes the activity of job j after `elapsed` seconds; ended freezes it,
// failed also marks it in error (state "E", one error counted).
Snapshot Activity(const Job& j, double elapsed, bool ended, bool failed = false) {
  const int64_t seconds = static_cast<int64_t>(std::floor(std::max(elapsed, 0.0) + 1e-9));
  const int64_t read = seconds * kEntriesPerSecond;
  const size_t objectCount = j.objects.size() / 30;
  const int64_t ignored = objectCount == 0 ? read : read / 10;
  const int64_t deleted = objectCount == 0 ? 0 : (read + 1) / 10;
  const int64_t added = objectCount == 0 ? 0 : (read + 2) / 10 + (read + 3) / 10;
  const int64_t selected = read - ignored;
  const int64_t updated = selected - deleted - added;
  const auto [receiver, rcvNum] = ReceiverAfter(j.receiver, read / kEntriesPerReceiver);
  const int64_t wall = j.startedWall + seconds;

  Record a(layout::Activity);
  a.Set("state", ended ? "X" : read == 0 ? "I" : "A");
  a.Set("Receiver", FitText(receiver, 10) + FitText(j.library, 10));
  a.Set("RcvNum", Num(rcvNum, 10));
  a.Set("JOSEQN", Num(j.sequence + read, 10));
  if (read > 0) {
    const int64_t kindOfEntry = read % 10;
    a.Set("JOCODE", "R");
    a.Set("JOENTT", kindOfEntry == 0 ? "UB" : kindOfEntry == 9 ? "DL" : kindOfEntry >= 7 ? "PT" : "UP");
    a.Set("JOTMST", Format(j.startedWall + read / kEntriesPerSecond, "%Y-%m-%d-%H.%M.%S.") +
                        Num((read % kEntriesPerSecond) * (1000000 / kEntriesPerSecond), 6));
    a.Set("JOJOB", "QPADEV0001");
    a.Set("JOUSER", "QVUSER");
    a.Set("JONBR", "012345");
    a.Set("JOPGM", "QVAPPLI");
    if (objectCount > 0) {
      const std::string object = j.objects.substr(((read - 1) % objectCount) * 30, 30);
      a.Set("JOLIB", object.substr(0, 10));
      a.Set("JOOBJ", object.substr(10, 10));
      a.Set("JOMBR", object.substr(20, 10));
    }
    a.Set("JOCTRR", Num((read * 37) % 10000 + 1, 10));
  }
  a.Set("Step", ended ? "3" : read == 0 ? "1" : "2");
  a.Set("TimeProcess", Format(wall, "%Y%m%d%H%M%S"));
  a.Set("CptRead", Num(read, 10));
  a.Set("CptSel", Num(selected, 10));
  a.Set("CptSnd", Num(selected, 10));
  a.Set("CptIgnore", Num(ignored, 10));
  a.Set("CptAdd", Num(added, 10));
  a.Set("CptUpd", Num(updated, 10));
  a.Set("CptDel", Num(deleted, 10));
  for (const char* counter : {"CptMbr", "CptRpr", "CptErr"}) a.Set(counter, Num(0, 10));
  if (failed) {
    a.Set("state", "E");
    a.Set("CptErr", Num(1, 10));
  }

  Snapshot s;
  s.block = a.image();
  s.restartPoint = s.block.substr(1, 40);
  s.read = read;
  s.sent = selected;
  s.receiver = receiver;
  s.entry = j.sequence + read;
  s.wall = wall;
  return s;
}

// Writes the supervision record of job j: state, run flag, restart point,
// job number, activity and refresh time.
void WriteSupervision(Db& db, SourceKind kind, const Job& j, const Snapshot& s, bool ended) {
  Record r(layout::QV_SPV);
  r.Set("ENVID", j.env);
  r.Set("TGTID", j.tgt);
  r.Set("GRPID", j.grp);
  r.Set("STATE", s.block.substr(0, 1));
  r.Set("HOLD", "0");
  r.Set("RUN", ended ? "0" : "1");
  r.Set("REPRISETYP", j.repriseType);
  r.Set("REPRISERCV", s.receiver);
  r.Set("REPRISELIB", j.library);
  r.Set("REPRISEPNT", Num(s.entry, 10));
  r.Set("JOBNBR", Num(j.number, 10));
  r.Set("ACTIVITY", s.block);
  r.Set("REFRESHDT", Format(s.wall, "%Y%m%d%H%M%S"));
  std::vector<std::string_view> columns, values;
  if (IsNtKind(kind)) {
    columns = NtColumns(layout::QV_SPV);
    values = RecordToNtValues(r);
  } else {
    for (size_t i = 0; i < layout::QV_SPV.fields.size(); ++i) {
      columns.push_back(layout::QV_SPV.fields[i].column);
      values.push_back(r.Get(i));
    }
  }
  std::string names, marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? ", " : "") + std::string(columns[i]);
    marks += i ? ", ?" : "?";
  }
  Stmt st = db.prepareOnce("INSERT OR REPLACE INTO QV_SPV (" + names + ") VALUES (" + marks + ")");
  for (size_t i = 0; i < values.size(); ++i) st.bind(static_cast<int>(i + 1), values[i]);
  st.step();
}

// Writes what a job shows after `elapsed` seconds: its user spaces, its
// supervision record and its row. A failed job ends in state "E".
Snapshot WriteJobState(Db& db, SourceKind kind, Job& j, bool ended, bool failed = false) {
  Snapshot s = Activity(j, j.elapsed, ended || failed, failed);
  WriteSpace(db, kind, j.name, s.block);
  WriteSpace(db, kind, RestartSpaceName(j.name), s.restartPoint);
  WriteSupervision(db, kind, j, s, ended || failed);
  j.state = failed ? "E" : ended ? "X" : "A";
  SaveJob(db, j);
  return s;
}

void EngineMessage(Db& db, const Job& j, int64_t wall, const std::string& text) {
  StoredMessage m;
  m.severity = 0;
  m.job = j.name;
  m.program = kEngineProgram;
  m.date = MessageDate(wall);
  m.time = Format(wall, "%H%M%S");
  m.text = text;
  AddMessage(db, m);
}

std::string StartDistribution(Db& db, SourceKind kind, const Distribution& d, std::string_view engineKind,
                              std::string_view instance) {
  if (d.hold == "1") throw EngineRefusal("distribution " + d.Label() + " is held; it cannot start");
  const std::string name = JobName(d.env, d.tgt, d.grp);
  if (std::optional<Job> running = LoadJob(db, name); running && running->state == "A")
    throw EngineRefusal("job " + name + " of distribution " + d.Label() + " is already active");

  Job j;
  j.name = name;
  j.env = TrimBlanks(d.env);
  j.tgt = TrimBlanks(d.tgt);
  j.grp = TrimBlanks(d.grp);
  j.engineKind = engineKind;
  j.instance = instance;
  j.repriseType = d.repriseType;
  j.library = IsNtKind(kind) ? "" : std::string(kLibraryName);
  j.receiver = std::string(kFirstReceiver);
  if (d.repriseType == "P" && !d.repriseReceiver.empty()) {
    j.receiver = Upper(d.repriseReceiver);
    if (!d.repriseLibrary.empty()) j.library = Upper(d.repriseLibrary);
    j.sequence = LeadingDigits(d.reprisePoint);
  } else if (std::optional<std::string> point = ReadSpace(db, kind, RestartSpaceName(name));
             point && point->size() >= 40 && !TrimBlanks(point->substr(0, 10)).empty()) {
    j.receiver = TrimBlanks(point->substr(0, 10));
    j.library = TrimBlanks(point->substr(10, 10));
    j.sequence = LeadingDigits(point->substr(30, 10));
  }
  const std::string last = MetaValue(db, "engine_job_number");
  j.number = last.empty() ? kFirstJobNumber : LeadingDigits(last) + 1;
  SetMetaValue(db, "engine_job_number", std::to_string(j.number));
  j.started = ClockNow();
  j.startedWall = WallNow();
  j.elapsed = 0;
  j.objects = DistributedObjects(db, d);
  WriteJobState(db, kind, j, false);
  EngineMessage(db, j, j.startedWall,
                "Distribution " + j.Label() + " started at entry " + std::to_string(j.sequence) + " of receiver " +
                    TrimBlanks(j.receiver) + ".");
  return name;
}

// Returns why a running job fails: its distribution was removed or held
// while it ran; "" while the distribution lets it run.
std::string FailureReason(Db& db, SourceKind kind, const Job& j) {
  const std::vector<Distribution> found = FindDistributions(
      db, kind, "trim(ENVID) = ? AND trim(TGTID) = ? AND trim(GRPID) = ?", {j.env, j.tgt, j.grp});
  if (found.empty()) return "the distribution was removed";
  if (found.front().hold == "1") return "the distribution is held";
  return "";
}

// Throws EngineRefusal unless found holds exactly one distribution.
void RequireOne(const std::vector<Distribution>& found, const std::string& label) {
  if (found.empty()) throw EngineRefusal("distribution " + label + " not found");
  if (found.size() > 1)
    throw EngineRefusal("\"" + label + "\" names " + std::to_string(found.size()) +
                        " distributions; give the environment (2), target (3) and model (3) padded");
}

}  // namespace

// ---- Tables and names ------------------------------------------------------------

void EnsureEngineTables(Db& db) {
  db.exec(
      "CREATE TABLE IF NOT EXISTS qvs_job (name TEXT PRIMARY KEY, envid TEXT NOT NULL, tgtid TEXT NOT NULL,"
      " grpid TEXT NOT NULL, kind TEXT NOT NULL, instance TEXT NOT NULL DEFAULT '', state TEXT NOT NULL,"
      " reprisetyp TEXT NOT NULL DEFAULT '', number INTEGER NOT NULL, started REAL NOT NULL,"
      " started_wall INTEGER NOT NULL, elapsed REAL NOT NULL DEFAULT 0, receiver TEXT NOT NULL,"
      " rcvlib TEXT NOT NULL DEFAULT '', seq INTEGER NOT NULL DEFAULT 0, objects TEXT NOT NULL DEFAULT '');"
      "CREATE TABLE IF NOT EXISTS qvs_message (id INTEGER PRIMARY KEY, severity INTEGER NOT NULL,"
      " job TEXT NOT NULL, program TEXT NOT NULL, date TEXT NOT NULL, time TEXT NOT NULL, text TEXT NOT NULL);");
}

std::string JobKey(std::string_view name) {
  std::string v = Upper(TrimBlanks(name));
  if (v == "*ALL" || (!v.empty() && v.back() == '*')) return v;
  if (v.size() > 10) return v;
  v.resize(10, '_');
  std::replace(v.begin(), v.end(), ' ', '_');
  return v;
}

std::string RestartSpaceName(std::string_view job) {
  std::string v(job);
  if (v.size() > 3) v[3] = '$';
  return v;
}

bool SpaceInUse(Db& db, std::string_view space) {
  std::string job = Upper(TrimBlanks(space));
  if (job.size() > 3 && job[3] == '$') job[3] = '_';
  std::optional<Job> j = LoadJob(db, JobKey(job));
  return j && j->state == "A";
}

// ---- Jobs ------------------------------------------------------------------------

std::string StartJob(Db& db, SourceKind kind, std::string_view env, std::string_view tgt, std::string_view grp,
                     std::string_view engineKind, std::string_view instance) {
  const std::string label = Code(env) + "/" + Code(tgt) + "/" + Code(grp);
  return WithWriteTransaction(db, [&] {
    std::vector<Distribution> found;
    if (Code(env).size() <= 2 && Code(tgt).size() <= 3 && Code(grp).size() <= 3)
      found = FindDistributions(db, kind,
                                "upper(rtrim(ENVID, ' _')) = ? AND upper(rtrim(TGTID, ' _')) = ? "
                                "AND upper(rtrim(GRPID, ' _')) = ?",
                                {Code(env), Code(tgt), Code(grp)});
    RequireOne(found, label);
    return StartDistribution(db, kind, found.front(), engineKind, instance);
  });
}

std::string StartJobByName(Db& db, SourceKind kind, std::string_view name, std::string_view engineKind,
                           std::string_view instance) {
  if (name.size() == 8) return StartJob(db, kind, name.substr(0, 2), name.substr(2, 3), name.substr(5, 3),
                                        engineKind, instance);
  const std::string wanted = Squeezed(name);
  return WithWriteTransaction(db, [&] {
    std::vector<Distribution> found;
    if (!wanted.empty() && name.size() < 8)
      found = FindDistributions(
          db, kind, "upper(replace(replace(ENVID || TGTID || GRPID, ' ', ''), '_', '')) = ?", {wanted});
    RequireOne(found, std::string(TrimBlanks(name)));
    return StartDistribution(db, kind, found.front(), engineKind, instance);
  });
}

std::vector<JobEntry> ActiveJobs(Db& db, std::string_view pattern) {
  const std::string key = JobKey(pattern);
  std::string where = "state = 'A'";
  std::string value;
  if (key == "*ALL") {
  } else if (!key.empty() && key.back() == '*') {
    value = key.substr(0, key.size() - 1);
    where += " AND substr(name, 1, " + std::to_string(value.size()) + ") = ?";
  } else {
    value = key;
    where += " AND name = ?";
  }
  Stmt st = db.prepareOnce("SELECT name, number FROM qvs_job WHERE " + where + " ORDER BY name");
  if (where.find('?') != std::string::npos) st.bind(1, value);
  std::vector<JobEntry> out;
  while (st.step()) out.push_back({std::string(st.columnText(0)), st.columnInt(1)});
  return out;
}

bool JobMatches(std::string_view name, std::string_view pattern) {
  const std::string key = JobKey(pattern);
  if (key == "*ALL") return true;
  if (!key.empty() && key.back() == '*') {
    const std::string_view prefix = std::string_view(key).substr(0, key.size() - 1);
    return name.substr(0, prefix.size()) == prefix;
  }
  return name == key;
}

std::string JobListAnswer(const std::vector<JobEntry>& jobs, std::size_t room) {
  // "nnnnn" TAB "SE1_T01M01 100001" TAB ... TAB: as many whole entries as fit.
  std::string entries;
  int64_t count = 0;
  for (const JobEntry& j : jobs) {
    std::string entry = "\t" + j.name + " " + std::to_string(j.number);
    if (5 + entries.size() + entry.size() + 1 > room || count == 99999) break;
    entries += entry;
    ++count;
  }
  return Num(count, 5) + (count ? entries + "\t" : "");
}

bool RefreshJob(Db& db, SourceKind kind, std::string_view job, bool stop) {
  const std::string name = JobKey(job);
  if (std::optional<Job> j = LoadJob(db, name); !j || j->state != "A") return false;
  auto refresh = [&] {
    std::optional<Job> j = LoadJob(db, name);
    if (!j || j->state != "A") return false;
    const double now = ClockNow();
    if (now - j->started < j->elapsed) j->started = now - j->elapsed;  // the clock went back: carry on
    j->elapsed = now - j->started;
    const std::string why = FailureReason(db, kind, *j);
    const Snapshot s = WriteJobState(db, kind, *j, stop, !why.empty());
    if (!why.empty())
      EngineMessage(db, *j, s.wall,
                    "Distribution " + j->Label() + " failed at entry " + std::to_string(s.entry) + " of receiver " +
                        TrimBlanks(s.receiver) + ": " + why + ".");
    else if (stop)
      EngineMessage(db, *j, s.wall,
                    "Distribution " + j->Label() + " ended at entry " + std::to_string(s.entry) + " of receiver " +
                        TrimBlanks(s.receiver) + ": " + std::to_string(s.read) + " entries read, " +
                        std::to_string(s.sent) + " sent.");
    return true;
  };
  try {
    return WithWriteTransaction(db, refresh);
  } catch (const StoreError& e) {
    // A store held by another writer past the busy timeout: a read shows the
    // activity as of the last refresh; a stop request must say it failed.
    if (!e.busy() || stop) throw;
    return true;
  }
}

void RefreshSupervision(Db& db, SourceKind kind) {
  for (const JobEntry& job : ActiveJobs(db, "*ALL")) RefreshJob(db, kind, job.name, false);
}

std::vector<JobInfo> Jobs(Db& db) {
  Stmt st = db.prepareOnce(std::string("SELECT ") + kJobColumns + " FROM qvs_job ORDER BY name");
  std::vector<JobInfo> out;
  while (st.step()) {
    Job j = JobFromRow(st);
    JobInfo info;
    info.name = j.name;
    info.env = j.env;
    info.tgt = j.tgt;
    info.grp = j.grp;
    info.engineKind = j.engineKind;
    info.instance = j.instance;
    info.state = j.state;
    info.number = j.number;
    info.elapsed = j.elapsed;
    info.startedAt = Format(j.startedWall, "%Y-%m-%d %H:%M:%S");
    out.push_back(std::move(info));
  }
  return out;
}

// ---- Message queue ----------------------------------------------------------------

void AddMessage(Db& db, const StoredMessage& m) {
  Stmt st = db.prepareOnce(
      "INSERT INTO qvs_message (severity, job, program, date, time, text) VALUES (?, ?, ?, ?, ?, ?)");
  st.bind(1, static_cast<int64_t>(std::clamp(m.severity, 0, 99999)));
  st.bind(2, FitText(m.job, 10));
  st.bind(3, FitText(m.program, 12));
  st.bind(4, FitText(m.date, 7));
  st.bind(5, FitText(m.time, 6));
  st.bind(6, std::string_view(m.text).substr(0, kMessageTextMax));
  st.step();
}

void ClearMessages(Db& db) {
  WithWriteTransaction(db, [&] {
    db.exec("DELETE FROM qvs_message");
    SetMetaValue(db, "msgq_generation", std::to_string(MessageGeneration(db) + 1));
  });
}

int64_t MessageGeneration(Db& db) { return LeadingDigits(MetaValue(db, "msgq_generation")); }

std::vector<StoredMessage> MessagesAfter(Db& db, int64_t after) {
  Stmt st = db.prepareOnce(
      "SELECT id, severity, job, program, date, time, text FROM qvs_message WHERE id > ? ORDER BY id");
  st.bind(1, after);
  std::vector<StoredMessage> out;
  while (st.step()) {
    StoredMessage m;
    m.id = st.columnInt(0);
    m.severity = static_cast<int>(st.columnInt(1));
    m.job = st.columnText(2);
    m.program = st.columnText(3);
    m.date = st.columnText(4);
    m.time = st.columnText(5);
    m.text = st.columnText(6);
    out.push_back(std::move(m));
  }
  return out;
}

std::string MessageEntry(const StoredMessage& m) {
  const std::string_view text = std::string_view(m.text).substr(0, kMessageTextMax);
  return Num(m.severity, 5) + FitText(m.job, 10) + FitText(m.program, 12) + FitText(m.date, 7) +
         FitText(m.time, 6) + Num(static_cast<int64_t>(text.size()), 5) + std::string(text);
}

std::vector<StoredMessage> ParseMessageEntries(std::string_view text) {
  std::vector<StoredMessage> out;
  auto digits = [](std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  size_t at = 0;
  while (at < text.size()) {
    const std::string where = "message " + std::to_string(out.size() + 1) + " at byte " + std::to_string(at);
    if (text.size() - at < kMessageHeader)
      throw EngineRefusal(where + ": a message needs a 45-character header (severity 5, job 10, program 12, "
                          "date 7, time 6, text length 5)");
    const std::string_view h = text.substr(at, kMessageHeader);
    if (!digits(h.substr(0, 5)) || !digits(h.substr(40, 5)) || !digits(h.substr(27, 7)) ||
        !digits(h.substr(34, 6)))
      throw EngineRefusal(where + ": severity, date, time and text length must be digits");
    const size_t length = static_cast<size_t>(LeadingDigits(h.substr(40, 5)));
    if (text.size() - at - kMessageHeader < length)
      throw EngineRefusal(where + ": its text of " + std::to_string(length) + " characters goes past the end");
    StoredMessage m;
    m.severity = static_cast<int>(LeadingDigits(h.substr(0, 5)));
    m.job = TrimBlanks(h.substr(5, 10));
    m.program = TrimBlanks(h.substr(15, 12));
    m.date = h.substr(27, 7);
    m.time = h.substr(34, 6);
    m.text = text.substr(at + kMessageHeader, length);
    out.push_back(std::move(m));
    at += kMessageHeader + length;
  }
  return out;
}

}  // namespace qv::embedded
