// Store access shared by the store sections, the users and the NT login:
// keyed and row reads, block reads, the "missing item" refusal, statements,
// record changes, lock release, units of work, files, member options and the
// running-distribution refusals.
#include <algorithm>

#include "connection/qvsource.h"
#include "operations/engine_text.h"
#include "presentation/messages.h"
#include "store/cascade_files.h"
#include "store/environment_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {

// ---- Reads -----------------------------------------------------------------------------

QVSource::Lookup QVSource::AfterMiss() {
  int32_t code = 0, num = 0;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  Src().GetLastError(code, num, text);
  if (code == DllParam::kCodeNotFound) return Lookup::Missing;
  QVParamError();
  return Lookup::Failed;
}

QVSource::Lookup QVSource::ReadKeyed(int32_t h, const std::string& key, bool lock,
                                     std::string& rec) {
  int32_t len = 0;
  const int32_t opts = lock ? DllParam::kKeyEqualLocked : DllParam::kKeyEqualNoLock;
  if (Src().Rreadk(h, rec, len, opts, key, static_cast<int32_t>(key.size())) == 0)
    return AfterMiss();
  if (len >= 0 && static_cast<std::size_t>(len) < rec.size())
    rec.resize(static_cast<std::size_t>(len));
  return Lookup::Found;
}

int32_t QVSource::FreshStatement() {
  if (shareStatement_) return sharedStatement_;
  if (cascadeDepth_ > 0 && !IsAS400())
    for (CascadeFile& kept : cascadeFiles_)
      if (kept.logical.empty() && !kept.busy) {
        kept.busy = true;
        return kept.handle;
      }
  return -1;
}

void QVSource::ReleaseStatement(int32_t h) {
  if (shareStatement_) {
    sharedStatement_ = h;
    return;
  }
  if (h < 0) return;
  if (cascadeDepth_ > 0 && !IsAS400()) {
    for (CascadeFile& kept : cascadeFiles_)
      if (kept.handle == h && kept.logical.empty()) {
        kept.busy = false;
        return;
      }
    cascadeFiles_.push_back(CascadeFile{"", h, false});
    return;
  }
  Src().Rclose(h);
}

int QVSource::ReadFirstRow(const std::string& sql, std::string& buf, int32_t& len) {
  int32_t h = FreshStatement();
  lastStatement_ = sql;
  len = 0;
  const int32_t found = Src().Sread(h, buf, len, sql, DllParam::kFirstRow);
  int result = 1;
  if (found == 0) {
    int32_t code = 0, num = 0;
    std::string text(DllParam::kErrorTextBuffer, ' ');
    lib_->GetLastError(code, num, text);
    if (code == DllParam::kCodeNotFound) {
      result = 0;
    } else {
      errorNum_ = num != 0 ? num : kLibraryErrorBase + code;
      errorText_ = BufferText(text);
      result = -1;
    }
  }
  ReleaseStatement(h);
  return result;
}

QVSource::Lookup QVSource::ReadRow(const std::string& sql, std::string& rec) {
  int32_t len = 0;
  const int r = ReadFirstRow(sql, rec, len);
  if (r < 0) return Lookup::Failed;
  if (r == 0) return Lookup::Missing;
  if (len >= 0 && static_cast<std::size_t>(len) < rec.size())
    rec.resize(static_cast<std::size_t>(len));
  return Lookup::Found;
}

QVSource::Lookup QVSource::ReadItem(int32_t h, const ItemKey& key, bool lock,
                                    const std::string& sql, std::string& rec) {
  if (!key.names) return Lookup::Missing;
  return IsAS400() ? ReadKeyed(h, key.image, lock, rec) : ReadRow(sql, rec);
}

bool QVSource::Present(Lookup found, const char* id, const std::string& p1, const std::string& p2,
                       const std::string& p3) {
  if (found == Lookup::Found) return true;
  if (found == Lookup::Missing) Refuse(cLoadResString(id, p1, p2, p3));
  return false;
}

bool QVSource::ReadBlocks(const std::string& step, const char* logical, const Layout& record,
                          const ItemKey& key, const std::string& sql,
                          std::vector<Record>& out) {
  if (!key.names) return true;
  bool ok = true;
  if (IsAS400()) {
    int32_t h = -1;
    if (!OpenFile(logical, DllParam::kModeRead, h, step + ":Open " + logical)) return false;
    Step(step);
    const int32_t perBlock = DllParam::kBlockBuffer / record.length;
    for (;;) {
      std::string block(DllParam::kBlockBuffer, ' ');
      int32_t count = 0;
      if (Src().Rreadblock(h, block, count, record.length, key.image,
                           static_cast<int32_t>(key.image.size())) == 0) {
        ok = AfterMiss() == Lookup::Missing;
        break;
      }
      for (Record& r :
           RecordsFromBlock(record, block, static_cast<std::size_t>(std::max(count, 0))))
        out.push_back(std::move(r));
      if (count < perBlock) break;  // a block that is not full is the last one
    }
    CloseFile(h);
    return ok;
  }
  return ReadRowBlocks(sql, NtRowLength(record),
                       [&](std::string_view row) { out.push_back(NtRowToRecord(record, row)); });
}

