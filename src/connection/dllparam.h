// The record-access library: the one door through which the control reaches a
// source. Every read and write of the configuration store, every SQL
// statement, every remote command and every engine or catalog service goes
// through one DllParam object. Nothing else in the library knows how a source
// is reached: an implementation may serve it in-process, over the network or
// through ODBC.
//
// Conventions that hold for every member:
//
// Results. Every member returns int32_t: nonzero on success ("done", "found")
//   and 0 on failure or when a read finds nothing. After a 0, GetLastError
//   tells which: code kCodeNotFound means "nothing there, no fault" (no record
//   with that key, end of file, no row, no more rows, a missing settings key);
//   any other code is a failure. Each call first clears the error state, so a
//   nonzero result always leaves code kCodeNone.
//
// Handles. Connection, file and statement handles are 32-bit. A file handle
//   of a closed file holds kClosedHandle (-1); 0 and above are valid file and
//   statement handles; connection handles are above 0.
//
// Output buffers. An output text is a std::string that the caller prepares,
//   normally filled with blanks to the size documented per member. The
//   implementation writes into it in place and never changes its size: it
//   writes at most buffer.size() bytes from the start and, when the value is
//   shorter than the buffer, puts one NUL after it; the bytes after that NUL
//   keep what the caller put there. A caller reads a text by cutting at the
//   first NUL (CutAtNul below) and trimming; record images and blocks are
//   read by the length the call reports. PutInBuffer below writes by this
//   rule. A length argument passed by reference receives the number of bytes
//   written; its value on entry is ignored (the capacity is buffer.size()).
//
// Texts. Every text is single-byte Windows-1252, as in the rest of the
//   library. Inputs are taken as given, blanks included.
//
// Paged lists. Catalog services that return lists (data sources, databases,
//   tables, columns, receivers) take a first-call flag: 1 starts the list,
//   0 asks for the next part. Each call writes as many whole entries as fit
//   and returns nonzero; a length of 0 ends the list. An empty list is a
//   success with length 0 on the first call.
//
// Connections. The library has one current connection: OpenMConnection makes
//   the new one current and SwitchMConnection selects another. Every call
//   other than those works on the current connection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class DllParam {
 public:
  // ---- Error categories (the code of GetLastError) ------------------------

  // The last call succeeded.
  static constexpr int32_t kCodeNone = 0;
  // The source refused the request: SQL error, duplicate key, unknown file or
  // table, a remote command that failed, a write on a read-only file.
  // errNum is the source's own number (native database error, the server's
  // return code).
  static constexpr int32_t kCodeRefused = 1;
  // The source could not be reached or stopped answering (connection refused,
  // lost, timed out). The connection is to be taken as dead. errNum is the
  // system error number where one is known.
  static constexpr int32_t kCodeNetwork = 2;
  // This source cannot do that (an AS/400 service asked of an NT source, an
  // unknown kind code or option).
  static constexpr int32_t kCodeNotSupported = 3;
  // The record or the store is held by someone else; the same call may
  // succeed later.
  static constexpr int32_t kCodeBusy = 4;
  // No fault: the read found nothing (see Results above). errNum is 0.
  static constexpr int32_t kCodeNotFound = 5;
  // The caller's fault: unknown or closed handle, no current connection,
  // Rupdate or Rdelete without a locked record, a buffer or control area
  // that does not fit the request.
  static constexpr int32_t kCodeBadCall = 6;

  // Returns the short name of an error category ("none", "refused",
  // "network", "not-supported", "busy", "not-found", "bad-call", else
  // "unknown"), for traces and reports.
  static constexpr const char* CodeName(int32_t code) {
    switch (code) {
      case kCodeNone: return "none";
      case kCodeRefused: return "refused";
      case kCodeNetwork: return "network";
      case kCodeNotSupported: return "not-supported";
      case kCodeBusy: return "busy";
      case kCodeNotFound: return "not-found";
      case kCodeBadCall: return "bad-call";
      default: return "unknown";
    }
  }

  // ---- Constants the callers pass -----------------------------------------

  // File handle of a closed file.
  static constexpr int32_t kClosedHandle = -1;

  // Ropen modes: update (locked reads, update, write, delete) and read-only.
  static constexpr const char* kModeUpdate = "rr+, riofb=N, rtncode=N";
  static constexpr const char* kModeRead = "rr, riofb=N, rtncode=N";
  // Ropen mode of a source member written line by line ("rr+" alone).
  static constexpr const char* kModeMember = "rr+";
  // Ropen of this file with this mode gives an SQL statement handle.
  static constexpr const char* kStatementFile = " ";
  static constexpr const char* kStatementMode = " ";
  // Library of the configuration files on an AS/400 source; files are opened
  // as kStoreLibrary + name.
  static constexpr const char* kStoreLibrary = "QV_USRDATA/";

  // Rreadk options: equal key with a record lock, equal key without lock.
  static constexpr int32_t kKeyEqualLocked = 0x0B000100;
  static constexpr int32_t kKeyEqualNoLock = 0x0B000101;
  // Rreadf / Rreadn option: read without lock.
  static constexpr int32_t kReadNoLock = 1;

  // Sread option: return the first row.
  static constexpr int32_t kFirstRow = 0;
  // Sreadblock first-call texts.
  static constexpr const char* kFirstBlock = "1";
  static constexpr const char* kNextBlock = "0";
  // First-call flag of the paged catalog lists.
  static constexpr int32_t kFirstCall = 1;
  static constexpr int32_t kNextCall = 0;

  // SetConnectOption: 2 opens a unit of work before a change made of several
  // statements, 0 closes it and keeps what it did, 3 closes a unit opened
  // around a read.
  static constexpr int32_t kOptionBeginChange = 2;
  static constexpr int32_t kOptionEndChange = 0;
  static constexpr int32_t kOptionEndRead = 3;

  // WriteFile / WriteFileWithFullPath: replace the file, or add at its end.
  static constexpr int32_t kReplaceFile = 1;
  static constexpr int32_t kAppendFile = 0;

  // Kind codes of the NT engine (StrReplication, SJobList, ReadQVMSGQ).
  static constexpr const char* kKindOdbc = "ODBC";
  static constexpr const char* kKindSqlServer = "SQL_";
  static constexpr const char* kKindOracle = "ORAC";

  // FillColumnsListSource kind: the columns of a table.
  static constexpr const char* kColumnsOfTable = "d";
  // FillDB filter that lists every database.
  static constexpr const char* kNoFilter = "NEANT";
  // Message queue file of an NT source (ReadQVMSGQ, WriteFile).
  static constexpr const char* kMessageQueueFile = "QVMSGQ.QVM";

  // Settings sections and keys read with GetConfigStringWithoutDefVal. An
  // instance has its own section: section + "\" + instance.
  static constexpr const char* kSectionSqlServer = "QV_for_SQLServer";
  static constexpr const char* kSectionOracle = "QV_for_Oracle";
  static constexpr const char* kKeyServerName = "ServerName";
  static constexpr const char* kKeyDriverName = "DriverName";
  static constexpr const char* kKeyParamUid = "ParamUid";
  static constexpr const char* kKeyParamPwd = "ParamPwd";

  // Sizes of the callers' buffers and fixed-width arguments.
  static constexpr int32_t kErrorTextBuffer = 1024;  // GetLastError text
  static constexpr int32_t kErrorTextMax = 500;      // longest error text
  static constexpr int32_t kServerInfoWidth = 10;    // OpenMConnection outputs
  static constexpr int32_t kCommandCodeWidth = 10;   // Execute code
  static constexpr int32_t kControlWidth = 10;       // Execute control area
  static constexpr int32_t kSettingBuffer = 255;     // a settings value
  static constexpr int32_t kComputerNameBuffer = 255;
  static constexpr int32_t kListBuffer = 32000;      // catalog lists, ODBC login
  static constexpr int32_t kDsnMessageBuffer = 2048; // ConnectDSN / CloseConnectionDSN
  static constexpr int32_t kBlockBuffer = 4096;      // Rreadblock, Sreadblock
  static constexpr int32_t kJobListBuffer = 4096;    // SJobList
  static constexpr int32_t kActivityBuffer = 1024;   // Activity
  static constexpr int32_t kActivityHeader = 41;     // Activity answer before the block
  static constexpr int32_t kActivityBlock = 261;     // the activity block
  static constexpr int32_t kMessageBuffer = 17000;   // ReadQVMSGQ
  static constexpr int32_t kReceiverEntry = 77;      // BuildReceiverListNT entry

  virtual ~DllParam() = default;

  // ---- Error state ----------------------------------------------------------

  // Reports the outcome of the last call other than GetLastError itself and
  // leaves it unchanged: code (a category above), errNum (the source's or the
  // system's number, 0 when there is none) and text (the message, at most
  // kErrorTextMax characters, no line end; written into the caller's buffer
  // of kErrorTextBuffer blanks). After a nonzero result: kCodeNone, 0, "".
  // Always returns nonzero.
  virtual int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) = 0;

  // ---- Connections ----------------------------------------------------------

  // Opens a connection to the source at address and makes it current.
  // address is the source address as the user gave it, trimmed and
  // upper-cased by the caller; its form is the implementation's (a host
  // name or IP address with an optional ":port", default port 1310, for the
  // network; a store name for an in-process source, matched without regard
  // to case since the caller upper-cases it). serverVersion and
  // serverJob are two output buffers of kServerInfoWidth blanks that receive
  // the server program's version and the identifier of the job that serves
  // this connection; callers do not rely on them. hConn receives the new
  // connection's handle (> 0). A source that cannot be reached gives 0 with
  // kCodeNetwork.
  virtual int32_t OpenMConnection(const std::string& address, std::string& serverVersion,
                                  std::string& serverJob, int32_t& hConn) = 0;

  // Makes connection hConn current. Statement and file handles stay with the
  // connection that opened them.
  virtual int32_t SwitchMConnection(int32_t hConn) = 0;

  // Closes connection hConn with every file, statement and ODBC login it still
  // holds; a unit of work still open there is abandoned (see
  // SetConnectOption). When hConn was current, no connection is current
  // afterwards.
  virtual int32_t CloseMConnection(int32_t hConn) = 0;

  // Asks the current connection whether it still answers: nonzero when it
  // does, 0 (kCodeNetwork) when it is dead.
  virtual int32_t PingPong() = 0;

  // ---- Files and records ----------------------------------------------------
  //
  // On an AS/400 source a file is a keyed physical file or a logical file
  // (keyed view, projection or join) named kStoreLibrary + name; a member
  // may follow in parentheses ("QTEMP/QDDSSRC(QUORVANE)"). On an NT source a
  // file names a table or keyed view, written the same way or with the
  // source's own prefix ("QV_USRDATA..QV_EX", "QV_USRDATA.QV_EX", "QV_EX"),
  // and its handle serves as a statement handle for Sread, Snext and
  // Sreadblock.

  // Opens file with mode (kModeUpdate, kModeRead, kModeMember, or
  // kStatementFile with kStatementMode for a bare SQL statement handle) and
  // puts its handle (>= 0) into h. A file that does not exist gives 0 with
  // kCodeRefused.
  virtual int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) = 0;

  // Reads the first record of file h, in key order, whose key equals the
  // first keyLen bytes of key (a keyLen shorter than the file's key reads the
  // first record whose key starts with them). opts is kKeyEqualLocked (the
  // record stays locked for Rupdate or Rdelete on h until one of those, the
  // next read on h, or Rclose) or kKeyEqualNoLock. rec is a buffer of the
  // file's record length (216 for QV_EX, 25 for QV_CX_XY, ...); len receives
  // the bytes written. Nothing found: 0 with kCodeNotFound. A record locked
  // through another handle or connection: 0 with kCodeBusy.
  virtual int32_t Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts,
                         const std::string& key, int32_t keyLen) = 0;

  // Reads the first record of file h in key order (arrival order for a file
  // without key) into rec (a buffer of the record length); len receives the
  // bytes written. opts is kReadNoLock. An empty file: 0 with kCodeNotFound.
  // The next Rreadn on h reads the record after it.
  virtual int32_t Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) = 0;

  // Reads the record after the last one read on h (the first one when none
  // was read yet) into rec; len receives the bytes written. opts is
  // kReadNoLock. Past the last record: 0 with kCodeNotFound.
  virtual int32_t Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) = 0;

  // Reads, in key order, the next block of records of file h whose key starts
  // with the first keyLen bytes of key. Each record takes recLen bytes in buf
  // (record i at offset i * recLen, cut or blank-padded to recLen); a block
  // holds as many whole records as fit in buf (callers pass kBlockBuffer
  // blanks: 13 records of 304 bytes, 14 of 283). count receives the number of
  // records in this block. The next call on h with the same key gives the
  // next block; another key starts again from the first record.
  // No more records: 0 with kCodeNotFound and count 0.
  virtual int32_t Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                             const std::string& key, int32_t keyLen) = 0;

  // Reads the next block of the whole file h, as Rreadblock does without a
  // key: the first call after Ropen starts at the first record; the caller
  // repeats until 0 (kCodeNotFound) to get every record.
  virtual int32_t RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) = 0;

  // Rewrites the record last read with kKeyEqualLocked on h with the first
  // len bytes of rec; the new image may carry a new key. The lock ends.
  // Without a locked record: 0 with kCodeBadCall. A new key that already
  // exists: 0 with kCodeRefused.
  virtual int32_t Rupdate(int32_t h, const std::string& rec, int32_t len) = 0;

  // Adds the first len bytes of rec as a new record of file h (opened for
  // update). A key that already exists: 0 with kCodeRefused.
  virtual int32_t Rwrite(int32_t h, const std::string& rec, int32_t len) = 0;

  // Deletes the record last read with kKeyEqualLocked on h. Without a locked
  // record: 0 with kCodeBadCall.
  virtual int32_t Rdelete(int32_t h) = 0;

  // Closes file or statement handle h and releases its lock and its pending
  // rows. The caller then sets its copy of h to kClosedHandle.
  virtual int32_t Rclose(int32_t h) = 0;

  // ---- SQL (NT sources) -----------------------------------------------------
  //
  // A row comes back as a record image: its columns side by side, in select
  // order, each padded with blanks to its declared width (a varchar to its
  // maximum), NULL as blanks, numbers as text. The rows of a statement stay
  // readable by Snext and Sreadblock while other statements run on the same
  // connection.

  // Runs the query sql on statement hStmt and writes its first row into buf
  // (a buffer sized by the caller: the record length for store reads, up to
  // 32000 for the connection checks); len receives the row's length. When
  // hStmt is below 0 a fresh statement handle is opened and put into hStmt,
  // also when the query then fails; the caller closes it with Rclose. option is kFirstRow. No row: 0 with
  // kCodeNotFound and len 0.
  virtual int32_t Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                        int32_t option) = 0;

  // Writes the next row of the query last run on hStmt into rec; len receives
  // its length. flag receives 1 when a row was written, 0 at the end. No more
  // rows: 0 with kCodeNotFound.
  virtual int32_t Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) = 0;

  // Reads the rows of the query sql in blocks. With first kFirstBlock ("1")
  // the query runs on hStmt (a fresh handle when hStmt is below 0, as for
  // Sread) and the first block comes back; with kNextBlock ("0") the next
  // block of the same query comes back (sql is not run again). A block holds
  // as many whole rows as fit in buf (callers pass kBlockBuffer blanks; the
  // rows have the width of the record they read, so row i is at i * width; a
  // row wider than buf is cut to it). len receives the bytes written (whole
  // rows). flag receives 1 when rows remain for a next call, 0 when this
  // block holds the last rows. No row in this block: 0 with kCodeNotFound.
  virtual int32_t Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len,
                             const std::string& sql, const std::string& first,
                             int32_t& flag) = 0;

  // Runs the statement sql (no result rows) on the current connection.
  virtual int32_t Saction(const std::string& sql) = 0;

  // Sets a connection option of the current connection. kOptionBeginChange
  // (2) opens a unit of work: the statements that follow are kept together
  // and reach the store as one change. kOptionEndChange (0) closes the unit
  // and keeps what its statements did, whatever their outcome (the callers
  // send it after a failure too). kOptionEndRead (3) closes a unit opened
  // around a read. 2 inside an open unit and 0 or 3 without one change
  // nothing. A connection that dies or is closed inside a unit loses the
  // whole unit.
  // AS/400 sources accept and ignore the options.
  virtual int32_t SetConnectOption(int32_t option) = 0;

  // ---- ODBC login and settings ------------------------------------------------

  // Logs the current connection in to a database with connect ("DSN=...;" or
  // "DRIVER={...};SERVER=...;UID=...;PWD=..."); user and password are given
  // again, or " " when connect holds them. out (kListBuffer or
  // kDsnMessageBuffer blanks) receives the completed connect string on
  // success and the database's message on failure.
  virtual int32_t ConnectDSN(const std::string& connect, const std::string& user,
                             const std::string& password, std::string& out) = 0;

  // Ends the database login of the current connection made with connect.
  // out (kDsnMessageBuffer blanks) receives the database's message, if any.
  virtual int32_t CloseConnectionDSN(const std::string& connect, std::string& out) = 0;

  // Reads the value of key in section of the library's settings on the
  // source's side (kSectionSqlServer, kSectionOracle, with "\" + instance
  // for an instance) into value (kSettingBuffer blanks); len receives its
  // length. A missing section or key: 0 with kCodeNotFound.
  virtual int32_t GetConfigStringWithoutDefVal(const std::string& section, const std::string& key,
                                               std::string& value, int32_t& len) = 0;

  // Fills the login settings of a plain ODBC source: connect (255 blanks)
  // the connect string ("DSN=name"), driver (100) the ODBC driver's name,
  // user (20), password (20), database (20) the default database. The caller
  // logs in with connect + ";UID=" + user + ";PWD=" + password.
  virtual int32_t GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                 std::string& password, std::string& database) = 0;

  // Writes the source machine's name into name (kComputerNameBuffer blanks).
  virtual int32_t GetComputerName(std::string& name) = 0;

  // ---- Remote commands (AS/400 sources) ---------------------------------------

  // Sends a command to the server program. code is the 10-character command
  // code ("SYSLSTOBJ_", "RCMD      "...). ctl is the control area: the size
  // N of the data area in 10 decimal digits ("0000004096"). data holds the
  // area: N bytes, the request padded with blanks (a NUL may follow at N and
  // is not part of it); a data shorter than N gives 0 with kCodeBadCall. The
  // reply is written in place into the area (at most N bytes, a NUL after it
  // when shorter); code and ctl may be rewritten in place too (same sizes),
  // callers do not rely on them. A command the server rejects gives 0 with
  // kCodeRefused; the meaning of a delivered reply is in its text.
  virtual int32_t Execute(std::string& code, std::string& ctl, std::string& data) = 0;

  // ---- Engine services (NT sources) -------------------------------------------

  // Starts the engine of a distribution. name is environment (2) + target
  // (3) + model (3); kind is kKindOdbc, kKindSqlServer or kKindOracle;
  // instance is the SQL Server or Oracle instance ("*" for the default one;
  // kKindOdbc again for a plain ODBC source).
  virtual int32_t StrReplication(const std::string& name, const std::string& kind,
                                 const std::string& instance) = 0;

  // Lists the running engine jobs named job (10 characters) into answer
  // (kJobListBuffer blanks): the number of running jobs in 5 digits ("00000"
  // when none), then for each job a TAB and a text naming it (its name, a
  // blank, its process number), then a closing TAB. kind as for
  // StrReplication.
  virtual int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) = 0;

  // Reads or acts on the activity block of an engine job. name is an in/out
  // buffer of kActivityBuffer bytes: on entry the job's name (10 characters)
  // followed by blanks; on return the answer: kActivityHeader characters (the
  // answer's length in 5 digits, the job's name in 10, 26 reserved) then the
  // kActivityBlock-character block. request is option (1: " " read, "I"
  // stop request) + the buffer size in 8 digits + action (1: "F" or "G").
  // A job that never ran: the block is blank.
  virtual int32_t Activity(std::string& name, const std::string& request) = 0;

  // Reads messages of the engine's message queue. queue is an in/out buffer
  // of kMessageBuffer bytes: on entry the queue file's name
  // (kMessageQueueFile) followed by blanks; on return the answer: positions
  // 1-5 the number of bytes of messages from position 11; 6-10 "99999" when
  // the reading restarted from the first message (the queue was cleared
  // since), else the number of messages in this answer; then the messages,
  // each a 45-character header (severity 5, job 10, program 12, date CYYMMDD
  // 7, time HHMMSS 6, text length 5) followed by its text. count is in/out:
  // on entry the number of messages the caller has read so far (0 reads from
  // the first), on return the number read including this answer. Messages
  // that do not fit wait for the next call. kind as for StrReplication.
  virtual int32_t ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) = 0;

  // Writes text into file of the engine's folder on the source;
  // replace is kReplaceFile (the file then holds text only: "" empties it)
  // or kAppendFile.
  virtual int32_t WriteFile(const std::string& file, const std::string& text, int32_t replace) = 0;

  // Deletes file of the engine's folder on the source (a user space of an
  // engine job). A missing file: 0 with kCodeNotFound.
  virtual int32_t DeleteFile(const std::string& file) = 0;

  // Writes text into the file at path on the source machine, as WriteFile.
  virtual int32_t WriteFileWithFullPath(const std::string& path, const std::string& text,
                                        int32_t replace) = 0;

  // Deletes the file at path on the source machine. A missing file: 0 with
  // kCodeNotFound.
  virtual int32_t DeleteFileWithFullPath(const std::string& path) = 0;

  // ---- Catalogs (NT sources) --------------------------------------------------
  //
  // A qualified table is database + ".." + table on SQL Server, schema + "."
  // + table on Oracle, the table alone on a plain ODBC source. List texts:
  // a list of names holds each name followed by a TAB; a list of lines holds
  // each line ended by LF, its fields separated by TAB.

  // Lists the data sources of the source machine into list (kListBuffer
  // blanks), one line per data source: name TAB driver LF. Paged (first).
  virtual int32_t GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) = 0;

  // Lists the databases (SQL Server) or schemas (Oracle) of the connected
  // server whose names match filter (a LIKE pattern; kNoFilter for all) into
  // list (kListBuffer blanks), a list of names. Paged (first).
  virtual int32_t FillDB(const std::string& filter, std::string& list, int32_t& len,
                         int32_t first) = 0;

  // Lists the tables of database (or schema) whose names match mask (a LIKE
  // pattern, "%" for all) into list (kListBuffer blanks), a list of names:
  // owner + "." + table on SQL Server ("dbo.ORDERS"), the table alone
  // elsewhere. Paged (first).
  virtual int32_t FillTBL(const std::string& database, const std::string& mask, std::string& list,
                          int32_t& len, int32_t first) = 0;

  // Lists the columns of table in database (or schema) whose names match
  // mask ("%" for all) into list (kListBuffer blanks), in column order, one
  // line per column: name TAB type TAB position TAB allow-null TAB
  // description LF. type is the SQL type name, a blank and the length, and
  // for exact numerics "," and the scale ("DECIMAL 10,2", "VARCHAR 30",
  // "INT 10"); position counts from 1; allow-null is "1" or "0".
  // Paged (first).
  virtual int32_t FillColumnsList(const std::string& database, const std::string& table,
                                  const std::string& mask, std::string& list, int32_t& len,
                                  int32_t first) = 0;

  // Lists the columns of a qualified table as FillColumnsList does, with
  // every column. kind is kColumnsOfTable. Paged (first).
  virtual int32_t FillColumnsListSource(const std::string& kind, const std::string& table,
                                        std::string& list, int32_t& len, int32_t first) = 0;

  // Writes the primary key columns of a qualified table into keys
  // (kBlockBuffer blanks), a list of names in key order; len 0 when the
  // table has no primary key.
  virtual int32_t GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) = 0;

  // Tells whether the qualified table exists: nonzero when it does; 0 with
  // kCodeNotFound when it does not.
  virtual int32_t TableNTExist(const std::string& table) = 0;

  // Creates the qualified table with definition, its column definitions in
  // SQL ("CODE CHAR(10) NOT NULL, AMOUNT NUMERIC(9,2)"), as
  // "CREATE TABLE " + table + " (" + definition + ")".
  virtual int32_t CreateTable(const std::string& table, const std::string& definition) = 0;

  // Lists the journal receivers of an NT journal (journal and library as the
  // caller names them: the journal and its database or schema) into list
  // (kBlockBuffer blanks): entries of kReceiverEntry characters back to back,
  // in the layout of the entries of the AS/400 receiver listing. Paged
  // (first).
  virtual int32_t BuildReceiverListNT(const std::string& journal, const std::string& library,
                                      std::string& list, int32_t& len, int32_t first) = 0;
};

namespace dllparam {

// Writes value into an output buffer by the rule above: at most buffer.size()
// bytes from the start, then one NUL when room is left; the size never
// changes. Returns the number of bytes of value written.
inline int32_t PutInBuffer(std::string& buffer, std::string_view value) {
  const std::size_t n = value.size() < buffer.size() ? value.size() : buffer.size();
  buffer.replace(0, n, value.substr(0, n));
  if (n < buffer.size()) buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

// Returns the text the caller reads from an output buffer: up to its first NUL.
inline std::string_view CutAtNul(std::string_view buffer) {
  const std::size_t nul = buffer.find('\0');
  return nul == std::string_view::npos ? buffer : buffer.substr(0, nul);
}

}  // namespace dllparam
}  // namespace qv
