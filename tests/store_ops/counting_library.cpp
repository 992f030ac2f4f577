// Counts and passes on the calls of the record-access library.
#include "counting_library.h"

#include <algorithm>

namespace qv::test {

int64_t CountingLibrary::Calls() const {
  int64_t n = 0;
  for (const auto& [op, count] : counts)
    if (op != "GetLastError") n += count;
  return n;
}

int32_t CountingLibrary::Pass(const char* op, const std::function<int32_t()>& call,
                              const std::string& sql) {
  ++counts[op];
  if (failWhen && failWhen(op, sql)) {
    injected_ = true;
    return 0;
  }
  injected_ = false;
  return call();
}

int32_t CountingLibrary::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  ++counts["GetLastError"];
  if (!injected_) return inner_->GetLastError(code, errNum, text);
  code = kCodeRefused;
  errNum = 0;
  dllparam::PutInBuffer(text, "injected failure");
  return 1;
}

int32_t CountingLibrary::Execute(std::string& code, std::string& ctl, std::string& data) {
  if (answerJobLists && code.rfind("SYSLSTJOB", 0) == 0) {
    return Pass("Execute", [&] {
      // Request: "04096" + "0" + job; reply: the count of the bytes that
      // follow in 5 digits, then the active job's name.
      const std::string job = data.substr(6, 10);
      const std::string reply = running.contains(job) ? "00015" + job : "00000";
      dllparam::PutInBuffer(data, reply);
      return 1;
    });
  }
  return Pass("Execute", [&] { return inner_->Execute(code, ctl, data); });
}

int32_t CountingLibrary::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  if (answerJobLists) {
    return Pass("SJobList", [&] {
      dllparam::PutInBuffer(answer, running.contains(job) ? "00001\t" + job + " 4711\t" : "00000");
      return 1;
    });
  }
  return Pass("SJobList", [&] { return inner_->SJobList(job, answer, kind); });
}

int32_t CountingLibrary::OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob, int32_t& hConn) {
  return Pass("OpenMConnection", [&] { return inner_->OpenMConnection(address, serverVersion, serverJob, hConn); });
}

int32_t CountingLibrary::SwitchMConnection(int32_t hConn) {
  return Pass("SwitchMConnection", [&] { return inner_->SwitchMConnection(hConn); });
}

int32_t CountingLibrary::CloseMConnection(int32_t hConn) {
  return Pass("CloseMConnection", [&] { return inner_->CloseMConnection(hConn); });
}

int32_t CountingLibrary::PingPong() {
  return Pass("PingPong", [&] { return inner_->PingPong(); });
}

int32_t CountingLibrary::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  return Pass("Ropen", [&] { return inner_->Ropen(file, mode, h); });
}

int32_t CountingLibrary::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key, int32_t keyLen) {
  return Pass("Rreadk", [&] { return inner_->Rreadk(h, rec, len, opts, key, keyLen); });
}

int32_t CountingLibrary::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  return Pass("Rreadf", [&] { return inner_->Rreadf(h, rec, len, opts); });
}

int32_t CountingLibrary::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  return Pass("Rreadn", [&] { return inner_->Rreadn(h, rec, len, opts); });
}

int32_t CountingLibrary::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen, const std::string& key, int32_t keyLen) {
  return Pass("Rreadblock", [&] { return inner_->Rreadblock(h, buf, count, recLen, key, keyLen); });
}

int32_t CountingLibrary::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  return Pass("RreadblockD", [&] { return inner_->RreadblockD(h, buf, count, recLen); });
}

int32_t CountingLibrary::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  return Pass("Rupdate", [&] { return inner_->Rupdate(h, rec, len); });
}

int32_t CountingLibrary::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  return Pass("Rwrite", [&] { return inner_->Rwrite(h, rec, len); });
}

int32_t CountingLibrary::Rdelete(int32_t h) {
  return Pass("Rdelete", [&] { return inner_->Rdelete(h); });
}

int32_t CountingLibrary::Rclose(int32_t h) {
  return Pass("Rclose", [&] { return inner_->Rclose(h); });
}

int32_t CountingLibrary::Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option) {
  return Pass("Sread", [&] { return inner_->Sread(hStmt, buf, len, sql, option); }, sql);
}

int32_t CountingLibrary::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  return Pass("Snext", [&] { return inner_->Snext(hStmt, rec, len, flag); });
}

int32_t CountingLibrary::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, const std::string& first, int32_t& flag) {
  return Pass("Sreadblock", [&] { return inner_->Sreadblock(hStmt, buf, len, sql, first, flag); }, sql);
}

