// The manager's copy of one distribution record (QV_GC, 624 characters) and
// the conversions of the six properties that read and change it: recovery
// type, receiver, receiver library and point, schedule and hold flags.
//
//   DistributionCopy copy;                 // a blank record
//   copy.Assign(imageReadFromTheSource);
//   copy.ReprisePoint(42);                 // REPRISEPNT "0000000042"
//   copy.ReprisePoint();                   // 42
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::automation {

class DistributionCopy {
 public:
  // Starts from a blank record.
  DistributionCopy() : record_(layout::QV_GC) {}

  // Returns the record image, exactly 624 characters.
  const std::string& image() const { return record_.image(); }
  // Replaces the copy with an image (a shorter one padded with blanks, a
  // longer one cut).
  void Assign(std::string_view image) { record_.Assign(image); }

  // REPRISETYP as stored (one character). Put upper-cases value and keeps
  // only "P", " " or "C"; returns false, changing nothing, for any other.
  std::string RepriseType() const;
  bool RepriseType(std::string_view value);

  // REPRISERCV and REPRISELIB: get trims the blanks around the name; put
  // upper-cases value and pads it with blanks or cuts it to 10.
  std::string RepriseReceiver() const;
  void RepriseReceiver(std::string_view value);
  std::string RepriseLibrary() const;
  void RepriseLibrary(std::string_view value);

  // REPRISEPNT: get reads the number the field starts with (ValOfText,
  // rounded half to even); put stores the value as 10 digits with leading
  // zeros. A negative value is refused (false, nothing changed): ten
  // characters hold no sign a reader could take back.
  std::int64_t ReprisePoint() const;
  bool ReprisePoint(std::int32_t value);

  // SCHEDULED and HOLD: get is true when the field reads as a number other
  // than 0; put stores "1" or "0".
  bool Scheduled() const;
  void Scheduled(bool value);
  bool Hold() const;
  void Hold(bool value);

 private:
  Record record_;
};

// Returns the number text starts with, read as a script's Val reads it:
// blanks, tabs, carriage returns and line feeds anywhere are skipped, then an
// optional sign, digits, an optional fraction after "." and an optional
// exponent (E or D, with its own sign); reading stops at the first character
// that cannot continue the number. Text without a number gives 0. Only
// decimal text is read ("&H" prefixes give 0). Results beyond the range of a
// double give plus or minus infinity.
double ValOfText(std::string_view text);

// Returns the REPRISEPNT text of a recovery point: the decimal digits of
// value, padded on the left with zeros to 10 ("0000000042"). Throws
// std::invalid_argument for a negative value.
std::string ReprisePointText(std::int32_t value);

}  // namespace qv::automation
