// Tests the host's text edge: a secret read at a terminal without echo, the
// prompts asked of the user, and the JSON text of the controls.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "platform/controls.h"
#include "platform/prompt.h"

namespace qv::platform {
namespace {

// Returns what was written to a temporary file.
std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) out += static_cast<char>(c);
  return out;
}

// A pseudo-terminal: the test types on the master side, the code under test
// reads the terminal side.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    // O_NOCTTY: a test run in a session of its own must not take the terminal
    // as its controlling one, or closing it would hang the test up.
    const int fd = name != nullptr ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    if (fd >= 0) terminal_ = ::fdopen(fd, "r+");
  }
  ~PseudoTerminal() {
    if (terminal_ != nullptr) std::fclose(terminal_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return terminal_ != nullptr; }
  std::FILE* terminal() const { return terminal_; }

  bool Echoes() const {
    termios t{};
    return ::tcgetattr(::fileno(terminal_), &t) == 0 && (t.c_lflag & ECHO) != 0;
  }
  // Waits up to two seconds for the echo to go off.
  void WaitForNoEcho() const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Echoes() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void Type(const std::string& text) const {
    ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Returns what the terminal sent back to the keyboard side (its echo).
  std::string Echoed() const {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    char buf[256];
    while (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  std::FILE* terminal_ = nullptr;
};

TEST(ReadSecretTest, ReadsATypedLineWithoutEchoThenEchoesAgain) {
  PseudoTerminal tty;
  if (!tty.ok()) GTEST_SKIP() << "no pseudo-terminal on this machine";
  ASSERT_TRUE(tty.Echoes());
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);

  std::future<std::optional<std::string>> answer =
      std::async(std::launch::async, [&] { return ReadSecret("Password of QVADMIN: ", tty.terminal(), out); });
  tty.WaitForNoEcho();
  tty.Type("s3cr\xC3\xA9t\n");
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);

  EXPECT_EQ(answer.get(), "s3cr\xC3\xA9t");
  EXPECT_EQ(tty.Echoed().find("s3cr"), std::string::npos);
  EXPECT_TRUE(tty.Echoes());
  EXPECT_EQ(Contents(out), "Password of QVADMIN: \n");
  std::fclose(out);
}

TEST(ReadSecretTest, ReadsInputThatIsNoTerminalLineByLineUntilItsEnd) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  std::fputs("first\n\nlast", in);
  std::rewind(in);

  EXPECT_EQ(ReadSecret("P: ", in, out), "first");
  EXPECT_EQ(ReadSecret("P: ", in, out), "");
  EXPECT_EQ(ReadSecret("P: ", in, out), "last");
  EXPECT_EQ(ReadSecret("P: ", in, out), std::nullopt);
  EXPECT_EQ(Contents(out), "P: \nP: \nP: \nP: \n");
  std::fclose(in);
  std::fclose(out);
}

// Runs the terminal prompter on `input`; returns the answer and what it wrote.
std::pair<std::optional<std::string>, std::string> AskTerminal(const std::string& input,
                                                               bool requireTty,
                                                               const PromptRequest& request) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fputs(input.c_str(), in);
  std::rewind(in);
  TerminalPrompter prompter(in, out, requireTty);
  auto answer = prompter.Ask(request);
  const std::string written = Contents(out);
  std::fclose(in);
  std::fclose(out);
  return {answer, written};
}

TEST(PromptTest, TerminalAsksAndConvertsText) {
  PromptRequest request{"Len for the Varchar Field N\xC9", "Define", "40"};
  auto [answer, written] = AskTerminal("25\n", false, request);
  EXPECT_EQ(answer, "25");
  EXPECT_EQ(written, "Define\nLen for the Varchar Field N\xC3\x89 [40]: ");

  EXPECT_EQ(AskTerminal("\n", false, request).first, "40");              // proposed value
  EXPECT_EQ(AskTerminal("", false, request).first, std::nullopt);        // end of input
  EXPECT_EQ(AskTerminal("caf\xC3\xA9\r\n", false, request).first, "caf\xE9");
  EXPECT_EQ(AskTerminal("last", false, request).first, "last");          // no final newline
  // A prompter that needs a terminal asks nothing of a file.
  EXPECT_EQ(AskTerminal("25\n", true, request), std::make_pair(std::optional<std::string>(), std::string()));
}

// Windows-1252 text becomes UTF-8 as the tree view's JSON shows.
TEST(ControlsJsonTest, EscapesWhatAJsonStringCannotHold) {
  const TextBox box{std::string("a\"b\\c\n\t\x01\x1F", 9) + std::string(1, '\0')};
  EXPECT_EQ(box.ToJson(), R"({"text":"a\"b\\c\n\t\u0001\u001f\u0000"})");
}

}  // namespace
}  // namespace qv::platform
