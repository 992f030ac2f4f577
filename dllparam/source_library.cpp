// Implements the routing record-access library and its factory.
#include "dllparam/source_library.h"

#include "dllparam/net/net_client.h"
#include "dllparam/net/net_client.h"
#include "dllparam/trace/trace.h"

namespace qv {

namespace {
constexpr int kHandleShift = 24;
}

SourceLibrary::SourceLibrary(bool withNetwork) {
  auto embedded = std::make_unique<embedded::EmbeddedSource>(0);
  embedded_ = embedded.get();
  libs_.push_back(std::move(embedded));
  if (withNetwork)
    AttachNetworkClient(std::make_unique<net::NetClient>(net::ClientOptions::FromEnvironment(NetworkHandleBase())));
}

SourceLibrary::~SourceLibrary() = default;

void SourceLibrary::AttachNetworkClient(std::unique_ptr<DllParam> client) {
  if (libs_.size() < 2) libs_.resize(2);
  libs_[1] = std::move(client);
}

bool SourceLibrary::StopAnswering(int32_t hConn) { return embedded_->StopAnswering(hConn); }

int32_t SourceLibrary::Own(int32_t code, std::string text) {
  last_ = nullptr;
  code_ = code;
  text_ = std::move(text);
  return 0;
}

DllParam* SourceLibrary::Use(DllParam* lib) {
  last_ = lib;
  return lib;
}

DllParam* SourceLibrary::Current() {
  if (!current_) {
    Own(kCodeBadCall, "no current connection");
    return nullptr;
  }
  return Use(current_);
}

DllParam* SourceLibrary::Owner(int32_t h) {
  if (h < 0) return Current();
  size_t index = static_cast<size_t>(h) >> kHandleShift;
  if (index >= libs_.size() || !libs_[index]) {
    Own(kCodeBadCall, "unknown or closed handle " + std::to_string(h));
    return nullptr;
  }
  return Use(libs_[index].get());
}

int32_t SourceLibrary::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  if (last_) return last_->GetLastError(code, errNum, text);
  code = code_;
  errNum = 0;
  dllparam::PutInBuffer(text, text_.substr(0, kErrorTextMax));
  return 1;
}

int32_t SourceLibrary::OpenMConnection(const std::string& address, std::string& serverVersion,
                                       std::string& serverJob, int32_t& hConn) {
  DllParam* lib = nullptr;
  if (embedded::StorePathOfAddress(address)) lib = embedded_;
  else if (libs_.size() > 1 && libs_[1]) lib = libs_[1].get();
  if (!lib) {
    std::string a(dllparam::CutAtNul(address));
    a.erase(0, a.find_first_not_of(' '));
    a.erase(a.find_last_not_of(' ') + 1);
    return Own(kCodeNetwork, "no source server at " + a);
  }
  Use(lib);
  int32_t r = lib->OpenMConnection(address, serverVersion, serverJob, hConn);
  if (r) current_ = lib;
  return r;
}

int32_t SourceLibrary::SwitchMConnection(int32_t hConn) {
  DllParam* lib = hConn > 0 ? Owner(hConn) : nullptr;
  if (!lib) return hConn > 0 ? 0 : Own(kCodeBadCall, "unknown connection " + std::to_string(hConn));
  int32_t r = lib->SwitchMConnection(hConn);
  if (r) current_ = lib;
  return r;
}

int32_t SourceLibrary::CloseMConnection(int32_t hConn) {
  DllParam* lib = hConn > 0 ? Owner(hConn) : nullptr;
  if (!lib) return hConn > 0 ? 0 : Own(kCodeBadCall, "unknown connection " + std::to_string(hConn));
  return lib->CloseMConnection(hConn);
}

// Forwards a call to the implementation of the current connection.
#define QV_CURRENT(call)                \
  DllParam* lib = Current();            \
  return lib ? lib->call : 0

// Forwards a call to the implementation that gave out handle h.
#define QV_OWNER(h, call)               \
  DllParam* lib = Owner(h);             \
  return lib ? lib->call : 0

