// NT catalogs: the data sources, databases, schemas and tables of NT sources
// (with the libraries and files of AS/400 sources where a procedure serves
// both), a data-source login test, table creation and check, the database
// tree, and text files on the source machine.
#include <algorithm>
#include <string_view>

#include "catalogs/fields_nt_text.h"
#include "catalogs/nt_catalog_text.h"
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

// Size of the area "RTVMCHNAME" answers in.
constexpr std::size_t kMachineNameArea = 100;

// Adds each name given to a list box and counts it.
std::function<void(const std::string&)> AddTo(platform::ListBox& list, int32_t& count) {
  return [&list, &count](const std::string& name) {
    list.AddItem(name);
    ++count;
  };
}

}  // namespace

// ---- Reading the library's lists ---------------------------------------------------------

bool QVSource::ReadNtNames(const std::function<void(const std::string&)>& take) {
  const bool sqlServer = sourceType_ == "SQL Server";
  const std::string sql = sqlServer ? kDatabasesSql : kSchemasSql;
  const std::size_t width = sqlServer ? kDatabaseNameWidth : kSchemaNameWidth;
  return ReadRowBlocks(sql, width, [&](std::string_view row) {
    const std::string name = Trim(row);
    if (name.empty()) return;
    if (sqlServer ? IsSqlServerSystemDatabase(name) : IsOracleSystemSchema(name)) return;
    take(name);
  });
}

bool QVSource::ReadNtTables(const std::string& database, const std::string& mask,
                            const std::function<void(const std::string&)>& take) {
  const bool sqlServer = sourceType_ == "SQL Server";
  const std::string like = Trim(mask).empty() ? std::string("%") : Trim(mask);
  int32_t first = DllParam::kFirstCall;
  for (;;) {
    std::string list(DllParam::kListBuffer, ' ');
    int32_t len = 0;
    if (Src().FillTBL(Trim(database), like, list, len, first) == 0) {
      QVParamError();
      return false;
    }
    if (len <= 0) return true;
    for (const std::string& name : ReadNtNameList(std::string_view(list).substr(0, static_cast<std::size_t>(len))))
      if (!sqlServer || !IsSqlServerSystemTable(name)) take(name);
    first = DllParam::kNextCall;
  }
}

bool QVSource::ReadDataSources(const std::string& kind, const std::function<void(const std::string&)>& take) {
  int32_t first = DllParam::kFirstCall;
  for (;;) {
    std::string list(DllParam::kListBuffer, ' ');
    int32_t len = 0;
    if (Src().GetDSNsAndDrivers(list, len, first) == 0) {
      QVParamError();
      return false;
    }
    if (len <= 0) return true;
    for (const DataSourceLine& d :
         ReadDataSourceList(std::string_view(list).substr(0, static_cast<std::size_t>(len))))
      if (DriverServesKind(d.driver, kind)) take(d.name);
    first = DllParam::kNextCall;
  }
}

// ---- Machine name and data sources -------------------------------------------------------

std::string QVSource::GetComputerName() {
  if (!ConnectionOpen()) return {};
  return Guard("GetComputerName", [&]() -> std::string {
    std::string name;
    bool ok = false;
    if (IsAS400()) {
      RemoteCommand c = FrameCommand(cmd::kMachineName, kMachineNameArea, "");
      ok = Src().Execute(c.code, c.ctl, c.data) != 0;
      if (ok) name = Trim(ReplyText(c));
    } else {
      std::string buffer(DllParam::kComputerNameBuffer, ' ');
      ok = Src().GetComputerName(buffer) != 0;
      if (ok) name = BufferText(buffer);
    }
    if (!ok || name.empty()) {
      Refuse("Error in GetComputerName");
      return {};
    }
    return name;
  });
}

bool QVSource::FillDataSources(const char* step, platform::ListBox& list, const std::string& kind,
                               int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard(step, [&] {
    list.Clear();
    return ReadDataSources(kind, AddTo(list, count));
  });
}

bool QVSource::FillDSN(platform::ListBox& list, const std::string& kind, int32_t& count) {
  return FillDataSources("FillDSN", list, kind, count);
}

bool QVSource::FillDSNList(platform::ListBox& list, int32_t& count) {
  return FillDataSources("FillDSNList", list, "", count);
}

bool QVSource::TestDSN(const std::string& dsn, const std::string& user, const std::string& password) {
  if (!ConnectionOpen()) return false;
  return Guard("TestDSN", [&] {
    Connection test;
    if (!OpenLibraryConnection(conn_[kS].address, test)) return false;
    std::string out(DllParam::kDsnMessageBuffer, ' ');
    const std::string connect = "DSN=" + Trim(dsn);
    const bool ok = lib_->ConnectDSN(connect, user, password, out) != 0;
    if (!ok) {
      // The library's text, else the source's message, else none to give.
      QVParamError();
      std::string said = errorText_;
      if (said.empty()) said = BufferText(out);
      Refuse(said.empty() ? cLoadResString("1901") : said);
    } else {
      std::string closing(DllParam::kDsnMessageBuffer, ' ');
      lib_->CloseConnectionDSN(connect, closing);
    }
    // The test connection was current: none is now, the next call switches.
    lib_->CloseMConnection(test.handle);
    currentHandle_ = 0;
    return ok;
  });
}

// ---- Databases, schemas and tables -------------------------------------------------------

