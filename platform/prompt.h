// A modal question to the person at the host: a prompt, a title and a
// proposed value; the answer is a text, or none when the question was
// dismissed or nobody can answer. Texts are Windows-1252. Also the
// terminal's no-echo read of a password.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace qv::platform {

struct PromptRequest {
  std::string prompt;
  std::string title;
  std::string proposed;
};

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Returns the answer, or nullopt for "no answer".
  virtual std::optional<std::string> Ask(const PromptRequest& request) = 0;
};

// Asks on the terminal when the input is one, writing the question to the
// error stream in UTF-8:
//   Define a maxi length for a LongVarchar
//   Len for the Varchar Field NOTE (MaxLen used = 40) [40]:
// An empty line takes the proposed value; end of input is no answer. When the
// input is not a terminal it answers nothing without asking.
class TerminalPrompter : public Prompter {
 public:
  explicit TerminalPrompter(std::FILE* in = stdin, std::FILE* out = stderr, bool requireTty = true)
      : in_(in), out_(out), requireTty_(requireTty) {}
  std::optional<std::string> Ask(const PromptRequest& request) override;

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool requireTty_;
};

// Answers with a function of the host's (tests, GUI-less hosts).
class CallbackPrompter : public Prompter {
 public:
  using Callback = std::function<std::optional<std::string>(const PromptRequest&)>;
  explicit CallbackPrompter(Callback callback) : callback_(std::move(callback)) {}
  std::optional<std::string> Ask(const PromptRequest& request) override {
    return callback_ ? callback_(request) : std::nullopt;
  }

 private:
  Callback callback_;
};

// Returns the prompter the library uses (a TerminalPrompter unless replaced).
Prompter& CurrentPrompter();
// Replaces it; nullptr goes back to the terminal. The caller keeps it alive.
void SetCurrentPrompter(Prompter* prompter);

// Asks the current prompter; never throws (a failing prompter is no answer).
std::optional<std::string> Prompt(const std::string& prompt, const std::string& title,
                                  const std::string& proposed);

// Reads a secret typed at a terminal: writes prompt to out, reads one line
// from in with the terminal's echo off (put back after), then ends the line
// on out. Returns the line as typed, without its line end, or nullopt at end
// of input. Prompt and answer are the terminal's text (UTF-8), unconverted.
// Input that is not a terminal is read as it comes.
std::optional<std::string> ReadSecret(const std::string& prompt, std::FILE* in = stdin,
                                      std::FILE* out = stderr);

// Makes a prompter current for the life of this object.
class ScopedPrompter {
 public:
  explicit ScopedPrompter(Prompter& prompter);
  ~ScopedPrompter();
  ScopedPrompter(const ScopedPrompter&) = delete;
  ScopedPrompter& operator=(const ScopedPrompter&) = delete;

 private:
  Prompter* previous_;
};

}  // namespace qv::platform
