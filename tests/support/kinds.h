// The four kinds of source with everything a test passes for each: the
// control's source type and instance, the engine's kind code, the file
// prefix and the login of a new NT store.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "connection/dllparam.h"
#include "dllparam/embedded/store_schema.h"

namespace qv::test {

struct Kind {
  embedded::SourceKind store;
  const char* type;            // the control's SourceType
  const char* instance;        // the control's InstanceName
  const char* engineCode;      // the NT engine's kind code ("" on AS/400)
  const char* engineInstance;  // the instance StrReplication is given
  const char* prefix;          // the prefix of store files and tables
  const char* login;           // the login a new NT store declares
  // Plain ODBC kinds only: the store is reached through the ODBC source and
  // this ODBC driver rather than by the embedded source (nullptr: embedded).
  const char* odbcDriver = nullptr;

  bool AS400() const { return store == embedded::SourceKind::AS400; }
};

inline const Kind kAs400{embedded::SourceKind::AS400, "AS400", "", "", "", "QV_USRDATA/", ""};
inline const Kind kOdbc{embedded::SourceKind::ODBC, "ODBC", "", DllParam::kKindOdbc, DllParam::kKindOdbc, "",
                        "DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN"};
inline const Kind kSqlServer{embedded::SourceKind::SQLServer, "SQL Server", "", DllParam::kKindSqlServer, "*",
                             "QV_USRDATA..", "DRIVER={SQL Server};SERVER=QVSOURCE;UID=QVADMIN;PWD=QVADMIN"};
inline const Kind kOracle{embedded::SourceKind::Oracle, "Oracle", "QVORA", DllParam::kKindOracle, "QVORA",
                          "QV_USRDATA.", "DRIVER={Oracle};SERVER=QVSOURCE;UID=QVADMIN;PWD=QVADMIN;DBQ=QVORA"};

// Plain ODBC sources whose store is a database made by CreateOdbcStore: an
// SQLite file through the SQLite ODBC driver, a PostgreSQL database through
// the PostgreSQL driver (on the server of QV_PG_PORT).
inline constexpr const char* kSqliteOdbc = "sqliteodbc";
inline constexpr const char* kPsqlOdbc = "psqlodbc";
inline const Kind kOdbcSqlite{embedded::SourceKind::ODBC, "ODBC", "", DllParam::kKindOdbc, DllParam::kKindOdbc, "",
                              "DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN", kSqliteOdbc};
inline const Kind kOdbcPostgres{embedded::SourceKind::ODBC, "ODBC", "", DllParam::kKindOdbc, DllParam::kKindOdbc, "",
                                "DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN", kPsqlOdbc};

inline auto AllKinds() { return testing::Values(kAs400, kOdbc, kSqlServer, kOracle); }
inline auto NtKinds() { return testing::Values(kOdbc, kSqlServer, kOracle); }
// The kinds of the store behaviour suite: every kind, and the plain ODBC
// source reached through the two real ODBC drivers.
inline auto StoreKinds() { return testing::Values(kAs400, kOdbc, kSqlServer, kOracle, kOdbcSqlite, kOdbcPostgres); }

// Names a test of a kind: "AS400", "ODBC", "SQLSERVER", "ORACLE",
// "ODBC_sqliteodbc", "ODBC_psqlodbc".
inline std::string KindName(const testing::TestParamInfo<Kind>& info) {
  std::string name(embedded::KindName(info.param.store));
  if (info.param.odbcDriver) name += std::string("_") + info.param.odbcDriver;
  return name;
}

}  // namespace qv::test
