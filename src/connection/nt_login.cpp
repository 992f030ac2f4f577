// NT login: the database login of the source connection on ODBC, SQL Server
// and Oracle sources, and the checks that a SQL Server installation
// replicates through the server the settings name.
#include <algorithm>

#include "connection/qvsource.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {

bool QVSource::LoginNT() {
  std::string out(DllParam::kListBuffer, ' ');
  if (sourceType_ == "ODBC") {
    Step("OpenConnection:GetDBParamKeys");
    std::string connect(255, ' '), driver(100, ' '), user(20, ' '), pwd(20, ' '), db(20, ' ');
    if (Src().GetDBParamKeys(connect, driver, user, pwd, db) == 0) {
      QVParamError();
      return false;
    }
    const std::string c = BufferText(connect), u = BufferText(user), p = BufferText(pwd);
    Step("OpenConnection:ConnectDSN");
    if (Src().ConnectDSN(c + ";UID=" + u + ";PWD=" + p, u, p, out) == 0) {
      QVParamError();
      return false;
    }
    Step("OpenConnection");
    return true;
  }

  const bool oracle = sourceType_ == "Oracle";
  const bool defaultInstance = instanceName_.empty() || instanceName_ == "*";
  if (oracle && defaultInstance) {
    Step("OpenConnection: GetComputerName");
    Refuse(cLoadResString("1158"));
    return false;
  }
  std::string computer(DllParam::kComputerNameBuffer, ' ');
  Step("OpenConnection: GetComputerName");
  if (Src().GetComputerName(computer) == 0) {
    QVParamError();
    errorText_ = "Error in GetComputerName";
    return false;
  }
  Step("OpenConnection: GetConfigString");
  const std::string section = oracle ? DllParam::kSectionOracle : DllParam::kSectionSqlServer;
  auto setting = [&](const std::string& sec, const char* key, std::string& value) {
    std::string buf(DllParam::kSettingBuffer, ' ');
    int32_t len = 0;
    if (Src().GetConfigStringWithoutDefVal(sec, key, buf, len) == 0) {
      QVParamError();
      return false;
    }
    value = BufferText(buf);
    return true;
  };
  std::string server, driver;
  if (!setting(section, DllParam::kKeyServerName, server)) return false;
  if (!setting(section, DllParam::kKeyDriverName, driver)) return false;
  std::string paramSection = section;
  if (oracle || !defaultInstance) {
    paramSection = section + "\\" + instanceName_;
    if (!oracle) server += "\\" + instanceName_;
  }
  serverName_ = server;
  if (!setting(paramSection, DllParam::kKeyParamUid, sourceUID_)) return false;
  if (!setting(paramSection, DllParam::kKeyParamPwd, sourcePWD_)) return false;

  std::string connect = "DRIVER={" + driver + "};SERVER=" + server + ";UID=" + sourceUID_ +
                        ";PWD=" + sourcePWD_;
  if (oracle) connect += ";DBQ=" + instanceName_;
  Step("OpenConnection:ConnectDSN");
  if (Src().ConnectDSN(connect, sourceUID_, sourcePWD_, out) == 0) {
    QVParamError();
    return false;
  }
  if (oracle) {
    Step("OpenConnection:alter session");
    for (const char* sql : {"alter session set NLS_NUMERIC_CHARACTERS='. ';",
                            "alter session set current_schema=qv_usrdata"}) {
      lastStatement_ = sql;
      if (Src().Saction(sql) == 0) {
        QVParamError();
        return false;
      }
    }
  } else {
    if (!SqlServerChecks(server)) return false;
  }
  Step("OpenConnection");
  return true;
}

bool QVSource::SqlServerChecks(const std::string& server) {
  Step("OpenConnection:SQL Server");
  std::string row(DllParam::kListBuffer, ' ');
  int32_t len = 0;
  const std::string serverUpper = UCase(server);
  // Distributor and publisher: the first 128 characters name the server.
  auto sameServer = [&](const char* sql, const char* missing, const char* other) {
    row.assign(DllParam::kListBuffer, ' ');
    const int r = ReadFirstRow(sql, row, len);
    if (r < 0) return false;
    if (r == 0) {
      Refuse(cLoadResString(missing, server));
      return false;
    }
    const std::string name = RTrim(std::string_view(row).substr(0, std::min<int32_t>(len, 128)));
    if (UCase(name) != serverUpper) {
      Refuse(cLoadResString(other, name));
      return false;
    }
    return true;
  };
  if (!sameServer("exec master..sp_helpdistributor", "2136", "2137")) return false;

  row.assign(DllParam::kListBuffer, ' ');
  int r = ReadFirstRow("exec master..sp_helpdistributiondb", row, len);
  if (r < 0) return false;
  if (r == 0) {
    Refuse(cLoadResString("2138"));
    return false;
  }
  distributionDb_ = Trim(std::string_view(row).substr(0, std::min<int32_t>(len, 128)));

  if (!sameServer("exec master..sp_helpdistpublisher", "2139", "2140")) return false;

  row.assign(DllParam::kListBuffer, ' ');
  r = ReadFirstRow("exec master..sp_helpsubscriberinfo", row, len);
  if (r < 0) return false;
  const std::string subscriber =
      r == 0 || len <= 128 ? std::string()
                           : UCase(Trim(std::string_view(row).substr(128, std::min<int32_t>(len - 128, 128))));
  if (subscriber != "QUORVANE") {
    Refuse(cLoadResString("2141"));
    return false;
  }
  lastStatement_ = "use QV_USRDATA";
  if (Src().Saction("use QV_USRDATA") == 0) {
    QVParamError();
    Refuse(cLoadResString("2135"));
    return false;
  }
  return true;
}

}  // namespace qv
