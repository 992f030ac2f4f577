// Supervision: the state of one distribution and the supervision list, read
// from the QV_SPV records the engine writes.
#include <algorithm>
#include <set>

#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/supervision_text.h"
#include "store/record_layouts.h"
#include "store/record_rules.h"
#include "store/records.h"
#include "store/sqltext.h"

namespace qv {

namespace {

std::string SpvSelect(const std::string& prefix) { return prefix + "QV_SPV"; }

}  // namespace

bool QVSource::ReadStateGC(const std::string& environment, const std::string& target,
                           const std::string& model, std::string& state) {
  return Guard("ReadStateGC", [&] {
    int32_t h = -1;
    if (!OpenFile("QV_SPV", DllParam::kModeRead, h, "ReadStateGC:Open QV_SPV")) return false;
    Step("ReadStateGC");
    const Layout& spv = layout::QV_SPV;
    std::string buf(IsAS400() ? spv.length : NtRowLength(spv), ' ');
    int32_t len = 0;
    int32_t found = 0;
    if (IsAS400()) {
      const ItemKey key = KeyFromCodes(layout::DistributionKey, {environment, target, model});
      found = key.names ? Src().Rreadk(h, buf, len, DllParam::kKeyEqualNoLock, key.image,
                                       static_cast<int32_t>(key.image.size()))
                        : 0;
      if (!key.names) found = -1;  // codes that name no distribution: no record
    } else {
      const std::string sql = "SELECT * FROM " + SpvSelect(prefix_) + " WHERE ENVID='" + SqlEnvId(environment) +
                              "' AND TGTID='" + SqlTgtId(target) + "' AND GRPID='" + SqlGrpId(model) + "'";
      lastStatement_ = sql;
      found = Src().Sread(h, buf, len, sql, DllParam::kFirstRow);
    }
    Lookup result = Lookup::Found;
    if (found == -1) result = Lookup::Missing;
    else if (found == 0) result = AfterMiss();
    CloseFile(h);
    if (result == Lookup::Failed) return false;
    if (result == Lookup::Missing) {
      state = "X";
      return true;
    }
    const Record rec = IsAS400() ? Record(spv, buf) : NtRowToRecord(spv, buf);
    state = DistributionStateCode(rec);
    return true;
  });
}

bool QVSource::Read_Spv(platform::ListView& lv, bool BuildColumn) {
  return Guard("ReadSpv", [&] {
    int32_t h = -1;
    if (!OpenFile("QV_SPV", DllParam::kModeRead, h, "ReadSpv:Open QV_SPV")) return false;
    Step("ReadSpv");
    if (BuildColumn) {
      lv.Clear();
      lv.ClearColumns();
      lv.SetView(platform::ListView::kReport);
      for (const char* id : SupervisionColumnIds()) lv.AddColumn(cLoadResString(id));
    }
    const Layout& spv = layout::QV_SPV;
    std::vector<Record> records;
    bool ok = true;
    if (IsAS400()) {
      const int32_t perBlock = DllParam::kBlockBuffer / spv.length;
      for (;;) {
        std::string block(DllParam::kBlockBuffer, ' ');
        int32_t count = 0;
        if (Src().RreadblockD(h, block, count, spv.length) == 0) {
          ok = AfterMiss() == Lookup::Missing;
          break;
        }
        for (Record& r : RecordsFromBlock(spv, block, static_cast<std::size_t>(std::max(count, 0))))
          records.push_back(std::move(r));
        if (count < perBlock) break;
      }
    } else {
      ok = ReadRowBlocks(
          "SELECT * FROM " + SpvSelect(prefix_), NtRowLength(spv),
          [&](std::string_view row) { records.push_back(NtRowToRecord(spv, row)); }, h);
    }
    CloseFile(h);
    // Shows new rows in distribution order, whatever order the source gives.
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
      return SupervisionRowKey(a) < SupervisionRowKey(b);
    });
    std::set<std::string> seen;
    for (const Record& r : records) {
      const std::string key = SupervisionRowKey(r);
      seen.insert(key);
      const std::string code = SupervisionStateCode(r);
      const std::string label = cLoadResString(StateLabelId(code));
      platform::ListItem* item = lv.Find(key);
      if (item == nullptr) item = &lv.Add(key, SupervisionRowText(r));
      item->text = SupervisionRowText(r);
      item->tag = code;
      const std::vector<std::string> cells = SupervisionCells(r, label);
      for (std::size_t i = 0; i < cells.size(); ++i) item->SetSubItem(static_cast<int>(i + 1), cells[i]);
    }
    if (!ok) return false;
    // Removes the rows of distributions whose record is gone.
    for (int i = lv.Count(); i >= 1; --i) {
      const std::string& key = lv.Item(i).Key();
      if (key.rfind("KEY", 0) == 0 && seen.count(key) == 0) lv.Remove(i);
    }
    return true;
  });
}

}  // namespace qv
