// QVSource: the control that holds the connection to one source and carries
// every operation on it. One class, declared here, defined across the
// subsystem folders: one section per file, each section's private members
// under it. Contents:
//
//      Construction and the library        (connection/source_connection.cpp)
//   1. Error state and fault guard          (connection/errors.cpp)
//   2. Source connection                    (connection/source_connection.cpp)
//   3. NT login and SQL Server checks       (connection/nt_login.cpp)
//   4. Users and login                      (connection/users.cpp)
//   5. Activity                             (operations/activity.cpp)
//   6. AS/400 object queries                (catalogs/objects.cpp)
//   7. Late-bound members                   (connection/dispatch.cpp)
//   8. Current selection                    (store/selection.cpp)
//   9. Store access shared by the sections  (store/store_access.cpp)
//  10. Environments and targets             (store/environments.cpp)
//  11. Change events                        (store/change_events.cpp)
//  12. Cascading deletes                    (store/cascades.cpp)
//  13. Models, model tables and fields      (store/models.cpp)
//  14. Distributions and distributed tables (store/distributions.cpp)
//  15. Engine control and jobs              (operations/engine.cpp)
//  16. Message queue                        (operations/message_queue.cpp)
//  17. Field catalog and adding a table     (catalogs/field_import.cpp)
//  18. Field import from NT sources         (catalogs/fields_nt.cpp)
//  19. NT catalogs                          (catalogs/nt_catalogs.cpp)
//  20. Transformation programs              (programs/programs.cpp)
//  21. End-of-distribution scripts          (programs/end_scripts.cpp)
//  22. SQL Server journalisation            (journal/sqlserver_journal.cpp)
//  23. Oracle journalisation                (journal/oracle_journal.cpp)
//  24. Supervision                          (presentation/supervision.cpp)
//  25. Topology tree                        (presentation/tree.cpp)
//  26. List views                           (presentation/lists.cpp)
//      Process-wide login                   (connection/users.cpp)
//
// Every public operation sets ErrorStep, makes its connection current through
// Via() before each library call, catches its own faults (Guard) and reports
// failure by a false result and the error state. Pure logic (record codecs,
// SQL text, messages) lives outside the class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "connection/dllparam.h"
#include "store/change_events.h"

namespace qv {
namespace platform {
class ListView;
class ListBox;
class TreeView;
class TreeNode;
class IDispatch;
struct TextBox;
struct Label;
}  // namespace platform
class Record;
struct Layout;
struct ItemKey;

// The three connections the control keeps in the library.
enum class ConnKind : char { Source = 'S', Replication = 'R', TargetServer = 'C' };

class QVSource {
  // ---- Construction and the library (connection/source_connection.cpp) -------
 public:
  // Takes the record-access library the control works through. The idle check
  // reads the process clock (platform::CurrentClock).
  explicit QVSource(std::unique_ptr<DllParam> library);
  // Closes the connection when it is open.
  ~QVSource();
  QVSource(const QVSource&) = delete;
  QVSource& operator=(const QVSource&) = delete;

  // Returns the record-access library (hosts wrap or inspect it).
  DllParam& Library() { return *lib_; }

  // ---- 1. Error state and fault guard (connection/errors.cpp) -----------------
 public:
  // The last error. Each getter returns the value and clears it.
  std::string ErrorText();
  int32_t ErrorNum();
  std::string ErrorStep();

  // Number reported for a run-time fault caught inside an operation.
  static constexpr int32_t kFaultNum = 51;
  // Number of the refusals decided by the system itself.
  static constexpr int32_t kRefusalNum = 40;
  // Library errors without a number of their own are reported as this base
  // plus the error category (1001 refused, 1002 network, 1004 busy, ...).
  static constexpr int32_t kLibraryErrorBase = 1000;

 private:
  // How a read of one item ended: Failed has the library error recorded.
  enum class Lookup { Found, Missing, Failed };
  // Fetches the library's last error into ErrorNum and ErrorText.
  void QVParamError();
  // Stores a refusal of the system: ErrorNum 40 and the text.
  void Refuse(std::string text);
  // Sets ErrorStep.
  void Step(std::string step) { errorStep_ = std::move(step); }
  // Runs body as the public operation step: sets ErrorStep, and turns any
  // fault escaping body into the error state and a false (or empty) result.
  template <class F>
  auto Guard(std::string step, F&& body) -> decltype(body());
  void RecordFault(const char* what);
  // Returns a library buffer's text up to its first NUL, trimmed.
  static std::string BufferText(std::string_view buffer);

  std::string errorText_, errorStep_;
  int32_t errorNum_ = 0;

  // ---- 2. Source connection (connection/source_connection.cpp) ----------------
 public:
  // Source kind: "AS400", "ODBC", "SQL Server" or "Oracle". Set maps any case
  // of "ORACLE", "SQL SERVER" and "ODBC"; anything else becomes "AS400".
  const std::string& SourceType() const { return sourceType_; }
  void SourceType(const std::string& value);
  const std::string& InstanceName() const { return instanceName_; }
  void InstanceName(const std::string& value) { instanceName_ = value; }
  const std::string& SourceUID() const { return sourceUID_; }
  void SourceUID(const std::string& value) { sourceUID_ = value; }
  const std::string& SourcePWD() const { return sourcePWD_; }
  void SourcePWD(const std::string& value) { sourcePWD_ = value; }
  const std::string& SourceAdress() const { return conn_[kS].address; }
  const std::string& TargetAdress() const { return conn_[kC].address; }
  const std::string& SrcType() const { return srcType_; }
  const std::string& Ver() const { return ver_; }
  // True unless the version flag of QV_VER is "*".
  bool VersionFlag() const { return versionFlag_; }
  // Name of the distribution database found by the SQL Server checks.
  const std::string& DistributionDatabase() const { return distributionDb_; }
  // The file prefix of the store: "QV_USRDATA/", "QV_USRDATA..", "QV_USRDATA." or "".
  const std::string& FilePrefix() const { return prefix_; }
  // Label separator: a blank, Chr(150), a blank.
  std::string LabelSeparator() const;

  // Opens the source connection and the configuration store; writes progress
  // into statusText.Text and statusCaption.Caption when given.
  bool OpenConnection(const std::string& address, platform::TextBox* statusText = nullptr,
                      platform::Label* statusCaption = nullptr);
  // Closes every file and connection and clears the selection. Always true.
  bool CloseConnection();
  bool ConnectionOpen() const { return conn_[kS].open; }
  // Opens the target-server connection "C" (flag "0" also sends SYSCRTUSR_).
  bool OpenQVsrv(const std::string& address, const std::string& flag);
  void CloseQVsrv();
  // Logs "C" in to a data source (flag "1"), or only records it.
  bool ConnectQVsrv(const std::string& flag, const std::string& dsn);
  void DeconnectQVsrv();
  // Opens "R" to the source and logs it in to a data source.
  bool ConnectSourceRepli(const std::string& dsn, const std::string& uid, const std::string& pwd);
  // Asks whether the source connection answers.
  bool PingPong();
  // Pings every connection idle for more than 60 seconds; closes a dead one and
  // returns false with its kind ("S", "R", "C") and address.
  bool CtlTimeOut(std::string& kind, std::string& address);
  // Records kind as the last-used connection and makes handle current.
  void gsQVParamSwitchMConnection(int32_t handle, ConnKind kind);

  // Seconds of idleness after which CtlTimeOut pings a connection.
  static constexpr double kIdleSeconds = 60.0;

 private:
  static constexpr int kS = 0, kR = 1, kC = 2;
  struct Connection {
    int32_t handle = 0;
    bool open = false;
    double lastUse = 0;
    std::string address;
    bool odbc = false;        // ODBC login done on this connection
    std::string odbcString;   // connect string ("R") or DSN ("C") in use
  };
  // Handles of the configuration files, -1 when closed.
  struct StoreFiles {
    int32_t QV_UID_RO = -1, QV_UID = -1, QV_EX = -1, QV_EX_ReadOnly = -1, QV_CX = -1,
            QV_CX_XY = -1, QV_GX = -1, QV_GX_GC_1 = -1, QV_FX = -1, QV_ZX = -1, QV_TX = -1,
            QV_GC = -1, QV_GC_XY = -1, QV_FC = -1, QV_FC_FXU = -1, QV_ZC = -1, QV_END = -1;
  };

  static int Index(ConnKind kind);
  bool IsAS400() const { return sourceType_ == "AS400"; }
  // Kind code of the NT engine: "ODBC", "SQL_" or "ORAC".
  std::string EngineKind() const;
  static double Now();

