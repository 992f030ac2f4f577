// Child processes of the tests.
#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace qv::test {
namespace {

std::vector<std::string> ChildEnvironment(const Environment& extra) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    if (entry.rfind("QV_", 0) == 0 && entry.rfind("QV_TEST_", 0) != 0) continue;
    const std::string name = entry.substr(0, entry.find('='));
    if (extra.count(name) != 0) continue;
    out.push_back(entry);
  }
  for (const auto& [name, value] : extra) out.push_back(name + "=" + value);
  return out;
}

// Starts program with stdin from inputFd; returns the pid and the read ends
// of its output pipes.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const Environment& env,
            int inputFd, int& outFd, int& errFd) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> envStrings = ChildEnvironment(env);
  std::vector<char*> argv, envp;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(inputFd, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {out[0], err[0], out[1], err[1]}) ::close(fd);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd = out[0];
  errFd = err[0];
  return pid;
}

// Reads what is available on the open descriptors; closes those at their end.
void ReadSome(int& outFd, int& errFd, ProcessResult& r, int timeoutMs) {
  pollfd fds[2];
  int n = 0;
  if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
  if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
  if (n == 0) return;
  if (::poll(fds, static_cast<nfds_t>(n), timeoutMs) <= 0) return;
  for (int i = 0; i < n; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buf[4096];
    const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
    int& fd = fds[i].fd == outFd ? outFd : errFd;
    std::string& sink = fds[i].fd == outFd ? r.out : r.err;
    if (got > 0) {
      sink.append(buf, static_cast<std::size_t>(got));
    } else {
      ::close(fd);
      fd = -1;
    }
  }
}

}  // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args, const Environment& env,
             const std::optional<std::string>& input) {
  int inputFd = -1;
  if (input) {
    // Standard input comes from a file so that no writer can block.
    char name[] = "/tmp/qvmgr-input-XXXXXX";
    inputFd = ::mkstemp(name);
    if (inputFd < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name);
    if (!input->empty() && ::write(inputFd, input->data(), input->size()) != static_cast<ssize_t>(input->size()))
      throw std::runtime_error("cannot write the input");
    ::lseek(inputFd, 0, SEEK_SET);
  } else {
    inputFd = ::open("/dev/null", O_RDONLY);
  }
  pid_ = Spawn(program, args, env, inputFd, outFd_, errFd_);
  ::close(inputFd);
}

Child::~Child() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

bool Child::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (result_.out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= end || (outFd_ < 0 && errFd_ < 0)) return false;
    ReadSome(outFd_, errFd_, result_, 100);
  }
  return true;
}

void Child::Signal(int signal) { if (pid_ > 0) ::kill(pid_, signal); }

ProcessResult Child::Wait(std::chrono::seconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while ((outFd_ >= 0 || errFd_ >= 0) && std::chrono::steady_clock::now() < end)
    ReadSome(outFd_, errFd_, result_, 200);
  if (outFd_ >= 0 || errFd_ >= 0) ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result_;
}

}  // namespace qv::test
