// Addresses, connection strings and logins of the ODBC source, and the
// routing of "odbc:" addresses by the library the control uses.
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

// Opens each address on an ODBC source and reads back the connection string
// and login it would use; the login of the environment fills what the
// address leaves out. An address that names no data source is refused.
TEST(OdbcAddress, NamesAConnectionStringOrADataSourceWithTheLoginOfTheAddressOrTheEnvironment) {
  test::Scratch scratch("qv-odbc-address");
  const std::string file = scratch / "Store.db";
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
  const struct {
    std::string address;
    std::optional<std::string> connect;
    const char *user, *password;
  } cases[] = {
      {"odbc:DSN=QVPROD", "DSN=QVPROD;", "BOB", "FROM-ENV"},
      {"  ODBC:  QVPROD ", "DSN=QVPROD;", "BOB", "FROM-ENV"},
      {"Odbc:DSN=QV;UID=A;PWD={x;y}", "DSN=QV;", "A", "x;y"},
      // An upper-cased address finds the file and driver it named.
      {"ODBC:DRIVER=/NONEXISTENT/DRV.SO;DATABASE=" + UCase(file), "DRIVER=/NONEXISTENT/DRV.SO;DATABASE=" + file + ";",
       "BOB", "FROM-ENV"},
      {"odbc:", std::nullopt, "", ""},
      {"HOST:1310", std::nullopt, "", ""},
  };
  ::setenv("QV_ODBC_UID", "BOB", 1);
  ::setenv("QV_ODBC_PWD", "FROM-ENV", 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    OdbcSource lib;
    std::string version(10, ' '), job(10, ' ');
    int32_t h = 0;
    const bool opened = lib.OpenMConnection(c.address, version, job, h) != 0;
    EXPECT_EQ(opened, c.connect.has_value());
    if (!opened) continue;
    std::string connect(255, ' '), driver(100, ' '), user(20, ' '), password(20, ' '), database(20, ' ');
    EXPECT_TRUE(lib.GetDBParamKeys(connect, driver, user, password, database));
    EXPECT_EQ(dllparam::CutAtNul(connect), *c.connect);
    EXPECT_EQ(dllparam::CutAtNul(user), c.user);
    EXPECT_EQ(dllparam::CutAtNul(password), c.password);
  }
  ::unsetenv("QV_ODBC_UID");
  ::unsetenv("QV_ODBC_PWD");
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

// Routes "odbc:" addresses of the control's library to the ODBC source, which
// finds data sources of odbc.ini (its own, not the machine's) and lists them.
TEST(OdbcAddress, DataSourcesOfOdbcIniAreFoundFromTheUpperCasedAddressAndListedPageByPage) {
  ASSERT_FALSE(test::SqliteOdbcDriver().empty());
  test::Scratch scratch("qv-odbc-ini");
  std::filesystem::create_directory(scratch / "sys");
  {
    std::FILE* ini = std::fopen((scratch / "odbc.ini").c_str(), "w");
    std::fprintf(ini, "[qvstore]\nDriver=%s\nDatabase=%s\n\n[QVOTHER]\nDriver=QV PG\n",
                 test::SqliteOdbcDriver().c_str(), (scratch / "store.db").c_str());
    std::fclose(ini);
  }
  ::setenv("ODBCINI", (scratch / "odbc.ini").c_str(), 1);
  ::setenv("ODBCSYSINI", (scratch / "sys").c_str(), 1);
  SourceLibrary lib(false);
  std::string version(10, ' '), job(10, ' '), out(DllParam::kDsnMessageBuffer, ' ');
  int32_t h = 0;
  ASSERT_TRUE(lib.OpenMConnection("ODBC:DSN=QVSTORE", version, job, h));
  EXPECT_GE(h, SourceLibrary::OdbcHandleBase());
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  // No database is reached before the login; a refused one gives the driver
  // manager's text, without the password.
  EXPECT_FALSE(lib.ConnectDSN("DSN=QVNOWHERE", "BOB", "TOPSECRET", out));
  const std::string refused(dllparam::CutAtNul(out));
  EXPECT_NE(refused.find("SQLSTATE"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("TOPSECRET"), std::string::npos) << refused;
  lib.GetLastError(code, num, text);
  EXPECT_EQ(dllparam::CutAtNul(text), refused);

  const std::string store = "qvstore\t" + test::SqliteOdbcDriver() + "\n", other = "QVOTHER\tQV PG\n";
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
  lib.GetLastError(code, num, text);
  EXPECT_EQ(code, DllParam::kCodeBadCall);

  std::string connect(255, ' '), driver(100, ' '), user(20, ' '), password(20, ' '), database(20, ' ');
  ASSERT_TRUE(lib.GetDBParamKeys(connect, driver, user, password, database));
  const bool logged = lib.ConnectDSN(std::string(dllparam::CutAtNul(connect)), " ", " ", out) != 0;
  ::unsetenv("ODBCINI");
  ::unsetenv("ODBCSYSINI");
  ASSERT_TRUE(logged) << dllparam::CutAtNul(out);
  EXPECT_TRUE(std::filesystem::exists(scratch / "store.db"));
  EXPECT_TRUE(lib.CloseMConnection(h));
}

}  // namespace
}  // namespace qv::odbc
