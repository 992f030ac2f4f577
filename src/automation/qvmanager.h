// QVmanager: the public class through which scripts drive one source. It
// keeps the source address and the identifiers of one distribution, holds the
// Activity snapshot, and passes every operation on to the control of the
// thread's hidden form, late-bound, with its results and error state
// unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/activity.h"
#include "automation/distribution_copy.h"
#include "platform/collection.h"
#include "platform/dispatch.h"

namespace qv::automation {

class QVmanager : public platform::DispatchObject<QVmanager> {
 public:
  // Members, with their DISPIDs:
  //   cActivity 0x4003000E get/putref    Activity 0x4003000F get/putref
  //   InstanceName 0x68030012 get/put    UserID 0x68030011 put
  //   Password 0x68030010 put            SourceAdress 0x6803000F get/put
  //   SourceType 0x6803000E get/put      EnvironmentID 0x6803000D get/put
  //   TargetID 0x6803000C get/put        ModelID 0x6803000B get/put
  //   FileID 0x68030004 get/put          ErrorText 0x6003001A method
  //   ErrorNum 0x6003001B method         OpenConnection 0x6003001C method
  //   CloseConnection 0x6003001D method  ConnectionOpen 0x6003001E method
  //   ReadEnvironnement 0x60030015 method  ReadTarget 0x60030016 method
  //   ReadModel 0x60030017 method        ReadDistribution 0x60030018 method
  //   DistributionRepriseType 0x6803000A get/put
  //   DistributionRepriseLibrary 0x68030009 get/put
  //   DistributionRepriseReceiver 0x68030008 get/put
  //   DistributionReprisePoint 0x68030007 get/put
  //   DistributionScheduled 0x68030006 get/put
  //   DistributionHold 0x68030005 get/put
  //   UpdateDistribution 0x60030019 method  SourceJobRun 0x6003001F method
  //   StopQV 0x60030020 method           StartQV 0x60030021 method
  //   ReadActivity 0x60030022 method     ReadMSG 0x60030023 method
  //   SQL_DBname 0x68030003 get/put      ORACLE_SchemaName 0x68030002 get/put
  //   CreateQVJournal 0x60030024 method  DBIsQVJournalised 0x68030001 get
  //   RemoveQVJournal 0x60030025 method  StartTableJournalisation 0x60030026 method
  //   IsTableJournalised 0x60030027 method  StopTableJournalisation 0x60030028 method
  //   JournalFullPathName 0x68030000 get
  static const platform::DispatchTable& Table();

  // Creates the Activity snapshot with its 27 properties empty and the
  // cActivity collection that holds it.
  QVmanager();
  // Closes the connection when it is open.
  ~QVmanager();
  QVmanager(const QVmanager&) = delete;
  QVmanager& operator=(const QVmanager&) = delete;

  // ---- Public variables
  const std::shared_ptr<platform::Collection>& cActivity() const { return cActivity_; }
  void cActivity(std::shared_ptr<platform::Collection> value) { cActivity_ = std::move(value); }
  const std::shared_ptr<automation::Activity>& Activity() const { return activity_; }
  void Activity(std::shared_ptr<automation::Activity> value) { activity_ = std::move(value); }

  // ---- Source and login
  // Put keeps the value and passes it to the control; get reads the control's.
  std::string InstanceName();
  void InstanceName(const std::string& value);
  // Set the process-wide login that the control checks. A user identifier
  // longer than kMaxUserID characters once its trailing blanks are dropped
  // is refused rather than cut: false, the login unchanged (late-bound, an
  // error).
  static constexpr std::size_t kMaxUserID = 30;
  bool UserID(const std::string& value);
  void Password(const std::string& value);
  const std::string& SourceAdress() const { return sourceAdress_; }
  void SourceAdress(const std::string& value) { sourceAdress_ = value; }
  std::string SourceType();
  void SourceType(const std::string& value);

