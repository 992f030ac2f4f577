// Reports a command line that cannot be run, for the programs whose commands
// are parsed with CLI11: says what was wrong and which help to ask for.
#pragma once

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace qv::apps {

// Returns "qvmgr dist set" for the deepest command the parser reached.
inline std::string CommandPath(CLI::App& app) {
  std::string path = app.get_name();
  CLI::App* at = &app;
  while (true) {
    std::vector<CLI::App*> parsed = at->get_subcommands();
    if (parsed.empty()) break;
    at = parsed.front();
    path += " " + at->get_name();
  }
  return path;
}

// Says what was wrong: a word nobody took is named as an unknown command or
// option rather than as a missing command.
inline std::string ParseMessage(CLI::App& app, const CLI::ParseError& e) {
  CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  const std::vector<std::string> left = app.remaining(true);
  if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && !left.empty()) {
    const std::string& word = left.front();
    if (word.rfind("-", 0) == 0) return "unknown option " + word;
    return "unknown command \"" + word + "\"" + (at == &app ? std::string() : " after " + at->get_name());
  }
  return e.what();
}

// Reads the value of an integer option as a decimal number whatever zeros
// lead it ("0000001234" is 1234, as the zero-padded numbers the programs print
// read back): an optional sign and digits only, so that "0x10", "0o17" and
// "0b11" are refused rather than read in another base. Put it first on every
// integer option: option->transform(DecimalInteger()).
inline CLI::Validator DecimalInteger() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        const std::size_t sign = !value.empty() && (value[0] == '-' || value[0] == '+') ? 1 : 0;
        if (value.size() == sign || value.find_first_not_of("0123456789", sign) != std::string::npos)
          return "takes a decimal number, not \"" + value + "\"";
        const std::size_t first = std::min(value.find_first_not_of('0', sign), value.size() - 1);
        value = value.substr(0, sign) + value.substr(first);
        return {};
      },
      "", "DECIMAL");
}

// Writes "PROGRAM: message" and where to find help on the error stream;
// returns the exit status of a command line that cannot be run, 2.
inline int UsageFailure(CLI::App& app, const std::string& message) {
  std::cerr << app.get_name() << ": " << message << "\nRun '" << CommandPath(app) << " --help' for help.\n";
  return 2;
}

}  // namespace qv::apps