int32_t SourceLibrary::PingPong() { QV_CURRENT(PingPong()); }
int32_t SourceLibrary::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  QV_CURRENT(Ropen(file, mode, h));
}
int32_t SourceLibrary::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                              int32_t keyLen) {
  len = 0;
  QV_OWNER(h, Rreadk(h, rec, len, opts, key, keyLen));
}
int32_t SourceLibrary::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  len = 0;
  QV_OWNER(h, Rreadf(h, rec, len, opts));
}
int32_t SourceLibrary::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  len = 0;
  QV_OWNER(h, Rreadn(h, rec, len, opts));
}
int32_t SourceLibrary::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                                  const std::string& key, int32_t keyLen) {
  count = 0;
  QV_OWNER(h, Rreadblock(h, buf, count, recLen, key, keyLen));
}
int32_t SourceLibrary::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  count = 0;
  QV_OWNER(h, RreadblockD(h, buf, count, recLen));
}
int32_t SourceLibrary::Rupdate(int32_t h, const std::string& rec, int32_t len) { QV_OWNER(h, Rupdate(h, rec, len)); }
int32_t SourceLibrary::Rwrite(int32_t h, const std::string& rec, int32_t len) { QV_OWNER(h, Rwrite(h, rec, len)); }
int32_t SourceLibrary::Rdelete(int32_t h) { QV_OWNER(h, Rdelete(h)); }
int32_t SourceLibrary::Rclose(int32_t h) { QV_OWNER(h, Rclose(h)); }
int32_t SourceLibrary::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                             int32_t option) {
  len = 0;
  QV_OWNER(hStmt, Sread(hStmt, buf, len, sql, option));
}
int32_t SourceLibrary::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  len = 0;
  flag = 0;
  QV_OWNER(hStmt, Snext(hStmt, rec, len, flag));
}
int32_t SourceLibrary::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                                  const std::string& first, int32_t& flag) {
  len = 0;
  flag = 0;
  QV_OWNER(hStmt, Sreadblock(hStmt, buf, len, sql, first, flag));
}
int32_t SourceLibrary::Saction(const std::string& sql) { QV_CURRENT(Saction(sql)); }
int32_t SourceLibrary::SetConnectOption(int32_t option) { QV_CURRENT(SetConnectOption(option)); }
int32_t SourceLibrary::ConnectDSN(const std::string& connect, const std::string& user,
                                  const std::string& password, std::string& out) {
  QV_CURRENT(ConnectDSN(connect, user, password, out));
}
int32_t SourceLibrary::CloseConnectionDSN(const std::string& connect, std::string& out) {
  QV_CURRENT(CloseConnectionDSN(connect, out));
}
int32_t SourceLibrary::GetConfigStringWithoutDefVal(const std::string& section, const std::string& key,
                                                    std::string& value, int32_t& len) {
  len = 0;
  QV_CURRENT(GetConfigStringWithoutDefVal(section, key, value, len));
}
int32_t SourceLibrary::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                      std::string& password, std::string& database) {
  QV_CURRENT(GetDBParamKeys(connect, driver, user, password, database));
}
int32_t SourceLibrary::GetComputerName(std::string& name) { QV_CURRENT(GetComputerName(name)); }
int32_t SourceLibrary::Execute(std::string& code, std::string& ctl, std::string& data) {
  QV_CURRENT(Execute(code, ctl, data));
}
int32_t SourceLibrary::StrReplication(const std::string& name, const std::string& kind,
                                      const std::string& instance) {
  QV_CURRENT(StrReplication(name, kind, instance));
}
int32_t SourceLibrary::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  QV_CURRENT(SJobList(job, answer, kind));
}
int32_t SourceLibrary::Activity(std::string& name, const std::string& request) {
  QV_CURRENT(Activity(name, request));
}
int32_t SourceLibrary::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  QV_CURRENT(ReadQVMSGQ(queue, count, kind));
}
int32_t SourceLibrary::WriteFile(const std::string& file, const std::string& text, int32_t replace) {
  QV_CURRENT(WriteFile(file, text, replace));
}
int32_t SourceLibrary::DeleteFile(const std::string& file) { QV_CURRENT(DeleteFile(file)); }
int32_t SourceLibrary::WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) {
  QV_CURRENT(WriteFileWithFullPath(path, text, replace));
}
int32_t SourceLibrary::DeleteFileWithFullPath(const std::string& path) { QV_CURRENT(DeleteFileWithFullPath(path)); }
int32_t SourceLibrary::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(GetDSNsAndDrivers(list, len, first));
}
int32_t SourceLibrary::FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(FillDB(filter, list, len, first));
}
int32_t SourceLibrary::FillTBL(const std::string& database, const std::string& mask, std::string& list,
                               int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(FillTBL(database, mask, list, len, first));
}
int32_t SourceLibrary::FillColumnsList(const std::string& database, const std::string& table,
                                       const std::string& mask, std::string& list, int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(FillColumnsList(database, table, mask, list, len, first));
}
int32_t SourceLibrary::FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                             int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(FillColumnsListSource(kind, table, list, len, first));
}
int32_t SourceLibrary::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  len = 0;
  QV_CURRENT(GetPrimaryKey(table, keys, len));
}
int32_t SourceLibrary::TableNTExist(const std::string& table) { QV_CURRENT(TableNTExist(table)); }
int32_t SourceLibrary::CreateTable(const std::string& table, const std::string& definition) {
  QV_CURRENT(CreateTable(table, definition));
}
int32_t SourceLibrary::BuildReceiverListNT(const std::string& journal, const std::string& library,
                                           std::string& list, int32_t& len, int32_t first) {
  len = 0;
  QV_CURRENT(BuildReceiverListNT(journal, library, list, len, first));
}

#undef QV_CURRENT
#undef QV_OWNER

std::unique_ptr<DllParam> MakeSourceLibrary() {
  auto lib = std::make_unique<SourceLibrary>();
  lib->AttachNetworkClient(
      std::make_unique<net::NetClient>(net::ClientOptions::FromEnvironment(SourceLibrary::NetworkHandleBase())));
  return WrapWithTraceFromEnv(std::move(lib));
}

}  // namespace qv
