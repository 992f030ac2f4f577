// Runs a program as a child process for the tests: arguments, environment
// (the parent's without any QV_ variable, plus the given ones), text on
// standard input; collects the exit status and both output streams.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

using Environment = std::map<std::string, std::string>;

// A child that keeps running while the test reads its output.
class Child {
 public:
  // Starts program with standard input from `input`, or from /dev/null
  // without one.
  Child(const std::string& program, const std::vector<std::string>& args, const Environment& env,
        const std::optional<std::string>& input = std::nullopt);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads standard output until it holds `text` or the timeout passes;
  // returns whether it does.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  // Returns what the child wrote on standard output so far.
  const std::string& Output() const { return result_.out; }
  void Signal(int signal);
  // Waits for the end and returns the exit status and everything written.
  ProcessResult Wait(std::chrono::seconds timeout = std::chrono::seconds(30));

 private:
  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
  ProcessResult result_;
};

// Runs program with args and waits for it. Standard input is `input` (or
// empty); it is never a terminal. A program still running after timeout is
// killed (exitCode -1).
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const Environment& env, const std::string& input = {},
                                std::chrono::seconds timeout = std::chrono::seconds(60)) {
  return Child(program, args, env, input).Wait(timeout);
}

}  // namespace qv::test
