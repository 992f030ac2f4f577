// Naming the fields of record images for the command line.
#include "qvmgr/fields.h"

#include "presentation/strutil.h"
#include "store/records.h"

namespace qv::cli {

bool IsSecretField(std::string_view name) { return IsPasswordField(name); }

std::vector<NamedField> NameFields(const Layout& layout, std::string_view image) {
  const Record record(layout, image);
  std::vector<NamedField> out;
  out.reserve(layout.fields.size());
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const std::string_view name = layout.fields[i].name;
    if (name == "FILLER") continue;
    std::string value = RTrim(record.Get(i));
    if (IsSecretField(name) && !value.empty()) value = std::string(kMaskedPassword);
    out.push_back({std::string(name), std::move(value)});
  }
  return out;
}

}  // namespace qv::cli