int32_t CountingLibrary::Saction(const std::string& sql) {
  return Pass("Saction", [&] { return inner_->Saction(sql); }, sql);
}

int32_t CountingLibrary::SetConnectOption(int32_t option) {
  return Pass("SetConnectOption", [&] { return inner_->SetConnectOption(option); });
}

int32_t CountingLibrary::ConnectDSN(const std::string& connect, const std::string& user, const std::string& password, std::string& out) {
  return Pass("ConnectDSN", [&] { return inner_->ConnectDSN(connect, user, password, out); });
}

int32_t CountingLibrary::CloseConnectionDSN(const std::string& connect, std::string& out) {
  return Pass("CloseConnectionDSN", [&] { return inner_->CloseConnectionDSN(connect, out); });
}

int32_t CountingLibrary::GetConfigStringWithoutDefVal(const std::string& section, const std::string& key, std::string& value, int32_t& len) {
  return Pass("GetConfigStringWithoutDefVal", [&] { return inner_->GetConfigStringWithoutDefVal(section, key, value, len); });
}

int32_t CountingLibrary::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user, std::string& password, std::string& database) {
  return Pass("GetDBParamKeys", [&] { return inner_->GetDBParamKeys(connect, driver, user, password, database); });
}

int32_t CountingLibrary::GetComputerName(std::string& name) {
  return Pass("GetComputerName", [&] { return inner_->GetComputerName(name); });
}

int32_t CountingLibrary::StrReplication(const std::string& name, const std::string& kind, const std::string& instance) {
  return Pass("StrReplication", [&] { return inner_->StrReplication(name, kind, instance); });
}

int32_t CountingLibrary::Activity(std::string& name, const std::string& request) {
  return Pass("Activity", [&] { return inner_->Activity(name, request); });
}

int32_t CountingLibrary::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  return Pass("ReadQVMSGQ", [&] { return inner_->ReadQVMSGQ(queue, count, kind); });
}

int32_t CountingLibrary::WriteFile(const std::string& file, const std::string& text, int32_t replace) {
  return Pass("WriteFile", [&] { return inner_->WriteFile(file, text, replace); });
}

int32_t CountingLibrary::DeleteFile(const std::string& file) {
  return Pass("DeleteFile", [&] { return inner_->DeleteFile(file); });
}

int32_t CountingLibrary::WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) {
  return Pass("WriteFileWithFullPath", [&] { return inner_->WriteFileWithFullPath(path, text, replace); });
}

int32_t CountingLibrary::DeleteFileWithFullPath(const std::string& path) {
  return Pass("DeleteFileWithFullPath", [&] { return inner_->DeleteFileWithFullPath(path); });
}

int32_t CountingLibrary::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  return Pass("GetDSNsAndDrivers", [&] { return inner_->GetDSNsAndDrivers(list, len, first); });
}

int32_t CountingLibrary::FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) {
  return Pass("FillDB", [&] { return inner_->FillDB(filter, list, len, first); });
}

int32_t CountingLibrary::FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len, int32_t first) {
  return Pass("FillTBL", [&] { return inner_->FillTBL(database, mask, list, len, first); });
}

int32_t CountingLibrary::FillColumnsList(const std::string& database, const std::string& table, const std::string& mask, std::string& list, int32_t& len, int32_t first) {
  return Pass("FillColumnsList", [&] { return inner_->FillColumnsList(database, table, mask, list, len, first); });
}

int32_t CountingLibrary::FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list, int32_t& len, int32_t first) {
  return Pass("FillColumnsListSource", [&] { return inner_->FillColumnsListSource(kind, table, list, len, first); });
}

int32_t CountingLibrary::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  return Pass("GetPrimaryKey", [&] { return inner_->GetPrimaryKey(table, keys, len); });
}

int32_t CountingLibrary::TableNTExist(const std::string& table) {
  return Pass("TableNTExist", [&] { return inner_->TableNTExist(table); });
}

int32_t CountingLibrary::CreateTable(const std::string& table, const std::string& definition) {
  return Pass("CreateTable", [&] { return inner_->CreateTable(table, definition); });
}

int32_t CountingLibrary::BuildReceiverListNT(const std::string& journal, const std::string& library, std::string& list, int32_t& len, int32_t first) {
  return Pass("BuildReceiverListNT", [&] { return inner_->BuildReceiverListNT(journal, library, list, len, first); });
}

}  // namespace qv::test
