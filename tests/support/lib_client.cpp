// Implements the record-access client of the tests.
#include "support/lib_client.h"

#include "dllparam/source_library.h"
#include "operations/engine_text.h"

namespace qv::test {
namespace {

// Reads one record into a buffer of recLen bytes; nothing when read fails.
template <class Read>
std::optional<std::string> ReadRecord(std::size_t recLen, Read read) {
  std::string rec(recLen, ' ');
  int32_t len = 0;
  if (!read(rec, len)) return std::nullopt;
  return rec.substr(0, static_cast<std::size_t>(len));
}

}  // namespace

LibError LastError(DllParam& lib) {
  LibError e;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(e.code, e.num, text);
  e.text = std::string(dllparam::CutAtNul(text));
  return e;
}

std::string ErrorOf(DllParam& lib) {
  const LibError e = LastError(lib);
  return std::string(DllParam::CodeName(e.code)) + " " + std::to_string(e.num) + " " + e.text;
}

LibClient::LibClient(const Kind& kind, std::unique_ptr<DllParam> lib)
    : owned_(lib ? std::move(lib) : std::make_unique<SourceLibrary>()), lib_(owned_.get()), kind_(kind) {}

LibClient::LibClient(DllParam& lib, const Kind& kind) : lib_(&lib), kind_(kind) {}

SourceLibrary& LibClient::Source() { return dynamic_cast<SourceLibrary&>(*lib_); }

int32_t LibClient::Open(const std::string& address) {
  std::string version(10, ' '), job(10, ' ');
  int32_t h = 0;
  if (!lib_->OpenMConnection(address, version, job, h)) return 0;
  conn_ = h;
  return h;
}

bool LibClient::Connect(const std::string& address) {
  return Open(address) != 0 && (AS400() || Login(kind_.login));
}

bool LibClient::Login(const std::string& connect, const std::string& user, const std::string& password) {
  std::string out(DllParam::kListBuffer, ' ');
  return lib_->ConnectDSN(connect, user, password, out) != 0;
}

int32_t LibClient::Ropen(const std::string& file, bool update) {
  int32_t h = -1;
  return lib_->Ropen("QV_USRDATA/" + file, update ? DllParam::kModeUpdate : DllParam::kModeRead, h) ? h : -1;
}

std::optional<std::string> LibClient::Readk(int32_t h, const std::string& key, bool lock, std::size_t recLen,
                                            int32_t keyLen) {
  if (keyLen < 0) keyLen = static_cast<int32_t>(key.size());
  return ReadRecord(recLen, [&](auto& rec, auto& len) {
    return lib_->Rreadk(h, rec, len, lock ? DllParam::kKeyEqualLocked : DllParam::kKeyEqualNoLock, key, keyLen);
  });
}

std::optional<std::string> LibClient::Readf(int32_t h, std::size_t recLen) {
  return ReadRecord(recLen, [&](auto& rec, auto& len) { return lib_->Rreadf(h, rec, len, DllParam::kReadNoLock); });
}

std::optional<std::string> LibClient::Readn(int32_t h, std::size_t recLen) {
  return ReadRecord(recLen, [&](auto& rec, auto& len) { return lib_->Rreadn(h, rec, len, DllParam::kReadNoLock); });
}

std::vector<std::string> LibClient::Blocks(int32_t h, const Layout& record, const std::optional<std::string>& key,
                                           std::vector<int32_t>* counts, std::size_t bufferSize) {
  std::vector<std::string> out;
  for (int guard = 0; guard < 100000; ++guard) {
    std::string buf(bufferSize, ' ');
    int32_t count = -1;
    const int32_t r = key ? lib_->Rreadblock(h, buf, count, record.length, *key, static_cast<int32_t>(key->size()))
                          : lib_->RreadblockD(h, buf, count, record.length);
    if (counts) counts->push_back(count);
    if (!r) break;
    for (int32_t i = 0; i < count; ++i)
      out.push_back(buf.substr(static_cast<std::size_t>(i) * record.length, record.length));
  }
  return out;
}

std::optional<std::string> LibClient::Sread(const std::string& sql, std::size_t size) {
  int32_t h = -1, len = 0;
  std::string buf(size, ' ');
  const int32_t r = lib_->Sread(h, buf, len, sql, DllParam::kFirstRow);
  last = Error();
  if (h >= 0) lib_->Rclose(h);
  if (!r) return std::nullopt;
  return buf.substr(0, static_cast<std::size_t>(len));
}

std::vector<std::string> LibClient::SreadAll(const std::string& sql, std::size_t rowWidth,
                                              std::vector<int32_t>* blocks) {
  std::vector<std::string> rows;
  int32_t h = -1;
  std::string first = DllParam::kFirstBlock;
  for (int guard = 0; guard < 100000; ++guard) {
    std::string buf(DllParam::kBlockBuffer, ' ');
    int32_t len = 0, flag = 0;
    const int32_t r = lib_->Sreadblock(h, buf, len, sql, first, flag);
    last = Error();
    if (blocks) blocks->push_back(len);
    if (!r) break;
    for (std::size_t off = 0; off + rowWidth <= static_cast<std::size_t>(len); off += rowWidth)
      rows.push_back(buf.substr(off, rowWidth));
    first = DllParam::kNextBlock;
    if (!flag) break;
  }
  if (h >= 0) lib_->Rclose(h);
  return rows;
}

std::optional<std::string> LibClient::Execute(const std::string& code, std::size_t length,
                                              const std::string& request) {
  std::string c = code;
  c.resize(10, '_');
  std::string ctl = std::to_string(length);
  ctl = std::string(10 - ctl.size(), '0') + ctl;
  std::string data = request;
  data.resize(length, ' ');
  data.push_back('\0');
  if (!lib_->Execute(c, ctl, data)) return std::nullopt;
  return std::string(dllparam::CutAtNul(data));
}

bool LibClient::Start(const std::string& env, const std::string& tgt, const std::string& grp) {
  if (!AS400()) return lib_->StrReplication(env + tgt + grp, kind_.engineCode, kind_.engineInstance) != 0;
  const std::string command = StartCommand(env, tgt, grp);
  const std::string length = std::to_string(command.size());
  return Execute("RCMD", command.size() + 10, std::string(5 - length.size(), '0') + length + command).has_value();
}

std::vector<std::string> LibClient::Jobs(const std::string& name, std::size_t pageArea,
                                         std::vector<std::size_t>* pages) {
  std::vector<std::string> out;
  if (!AS400()) {
    std::string answer(DllParam::kJobListBuffer, ' ');
    if (!lib_->SJobList(name, answer, kind_.engineCode)) {
      ADD_FAILURE() << "SJobList: " << Error().text;
      return out;
    }
    for (std::string& e : JobEntriesNt(answer)) out.push_back(e.substr(0, e.find(' ')));
    return out;
  }
  char flag = '0';
  for (int guard = 0; guard < 1000; ++guard) {
    auto reply = Execute("SYSLSTJOB", pageArea, "04096" + std::string(1, flag) + name);
    if (!reply) {
      ADD_FAILURE() << "SYSLSTJOB_: " << Error().text;
      break;
    }
    std::vector<std::string> page = JobEntriesAs400(*reply);
    if (page.empty()) break;
    if (pages) pages->push_back(page.size());
    out.insert(out.end(), page.begin(), page.end());
    flag = '1';
  }
  return out;
}

std::optional<Record> LibClient::Activity(const std::string& job, const std::string& option) {
  if (AS400()) {
    auto reply = Execute("SYSREDUSR", 305, "00300" + job + "QV_USRDATAG" + option + "00001024");
    if (!reply) return std::nullopt;
    return Record(layout::Activity, reply->size() > 35 ? reply->substr(35) : "");
  }
  std::string buffer = job;
  buffer.resize(DllParam::kActivityBuffer, ' ');
  if (!lib_->Activity(buffer, option + "00001024G")) return std::nullopt;
  return Record(layout::Activity, buffer.substr(DllParam::kActivityHeader, DllParam::kActivityBlock));
}

std::optional<std::string> LibClient::Messages(bool first) {
  if (AS400()) return Execute("SYSRTVMSG", 8162, std::string("08162") + "00000" + (first ? "0" : "1"));
  if (first) position_ = 0;
  std::string queue = DllParam::kMessageQueueFile;
  queue.resize(DllParam::kMessageBuffer, ' ');
  if (!lib_->ReadQVMSGQ(queue, position_, kind_.engineCode)) return std::nullopt;
  return std::string(dllparam::CutAtNul(queue));
}

bool LibClient::ClearQueue() {
  if (!AS400()) return lib_->WriteFile(DllParam::kMessageQueueFile, "", DllParam::kReplaceFile) != 0;
  // This command's 5-digit prefix counts the prefix itself.
  const std::string command = "CLRMSGQ MSGQ(QV_USRDATA/QVMSGQ)";
  return Execute("RCMD", command.size() + 10, "000" + std::to_string(command.size() + 5) + command).has_value();
}

bool LibClient::DeleteSpace(const std::string& name) {
  if (AS400()) return Execute("DLTUSRSPC", 20, "00025" + name).has_value();
  return lib_->DeleteFile(name) != 0;
}

}  // namespace qv::test
