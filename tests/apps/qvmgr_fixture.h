// Runs qvmgr in the tests: a temporary folder and class registry per test,
// English messages, the environment of a connection to a demo store.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <source_location>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/embedded_store.h"

namespace qv::test {

using Json = nlohmann::ordered_json;

// The source type option of a store kind: "AS400", "ODBC", "SQL Server", "Oracle".
std::string TypeOf(embedded::SourceKind kind);

class QvmgrTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The environment every run gets: the test's registry, English messages.
  Environment Base() const;
  // Base() plus the connection to store as QVADMIN and the distribution
  // PR/AS1/CLI, all through the variables.
  Environment Connect(const EmbeddedStore& store, const std::string& password = "demo") const;
  static Environment With(Environment env, const Environment& more);

  ProcessResult Qvmgr(const std::vector<std::string>& args, const Environment& env,
                      const std::string& input = {}) const;
  ProcessResult Qvmgr(const std::vector<std::string>& args) const { return Qvmgr(args, Base()); }
  // Runs qvmgr and expects it to end with status; a failure shows the run
  // and the line of the caller.
  ProcessResult Exits(int status, const std::vector<std::string>& args, const Environment& env,
                      const std::string& input = {},
                      std::source_location where = std::source_location::current()) const;
  ProcessResult Exits(int status, const std::vector<std::string>& args,
                      std::source_location where = std::source_location::current()) const {
    return Exits(status, args, Base(), {}, where);
  }

  // Parses the JSON document of a run (fails the test when it is not one).
  static Json Document(const ProcessResult& r);
  // Runs "qvmgr automation" with input; returns the answers, one per line
  // (fails the test on a line that is not JSON), and the run when asked.
  std::vector<Json> SessionText(const std::string& input, const Environment& env,
                                ProcessResult* run = nullptr) const;

  const std::string& dir() const { return dir_; }
  const std::string& registry() const { return registry_; }

 private:
  std::string dir_;
  std::string registry_;
};

// Prints a run for failure messages.
std::string Describe(const ProcessResult& r);

}  // namespace qv::test
