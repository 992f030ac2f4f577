// qvmgr's command line: help on every command, and usage errors that say what
// was wrong, how to ask for help, exit with 2 and leave the store unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

class QvmgrUsageTest : public QvmgrTest {};

// Every command's help is built by one helper: one command stands for them.
TEST_F(QvmgrUsageTest, ACommandHasHelpWithAnExample) {
  const ProcessResult r = Exits(0, {"dist", "set", "--help"});
  EXPECT_THAT(r.out, HasSubstr("Usage: qvmgr dist set"));
  EXPECT_THAT(r.out, HasSubstr("Example:\n  qvmgr dist set "));
  const ProcessResult top = Qvmgr({"--help"});
  EXPECT_EQ(top.exitCode, 0);
  EXPECT_THAT(top.out, HasSubstr("QV_PASSWORD"));
  EXPECT_THAT(top.out, HasSubstr("Exit status:"));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // part of the first line on stderr
  const char* help;     // the help command suggested
};

class QvmgrUsageCaseTest : public QvmgrTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(QvmgrUsageCaseTest, SaysWhatIsWrongAndExitsWith2) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true);
  const std::vector<Record> before = store.Admin().Records(layout::QV_GC);

  const UsageCase& c = GetParam();
  const ProcessResult r = Exits(2, c.args, Connect(store));
  EXPECT_THAT(r.err, HasSubstr(c.message));
  EXPECT_THAT(r.err, HasSubstr(std::string("Run '") + c.help + " --help' for help."));
  EXPECT_THAT(r.out, IsEmpty());
  EXPECT_EQ(store.Admin().Records(layout::QV_GC), before);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, QvmgrUsageCaseTest,
    testing::Values(
        UsageCase{"NoCommand", {}, "A subcommand is required", "qvmgr"},
        UsageCase{"UnknownCommand", {"frobnicate"}, "unknown command \"frobnicate\"", "qvmgr"},
        UsageCase{"UnknownOption", {"--bogus"}, "unknown option --bogus", "qvmgr"},
        UsageCase{"UnknownOptionOfCommand", {"status", "--bogus"}, "--bogus", "qvmgr status"},
        UsageCase{"MissingSubcommand", {"dist"}, "A subcommand is required", "qvmgr dist"},
        UsageCase{"UnknownSubcommand", {"dist", "frob"}, "unknown command \"frob\" after dist", "qvmgr dist"},
        UsageCase{"PasswordIsNoOption", {"status", "--password=x"}, "the password is never given as an option",
                  "qvmgr"},
        UsageCase{"BadSourceType", {"--type", "DB2", "status"}, "--type \"DB2\" is not a source kind", "qvmgr status"},
        UsageCase{"BadLanguage", {"--lang", "1234", "status"}, "--lang 1234 is not a language id", "qvmgr status"},
        UsageCase{"TargetTooLong", {"--target", "AS12", "dist", "show"}, "--target \"AS12\" is too long",
                  "qvmgr dist show"},
        UsageCase{"BlankInsideId", {"--model", "C I", "dist", "show"}, "--model \"C I\" holds a blank",
                  "qvmgr dist show"},
        UsageCase{"NoChange", {"dist", "set"}, "dist set needs at least one change", "qvmgr dist set"},
        UsageCase{"BadRepriseType", {"dist", "set", "--reprise-type", "X"}, "--reprise-type takes P, C",
                  "qvmgr dist set"},
        UsageCase{"NegativePoint", {"dist", "set", "--point", "-5"}, "--point takes a journal entry number",
                  "qvmgr dist set"},
        UsageCase{"PointTooLarge", {"dist", "set", "--point", "99999999999"}, "--point takes a journal entry number",
                  "qvmgr dist set"},
        UsageCase{"ReceiverTooLong", {"dist", "set", "--receiver", "RCV00000001"}, "longer than 10 characters",
                  "qvmgr dist set"},
        UsageCase{"BadOnOff", {"dist", "set", "--hold", "maybe"}, "--hold takes on or off", "qvmgr dist set"},
        UsageCase{"BadInterval", {"messages", "--follow", "--interval", "0"}, "--interval takes a number of seconds",
                  "qvmgr messages"},
        UsageCase{"BadDemoKind", {"demo", "--kind", "DB2"}, "--kind takes AS400, ODBC, SQLSERVER or ORACLE",
                  "qvmgr demo"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST_F(QvmgrUsageTest, MissingIdentifiersAndSourceAreNamedWithTheirVariables) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true);
  Environment env = Connect(store);
  env.erase("QV_MODEL");
  ProcessResult r = Exits(2, {"dist", "show"}, env);
  EXPECT_THAT(r.err, HasSubstr("dist show needs --model ID (or the variable QV_MODEL)"));

  env.erase("QV_SOURCE");
  r = Exits(2, {"status"}, env);
  EXPECT_THAT(r.err, HasSubstr("status needs --source ADDRESS (or the variable QV_SOURCE)"));

  // An empty variable counts as missing.
  r = Exits(2, {"activity"}, With(Connect(store), {{"QV_ENV", ""}}));
  EXPECT_THAT(r.err, HasSubstr("activity needs --env ID"));
}

}  // namespace
}  // namespace qv::test