  // Makes the connection of kind current when it is not, stamps its last-use
  // time and returns the library. Every library call goes through here.
  DllParam& Via(ConnKind kind);
  DllParam& Src() { return Via(ConnKind::Source); }
  // Stamps the last-use time of the last-used connection.
  void LastSendIP();
  // Opens a library connection to address into c and makes it the library's
  // current one; on failure records the library error.
  bool OpenLibraryConnection(const std::string& address, Connection& c);
  void ShowStatus(platform::TextBox* text, platform::Label* caption, const std::string& message);
  // Runs the steps of OpenConnection after the source connection is open:
  // start-up commands or NT login, prefix, version, global user, store files.
  bool OpenSourceSession(platform::TextBox* statusText, platform::Label* statusCaption);
  bool ReadVersion();
  // Opens every configuration file the store sections work on (files_).
  bool OpenStore();
  void CloseStoreFiles();
  // Sends a CL command with "RCMD" in a 100-character area.
  bool RunClCommand(const std::string& command);
  void CloseConnectionOnly(int idx);

  std::unique_ptr<DllParam> lib_;
  std::string sourceType_ = "AS400";
  std::string instanceName_, sourceUID_, sourcePWD_;
  Connection conn_[3];
  char lastKind_ = 'S';
  int32_t currentHandle_ = 0;  // the library's current connection
  // While the session opens (the login checks and the user check), its
  // statement reads share one handle, closed once after them.
  bool shareStatement_ = false;
  int32_t sharedStatement_ = -1;
  std::string prefix_;
  StoreFiles files_;
  std::string srcType_, ver_, distributionDb_;
  bool versionFlag_ = true;

  // ---- 3. NT login and SQL Server checks (connection/nt_login.cpp) ------------
 private:
  // Logs the source connection in to its NT database: the ODBC data source
  // of the settings, or the SQL Server or Oracle server of the instance
  // (Oracle sessions then get their numeric characters and schema).
  bool LoginNT();
  // Checks that the SQL Server installation replicates through server:
  // distributor, distribution database, publisher and subscriber; then
  // makes QV_USRDATA the current database.
  bool SqlServerChecks(const std::string& server);

  // ---- 4. Users and login (connection/users.cpp) ------------------------------
 public:
  // Whether the process user may work in env; userType receives its type. A
  // user file that cannot be read lets nobody in (the library's error).
  bool CheckUser(int32_t& userType, const std::string& env);
  bool AtLeastOneMasterUser(const std::string& env);
  // Reads the user (env, user); on AS/400 the record stays locked for update.
  bool SelectUser(const std::string& env, const std::string& user);
  bool AddUser(const std::string& record);
  // Rewrite or delete the user (env, user): 2206 when it is missing, the
  // library's error when it cannot be read.
  bool ChangeUser(const std::string& record, const std::string& env, const std::string& user);
  bool DeleteEnvUser(const std::string& env, const std::string& user);
  // Delete every entry of a user, or every user of env; an entry that cannot
  // be read (held by another job) stops the delete with the library's error.
  bool DeleteUser(const std::string& user);
  bool DeleteUserEnv(const std::string& env);
  // Fills lv with the global users (and those of the current environment).
  bool LoadUserInList(platform::ListView& lv);
  bool LoadEnvUserInList(platform::ListView& lv);
  // Type of the user at connection ("**"), and for the current environment.
  int32_t GlobalUserType() const { return globalUserType_; }
  int32_t CurrentUserType() const { return currentUserType_; }

 private:
  // Reads the user (env, user) locked on the update handle (AS/400), as
  // SelectUser; a failed read is told from a missing user.
  Lookup LockUser(const std::string& env, const std::string& user);
  // Tells whether env has a user of type 0 (Found), has none (Missing), or
  // its users could not be read (Failed, library error recorded).
  Lookup FindMasterUser(const std::string& env);
  // Adds the users of env to lv (a user already listed stays as it is).
  bool ReadUsersOf(const std::string& env, platform::ListView& lv);

  int32_t globalUserType_ = 0, currentUserType_ = 0;

  // ---- 5. Activity (operations/activity.cpp) ----------------------------------
 public:
  // Reads the activity block of a distribution's engine job into block (or,
  // with option "I", asks the job to stop). On AS/400 a job without a user
  // space has a blank block; a failed check of the space fails the read.
  bool ReadActivity(const std::string& environment, const std::string& target,
                    const std::string& model, std::string& block, int32_t size,
                    const std::string& action, const std::string& option);

  // ---- 6. AS/400 object queries (catalogs/objects.cpp) ------------------------
 public:
  // True when the object is missing or the check failed; false when it exists.
  bool ChkObj(const std::string& object, const std::string& library, const std::string& type);
  // True when file exists in library; false when it is missing or the check
  // failed (the library error recorded).
  bool TableASExist(const std::string& file, const std::string& library);

  // The list fillers add one item per object found to list and give the
  // number added in count. They do nothing (false, error state as it was)
  // while the connection is closed. A failure keeps the items added before
  // it and records the error. Names are upper-cased; a name longer than 10
  // characters is refused before anything is sent.

  // Adds the library names of the source. The names are read once and kept;
  // refresh (or an empty cache) reads them again.
  bool fillLIB(platform::ListBox& list, bool refresh, int32_t& count);
  // Adds the file names of library: fileType "PF" physical, "LF" logical,
  // "" both.
  bool FillLIBFile(platform::ListBox& list, const std::string& library, const std::string& fileType,
                   int32_t& count);
  // Adds the libraries (AS/400, as fillLIB without refresh), the databases
  // (SQL Server) or the schemas (Oracle), the system ones left out.
  bool FillLibraryList(platform::ListBox& list, int32_t& count);
  // Adds the journal names of library.
  bool FillJournalList(platform::ListBox& list, const std::string& library, int32_t& count);
  // Adds the files journaled to journal in library, one item per entry: file,
  // library and member, each padded to 10 ("*ALL" as member: every member).
  bool FillFileListJrnBased(platform::ListBox& list, const std::string& journal,
                            const std::string& library, int32_t& count);
  // Adds the file names of library of type "PF" or "LF" ("" both) that
  // match mask ("%" or "" every one; "%" any run, "_" one character). NT
  // sources: the tables of database library whose names match mask (as
  // FillTBL, without clearing list); type is not used there.
  bool FillFileList(platform::ListBox& list, const std::string& library, const std::string& type,
                    const std::string& mask, int32_t& count);
  // Clears lv and fills it with the receivers of journal in library: the
  // receiver name as the item, sequences and dates as sub-items 1 to 5
  // (dates "YYYY/MM/DD HH:MM:SS", blank when the source gives none).
  bool LoadRcvList(platform::ListView& lv, const std::string& journal, const std::string& library);
  // Gives the record format names of file in library, in listing order.
  bool ListRcd(const std::string& file, const std::string& library, std::vector<std::string>& list);
  // Creates file in library from DDS source text: clears the work member,
  // writes the text's lines (split at CR LF) to it, then creates the file.
  // A line longer than a source record is refused before anything is sent.
  bool CreateFile(const std::string& file, const std::string& library, const std::string& dds);

  // Width of the entries of the object, journaled-file and receiver listings.
  static constexpr std::size_t kObjectEntryWidth = 70;
  static constexpr std::size_t kJournaledEntryWidth = 50;
  static constexpr std::size_t kReceiverEntryWidth = 77;
  // The work source member CreateFile writes, and the longest line it takes.
  static constexpr const char* kDdsMember = "QTEMP/QDDSSRC(QUORVANE)";
  static constexpr std::size_t kDdsLineMax = 80;

 private:
  // Sends a paged listing: the first page with parameters, then flag "1"
  // pages while the count is not 0; take gets each entry of width. One
  // Execute per page. False on a failed exchange (library error recorded);
  // a malformed answer throws ListingError. Entries taken stay taken.
  bool PagedList(const char* code, const std::string& parameters, std::size_t width,
                 const std::function<void(std::string_view)>& take);
  // Adds the names "SYSLSTOBJ_" gives for library, type and attribute.
  bool AddObjects(platform::ListBox& list, const std::string& library, const std::string& type,
                  const std::string& attribute, int32_t& count);
  // Gives name upper-cased and padded to 10, or refuses a longer one.
  bool Name10(const std::string& what, const std::string& name, std::string& out);
  // Refuses an operation this kind of source is not served here (the step
  // and the source type named).
  bool RefuseNT();

  std::vector<std::string> libraryCache_;

 private:
  // Asks whether the object exists (Found), is missing (Missing), or the
  // check failed (Failed, library error recorded).
  Lookup CheckObject(const std::string& object, const std::string& library,
                     const std::string& type);

  // ---- 7. Late-bound members (connection/dispatch.cpp) ------------------------
 public:
  // The members the managers call, reachable by name and dispatch identifier.
  std::shared_ptr<platform::IDispatch> Dispatch();

 private:
  std::shared_ptr<platform::IDispatch> dispatch_;

