// The real databases that the tests and benchmarks of the ODBC source reach:
// SQLite through its ODBC driver (a file of a scratch folder) and the
// PostgreSQL server that scripts/pg starts (QV_PG_PORT).
#pragma once

#include <optional>
#include <string>

namespace qv::test {

// Returns the path of the SQLite ODBC driver library, "" when none is installed.
std::string SqliteOdbcDriver();
// Returns the path of the PostgreSQL ODBC driver library (ANSI), "" when none is installed.
std::string PostgresOdbcDriver();

// Returns the connection string of an SQLite database file through its driver.
std::string SqliteConnect(const std::string& file);
// Returns the connection string of a database of this process on the server
// that scripts/pg started (created on the first call), or nothing when
// QV_PG_PORT is not set. Throws std::runtime_error when the server does not
// answer.
std::optional<std::string> PostgresConnect();

// Returns true when the tests run under CI (CI set), where scripts/test starts
// the PostgreSQL server: a missing server there is a fault, not a reason to skip.
bool UnderCi();

// Skips the calling test when QV_PG_PORT is not set, or fails it under CI;
// returns from the calling function either way. For GoogleTest tests only
// (the benchmarks share the rest of this file).
#define QV_SKIP_WITHOUT_POSTGRES()                                                                         \
  if (!::qv::test::PostgresConnect()) {                                                                    \
    if (::qv::test::UnderCi()) FAIL() << "QV_PG_PORT is not set under CI: scripts/test starts the server"; \
    GTEST_SKIP() << "QV_PG_PORT is not set: start a server with scripts/pg (scripts/test does)";          \
  }                                                                                                        \
  ASSERT_FALSE(::qv::test::PostgresOdbcDriver().empty())                                                   \
      << "no PostgreSQL ODBC driver (scripts/setup installs odbc-postgresql)"

}  // namespace qv::test
