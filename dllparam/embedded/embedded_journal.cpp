// Emulates on NT stores what the server does with the statements of
// journalisation. SQL Server: the registry value of the product's directory,
// the version probe, sp_dboption and sp_replicationdboption, agent jobs with
// their steps, schedules and servers, the publication with its articles and
// subscriptions, capture views, master..qv_CRTJRN and DATALENGTH. Oracle: the
// grant of the entry function, qv_CRTJRN, row triggers kept with their text,
// compiled and enabled, and the sys.obj$ / sys.user$ lookup. JOURNAL and
// QV_MX are tables of the store that plain SQL reaches. The objects live in
// qvs_journal_object (kind, owner, name, detail, state).
//
// A statement of these families that the emulation does not know fails with
// the error the database gives for it.
#include <functional>
#include <map>
#include <stdexcept>

#include "dllparam/embedded/embedded_internal.h"

namespace qv::embedded {
namespace {

// SQL Server errors.
constexpr int32_t kErrSyntax = 102;            // incorrect syntax
constexpr int32_t kErrBadColumn = 207;         // invalid column name
constexpr int32_t kErrInvalidObject = 208;     // invalid object name
constexpr int32_t kErrNoDatabase = 911;        // database does not exist
constexpr int32_t kErrNoProcedure = 2812;      // stored procedure not found
constexpr int32_t kErrNoDropView = 3701;       // cannot drop the view
constexpr int32_t kErrObjectExists = 2714;     // there is already an object named
constexpr int32_t kErrNotPublished = 14013;    // database not enabled for publication
constexpr int32_t kErrPublicationExists = 14016;
constexpr int32_t kErrArticleExists = 14030;
constexpr int32_t kErrNoSubscription = 14055;
constexpr int32_t kErrJobExists = 14261;
constexpr int32_t kErrNoJob = 14262;
constexpr int32_t kErrNoJobId = 14294;
constexpr int32_t kErrNoPublication = 20026;
constexpr int32_t kErrNoArticle = 20027;
constexpr int32_t kErrNoFunction = 195;        // not a recognized built-in function
// Oracle errors.
constexpr int32_t kOraInvalidSql = 900;
constexpr int32_t kOraNoTable = 942;
constexpr int32_t kOraNoUser = 1917;
constexpr int32_t kOraNoTrigger = 4080;
constexpr int32_t kOraCompileError = 24344;

constexpr const char* kRegistrySection = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvenne\\Quorvane\\QV_for_SQLServer";
constexpr const char* kRegistryValue = "PathSQLServerSource";
constexpr const char* kDefaultProductPath = "C:\\Program Files\\Quorvane\\QV_for_SQLServer\\";
constexpr const char* kDefaultVersion = "8.00.2039";
constexpr const char* kPublication = "QUORVANE";

// A refusal of the emulated server, turned into the source's error.
struct ServerError : std::runtime_error {
  ServerError(const std::string& text, int32_t n) : std::runtime_error(text), num(n) {}
  int32_t num;
};

[[noreturn]] void Refuse(const std::string& text, int32_t num) { throw ServerError(text, num); }
[[noreturn]] void OraRefuse(const std::string& text, int32_t num) {
  std::string code = std::to_string(num);
  Refuse("ORA-" + std::string(5 - std::min<std::size_t>(5, code.size()), '0') + code + ": " + text, num);
}

bool Starts(std::string_view text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

// ---- Objects ------------------------------------------------------------------------

struct Object {
  std::string owner, name, detail, state;
};

// Prepares sql with the values bound in order.
Stmt Bound(Db& db, const char* sql, std::initializer_list<std::string_view> values) {
  Stmt st = db.prepareOnce(sql);
  int i = 1;
  for (std::string_view v : values) st.bind(i++, v);
  return st;
}

Object ObjectOf(const Stmt& st) {
  return {std::string(st.columnText(0)), std::string(st.columnText(1)), std::string(st.columnText(2)),
          std::string(st.columnText(3))};
}

std::optional<Object> Find(Db& db, std::string_view kind, std::string_view owner, std::string_view name) {
  Stmt st = Bound(db,
                  "SELECT owner, name, detail, state FROM qvs_journal_object WHERE kind = ? AND owner = ? AND name = ?",
                  {kind, owner, name});
  if (!st.step()) return std::nullopt;
  return ObjectOf(st);
}

// Returns the objects of a kind (of one owner when given).
std::vector<Object> All(Db& db, std::string_view kind, std::optional<std::string_view> owner = std::nullopt) {
  Stmt st = Bound(db,
                  "SELECT owner, name, detail, state FROM qvs_journal_object WHERE kind = ? AND (? = '' OR owner = ?) "
                  "ORDER BY owner, name",
                  {kind, owner ? "x" : "", owner.value_or("")});
  std::vector<Object> out;
  while (st.step()) out.push_back(ObjectOf(st));
  return out;
}

void Put(Db& db, std::string_view kind, std::string_view owner, std::string_view name, std::string_view detail,
         std::string_view state = "") {
  Bound(db, "INSERT OR REPLACE INTO qvs_journal_object (kind, owner, name, detail, state) VALUES (?, ?, ?, ?, ?)",
        {kind, owner, name, detail, state})
      .step();
}

void SetState(Db& db, std::string_view kind, std::string_view owner, std::string_view name, std::string_view state) {
  Bound(db, "UPDATE qvs_journal_object SET state = ? WHERE kind = ? AND owner = ? AND name = ?",
        {state, kind, owner, name})
      .step();
}

void Remove(Db& db, std::string_view kind, std::string_view owner, std::string_view name) {
  Bound(db, "DELETE FROM qvs_journal_object WHERE kind = ? AND owner = ? AND name = ?", {kind, owner, name}).step();
}

// Removes a job with its steps, schedules and server.
void RemoveJob(Db& db, const std::string& job) {
  Remove(db, "job", "", job);
  Bound(db, "DELETE FROM qvs_journal_object WHERE kind IN ('jobstep', 'jobschedule', 'jobserver') AND owner = ?",
        {job})
      .step();
}

bool DatabaseExists(Db& db, const std::string& database) {
  return Bound(db,
               "SELECT 1 FROM sqlite_master WHERE type = 'table' AND instr(name, '.') > 1 AND "
               "upper(substr(name, 1, instr(name, '.') - 1)) = ?",
               {UpperText(database)})
      .step();
}

std::optional<std::string> Meta(Db& db, const std::string& key) {
  Stmt st = Bound(db, "SELECT value FROM qvs_meta WHERE key = ?", {key});
  if (!st.step()) return std::nullopt;
  return std::string(st.columnText(0));
}

// ---- Reading statements ----------------------------------------------------------------

// Returns the value of a literal ('it''s', N'x') or a bare word as written.
std::string Value(std::string_view text) {
  std::string t = TrimText(text);
  if (!t.empty() && (t[0] == 'N' || t[0] == 'n') && t.size() > 1 && t[1] == '\'') t.erase(0, 1);
  if (t.size() < 2 || t.front() != '\'' || t.back() != '\'') return t;
  std::string out;
  for (std::size_t i = 1; i + 1 < t.size(); ++i) {
    out += t[i];
    if (t[i] == '\'' && t[i + 1] == '\'') ++i;
  }
  return out;
}

// Splits text at the separator outside literals and parentheses.
std::vector<std::string> SplitOutside(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  bool quoted = false;
  int depth = 0;
  for (char c : text) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')') --depth;
    if (!quoted && depth == 0 && c == separator) {
      parts.push_back(part);
      part.clear();
      continue;
    }
    part += c;
  }
  parts.push_back(part);
  return parts;
}

// Reads the parameters of a procedure call ("@a='x', @b = 1, @c=@id OUTPUT")
// by upper-cased name.
std::map<std::string, std::string> Params(std::string_view text) {
  std::map<std::string, std::string> out;
  for (const std::string& p : SplitOutside(text, ',')) {
    const std::string t = TrimText(p);
    if (t.empty()) continue;
    const std::size_t eq = t.find('=');
    if (t[0] != '@' || eq == std::string::npos) Refuse("Incorrect syntax near '" + t + "'.", kErrSyntax);
    out[UpperText(TrimText(t.substr(1, eq - 1)))] = Value(t.substr(eq + 1));
  }
  return out;
}

// Returns the literal values of a statement, in order.
std::vector<std::string> Literals(std::string_view text) {
  std::vector<std::string> out;
  for (const SqlToken& t : TokenizeSql(text))
    if (t.kind == SqlToken::Literal) out.push_back(Value(t.text));
  return out;
}

// Matches text against a LIKE pattern: "%" any run, "_" one character,
// "[[]" a "[".
bool Like(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '%') {
    for (std::size_t i = 0; i <= text.size(); ++i)
      if (Like(text.substr(i), pattern.substr(1))) return true;
    return false;
  }
  if (Starts(pattern, "[[]")) return !text.empty() && text[0] == '[' && Like(text.substr(1), pattern.substr(3));
  if (text.empty()) return false;
  if (pattern[0] != '_' && std::toupper(static_cast<unsigned char>(pattern[0])) !=
                               std::toupper(static_cast<unsigned char>(text[0])))
    return false;
  return Like(text.substr(1), pattern.substr(1));
}

