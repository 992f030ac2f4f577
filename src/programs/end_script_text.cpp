// Implements the rich text of end scripts and their AS/400 requests.
#include "programs/end_script_text.h"

#include "connection/remote_commands.h"
#include "presentation/strutil.h"
#include "store/records.h"

namespace qv {

std::string RenderEndScript(const std::vector<std::string>& lines) {
  static constexpr std::string_view kPlain = "\\plain\\f0\\fs17\\cf";
  std::string out =
      "{\\rtf1\\ansi\\deff0\\deftab4{\\fonttbl{\\f0\\fmodern Courier New;}{\\f1\\froman\\fcharset2 Symbol;}}"
      "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red0\\green0\\blue255;"
      "\\red255\\green128\\blue0;}"
      "\\pard";
  auto plain = [&](char colour) {
    out += kPlain;
    out += colour;
    out += ' ';
  };
  for (const std::string& stored : lines) {
    const std::string text = RTrim(stored);
    int end = 0, leading = 0;
    std::string word = GetFirstWord(text, end, leading);
    const std::string lead(static_cast<std::size_t>(leading), ' ');
    const bool oneWord = word.empty();
    if (oneWord) word = Trim(text);
    const std::string upperWord = UCase(word);
    if (Trim(text).empty()) {
      plain('0');
    } else if (UCase(Trim(text)).rfind("/*", 0) == 0) {
      plain('2');
      out += lead + Trim(text);
    } else if (upperWord == "/*" || upperWord == "REM") {
      plain('2');
      out += lead + "/*";
      if (!oneWord) {
        plain('2');
        out += text.substr(static_cast<std::size_t>(end - 1));
      }
    } else if (!oneWord) {
      plain('3');
      out += lead + word;
      plain('0');
      out += text.substr(static_cast<std::size_t>(end - 1));
    } else {
      plain('3');
      out += lead + Trim(text);
    }
    out += " \\par";
  }
  return out + "}";
}

std::vector<std::string> EndScriptLines(std::string_view script) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < script.size()) {
    const std::size_t end = script.find("\r\n", at);
    if (end == std::string_view::npos) {
      out.emplace_back(script.substr(at));
      break;
    }
    out.emplace_back(script.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

std::vector<std::string> EndScriptRequests(std::string_view env, std::string_view tgt, std::string_view grp,
                                           std::string_view place, const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  out.push_back("040960" + FitText(env, 2) + FitText(tgt, 3) + FitText(grp, 3) + FitText(place, 1) +
                (lines.empty() ? "1" : "0"));
  for (std::size_t at = 0; at < lines.size(); at += kEndLinesPerRequest) {
    const std::size_t n = std::min(kEndLinesPerRequest, lines.size() - at);
    std::string r = "040961" + Digits(static_cast<long long>(n), 2);
    for (std::size_t i = 0; i < n; ++i) r += FitText(lines[at + i], kEndLineWidth);
    out.push_back(std::move(r));
  }
  out.push_back("040963");
  return out;
}

}  // namespace qv
