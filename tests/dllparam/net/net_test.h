// Helpers shared by the network tests of this folder: the path of the real
// "qvsource" program and the opening of a connection by a network client.
#pragma once

#include <memory>
#include <string>

#include "dllparam/embedded/embedded_source.h"
#include "support/embedded_store.h"
#include "support/net_fixture.h"

#ifndef QV_QVSOURCE_PATH
#define QV_QVSOURCE_PATH ""
#endif

namespace qv::net::test {

using embedded::SourceKind;
using qv::test::LibClient;

// Opens a connection of client to address; returns its handle, 0 when refused.
inline int32_t Open(NetClient& client, const std::string& address) {
  std::string v(DllParam::kServerInfoWidth, ' '), j(DllParam::kServerInfoWidth, ' ');
  int32_t conn = 0;
  return client.OpenMConnection(address, v, j, conn) != 0 ? conn : 0;
}

// Makes the library a server of a store file serves each session with.
inline std::unique_ptr<DllParam> EmbeddedLibrary() { return std::make_unique<embedded::EmbeddedSource>(); }

}  // namespace qv::net::test
