// qvmgr on items that do not exist and on properties a source kind does not
// store: each command says what failed (exit status 1, "ok": false, the
// library's error) and the store keeps what it held.
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

TEST_F(QvmgrItemTest, EveryItemACommandNamesMustExistAndNothingChanges) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  struct Case {
    std::vector<std::string> args;
    const char* command;
    const char* what;  // the first line on stderr
  };
  const Case cases[] = {
      {{"stop", "--env", "ZZ"}, "stop", "stop: cannot stop the distribution ZZ/AS1/CLI"},
      {{"status", "--target", "ZZZ"}, "status", "status: cannot ask whether the job SPR_ZZZCLI runs"},
      {{"activity", "--target", "ZZZ"}, "activity", "activity: cannot read the activity of PR/ZZZ/CLI"},
      {{"start", "--model", "XYZ"}, "start", "start: cannot start the distribution PR/AS1/XYZ"},
      {{"dist", "show", "--model", "XYZ"}, "dist show", "dist show: "},
      {{"dist", "set", "--point", "5", "--model", "XYZ"}, "dist set", "dist set: "},
      {{"env", "show", "--env", "ZZ"}, "env show", "env show: cannot read the environment ZZ"},
      {{"target", "show", "--target", "ZZZ"}, "target show", "target show: cannot read the target ZZZ"},
      {{"model", "show", "--model", "XYZ"}, "model show", "model show: cannot read the model XYZ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcessResult r = Exits(1, c.args, Connect(store));
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr(std::string("qvmgr: ") + c.what));
    EXPECT_THAT(r.err, HasSubstr("ErrorText: "));

    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const Json doc = Document(Exits(1, args, Connect(store)));
    EXPECT_EQ(doc["command"], c.command);
    EXPECT_EQ(doc["ok"], false);
    EXPECT_EQ(doc["error"]["num"], 40);
    EXPECT_THAT(doc["error"]["text"].get<std::string>(), HasSubstr("not found"));
    EXPECT_FALSE(doc.contains("running"));
    EXPECT_FALSE(doc.contains("activity"));
  }
  EXPECT_EQ(HoldingsOf(store), before);
}

TEST_F(QvmgrItemTest, AReceiverLibraryIsRefusedForAnNtSourceAndNothingChanges) {
  EmbeddedStore store(SourceKind::ODBC, /*demo=*/true);
  const Holdings before = HoldingsOf(store);
  const ProcessResult r = Exits(1, {"dist", "set", "--point", "77", "--library", "QV_USRDATA", "--json"}, Connect(store));
  const Json doc = Document(r);
  EXPECT_EQ(doc["ok"], false);
  EXPECT_FALSE(doc.contains("changes"));
  EXPECT_THAT(doc["error"]["text"].get<std::string>(), HasSubstr("stores no receiver library"));
  EXPECT_THAT(r.err, HasSubstr("nothing was changed"));
  EXPECT_EQ(HoldingsOf(store), before);

  // The other changes go through without it.
  const ProcessResult without = Exits(0, {"dist", "set", "--point", "77", "--json"}, Connect(store));
  EXPECT_EQ(Document(without)["properties"]["DistributionReprisePoint"], 77);
}

}  // namespace
}  // namespace qv::test
