// Record codec and the NT row conversions.
#include "store/records.h"

#include <algorithm>
#include <stdexcept>

namespace qv {

std::string FitText(std::string_view value, std::size_t width) {
  std::string out(value.substr(0, width));
  out.resize(width, ' ');
  return out;
}

Record::Record(const Layout& layout) : layout_(&layout), image_(layout.length, ' ') {}

Record::Record(const Layout& layout, std::string_view image)
    : layout_(&layout), image_(FitText(image, layout.length)) {}

const Field& Record::At(std::size_t index) const {
  if (index >= layout_->fields.size())
    throw std::out_of_range("field index " + std::to_string(index) + " out of range in layout '" +
                            std::string(layout_->name) + "'");
  return layout_->fields[index];
}

std::string_view Record::Get(std::size_t index) const {
  const Field& f = At(index);
  return std::string_view(image_).substr(f.offset, f.width);
}

std::string_view Record::Trimmed(std::string_view field) const {
  std::string_view v = Get(field);
  const auto first = v.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return v.substr(first, v.find_last_not_of(' ') - first + 1);
}

void Record::Set(std::size_t index, std::string_view value) {
  const Field& f = At(index);
  const std::size_t n = std::min<std::size_t>(value.size(), f.width);
  char* dst = image_.data() + f.offset;
  std::copy_n(value.data(), n, dst);
  std::fill(dst + n, dst + f.width, ' ');
}

void Record::Assign(std::string_view image) { image_ = FitText(image, layout_->length); }

std::string BuildKey(const Layout& keyLayout, std::initializer_list<std::string_view> values) {
  return RecordFromValues(keyLayout, std::span<const std::string_view>(values.begin(), values.size()))
      .image();
}

Record RecordFromValues(const Layout& layout, std::span<const std::string_view> values) {
  if (values.size() > layout.fields.size())
    throw std::invalid_argument(std::to_string(values.size()) + " values for the " +
                                std::to_string(layout.fields.size()) + " fields of '" +
                                std::string(layout.name) + "'");
  Record r(layout);
  for (std::size_t i = 0; i < values.size(); ++i) r.Set(i, values[i]);
  return r;
}

std::vector<Record> RecordsFromBlock(const Layout& layout, std::string_view block,
                                     std::size_t count) {
  count = std::min(count, block.size() / layout.length);
  std::vector<Record> out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    out.emplace_back(layout, block.substr(i * layout.length, layout.length));
  return out;
}

std::vector<std::string_view> NtColumns(const Layout& table) {
  std::vector<std::string_view> out;
  out.reserve(table.fields.size());
  for (const Field& f : table.fields)
    if (f.nt) out.push_back(f.column);
  return out;
}

std::size_t NtRowLength(const Layout& table) {
  std::size_t n = 0;
  for (const Field& f : table.fields)
    if (f.nt) n += f.width;
  return n;
}

Record NtRowToRecord(const Layout& table, std::string_view row) {
  std::string image(table.length, ' ');
  std::size_t pos = 0;
  for (const Field& f : table.fields) {
    if (!f.nt) continue;  // stays blank
    if (pos < row.size()) {
      const std::size_t n = std::min<std::size_t>(f.width, row.size() - pos);
      std::copy_n(row.data() + pos, n, image.data() + f.offset);
    }
    pos += f.width;
  }
  return Record(table, image);
}

std::string RecordToNtRow(const Record& record) {
  std::string out;
  out.reserve(record.size());
  const auto fields = record.layout().fields;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].nt) out.append(record.Get(i));
  return out;
}

std::vector<std::string_view> RecordToNtValues(const Record& record) {
  std::vector<std::string_view> out;
  const auto fields = record.layout().fields;
  out.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].nt) out.push_back(record.Get(i));
  return out;
}

}  // namespace qv
