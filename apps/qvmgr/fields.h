// Names the fields of a record image for display: one (name, value) pair per
// field of its layout, values without trailing blanks, filler left out and
// secrets masked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/record_layouts.h"

namespace qv::cli {

struct NamedField {
  std::string name;
  std::string value;  // Windows-1252, trailing blanks removed
};

// True for the fields that hold a password (QV_PASSWORD, DSN_PWD, PASSWORD).
bool IsSecretField(std::string_view name);

// Cuts image by the layout: every field but FILLER, in record order. A
// shorter image gives blanks for the fields it lacks. Secret fields that are
// not blank read kMaskedPassword (presentation/strutil.h).
std::vector<NamedField> NameFields(const Layout& layout, std::string_view image);

}  // namespace qv::cli