// A procedure call: its database ("" when none), its name upper-cased and
// its parameters as written.
struct Call {
  std::string database, procedure, rest;
};

std::optional<Call> ReadCall(std::string_view sql) {
  std::string t = TrimText(sql);
  const std::size_t blank = t.find_first_of(" \t\r\n");
  if (blank == std::string::npos) return std::nullopt;
  const std::string verb = UpperText(t.substr(0, blank));
  if (verb != "EXEC" && verb != "EXECUTE") return std::nullopt;
  const std::size_t start = t.find_first_not_of(" \t\r\n", blank);
  if (start == std::string::npos) return std::nullopt;
  const std::size_t end = t.find_first_of(" \t\r\n", start);
  const std::string proc = t.substr(start, end == std::string::npos ? std::string::npos : end - start);
  Call call;
  call.rest = end == std::string::npos ? std::string() : t.substr(end);
  const std::size_t dots = proc.find("..");
  if (dots != std::string::npos) {
    call.database = proc.substr(0, dots);
    call.procedure = UpperText(proc.substr(dots + 2));
  } else {
    call.procedure = UpperText(proc);
  }
  return call;
}

std::string Required(const std::map<std::string, std::string>& params, const char* name, const std::string& proc) {
  auto it = params.find(name);
  if (it == params.end())
    Refuse("Procedure or function '" + proc + "' expects parameter '@" + std::string(name) + "', which was not supplied.",
           201);
  return it->second;
}

}  // namespace

