// QVSource, section 21: end-of-distribution scripts. Reads a script as rich
// text and replaces it: through the server program on AS/400 sources, by
// statements on NT sources.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "programs/end_script_text.h"
#include "programs/program_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {

bool QVSource::Read_QVEND(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id,
                          const std::string& Lieu, std::string& scriptEND_QV) {
  return Guard("Read_QVEND", [&] {
    std::vector<Record> stored;
    if (!ReadBlocks("Read_QVEND", "QV_END_L0", layout::QV_END,
                    KeyFromCodes(layout::EndScriptKey, {env_id, tgt_id, grp_id, Lieu}),
                    ReadEndScriptSql(prefix_, env_id, tgt_id, grp_id, Lieu), stored))
      return false;
    std::vector<std::string> lines;
    for (const Record& r : stored) lines.emplace_back(r.Get("INST"));
    scriptEND_QV = RenderEndScript(lines);
    return true;
  });
}

bool QVSource::Write_ENQV(const std::string& env_id, const std::string& tgt_id, const std::string& grp_id,
                          const std::string& Lieu, const std::string& scriptEND_QV) {
  return Guard("Write_ENQV", [&] {
    const std::vector<std::string> lines = EndScriptLines(scriptEND_QV);
    if (IsAS400()) {
      for (const std::string& request : EndScriptRequests(env_id, tgt_id, grp_id, Lieu, lines)) {
        RemoteCommand c = FrameCommand(cmd::kWriteEndScript, 4096, request);
        if (Src().Execute(c.code, c.ctl, c.data) == 0) {
          QVParamError();
          return false;
        }
      }
      return true;
    }
    if (!RunStatement(ReplaceEndScriptDeleteSql(prefix_, env_id, tgt_id, grp_id))) return false;
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (!RunStatement(InsertEndScriptLineSql(prefix_, env_id, tgt_id, grp_id, static_cast<long long>(i + 1),
                                               lines[i])))
        return false;
    return true;
  });
}

}  // namespace qv
