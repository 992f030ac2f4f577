// The record-access library that the control uses: a DllParam that routes
// each connection to the implementation serving its address.
//
//   "file:/path/store.qvs", or the path of an existing store file
//        -> the embedded source (in-process, from the store file)
//   "odbc:DSN=NAME", "odbc:NAME" or "odbc:" + an ODBC connection string
//        -> the ODBC source (a plain ODBC source on a real database)
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
#include "connection/dllparam_wrapper.h"
#include "dllparam/embedded/embedded_source.h"

namespace qv {

class SourceLibrary final : public DllParamDispatch {
 public:
  // withNetwork attaches the network client (timeouts from the environment).
  explicit SourceLibrary(bool withNetwork = true);
  ~SourceLibrary() override;

  // The embedded source, for its settings.
  embedded::EmbeddedSource& Embedded() { return *embedded_; }
  // Attaches the implementation that serves network addresses. It must give
  // out handles from NetworkHandleBase().
  void AttachNetworkClient(std::unique_ptr<DllParam> client);
  static constexpr int32_t NetworkHandleBase() { return 1 << 24; }
  static constexpr int32_t OdbcHandleBase() { return 2 << 24; }

  // Answered here: the error state and the connections. Every other
  // operation goes to the implementation that gave out its handle, else to
  // that of the current connection (Perform).
  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                          int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;

 protected:
  int32_t Perform(const DllParamCall& call) override;

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
