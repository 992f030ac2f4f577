// Message lookup: the numbered string tables compiled into the library, in the user's
// language, with the placeholders "&1" to "&7" filled by the caller's values.
//
// Two tables exist: English (language 1033) and French, which serves the five French
// language ids (1036 France, 2060 Belgium, 3084 Canada, 4108 Switzerland, 5132
// Luxembourg). Any other language reads the English table. Texts are Windows-1252.
// Nothing here throws (beyond std::bad_alloc).
#pragma once

#include <span>
#include <string>
#include <vector>

namespace qv {

// Returns entry id (decimal text, as callers write it: "2020") in the user's language
// (qv::platform::UserLanguage()) with its placeholders filled by p1 to p7 (see
// FillPlaceholders). An id that the table does not hold, or that is not a decimal
// number (blanks around it are allowed), gives "".
//   cLoadResString("2020", "T1") == "Target T1 not found"
std::string cLoadResString(const std::string& id, const std::string& p1 = "", const std::string& p2 = "",
                           const std::string& p3 = "", const std::string& p4 = "", const std::string& p5 = "",
                           const std::string& p6 = "", const std::string& p7 = "");

// Returns entry id of the table of languageId, unfilled; "" when the table lacks it.
std::string LoadResString(int languageId, int id);

// Returns entry id of the table of languageId with its placeholders filled by params.
std::string LoadResString(int languageId, int id, std::span<const std::string> params);

// Fills placeholders as the string tables expect: for k = 1 to 7 in this order, when
// "&k" occurs in the text as it stands, its first occurrence only is replaced by the
// k-th value (an empty text when params holds fewer than k values). Later occurrences
// of the same placeholder stay; a value that itself holds a later placeholder is
// filled in its turn; "&8" and beyond are never touched.
//   FillPlaceholders("&1 and &1", {"a"}) == "a and &1"
std::string FillPlaceholders(std::string text, std::span<const std::string> params);

// Returns the language id whose table serves languageId: 1036 for the five French
// ids, 1033 for any other.
int ResourceLanguage(int languageId);

// Returns the ids held by the table of languageId, in increasing order.
std::vector<int> ResourceIds(int languageId);

}  // namespace qv
