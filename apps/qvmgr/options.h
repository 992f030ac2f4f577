// Global options of qvmgr: the source, its kind, the login, the identifiers of
// one distribution, language, trace and output form. Each option also comes
// from an environment variable so that a scheduler sets it once; the password
// comes only from QV_PASSWORD or a prompt.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>

namespace qv::cli {

// Thrown for a command line that cannot be run as given: exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Values as typed (UTF-8); empty when not given.
struct GlobalOptions {
  std::string source;    // --source, QV_SOURCE
  std::string type;      // --type, QV_TYPE
  std::string instance;  // --instance, QV_INSTANCE
  std::string user;      // --user, QV_USER
  std::string env;       // --env, QV_ENV
  std::string target;    // --target, QV_TARGET
  std::string model;     // --model, QV_MODEL
  std::string lang;      // --lang, QV_LANG
  std::string trace;     // --trace, QV_TRACE
  bool json = false;     // --json
};

// Returns the source kind the library knows, "AS400", "ODBC", "SQL Server" or
// "Oracle", for a kind given in any case ("SQLSERVER" and "SQL_SERVER" too).
// Throws UsageError for anything else.
std::string CanonicalSourceType(const std::string& text);

// Returns the language id of --lang: one of the ids 1033, 1036, 2060, 3084,
// 4108, 5132, or a locale name such as fr_CA.UTF-8 (other locales are
// English). Throws UsageError for another number.
int LanguageOfOption(const std::string& text);

// Returns the locale name that stands for a language id ("fr_CA" for 3084).
const char* LocaleOfLanguage(int languageId);

// Applies --lang and --trace to the process: the language of the library
// linked in and of the shared library loaded later (through LC_ALL), and
// QV_TRACE for the connections made from now on. Warns on err when the trace
// file cannot be written (the library then runs untraced).
void ApplyProcessOptions(const GlobalOptions& options, std::ostream& err);

// Returns the password in Windows-1252, as the library takes it: QV_PASSWORD
// when set, else what the person types at a terminal (without echo) when a
// user is given, else "". Throws UsageError for a character Windows-1252
// lacks.
std::string ReadPassword(const std::string& user);

// Returns the identifier in Windows-1252 after checking it: present (else
// "COMMAND needs --OPTION ID (or VARIABLE)"), at most width characters once
// trimmed, no blanks inside. Throws UsageError.
std::string CheckedId(const std::string& value, const std::string& option, const std::string& variable,
                      std::size_t width, const std::string& command);

}  // namespace qv::cli
