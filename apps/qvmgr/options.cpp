// Global options: kinds, languages, password, identifiers.
#include "qvmgr/options.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "platform/language.h"
#include "platform/prompt.h"
#include "presentation/strutil.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {

std::string CanonicalSourceType(const std::string& text) {
  const std::string t = UCase(TrimBlanksAndTabs(text));
  if (t == "AS400" || t == "AS/400") return "AS400";
  if (t == "ODBC") return "ODBC";
  if (t == "SQL SERVER" || t == "SQLSERVER" || t == "SQL_SERVER") return "SQL Server";
  if (t == "ORACLE") return "Oracle";
  throw UsageError("--type \"" + text + "\" is not a source kind: use AS400, ODBC, \"SQL Server\" or Oracle");
}

int LanguageOfOption(const std::string& text) {
  const std::string t = TrimBlanksAndTabs(text);
  if (!t.empty() && std::isdigit(static_cast<unsigned char>(t[0]))) {
    for (int id : {platform::kEnglishUS, platform::kFrenchFrance, platform::kFrenchBelgium,
                   platform::kFrenchCanada, platform::kFrenchSwitzerland, platform::kFrenchLuxembourg})
      if (t == std::to_string(id)) return id;
    throw UsageError("--lang " + text + " is not a language id: use 1033, 1036, 2060, 3084, 4108, 5132 "
                     "or a locale name such as fr_FR");
  }
  return platform::LanguageFromLocale(t.c_str());
}

const char* LocaleOfLanguage(int languageId) {
  switch (languageId) {
    case platform::kFrenchFrance: return "fr_FR";
    case platform::kFrenchBelgium: return "fr_BE";
    case platform::kFrenchCanada: return "fr_CA";
    case platform::kFrenchSwitzerland: return "fr_CH";
    case platform::kFrenchLuxembourg: return "fr_LU";
    default: return "en_US";
  }
}

void ApplyProcessOptions(const GlobalOptions& options, std::ostream& err) {
  if (!options.lang.empty()) {
    const int id = LanguageOfOption(options.lang);
    platform::SetUserLanguage(id);
    // The shared library keeps a language of its own and reads it from the locale.
    ::setenv("LC_ALL", LocaleOfLanguage(id), 1);
  }
  if (!options.trace.empty()) {
    ::setenv("QV_TRACE", options.trace.c_str(), 1);
    if (std::FILE* f = std::fopen(options.trace.c_str(), "a")) {
      std::fclose(f);
    } else {
      err << "qvmgr: cannot write the trace file " << options.trace << ": " << std::strerror(errno)
          << "; going on untraced\n";
    }
  }
}

std::string ReadPassword(const std::string& user) {
  std::string typed;
  if (const char* env = std::getenv("QV_PASSWORD"); env != nullptr) typed = env;
  else if (!user.empty() && ::isatty(STDIN_FILENO))
    typed = platform::ReadSecret("Password of " + user + ": ").value_or(std::string());
  try {
    return To1252Exact(typed, "QV_PASSWORD");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
}

std::string CheckedId(const std::string& value, const std::string& option, const std::string& variable,
                      std::size_t width, const std::string& command) {
  const std::string t = TrimBlanksAndTabs(value);
  if (t.empty())
    throw UsageError(command + " needs " + option + " ID (or the variable " + variable + ")");
  std::string id;
  try {
    id = To1252Exact(t, option);
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  if (id.size() > width)
    throw UsageError(option + " \"" + t + "\" is too long: identifiers of this kind have at most " +
                     std::to_string(width) + " characters");
  if (id.find_first_of(" \t") != std::string::npos)
    throw UsageError(option + " \"" + t + "\" holds a blank");
  return id;
}

}  // namespace qv::cli
