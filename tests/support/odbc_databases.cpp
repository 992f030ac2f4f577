// Finds the ODBC drivers and builds the connection strings of the test databases.
#include "support/odbc_databases.h"

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>

#include <unistd.h>

#include "dllparam/odbc/odbc_source.h"

namespace qv::test {

namespace {

std::string FirstExisting(const char* name) {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/", "/usr/lib/odbc/",
                          "/usr/lib64/", "/usr/local/lib/"})
    if (std::filesystem::exists(std::string(dir) + name)) return std::string(dir) + name;
  return "";
}

}  // namespace

std::string SqliteOdbcDriver() { return FirstExisting("libsqlite3odbc.so"); }
std::string PostgresOdbcDriver() { return FirstExisting("psqlodbca.so"); }

std::string SqliteConnect(const std::string& file) {
  return "DRIVER=" + SqliteOdbcDriver() + ";DATABASE=" + file + ";TIMEOUT=5000";
}

bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "false";
}

std::optional<std::string> PostgresConnect() {
  const char* port = std::getenv("QV_PG_PORT");
  if (!port || !*port) return std::nullopt;
  static const std::string connect = [&] {
    const std::string server = "DRIVER=" + PostgresOdbcDriver() + ";SERVER=127.0.0.1;PORT=" + port + ";UID=QVTEST;";
    // Tests run in parallel processes: each process has a database of its own.
    const std::string name = "QVT" + std::to_string(::getpid());
    odbc::OdbcSource admin;
    std::string version(10, ' '), job(10, ' '), out(DllParam::kDsnMessageBuffer, ' ');
    int32_t h = 0;
    if (!admin.OpenMConnection("odbc:" + server + "DATABASE=QVTEST", version, job, h) ||
        !admin.ConnectDSN(server + "DATABASE=QVTEST", " ", " ", out))
      throw std::runtime_error("cannot reach the PostgreSQL server on port " + std::string(port) + ": " +
                               std::string(dllparam::CutAtNul(out)));
    admin.Saction("DROP DATABASE IF EXISTS \"" + name + "\"");
    if (!admin.Saction("CREATE DATABASE \"" + name + "\"")) throw std::runtime_error("cannot create " + name);
    admin.CloseMConnection(h);
    return server + "DATABASE=" + name;
  }();
  return connect;
}

}  // namespace qv::test
