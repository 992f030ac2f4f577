// The manager's copy of a distribution record and its property conversions.
#include "automation/distribution_copy.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

#include "presentation/strutil.h"

namespace qv::automation {
namespace {

constexpr std::size_t kNameWidth = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Returns text without the characters a script's Val skips.
std::string WithoutBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out.push_back(c);
  return out;
}

bool FlagOf(std::string_view field) { return ValOfText(field) != 0.0; }

}  // namespace

double ValOfText(std::string_view text) {
  const std::string s = WithoutBlanks(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t intStart = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  const std::size_t intEnd = i;
  std::size_t fracStart = i, fracEnd = i;
  if (i < s.size() && s[i] == '.') {
    fracStart = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    fracEnd = i;
  }
  if (intEnd == intStart && fracEnd == fracStart) return 0.0;
  // An exponent counts only when digits follow it.
  long long exponent = 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) negativeExponent = s[j++] == '-';
    if (j < s.size() && IsDigit(s[j])) {
      for (; j < s.size() && IsDigit(s[j]); ++j)
        if (exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
      if (negativeExponent) exponent = -exponent;
    }
  }
  std::string number(s, intStart, intEnd - intStart);
  if (number.empty()) number = "0";
  if (fracEnd > fracStart) number += "." + s.substr(fracStart, fracEnd - fracStart);
  number += "e" + std::to_string(exponent);
  double value = 0.0;
  const std::from_chars_result r = std::from_chars(number.data(), number.data() + number.size(), value);
  if (r.ec == std::errc::result_out_of_range) {
    // Tells overflow from underflow by the place of the first significant digit.
    long long magnitude = exponent;
    const std::size_t firstInt = s.find_first_not_of('0', intStart);
    if (firstInt < intEnd) {
      magnitude += static_cast<long long>(intEnd - firstInt);
    } else {
      const std::size_t firstFrac = s.find_first_not_of('0', fracStart);
      magnitude -= static_cast<long long>((firstFrac < fracEnd ? firstFrac : fracEnd) - fracStart);
    }
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

std::string ReprisePointText(std::int32_t value) {
  if (value < 0) throw std::invalid_argument("a recovery point cannot be negative");
  return ZeroPadLeft(std::to_string(value), 10);
}

std::string DistributionCopy::RepriseType() const { return std::string(record_.Get("REPRISETYP")); }

bool DistributionCopy::RepriseType(std::string_view value) {
  const std::string v = UCase(value);
  if (v != "P" && v != " " && v != "C") return false;
  record_.Set("REPRISETYP", v);
  return true;
}

std::string DistributionCopy::RepriseReceiver() const { return std::string(record_.Trimmed("REPRISERCV")); }
void DistributionCopy::RepriseReceiver(std::string_view value) {
  record_.Set("REPRISERCV", PadRight(UCase(value), kNameWidth));
}

std::string DistributionCopy::RepriseLibrary() const { return std::string(record_.Trimmed("REPRISELIB")); }
void DistributionCopy::RepriseLibrary(std::string_view value) {
  record_.Set("REPRISELIB", PadRight(UCase(value), kNameWidth));
}

std::int64_t DistributionCopy::ReprisePoint() const {
  const double v = std::nearbyint(ValOfText(record_.Get("REPRISEPNT")));
  constexpr double kLimit = 9.2e18;  // inside the range of a 64-bit integer
  if (!(v < kLimit)) return std::numeric_limits<std::int64_t>::max();
  if (!(v > -kLimit)) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

bool DistributionCopy::ReprisePoint(std::int32_t value) {
  if (value < 0) return false;
  record_.Set("REPRISEPNT", ReprisePointText(value));
  return true;
}

bool DistributionCopy::Scheduled() const { return FlagOf(record_.Get("SCHEDULED")); }
void DistributionCopy::Scheduled(bool value) { record_.Set("SCHEDULED", value ? "1" : "0"); }
bool DistributionCopy::Hold() const { return FlagOf(record_.Get("HOLD")); }
void DistributionCopy::Hold(bool value) { record_.Set("HOLD", value ? "1" : "0"); }

}  // namespace qv::automation