void EnsureJournalTables(Db& db) {
  db.exec(
      "CREATE TABLE IF NOT EXISTS JOURNAL (DB VARCHAR(30) NOT NULL COLLATE RTRIM PRIMARY KEY,"
      " JrnFile VARCHAR(260) NOT NULL DEFAULT '');"
      "CREATE TABLE IF NOT EXISTS qvs_journal_object (kind TEXT NOT NULL, owner TEXT NOT NULL COLLATE NOCASE,"
      " name TEXT NOT NULL COLLATE NOCASE, detail TEXT NOT NULL DEFAULT '', state TEXT NOT NULL DEFAULT '',"
      " PRIMARY KEY (kind, owner, name));");
}

// ---- SQL Server -----------------------------------------------------------------------------

namespace {

// What the SQL Server emulation needs of the source: the server's name, the
// connection's current database and the source tables.
struct SqlServer {
  Db& db;
  std::string server;
  std::string& current;  // "" for QV_USRDATA
  std::function<std::string(const std::string&, const std::string&)> table;  // store name of db.table

  std::string Database(const std::string& name) {
    const std::string d = UpperText(TrimText(name));
    if (d.empty()) return UpperText(current);
    if (!DatabaseExists(db, d))
      Refuse("Database '" + TrimText(name) + "' does not exist. Make sure that the name is entered correctly.",
             kErrNoDatabase);
    return d;
  }
  std::string Job(const std::string& name) {
    if (!Find(db, "job", "", name)) Refuse("The specified @job_name ('" + name + "') does not exist.", kErrNoJob);
    return name;
  }
  void NeedPublication(const std::string& database) {
    if (!Find(db, "publication", database, kPublication))
      Refuse("The publication 'Quorvane' does not exist.", kErrNoPublication);
  }
  // Creates a job the server makes for itself, with one step.
  void ServerJob(const std::string& name, const std::string& subsystem, const std::string& command) {
    Put(db, "job", "", name, "made by the server", "1");
    Put(db, "jobstep", name, "Run agent.", subsystem + "\t" + command);
  }

