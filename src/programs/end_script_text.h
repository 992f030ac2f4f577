// End-of-distribution scripts: the rich text an editor shows for the stored
// lines, the cutting of a script into lines, and the requests that hand a
// script to an AS/400 source.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Width of a script line (QV_END.INST) and the lines one request carries.
inline constexpr std::size_t kEndLineWidth = 255;
inline constexpr std::size_t kEndLinesPerRequest = 15;

// Renders stored script lines (INST texts, in order) as rich text:
//   {\rtf1\ansi\deff0\deftab4{\fonttbl...}}{\colortbl...}\pard
//   \plain\f0\fs17\cf3 CALL\plain\f0\fs17\cf0  PGM(X) \par      (command blue, arguments black)
//   \plain\f0\fs17\cf2 /* note \par                              (comments green)
//   }
// A line whose first word is REM shows "/*" in its place.
std::string RenderEndScript(const std::vector<std::string>& lines);

// Cuts a script at each CR LF; a last part without a line end is a line too;
// an empty script has no line.
std::vector<std::string> EndScriptLines(std::string_view script);

// Returns the "SYSWRTENQV" requests of a script (unpadded): the opening
// "04096" "0" env tgt grp place and "0" ("1" for an empty script), the lines
// cut or padded to 255 in chunks of 15 ("04096" "1" count lines), then the
// closing "04096" "3". Codes are padded or cut to their widths.
std::vector<std::string> EndScriptRequests(std::string_view env, std::string_view tgt, std::string_view grp,
                                           std::string_view place, const std::vector<std::string>& lines);

}  // namespace qv
