// Asks the host's modal questions on the terminal or through a callback, and
// reads secrets typed at the terminal.
#include "platform/prompt.h"

#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "platform/encoding.h"

namespace qv::platform {
namespace {

TerminalPrompter gTerminal;
std::atomic<Prompter*> gCurrent{nullptr};

// Reads one line without its "\n"; nullopt when the input ends before it starts.
std::optional<std::string> ReadLine(std::FILE* in) {
  std::string line;
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!any) return std::nullopt;
  return line;
}

}  // namespace

std::optional<std::string> TerminalPrompter::Ask(const PromptRequest& request) {
  if (in_ == nullptr || out_ == nullptr) return std::nullopt;
  if (requireTty_ && ::isatty(::fileno(in_)) == 0) return std::nullopt;
  std::string question;
  if (!request.title.empty()) question += Cp1252ToUtf8(request.title) + "\n";
  question += Cp1252ToUtf8(request.prompt);
  question += " [" + Cp1252ToUtf8(request.proposed) + "]: ";
  std::fputs(question.c_str(), out_);
  std::fflush(out_);
  std::optional<std::string> answer = ReadLine(in_);
  if (!answer) return std::nullopt;  // end of input: dismissed
  std::string& line = *answer;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return request.proposed;
  return Utf8ToCp1252(line);
}

std::optional<std::string> ReadSecret(const std::string& prompt, std::FILE* in, std::FILE* out) {
  std::fputs(prompt.c_str(), out);
  std::fflush(out);
  const int fd = ::fileno(in);
  termios old{};
  const bool restore = ::tcgetattr(fd, &old) == 0;
  if (restore) {
    termios quiet = old;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    ::tcsetattr(fd, TCSANOW, &quiet);
  }
  std::optional<std::string> line = ReadLine(in);
  if (restore) ::tcsetattr(fd, TCSANOW, &old);
  // The Enter typed was not echoed: end the prompt's line.
  std::fputs("\n", out);
  std::fflush(out);
  return line;
}

Prompter& CurrentPrompter() {
  Prompter* p = gCurrent.load();
  return p != nullptr ? *p : gTerminal;
}

void SetCurrentPrompter(Prompter* prompter) { gCurrent.store(prompter); }

std::optional<std::string> Prompt(const std::string& prompt, const std::string& title,
                                  const std::string& proposed) {
  try {
    return CurrentPrompter().Ask(PromptRequest{prompt, title, proposed});
  } catch (...) {
    return std::nullopt;
  }
}

ScopedPrompter::ScopedPrompter(Prompter& prompter) : previous_(gCurrent.load()) {
  SetCurrentPrompter(&prompter);
}

ScopedPrompter::~ScopedPrompter() { SetCurrentPrompter(previous_); }

}  // namespace qv::platform
