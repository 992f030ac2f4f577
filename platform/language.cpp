// Picks the user's language from the locale, with a host override.
#include "platform/language.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace qv::platform {
namespace {

std::atomic<int> gOverride{0};

const char* FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return nullptr;
}

}  // namespace

int LanguageFromLocale(const char* locale) {
  if (locale == nullptr) return kEnglishUS;
  std::string_view l(locale);
  // Keep "ll_CC", drop the codeset and modifier.
  l = l.substr(0, l.find_first_of(".@"));
  if (l == "fr_FR" || l == "fr") return kFrenchFrance;
  if (l == "fr_BE") return kFrenchBelgium;
  if (l == "fr_CA") return kFrenchCanada;
  if (l == "fr_CH") return kFrenchSwitzerland;
  if (l == "fr_LU") return kFrenchLuxembourg;
  return kEnglishUS;
}

int UserLanguage() {
  int forced = gOverride.load();
  if (forced != 0) return forced;
  return LanguageFromLocale(FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"}));
}

void SetUserLanguage(int languageId) { gOverride.store(languageId); }

}  // namespace qv::platform