  // ---- Identifiers of the distribution
  // Put upper-cases, trims and pads with "_" (or cuts) to 2 (environment) or
  // 3 (target, model) characters, keeps the value and selects it in the
  // control; get reads the control's selection.
  std::string EnvironmentID();
  void EnvironmentID(const std::string& value);
  std::string TargetID();
  void TargetID(const std::string& value);
  std::string ModelID();
  void ModelID(const std::string& value);
  // Put keeps the value as given and selects it; get returns the kept value.
  const std::string& FileID() const { return fileId_; }
  void FileID(const std::string& value);

  // ---- Error state (each read clears what it returns): the manager's own
  // refusal of a member called without a connection or a selection, else
  // the control's.
  std::string ErrorText();
  std::int32_t ErrorNum();

  // ---- Connection
  // Connects to SourceAdress; a control without a source type connects as
  // "AS400". Once connected, selects in the control the identifiers given
  // before (the control selects an environment only when it can read it).
  bool OpenConnection();
  bool CloseConnection();
  bool ConnectionOpen();

  // ---- Configuration
  // The members from here on answer false without a call, with ErrorNum 40
  // and the reason in ErrorText, while the connection is not open or an
  // identifier they act on is not set: ReadEnvironnement needs EnvironmentID;
  // ReadTarget EnvironmentID and TargetID; ReadModel EnvironmentID and
  // ModelID; the distribution and engine members all three; ReadMSG only the
  // connection.
  // Each is true when the environment, target or model of the identifiers
  // given exists (the record read is not kept).
  bool ReadEnvironnement();
  bool ReadTarget();
  bool ReadModel();
  // Reads the distribution of ModelID to TargetID into the manager's copy;
  // on false the copy stays as it was.
  bool ReadDistribution();

  // ---- The manager's copy of the distribution
  // These read and change the copy only; UpdateDistribution writes it back.
  // Before any ReadDistribution the copy is a blank record.
  // REPRISETYP as stored; put upper-cases and keeps only "P", " " or "C"
  // (any other value is ignored).
  std::string DistributionRepriseType() const { return copy_.RepriseType(); }
  void DistributionRepriseType(const std::string& value) { copy_.RepriseType(value); }
  // REPRISELIB and REPRISERCV: get trimmed; put upper-cased, padded with
  // blanks or cut to 10. NT sources store no REPRISELIB: there a library
  // that is not blank is refused (false, the copy unchanged; late-bound, an
  // error).
  std::string DistributionRepriseLibrary() const { return copy_.RepriseLibrary(); }
  bool DistributionRepriseLibrary(const std::string& value);
  std::string DistributionRepriseReceiver() const { return copy_.RepriseReceiver(); }
  void DistributionRepriseReceiver(const std::string& value) { copy_.RepriseReceiver(value); }
  // REPRISEPNT: get reads the stored number (late-bound, a number beyond a
  // Long is an Overflow error); put stores 10 digits ("0000000042"). A
  // negative point is refused: false, the copy unchanged (late-bound, an
  // Overflow error).
  std::int64_t DistributionReprisePoint() const { return copy_.ReprisePoint(); }
  bool DistributionReprisePoint(std::int32_t value) { return copy_.ReprisePoint(value); }
  // SCHEDULED and HOLD: true when the field reads as a number other than 0;
  // put stores "1" or "0".
  bool DistributionScheduled() const { return copy_.Scheduled(); }
  void DistributionScheduled(bool value) { copy_.Scheduled(value); }
  bool DistributionHold() const { return copy_.Hold(); }
  void DistributionHold(bool value) { copy_.Hold(value); }
  // Writes the whole copy back to the distribution of ModelID to TargetID,
  // under the store's rules. Refused (false without a call; late-bound, an
  // error) while no ReadDistribution has succeeded: a blank copy would wipe
  // the distribution's settings.
  bool UpdateDistribution();
  // Returns the copy's record image (624 characters).
  const std::string& DistributionRecord() const { return copy_.image(); }

  // ---- Engine
  // Asks the source to start the distribution's engine, with InstanceName.
  bool StartQV();
  // True when the distribution's source job ("S" + env + "_" + target +
  // model) runs; false when it does not or the question failed (then the
  // error state tells).
  bool SourceJobRun();
  // Reads the distribution's activity block into Activity; on false the
  // properties keep their values. False without a call when Activity is
  // Nothing.
  bool ReadActivity();
  // Asks the distribution's engine job to stop.
  bool StopQV();

