// A control opened over a store of one kind, for the behaviour tests of the
// store operations: what is stored, deleted, raised and in which order. The
// source is wrapped by a small engine stand-in that answers the job lists (a
// set of running jobs the test chooses), records the user spaces deleted,
// and can make a chosen call fail.
//
// The store is an embedded store of the kind, or, for the plain ODBC kinds
// of a real driver, a database that the ODBC source serves. There the
// embedded store takes what the test writes (Put, Admin().PutRecord) and
// gives it up to the database before the library's next call and before
// the fixture reads the store (Stored, CountsOf, Snapshot).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "connection/dllparam_wrapper.h"
#include "connection/qvsource.h"
#include "dllparam/admin/store_admin.h"
#include "support/embedded_store.h"
#include "support/event_log.h"
#include "support/kinds.h"

namespace qv::test {

// Forwards every call to the embedded source, except:
// - the job lists (Execute "SYSLSTJOB_", SJobList), answered from `running`;
// - the user-space deletes (Execute "DLTUSRSPC_", DeleteFile), recorded in
//   `userSpacesDeleted` and answered with success;
// - any call for which failWhen answers true, which is sent to the embedded
//   source in a form it refuses (an SQL text it cannot run, a closed handle),
//   so that the error state is the source's own.
class EngineStandIn : public DllParamWrapper {
 public:
  explicit EngineStandIn(std::unique_ptr<DllParam> inner);

  std::set<std::string> running;  // job names, "SE1_T1_M1_"
  std::vector<std::string> userSpacesDeleted;
  // Asked with the operation's name and its SQL text ("" otherwise) before
  // each Saction, Rdelete and Rupdate.
  std::function<bool(const std::string& op, const std::string& text)> failWhen;

  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;
  int32_t DeleteFile(const std::string& file) override;
  int32_t Saction(const std::string& sql) override;
  int32_t Rdelete(int32_t h) override;
  int32_t Rupdate(int32_t h, const std::string& rec, int32_t len) override;

  // Called before each call that reaches the source.
  std::function<void()> beforeCall;

 protected:
  int32_t Around(const DllParamCall& call, dllparam::RunRef run) override;
};

class StoreTest : public testing::TestWithParam<Kind> {
 protected:
  StoreTest();
  ~StoreTest() override;

  QVSource& control() { return *control_; }
  EngineStandIn& engine() { return *engine_; }
  // Opens the embedded store: the store itself, or what the test writes on
  // its way to the database of a plain ODBC kind (which has no lock rows).
  embedded::StoreAdmin Admin() { return store_.Admin(); }
  bool AS400() const { return GetParam().AS400(); }
  void Put(const std::string& image, const Layout& layout) { Admin().PutRecord(Record(layout, image)); }
  // Returns the stored records of a table whose ENVID is env (all when env is
  // empty), as their images.
  std::vector<std::string> Stored(const Layout& table, const std::string& env = "");
  // Returns the number of stored rows of EX, UID, CX, GX, FX, ZX, TX, GC,
  // FC, ZC and END of env (all environments when env is empty).
  std::vector<std::size_t> CountsOf(const std::string& env);
  // Returns every row of those tables, by table name.
  std::map<std::string, std::vector<std::string>> Snapshot();
  // Writes back the rows of a snapshot (rows added since are kept).
  void Restore(const std::map<std::string, std::vector<std::string>>& snapshot);
  void ClearError();

  EventLog events;

 private:
  class Database;
  void Open();
  std::vector<Record> Records(const Layout& table);

  EmbeddedStore store_;
  std::unique_ptr<Database> database_;  // plain ODBC kinds of a real driver
  EngineStandIn* engine_ = nullptr;     // owned by control_
  std::unique_ptr<QVSource> control_;
};

}  // namespace qv::test
