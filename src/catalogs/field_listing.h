// Reading the answers that describe a source file's fields: pages of
// fixed-width entries, the access path with its key fields, the field
// entries, and their conversion into field descriptions (QV_ZX records).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

namespace qv {
namespace platform {
class ListItem;
}

// A malformed answer from the source. The message names the command and what
// is wrong with its answer.
class ListingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Widths of the entries of the format and field listings.
inline constexpr std::size_t kFormatEntryWidth = 80;
inline constexpr std::size_t kFieldEntryWidth = 108;
// The most key fields an access path is read with.
inline constexpr std::size_t kMaxKeyFields = 120;

// Returns the entries of one page of a paged listing: the first 5 characters
// of reply give the number of bytes of entries that follow. Throws
// ListingError when they are not digits, when the count is not a multiple
// of width, or when it is larger than what follows in reply. A count of 0
// gives no entries (the listing has ended). The views point into reply.
std::vector<std::string_view> ListingEntries(std::string_view reply, std::size_t width,
                                             std::string_view command);

// A record format of a file, as the format listing gives it.
struct RecordFormat {
  std::string name;     // positions 1-10
  std::string second;   // positions 11-20
  long long length = 0; // positions 21-30
};
RecordFormat ReadRecordFormat(std::string_view entry);

// The access path of a file.
struct AccessPath {
  bool found = false;              // false: the source found no such file
  bool keyed = false;              // false: arrival sequence ("AR")
  std::vector<std::string> keys;   // key field names, trimmed and upper-cased
};
// Reads the access-path answer: positions 6-30 blank mean no file; positions
// 26-27 "AR" arrival sequence; otherwise positions 28-30 count the key fields,
// whose 10-character names follow from position 31 (at most kMaxKeyFields are
// read). Throws ListingError for an answer too short for what it announces.
AccessPath ReadAccessPath(std::string_view reply);

// How the fields are converted: for a list shown to the user, or for the
// QV_ZX rows of a model table (more letters, other lengths of binary and
// float fields, allow-null rules of key fields).
enum class FieldUse { List, Store };

// Converts the field entries of a file (in listing order) into field
// descriptions: QV_ZX records with FIELDINPUT to KEYORDER filled (ENVID,
// GRPID, FICID blank). POS_EXT runs from "00001", each field after the one
// before it. In List use a letter without a conversion leaves type, length
// and decimals blank; in Store use it throws ListingError naming the field
// and its letter, before any record is returned.
std::vector<Record> ConvertFields(const std::vector<std::string_view>& entries,
                                  const AccessPath& path, FieldUse use);

// The lengths a model table records from its fields.
struct RecordLengths {
  long long external = 0;  // the external record: the sum of the external lengths
  long long fields = 0;    // the number of fields
};
RecordLengths ExternalLengths(const std::vector<Record>& fields);

// ---- Field lists --------------------------------------------------------------
// A field list item holds a field as InitListField lays out its columns: the
// field name as its text, then description, type display text, date mask,
// POS_IN, LEN_IN, allow-null text, KEYORDER, type code, LEN, DECI, LEN_EXT,
// based, POS_EXT as sub-items 1 to 13.

// Shows the field description zx in item.
void ShowField(platform::ListItem& item, const Record& zx);

// Returns the field description item holds, for model table (env, grp,
// fic): the mask and allow-null texts back to their codes, the numbers in 5
// digits. Throws std::invalid_argument naming the field for a mask or an
// allow-null text that has no code, or a number that is not one.
Record FieldFromItem(const platform::ListItem& item, std::string_view env, std::string_view grp,
                     std::string_view fic);

// ---- Field writes of AS/400 sources --------------------------------------------

// The most field records and deleted-field keys one write request carries.
inline constexpr std::size_t kFieldRecordsPerRequest = 35;
inline constexpr std::size_t kFieldKeysPerRequest = 136;

// Returns the requests that apply field changes to model table (env, grp,
// fic), unpadded: the begin request ("04096" "0" env grp fic), then the
// written records ("04096" "1", a 2-digit count, the 114-character records)
// and the deleted field names ("04096" "2", a 3-digit count, the
// 30-character names), in batches of at most the sizes above. Nothing to
// change gives no request at all.
std::vector<std::string> FieldWriteRequests(std::string_view env, std::string_view grp,
                                            std::string_view fic,
                                            const std::vector<Record>& written,
                                            const std::vector<std::string>& deleted);

}  // namespace qv
