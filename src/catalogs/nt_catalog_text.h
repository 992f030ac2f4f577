// Text of the NT catalogs: the statements that list databases and schemas,
// the system names the lists leave out, the driver filter of the data-source
// list, and the reading of the library's data-source lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Lists the databases of a SQL Server source, one name of
// kDatabaseNameWidth characters a row.
inline constexpr const char* kDatabasesSql = "select name from master..sysdatabases";
inline constexpr std::size_t kDatabaseNameWidth = 128;
// Lists the schemas of an Oracle source, one name of kSchemaNameWidth
// characters a row.
inline constexpr const char* kSchemasSql = "select distinct owner from all_catalog";
inline constexpr std::size_t kSchemaNameWidth = 30;

// Tells whether a database name is one of SQL Server's own ("MASTER",
// "MODEL", "TEMPDB", "MSDB"), in any case.
bool IsSqlServerSystemDatabase(std::string_view name);
// Tells whether a schema name is one of Oracle's own ("SYS", "SYSTEM",
// "SH", "RMAN", "QS_WS"), in any case.
bool IsOracleSystemSchema(std::string_view name);
// Tells whether a SQL Server table listing leaves the table out: a name
// beginning with "INFORMATION_SCHEMA.", or one of "sysarticleupdates",
// "syssegments", "sysconstraints", "sysalternates", "dtproperties" (with or
// without its owner, in any case).
bool IsSqlServerSystemTable(std::string_view name);

// Tells whether name matches a mask as a LIKE pattern does: "%" any run of
// characters, "_" one character, letters in any case.
bool MatchesMask(std::string_view name, std::string_view mask);

// One line of the data-source list: the name and its ODBC driver.
struct DataSourceLine {
  std::string name;
  std::string driver;
};
// Reads the data-source list ("name TAB driver LF" per line; the list ends
// at its first NUL). A line without a TAB gives a name with no driver.
std::vector<DataSourceLine> ReadDataSourceList(std::string_view text);
// Tells whether a driver serves the kind asked: "SQL SERVER" a driver whose
// name holds both "SERVER" and "SQL", "ORACLE" one holding "ORACLE",
// "MS-ACCESS" one holding both "ACCESS" and "MICROSOFT" (in any case); an
// empty kind takes every driver, any other kind none.
bool DriverServesKind(std::string_view driver, std::string_view kind);

}  // namespace qv
