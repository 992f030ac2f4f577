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
//
// The members themselves, with what each does, are listed once in
// dllparam_ops.def; dllparam_call.h describes them for generic code and
// dllparam_wrapper.h forwards them.
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

  // ---- Operations ------------------------------------------------------------
  //
  // One pure virtual member per operation of dllparam_ops.def, which tells
  // what each does.
#define DLLPARAM_OP(Name, Code, Params, Args) virtual int32_t Name Params = 0;
#include "connection/dllparam_ops.def"
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

// What FillRowBlock wrote: bytes and whole rows, and whether rows remain.
struct RowBlock {
  std::size_t bytes = 0;
  std::size_t rows = 0;
  bool more = false;
};

// Writes the next rows that next(row) gives into buf as Sreadblock answers
// them: whole rows side by side (a first row wider than buf is cut to it),
// a NUL after them when room is left. A row read but not written (it did not
// fit, or it tells that rows remain) is given back through keep(row), to be
// the first one next reads again.
template <typename Next, typename Keep>
RowBlock FillRowBlock(std::string& buf, Next&& next, Keep&& keep) {
  RowBlock block;
  std::string row;
  while (block.bytes < buf.size() && next(row)) {
    if (block.bytes + row.size() > buf.size()) {
      if (block.rows > 0) {
        keep(std::move(row));
        block.more = true;
        break;
      }
      row.resize(buf.size());
    }
    buf.replace(block.bytes, row.size(), row);
    block.bytes += row.size();
    ++block.rows;
  }
  if (block.rows == 0) return block;
  if (block.bytes < buf.size()) buf[block.bytes] = '\0';
  if (!block.more && next(row)) {
    keep(std::move(row));
    block.more = true;
  }
  return block;
}

// Returns the text the caller reads from an output buffer: up to its first NUL.
inline std::string_view CutAtNul(std::string_view buffer) {
  const std::size_t nul = buffer.find('\0');
  return nul == std::string_view::npos ? buffer : buffer.substr(0, nul);
}

}  // namespace dllparam
}  // namespace qv