  bool Run(const std::string& sql, std::deque<std::string>* rows);
  bool RunCall(const Call& call, std::deque<std::string>* rows);
  void Batch(const std::vector<std::string>& lines);
};

bool SqlServer::RunCall(const Call& call, std::deque<std::string>* rows) {
  const std::string proc = call.procedure;
  const std::string owner = UpperText(call.database);
  const std::string shown = (call.database.empty() ? "" : call.database + "..") + proc;
  if (owner == "MASTER" && proc == "XP_REGREAD") {
    const std::vector<std::string> args = Literals(call.rest);
    if (args.size() != 3) Refuse("xp_regread takes a root key, a key and a value name.", kErrSyntax);
    const std::string section = args[0] + "\\" + args[1];
    std::optional<std::string> value = SettingOf(db, section, args[2]);
    if (!value && UpperText(section) == UpperText(kRegistrySection) && UpperText(args[2]) == UpperText(kRegistryValue))
      value = kDefaultProductPath;
    if (value && !value->empty() && rows) rows->push_back(Fit(args[2], 255) + *value);
    return true;
  }
  if (owner == "MASTER" && proc == "SP_DBOPTION") {
    const std::vector<std::string> parts = SplitOutside(call.rest, ',');
    if (parts.size() != 3) Refuse("Incorrect syntax near 'sp_dboption'.", kErrSyntax);
    const std::string database = Value(parts[0]);
    if (!DatabaseExists(db, database))
      Refuse("The database '" + database + "' does not exist. Use sp_helpdb to show available databases.", 15010);
    const std::string option = UpperText(Value(parts[1]));
    const std::string value = UpperText(Value(parts[2]));
    if (option != "PUBLISHED" || (value != "TRUE" && value != "FALSE"))
      Refuse("The database option '" + Value(parts[1]) + "' is not served here.", 15011);
    if (value == "TRUE") Put(db, "dboption", UpperText(database), "published", "TRUE");
    else Remove(db, "dboption", UpperText(database), "published");
    return true;
  }
  if (owner == "MASTER" && proc == "QV_CRTJRN") {
    const std::vector<std::string> args = Literals(call.rest);
    if (args.size() != 1 || TrimText(args[0]).empty()) Refuse("qv_CRTJRN takes the journal file's path.", 50000);
    Put(db, "journalfile", "", args[0], "");
    return true;
  }
  if (owner == "MSDB") {
    std::map<std::string, std::string> p = Params(call.rest);
    if (proc == "SP_ADD_JOB") {
      const std::string job = Required(p, "JOB_NAME", proc);
      if (Find(db, "job", "", job)) Refuse("The specified @name ('" + job + "') already exists.", kErrJobExists);
      Put(db, "job", "", job, p["DESCRIPTION"], p.count("ENABLED") ? p["ENABLED"] : "1");
      return true;
    }
    if (proc == "SP_ADD_JOBSTEP") {
      const std::string job = Job(Required(p, "JOB_NAME", proc));
      Put(db, "jobstep", job, Required(p, "STEP_NAME", proc), UpperText(p["SUBSYSTEM"]) + "\t" + p["COMMAND"]);
      return true;
    }
    if (proc == "SP_ADD_JOBSCHEDULE") {
      const std::string job = Job(Required(p, "JOB_NAME", proc));
      Put(db, "jobschedule", job, Required(p, "NAME", proc), p["FREQ_TYPE"]);
      return true;
    }
    if (proc == "SP_ADD_JOBSERVER") {
      const std::string job = Job(Required(p, "JOB_NAME", proc));
      Put(db, "jobserver", job, TrimText(p["SERVER_NAME"]), "");
      return true;
    }
    if (proc == "SP_START_JOB") {
      const std::string job = Job(Required(p, "JOB_NAME", proc));
      if (All(db, "jobstep", job).empty())
        Refuse("SQLServerAgent Error: Request to run job " + job + " refused because the job has no steps.", 22022);
      SetState(db, "job", "", job, "running");
      return true;
    }
    if (proc == "SP_DELETE_JOB") {
      RemoveJob(db, Job(Required(p, "JOB_NAME", proc)));
      return true;
    }
  }
  if (proc == "SP_ADDPUBLICATION" || proc == "SP_DROPPUBLICATION" || proc == "SP_REPLICATIONDBOPTION" ||
      proc == "SP_ADDARTICLE" || proc == "SP_ADDSUBSCRIPTION" || proc == "SP_DROPSUBSCRIPTION" ||
      proc == "SP_DROPARTICLE") {
    const std::string database = Database(call.database);
    if (database.empty()) Refuse("Could not find stored procedure '" + shown + "'.", kErrNoProcedure);
    if (proc == "SP_REPLICATIONDBOPTION") {
      const std::vector<std::string> args = Literals(call.rest);
      if (args.size() != 3 || UpperText(args[1]) != "PUBLISH") Refuse("Incorrect syntax near '" + proc + "'.", kErrSyntax);
      if (UpperText(args[2]) == "FALSE") Remove(db, "dboption", Database(args[0]), "published");
      else Put(db, "dboption", Database(args[0]), "published", "TRUE");
      return true;
    }
    std::map<std::string, std::string> p = Params(call.rest);
    if (UpperText(Required(p, "PUBLICATION", proc)) != kPublication)
      Refuse("The publication '" + p["PUBLICATION"] + "' does not exist.", kErrNoPublication);
    if (proc == "SP_ADDPUBLICATION") {
      if (!Find(db, "dboption", database, "published"))
        Refuse("This database is not enabled for publication.", kErrNotPublished);
      if (Find(db, "publication", database, kPublication))
        Refuse("The publication 'Quorvane' already exists.", kErrPublicationExists);
      const std::string logReader = p["LOGREADER_JOB_NAME"];
      if (!logReader.empty()) Job(logReader);
      Put(db, "publication", database, kPublication, logReader, p["STATUS"]);
      // A server that does not tell its version makes a log reader of its own.
      if (logReader.empty() && Meta(db, "product_version").value_or(kDefaultVersion).empty())
        ServerJob(server + "-" + database + "-LogReader", "LOGREADER",
                  "-Publisher [" + server + "] -PublisherDB [" + database + "]");
      return true;
    }
    NeedPublication(database);
    if (proc == "SP_DROPPUBLICATION") {
      Remove(db, "publication", database, kPublication);
      for (const char* kind : {"article", "subscription"})
        for (const Object& o : All(db, kind, database)) Remove(db, kind, database, o.name);
      return true;
    }
    if (proc == "SP_ADDARTICLE") {
      const std::string article = Required(p, "ARTICLE", proc);
      table(database, Required(p, "SOURCE_TABLE", proc));
      const std::string sync = Required(p, "SYNC_OBJECT", proc);
      if (!Find(db, "view", database, sync)) Refuse("Invalid object name '" + sync + "'.", kErrInvalidObject);
      if (Find(db, "article", database, article))
        Refuse("The article '" + article + "' already exists in publication 'Quorvane'.", kErrArticleExists);
      Put(db, "article", database, article, sync, p.count("SCHEMA_OPTION") ? "1" : p["STATUS"]);
      return true;
    }
    if (proc == "SP_ADDSUBSCRIPTION") {
      if (UpperText(Required(p, "SUBSCRIBER", proc)) != "QUORVANE")
        Refuse("The subscriber '" + p["SUBSCRIBER"] + "' is not declared.", 14010);
      const std::string destination = Required(p, "DESTINATION_DB", proc);
      const std::string job = p["DISTRIBUTION_JOB_NAME"];
      if (!job.empty()) Job(job);
      for (const Object& a : All(db, "article", database))
        if (!Find(db, "subscription", database, a.name)) Put(db, "subscription", database, a.name, destination);
      if (job.empty())
        ServerJob(server + "-" + database + "-QUORVANE-" + destination, "DISTRIBUTION",
                  "-Publisher [" + server + "] -PublisherDB [" + database + "] -Subscriber [QUORVANE] -SubscriberDB [" +
                      destination + "]");
      return true;
    }
    const std::string article = Required(p, "ARTICLE", proc);
    if (proc == "SP_DROPSUBSCRIPTION") {
      if (!Find(db, "subscription", database, article))
        Refuse("The subscription to article '" + article + "' does not exist.", kErrNoSubscription);
      Remove(db, "subscription", database, article);
      return true;
    }
    if (!Find(db, "article", database, article))
      Refuse("The article '" + article + "' does not exist.", kErrNoArticle);
    if (Find(db, "subscription", database, article))
      Refuse("Cannot drop article '" + article + "' from publication 'Quorvane' because its snapshot files "
             "have subscriptions.",
             14046);
    Remove(db, "article", database, article);
    return true;
  }
  return false;
}

void SqlServer::Batch(const std::vector<std::string>& lines) {
  const std::string declare = UpperText(CanonicalSql(lines[0]));
  if (declare == "DECLARE @JOBID UNIQUEIDENTIFIER" && lines.size() == 3) {
    // select @jobid=job_id from msdb..sysjobsteps where subsystem='X' and command like '...' ...
    const std::vector<std::string> literals = Literals(lines[1]);
    if (literals.empty() || !Starts(UpperText(CanonicalSql(lines[1])), "SELECT @JOBID=JOB_ID FROM MSDB..SYSJOBSTEPS"))
      Refuse("Incorrect syntax near '" + lines[1] + "'.", kErrSyntax);
    std::string found;
    for (const Object& job : All(db, "job")) {
      for (const Object& step : All(db, "jobstep", job.name)) {
        const std::size_t tab = step.detail.find('\t');
        const std::string subsystem = step.detail.substr(0, tab);
        const std::string command = tab == std::string::npos ? "" : step.detail.substr(tab + 1);
        bool match = UpperText(subsystem) == UpperText(literals[0]);
        for (std::size_t i = 1; i < literals.size() && match; ++i) match = Like(command, literals[i]);
        if (match) found = job.name;
      }
    }
    if (UpperText(CanonicalSql(lines[2])) != "EXEC MSDB..SP_DELETE_JOB @JOB_ID=@JOBID")
      Refuse("Incorrect syntax near '" + lines[2] + "'.", kErrSyntax);
    if (found.empty()) Refuse("Supply either @job_id or @job_name to identify the job.", kErrNoJobId);
    RemoveJob(db, found);
    return;
  }
  if (declare == "DECLARE @ARTID INT" && (lines.size() == 2 || lines.size() == 3)) {
    std::optional<Call> call = ReadCall(lines[1]);
    if (!call || call->procedure != "SP_ADDARTICLE") Refuse("Incorrect syntax near '" + lines[1] + "'.", kErrSyntax);
    RunCall(*call, nullptr);
    if (lines.size() == 3) {
      if (!Starts(UpperText(CanonicalSql(lines[2])), "UPDATE SYSARTICLES SET STATUS=1"))
        Refuse("Incorrect syntax near '" + lines[2] + "'.", kErrSyntax);
      const std::string article = Params(call->rest)["ARTICLE"];
      SetState(db, "article", Database(call->database), article, "1");
    }
    return;
  }
  Refuse("Incorrect syntax near '" + lines[0] + "'.", kErrSyntax);
}

bool SqlServer::Run(const std::string& sql, std::deque<std::string>* rows) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = sql.find("\r\n", start);
    lines.push_back(sql.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  const std::string canon = CanonicalSql(sql);
  if (lines.size() > 1) {
    if (!Starts(canon, "DECLARE ")) return false;
    Batch(lines);
    return true;
  }
  if (canon == "SELECT CONVERT(CHAR(20), SERVERPROPERTY('ProductVersion'))") {
    const std::string version = Meta(db, "product_version").value_or(kDefaultVersion);
    if (version.empty()) Refuse("'SERVERPROPERTY' is not a recognized built-in function name.", kErrNoFunction);
    if (rows) rows->push_back(Fit(version, 20));
    return true;
  }
  if (Starts(canon, "USE ")) {
    const std::string name = TrimText(canon.substr(4));
    current = name == kLibraryName ? std::string() : Database(name);
    return true;
  }
  if (std::optional<Call> call = ReadCall(sql)) return RunCall(*call, rows);
  // Views of the store's own database are plain SQL; capture views live in
  // the source databases.
  if (Starts(canon, "DROP VIEW ") && !current.empty()) {
    const std::string view = TrimText(sql.substr(sql.find_first_not_of(" ") + 10));
    if (!Find(db, "view", UpperText(current), view))
      Refuse("Cannot drop the view '" + view + "', because it does not exist or you do not have permission.",
             kErrNoDropView);
    Remove(db, "view", UpperText(current), view);
    return true;
  }
  if (Starts(canon, "CREATE VIEW ") && !current.empty()) {
    const std::string text = TrimText(sql);
    const std::size_t as = UpperText(text).find(" AS SELECT ");
    const std::size_t from = UpperText(text).rfind(" FROM ");
    if (as == std::string::npos || from == std::string::npos || from < as)
      Refuse("Incorrect syntax near 'VIEW'.", kErrSyntax);
    const std::string view = TrimText(text.substr(12, as - 12));
    const std::string list = text.substr(as + 11, from - as - 11);
    const std::string source = TrimText(text.substr(from + 6));
    const std::string stored = table(current, source);
    try {
      db.prepareOnce("SELECT " + list + " FROM \"" + stored + "\"");
    } catch (const StoreError& e) {
      Refuse(std::string("Invalid column name in the view: ") + e.what(), kErrBadColumn);
    }
    if (Find(db, "view", UpperText(current), view))
      Refuse("There is already an object named '" + view + "' in the database.", kErrObjectExists);
    Put(db, "view", UpperText(current), view, "select " + list + " from " + source);
    return true;
  }
  if (Starts(canon, "SELECT NAME FROM ") && canon.find("..SYSPUBLICATIONS WHERE NAME=") != std::string::npos) {
    const std::string database = Database(canon.substr(17, canon.find("..") - 17));
    const std::vector<std::string> literals = Literals(sql);
    if (literals.size() == 1 && Find(db, "publication", database, literals[0]) && rows)
      rows->push_back(Fit(literals[0], 128));
    return true;
  }
  if (Starts(canon, "SELECT A.NAME FROM ") && canon.find("..SYSARTICLES A LEFT JOIN ") != std::string::npos) {
    const std::string database = Database(canon.substr(19, canon.find("..") - 19));
    const std::vector<std::string> literals = Literals(sql);
    if (literals.size() != 2) Refuse("Incorrect syntax near 'sysarticles'.", kErrSyntax);
    if (Find(db, "article", database, literals[0]) && UpperText(literals[1]) == kPublication &&
        Find(db, "publication", database, kPublication) && rows)
      rows->push_back(Fit(literals[0], 128));
    return true;
  }
  if (Starts(canon, "SELECT MAX(DATALENGTH(") && canon.find(")) FROM ") != std::string::npos) {
    const std::size_t close = canon.find(")) FROM ");
    const std::string column = TrimText(canon.substr(22, close - 22));
    const std::string qualified = TrimText(canon.substr(close + 8));
    const std::size_t dots = qualified.find("..");
    if (dots == std::string::npos) Refuse("Invalid object name '" + qualified + "'.", kErrInvalidObject);
    const std::string stored = table(Database(qualified.substr(0, dots)), qualified.substr(dots + 2));
    Stmt st;
    try {
      st = db.prepareOnce("SELECT MAX(LENGTH(CAST(\"" + column + "\" AS BLOB))) FROM \"" + stored + "\"");
    } catch (const StoreError&) {
      Refuse("Invalid column name '" + column + "'.", kErrBadColumn);
    }
    if (st.step() && rows) rows->push_back(st.columnIsNull(0) ? std::string() : std::string(st.columnText(0)));
    return true;
  }
  return false;
}

// ---- Oracle -----------------------------------------------------------------------------------

struct Oracle {
  Db& db;
  std::function<std::string(const std::string&, const std::string&)> table;

