// Texts of the supervision list.
#include "presentation/supervision_text.h"

#include <cctype>

#include "operations/engine_text.h"
#include "presentation/strutil.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv {
namespace {

// Returns a number field without its leading zeros ("0000000042" gives
// "42"), "" when blank.
std::string Number(std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty()) return "";
  return std::to_string(LeadingNumber(t));
}

bool AllDigits(std::string_view t) {
  for (char c : t)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Joins the non-empty parts with sep.
std::string Joined(std::initializer_list<std::string> parts, const char* sep) {
  std::string out;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += sep;
    out += p;
  }
  return out;
}

}  // namespace

const std::vector<const char*>& SupervisionColumnIds() {
  static const std::vector<const char*> ids = {
      "907", "412", "406", "19",  "20",  "428", "429", "430", "431", "432", "433", "434", "435",
      "436", "437", "417", "418", "419", "420", "421", "422", "423", "424", "425", "426", "21"};
  return ids;
}

std::string DistributionStateCode(const Record& spv) {
  const Record activity(layout::Activity, spv.Get("ACTIVITY"));
  if (LeadingNumber(activity.Get("CptErr")) > 0) return "E";
  if (spv.Get("RUN") == "0") return "X";
  return "A";
}

std::string SupervisionStateCode(const Record& spv) {
  const std::string code = DistributionStateCode(spv);
  if (code == "E") return code;
  if (code == "X") return spv.Get("HOLD") == "1" ? "H" : "X";
  const std::string_view state = spv.Get("STATE");
  return state == "I" || state == "J" ? std::string(state) : "A";
}

const char* StateLabelId(std::string_view code) {
  if (code == "I") return "410";
  if (code == "E") return "411";
  if (code == "A") return "412";
  if (code == "J") return "413";
  if (code == "X") return "414";
  if (code == "H") return "415";
  return "";
}

std::string SupervisionRowKey(const Record& spv) {
  return "KEY" + std::string(spv.Get("ENVID")) + std::string(spv.Get("TGTID")) + std::string(spv.Get("GRPID"));
}

std::string SupervisionRowText(const Record& spv) {
  return "[" + Trim(spv.Get("ENVID")) + "_" + Trim(spv.Get("GRPID")) + "] -> " + Trim(spv.Get("TGTID"));
}

std::string EditTimeStamp(std::string_view text) {
  const std::string t = Trim(text);
  if (t.size() == 14 && AllDigits(t))
    return t.substr(0, 4) + "/" + t.substr(4, 2) + "/" + t.substr(6, 2) + " " + t.substr(8, 2) + ":" +
           t.substr(10, 2) + ":" + t.substr(12, 2);
  if (t.size() >= 19 && t[4] == '-' && t[7] == '-' && t[10] == '-' && t[13] == '.' && t[16] == '.')
    return t.substr(0, 4) + "/" + t.substr(5, 2) + "/" + t.substr(8, 2) + " " + t.substr(11, 2) + ":" +
           t.substr(14, 2) + ":" + t.substr(17, 2);
  return t;
}

std::vector<std::string> SupervisionCells(const Record& spv, const std::string& stateLabel) {
  const Record a(layout::Activity, spv.Get("ACTIVITY"));
  const bool running = spv.Get("RUN") != "0" && DistributionStateCode(spv) == "A";
  std::string run;
  if (running) run = spv.Get("REPRISETYP") == "C" ? "LOAD" : Number(spv.Get("JOBNBR"));
  const std::string_view receiver = a.Get("Receiver");
  std::vector<std::string> cells = {
      run,
      stateLabel,
      Trim(spv.Get("REPRISETYP")),
      Joined({Trim(spv.Get("REPRISELIB")), Trim(spv.Get("REPRISERCV"))}, "/"),
      Trim(receiver.substr(0, 10)),
      Number(a.Get("JOSEQN")),
      Joined({Trim(a.Get("JOCODE")), Trim(a.Get("JOENTT"))}, "-"),
      EditTimeStamp(a.Get("JOTMST")),
      Joined({Trim(a.Get("JONBR")), Trim(a.Get("JOUSER")), Trim(a.Get("JOJOB"))}, "/"),
      Trim(a.Get("JOPGM")),
      Joined({Trim(a.Get("JOLIB")), Trim(a.Get("JOOBJ"))}, "/") +
          (Trim(a.Get("JOMBR")).empty() ? "" : "(" + Trim(a.Get("JOMBR")) + ")"),
      Number(a.Get("JOCTRR")),
      EditTimeStamp(a.Get("TimeProcess")),
      Trim(a.Get("Step")),
  };
  for (const char* counter : {"CptRead", "CptSel", "CptSnd", "CptIgnore", "CptAdd", "CptUpd", "CptDel", "CptMbr",
                              "CptRpr", "CptErr"})
    cells.push_back(Number(a.Get(counter)));
  cells.push_back(EditTimeStamp(spv.Get("REFRESHDT")));
  return cells;
}

}  // namespace qv