  // ---- 8. Current selection (store/selection.cpp) -----------------------------
 public:
  // The environment, target, model and table that later operations default
  // to. Writing one level clears the levels below it. Writing env reads the
  // environment and, when it is secured, checks the process user there; a
  // refused user leaves the selection as it was. While the control is not
  // connected the code is kept unread, and OpenConnection selects it again
  // with the check (a refused one leaves nothing selected).
  const std::string& env() const { return sel_.env; }
  void env(const std::string& value);
  const std::string& tgt() const { return sel_.tgt; }
  void tgt(const std::string& value);
  const std::string& Grp() const { return sel_.grp; }
  void Grp(const std::string& value);
  const std::string& Fic() const { return sel_.fic; }
  void Fic(const std::string& value);
  const std::string& FicName() const { return sel_.ficName; }
  void FicName(const std::string& value) { sel_.ficName = value; }
  const std::string& FicDesc() const { return sel_.ficDesc; }
  void FicDesc(const std::string& value) { sel_.ficDesc = value; }
  // The last non-empty target and model written.
  const std::string& LastTarget() const { return lastTarget_; }
  const std::string& LastModel() const { return lastModel_; }

 private:
  struct Selection {
    std::string env, tgt, grp, fic, ficName, ficDesc, memberOption, manualFlag;
  };

  // Selects again, with the user check, the environment written while the
  // control was not connected (OpenConnection); the levels below it stay
  // when it is accepted, nothing stays selected when it is not.
  void SelectKeptEnvironment();

  Selection sel_;
  std::string lastEnv_, lastTarget_, lastModel_;
  // env was written while the control was not connected: neither read nor checked.
  bool envUnchecked_ = false;

  // ---- 9. Store access (store/store_access.cpp) -------------------------------
 private:
  // The reads, statements and refusals that the store sections (10 to 14),
  // the users and the NT login share. Every key of the store is built from
  // the caller's codes by KeyFromCodes and reaches the source only through
  // ReadItem, ReadBlocks, the cascade walk and the leaf deletes: a code
  // longer than its field names no item there, whatever the operation.

  // Reads the record of key on AS/400 file h (locked or not) into rec.
  Lookup ReadKeyed(int32_t h, const std::string& key, bool lock, std::string& rec);
  // Runs the query sql for its first row into rec (fresh statement).
  Lookup ReadRow(const std::string& sql, std::string& rec);
  // Reads one item into rec: on AS/400 the record of key on file h (locked or
  // not), on NT the first row of sql. A key whose codes name no item
  // (KeyFromCodes) reads as Missing and sends nothing.
  Lookup ReadItem(int32_t h, const ItemKey& key, bool lock, const std::string& sql,
                  std::string& rec);
  // Reads the first row of sql into buf (fresh statement, released after).
  // Returns 1 found, 0 not found, -1 failure (error recorded).
  int ReadFirstRow(const std::string& sql, std::string& buf, int32_t& len);
  // Returns the statement handle a read starts with: while the session
  // opens, the handle its reads share; within a change or a cascade on NT,
  // an idle statement that an earlier read of it left; otherwise -1 (the
  // library opens a fresh one).
  int32_t FreshStatement();
  // Gives back the statement handle a read used: kept for the next read
  // while the session opens or a change or cascade runs (closed when it
  // ends), closed otherwise.
  void ReleaseStatement(int32_t h);
  // Tells whether the last read that found nothing ended normally (Missing)
  // or failed (Failed, library error recorded).
  Lookup AfterMiss();
  // Tells whether a read found its item. A missing item is refused with the
  // message id, filled with p1 to p3; a failed read keeps its library error.
  bool Present(Lookup found, const char* id, const std::string& p1 = "",
               const std::string& p2 = "", const std::string& p3 = "");
  // Reads in blocks every record of a listing into out: AS/400 Rreadblock on
  // the read-only logical file by key (as many records as fit 4096 bytes a
  // block), NT Sreadblock of sql. Failures are reported under step. A key
  // whose codes name no item lists nothing.
  bool ReadBlocks(const std::string& step, const char* logical, const Layout& record,
                  const ItemKey& key, const std::string& sql, std::vector<Record>& out);
  // Runs the NT query sql with Sreadblock and passes each row of width
  // characters to take; false when a block fails (library error recorded).
  // Reads on a fresh statement handle released at the end, or on handle when
  // the caller gives the one it opened.
  bool ReadRowBlocks(const std::string& sql, std::size_t width,
                     const std::function<void(std::string_view)>& take, int32_t handle = -1);
  // Opens file (prefix added) into h; on failure sets the step suffix.
  bool OpenFile(const std::string& name, const char* mode, int32_t& h, const std::string& step);
  void CloseFile(int32_t& h);

  // Sends an NT statement without rows; false with the library error.
  bool RunStatement(const std::string& sql);
  // How ChangeRecord changes an AS/400 file.
  enum class Change { Write, Update, Delete };
  // Writes image to AS/400 file h, or rewrites or deletes the record a locked
  // read left current there. On failure records the library error and, when
  // lockKey is given, releases the lock on it (with the length of image:
  // the change did not take place); returns false.
  bool ChangeRecord(Change change, int32_t h, const std::string& image = {},
                    const std::string& lockKey = {});
  // Releases the lock a locked read left on AS/400 file h (a read without lock
  // of the same key), after a change that did not take place.
  void ReleaseLock(int32_t h, std::size_t recordLength, const std::string& key);
  // Runs body inside one NT unit of work: SetConnectOption 2 before and 0
  // after, whatever the outcome; on AS/400 runs body alone, sharing the
  // logical files its cascades open until it ends (store/cascade_files.h).
  bool InChangeUnit(const std::function<bool()>& body);

  // Reads the model and caches its member option and manual flag.
  bool MemberOptions(const std::string& grp_id, std::string& AllMbrDist, std::string& ManDistri);
  // Refuses with 2027 (under step) when the distribution's job runs.
  bool DistributionIdle(const char* step, const std::string& env, const std::string& tgt,
                        const std::string& grp);
  // Refuses with 2027 (under step) when one of the model's distributions runs.
  bool ModelDistributionsIdle(const char* step, const std::string& env, const std::string& grp_id);

  std::string lastStatement_;  // the last NT statement sent
  bool inChangeUnit_ = false;  // an NT unit of work is open (InChangeUnit)
  // ENVID + GRPID of the model whose member option and manual flag
  // sel_.memberOption and sel_.manualFlag hold.
  std::string memberOptionsOf_;

  // ---- 10. Environments and targets (store/environments.cpp) ------------------
 public:
  // Record strings (sQV_EX 216, sQV_CX 292 characters) are padded with blanks
  // when shorter; after an add, a change or a detail they hold the record as
  // stored. Target operations work in the current env; a code longer than its
  // field names no item. Changes raise their event (section 11) once they
  // succeeded.
  // Adds one item per environment to list: ENVID (2) followed by ENVTYPE (1).
  bool FillEnvironmentList(platform::ListBox& list);
  bool EnvironmentExist(const std::string& env_id);
  // Fills sQV_EX with the stored environment; not found gives message 2022.
  bool DetailEnvironment(std::string& sQV_EX, const std::string& env_id);
  // Stores a new environment (on NT sources SRCTYPE comes from the source
  // kind); raises EXadded.
  bool AddEnvironment(std::string& sQV_EX);
  // Rewrites the environment env_id with sQV_EX (2022 when missing); raises EXupdated.
  bool ChangeEnvironment(std::string& sQV_EX, const std::string& env_id);
  // Deletes the environment with its users, its targets (with their
  // distributions) and its models (with their tables); raises EXdeleted last.
  bool DeleteEnvironment(const std::string& env_id);
  bool CibleExist(const std::string& tgt_id);
  // Fills sQV_CX with the stored target; not found gives message 2020.
  bool DetailCible(std::string& sQV_CX, const std::string& tgt_id);
  // Stores a new target; raises CXadded.
  bool AddCible(std::string& sQV_CX);
  // Rewrites the target found under tgt_id with sQV_CX, which may carry a new
  // TGTID (2020 when missing); raises CXupdated with tgt_id.
  bool ChangeCible(std::string& sQV_CX, const std::string& tgt_id);
  // Deletes the target and its distributions (refused with 2027 while one of
  // them runs); raises CXdeleted.
  bool DeleteCible(const std::string& tgt_id);
  // Set HOLD to "1" or "0"; raise CXHold or CXRelease.
  bool HoldCible(const std::string& tgt_id);
  bool ReleaseCible(const std::string& tgt_id);
  // Stores the node position of a target: the integer parts of X and Y, ten
  // characters each (PositionText). No event.
  bool CibleUpdatePos(const std::string& env_id, const std::string& tgt_id, float X, float Y);