  std::string Schema(const std::string& name) {
    const std::string s = UpperText(TrimText(name));
    if (!DatabaseExists(db, s)) OraRefuse("user or role '" + TrimText(name) + "' does not exist", kOraNoUser);
    return s;
  }
  // Splits "SCHEMA.QV$_TABLE" into the schema and the trigger.
  std::pair<std::string, std::string> Trigger(const std::string& qualified) {
    const std::size_t dot = qualified.find('.');
    if (dot == std::string::npos) OraRefuse("invalid SQL statement", kOraInvalidSql);
    return {UpperText(TrimText(qualified.substr(0, dot))), UpperText(TrimText(qualified.substr(dot + 1)))};
  }
  Object Existing(const std::string& schema, const std::string& trigger) {
    std::optional<Object> t = Find(db, "trigger", schema, trigger);
    if (!t) OraRefuse("trigger '" + schema + "." + trigger + "' does not exist", kOraNoTrigger);
    return *t;
  }
  bool Run(const std::string& sql, std::deque<std::string>* rows);
};

bool Oracle::Run(const std::string& sql, std::deque<std::string>* rows) {
  const std::string firstLine = sql.substr(0, sql.find('\n'));
  const std::string canon = CanonicalSql(firstLine);
  if (Starts(canon, "CREATE OR REPLACE TRIGGER ")) {
    const auto [schema, trigger] = Trigger(TrimText(canon.substr(26)));
    std::string on;
    for (std::size_t start = 0; start < sql.size();) {
      const std::size_t end = sql.find('\n', start);
      const std::string line = CanonicalSql(sql.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (Starts(line, "ON ")) on = TrimText(line.substr(3));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    const std::size_t dot = on.find('.');
    if (dot == std::string::npos) OraRefuse("missing ON keyword", 969);
    try {
      table(on.substr(0, dot), on.substr(dot + 1));
    } catch (const ServerError&) {
      OraRefuse("table or view does not exist", kOraNoTable);
    }
    Put(db, "trigger", schema, trigger, sql, "");
    return true;
  }
  if (Starts(canon, "ALTER TRIGGER ")) {
    const std::string rest = TrimText(canon.substr(14));
    const std::size_t blank = rest.find(' ');
    const auto [schema, trigger] = Trigger(rest.substr(0, blank));
    const std::string action = blank == std::string::npos ? "" : TrimText(rest.substr(blank + 1));
    const Object t = Existing(schema, trigger);
    if (action == "COMPILE") {
      // Compiles when the columns named exist and the entry function may be run.
      std::string of;
      for (std::size_t start = 0; start < t.detail.size();) {
        const std::size_t end = t.detail.find('\n', start);
        const std::string line =
            CanonicalSql(t.detail.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (Starts(line, "OF ")) of = line.substr(3);
        if (end == std::string::npos) break;
        start = end + 1;
      }
      bool valid = Find(db, "grant", schema, "QV_F_ADDENTRY").has_value();
      const std::string tableName = trigger.substr(4);
      std::string stored;
      try {
        stored = table(schema, tableName);
      } catch (const ServerError&) {
        valid = false;
      }
      for (const std::string& column : SplitOutside(of, ',')) {
        if (!valid) break;
        Stmt st = db.prepareOnce("SELECT 1 FROM pragma_table_info(?) WHERE upper(name) = ?");
        st.bind(1, stored);
        st.bind(2, UpperText(TrimText(column)));
        valid = st.step();
      }
      SetState(db, "trigger", schema, trigger, valid ? "VALID" : "INVALID");
      if (!valid) OraRefuse("success with compilation error", kOraCompileError);
      return true;
    }
    if (action == "ENABLE" || action == "DISABLE") {
      const std::string base = t.state.substr(0, t.state.find(' '));
      SetState(db, "trigger", schema, trigger, action == "ENABLE" ? base + " ENABLED" : base);
      return true;
    }
    OraRefuse("invalid ALTER TRIGGER option", 4078);
  }
  if (Starts(canon, "DROP TRIGGER ")) {
    const auto [schema, trigger] = Trigger(TrimText(canon.substr(13)));
    Existing(schema, trigger);
    Remove(db, "trigger", schema, trigger);
    return true;
  }
  if (Starts(canon, "GRANT ")) {
    if (!Starts(canon, "GRANT EXECUTE ON QV_USRDATA.QV_F_ADDENTRY TO "))
      OraRefuse("invalid SQL statement", kOraInvalidSql);
    std::string grantee = TrimText(firstLine.substr(firstLine.rfind(' ') + 1));
    while (!grantee.empty() && (grantee.back() == ';')) grantee.pop_back();
    if (grantee.size() >= 2 && grantee.front() == '"' && grantee.back() == '"')
      grantee = grantee.substr(1, grantee.size() - 2);
    else grantee = UpperText(grantee);
    Put(db, "grant", Schema(grantee), "QV_F_ADDENTRY", "EXECUTE");
    return true;
  }
  if (Starts(canon, "EXECUTE ") || Starts(canon, "EXEC ")) OraRefuse("invalid SQL statement", kOraInvalidSql);
  if (Starts(canon, "CALL ")) {
    if (!Starts(canon, "CALL QV_USRDATA.QV_CRTJRN(")) OraRefuse("invalid SQL statement", kOraInvalidSql);
    const std::vector<std::string> args = Literals(sql);
    if (args.size() != 1 || TrimText(args[0]).empty())
      OraRefuse("wrong number or types of arguments in call to 'QV_CRTJRN'", 6553);
    Put(db, "journalfile", "", args[0], "");
    return true;
  }
  if (Starts(canon, "SELECT NAME FROM SYS.OBJ$ WHERE NAME=")) {
    const std::vector<std::string> literals = Literals(sql);
    if (literals.size() != 2 || canon.find("SYS.USER$") == std::string::npos)
      OraRefuse("invalid SQL statement", kOraInvalidSql);
    if (Find(db, "trigger", UpperText(literals[1]), UpperText(literals[0])) && rows)
      rows->push_back(Fit(UpperText(literals[0]), 30));
    return true;
  }
  if (Starts(canon, "SELECT") && canon.find("SYS.") != std::string::npos)
    OraRefuse("table or view does not exist", kOraNoTable);
  return false;
}

}  // namespace

namespace {

// Tells whether sql may be a statement of journalisation: what the
// configuration store's own statements never hold.
bool MayBeJournalStatement(std::string_view sql) {
  const std::string head = UpperText(sql.substr(0, std::min<std::size_t>(sql.size(), 16)));
  const std::string first = head.substr(0, head.find_first_of(" \t\r\n"));
  if (first == "EXEC" || first == "EXECUTE" || first == "USE" || first == "DROP" || first == "CREATE" ||
      first == "DECLARE" || first == "ALTER" || first == "GRANT" || first == "CALL")
    return true;
  if (first != "SELECT") return false;
  const std::string upper = UpperText(sql);
  for (const char* word : {"SERVERPROPERTY", "SYSPUBLICATIONS", "SYSARTICLES", "DATALENGTH", "SYS."})
    if (upper.find(word) != std::string::npos) return true;
  return false;
}

}  // namespace

bool EmbeddedSource::JournalStatement(Connection& c, Handle* hd, const std::string& sql) {
  if (c.kind != SourceKind::SQLServer && c.kind != SourceKind::Oracle) return false;
  if (!MayBeJournalStatement(sql)) return false;
  auto table = [this, &c](const std::string& database, const std::string& name) {
    try {
      return SourceTableOf(c, database, name);
    } catch (const Fault& f) {
      throw ServerError(f.text, f.errNum);
    }
  };
  std::deque<std::string>* rows = hd ? &hd->rows : nullptr;
  try {
    if (c.kind == SourceKind::SQLServer) {
      SqlServer server{c.db, c.login ? c.login->server : std::string(), c.database, table};
      return server.Run(sql, rows);
    }
    Oracle oracle{c.db, table};
    return oracle.Run(sql, rows);
  } catch (const ServerError& e) {
    Fail(kCodeRefused, e.what(), e.num);
  }
}

}  // namespace qv::embedded
