// Fuzz target of the field catalog answers: the first byte picks the reader
// (a listing page of formats or fields, an access path, a format entry, or a
// field page converted for a list and for the store). Every reader either
// refuses the answer with ListingError or gives entries that lie inside it.
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogs/field_listing.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 4) {
      case 0: {
        const auto entries = qv::ListingEntries(reply, qv::kFormatEntryWidth, "SYSLSTRCD_");
        for (std::string_view e : entries) {
          FUZZ_CHECK(e.size() == qv::kFormatEntryWidth);
          FUZZ_CHECK(e.data() >= reply.data() && e.data() + e.size() <= reply.data() + reply.size());
          qv::ReadRecordFormat(e);
        }
        break;
      }
      case 1: {
        const qv::AccessPath path = qv::ReadAccessPath(reply);
        FUZZ_CHECK(path.keys.size() <= qv::kMaxKeyFields);
        FUZZ_CHECK(path.found || path.keys.empty());
        break;
      }
      default: {
        const auto entries = qv::ListingEntries(reply, qv::kFieldEntryWidth, "SYSLSTFLD_");
        qv::AccessPath path;
        path.found = true;
        const auto fields = qv::ConvertFields(entries, path, data[0] % 4 == 2 ? qv::FieldUse::List : qv::FieldUse::Store);
        FUZZ_CHECK(fields.size() == entries.size());
        for (const qv::Record& f : fields) FUZZ_CHECK(f.size() == qv::layout::QV_ZX.length);
        break;
      }
    }
  } catch (const qv::ListingError&) {
  }
  return 0;
}
