// A small client of the record-access library for the embedded source tests:
// calls with prepared buffers and reads answers and errors back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/source_library.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::test {

struct LibError {
  int32_t code = 0;
  int32_t num = 0;
  std::string text;
};

class Client {
 public:
  Client() : owned_(std::make_unique<SourceLibrary>()), lib_(owned_.get()) {}

  SourceLibrary& lib() { return *owned_; }

  LibError Error() {
    LibError e;
    std::string text(DllParam::kErrorTextBuffer, ' ');
    lib_->GetLastError(e.code, e.num, text);
    e.text = std::string(dllparam::CutAtNul(text));
    return e;
  }

  int32_t Open(const std::string& address) {
    std::string version(10, ' '), job(10, ' ');
    int32_t h = 0;
    if (!lib_->OpenMConnection(address, version, job, h)) return 0;
    return h;
  }

  int32_t Ropen(const std::string& file, bool update = true) {
    int32_t h = -1;
    if (!lib_->Ropen("QV_USRDATA/" + file, update ? DllParam::kModeUpdate : DllParam::kModeRead, h)) return -1;
    return h;
  }

  // Reads by key; nothing when not found (see Error()).
  std::optional<std::string> Readk(int32_t h, const std::string& key, bool lock, size_t recLen,
                                   int32_t keyLen = -1) {
    std::string rec(recLen, ' ');
    int32_t len = 0;
    if (keyLen < 0) keyLen = static_cast<int32_t>(key.size());
    if (!lib_->Rreadk(h, rec, len, lock ? DllParam::kKeyEqualLocked : DllParam::kKeyEqualNoLock, key, keyLen))
      return std::nullopt;
    return rec.substr(0, static_cast<size_t>(len));
  }

  std::optional<std::string> Readf(int32_t h, size_t recLen) {
    std::string rec(recLen, ' ');
    int32_t len = 0;
    if (!lib_->Rreadf(h, rec, len, DllParam::kReadNoLock)) return std::nullopt;
    return rec.substr(0, static_cast<size_t>(len));
  }

  std::optional<std::string> Readn(int32_t h, size_t recLen) {
    std::string rec(recLen, ' ');
    int32_t len = 0;
    if (!lib_->Rreadn(h, rec, len, DllParam::kReadNoLock)) return std::nullopt;
    return rec.substr(0, static_cast<size_t>(len));
  }

  // Reads every block of a key (whole file when key is nothing); returns the
  // records and the count of each block.
  std::vector<std::string> Blocks(int32_t h, const Layout& record, const std::optional<std::string>& key,
                                  std::vector<int32_t>* counts = nullptr, size_t bufferSize = 4096) {
    std::vector<std::string> out;
    for (int guard = 0; guard < 100000; ++guard) {
      std::string buf(bufferSize, ' ');
      int32_t count = -1;
      int32_t r = key ? lib_->Rreadblock(h, buf, count, record.length, *key, static_cast<int32_t>(key->size()))
                      : lib_->RreadblockD(h, buf, count, record.length);
      if (counts) counts->push_back(count);
      if (!r) break;
      for (int32_t i = 0; i < count; ++i) out.push_back(buf.substr(static_cast<size_t>(i) * record.length, record.length));
    }
    return out;
  }

  std::optional<std::string> Sread(const std::string& sql, size_t size = 32000) {
    int32_t h = -1;
    std::string buf(size, ' ');
    int32_t len = 0;
    int32_t r = lib_->Sread(h, buf, len, sql, DllParam::kFirstRow);
    LibError e = Error();
    if (h >= 0) lib_->Rclose(h);
    last_ = e;
    if (!r) return std::nullopt;
    return buf.substr(0, static_cast<size_t>(len));
  }

  // Reads every row of a query with Sreadblock; blocks receives each block's length.
  std::vector<std::string> SreadAll(const std::string& sql, size_t rowWidth, std::vector<int32_t>* blocks = nullptr,
                                    size_t bufferSize = 4096) {
    std::vector<std::string> rows;
    int32_t h = -1;
    std::string first = DllParam::kFirstBlock;
    for (int guard = 0; guard < 100000; ++guard) {
      std::string buf(bufferSize, ' ');
      int32_t len = 0, flag = 0;
      int32_t r = lib_->Sreadblock(h, buf, len, sql, first, flag);
      if (blocks) blocks->push_back(len);
      if (!r) break;
      for (size_t off = 0; off + rowWidth <= static_cast<size_t>(len); off += rowWidth) rows.push_back(buf.substr(off, rowWidth));
      first = DllParam::kNextBlock;
      if (!flag) break;
    }
    if (h >= 0) lib_->Rclose(h);
    return rows;
  }

  bool Saction(const std::string& sql) { return lib_->Saction(sql) != 0; }

  bool Login(const std::string& connect, const std::string& user = " ", const std::string& password = " ") {
    std::string out(DllParam::kListBuffer, ' ');
    return lib_->ConnectDSN(connect, user, password, out) != 0;
  }

  // Sends a remote command; returns the reply area when it succeeds.
  std::optional<std::string> Execute(const std::string& code, size_t length, const std::string& request) {
    std::string c = code;
    c.resize(10, ' ');
    std::string ctl = std::to_string(length);
    ctl = std::string(10 - ctl.size(), '0') + ctl;
    std::string data = request;
    data.resize(length, ' ');
    data.push_back('\0');
    if (!lib_->Execute(c, ctl, data)) return std::nullopt;
    return std::string(dllparam::CutAtNul(data));
  }

  LibError last_;

 private:
  std::unique_ptr<SourceLibrary> owned_;
  DllParam* lib_;
};

// Builds a record of a layout from field=value pairs.
inline Record Make(const Layout& layout, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  Record r(layout);
  for (const auto& [field, value] : values) r.Set(field, value);
  return r;
}

}  // namespace qv::test