 private:
  // Reads an environment or a target of the current env; locked on AS/400
  // for a following update or delete. rec receives the record.
  Lookup SelectEnvironment(const std::string& env_id, std::string& rec);
  Lookup SelectCible(const std::string& tgt_id, std::string& rec);
  Lookup ReadEnvironment(const std::string& env_id, std::string& rec);
  Lookup ReadCible(const std::string& tgt_id, std::string& rec);
  // Reads the environment for the detail and for the env write: not found
  // gives message 2022.
  Lookup DetailEnvironmentRead(std::string& sQV_EX, const std::string& env_id);
  bool SetTargetHold(const char* step, const std::string& tgt_id, const char* flag);

  // ---- 11. Change events (store/change_events.cpp) ----------------------------
 public:
  // Adds or removes a receiver of the change events; receivers are called in
  // the order they were added. The control does not own them.
  void AddEventSink(QVSourceEvents* sink);
  void RemoveEventSink(QVSourceEvents* sink);

 private:
  // Raises an event on every receiver: Raise(&QVSourceEvents::GXdeleted, env, grp).
  // The arguments are copied, so receivers may change theirs.
  template <class... P, class... A>
  void Raise(void (QVSourceEvents::*event)(P...), const A&... args) {
    for (QVSourceEvents* sink : std::vector<QVSourceEvents*>(sinks_)) {
      std::tuple<std::decay_t<P>...> values{std::string(args)...};
      std::apply([&](auto&... v) { (sink->*event)(v...); }, values);
    }
  }

  std::vector<QVSourceEvents*> sinks_;

  // ---- 12. Cascading deletes (store/cascades.cpp) -----------------------------
 public:
  // Each deletes the children of one parent with everything below them and
  // raises the deleted event of each child it removes (leaves raise none).
  // The walk stops at the first failure and returns false: children already
  // deleted stay deleted, the others and the parent remain. A running
  // distribution stops it with message 2027. A parent code longer than its
  // field names no parent: nothing is deleted and the result is true. On NT
  // sources the callers bracket them with SetConnectOption 2 ... 0; the
  // cascades do not.
  bool DeleteCXforEX(const std::string& env);
  bool DeleteGXforEX(const std::string& env);
  bool DeleteGCforCX(const std::string& env, const std::string& tgt);
  bool DeleteGCforGX(const std::string& env, const std::string& grp);
  bool DeleteFXforGX(const std::string& env, const std::string& grp);
  bool DeleteFCforGC(const std::string& env, const std::string& tgt, const std::string& grp);
  bool DeleteFCforFX(const std::string& env, const std::string& grp, const std::string& fic);
  // End-script lines and program lines of every place.
  bool DeleteENDforGC(const std::string& env, const std::string& tgt, const std::string& grp);
  bool DeleteTXforFX(const std::string& env, const std::string& grp, const std::string& fic);
  bool DeleteZXforFX(const std::string& env, const std::string& grp, const std::string& fic);
  bool DeleteZCforFC(const std::string& env, const std::string& tgt, const std::string& grp,
                     const std::string& fic);
  // The mappings of one field, for every target of the model table.
  bool DeleteZCforZX(const std::string& env, const std::string& grp, const std::string& fic,
                     const std::string& field);

 private:
  struct CascadeLevel;
  // Walks and deletes the children of one parent (see cascades.cpp).
  bool WalkChildren(const CascadeLevel& level);
  // Walks the distributed tables below a distribution or a model table.
  bool WalkDistributedTables(const char* step, const char* logical, const Layout& record,
                             const ItemKey& key, std::string listSql);
  // Deletes every record of an update-mode logical file whose key starts with
  // key (AS/400), or runs sql (NT); only "not found" ends the AS/400 loop
  // well. A key whose codes name no item deletes nothing.
  bool DeleteLeaves(const char* logical, std::size_t recordLength, const ItemKey& key,
                    const std::string& sql);
  // The update-mode logical files of a cascade (AS/400) and the statement
  // handles of its reads (NT): each is opened by the first leaf set or read
  // that needs it and kept until the change, or the outermost walk, ends, so
  // that an operation opens each file once, and as many statements as it
  // reads at once, whatever the number of parents (store/cascade_files.h).
  class CascadeFiles;
  struct CascadeFile {
    std::string logical;  // empty for a statement handle
    int32_t handle;
    bool busy;
  };
  std::vector<CascadeFile> cascadeFiles_;
  int cascadeDepth_ = 0;
  // Deletes the user spaces of a distribution, named as its job ("SE1_T1_M1_").
  void DeleteUserSpaces(std::string_view env, std::string_view tgt, std::string_view grp);

  // ---- 13. Models, model tables and fields (store/models.cpp) -----------------
 public:
  // Record strings (sQV_GX 205, sQV_FX 304, sQV_ZX 114 characters) are padded
  // with blanks when shorter; a longer one is refused unless only blanks or
  // NULs pass the record. After an add, a change or a detail they hold the
  // record as stored. Every operation works in the current env; a code longer
  // than its field names no item. Changes raise their event (section 11) once
  // they succeeded.
  bool GroupExist(const std::string& grp_id);
  // Fills sQV_GX with the stored model; not found gives message 2023.
  bool DetailGroup(std::string& sQV_GX, const std::string& grp_id);
  // Gives the model's GRPTYPE; not found gives message 2023.
  bool GroupType(std::string& GrpType, const std::string& grp_id);
  // Stores a new model (on NT sources with FREQUENCY "000000"); raises GXadded.
  bool AddGroup(std::string& sQV_GX);
  // Rewrites the model grp_id with sQV_GX, which may carry a new GRPID (2023
  // when missing); raises GXupdated with grp_id.
  bool ChangeGroup(std::string& sQV_GX, const std::string& grp_id);
  // Deletes the model: its tables (with their distributed tables, programs and
  // fields), then its distributions, then the model; raises GXdeleted last.
  // While one of its distributions runs nothing is deleted (2027).
  bool DeleteGroup(const std::string& grp_id);
  // Gives the member option of a model ("*ALL" or "*FIRST" on AS/400 sources,
  // "" on NT sources) and its manual-distribution flag (MANDISTRI); the answer
  // is kept for the model last asked until env, tgt or Grp is written or the
  // model is changed. Not found gives message 2023.
  bool CompAllMbrDist(const std::string& grp_id, std::string& AllMbrDist, std::string& ManDistri);
  // Gives the number for a new table of the model: the greatest FICID of its
  // tables plus 1 (1 for a model without tables).
  bool NextFicID(const std::string& grp_id, int64_t& next);
  // True when the model table is stored; the first two arguments are not used.
  bool FileExist(const std::string& unused1, const std::string& unused2, const std::string& grp_id,
                 const std::string& fic_id);
  // Fills sQV_FX with the stored model table (2024 when missing), and
  // AllMbrDist, ManDistri as CompAllMbrDist gives them.
  bool DetailFile(std::string& sQV_FX, const std::string& grp_id, const std::string& fic_id,
                  std::string& AllMbrDist, std::string& ManDistri);
  // Rewrites the model table (2024 when missing); raises FXupdated.
  bool ChangeFile(std::string& sQV_FX, const std::string& grp_id, const std::string& fic_id);
  // Deletes the model table with its distributed tables, program lines and
  // fields; raises FXdeleted last. Failures carry the step prefix "DeleteFile:".
  bool DeleteFile(const std::string& grp_id, const std::string& fic_id);
  // Set HOLD of the model table to "1" or "0" (2024 when missing); raise
  // FXHold or FXRelease.
  bool HoldTable(const std::string& grp_id, const std::string& fic_id);
  bool ReleaseTable(const std::string& grp_id, const std::string& fic_id);
  // Fills sQV_ZX with the stored field (2025 when missing).
  bool DetailZX(std::string& sQV_ZX, const std::string& grp_id, const std::string& fic_id,
                const std::string& FieldInput);
  // Rewrites the field (2025 when missing); raises ZXupdated.
  bool ChangeZX(std::string& sQV_ZX, const std::string& grp_id, const std::string& fic_id,
                const std::string& FieldInput);
  // Maps FieldInput of the model table to FieldOutput of the target: adds or
  // rewrites the mapping (ZCupdated), or removes it when FieldOutput is empty
  // (no event; nothing to do and true when there is none).
  bool ChangeZC(const std::string& grp_id, const std::string& tgt_id, const std::string& fic_id,
                const std::string& FieldInput, const std::string& FieldOutput);

 private:
  // Read one item into rec; with lock the AS/400 record stays locked for the
  // update or delete that follows (the product's SelectGroup, SelectFile,
  // SelectZX, SelectZC). A code longer than its field reads as Missing;
  // Missing and Failed as ReadKeyed.
  Lookup ReadGroup(const std::string& grp_id, bool lock, Record& rec);
  Lookup ReadFile(const std::string& grp_id, const std::string& fic_id, bool lock, Record& rec);
  Lookup ReadZX(const std::string& grp_id, const std::string& fic_id, const std::string& field,
                bool lock, Record& rec);
  Lookup ReadZC(const std::string& tgt_id, const std::string& grp_id, const std::string& fic_id,
                const std::string& field, Record& rec);
  bool SetFXHold(const char* step, const std::string& grp_id, const std::string& fic_id,
                 const char* flag);

