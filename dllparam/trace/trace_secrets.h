// Password masking of the trace: finds the passwords in the texts, records,
// rows and statements that a trace line shows and puts kMaskedPassword
// (presentation/strutil.h) in their place, so that a trace file never holds
// one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection/dllparam_call.h"

namespace qv::trace {

// Where the fields sit in one record or row read or written through a
// handle, and which of them hold a password.
struct RowShape {
  struct Span {
    std::size_t offset = 0;
    std::size_t width = 0;
    bool password = false;
  };
  std::size_t length = 0;   // bytes of one record
  std::vector<Span> fields;
  bool hideAll = false;     // rows that may hold a password at an unknown place
};

// Returns the shape of the records of a file as Ropen names it
// ("QV_USRDATA/QV_UID", "QV_USRDATA..QV_EX", "QV_TX(MBR)"), or nothing for a
// file that is not a store file.
std::optional<RowShape> ShapeOfFile(std::string_view file);

// Returns the shape of the rows of a SELECT on a store table ("SELECT * FROM
// QV_USRDATA..QV_UID WHERE ...", "SELECT ENVID, PASSWORD FROM QV_UID"), or
// nothing when the rows hold no password field. A select whose columns name
// a password but cannot all be placed gives a shape that hides whole rows.
std::optional<RowShape> ShapeOfQuery(std::string_view sql);

// Returns rows (records of rowLength bytes side by side; shape.length when 0;
// the last one may be cut short) with every password field masked and every
// other field masked as a connection string.
std::string MaskRows(const RowShape& shape, std::string_view rows, std::size_t rowLength = 0);

// Returns a SQL statement with its password literals masked: the literal
// compared with or assigned to a password column (PASSWORD = 'x'), the
// literal given for a password column in an INSERT's VALUES, and the
// password of any connection string held in a literal.
std::string MaskSqlPasswords(std::string_view sql);

// Returns kMaskedPassword for a password that is not blank, text otherwise.
std::string MaskPassword(std::string_view text);

// Follows the handles that a traced library hands out to know what their
// records hold, and masks the texts of the calls made with them.
class CallMasker {
 public:
  // Returns text, argument i of call, as a trace may show it.
  std::string Shown(const DllParamCall& call, std::size_t i, std::string_view text) const;
  // Learns from a call that ran: the files and statements opened, the
  // handles closed.
  void Ran(const DllParamCall& call, int32_t result);

 private:
  const RowShape* ShapeOf(int32_t handle) const;

  mutable std::mutex lock_;
  int32_t connection_ = 0;  // the current connection
  std::map<std::pair<int32_t, int32_t>, RowShape> shapes_;  // by connection and handle
};

}  // namespace qv::trace
