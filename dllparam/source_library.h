// The record-access library that the control uses: a DllParam that routes
// each connection to the implementation serving its address.
//
//   "file:/path/store.qvs", or the path of an existing store file
//        -> the embedded source (in-process, from the store file)
//   any other address ("HOST", "HOST:PORT")
//        -> the network client (a source server, qvsource serve); without
//           one the open fails with kCodeNetwork "no source server at ADDRESS"
//
// Connection, file and statement handles of each implementation live in a
// range of their own (implementation i gives out handles from i << 24), so
// every call with a handle goes back to the implementation that made it, and
// every other call to the implementation of the current connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/embedded/embedded_source.h"

namespace qv {

class SourceLibrary final : public DllParam {
 public:
  // withNetwork attaches the network client (timeouts from the environment).
  explicit SourceLibrary(bool withNetwork = true);
  ~SourceLibrary() override;

  // The embedded source, for test hooks (StopAnswering) and settings.
  embedded::EmbeddedSource& Embedded() { return *embedded_; }
  // Test hook: connection hConn stops answering until it is closed. Returns
  // false for a connection that is unknown or not embedded.
  bool StopAnswering(int32_t hConn);
  // Attaches the implementation that serves network addresses. It must give
  // out handles from NetworkHandleBase().
  void AttachNetworkClient(std::unique_ptr<DllParam> client);
  static constexpr int32_t NetworkHandleBase() { return 1 << 24; }

  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                          int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;
  int32_t PingPong() override;
  int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) override;
  int32_t Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                 int32_t keyLen) override;
  int32_t Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen, const std::string& key,
                     int32_t keyLen) override;
  int32_t RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) override;
  int32_t Rupdate(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rwrite(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rdelete(int32_t h) override;
  int32_t Rclose(int32_t h) override;
  int32_t Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                int32_t option) override;
  int32_t Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) override;
  int32_t Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                     const std::string& first, int32_t& flag) override;
  int32_t Saction(const std::string& sql) override;
  int32_t SetConnectOption(int32_t option) override;
  int32_t ConnectDSN(const std::string& connect, const std::string& user, const std::string& password,
                     std::string& out) override;
  int32_t CloseConnectionDSN(const std::string& connect, std::string& out) override;
  int32_t GetConfigStringWithoutDefVal(const std::string& section, const std::string& key, std::string& value,
                                       int32_t& len) override;
  int32_t GetDBParamKeys(std::string& connect, std::string& driver, std::string& user, std::string& password,
                         std::string& database) override;
  int32_t GetComputerName(std::string& name) override;
  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t StrReplication(const std::string& name, const std::string& kind, const std::string& instance) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;
  int32_t Activity(std::string& name, const std::string& request) override;
  int32_t ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) override;
  int32_t WriteFile(const std::string& file, const std::string& text, int32_t replace) override;
  int32_t DeleteFile(const std::string& file) override;
  int32_t WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) override;
  int32_t DeleteFileWithFullPath(const std::string& path) override;
  int32_t GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) override;
  int32_t FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) override;
  int32_t FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len,
                  int32_t first) override;
  int32_t FillColumnsList(const std::string& database, const std::string& table, const std::string& mask,
                          std::string& list, int32_t& len, int32_t first) override;
  int32_t FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                int32_t& len, int32_t first) override;
  int32_t GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) override;
  int32_t TableNTExist(const std::string& table) override;
  int32_t CreateTable(const std::string& table, const std::string& definition) override;
  int32_t BuildReceiverListNT(const std::string& journal, const std::string& library, std::string& list,
                              int32_t& len, int32_t first) override;

 private:
  // Returns the implementation of the current connection, or records a
  // kCodeBadCall error and returns nullptr.
  DllParam* Current();
  // Returns the implementation that gave out handle h (the current one for
  // a handle below 0), or records a kCodeBadCall error and returns nullptr.
  DllParam* Owner(int32_t h);
  DllParam* Use(DllParam* lib);
  int32_t Own(int32_t code, std::string text);

  embedded::EmbeddedSource* embedded_;
  std::vector<std::unique_ptr<DllParam>> libs_;  // index i serves handles from i << 24
  DllParam* current_ = nullptr;
  DllParam* last_ = nullptr;  // implementation of the last call, nullptr: this router
  int32_t code_ = kCodeNone;
  std::string text_;
};

// Returns the library the control uses: a SourceLibrary, wrapped in the
// trace when QV_TRACE names a file.
std::unique_ptr<DllParam> MakeSourceLibrary();

}  // namespace qv