  // ---- 14. Distributions and distributed tables (store/distributions.cpp) -----
 public:
  // Record strings (sQV_GC 624, sQV_FC 557, sQV_GX_GC_1 88, sQV_FC_FXU 278
  // characters) follow the rules of section 13. ENVID is the current env
  // unless an argument gives it. On NT sources the receiver library
  // (REPRISELIB) is never stored: records read there hold blanks in its place.
  bool GCExist(const std::string& tgt_id, const std::string& grp_id);
  // Reads the distribution with a lock (AS/400) for a following change.
  bool SelectGC(const std::string& tgt_id, const std::string& grp_id);
  // Fills sQV_GC with the stored distribution of model grp_id to target
  // tgt_id (the argument order the manager calls it with); not found gives
  // message 2026.
  bool DetailGC(const std::string& grp_id, const std::string& tgt_id, std::string& sQV_GC);
  // Fills sQV_GX_GC_1 with the distribution joined with its model's settings
  // (2026 when missing).
  bool DetailGC_GX_GC_1(std::string& sQV_GX_GC_1, const std::string& tgt_id,
                        const std::string& grp_id);
  // Stores a new distribution and raises GCadded; unless its model is
  // distributed by hand, then distributes every table of the model.
  // Failures carry the step prefix "AddGC:".
  bool AddGC(std::string& sQV_GC);
  // Rewrites the distribution for users of type 0 and 1 (ChangeControledGC);
  // for other user types changes nothing and returns true. The argument order
  // is the manager's.
  bool ChangeGC(const std::string& grp_id, const std::string& tgt_id, std::string& sQV_GC);
  // Rewrites the distribution under its key (2026 when missing); raises GCupdated.
  bool ChangeControledGC(std::string& sQV_GC, const std::string& tgt_id, const std::string& grp_id);
  // Deletes the distribution with its end-script lines, distributed tables and
  // user spaces; refused with 2027 while it runs. Raises GCdeleted.
  bool DeleteGC(const std::string& tgt_id, const std::string& grp_id);
  // Set HOLD of the distribution of env_id (2026 when missing); raise GCHold
  // or GCRelease.
  bool HoldGC(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id);
  bool ReleaseGC(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id);
  // Stores the node position of a distribution (PositionText of X and Y);
  // not found gives message 2021. No event.
  bool GCUpdatePos(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id,
                   float X, float Y);
  // Fills sQV_FC with the distributed table (2026 when the distribution is
  // missing, 2028 when the table is), sQV_FC_FXU with it joined with its model
  // table, and AllMbrDist, ManDistri as CompAllMbrDist gives them.
  bool DetailFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id,
                const std::string& fic_id, std::string& sQV_FC_FXU, std::string& AllMbrDist,
                std::string& ManDistri);
  // Stores a new distributed table of the distribution (tgt_id, grp_id):
  // ENVID, TGTID, GRPID come from it, OCCUR is blank, NEW "1", X and Y zeros.
  // The distribution (2026) and the model table (2024) must exist. Raises FCadded.
  bool AddFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id);
  // Rewrites the distributed table for users of type 0 and 1
  // (ChangeControledFC); for other user types changes nothing and returns true.
  bool ChangeFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id,
                const std::string& fic_id);
  // Rewrites the distributed table under its key (2026, 2024, 2028 when the
  // distribution, model table or distributed table is missing); raises FCupdated.
  bool ChangeControledFC(std::string& sQV_FC, const std::string& tgt_id, const std::string& grp_id,
                         const std::string& fic_id);
  // Deletes the distributed table with its field mappings (2028 when
  // missing); raises FCdeleted.
  bool DeleteFC(const std::string& tgt_id, const std::string& grp_id, const std::string& fic_id);
  // Set HOLD of the distributed table (2024 when missing); raise FCHold or FCRelease.
  bool HoldFC(const std::string& tgt_id, const std::string& grp_id, const std::string& fic_id);
  bool ReleaseFC(const std::string& tgt_id, const std::string& grp_id, const std::string& fic_id);
  // Restarts the distributed table from scratch: REPRISETYP "C", REPRISEPNT
  // ten zeros, the receiver left as it is (2024 when missing). No event.
  bool LoadRepriseFC(const std::string& tgt_id, const std::string& grp_id, const std::string& fic_id);
  // Adds every table of the model that the distribution lacks, with the
  // default distributed-table record; tables already distributed stay as they
  // are. Stops at the first failure. Failures carry the prefix "DistributeFC:".
  bool DistributeFC(const std::string& tgt_id, const std::string& grp_id);

 private:
  // Read one distribution or distributed table of env into rec, with lock as
  // ReadGroup (the product's SelectGC, SelectFC).
  Lookup ReadGC(const std::string& env, const std::string& tgt_id, const std::string& grp_id,
                bool lock, Record& rec);
  Lookup ReadFC(const std::string& env, const std::string& tgt_id, const std::string& grp_id,
                const std::string& fic_id, bool lock, Record& rec);
  // Read the joined records: a distributed table with its model table
  // (QV_FC_FXU), a distribution with its model's settings (QV_GX_GC_1).
  Lookup ReadFC_FXU(const std::string& env, const std::string& tgt_id, const std::string& grp_id,
                    const std::string& fic_id, Record& rec);
  Lookup ReadGX_GC_1(const std::string& env, const std::string& tgt_id, const std::string& grp_id,
                     Record& rec);
  // Adds the tables of the model that the distribution gc lacks.
  bool DistributeTables(const Record& gc);
  // Prepares fc for its first write (OCCUR blank, NEW "1", X and Y zeros) and
  // writes it; on NT sources fc then holds blanks in REPRISELIB, as stored.
  bool WriteNewFC(Record& fc);
  // Raises FCadded or FCupdated for the distributed table just written.
  void RaiseFCWritten(bool added, const Record& fcfx, const Record& gc);
  // Set HOLD of a distribution or distributed table under step (the refusal
  // when it is missing), then raise event for it.
  using DistributionEvent = void (QVSourceEvents::*)(std::string&, std::string&, std::string&);
  using TableEvent = void (QVSourceEvents::*)(std::string&, std::string&, std::string&, std::string&);
  bool SetGCHold(const char* step, const std::string& env, const std::string& tgt_id,
                 const std::string& grp_id, const char* flag, DistributionEvent event);
  bool SetFCHold(const char* step, const std::string& tgt_id, const std::string& grp_id,
                 const std::string& fic_id, const char* flag, TableEvent event);

  // ---- 15. Engine control and jobs (operations/engine.cpp) --------------------
 public:
  // Asks the source to start the engine of a distribution ("" instance is "*").
  bool StartQV(const std::string& environment, const std::string& target,
               const std::string& model, const std::string& instance);
  // Asks whether a job runs: status "R" when it is active, "" otherwise.
  bool JobRun(const std::string& job, std::string& status);
  // Fills list with the active jobs of that name.
  bool ListJobRun(const std::string& job, platform::ListBox& list);

  // ---- 16. Message queue (operations/message_queue.cpp) -----------------------
 public:
  // Reads the engine's message queue into lv (from the first message when
  // first is true, else the messages after those read); BuildColumn prepares
  // the columns first; filter keeps one job's messages ("*ALL" keeps all).
  bool ReadMSG(bool first, bool BuildColumn, platform::ListView& lv, const std::string& filter);
  // Empties the engine's message queue.
  bool ClearMsgQ();
  // Deletes the two user spaces a distribution's engine job leaves behind.
  void DeleteUsrSpc(const std::string& environment, const std::string& target,
                    const std::string& model);

 private:
  // Messages read so far (NT) and the running number of item keys.
  int32_t msgRead_ = 0;
  int64_t msgSeq_ = 0;

  // ---- 17. Field catalog and adding a table (catalogs/field_import.cpp) -------
 public:
  // Gives the last record format of file in library: its two name fields and
  // its record length. file and library are rewritten upper-cased and padded
  // or cut to 10. False when the source is not connected (error state left
  // as it is) or the listing failed.
  bool LenRecord(std::string& file, std::string& library, std::string& name1, std::string& name2,
                 int32_t& length);
  // Fills lv with the fields of library/file (InitListField columns, one item
  // keyed "ZONE_" + name per field; icon 13 for a key field, 12 otherwise).
  // A missing file gives message 2087 with "library/file".
  bool FillColumnsListAS400(platform::ListView& lv, const std::string& library,
                            const std::string& file);
  // Fills lv, the field list of the editor's buffer with prefix buffer: the
  // system fields for "S.", the fields of library/file otherwise, with an
  // end-of-file pseudo-field after them for a reference file ("F.").
  bool FillFieldFromFileAS(platform::ListView& lv, const std::string& buffer,
                           const std::string& library, const std::string& file);
  // Writes one QV_ZX row per field of library/file for the model table
  // (env_id, grp_id, fic_id); on NT sources library is the database and file
  // the table. Every field is converted before the first row is written: a
  // field type the store has no code for writes nothing.
  bool AddAllZX(const std::string& env_id, const std::string& grp_id, const std::string& fic_id,
                const std::string& library, const std::string& file);
  // Applies the field list lv to the fields of the model table: items whose
  // tag is "A" are added, "U" rewritten, "D" deleted, others left alone.
  // Every item is read before anything is sent; then the table's record is
  // rewritten (ChangeFile).
  bool UpdateZX(const std::string& grp_id, const std::string& fic_id, platform::ListView& lv);
  // Adds the source table that the SRCTBL of sQV_FX names (library and file;
  // on NT sources database and table) to model grp_id: numbers it
  // (NextFicID), writes it, imports its fields, stores its record lengths
  // and enters it into every distribution of the model unless the model is
  // distributed by hand. Raises FXadded. A record
  // over 32000 characters gives message 2144: the table and its fields stay,
  // no distribution gets it. sQV_FX holds the stored record afterwards.
  bool AddFile(std::string& sQV_FX, const std::string& grp_id);
  // Fills lv with the fields of model table (grp_id, fic_id) of the current
  // environment (InitListField columns, one item keyed "ZONE_" + name each).
  bool FillFieldListZX(platform::ListView& lv, const std::string& grp_id, const std::string& fic_id);

  // The longest record a model table may have.
  static constexpr long long kMaxRecordLength = 32000;

 private:
  // Reads the fields of library/file (upper-cased, 10 characters) into fields:
  // the existence check, the record format when format is given, the access
  // path and the field listing. A missing file gives message 2087.
  bool ReadSourceFields(const std::string& library, const std::string& file, bool store,
                        std::vector<Record>& fields, int32_t* recordLength);
  // Sends one listing page and returns its reply, or false with the library error.
  bool SendListingPage(const char* code, const std::string& request, std::string& reply);
  // Fills lv with fields as a source file's list shows them.
  void ShowSourceFields(platform::ListView& lv, const std::vector<Record>& fields, bool editor);
  // Reads the fields of a source table as QV_ZX records, and its record
  // length: AS/400 library/file, NT table file of database library.
  bool ReadTableFields(const std::string& library, const std::string& file, std::vector<Record>& fields,
                       int32_t& recordLength);
  // Writes fields to QV_ZX of model table (env, grp, fic): AS/400 Rwrite
  // each; NT one insert each, in one unit of work.
  bool WriteZX(const std::string& env, const std::string& grp, const std::string& fic,
               std::vector<Record>& fields);

  // ---- 18. Field import from NT sources (catalogs/fields_nt.cpp) --------------
 public:
  // Shows the columns of table in database in lv: clears it, sets the columns
  // "Field name", "Type", "Description", "ALLOWNULL", "Seq" and adds one item
  // per column (key "ZONE_" + name, text the name). Does nothing and returns
  // false while the connection is closed; a failed column list keeps the
  // items added so far and records the library's error.
  bool FillColumnsList(platform::ListView& lv, const std::string& database, const std::string& table);
  // Fills the field list lf of one buffer of the transformation editor. For
  // the system buffer ("S.") the system fields with their descriptions; for
  // a table buffer one item per column of table in database (key buffer +
  // name, text the name), with the sub-items of the buffer field list: type
  // display, date mask, start and length in the record, allow-null text
  // (key columns "No", others "Yes"), key order, then the type code (the
  // plain class "C", "N" or "V" when plainTypes), length, decimals and
  // external length and position. prepareList clears lf and sets those
  // columns first; without it the fields are added to the list as it is.
  // A table buffer does nothing and returns false while the connection is
  // closed. A failed library call or a column list that cannot be read
  // keeps the fields added so far and returns false.
  bool FillFieldFromFileNT(platform::ListView& lf, const std::string& buffer, const std::string& database,
                           const std::string& table, bool plainTypes, bool prepareList);
  // Gives the longest value stored in a long text column of a qualified
  // table (database + ".." + table); 0 without values.
  bool TextMaxLenUsed(const std::string& qualifiedTable, const std::string& column, int32_t& length);
  // Gives the length QV_MX defines for a long text column; 0 without a row.
  bool TextMaxLenDefine(const std::string& database, const std::string& table, const std::string& column,
                        int32_t& length);

 private:
  struct NtColumnFields;
  // Reads the columns of table in database with the column-list service and
  // describes each one (long texts sized from QV_MX on SQL Server). False
  // with the error recorded when a call fails or a line cannot be read; out
  // holds the columns described before.
  bool ReadNtColumns(const std::string& database, const std::string& table, bool wholeTable,
                     std::vector<NtColumnFields>& out);
  // Reads the fields of table in database as QV_ZX records (key order from
  // GetPrimaryKey, positions chained), and the length of the record; false
  // with the error recorded when a call fails or a column cannot be read.
  bool ReadNtFields(const std::string& database, const std::string& table, std::vector<Record>& fields,
                    int32_t& recordLength);
  // Gives the key columns of a qualified table in their order.
  bool ReadNtKeys(const std::string& qualified, std::vector<std::string>& keyNames);
  // Runs a length query (buffer of width characters) into length.
  bool ReadLength(const std::string& sql, std::size_t width, int32_t& length);

  // ---- 19. NT catalogs (catalogs/nt_catalogs.cpp) ------------------------------
 public:
  // The fillers below clear their list or tree first, then add one item per
  // name and give the number added in count. They do nothing (false, error
  // state as it was) while the connection is closed. A failed library call
  // records the library's error and keeps the items added before it.

  // Gives the source machine's name: the library's on NT sources, the
  // answer of "RTVMCHNAME" on AS/400. Failure: "" with ErrorNum 40 and
  // "Error in GetComputerName".
  std::string GetComputerName();
  // Fills list with the data sources whose driver serves kind ("SQL
  // SERVER", "ORACLE", "MS-ACCESS"; "" every one).
  bool FillDSN(platform::ListBox& list, const std::string& kind, int32_t& count);
  // Fills list with every data source of the source machine.
  bool FillDSNList(platform::ListBox& list, int32_t& count);
  // Logs a connection of its own in to data source dsn with user and
  // password and closes it again; whatever it opened is closed, also on
  // failure. A refused login: ErrorNum 40 and the source's text (message
  // 1901 when it gives none).
  bool TestDSN(const std::string& dsn, const std::string& user, const std::string& password);
  // Fills list with the databases (SQL Server) or schemas (Oracle) of the
  // source, system ones included. The names are read once and kept;
  // refresh (or an empty cache) reads them again.
  bool fillDB(platform::ListBox& list, bool refresh, int32_t& count);
  // Fills list with the schemas of an Oracle source, Oracle's own left out;
  // the libraries on AS/400 (as fillLIB).
  bool FillSCH(platform::ListBox& list, int32_t& count);
  // Fills list with the tables of database (schema on Oracle) whose names
  // match mask ("%" or "" every one); SQL Server's own tables are left out
  // there only.
  bool FillTBL(platform::ListBox& list, const std::string& database, const std::string& mask, int32_t& count);
  // Creates table (qualified as the source writes it: "SALES..ORDERS",
  // "SCOTT.EMP") with definition, its column definitions in SQL.
  bool CreateTable(const std::string& table, const std::string& definition);
  // True when the qualified table exists. A failed check: false with
  // message 2104 as ErrorText.
  bool TableNTExist(const std::string& table);
  // Fills tv with one node per database (SQL Server), schema (Oracle) or
  // library (AS/400), system ones left out: key "DB:" + name, tag "DB".
  bool LoadDBList(platform::TreeView& tv, int32_t& count);
  // Puts under the node of database in tv its tables (as FillTBL with "%";
  // the physical files on AS/400), tagged "TBL", key "TBL:" + database +
  // "." + table, in place of the ones it had.
  bool LoadTBLList(platform::TreeView& tv, const std::string& database, int32_t& count);
  // Removes every node tagged "TBL" from tv. Always true.
  bool ClearTBLList(platform::TreeView& tv);
  // Replaces the text file at path on the source machine with text: deletes
  // it (a missing file is no fault), then writes it.
  bool WriteServerTxtFile(const std::string& path, const std::string& text);

 private:
  // Passes each name of the databases (SQL Server) or schemas (Oracle),
  // their own left out, read in blocks, to take.
  bool ReadNtNames(const std::function<void(const std::string&)>& take);
  // Passes each table name of database matching mask to take (SQL Server's
  // own left out there).
  bool ReadNtTables(const std::string& database, const std::string& mask,
                    const std::function<void(const std::string&)>& take);
  // Passes each data source whose driver serves kind to take.
  bool ReadDataSources(const std::string& kind, const std::function<void(const std::string&)>& take);
  // Fills list with the data sources of kind.
  bool FillDataSources(const char* step, platform::ListBox& list, const std::string& kind, int32_t& count);

  std::vector<std::string> databaseCache_;
  // ---- 20. Transformation programs (programs/programs.cpp) ---------------------
 public:
  // Gives the two texts of the program of model table (grp_id, fic_id) of the
  // current environment at place: its stored lines rendered (the "O."
  // declarations refreshed from fields, the table's field list), or the
  // default program built from fields when nothing is stored.
  bool ReadPgmTrs(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                  std::string& declarations, std::string& instructions, platform::ListView& fields);
  // Fills lv with the fields of the model table (columns Field name, Type,
  // Len, Dec, Pos) and gives the default declarations and instructions.
  bool GenerateBufO(const std::string& grp_id, const std::string& fic_id, platform::ListView& lv,
                    std::string& declarations, std::string& instructions);
  // Stores a program on an NT source: its lines (declaration records of 180
  // characters, instruction records of 176) at place " " and their compiled
  // form at place "I", the operands resolved through the declarations, the
  // table's field list fields (buffers I., B., O.) and the system buffer;
  // then marks the table as transformed. Both texts empty delete the program.
  bool WritePgmTrsNT(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                     const std::string& declarations, const std::string& instructions,
                     platform::ListView& fields);
  // Stores a program on an AS/400 source: sends its lines and its MI text
  // (given back in mi), records count in the table, and has it compiled.
  // Both texts empty delete the program.
  bool WritePgmTrsAS(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                     const std::string& declarations, const std::string& instructions, std::string& mi,
                     int32_t count);

 private:
  // Reads the stored lines of a program; false with the error recorded.
  bool ReadProgramLines(const std::string& step, const std::string& grp_id, const std::string& fic_id,
                        const std::string& place, std::vector<Record>& lines);
  // Rewrites the table's record with QV_TRANSFORM flag (and, when filler is
  // given, the first 5 characters of FILLER); steps name the failures.
  bool MarkTransform(const std::string& step, const std::string& grp_id, const std::string& fic_id,
                     const char* flag, const std::string* filler);
  // Sends one "SYSWRTTRS_" request.
  bool SendProgramRequest(const std::string& request);

  // ---- 21. End-of-distribution scripts (programs/end_scripts.cpp) -------------
 public:
  // Gives the script of distribution (env_id, tgt_id, grp_id) at Lieu as rich
  // text (commands blue, arguments black, comments green).
  bool Read_QVEND(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id,
                  const std::string& Lieu, std::string& scriptEND_QV);
  // Replaces the script with scriptEND_QV (lines separated by CR LF): on
  // AS/400 through "SYSWRTENQV" at Lieu; on NT every place of the
  // distribution is replaced by rows at place "T".
  bool Write_ENQV(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id,
                  const std::string& Lieu, const std::string& scriptEND_QV);
  // ---- 22. SQL Server journalisation (journal/sqlserver_journal.cpp) ----------
 public:
  // Database, schema and table names stand in statements where no quoting
  // can hold them: a name holding anything but letters, digits, "_", "$",
  // "#", "@" and "." is refused (ErrorNum 40) before anything is sent.
  //
  // Gives the first character of the server's product version ("8" for
  // version 8 servers), "0" when the server does not tell.
  std::string szSQLServerVersion();
  // True when db holds the publication of the product.
  bool SQL_dbIsJournalised(const std::string& db);
  // Gives the journal file of db from its JOURNAL row, trimmed; "" when none.
  std::string SQL_GetJrnFullPathName(const std::string& db);
  // Journalises db into a journal file in directory (trimmed, "\" appended
  // in place): publishes it, creates and starts its log-reader job and the
  // publication, creates the file and records it in JOURNAL. A blank
  // directory is refused. Failures of the job and publication statements
  // are collected (ErrorText: their texts, CR LF between) and the sequence
  // goes on; the file and the JOURNAL row end it at once.
  bool SQL_CRTJRN(const std::string& db, std::string& directory);
  // Drops the publication of db (and on version "0" servers its log-reader
  // job), unpublishes db and deletes its JOURNAL row; true when the delete ran.
  bool SQL_RMVJRN(const std::string& db);
  // Captures table of db: a view of its columns (long texts cast to the
  // length the prompter is asked, kept in QV_MX), an article of the
  // publication and its subscription. A cancelled or empty answer, or any
  // failed step, drops what the capture added and returns false.
  bool SQL_STRJRNPF(const std::string& db, const std::string& table);
  // Releases table: drops its view, its subscription and its article.
  bool SQL_ENDJRNPF(const std::string& db, const std::string& table);
  // True when table is an article of db's publication.
  bool IsSqlJrn(const std::string& db, const std::string& table);
  // Ask or release by database kind: SQL Server or Oracle (an owner prefix
  // "OWNER." of table is dropped there); false on other sources.
  bool IsFileJournalised(const std::string& db, const std::string& table);
  bool ENDJRNPF(const std::string& db, const std::string& table);
  // Reads db's JOURNAL row; path receives its journal file, trimmed.
  bool ReadJrnTable(const std::string& db, std::string& path);

 private:
  // Refuses (message 2502) a name that cannot stand in a journal statement.
  bool JournalName(const std::string& name);
  // Trims directory and ends it with a backslash, in place; refuses (message
  // 2501) a blank one.
  bool JournalDirectoryGiven(std::string& directory);
  // The version probe without a step of its own; the error state stays.
  std::string SqlVersion();
  // Runs a statement whose outcome is not checked; the error state stays.
  void SendUnchecked(const std::string& sql);
  // Reads the first row of sql into a buffer of width characters: 1 found,
  // 0 no row, -1 failed (error recorded).
  int QueryRow(const std::string& sql, std::size_t width, std::string& row);
  // Asks the length of a long text column until an answer from 1 to 30000
  // comes; 0 when the question was cancelled or answered empty.
  int32_t AskCaptureLength(const std::string& column, int32_t used);

  std::string serverName_;  // the SQL Server of the source (LoginNT)

  // ---- 23. Oracle journalisation (journal/oracle_journal.cpp) -----------------
 public:
  // Journalises schema into a journal file in directory (trimmed, "\"
  // appended in place): grants the entry function to the schema, creates
  // the file and records it in JOURNAL.
  bool ORACLE_CRTJRN(const std::string& schema, std::string& directory);
  // True when schema has a JOURNAL row.
  bool ORACLE_DBIsJournalised(const std::string& schema);
  // Gives the journal file of schema from its JOURNAL row, trimmed; "" when none.
  std::string ORACLE_GetJrnFullPathName(const std::string& schema);
  // Deletes the JOURNAL row of schema (its triggers stay).
  bool ORACLE_RMVJRN(const std::string& schema);
  // Creates, compiles and enables the row trigger that journals table. fields
  // is a buffer field list (FillFieldFromFileNT with plain types): per row
  // the column name, sub-items 3 date mask, 4 start, 5 storage length and 8
  // type class. A schema without JOURNAL row or an empty list is refused
  // before anything is sent.
  bool ORACLE_STRJRNPF(platform::ListView& fields, const std::string& schema, const std::string& table);
  // Captures table with the field list its columns give (FillFieldFromFileNT
  // with plain types), as ORACLE_STRJRNPF does with a list the caller filled.
  bool ORACLE_CaptureTable(const std::string& schema, const std::string& table);
  // Drops the trigger of table.
  bool ORACLE_DropTblTriggered(const std::string& schema, const std::string& table);
  // True when the trigger of table exists in schema.
  bool isOracleJrn(const std::string& schema, const std::string& table);

 private:
  // Reads the journal file of schema: 1 found, 0 none, -1 failed.
  int OracleJournalPathOf(const std::string& schema, std::string& path);
  // ---- 24. Supervision (presentation/supervision.cpp) -------------------------
 public:
  // Gives the state of a distribution from its QV_SPV record: "E" when its
  // error counter is above 0, "X" when it is stopped or has no record, "A"
  // otherwise.
  bool ReadStateGC(const std::string& environment, const std::string& target, const std::string& model,
                   std::string& state);
  // Fills lv with one row per QV_SPV record (BuildColumn clears it and sets
  // the 26 columns first): key "KEY" + environment + target + model, the
  // texts of presentation/supervision_text.h, the state letter as the tag.
  // Rows already there are rewritten; rows of records gone are removed.
  bool Read_Spv(platform::ListView& lv, bool BuildColumn);

  // ---- 25. Topology tree (presentation/tree.cpp) ------------------------------
 public:
  // Node keys, tags and images: presentation/tree_nodes.h. Every procedure
  // works in the current env. LoadTree builds the root, the targets with
  // their distributions folder and distribute entry, the models with their
  // tables folder and distribute entry, and the message queue; the folders
  // are filled by the Load procedures below when first opened, which mark
  // them loaded ("X"). The Add procedures add nothing to a folder not yet
  // loaded (its load shows the item) and nothing that is already there; the
  // Delete and Change procedures do nothing for nodes that are not there.
  bool LoadTree(platform::TreeView& tv);
  bool LoadGCInTree(platform::TreeView& tv, platform::TreeNode& folder);
  bool LoadFCInTree(platform::TreeView& tv, platform::TreeNode& folder);
  bool LoadFileInTree(platform::TreeView& tv, platform::TreeNode& folder);
  // node receives the node added, or nullptr.
  bool AddCibleInTree(platform::TreeView& tv, platform::TreeNode*& node, const std::string& tgt_id,
                      const std::string& tgtType, const std::string& description);
  bool AddGroupInTree(platform::TreeView& tv, platform::TreeNode*& node, const std::string& grp_id,
                      const std::string& grpType, const std::string& description);
  bool AddGCInTree(platform::TreeView& tv, platform::TreeNode*& node, const std::string& tgt_id,
                   const std::string& grp_id, const std::string& type, const std::string& description);
  // label and description make the table's text: label + separator + description.
  bool AddFCInTree(platform::TreeView& tv, const std::string& tgt_id, const std::string& grp_id,
                   const std::string& fic_id, const std::string& label, const std::string& description);
  bool AddFileInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                     const std::string& label, const std::string& description);
  bool DeleteCibleInTree(platform::TreeView& tv, const std::string& tgt_id);
  // Removes the model and its distributions under every target.
  bool DeleteGroupInTree(platform::TreeView& tv, const std::string& grp_id);
  bool DeleteGCInTree(platform::TreeView& tv, const std::string& tgt_id, const std::string& grp_id);
  bool DeleteFCInTree(platform::TreeView& tv, const std::string& tgt_id, const std::string& grp_id,
                      const std::string& fic_id);
  // Removes the model table and its distributed tables under every target.
  bool DeleteFileInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& fic_id);
  bool ChangeCibleInTree(platform::TreeView& tv, const std::string& tgt_id, const std::string& tgtType,
                         const std::string& description);
  // Rewrites the model's text and those of its distributions.
  bool ChangeGroupInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& grpType,
                         const std::string& description);
  bool ChangeAllGCInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& description);
  bool ChangeAllFCInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                         const std::string& label, const std::string& description);
  // Rewrites the model table's text and those of its distributed tables.
  bool ChangeFileInTree(platform::TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                        const std::string& label, const std::string& description);

 private:
  // Add an item's node under folder with its two children.
  platform::TreeNode& AddTargetNode(platform::TreeView& tv, platform::TreeNode& folder, const std::string& tgt,
                                    const std::string& type, const std::string& description);
  platform::TreeNode& AddModelNode(platform::TreeView& tv, platform::TreeNode& folder, const std::string& grp,
                                   const std::string& description);
  platform::TreeNode& AddDistributionNode(platform::TreeView& tv, platform::TreeNode& folder,
                                          const std::string& tgt, const std::string& grp, const std::string& type,
                                          const std::string& description, const char* tablesCaption);

  // ---- 26. List views (presentation/lists.cpp) --------------------------------
 public:
  // Columns, row keys, texts and icons: presentation/list_rows.h. Every
  // procedure works in the current env. A Load procedure clears the list,
  // sets its columns and adds one row per record (a failed read keeps the
  // rows added before it); Add and Change show the row of a record string
  // (adding it, or rewriting the row of its key); Delete removes a row by
  // its key; HoldRelease rewrites the hold column and the icon ("1" held).
  bool LoadCibleInList(platform::ListView& lv);
  bool AddCibleInList(platform::ListView& lv, const std::string& sQV_CX);
  // tgt_id is the code the row shows now (the record may carry a new one).
  bool ChangeCibleInList(platform::ListView& lv, const std::string& tgt_id, const std::string& sQV_CX);
  bool DeleteCibleInList(platform::ListView& lv, const std::string& tgt_id);
  bool HoldReleaseCibleInList(platform::ListView& lv, const std::string& tgt_id, const std::string& hold);
  // Distributions of a target; rows from QV_GX_GC_1 record strings (88).
  bool LoadGCInList(platform::ListView& lv, const std::string& tgt_id);
  bool AddGCInList(platform::ListView& lv, const std::string& sQV_GX_GC_1);
  bool ChangeGCInList(platform::ListView& lv, const std::string& sQV_GX_GC_1);
  bool DeleteGCInList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id);
  // state: the distribution's state letter ("A", "E", "F"), for the icon.
  bool HoldReleaseGCInList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                           const std::string& hold, const std::string& state);
  bool LoadGroupInList(platform::ListView& lv);
  bool AddGroupInList(platform::ListView& lv, const std::string& sQV_GX);
  bool ChangeGroupInList(platform::ListView& lv, const std::string& grp_id, const std::string& sQV_GX);
  bool DeleteGroupInList(platform::ListView& lv, const std::string& grp_id);
  // Tables of a distribution; rows from QV_FC_FXU record strings (278).
  bool LoadFCInList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id);
  bool AddFCInList(platform::ListView& lv, const std::string& sQV_FC_FXU);
  bool ChangeFCInList(platform::ListView& lv, const std::string& sQV_FC_FXU);
  bool DeleteFCInList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                      const std::string& fic_id);
  bool HoldReleaseFCInList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                           const std::string& fic_id, const std::string& hold);
  bool LoadFileInList(platform::ListView& lv, const std::string& grp_id);
  bool AddFileInList(platform::ListView& lv, const std::string& sQV_FX);
  bool ChangeFileInList(platform::ListView& lv, const std::string& sQV_FX);
  bool DeleteFileInList(platform::ListView& lv, const std::string& grp_id, const std::string& fic_id);
  bool HoldReleaseFXInList(platform::ListView& lv, const std::string& grp_id, const std::string& fic_id,
                           const std::string& hold);
  bool LoadZXInList(platform::ListView& lv, const std::string& grp_id, const std::string& fic_id);
  bool AddZXInList(platform::ListView& lv, const std::string& sQV_ZX);
  bool ChangeZXInList(platform::ListView& lv, const std::string& sQV_ZX);
  bool DeleteZXInList(platform::ListView& lv, const std::string& FieldInput);
  // The fields of a model table with the fields a target maps them to.
  bool LoadZX_ZC_InList(platform::ListView& lv, const std::string& tgt_id, const std::string& grp_id,
                        const std::string& fic_id);
  bool AddZX_ZC_InList(platform::ListView& lv, const std::string& sQV_ZX, const std::string& FieldOutput);
  // Selection lists, one item per object: code (at its width), a blank and
  // its description or label. Targets without a distribution of the model,
  // models not distributed to the target, the tables of a model, the tables
  // of a model the distribution lacks.
  bool FillCibleNonDistList(platform::ListBox& list, const std::string& grp_id);
  bool FillGroupNonDistList(platform::ListBox& list, const std::string& tgt_id);
  bool FillFXList(platform::ListBox& list, const std::string& grp_id);
  bool FillFXnoFCList(platform::ListBox& list, const std::string& tgt_id, const std::string& grp_id);

 private:
  // Read the targets, the models, the tables of a model and the fields of a
  // model table of the current env under step.
  bool ReadTargets(const char* step, std::vector<Record>& out);
  bool ReadModels(const char* step, std::vector<Record>& out);
  bool ReadModelTables(const char* step, const std::string& grp, std::vector<Record>& out);
  bool ReadFields(const char* step, const std::string& grp, const std::string& fic, std::vector<Record>& out);
};

// ---- Process-wide login (connection/users.cpp) --------------------------------
// The user identifier and password given once per process (QVmanager's UserID
// and Password), read by CheckUser.
void SetProcessUserID(const std::string& user);
void SetProcessPassword(const std::string& password);
std::string ProcessUserID();
std::string ProcessPassword();

// ---- Guard (section 1) ----------------------------------------------------------
template <class F>
auto QVSource::Guard(std::string step, F&& body) -> decltype(body()) {
  using R = decltype(body());
  Step(std::move(step));
  try {
    return body();
  } catch (const std::exception& e) {
    RecordFault(e.what());
  } catch (...) {
    RecordFault("unexpected fault");
  }
  if constexpr (!std::is_void_v<R>) return R{};
}

}  // namespace qv
