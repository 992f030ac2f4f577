// Implements the AS/400 files of the embedded source: opening physical and
// logical files, keyed, sequential and block reads, record locks, rewrites,
// writes and deletes.
#include <algorithm>

#include "dllparam/embedded/embedded_internal.h"

namespace qv::embedded {
namespace {

constexpr int32_t kErrFileNotFound = 4101;   // file not found
constexpr int32_t kErrRecordInUse = 5027;    // record locked by another job
constexpr int32_t kErrDuplicateKey = 5026;   // duplicate key

std::string Qualified(std::string_view table, std::string_view column) {
  std::string out(table);
  out += '.';
  out += column;
  return out;
}

// Returns the order columns of a path: its key, then the rest of its
// physical file's key.
std::vector<std::string_view> OrderColumns(const AccessPath& p) {
  std::vector<std::string_view> order(p.key.begin(), p.key.end());
  for (const Field& k : p.physical->Key())
    if (std::find(order.begin(), order.end(), k.column) == order.end()) order.push_back(k.column);
  return order;
}

// Builds: SELECT d.rowid, <record fields>, <order columns> FROM d [INNER JOIN j ON ...]
//         WHERE <key prefix> [AND (<order columns>, d.rowid) > (?, ...)]
//         ORDER BY <order columns>, d.rowid LIMIT ?
PathQuery BuildRead(Db& db, const AccessPath& p, int keyBytes, bool after) {
  const std::string_view d = p.physical->table;
  const std::vector<std::string_view> order = OrderColumns(p);
  std::string sql = "SELECT " + Qualified(d, "rowid");
  for (const Field& f : p.record->fields) sql += ", " + Qualified(f.table, f.column);
  for (std::string_view o : order) sql += ", " + Qualified(d, o);
  sql += " FROM ";
  sql += d;
  if (p.IsJoin()) {
    sql += " INNER JOIN ";
    sql += p.joined->table;
    for (size_t i = 0; i < p.joinOn.size(); ++i)
      sql += (i ? " AND " : " ON ") + Qualified(d, p.joinOn[i]) + " = " + Qualified(p.joined->table, p.joinOn[i]);
  }
  std::vector<std::string> conditions;
  int params = 0, pos = 0, pinned = 0;
  for (const Field* f : KeyFields(p)) {
    if (pos >= keyBytes) break;
    int n = std::min<int>(f->width, keyBytes - pos);
    std::string col = Qualified(d, f->column);
    if (n == f->width) {
      conditions.push_back(col + " = ?");
      ++pinned;  // a whole key field holds the leading order column of its rank
    } else {
      conditions.push_back("substr(" + col + " || '" + std::string(f->width, ' ') + "', 1, " + std::to_string(n) +
                           ") = ?");
    }
    ++params;
    pos += n;
  }
  if (after) {
    // Order columns that the key pins are equal in every row read: the
    // position compares the others, so the index serves the range.
    std::string left = "(", right;
    for (size_t i = static_cast<size_t>(pinned); i < order.size(); ++i) {
      left += Qualified(d, order[i]) + ", ";
      right += "?, ";
    }
    conditions.push_back(left + Qualified(d, "rowid") + ") > (" + right + "?)");
  }
  for (size_t i = 0; i < conditions.size(); ++i) sql += (i ? " AND " : " WHERE ") + conditions[i];
  sql += " ORDER BY ";
  for (std::string_view o : order) sql += Qualified(d, o) + ", ";
  sql += Qualified(d, "rowid") + " LIMIT ?";
  PathQuery q;
  q.stmt = db.prepare(sql);
  q.keyParams = params;
  q.pinned = pinned;
  q.orderColumns = static_cast<int>(order.size());
  return q;
}

PathQuery& ReadQuery(EmbeddedSource::Connection& c, const AccessPath& p, int keyBytes, bool after) {
  auto key = std::make_tuple(&p, keyBytes, after);
  auto it = c.reads.find(key);
  if (it == c.reads.end()) it = c.reads.emplace(key, BuildRead(c.db, p, keyBytes, after)).first;
  return it->second;
}

// Binds the key pieces (views into keyImage) and the position, then the limit.
void BindRead(PathQuery& q, const AccessPath& p, std::string_view keyImage, const PathPosition* after,
              int64_t limit) {
  int index = 1, pos = 0;
  for (const Field* f : KeyFields(p)) {
    if (index > q.keyParams) break;
    int n = std::min<int>(f->width, static_cast<int>(keyImage.size()) - pos);
    q.stmt.bindStatic(index++, keyImage.substr(static_cast<size_t>(pos), static_cast<size_t>(n)));
    pos += n;
  }
  if (after) {
    for (size_t i = static_cast<size_t>(q.pinned); i < after->values.size(); ++i)
      q.stmt.bindStatic(index++, after->values[i]);
    q.stmt.bind(index++, after->rowid);
  }
  q.stmt.bind(index, limit);
}

// Reads the current row of q: the record image into image, its position into pos.
void TakeRow(const PathQuery& q, const AccessPath& p, std::string& image, PathPosition& pos) {
  image.clear();
  int col = 1;
  for (const Field& f : p.record->fields) {
    std::string_view v = q.stmt.columnText(col++);
    if (v.size() >= f.width) {
      image.append(v.substr(0, f.width));
    } else {
      image.append(v);
      image.append(f.width - v.size(), ' ');
    }
  }
  pos.values.resize(static_cast<size_t>(q.orderColumns));
  for (int i = 0; i < q.orderColumns; ++i) pos.values[static_cast<size_t>(i)] = std::string(q.stmt.columnText(col++));
  pos.rowid = q.stmt.columnInt(0);
}

// Parses an open mode: true for update ("rr+..."), false for read-only ("rr...").
std::optional<bool> ParseMode(const std::string& mode) {
  std::string m = TrimText(mode.substr(0, mode.find(',')));
  if (m == "rr+" || m == "r+" || m == "ur") return true;
  if (m == "rr" || m == "r") return false;
  return std::nullopt;
}

}  // namespace

int32_t EmbeddedSource::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  return Guard([&] {
    Connection& c = Current();
    int32_t id = IsNtKind(c.kind) ? OpenStatementHandle(c, file) : OpenFile(c, file, mode);
    h = id;
    return 1;
  });
}

