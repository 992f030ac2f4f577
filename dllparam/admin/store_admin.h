// Management of embedded store files, for the qvsource tool and for tests:
// creating a store of a kind, putting and listing configuration records,
// settings sections, data sources, simulated AS/400 objects and user spaces,
// engine files, the SQL Server procedure answers, and a readable description
// of everything a store holds.
//
// Every function throws StoreError with a text for the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dllparam/embedded/record_locks.h"
#include "dllparam/embedded/sqlite_db.h"
#include "dllparam/embedded/store_schema.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::embedded {

struct CreateStoreOptions {
  SourceKind kind = SourceKind::AS400;
  bool force = false;                     // replace an existing file
  std::string version = "V1R0M0";         // version field of QV_VER
  std::string computerName = "QVSOURCE";  // GetComputerName, ServerName of the settings
  std::string instance;                   // SQL Server named instance ("" default); Oracle: "QVORA" when ""
  std::string dbUser = "QVADMIN";         // database login of the settings and the data source
  std::string dbPassword = "QVADMIN";
};

// Creates a store at path: every configuration table and QV_VER set for the
// kind (SRCTYPE "0" for AS/400, "1" for NT), the settings sections, the
// declared data source and, for SQL Server, the answers of the installation
// checks. Refuses an existing file unless options.force. The file appears
// complete or not at all.
void CreateStore(const std::string& path, const CreateStoreOptions& options);

struct DataSource {
  std::string name, driver, server, instance, database, user, password;
};

struct StoreObject {
  std::string library, name, type, attribute, text;
};

struct Setting {
  std::string section, key, value;
};

// Names of the SQL Server procedures whose answers the store holds.
inline constexpr const char* kHelpDistributor = "sp_helpdistributor";
inline constexpr const char* kHelpDistributionDb = "sp_helpdistributiondb";
inline constexpr const char* kHelpDistPublisher = "sp_helpdistpublisher";
inline constexpr const char* kHelpSubscriberInfo = "sp_helpsubscriberinfo";

class StoreAdmin {
 public:
  // Opens an existing store (checked as the embedded source checks it).
  explicit StoreAdmin(const std::string& path, int busyTimeoutMs = DefaultBusyTimeoutMs());

  SourceKind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  Db& db() { return db_; }

  // Adds or replaces a configuration record (by its key); NT stores keep the
  // fields that have an NT column.
  void PutRecord(const Record& record);
  // Returns the records of a table in key order (NT rows with blanks at the
  // place of the fields without a column).
  std::vector<Record> Records(const Layout& table);
  size_t Count(const Layout& table);

  std::vector<Setting> Settings();

  void DeclareDataSource(const DataSource& source);
  std::vector<DataSource> DataSources();

  void PutObject(const StoreObject& object);
  // Adds or replaces every object of objects in one write (a library of
  // thousands of files at once).
  void PutObjects(const std::vector<StoreObject>& objects);
  std::vector<StoreObject> Objects();

  // Writes the user space of an AS/400 source (library, name, contents).
  void PutUserSpace(const std::string& library, const std::string& name, const std::string& data);
  // Writes the activity block of an engine job: the user space of the job in
  // QV_USRDATA on an AS/400 store, the job's engine file on an NT store.
  void PutActivity(const std::string& job, const std::string& block);
  // Returns the user spaces (AS/400) or engine files (NT) with their sizes.
  std::vector<std::pair<std::string, size_t>> UserSpaces();

  // Sets the row a SQL Server check procedure answers: two columns of 128
  // characters; "*SERVER" in col1 stands for the server the login named.
  void SetProcedureAnswer(const std::string& procedure, const std::string& col1, const std::string& col2);
  // Makes the procedure answer no row.
  void RemoveProcedureAnswer(const std::string& procedure);
  // Makes the procedure fail with error.
  void FailProcedure(const std::string& procedure, const std::string& error);

  std::string ComputerName();
  std::vector<StoreLock> Locks();

 private:
  Db db_;
  SourceKind kind_;
  std::string path_;
};

// Returns a readable description of a store: kind, format, version, computer
// name, the number of rows of each table and every row (non-blank fields as
// NAME=value, passwords masked), settings, data sources, objects, user
// spaces, the engine's jobs and message queue, procedure answers and held
// locks. Text in Windows-1252.
std::string DescribeStore(const std::string& path);

// Writes a small demonstration topology through the record layouts: two
// environments (one secured, with users), targets of both types, models with
// tables and fields, distributions with their tables and field mappings, an
// end-of-distribution script, supervision records with their activity, the
// restart point and two messages of an engine run that ended, and
// the global master user QVADMIN with masterPassword.
void WriteDemoTopology(StoreAdmin& store, const std::string& masterPassword);

// Identifier of the global master user written by WriteDemoTopology.
inline constexpr const char* kDemoMasterUser = "QVADMIN";

}  // namespace qv::embedded
