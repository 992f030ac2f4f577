#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/prompt.h"

namespace qv::platform {
namespace {

TEST(ClockTest, ManualClockMovesOnlyByHand) {
  Clock* before = &CurrentClock();
  {
    ManualClock manual(100);
    ScopedClock scope(manual);
    EXPECT_EQ(CurrentClock().Now(), 100);
    manual.Advance(60.5);
    EXPECT_EQ(CurrentClock().Now(), 160.5);
    manual.Set(0);
    EXPECT_EQ(CurrentClock().Now(), 0);
  }
  EXPECT_EQ(&CurrentClock(), before);
  SetCurrentClock(nullptr);
  EXPECT_NE(dynamic_cast<SteadyClock*>(&CurrentClock()), nullptr);
}

TEST(PromptTest, AFailingPrompterGivesNoAnswer) {
  CallbackPrompter prompter([](const PromptRequest&) -> std::optional<std::string> {
    throw std::runtime_error("no screen");
  });
  ScopedPrompter scope(prompter);
  EXPECT_EQ(Prompt("p", "t", "1"), std::nullopt);
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
  std::rewind(out);
  std::string written;
  for (int c; (c = std::fgetc(out)) != EOF;) written += static_cast<char>(c);
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

}  // namespace
}  // namespace qv::platform