int32_t EmbeddedSource::OpenFile(Connection& c, const std::string& file, const std::string& mode) {
  std::optional<bool> update = ParseMode(mode);
  if (!update) Fail(kCodeBadCall, "unknown open mode \"" + TrimText(mode) + "\"");
  std::string name = UpperText(TrimText(file));
  if (name.empty()) Fail(kCodeNotSupported, "SQL statements are served by NT sources only");
  std::string library = "*LIBL";
  if (auto slash = name.find('/'); slash != std::string::npos) {
    library = name.substr(0, slash);
    name = name.substr(slash + 1);
  }
  std::string member;
  if (auto paren = name.find('('); paren != std::string::npos) {
    member = name.substr(paren);
    name = name.substr(0, paren);
  }
  if (library == kWorkMemberLibrary && name == kWorkMemberFile) return OpenWorkMember(c, member, *update);
  const AccessPath* path = nullptr;
  if (library == kLibraryName || library == "*LIBL") path = FindAccessPath(name);
  if (!path)
    Fail(kCodeRefused, "file " + (library == "*LIBL" ? name : library + "/" + name) + " not found", kErrFileNotFound);
  if (path->IsJoin() && *update)
    Fail(kCodeRefused, "join logical file " + name + " can be opened for reading only");
  if (path->name == "QV_SPV") RefreshSupervision(c.db, c.kind);
  auto hd = std::make_unique<Handle>();
  hd->id = NewHandleId();
  hd->conn = &c;
  hd->path = path;
  hd->update = *update;
  hd->image.reserve(path->record->length);
  int32_t id = hd->id;
  c.handles.push_back(id);
  handles_[id] = std::move(hd);
  return id;
}

void EmbeddedSource::ReleaseLock(Handle& hd, bool changed) {
  if (!hd.lockedRowid) return;
  Connection& c = *hd.conn;
  c.locks->Release(hd.path->physical->table, *hd.lockedRowid, {c.serial, hd.id}, changed);
  hd.lockedRowid.reset();
}

// Times a locked read reads again, each because a holder released a change
// to the table meanwhile, before it reports the record in use.
constexpr int kLockedRereads = 100;

