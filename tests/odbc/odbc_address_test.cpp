// Addresses and connection strings of the ODBC source, and the routing of
// "odbc:" addresses by the library the control uses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "dllparam/odbc/odbc_source.h"
#include "dllparam/source_library.h"
#include "presentation/strutil.h"
#include "support/odbc_databases.h"
#include "support/scratch.h"

namespace qv::odbc {
namespace {

TEST(OdbcAddress, NamesAConnectionStringOrADataSource) {
  test::Scratch scratch("qv-odbc-address");
  const std::string file = scratch / "Store.db";
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
  const struct {
    std::string address;
    std::optional<std::string> connect;
  } cases[] = {
      {"odbc:DSN=QVPROD", "DSN=QVPROD;"},
      {"  ODBC:  QVPROD ", "DSN=QVPROD;"},
      {"Odbc:DSN=QV;UID=A;PWD={x;y}", "DSN=QV;UID=A;PWD={x;y};"},
      // An upper-cased address finds the file and driver it named.
      {"ODBC:DRIVER=/NONEXISTENT/DRV.SO;DATABASE=" + UCase(file), "DRIVER=/NONEXISTENT/DRV.SO;DATABASE=" + file + ";"},
      {"odbc:", std::nullopt},
      {"file:/tmp/x.qvs", std::nullopt},
      {"HOST:1310", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ConnectStringOfAddress(c.address), c.connect) << c.address;
}

TEST(OdbcAddress, TheLoginPartsAreLeftOutWhereAskedAndEmptyPairsAlways) {
  const struct {
    const char* connect;
    bool dropUser;
    const char* expected;
  } cases[] = {
      {"DSN=A;UID=U;PWD=P", false, "DSN=A;UID=U;"},
      {"DSN=A;UID=U;PWD=P", true, "DSN=A;"},
      {"DSN=A;uid=;pwd=;", false, "DSN=A;"},
      {"DRIVER={My Driver};Password={a;b};SERVER=S", false, "DRIVER={My Driver};SERVER=S;"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutLogin(c.connect, c.dropUser), c.expected) << c.connect;
  EXPECT_EQ(ConnectValue("DRIVER={My Driver};server=S", "SERVER"), "S");
  EXPECT_EQ(ConnectValue("DRIVER={My Driver};server=S", "driver"), "My Driver");
  EXPECT_EQ(ConnectValue("DSN=A", "UID"), "");
}

TEST(OdbcAddress, TheSourceLibraryRoutesOdbcAddressesToTheOdbcSource) {
  SourceLibrary lib(false);
  std::string version(10, ' '), job(10, ' ');
  int32_t h = 0;
  ASSERT_TRUE(lib.OpenMConnection("ODBC:DSN=QVNOWHERE", version, job, h));
  EXPECT_GE(h, SourceLibrary::OdbcHandleBase());
  // No database is reached before the login, which then fails with the
  // driver manager's text.
  std::string out(DllParam::kDsnMessageBuffer, ' ');
  EXPECT_FALSE(lib.ConnectDSN("DSN=QVNOWHERE", " ", " ", out));
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(code, num, text);
  EXPECT_NE(std::string(dllparam::CutAtNul(text)).find("SQLSTATE"), std::string::npos);
  EXPECT_TRUE(lib.CloseMConnection(h));
}

TEST(OdbcAddress, ADataSourceOfOdbcIniIsFoundFromTheUpperCasedAddress) {
  ASSERT_FALSE(test::SqliteOdbcDriver().empty());
  test::Scratch scratch("qv-odbc-ini");
  {
    std::FILE* ini = std::fopen((scratch / "odbc.ini").c_str(), "w");
    std::fprintf(ini, "[qvstore]\nDriver=%s\nDatabase=%s\n", test::SqliteOdbcDriver().c_str(),
                 (scratch / "store.db").c_str());
    std::fclose(ini);
  }
  ::setenv("ODBCINI", (scratch / "odbc.ini").c_str(), 1);
  SourceLibrary lib(false);
  std::string version(10, ' '), job(10, ' '), out(DllParam::kDsnMessageBuffer, ' ');
  int32_t h = 0;
  ASSERT_TRUE(lib.OpenMConnection("ODBC:DSN=QVSTORE", version, job, h));
  std::string connect(255, ' '), driver(100, ' '), user(20, ' '), password(20, ' '), database(20, ' ');
  ASSERT_TRUE(lib.GetDBParamKeys(connect, driver, user, password, database));
  const bool logged = lib.ConnectDSN(std::string(dllparam::CutAtNul(connect)), " ", " ", out) != 0;
  ::unsetenv("ODBCINI");
  ASSERT_TRUE(logged) << dllparam::CutAtNul(out);
  EXPECT_TRUE(lib.Saction("CREATE TABLE T_INI (A CHAR(1))"));
  EXPECT_TRUE(std::filesystem::exists(scratch / "store.db"));
}

TEST(OdbcAddress, TheDataSourcesOfOdbcIniAreListedWithTheirDriversPageByPage) {
  test::Scratch scratch("qv-odbc-dsn");
  std::filesystem::create_directory(scratch / "sys");
  {
    std::FILE* ini = std::fopen((scratch / "odbc.ini").c_str(), "w");
    std::fprintf(ini, "[QVSTORE]\nDriver=QV SQLite\nDatabase=/tmp/x.db\n\n[QVOTHER]\nDriver=QV PG\n");
    std::fclose(ini);
  }
  // The machine's own data sources stay out: the system files are looked for in an empty folder.
  ::setenv("ODBCINI", (scratch / "odbc.ini").c_str(), 1);
  ::setenv("ODBCSYSINI", (scratch / "sys").c_str(), 1);
  OdbcSource lib;
  std::string version(10, ' '), job(10, ' ');
  int32_t h = 0;
  ASSERT_TRUE(lib.OpenMConnection("ODBC:DSN=QVSTORE", version, job, h));
  const std::string store = "QVSTORE\tQV SQLite\n", other = "QVOTHER\tQV PG\n";
  const auto page = [&](std::size_t room, int32_t first) {
    std::string list(room, ' ');
    int32_t len = -1;
    const bool ok = lib.GetDSNsAndDrivers(list, len, first) != 0;
    return ok ? std::optional(list.substr(0, static_cast<std::size_t>(len))) : std::nullopt;
  };
  EXPECT_EQ(page(4096, DllParam::kFirstCall), store + other);
  // A page holds the whole entries that fit; the next call goes on from there.
  EXPECT_EQ(page(store.size() + 3, DllParam::kFirstCall), store);
  EXPECT_EQ(page(store.size() + 3, DllParam::kNextCall), other);
  EXPECT_EQ(page(store.size() + 3, DllParam::kNextCall), "");
  // A buffer shorter than the next entry is a fault of the caller.
  EXPECT_EQ(page(4, DllParam::kFirstCall), std::nullopt);
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(code, num, text);
  EXPECT_EQ(code, DllParam::kCodeBadCall);
  ::unsetenv("ODBCINI");
  ::unsetenv("ODBCSYSINI");
}

}  // namespace
}  // namespace qv::odbc
