// User language of the host: the language id that picks a string table.
#pragma once

namespace qv::platform {

// Language ids of the string tables.
inline constexpr int kEnglishUS = 1033;
inline constexpr int kFrenchFrance = 1036;
inline constexpr int kFrenchBelgium = 2060;
inline constexpr int kFrenchCanada = 3084;
inline constexpr int kFrenchSwitzerland = 4108;
inline constexpr int kFrenchLuxembourg = 5132;

// Maps a POSIX locale name ("fr_FR.UTF-8", "fr_BE@euro", "C") to a language id:
// fr_FR 1036, fr_BE 2060, fr_CA 3084, fr_CH 4108, fr_LU 5132, anything else 1033.
int LanguageFromLocale(const char* locale);

// Returns the user's language: the host's override when one is set, else the
// language of the locale (LC_ALL, then LC_MESSAGES, then LANG).
int UserLanguage();

// Sets the language for the whole process; 0 goes back to the locale.
void SetUserLanguage(int languageId);

}  // namespace qv::platform
