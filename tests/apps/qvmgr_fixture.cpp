// The qvmgr test fixture.
#include "apps/qvmgr_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/scratch.h"


namespace qv::test {

std::string TypeOf(embedded::SourceKind kind) {
  switch (kind) {
    case embedded::SourceKind::ODBC: return "ODBC";
    case embedded::SourceKind::SQLServer: return "SQL Server";
    case embedded::SourceKind::Oracle: return "Oracle";
    default: return "AS400";
  }
}

void QvmgrTest::SetUp() {
  dir_ = MakeTempFolder("qvmgr-test");
  registry_ = dir_ + "/registry";
}

void QvmgrTest::TearDown() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

Environment QvmgrTest::Base() const { return {{"QV_REGISTRY", registry_}, {"LC_ALL", "C"}}; }

Environment QvmgrTest::Connect(const EmbeddedStore& store, const std::string& password) const {
  return With(Base(), {{"QV_SOURCE", "file:" + store.path()},
                       {"QV_TYPE", TypeOf(store.kind())},
                       {"QV_USER", "QVADMIN"},
                       {"QV_PASSWORD", password},
                       {"QV_ENV", "PR"},
                       {"QV_TARGET", "AS1"},
                       {"QV_MODEL", "CLI"},
                       {"QV_INSTANCE", store.kind() == embedded::SourceKind::Oracle ? "QVORA" : ""}});
}

Environment QvmgrTest::With(Environment env, const Environment& more) {
  for (const auto& [k, v] : more) env[k] = v;
  return env;
}

ProcessResult QvmgrTest::Qvmgr(const std::vector<std::string>& args, const Environment& env,
                               const std::string& input) const {
  return RunProcess(QVMGR_PATH, args, env, input);
}

ProcessResult QvmgrTest::Exits(int status, const std::vector<std::string>& args, const Environment& env,
                               const std::string& input, std::source_location where) const {
  const testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "run of qvmgr");
  ProcessResult r = Qvmgr(args, env, input);
  EXPECT_EQ(r.exitCode, status) << Describe(r);
  return r;
}

std::vector<Json> QvmgrTest::SessionText(const std::string& input, const Environment& env,
                                         ProcessResult* run) const {
  const ProcessResult r = Qvmgr({"automation"}, env, input);
  EXPECT_EQ(r.exitCode, 0) << Describe(r);
  if (run != nullptr) *run = r;
  std::vector<Json> answers;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    try {
      answers.push_back(Json::parse(line));
    } catch (const std::exception&) {
      ADD_FAILURE() << "not a JSON line: " << line;
    }
  }
  return answers;
}

Json QvmgrTest::Document(const ProcessResult& r) {
  try {
    return Json::parse(r.out);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "not one JSON document: " << e.what() << "\n" << Describe(r);
    return Json();
  }
}

std::string Describe(const ProcessResult& r) {
  return "exit " + std::to_string(r.exitCode) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

}  // namespace qv::test
