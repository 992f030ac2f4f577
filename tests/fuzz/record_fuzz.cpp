// Fuzz target of the record codec: the first byte picks a layout, the rest is
// an image. The record keeps its length; its fields side by side give back
// the image; setting each field to its own value changes nothing; the values
// build the same record again; an NT row of a table reads back as the record
// with blanks in the fields that have no column; a key built from the leading
// values has the key layout's length.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "store/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto layouts = qv::AllLayouts();
  const qv::Layout& layout = *layouts[data[0] % layouts.size()];
  const std::string_view image(reinterpret_cast<const char*>(data) + 1, size - 1);
  qv::Record record(layout, image);
  FUZZ_CHECK(record.size() == layout.length);
  FUZZ_CHECK(record.image() == qv::FitText(image, layout.length));
  std::string joined;
  std::vector<std::string_view> values;
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    joined += record.Get(i);
    values.push_back(record.Get(i));
    FUZZ_CHECK(record.Trimmed(layout.fields[i].name).size() <= layout.fields[i].width);
  }
  FUZZ_CHECK(joined == record.image());
  const qv::Record rebuilt = qv::RecordFromValues(layout, values);
  FUZZ_CHECK(rebuilt == record);
  qv::Record copy = record;
  for (std::size_t i = 0; i < layout.fields.size(); ++i) copy.Set(i, std::string(record.Get(i)));
  FUZZ_CHECK(copy == record);
  if (layout.kind == qv::LayoutKind::Table) {
    const std::string row = qv::RecordToNtRow(record);
    FUZZ_CHECK(row.size() == qv::NtRowLength(layout));
    FUZZ_CHECK(qv::RecordToNtValues(record).size() == qv::NtColumns(layout).size());
    const qv::Record back = qv::NtRowToRecord(layout, row);
    for (std::size_t i = 0; i < layout.fields.size(); ++i)
      FUZZ_CHECK(layout.fields[i].nt ? back.Get(i) == record.Get(i)
                                     : back.Get(i).find_first_not_of(' ') == std::string_view::npos);
    if (layout.keyCount >= 2) {
      const std::string key = qv::BuildKey(layout, {record.Get(0), record.Get(1)});
      FUZZ_CHECK(key.size() == layout.length);
    }
  }
  return 0;
}
