// Message queue: reading the engine's messages into a list, clearing them, and
// deleting the user spaces of a distribution's job.
#include <random>

#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "operations/engine_text.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

constexpr std::size_t kQueueArea = 8162;

RemoteCommand ReadQueueCommand(bool first) {
  return FrameCommand(cmd::kReadMessages, kQueueArea,
                      std::string("08162") + "00000" + (first ? "0" : "1"));
}

// Returns the random part of the item keys, drawn once per process.
unsigned KeySeed() {
  static const unsigned seed = std::random_device{}() % 1000000u;
  return seed;
}

}  // namespace

bool QVSource::ReadMSG(bool first, bool BuildColumn, platform::ListView& lv,
                       const std::string& filter) {
  return Guard("ReadMSG", [&] {
    if (BuildColumn) {
      lv.Clear();
      // Sorted by date, the oldest message first.
      lv.sorted = true;
      lv.sortKey = 1;
      lv.ClearColumns();
      lv.AddColumn("");
      for (const char* id : {"2094", "2095", "2096", "2097"}) lv.AddColumn(cLoadResString(id));
    }
    std::string answer;
    if (IsAS400()) {
      RemoteCommand c = ReadQueueCommand(first);
      if (Src().Execute(c.code, c.ctl, c.data) == 0) {
        QVParamError();
        return false;
      }
      if (QueueRestarted(ReplyText(c))) {
        c = ReadQueueCommand(true);
        if (Src().Execute(c.code, c.ctl, c.data) == 0) {
          QVParamError();
          return false;
        }
        lv.Clear();
      }
      answer = std::string(ReplyText(c));
    } else {
      if (first) msgRead_ = 0;
      answer = PadRight(DllParam::kMessageQueueFile, DllParam::kMessageBuffer);
      int32_t count = msgRead_;
      if (Src().ReadQVMSGQ(answer, count, EngineKind()) == 0) {
        QVParamError();
        return false;
      }
      msgRead_ = count;
      if (QueueRestarted(answer)) lv.Clear();
    }
    const bool all = filter == "*ALL";
    const std::string wanted = UCase(Trim(filter));
    for (QueueMessage& m : ParseQueueMessages(answer)) {
      if (!all && UCase(m.job) != wanted) continue;
      const int icon = MessageIcon(m.severity);
      const std::string key =
          "J" + std::to_string(KeySeed()) + "I" + std::to_string(++msgSeq_);
      platform::ListItem& item = lv.Add(key, "", icon, icon);
      item.SetSubItem(1, m.date);
      item.SetSubItem(2, m.job);
      item.SetSubItem(3, m.program);
      item.SetSubItem(4, m.text);
    }
    return true;
  });
}

bool QVSource::ClearMsgQ() {
  return Guard("ClearMsgQ", [&] {
    int32_t ok = 0;
    if (IsAS400()) {
      const std::string command = "CLRMSGQ MSGQ(QV_USRDATA/QVMSGQ)";
      const std::size_t area = command.size() + 10;
      RemoteCommand c = FrameCommand(cmd::kRcmd, Digits(static_cast<long long>(area), 10), area,
                                     Digits(static_cast<long long>(command.size() + 5), 5) + command);
      ok = Src().Execute(c.code, c.ctl, c.data);
    } else {
      ok = Src().WriteFile(DllParam::kMessageQueueFile, "", DllParam::kReplaceFile);
    }
    if (ok == 0) QVParamError();
    else msgRead_ = 0;
    return ok != 0;
  });
}

void QVSource::DeleteUsrSpc(const std::string& environment, const std::string& target,
                            const std::string& model) {
  Guard("DeleteUsrSpc", [&] {
    const std::string e = UCase(environment), t = UCase(target), m = UCase(model);
    for (const std::string& name : {"S" + e + "_" + t + m, "S" + e + "$" + t + m}) {
      if (IsAS400()) {
        RemoteCommand c = FrameCommand(cmd::kDeleteUserSpace, 20, "00025" + name);
        Src().Execute(c.code, c.ctl, c.data);
      } else {
        Src().DeleteFile(name);
      }
    }
  });
}

}  // namespace qv