// Reads one record of hd's path into rec: the first whose key starts with
// key (when given), or the first after hd's position (when after is set).
bool EmbeddedSource::ReadOne(Handle& hd, std::string& rec, int32_t& len, const std::string* key, int32_t keyLen,
                             bool after, bool lock) {
  Connection& c = *hd.conn;
  const AccessPath& p = *hd.path;
  std::string keyImage;
  if (key) {
    if (keyLen < 0 || keyLen > p.keyLength)
      Fail(kCodeBadCall, "key of " + std::to_string(keyLen) + " bytes for file " + std::string(p.name) +
                             " whose key has " + std::to_string(p.keyLength));
    keyImage = Fit(std::string_view(*key).substr(0, std::min<size_t>(key->size(), static_cast<size_t>(keyLen))),
                   static_cast<size_t>(keyLen));
  }
  const PathPosition* from = after && hd.position ? &*hd.position : nullptr;
  lock = lock && hd.update && !p.IsJoin();

  PathPosition pos;
  bool found = false;
  const std::string_view table = p.physical->table;
  const LockHolder holder{c.serial, hd.id};
  ReleaseLock(hd);
  // Reads the record; a locked read then locks the row it found. When a
  // holder released a change to the table between the read and the lock,
  // the image read may be older than the record: it reads again.
  for (int attempt = 0;; ++attempt) {
    const uint64_t stamp = lock ? c.locks->Stamp(table) : 0;
    PathQuery& q = ReadQuery(c, p, static_cast<int>(keyImage.size()), from != nullptr);
    BindRead(q, p, keyImage, from, 1);
    found = q.stmt.step();
    if (found) TakeRow(q, p, hd.image, pos);
    q.stmt.reset();
    if (!found || !lock) break;
    const bool held = c.locks->Acquire(table, pos.rowid, holder) == RecordLocks::Outcome::HeldByOther;
    if (!held && c.locks->Stamp(table) == stamp) break;
    if (!held) c.locks->Release(table, pos.rowid, holder);
    if (held || attempt == kLockedRereads)
      Fail(kCodeBusy, "record of file " + std::string(p.name) + " in use by another job", kErrRecordInUse);
  }
  if (!found) {
    len = 0;
    return false;
  }
  if (lock) {
    hd.lockedRowid = pos.rowid;
    hd.lockedImage = hd.image;
    c.lockedAny = true;
  }
  hd.position = std::move(pos);
  len = dllparam::PutInBuffer(rec, hd.image);
  return true;
}

int32_t EmbeddedSource::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                               int32_t keyLen) {
  len = 0;
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    if (opts != kKeyEqualLocked && opts != kKeyEqualNoLock)
      Fail(kCodeBadCall, "unknown read option " + std::to_string(opts));
    if (!ReadOne(hd, rec, len, &key, keyLen, false, opts == kKeyEqualLocked)) {
      last_ = {kCodeNotFound, 0, "record not found in file " + std::string(hd.path->name)};
      return 0;
    }
    return 1;
  });
}

int32_t EmbeddedSource::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  len = 0;
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    if (opts != kReadNoLock) Fail(kCodeBadCall, "unknown read option " + std::to_string(opts));
    hd.position.reset();
    if (!ReadOne(hd, rec, len, nullptr, 0, false, false)) {
      last_ = {kCodeNotFound, 0, "file " + std::string(hd.path->name) + " is empty"};
      return 0;
    }
    return 1;
  });
}

int32_t EmbeddedSource::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  len = 0;
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    if (opts != kReadNoLock) Fail(kCodeBadCall, "unknown read option " + std::to_string(opts));
    if (!ReadOne(hd, rec, len, nullptr, 0, true, false)) {
      last_ = {kCodeNotFound, 0, "end of file " + std::string(hd.path->name)};
      return 0;
    }
    return 1;
  });
}

