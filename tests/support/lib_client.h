// A small client of the record-access library for the tests of its
// implementations: calls with prepared buffers, reads answers and errors
// back, and speaks to the engine as each kind of source answers it (remote
// commands on AS/400, engine services on NT).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/dllparam.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/kinds.h"

namespace qv {
class SourceLibrary;
}

namespace qv::test {

struct LibError {
  int32_t code = 0;
  int32_t num = 0;
  std::string text;
};

// Returns the error state of the last call of lib.
LibError LastError(DllParam& lib);
// Returns the error state of lib as "code-name errNum text".
std::string ErrorOf(DllParam& lib);

class LibClient {
 public:
  // Uses lib (the embedded source's library with its network client when
  // none is given).
  explicit LibClient(const Kind& kind = kAs400, std::unique_ptr<DllParam> lib = nullptr);
  LibClient(DllParam& lib, const Kind& kind);

  DllParam& lib() { return *lib_; }
  // Returns the library as the embedded source's library, for its test hooks.
  SourceLibrary& Source();
  bool AS400() const { return kind_.AS400(); }
  LibError Error() { return LastError(*lib_); }

  // Opens a connection; returns its handle, 0 when refused. Connect also
  // logs in to an NT store with the login a new store declares.
  int32_t Open(const std::string& address);
  bool Connect(const std::string& address);
  bool Login(const std::string& connect, const std::string& user = " ", const std::string& password = " ");
  bool Close() { return lib_->CloseMConnection(conn_) != 0; }

  // Opens QV_USRDATA/file; returns the handle, -1 when refused.
  int32_t Ropen(const std::string& file, bool update = true);
  // Reads by key (whole key unless keyLen is given); nothing when not found.
  std::optional<std::string> Readk(int32_t h, const std::string& key, bool lock, std::size_t recLen,
                                   int32_t keyLen = -1);
  std::optional<std::string> Readf(int32_t h, std::size_t recLen);
  std::optional<std::string> Readn(int32_t h, std::size_t recLen);
  bool Write(int32_t h, const std::string& image) {
    return lib_->Rwrite(h, image, static_cast<int32_t>(image.size())) != 0;
  }
  // Reads every block of a key (the whole file when key is nothing); counts
  // receives each block's count.
  std::vector<std::string> Blocks(int32_t h, const Layout& record, const std::optional<std::string>& key,
                                  std::vector<int32_t>* counts = nullptr, std::size_t bufferSize = 4096);

  // Reads the first row of a query and closes it; the error is kept in last.
  std::optional<std::string> Sread(const std::string& sql, std::size_t size = 32000);
  // Reads every row of a query with Sreadblock; blocks receives each length.
  // The error of the last block is kept in last.
  std::vector<std::string> SreadAll(const std::string& sql, std::size_t rowWidth,
                                    std::vector<int32_t>* blocks = nullptr);
  bool Saction(const std::string& sql) { return lib_->Saction(sql) != 0; }
  bool Option(int32_t option) { return lib_->SetConnectOption(option) != 0; }

  // Sends a remote command (code padded with "_"); returns the reply area.
  std::optional<std::string> Execute(const std::string& code, std::size_t length, const std::string& request);
  // Starts the engine of env/tgt/grp as given.
  bool Start(const std::string& env, const std::string& tgt, const std::string& grp);
  // Lists the active jobs of a name: every page on AS/400 (pageArea bytes
  // each; pages receives each page's entries), the one answer on NT.
  std::vector<std::string> Jobs(const std::string& name, std::size_t pageArea = 4096,
                                std::vector<std::size_t>* pages = nullptr);
  // Reads a job's activity block (option "I" asks it to stop).
  std::optional<Record> Activity(const std::string& job, const std::string& option = " ");
  // Reads the message queue from its first message or on from the last read.
  std::optional<std::string> Messages(bool first);
  int32_t position() const { return position_; }
  bool ClearQueue();
  bool DeleteSpace(const std::string& name);

  LibError last;

 private:
  std::unique_ptr<DllParam> owned_;
  DllParam* lib_;
  Kind kind_;
  int32_t conn_ = 0;
  int32_t position_ = 0;
};

}  // namespace qv::test
