// qvmgr on items that do not exist and on properties a source kind does not
// store: each command says what failed (exit status 1, "ok": false, the
// library's message) and the store keeps what it held.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using embedded::SourceKind;

// What a store holds that a command could change.
struct Holdings {
  std::vector<Record> distributions;
  std::vector<std::pair<std::string, std::size_t>> userSpaces;
  bool operator==(const Holdings&) const = default;
};

Holdings HoldingsOf(const EmbeddedStore& store) {
  embedded::StoreAdmin admin = store.Admin();
  return {admin.Records(layout::QV_GC), admin.UserSpaces()};
}

class QvmgrItemTest : public QvmgrTest {};

TEST_F(QvmgrItemTest, CommandsOnADistributionThatDoesNotExistFailWithTheLibrarysMessage) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  const std::vector<std::vector<std::string>> commands = {
      {"stop"}, {"status"}, {"activity"}, {"start"}, {"dist", "show"}, {"dist", "set", "--point", "5"}};
  for (std::vector<std::string> args : commands) {
    const std::string command = args.size() > 1 && args[0] == "dist" ? "dist " + args[1] : args[0];
    SCOPED_TRACE(command);
    args.insert(args.end(), {"--model", "XYZ", "--json"});
    const ProcessResult r = Qvmgr(args, Connect(store));
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const Json doc = Document(r);
    EXPECT_EQ(doc["command"], command);
    EXPECT_EQ(doc["ok"], false);
    EXPECT_EQ(doc["error"]["num"], 40);
    EXPECT_EQ(doc["error"]["text"], "Distribution XYZ for target AS1 not found");
    EXPECT_FALSE(doc.contains("running"));
    EXPECT_FALSE(doc.contains("activity"));
  }
  EXPECT_EQ(HoldingsOf(store), before);
}

TEST_F(QvmgrItemTest, EveryItemACommandNamesMustExist) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  struct Case {
    std::vector<std::string> args;
    const char* what;  // the first line on stderr
    const char* text;  // the library's message
  };
  const Case cases[] = {
      {{"stop", "--env", "ZZ"}, "stop: cannot stop the distribution ZZ/AS1/CLI",
       "Distribution CLI for target AS1 not found"},
      {{"status", "--target", "ZZZ"}, "status: cannot ask whether the job SPR_ZZZCLI runs",
       "Distribution CLI for target ZZZ not found"},
      {{"activity", "--target", "ZZZ"}, "activity: cannot read the activity of PR/ZZZ/CLI",
       "Distribution CLI for target ZZZ not found"},
      {{"start", "--env", "ZZ"}, "start: cannot start the distribution ZZ/AS1/CLI",
       "Distribution CLI for target AS1 not found"},
      {{"env", "show", "--env", "ZZ"}, "env show: cannot read the environment ZZ", "Environment ZZ not found"},
      {{"target", "show", "--target", "ZZZ"}, "target show: cannot read the target ZZZ", "Target ZZZ not found"},
      {{"model", "show", "--model", "XYZ"}, "model show: cannot read the model XYZ", "Model XYZ not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult r = Qvmgr(c.args, Connect(store));
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr(std::string("qvmgr: ") + c.what + "\n"));
    EXPECT_THAT(r.err, HasSubstr(std::string("ErrorText: ") + c.text + "\n"));
  }
}

TEST_F(QvmgrItemTest, AReceiverLibraryIsRefusedForAnNtSourceAndNothingChanges) {
  EmbeddedStore store(SourceKind::ODBC, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  const ProcessResult r = Qvmgr({"dist", "set", "--point", "77", "--library", "QV_USRDATA", "--json"}, Connect(store));
  EXPECT_EQ(r.exitCode, 1) << Describe(r);
  const Json doc = Document(r);
  EXPECT_EQ(doc["ok"], false);
  EXPECT_FALSE(doc.contains("changes"));
  EXPECT_THAT(doc["error"]["text"].get<std::string>(), HasSubstr("stores no receiver library"));
  EXPECT_THAT(r.err, HasSubstr("nothing was changed"));
  EXPECT_EQ(HoldingsOf(store), before);

  // The other changes go through without it.
  const ProcessResult without = Qvmgr({"dist", "set", "--point", "77", "--json"}, Connect(store));
  ASSERT_EQ(without.exitCode, 0) << Describe(without);
  EXPECT_EQ(Document(without)["properties"]["DistributionReprisePoint"], 77);
}

}  // namespace
}  // namespace qv::test
