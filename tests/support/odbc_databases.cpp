// Finds the ODBC drivers and builds the connection strings of the test databases.
#include "support/odbc_databases.h"

#include <cstdlib>
#include <filesystem>
#include <initializer_list>

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

std::optional<std::string> PostgresConnect() {
  const char* port = std::getenv("QV_PG_PORT");
  if (!port || !*port) return std::nullopt;
  return "DRIVER=" + PostgresOdbcDriver() + ";SERVER=127.0.0.1;PORT=" + port + ";DATABASE=QVTEST;UID=QVTEST";
}

}  // namespace qv::test
