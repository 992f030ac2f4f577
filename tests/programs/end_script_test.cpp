// End scripts: the rich text of stored lines and the requests of a script.
#include <gtest/gtest.h>

#include "programs/end_script_text.h"
#include "programs/program_statements.h"

namespace qv {
namespace {

constexpr const char* kHead =
    "{\\rtf1\\ansi\\deff0\\deftab4{\\fonttbl{\\f0\\fmodern Courier New;}{\\f1\\froman\\fcharset2 Symbol;}}"
    "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red0\\green0\\blue255;"
    "\\red255\\green128\\blue0;}\\pard";

TEST(EndScriptText, ColoursEachKindOfLine) {
  const std::string p = "\\plain\\f0\\fs17\\cf";
  const struct {
    std::string line, rtf;
  } cases[] = {
      {"", p + "0  \\par"},
      {"  /* note  ", p + "2   /* note \\par"},
      {"REM a comment", p + "2 /*" + p + "2  a comment \\par"},
      {"rem", p + "2 /* \\par"},
      {"  CALL PGM(X) PARM", p + "3   CALL" + p + "0  PGM(X) PARM \\par"},
      {"ENDJOB", p + "3 ENDJOB \\par"},
  };
  for (const auto& c : cases) EXPECT_EQ(RenderEndScript({c.line}), kHead + c.rtf + "}") << c.line;
  EXPECT_EQ(RenderEndScript({}), std::string(kHead) + "}");
}

TEST(EndScriptText, CutsTheScriptIntoLinesAndChunksOfFifteen) {
  EXPECT_TRUE(EndScriptLines("").empty());
  EXPECT_EQ(EndScriptLines("A\r\nB"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(EndScriptLines("A\r\n\r\n"), (std::vector<std::string>{"A", ""}));

  auto counts = [](std::size_t n) {
    std::vector<std::string> out;
    for (const std::string& r : EndScriptRequests("E1", "T1", "M1", "T", std::vector<std::string>(n, "X")))
      out.push_back(r.substr(0, r[5] == '1' ? 8 : 16));
    return out;
  };
  EXPECT_EQ(counts(15), (std::vector<std::string>{"040960E1T1 M1 T0", "04096115", "040963"}));
  EXPECT_EQ(counts(0), (std::vector<std::string>{"040960E1T1 M1 T1", "040963"}));
  const std::vector<std::string> r = EndScriptRequests("E1", "T1", "M1", "T", {std::string(300, 'L'), "B"});
  EXPECT_EQ(r[1], "04096102" + std::string(255, 'L') + "B" + std::string(254, ' '));
}

TEST(EndScriptText, NtStatementsCutTheLineBeforeDoublingItsQuotes) {
  // Cut to 255 before the quotes are doubled: the cut quote stays whole.
  const std::string cut = InsertEndScriptLineSql("", "E1", "T1", "M1", 2, std::string(254, 'a') + "'x");
  EXPECT_EQ(cut.substr(cut.size() - 12), "aaaa''',' ')");
}

}  // namespace
}  // namespace qv
