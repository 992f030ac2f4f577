// Tests the message lookup: language choice, placeholder filling, and the tables' content.
#include "presentation/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/language.h"

namespace qv {
namespace {

using platform::kEnglishUS;
using platform::kFrenchFrance;

constexpr std::array<int, 5> kFrenchIds = {1036, 2060, 3084, 4108, 5132};

// Sets the process language for one test and restores the locale's afterwards.
class LanguageGuard {
 public:
  explicit LanguageGuard(int languageId) { platform::SetUserLanguage(languageId); }
  ~LanguageGuard() { platform::SetUserLanguage(0); }
  LanguageGuard(const LanguageGuard&) = delete;
  LanguageGuard& operator=(const LanguageGuard&) = delete;
};

std::vector<std::string> Params(std::initializer_list<const char*> values) {
  return std::vector<std::string>(values.begin(), values.end());
}

TEST(Messages, FillsTheCallersValues) {
  LanguageGuard english(kEnglishUS);
  EXPECT_EQ(cLoadResString("2025", "F1", "TB", "M1"), "Field F1 not found in table TB for model M1");
  EXPECT_EQ(cLoadResString("1314", "", "", "", "", "46"), "Lenght (46) greather than the autorized 45 char");
  // Missing values leave nothing in place.
  EXPECT_EQ(cLoadResString("2020"), "Target  not found");
  EXPECT_EQ(cLoadResString("2133"), "Invalid password");
  // An explicit language wins over the user's and leaves placeholders without values.
  EXPECT_EQ(LoadResString(kEnglishUS, 2022), "Environment &1 not found");
  EXPECT_EQ(LoadResString(kFrenchFrance, 2132, Params({"X"})), "Utilisateur X non autoris\xE9");
}

TEST(Messages, FollowsTheUserLanguage) {
  for (int language : kFrenchIds) {
    LanguageGuard french(language);
    EXPECT_EQ(cLoadResString("2132", "BOB"), "Utilisateur BOB non autoris\xE9") << language;
    EXPECT_EQ(cLoadResString("1376", "I.X"), "La zone I.X doit \xEAtre alphanum\xE9rique") << language;
  }
  for (int language : {kEnglishUS, 2057, 1031, 0x0C0C + 1, -1}) {
    LanguageGuard other(language);
    EXPECT_EQ(cLoadResString("1376", "I.X"), "The field I.X must be alphanumeric") << language;
  }
}

TEST(Messages, UnknownOrMalformedIdsGiveEmptyText) {
  LanguageGuard english(kEnglishUS);
  for (const char* id : {"", " ", "29", "2029", "99999", "4294967297", "20 20", "2020x", "x2020", "-2020",
                         "+2020", "20.2", "0x7E4"}) {
    EXPECT_EQ(cLoadResString(id, "T1"), "") << '"' << id << '"';
  }
  EXPECT_EQ(cLoadResString(" 2020 ", "T1"), "Target T1 not found");
  EXPECT_EQ(cLoadResString("02020", "T1"), "Target T1 not found");
  EXPECT_EQ(LoadResString(kEnglishUS, -1), "");
}

TEST(Placeholders, FillInOrderAtTheFirstOccurrenceOnly) {
  struct Case {
    const char* text;
    std::vector<std::string> params;
    const char* expected;
  };
  const Case cases[] = {
      {"&1 and &1", Params({"a"}), "a and &1"},                      // repeated placeholder
      {"&2 before &1", Params({"a", "b"}), "b before a"},            // order in the text does not matter
      {"&1|&2", Params({"&2", "x"}), "x|&2"},                        // a value holding a later placeholder
      {"&2|&1", Params({"x", "&1"}), "&1|x"},                        // an earlier one stays as given
      {"&1", Params({"&1"}), "&1"},                                  // no endless refilling
      {"&8 &7 &9", Params({"1", "2", "3", "4", "5", "6", "7"}), "&8 7 &9"},
      {"&10", Params({"a"}), "a0"},                                   // "&1" followed by "0"
      {"&&1", Params({"a"}), "&a"},
      {"&", Params({"a"}), "&"},
      {"", Params({"a"}), ""},
      {"&1&2&3", {}, ""},                                             // missing values are empty
      {"&3", Params({"a"}), ""},
      {"no placeholder", Params({"a"}), "no placeholder"},
      {"&1", Params({"1", "2", "3", "4", "5", "6", "7", "8"}), "1"},  // values past 7 are ignored
      {"&1 / &2", Params({"<&2>", "v"}), "<v> / &2"},  // a value's "&2" comes first: it is the one filled
  };
  for (const Case& c : cases) EXPECT_EQ(FillPlaceholders(c.text, c.params), c.expected) << c.text;
}

TEST(StringTables, HoldTheSameIdsInBothLanguagesAndTheSamePlaceholders) {
  const std::vector<int> english = ResourceIds(kEnglishUS);
  EXPECT_TRUE(std::is_sorted(english.begin(), english.end()));
  EXPECT_EQ(std::adjacent_find(english.begin(), english.end()), english.end());
  for (int language : kFrenchIds) EXPECT_EQ(ResourceIds(language), english) << language;
  EXPECT_GE(english.size(), 280u);

  const std::regex placeholder("&[1-7]");
  const auto placeholders = [&](const std::string& text) {
    std::multiset<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it) {
      found.insert(it->str());
    }
    return found;
  };
  for (int id : english) {
    const std::string en = LoadResString(kEnglishUS, id);
    const std::string fr = LoadResString(kFrenchFrance, id);
    EXPECT_FALSE(en.empty()) << id;
    EXPECT_FALSE(fr.empty()) << id;
    EXPECT_EQ(placeholders(en), placeholders(fr)) << id << ": " << en;
  }
}

}  // namespace
}  // namespace qv
