// Record codec: a fixed-width record image over one layout, with field access
// by name or by index, and the conversions between records and NT table rows.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/record_layouts.h"

namespace qv {

// Returns value padded on the right with blanks, or cut, to exactly width.
std::string FitText(std::string_view value, std::size_t width);

// A record image of exactly layout().length characters. Values are padded
// with blanks or cut to their field's width; nothing ever writes past the
// image. Field names not in the layout throw UnknownFieldError; field indexes
// out of range throw std::out_of_range. The record refers to its layout,
// which must outlive it (the layouts of record_layouts.h are static).
class Record {
 public:
  // Builds a record of blanks.
  explicit Record(const Layout& layout);
  // Builds a record from an image: a shorter image is padded with blanks, a
  // longer one is cut.
  Record(const Layout& layout, std::string_view image);

  const Layout& layout() const noexcept { return *layout_; }
  const std::string& image() const noexcept { return image_; }
  std::size_t size() const noexcept { return image_.size(); }

  // Returns the field's text at its full width, blanks included.
  std::string_view Get(std::string_view field) const { return Get(layout_->Index(field)); }
  std::string_view Get(std::size_t index) const;
  // Returns the field's text without leading and trailing blanks.
  std::string_view Trimmed(std::string_view field) const;

  // Stores value in the field, padded with blanks or cut at the width.
  void Set(std::string_view field, std::string_view value) { Set(layout_->Index(field), value); }
  void Set(std::size_t index, std::string_view value);

  // Replaces the whole image (padded or cut as in the constructor).
  void Assign(std::string_view image);

  friend bool operator==(const Record& a, const Record& b) {
    return a.layout_ == b.layout_ && a.image_ == b.image_;
  }

 private:
  const Field& At(std::size_t index) const;

  const Layout* layout_;
  std::string image_;
};

// Builds the image of a key layout from its leading values, each padded or
// cut to its width; fields without a value are blank. BuildKey(TargetKey,
// {"A", "T1"}) gives "A T1 ". Throws std::invalid_argument for more values
// than fields.
std::string BuildKey(const Layout& keyLayout, std::initializer_list<std::string_view> values);

// Builds a record from one value per field, in record order (each padded or
// cut to its width); missing trailing values are blank. Throws
// std::invalid_argument for more values than fields.
Record RecordFromValues(const Layout& layout, std::span<const std::string_view> values);

// Cuts a block of records read together into records: at most count whole
// records of the layout's length (a trailing partial record is ignored).
std::vector<Record> RecordsFromBlock(const Layout& layout, std::string_view block,
                                     std::size_t count);

// ---- NT forms -------------------------------------------------------------
// An NT table has a column for every field of its record except the fields
// marked nt = false (the receiver library of QV_GC and QV_FC). Its rows come
// back as the columns side by side at their widths.

// Returns the NT column names in record order (FILLER last where present).
std::vector<std::string_view> NtColumns(const Layout& table);

// Returns the length of an NT row image: the record length minus the fields
// without a column (614 for QV_GC, 547 for QV_FC).
std::size_t NtRowLength(const Layout& table);

// Reads an NT row image as a record: blanks are put at the place of each
// field without a column, so that the fields after it keep their offsets. A
// shorter row is padded with blanks, a longer one cut.
Record NtRowToRecord(const Layout& table, std::string_view row);

// Returns the NT row image of a record: the record without the fields that
// have no column.
std::string RecordToNtRow(const Record& record);

// Returns the value of every NT column, in column order, at its full width;
// the views point into record.
std::vector<std::string_view> RecordToNtValues(const Record& record);

}  // namespace qv
