// Environments and targets: reads of QV_EX.
#include "connection/qvsource.h"
#include "presentation/messages.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace qv {

bool QVSource::EnvironmentExist(const std::string& env_id) {
  return Guard("EnvironmentExist", [&] {
    std::string rec(layout::QV_EX.length, ' ');
    int32_t len = 0;
    if (IsAS400()) {
      const std::string key = BuildKey(layout::EnvKey, {env_id});
      return Src().Rreadk(files_.QV_EX, rec, len, DllParam::kKeyEqualNoLock, key, 2) != 0;
    }
    const int r = ReadFirstRow(SqlSelect(prefix_, SqlKey(layout::QV_EX, {env_id})), rec, len);
    return r > 0;
  });
}

bool QVSource::DetailEnvironment(std::string& sQV_EX, const std::string& env_id) {
  return Guard("DetailEnvironment", [&] {
    std::string rec(layout::QV_EX.length, ' ');
    int32_t len = 0;
    bool found = false;
    if (IsAS400()) {
      const std::string key = BuildKey(layout::EnvKey, {env_id});
      found = Src().Rreadk(files_.QV_EX_ReadOnly, rec, len, DllParam::kKeyEqualNoLock, key, 2) != 0;
    } else {
      const int r = ReadFirstRow(SqlSelect(prefix_, SqlKey(layout::QV_EX, {env_id})), rec, len);
      if (r < 0) return false;
      found = r > 0;
    }
    if (!found) {
      Refuse(cLoadResString("2022", env_id));
      return false;
    }
    sQV_EX = Record(layout::QV_EX, std::string_view(rec).substr(0, static_cast<std::size_t>(len))).image();
    return true;
  });
}

}  // namespace qv
