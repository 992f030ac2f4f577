// The MI source of a program for AS/400 sources, and the requests that hand
// a program's lines and MI source to the source.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "programs/program_lines.h"

namespace qv {

// Prefix of the program's own names in the MI source (fields, tags, program
// pointers and operand lists).
inline constexpr std::string_view kMiPrefix = "F@@@@@@@@@@.";
// Width of an MI block and the lines or blocks one request carries.
inline constexpr std::size_t kMiBlockWidth = 175;
inline constexpr std::size_t kProgramLinesPerRequest = 22;

// Returns the MI text of the instruction lines of a program, each statement
// laid out with WriteFormatedBufMI in 175-character blocks, for example
//   "CPYBLAP F@@@@@@@@@@.O.NAME ,F@@@@@@@@@@.I.NAME,' '; "   (MOVE)
//   "B F@@@@@@@@@@.NEXT;"                                    (GOTO NEXT)
// aliasLengths gives the record length of each reference file alias
// (upper-cased), 0 when not listed.
std::string GenerateMi(const std::vector<ProgramLine>& lines,
                       const std::map<std::string, long long>& aliasLengths = {});

// Returns the "SYSWRTTRS_" requests (unpadded) that store the lines: the
// begin "04096" "0" env grp fic place "0", batches "04096" "1" count and at
// most 22 lines of 179 characters (type, indentation, content), the end
// "04096" "3".
std::vector<std::string> ProgramLineRequests(std::string_view env, std::string_view grp, std::string_view fic,
                                             std::string_view place, const std::vector<ProgramLine>& lines);
// Returns the requests that store MI text: begin, batches "04096" "2" count
// and at most 22 blocks of 175 characters, end.
std::vector<std::string> MiRequests(std::string_view env, std::string_view grp, std::string_view fic,
                                    std::string_view place, std::string_view mi);
// Returns the begin request that deletes the program of a place.
std::string ProgramDeleteRequest(std::string_view env, std::string_view grp, std::string_view fic,
                                 std::string_view place);
// Returns the "SYSGENTRS_" request: "04096" "1" env, three blanks, grp fic.
std::string CompileRequest(std::string_view env, std::string_view grp, std::string_view fic);

}  // namespace qv