int32_t EmbeddedSource::ReadBlock(Handle& hd, std::string& buf, int32_t& count, int32_t recLen, std::string key) {
  Connection& c = *hd.conn;
  const AccessPath& p = *hd.path;
  if (recLen <= 0) Fail(kCodeBadCall, "record length " + std::to_string(recLen));
  const size_t perBlock = buf.size() / static_cast<size_t>(recLen);
  if (perBlock == 0)
    Fail(kCodeBadCall, "buffer of " + std::to_string(buf.size()) + " bytes shorter than one record of " +
                           std::to_string(recLen));
  if (!hd.blockActive || hd.blockKey != key) {
    hd.blockActive = true;
    hd.blockKey = std::move(key);
    hd.blockPosition.reset();
  }
  if (hd.lockedRowid) ReleaseLock(hd);
  const PathPosition* from = hd.blockPosition ? &*hd.blockPosition : nullptr;
  PathQuery& q = ReadQuery(c, p, static_cast<int>(hd.blockKey.size()), from != nullptr);
  BindRead(q, p, hd.blockKey, from, static_cast<int64_t>(perBlock));
  size_t n = 0;
  PathPosition pos;
  try {
    while (n < perBlock && q.stmt.step()) {
      TakeRow(q, p, hd.image, pos);
      size_t offset = n * static_cast<size_t>(recLen);
      size_t take = std::min(hd.image.size(), static_cast<size_t>(recLen));
      buf.replace(offset, take, hd.image, 0, take);
      if (take < static_cast<size_t>(recLen)) buf.replace(offset + take, recLen - take, recLen - take, ' ');
      ++n;
    }
  } catch (...) {
    q.stmt.reset();
    throw;
  }
  q.stmt.reset();
  count = static_cast<int32_t>(n);
  if (n == 0) {
    hd.blockActive = false;  // the next call starts again from the first record
    hd.blockPosition.reset();
    last_ = {kCodeNotFound, 0, "no more records in file " + std::string(p.name)};
    return 0;
  }
  hd.blockPosition = std::move(pos);
  return 1;
}

int32_t EmbeddedSource::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                                   const std::string& key, int32_t keyLen) {
  count = 0;
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    if (keyLen < 0 || keyLen > hd.path->keyLength)
      Fail(kCodeBadCall, "key of " + std::to_string(keyLen) + " bytes for file " + std::string(hd.path->name) +
                             " whose key has " + std::to_string(hd.path->keyLength));
    std::string image =
        Fit(std::string_view(key).substr(0, std::min<size_t>(key.size(), static_cast<size_t>(keyLen))),
            static_cast<size_t>(keyLen));
    return ReadBlock(hd, buf, count, recLen, std::move(image));
  });
}

int32_t EmbeddedSource::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  count = 0;
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    return ReadBlock(hd, buf, count, recLen, std::string());
  });
}

namespace {

// Returns the image to write: the first len bytes of rec, blank-padded to the record length.
std::string WriteImage(const EmbeddedSource::Handle& hd, const std::string& rec, int32_t len) {
  const size_t length = hd.path->record->length;
  if (len < 0 || static_cast<size_t>(len) > rec.size())
    throw std::invalid_argument("length " + std::to_string(len) + " beyond the record buffer of " +
                                std::to_string(rec.size()) + " bytes");
  if (static_cast<size_t>(len) > length)
    throw std::invalid_argument("record of " + std::to_string(len) + " bytes for file " +
                                std::string(hd.path->name) + " whose records have " + std::to_string(length));
  return Fit(std::string_view(rec).substr(0, static_cast<size_t>(len)), length);
}

// Binds the fields of image, in record order, from parameter 1.
int BindFields(Stmt& st, const Layout& record, const std::string& image) {
  int index = 1;
  for (const Field& f : record.fields) st.bindStatic(index++, std::string_view(image).substr(f.offset, f.width));
  return index;
}

Stmt& WriteStatement(EmbeddedSource::Connection& c, const AccessPath& p, int op) {
  auto key = std::make_pair(&p, op);
  auto it = c.writes.find(key);
  if (it != c.writes.end()) return it->second;
  std::string sql;
  if (op == 1) sql = AccessDeleteSql(p);
  else if (p.ReturnsWholeRecord()) sql = AccessInsertSql(p);
  else {
    // A projection adds a row with the projected columns; the others are blank.
    std::string cols, marks;
    for (const Field& f : p.record->fields) {
      cols += (cols.empty() ? "" : ", ") + std::string(f.column);
      marks += marks.empty() ? "?" : ", ?";
    }
    sql = "INSERT INTO " + std::string(p.physical->table) + " (" + cols + ") VALUES (" + marks + ")";
  }
  return c.writes.emplace(key, c.db.prepare(sql)).first->second;
}

// Updates a connection keeps prepared, at most, before it prepares them again.
constexpr std::size_t kKeptUpdates = 64;

// Returns the update of the fields of image that differ from the record as it
// was locked (every field when none does, so that a vanished row is still
// found out), bound but for its rowid, which is its last parameter:
//   UPDATE QV_FX SET HOLD = ? WHERE rowid = ?
Stmt& ChangedFieldsUpdate(EmbeddedSource::Connection& c, const EmbeddedSource::Handle& hd, const std::string& image,
                          int& rowidIndex) {
  const AccessPath& p = *hd.path;
  const auto& fields = p.record->fields;
  std::string changed(fields.size(), '0');
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (hd.lockedImage.size() != image.size() ||
        image.compare(fields[i].offset, fields[i].width, hd.lockedImage, fields[i].offset, fields[i].width) != 0)
      changed[i] = '1';
  if (changed.find('1') == std::string::npos) changed.assign(fields.size(), '1');
  auto key = std::make_pair(&p, changed);
  auto it = c.updates.find(key);
  if (it == c.updates.end()) {
    if (c.updates.size() >= kKeptUpdates) c.updates.clear();
    it = c.updates.emplace(key, c.db.prepare(AccessUpdateSql(p, changed))).first;
  }
  Stmt& st = it->second;
  rowidIndex = 1;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (changed[i] == '1') st.bindStatic(rowidIndex++, std::string_view(image).substr(fields[i].offset, fields[i].width));
  return st;
}

}  // namespace