bool QVSource::ReadRowBlocks(const std::string& sql, std::size_t width,
                             const std::function<void(std::string_view)>& take, int32_t handle) {
  int32_t h = handle >= 0 ? handle : FreshStatement();
  lastStatement_ = sql;
  bool ok = true;
  const char* first = DllParam::kFirstBlock;
  for (;;) {
    std::string block(DllParam::kBlockBuffer, ' ');
    int32_t len = 0, flag = 0;
    if (Src().Sreadblock(h, block, len, sql, first, flag) == 0) {
      ok = AfterMiss() == Lookup::Missing;
      break;
    }
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(len, 0)), block.size());
    for (std::size_t at = 0; at + width <= n; at += width) take(std::string_view(block).substr(at, width));
    if (flag == 0) break;
    first = DllParam::kNextBlock;
  }
  if (handle < 0) ReleaseStatement(h);
  return ok;
}

// ---- Files -------------------------------------------------------------------------------

bool QVSource::OpenFile(const std::string& name, const char* mode, int32_t& h,
                        const std::string& step) {
  Step(step);
  int32_t handle = -1;
  if (Src().Ropen(prefix_ + name, mode, handle) == 0) {
    QVParamError();
    h = DllParam::kClosedHandle;
    return false;
  }
  h = handle;
  return true;
}

void QVSource::CloseFile(int32_t& h) {
  if (h >= 0 && conn_[kS].handle > 0) Src().Rclose(h);
  h = DllParam::kClosedHandle;
}

// ---- Changes -----------------------------------------------------------------------------

bool QVSource::RunStatement(const std::string& sql) {
  lastStatement_ = sql;
  if (Src().Saction(sql) == 0) {
    QVParamError();
    return false;
  }
  return true;
}

bool QVSource::ChangeRecord(Change change, int32_t h, const std::string& image,
                            const std::string& lockKey) {
  const int32_t len = static_cast<int32_t>(image.size());
  DllParam& lib = Src();
  const int32_t done = change == Change::Write    ? lib.Rwrite(h, image, len)
                       : change == Change::Update ? lib.Rupdate(h, image, len)
                                                  : lib.Rdelete(h);
  if (done != 0) return true;
  QVParamError();
  if (!lockKey.empty()) ReleaseLock(h, image.size(), lockKey);
  return false;
}

void QVSource::ReleaseLock(int32_t h, std::size_t recordLength, const std::string& key) {
  std::string rec(recordLength, ' ');
  int32_t len = 0;
  Src().Rreadk(h, rec, len, DllParam::kKeyEqualNoLock, key, static_cast<int32_t>(key.size()));
}

bool QVSource::InChangeUnit(const std::function<bool()>& body) {
  if (IsAS400()) {
    CascadeFiles files(*this);
    return body();
  }
  if (inChangeUnit_) return body();
  if (Src().SetConnectOption(DllParam::kOptionBeginChange) == 0) {
    QVParamError();
    return false;
  }
  inChangeUnit_ = true;
  bool ok = false;
  try {
    // The statements that the reads of the change open are kept for the
    // reads after them and closed before the unit ends.
    CascadeFiles statements(*this);
    ok = body();
  } catch (...) {
    inChangeUnit_ = false;
    Src().SetConnectOption(DllParam::kOptionEndChange);
    throw;
  }
  inChangeUnit_ = false;
  if (Src().SetConnectOption(DllParam::kOptionEndChange) == 0 && ok) {
    // The unit may not have reached the store: report it, keeping the
    // error of a failed body when there is one.
    QVParamError();
    ok = false;
  }
  return ok;
}

// ---- Model settings and running distributions ---------------------------------------------

bool QVSource::MemberOptions(const std::string& grp_id, std::string& AllMbrDist,
                             std::string& ManDistri) {
  const ItemKey model = KeyFromCodes(layout::ModelKey, {sel_.env, grp_id});
  // The manual flag is never empty once read (a one-character field): an
  // empty one means nothing is kept, or env, tgt or Grp was written since.
  if (!sel_.manualFlag.empty() && model.names && memberOptionsOf_ == model.image) {
    AllMbrDist = sel_.memberOption;
    ManDistri = sel_.manualFlag;
    return true;
  }
  const std::string step = errorStep_;
  std::string rec;
  const bool found = DetailGroup(rec, grp_id);
  Step(step);
  if (!found) return false;
  const Record gx(layout::QV_GX, rec);
  sel_.manualFlag = std::string(gx.Get("MANDISTRI"));
  sel_.memberOption = MemberOption(IsAS400(), gx.Get("ALLMBRDIST"));
  memberOptionsOf_ = model.image;
  AllMbrDist = sel_.memberOption;
  ManDistri = sel_.manualFlag;
  return true;
}

bool QVSource::DistributionIdle(const char* step, const std::string& env, const std::string& tgt,
                                const std::string& grp) {
  std::string status;
  if (!JobRun(JobName(env, tgt, grp), status)) return false;
  Step(step);
  if (status == "R") {
    Refuse(cLoadResString("2027"));
    return false;
  }
  return true;
}

bool QVSource::ModelDistributionsIdle(const char* step, const std::string& env,
                                      const std::string& grp_id) {
  std::vector<Record> keys;
  if (!ReadBlocks(step, "QV_GC_L0", layout::DistributionKey,
                  KeyFromCodes(layout::ModelKey, {env, grp_id}),
                  ListDistributionsOfModelSql(prefix_, env, grp_id), keys))
    return false;
  for (const Record& k : keys)
    if (!DistributionIdle(step, env, std::string(k.Get("TGTID")), GrpCode(grp_id))) return false;
  Step(step);
  return true;
}

}  // namespace qv