bool QVSource::fillDB(platform::ListBox& list, bool refresh, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("fillDB", [&] {
    if (IsAS400()) return RefuseNT();
    list.Clear();
    if (refresh || databaseCache_.empty()) {
      databaseCache_.clear();
      std::vector<std::string> names;
      int32_t first = DllParam::kFirstCall;
      for (;;) {
        std::string buffer(DllParam::kListBuffer, ' ');
        int32_t len = 0;
        if (Src().FillDB(DllParam::kNoFilter, buffer, len, first) == 0) {
          QVParamError();
          return false;
        }
        if (len <= 0) break;
        for (std::string& name :
             ReadNtNameList(std::string_view(buffer).substr(0, static_cast<std::size_t>(len)))) {
          list.AddItem(name);
          ++count;
          names.push_back(std::move(name));
        }
        first = DllParam::kNextCall;
      }
      // Keeps only a complete listing.
      databaseCache_ = std::move(names);
      return true;
    }
    for (const std::string& name : databaseCache_) list.AddItem(name);
    count = static_cast<int32_t>(databaseCache_.size());
    return true;
  });
}

bool QVSource::FillSCH(platform::ListBox& list, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  if (IsAS400()) {
    list.Clear();
    const bool ok = fillLIB(list, false, count);
    Step("FillSCH");
    return ok;
  }
  return Guard("FillSCH", [&] {
    if (sourceType_ != "Oracle") return RefuseNT();
    list.Clear();
    return ReadNtNames(AddTo(list, count));
  });
}

bool QVSource::FillTBL(platform::ListBox& list, const std::string& database, const std::string& mask,
                       int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("FillTBL", [&] {
    if (IsAS400()) return RefuseNT();
    list.Clear();
    return ReadNtTables(database, mask, AddTo(list, count));
  });
}

bool QVSource::CreateTable(const std::string& table, const std::string& definition) {
  if (!ConnectionOpen()) return false;
  return Guard("CreateTable", [&] {
    if (IsAS400()) return RefuseNT();
    if (Src().CreateTable(Trim(table), definition) == 0) {
      QVParamError();
      return false;
    }
    return true;
  });
}

bool QVSource::TableNTExist(const std::string& table) {
  if (!ConnectionOpen()) return false;
  return Guard("TableNTExist", [&] {
    if (IsAS400()) return RefuseNT();
    if (Src().TableNTExist(Trim(table)) != 0) return true;
    if (AfterMiss() == Lookup::Failed) errorText_ = cLoadResString("2104", Trim(table));
    return false;
  });
}

// ---- The database tree -------------------------------------------------------------------

bool QVSource::LoadDBList(platform::TreeView& tv, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  auto add = [&](const std::string& name) {
    // A name listed twice keeps its first node.
    if (tv.Find("DB:" + name) != nullptr) return;
    tv.Add("DB:" + name, name).tag = "DB";
    ++count;
  };
  if (IsAS400()) {
    tv.Clear();
    platform::ListBox libraries;
    int32_t n = 0;
    const bool ok = fillLIB(libraries, false, n);
    for (const std::string& name : libraries.Items()) add(name);
    Step("LoadDBList");
    return ok;
  }
  return Guard("LoadDBList", [&] {
    if (sourceType_ != "SQL Server" && sourceType_ != "Oracle") return RefuseNT();
    tv.Clear();
    return ReadNtNames(add);
  });
}

bool QVSource::LoadTBLList(platform::TreeView& tv, const std::string& database, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("LoadTBLList", [&] {
    const std::string db = Trim(database);
    const std::string parent = "DB:" + db;
    platform::TreeNode* node = tv.Find(parent);
    if (node == nullptr) {
      Refuse("Database \"" + db + "\" is not in the tree");
      return false;
    }
    const std::vector<platform::TreeNode*> old = node->Children();
    for (const platform::TreeNode* child : old)
      if (child->tag == "TBL") tv.Remove(child->Key());
    auto add = [&](const std::string& name) {
      const std::string key = "TBL:" + db + "." + name;
      if (tv.Find(key) != nullptr) return;
      tv.Add(parent, platform::Relationship::Child, key, name).tag = "TBL";
      ++count;
    };
    if (!IsAS400()) return ReadNtTables(db, "%", add);
    std::string lib;
    if (!Name10("Library", db, lib)) return false;
    return PagedList(cmd::kListObjects, ObjectName10("*ALL") + lib + ObjectName10("*FILE") + ObjectName10("PF"),
                     kObjectEntryWidth, [&](std::string_view e) { add(Trim(e.substr(0, 10))); });
  });
}

bool QVSource::ClearTBLList(platform::TreeView& tv) {
  return Guard("ClearTBLList", [&] {
    std::vector<std::string> keys;
    for (const platform::TreeNode* n : tv.DisplayOrder())
      if (n->tag == "TBL") keys.push_back(n->Key());
    for (const std::string& key : keys)
      if (tv.Find(key) != nullptr) tv.Remove(key);
    return true;
  });
}

// ---- Text files on the source machine ----------------------------------------------------

bool QVSource::WriteServerTxtFile(const std::string& path, const std::string& text) {
  if (!ConnectionOpen()) return false;
  return Guard("WriteServerTxtFile", [&] {
    const std::string file = Trim(path);
    if (Src().DeleteFileWithFullPath(file) == 0 && AfterMiss() == Lookup::Failed) return false;
    if (Src().WriteFileWithFullPath(file, text, DllParam::kReplaceFile) == 0) {
      QVParamError();
      return false;
    }
    return true;
  });
}

}  // namespace qv