int32_t EmbeddedSource::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    const AccessPath& p = *hd.path;
    if (!hd.update) Fail(kCodeRefused, "file " + std::string(p.name) + " is open for reading only");
    if (!hd.lockedRowid) Fail(kCodeBadCall, "no locked record to update on file " + std::string(p.name));
    std::string image;
    try {
      image = WriteImage(hd, rec, len);
    } catch (const std::invalid_argument& e) {
      Fail(kCodeBadCall, e.what());
    }
    Connection& c = *hd.conn;
    int index = 0;
    Stmt& st = ChangedFieldsUpdate(c, hd, image, index);
    try {
      WithWriteTransaction(c.db, [&] {
        st.bind(index, *hd.lockedRowid);
        st.step();
        st.reset();
        if (sqlite3_changes(c.db.get()) == 0) Fail(kCodeRefused, "the locked record no longer exists");
      });
    } catch (const StoreError& e) {
      st.reset();
      if (e.constraint()) Fail(kCodeRefused, "duplicate key in file " + std::string(p.name), kErrDuplicateKey);
      throw;
    }
    ReleaseLock(hd, true);
    return 1;
  });
}

int32_t EmbeddedSource::Rdelete(int32_t h) {
  return Guard([&]() -> int32_t {
    Handle& hd = FileHandleOf(h);
    const AccessPath& p = *hd.path;
    if (!hd.update) Fail(kCodeRefused, "file " + std::string(p.name) + " is open for reading only");
    if (!hd.lockedRowid) Fail(kCodeBadCall, "no locked record to delete on file " + std::string(p.name));
    Connection& c = *hd.conn;
    Stmt& st = WriteStatement(c, p, 1);
    WithWriteTransaction(c.db, [&] {
      st.bind(1, *hd.lockedRowid);
      st.step();
      st.reset();
    });
    ReleaseLock(hd, true);
    return 1;
  });
}

int32_t EmbeddedSource::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  return Guard([&]() -> int32_t {
    if (Handle& m = HandleOf(h); m.member) {
      m.conn->catalog.ddsLines.push_back(rec.substr(0, static_cast<size_t>(std::max(len, 0))));
      return 1;
    }
    Handle& hd = FileHandleOf(h);
    const AccessPath& p = *hd.path;
    if (!hd.update) Fail(kCodeRefused, "file " + std::string(p.name) + " is open for reading only");
    std::string image;
    try {
      image = WriteImage(hd, rec, len);
    } catch (const std::invalid_argument& e) {
      Fail(kCodeBadCall, e.what());
    }
    Connection& c = *hd.conn;
    Stmt& st = WriteStatement(c, p, 2);
    try {
      BindFields(st, *p.record, image);
      st.step();
      st.reset();
    } catch (const StoreError& e) {
      st.reset();
      if (e.constraint()) Fail(kCodeRefused, "duplicate key in file " + std::string(p.name), kErrDuplicateKey);
      throw;
    }
    return 1;
  });
}

}  // namespace qv::embedded
