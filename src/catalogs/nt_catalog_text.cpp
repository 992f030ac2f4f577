// Text of the NT catalogs (see nt_catalog_text.h).
#include "catalogs/nt_catalog_text.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "presentation/strutil.h"

namespace qv {
namespace {

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  const std::string upper = UCase(Trim(name));
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return upper == n; });
}

bool Holds(const std::string& text, std::string_view word) { return text.find(word) != std::string::npos; }

}  // namespace

bool IsSqlServerSystemDatabase(std::string_view name) {
  return OneOf(name, {"MASTER", "MODEL", "TEMPDB", "MSDB"});
}

bool IsOracleSystemSchema(std::string_view name) { return OneOf(name, {"SYS", "SYSTEM", "SH", "RMAN", "QS_WS"}); }

bool IsSqlServerSystemTable(std::string_view name) {
  const std::string upper = UCase(Trim(name));
  if (upper.rfind("INFORMATION_SCHEMA.", 0) == 0) return true;
  const std::size_t dot = upper.rfind('.');
  const std::string table = dot == std::string::npos ? upper : upper.substr(dot + 1);
  return OneOf(table, {"SYSARTICLEUPDATES", "SYSSEGMENTS", "SYSCONSTRAINTS", "SYSALTERNATES", "DTPROPERTIES"});
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  std::size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
  auto same = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  while (t < name.size()) {
    if (p < mask.size() && mask[p] == '%') {
      starP = p++;
      starT = t;
    } else if (p < mask.size() && (mask[p] == '_' || same(mask[p], name[t]))) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < mask.size() && mask[p] == '%') ++p;
  return p == mask.size();
}

std::vector<DataSourceLine> ReadDataSourceList(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<DataSourceLine> out;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t tab = line.find('\t');
    DataSourceLine d{Trim(line.substr(0, tab)), tab == std::string_view::npos ? "" : Trim(line.substr(tab + 1))};
    if (!d.name.empty()) out.push_back(std::move(d));
  }
  return out;
}

bool DriverServesKind(std::string_view driver, std::string_view kind) {
  const std::string d = UCase(driver), k = UCase(Trim(kind));
  if (k.empty()) return true;
  if (k == "SQL SERVER") return Holds(d, "SERVER") && Holds(d, "SQL");
  if (k == "ORACLE") return Holds(d, "ORACLE");
  if (k == "MS-ACCESS") return Holds(d, "ACCESS") && Holds(d, "MICROSOFT");
  return false;
}

}  // namespace qv
