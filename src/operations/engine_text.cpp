// Builds the names and request texts of the replication engine's jobs.
#include "operations/engine_text.h"

#include <algorithm>

#include "presentation/strutil.h"
#include "store/record_layouts.h"

namespace qv {

std::string NormalizeId(std::string_view id, std::size_t width) {
  std::string v = UCase(Trim(id)) + std::string(width, '_');
  return v.substr(0, width);
}

std::string JobName(std::string_view environment, std::string_view target, std::string_view model) {
  return "S" + NormalizeId(environment, layout::kEnvIdWidth) + "_" +
         NormalizeId(target, layout::kTgtIdWidth) + NormalizeId(model, layout::kGrpIdWidth);
}

std::string ActivityAction(std::string_view action) {
  const std::string a = UCase(Trim(action));
  return (a == "F" || a == "G") ? a : "G";
}

}  // namespace qv

namespace qv {

long long LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && v < 1000000000000LL; ++i)
    v = v * 10 + (text[i] - '0');
  return v;
}

std::string StartCommand(std::string_view environment, std::string_view target,
                         std::string_view model) {
  return "CALL PGM(QVSTR) PARM('" + std::string(environment) + "' '" + std::string(target) +
         "' '" + std::string(model) + "' 'z')";
}

std::string JobStatusFromAnswer(std::string_view answer) {
  const std::string a = RTrim(answer);
  if (a.empty() || a[0] == '\0') return "";
  return LeadingNumber(std::string_view(a).substr(0, 5)) != 0 ? "R" : "";
}

std::vector<std::string> JobEntriesAs400(std::string_view page) {
  std::vector<std::string> entries;
  const long long n = LeadingNumber(page.substr(0, std::min<std::size_t>(5, page.size())));
  if (n <= 5) return entries;
  const std::size_t count = static_cast<std::size_t>((n - 5) / 10);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 5 + i * 10;
    if (at >= page.size()) break;
    entries.emplace_back(page.substr(at, std::min<std::size_t>(10, page.size() - at)));
  }
  return entries;
}

std::vector<std::string> JobEntriesNt(std::string_view answer) {
  answer = answer.substr(0, answer.find('\0'));
  std::vector<std::string> entries;
  std::size_t tab = answer.find('\t');
  while (tab != std::string_view::npos) {
    const std::size_t next = answer.find('\t', tab + 1);
    if (next == std::string_view::npos) break;
    std::string piece(answer.substr(tab + 1, next - tab - 1));
    if (!Trim(piece).empty()) entries.push_back(piece);
    tab = next;
  }
  return entries;
}

bool QueueRestarted(std::string_view answer) {
  return answer.size() >= 10 && answer.substr(5, 5) == "99999";
}

std::vector<QueueMessage> ParseQueueMessages(std::string_view answer) {
  std::vector<QueueMessage> out;
  answer = answer.substr(0, answer.find('\0'));
  auto isDigits = [](std::string_view s) {
    for (char c : s)
      if ((c < '0' || c > '9') && c != ' ') return false;
    return true;
  };
  std::size_t at = 10;
  while (at + 45 <= answer.size()) {
    const std::string_view h = answer.substr(at, 45);
    if (!isDigits(h.substr(40, 5)) || Trim(h).empty()) break;
    const std::size_t len = static_cast<std::size_t>(LeadingNumber(h.substr(40, 5)));
    QueueMessage m;
    m.severity = static_cast<int>(LeadingNumber(h.substr(0, 5)));
    m.job = Trim(h.substr(5, 10));
    m.program = Trim(h.substr(15, 12));
    const std::string_view d = h.substr(27, 7), t = h.substr(34, 6);
    m.date = std::string(d[0] == '0' ? "19" : "20") + std::string(d.substr(1, 2)) + "/" +
             std::string(d.substr(3, 2)) + "/" + std::string(d.substr(5, 2)) + " " +
             std::string(t.substr(0, 2)) + ":" + std::string(t.substr(2, 2)) + ":" +
             std::string(t.substr(4, 2));
    const std::size_t textAt = at + 45;
    m.text = Trim(answer.substr(textAt, std::min(len, answer.size() - textAt)));
    out.push_back(std::move(m));
    at = textAt + len;
  }
  return out;
}

int MessageIcon(int severity) { return severity > 40 ? 1 : severity >= 20 ? 2 : 3; }

}  // namespace qv
