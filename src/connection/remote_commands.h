// Remote commands of AS/400 sources: the 10-character command codes and the
// framing of a command's control and parameter areas.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// Command codes, each exactly 10 characters.
namespace cmd {
inline constexpr const char* kRcmd = "RCMD______";
inline constexpr const char* kCreateUser = "SYSCRTUSR_";
inline constexpr const char* kReadUserSpace = "SYSREDUSR_";
inline constexpr const char* kCheckObject = "CHKOBJ____";
inline constexpr const char* kListObjects = "SYSLSTOBJ_";
inline constexpr const char* kListJournaled = "SYSLSTJRN_";
inline constexpr const char* kListReceivers = "SYSLSTRCV_";
inline constexpr const char* kListFormats = "SYSLSTRCD_";
inline constexpr const char* kListJobs = "SYSLSTJOB_";
inline constexpr const char* kListFields = "SYSLSTFLD_";
inline constexpr const char* kAccessPath = "SYSRTVACPT";
inline constexpr const char* kWriteFields = "SYSWRTZX__";
inline constexpr const char* kWriteProgram = "SYSWRTTRS_";
inline constexpr const char* kCompileProgram = "SYSGENTRS_";
inline constexpr const char* kDeleteListing = "DLTSPLFTRS";
inline constexpr const char* kWriteEndScript = "SYSWRTENQV";
inline constexpr const char* kReadMessages = "SYSRTVMSG_";
inline constexpr const char* kDeleteUserSpace = "DLTUSRSPC_";
inline constexpr const char* kClearDds = "CLRDDS____";
inline constexpr const char* kCreateDds = "CRTDDS____";
inline constexpr const char* kMachineName = "RTVMCHNAME";
}  // namespace cmd

// One remote command as Execute takes it: code, control area and data area.
struct RemoteCommand {
  std::string code;  // 10 characters
  std::string ctl;   // 10 characters
  std::string data;  // the area padded with blanks to its size, then a NUL
};

// Returns n as decimal digits right-aligned and zero-filled to width
// (Right("00000" + n, width)); a negative n is written as 0.
std::string Digits(long long n, std::size_t width);
// Returns the 10-character form of a command code: "RCMD" gives "RCMD______".
std::string CommandCode(std::string_view code);
// Returns an AS/400 object name upper-cased and padded or cut to 10.
std::string ObjectName10(std::string_view name);

// Frames a command: ctl is the area size in 10 digits, data the request
// padded with blanks to that size followed by a NUL.
RemoteCommand FrameCommand(std::string_view code, std::size_t areaSize, std::string_view request);
// Frames a command whose control area is given as is ("00000" + "00305").
RemoteCommand FrameCommand(std::string_view code, std::string_view ctl, std::size_t areaSize,
                           std::string_view request);

// Frames a CL command for "RCMD" in a 100-character area:
// "00017CHGJOB RUNPTY(20)" + blanks.
RemoteCommand ClCommand(std::string_view command);

// Returns the reply of an executed command: the area up to its first NUL.
std::string_view ReplyText(const RemoteCommand& command);

// Frames the object check: object, library and type, each upper-cased and
// padded to 10, then 10 blanks; control area "0000000040".
RemoteCommand CheckObjectCommand(std::string_view object, std::string_view library,
                                 std::string_view type);
// Tells whether a "CHKOBJ____" reply says the object exists (character 6 is "0").
bool ObjectExists(std::string_view reply);

}  // namespace qv
