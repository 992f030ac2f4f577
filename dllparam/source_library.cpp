// Implements the routing record-access library and its factory.
#include "dllparam/source_library.h"

#include <optional>

#include "dllparam/net/net_client.h"
#include "dllparam/odbc/odbc_source.h"
#include "dllparam/trace/trace.h"

namespace qv {

namespace {
constexpr int kHandleShift = 24;
}

SourceLibrary::SourceLibrary(bool withNetwork) {
  auto embedded = std::make_unique<embedded::EmbeddedSource>(0);
  embedded_ = embedded.get();
  libs_.push_back(std::move(embedded));
  libs_.resize(3);
  libs_[2] = std::make_unique<odbc::OdbcSource>(OdbcHandleBase());
  if (withNetwork)
    AttachNetworkClient(std::make_unique<net::NetClient>(net::ClientOptions::FromEnvironment(NetworkHandleBase())));
}

SourceLibrary::~SourceLibrary() = default;

void SourceLibrary::AttachNetworkClient(std::unique_ptr<DllParam> client) {
  if (libs_.size() < 2) libs_.resize(2);
  libs_[1] = std::move(client);
}


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
  else if (odbc::ConnectStringOfAddress(address)) lib = libs_[2].get();
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

int32_t SourceLibrary::Perform(const DllParamCall& call) {
  // Outputs start empty, so that a call refused here reports nothing.
  std::optional<std::size_t> handle;
  for (std::size_t i = 0; i < call.size(); ++i) {
    const dllparam::ArgKind kind = call.kind(i);
    if (kind == dllparam::ArgKind::NumberOut) call.Number(i) = 0;
    if (!handle && (kind == dllparam::ArgKind::Handle || kind == dllparam::ArgKind::HandleInOut)) handle = i;
  }
  DllParam* lib = handle ? Owner(call.Number(*handle)) : Current();
  return lib ? call.RunOn(*lib) : 0;
}

std::unique_ptr<DllParam> MakeSourceLibrary() {
  auto lib = std::make_unique<SourceLibrary>();
  lib->AttachNetworkClient(
      std::make_unique<net::NetClient>(net::ClientOptions::FromEnvironment(SourceLibrary::NetworkHandleBase())));
  return WrapWithTraceFromEnv(std::move(lib));
}

}  // namespace qv