  // ---- Messages
  // Shows lv as a report (View 3), then reads the engine's message queue
  // into it: all jobs' messages, from the first when first is true, else
  // those not read yet; BuildColumn sets up the columns first. False without
  // a read when lv is Nothing, has no View or is not a list view the control
  // can fill (late-bound, these are errors).
  bool ReadMSG(bool first, bool BuildColumn, const platform::ObjectPtr& lv);

  // ---- Journalisation of NT sources
  // The database (SQL Server) or schema (Oracle) the journal members work on.
  const std::string& SQL_DBname() const { return sqlDbName_; }
  void SQL_DBname(const std::string& value) { sqlDbName_ = value; }
  const std::string& ORACLE_SchemaName() const { return oracleSchemaName_; }
  void ORACLE_SchemaName(const std::string& value) { oracleSchemaName_ = value; }
  // Each calls the control's operation of the source kind (SQL Server or
  // Oracle) with SQL_DBname or ORACLE_SchemaName. Without an open connection,
  // on other kinds of source, and for StartTableJournalisation on Oracle,
  // they answer false or "" without a call (ErrorNum 40 and the reason).
  // Creates the journal in the directory szJrnPath (trimmed, a backslash
  // appended in place).
  bool CreateQVJournal(std::string& szJrnPath);
  bool DBIsQVJournalised();
  bool RemoveQVJournal();
  bool StartTableJournalisation(const std::string& szTable);
  bool IsTableJournalised(const std::string& szTable);
  bool StopTableJournalisation(const std::string& szTable);
  std::string JournalFullPathName();
  // The pause after a journal is created or removed, that lets the server
  // take the change in: kDefaultJournalWait unless set (tests set 0).
  static constexpr std::int32_t kDefaultJournalWaitMs = 1000;
  static void SetJournalWait(std::int32_t milliseconds);
  static std::int32_t JournalWait();

 private:
  // The kind of NT source the journal members serve, or none: refuses then.
  enum class JournalKind { None, SqlServer, Oracle };
  JournalKind JournalSource(const char* member);
  const std::string& JournalDatabase(JournalKind kind) const {
    return kind == JournalKind::Oracle ? oracleSchemaName_ : sqlDbName_;
  }
  std::string sqlDbName_, oracleSchemaName_;

  std::shared_ptr<platform::Collection> cActivity_;
  std::shared_ptr<automation::Activity> activity_;
  std::string instanceName_, sourceAdress_;
  std::string environmentId_, targetId_, modelId_, fileId_;
  DistributionCopy copy_;
  bool distributionRead_ = false;

  // What a member needs before it calls the control.
  enum Needs : unsigned {
    kConnection = 0,
    kEnvironment = 1,
    kTarget = 2,
    kModel = 4,
    kDistribution = kEnvironment | kTarget | kModel
  };
  // Tells whether the member may call the control: the connection is open,
  // the identifiers of needs are set and selected (Selected). Otherwise keeps
  // the refusal for ErrorNum and ErrorText and returns false.
  bool Ready(unsigned needs);
  // Keeps a refusal of the manager (ErrorNum 40, text) in place of the
  // control's error state, which it clears. Returns false.
  bool Refuse(std::string text);
  // True unless the source is NT and its table has no column for the field
  // of QV_GC.
  bool Stores(std::string_view field);

  std::int32_t refusalNum_ = 0;
  std::string refusalText_;

  // Makes sure the control has selected the identifiers this manager keeps:
  // selects them again when it has not (before the connection was open, or
  // after a refusal), and tells whether it has now. A user refused in a
  // secured environment thus gets false, with the refusal in the error
  // state, from every member that acts on that environment.
  bool Selected();
  // Runs ReadMSG; an error result when the call could not be made.
  platform::DispResult RunReadMSG(bool first, bool BuildColumn, const platform::ObjectPtr& lv);
};

}  // namespace qv::automation
