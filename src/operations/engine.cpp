// Engine control and jobs: starting a distribution's engine and asking for its jobs.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "operations/engine_text.h"
#include "platform/controls.h"

namespace qv {
namespace {

// Bounds a job listing that never ends.
constexpr int kMaxPages = 10000;

RemoteCommand JobListCommand(const std::string& job, char page) {
  return FrameCommand(cmd::kListJobs, 4096, std::string("04096") + page + job);
}

}  // namespace

bool QVSource::StartQV(const std::string& environment, const std::string& target,
                       const std::string& model, const std::string& instance) {
  return Guard("StartQV", [&] {
    const std::string inst = instance.empty() ? "*" : instance;
    int32_t ok = 0;
    if (IsAS400()) {
      const std::string command = StartCommand(environment, target, model);
      const std::string request = Digits(static_cast<long long>(command.size()), 5) + command;
      const std::size_t area = request.size() + 10;
      RemoteCommand c = FrameCommand(cmd::kRcmd, "00000" + Digits(static_cast<long long>(area), 5),
                                     area, request);
      ok = Src().Execute(c.code, c.ctl, c.data);
    } else {
      const std::string kind = EngineKind();
      ok = Src().StrReplication(environment + target + model, kind,
                                kind == DllParam::kKindOdbc ? kind : inst);
    }
    if (ok == 0) QVParamError();
    return ok != 0;
  });
}

bool QVSource::JobRun(const std::string& job, std::string& status) {
  return Guard("JobRun", [&] {
    std::string answer;
    if (IsAS400()) {
      RemoteCommand c = JobListCommand(job, '0');
      if (Src().Execute(c.code, c.ctl, c.data) == 0) {
        QVParamError();
        return false;
      }
      answer = std::string(ReplyText(c));
    } else {
      answer.assign(DllParam::kJobListBuffer, ' ');
      if (Src().SJobList(job, answer, EngineKind()) == 0) {
        QVParamError();
        return false;
      }
    }
    status = JobStatusFromAnswer(answer);
    return true;
  });
}

bool QVSource::ListJobRun(const std::string& job, platform::ListBox& list) {
  return Guard("ListJobRun", [&] {
    list.Clear();
    if (!IsAS400()) {
      std::string answer(DllParam::kJobListBuffer, ' ');
      if (Src().SJobList(job, answer, EngineKind()) == 0) {
        QVParamError();
        return false;
      }
      for (std::string& entry : JobEntriesNt(answer)) list.AddItem(std::move(entry));
      return true;
    }
    char page = '0';
    for (int i = 0; i < kMaxPages; ++i) {
      RemoteCommand c = JobListCommand(job, page);
      if (Src().Execute(c.code, c.ctl, c.data) == 0) {
        QVParamError();
        return false;
      }
      const std::string_view reply = ReplyText(c);
      if (LeadingNumber(reply.substr(0, std::min<std::size_t>(5, reply.size()))) <= 5) break;
      for (std::string& entry : JobEntriesAs400(reply)) list.AddItem(std::move(entry));
      page = '1';
    }
    return true;
  });
}

}  // namespace qv
