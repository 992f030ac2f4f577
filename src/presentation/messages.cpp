// Looks messages up in the compiled string tables and fills their placeholders.
#include "presentation/messages.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "platform/language.h"
#include "resources/string_tables.h"

namespace qv {
namespace {

using resources::StringEntry;

std::span<const StringEntry> TableFor(int languageId) {
  return ResourceLanguage(languageId) == platform::kFrenchFrance ? resources::FrenchStrings()
                                                                 : resources::EnglishStrings();
}

const StringEntry* Find(int languageId, int id) {
  const auto table = TableFor(languageId);
  const auto it = std::lower_bound(table.begin(), table.end(), id,
                                   [](const StringEntry& e, int wanted) { return e.id < wanted; });
  return it != table.end() && it->id == id ? &*it : nullptr;
}

// Reads a decimal id written as text, blanks around it allowed; nothing for any other text.
std::optional<int> ParseId(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 0xFFFF) return std::nullopt;  // no table holds an id this large
  }
  return static_cast<int>(value);
}

}  // namespace

int ResourceLanguage(int languageId) {
  switch (languageId) {
    case platform::kFrenchFrance:
    case platform::kFrenchBelgium:
    case platform::kFrenchCanada:
    case platform::kFrenchSwitzerland:
    case platform::kFrenchLuxembourg:
      return platform::kFrenchFrance;
    default:
      return platform::kEnglishUS;
  }
}

std::string LoadResString(int languageId, int id) {
  const StringEntry* entry = Find(languageId, id);
  return entry != nullptr ? std::string(entry->text) : std::string();
}

std::string LoadResString(int languageId, int id, std::span<const std::string> params) {
  return FillPlaceholders(LoadResString(languageId, id), params);
}

std::string FillPlaceholders(std::string text, std::span<const std::string> params) {
  static const std::string kNone;
  for (std::size_t k = 1; k <= 7; ++k) {
    const std::string placeholder = "&" + std::to_string(k);
    const std::size_t pos = text.find(placeholder);
    if (pos == std::string::npos) continue;
    text.replace(pos, placeholder.size(), k <= params.size() ? params[k - 1] : kNone);
  }
  return text;
}

std::vector<int> ResourceIds(int languageId) {
  std::vector<int> ids;
  for (const StringEntry& e : TableFor(languageId)) ids.push_back(e.id);
  return ids;
}

std::string cLoadResString(const std::string& id, const std::string& p1, const std::string& p2,
                           const std::string& p3, const std::string& p4, const std::string& p5,
                           const std::string& p6, const std::string& p7) {
  const std::optional<int> number = ParseId(id);
  if (!number) return "";
  const std::array<std::string, 7> params = {p1, p2, p3, p4, p5, p6, p7};
  return LoadResString(platform::UserLanguage(), *number, params);
}

}  // namespace qv
