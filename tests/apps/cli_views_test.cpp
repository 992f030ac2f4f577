// qvmgr's tree, list, supervise and topology commands against embedded demo
// stores: a topology built, shown, changed and torn down with qvmgr alone,
// and the refusals that leave the store as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/qvmgr_fixture.h"
#include "store/record_layouts.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using embedded::SourceKind;

class QvmgrViewsTest : public QvmgrTest {
 protected:
  // Runs qvmgr on the environment QA of store and expects status.
  ProcessResult Run(int status, const EmbeddedStore& store, const std::vector<std::string>& args,
                    std::source_location where = std::source_location::current()) {
    return Exits(status, args, With(Connect(store), {{"QV_ENV", "QA"}}), {}, where);
  }
  // Returns the keys of the tree nodes of a "tree --json" run, depth first.
  static std::vector<std::string> Keys(const Json& nodes) {
    std::vector<std::string> out;
    for (const Json& n : nodes) {
      out.push_back(n["key"]);
      for (const std::string& k : Keys(n["children"])) out.push_back(k);
    }
    return out;
  }
};

TEST_F(QvmgrViewsTest, ATopologyIsBuiltShownChangedAndTornDown) {
  EmbeddedStore store(SourceKind::AS400, /*demo=*/true);
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"env", "add", "--description", "Quality 'A'"},
        {"target", "add", "--target", "T01", "--target-type", "nt", "--description", "First"},
        {"target", "add", "--target", "T02", "--description", "Second"},
        {"model", "add", "--model", "M01", "--description", "Customers"},
        {"dist", "add", "--target", "T01", "--model", "M01"},
        {"target", "change", "--target", "T02", "--description", "It's the second"},
        {"dist", "hold", "--target", "T01", "--model", "M01"}})
    Run(0, store, step);
  ProcessResult r = Run(0, store, {"tree", "--json"});
  EXPECT_EQ(Keys(Document(r)["tree"]["nodes"]),
            (std::vector<std::string>{"Env", "Cibles", "cT01", "T01/GC", "T01:M01", "T01:M01/FC", "T01:M01/Spv",
                                      "T01/Dist", "cT02", "T02/GC", "T02/Dist", "Groups", "gM01", "M01/File",
                                      "M01/Distg", "Messages"}));
  r = Run(0, store, {"list", "targets"});
  EXPECT_THAT(r.out, HasSubstr("It's the second"));
  EXPECT_THAT(r.out, HasSubstr("T01     First"));
  r = Run(0, store, {"list", "dists", "--target", "T01", "--json"});
  EXPECT_EQ(Document(r)["list"]["items"][0]["subItems"][12], "Yes");  // held

  // Refusals change nothing and say why.
  r = Run(1, store, {"target", "change", "--target", "T02", "--description", std::string(31, 'x')});
  EXPECT_THAT(r.err, HasSubstr("the description holds 31 characters; at most 30 fit"));
  r = Run(1, store, {"target", "add", "--target", "T0001"});
  EXPECT_THAT(r.err, HasSubstr("the target code T0001 is longer than 3 characters"));
  r = Run(1, store, {"target", "delete", "--target", "T09", "--yes"});
  EXPECT_THAT(r.err, HasSubstr("the target T09 does not exist"));
  // A short code names the same item for every command: padded with "_".
  Run(0, store, {"target", "add", "--target", "t5", "--description", "Short"});
  r = Run(0, store, {"target", "show", "--target", "T5", "--json"});
  EXPECT_THAT(r.out, HasSubstr("T5_"));
  Run(0, store, {"target", "delete", "--target", "T5", "--yes"});
  Run(0, store, {"dist", "release", "--target", "T01", "--model", "M01"});
  Run(0, store, {"start", "--target", "T01", "--model", "M01"});
  r = Run(1, store, {"model", "delete", "--model", "M01", "--yes"});
  EXPECT_THAT(r.err, HasSubstr("the distribution QA/T01/M01 is running; stop it first"));
  r = Run(0, store, {"supervise", "--json"});
  bool shown = false;
  const Json supervision = Document(r);
  for (const Json& row : supervision["distributions"])
    if (row["distribution"] == "[QA_M01] -> T01") shown = row["status"] != "Stop";
  EXPECT_TRUE(shown) << r.out;
  Run(0, store, {"stop", "--target", "T01", "--model", "M01"});
  r = Run(1, store, {"env", "delete"});
  EXPECT_THAT(r.err, HasSubstr("--yes"));
  Run(0, store, {"tree"});

  Run(0, store, {"env", "delete", "--yes"});
  r = Run(1, store, {"tree"});
  EXPECT_THAT(r.err, HasSubstr("the environment QA does not exist"));
}

}  // namespace
}  // namespace qv::test
