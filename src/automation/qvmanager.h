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
  //   StopQV 0x60030020 method           ReadActivity 0x60030022 method
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
  // Set the process-wide login that the control checks.
  void UserID(const std::string& value);
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

  // ---- Error state of the control (each read clears what it returns)
  std::string ErrorText();
  std::int32_t ErrorNum();

  // ---- Connection
  // Connects to SourceAdress; a control without a source type connects as
  // "AS400". Once connected, selects in the control the identifiers given
  // before (the control selects an environment only when it can read it).
  bool OpenConnection();
  bool CloseConnection();
  bool ConnectionOpen();

  // ---- Engine
  // Reads the distribution's activity block into Activity; on false the
  // properties keep their values. False without a call when Activity is
  // Nothing.
  bool ReadActivity();
  // Asks the distribution's engine job to stop.
  bool StopQV();

 private:
  std::shared_ptr<platform::Collection> cActivity_;
  std::shared_ptr<automation::Activity> activity_;
  std::string instanceName_, sourceAdress_;
  std::string environmentId_, targetId_, modelId_, fileId_;
};

}  // namespace qv::automation
