#pragma once
// One sample of a monitor: nothing, an integer, a real number or a text.
#include <cstdint>
#include <string>
#include <variant>

#include "platform/FormatSettings.h"

namespace orvella {

class TSampleValue {
public:
  TSampleValue() = default;
  TSampleValue(int64_t AValue) : FValue(AValue) {}
  TSampleValue(int AValue) : FValue(static_cast<int64_t>(AValue)) {}
  TSampleValue(double AValue) : FValue(AValue) {}
  TSampleValue(std::string AValue) : FValue(std::move(AValue)) {}
  TSampleValue(const char* AValue) : FValue(std::string(AValue)) {}

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(FValue); }
  bool IsNumeric() const { return IsInteger() || IsReal(); }
  bool IsInteger() const { return std::holds_alternative<int64_t>(FValue); }
  bool IsReal() const { return std::holds_alternative<double>(FValue); }
  bool IsText() const { return std::holds_alternative<std::string>(FValue); }

  // The numeric value; 0 for an empty value or a text.
  double AsDouble() const;
  // The value as a log line prints it: an integer in decimal, a real number in
  // general format, a text unchanged, an empty value as "".
  std::string ToText(const platform::TFormatSettings& ASettings) const;

  bool operator==(const TSampleValue&) const = default;

private:
  std::variant<std::monostate, int64_t, double, std::string> FValue;
};

// General format: at most 15 significant digits, trailing zeros dropped, fixed
// notation unless the magnitude is below 0.00001 or has more than 15 integer
// digits; then a mantissa, "E", a minus for negative exponents and the exponent.
std::string FormatGeneralFloat(double AValue, const std::string& ADecimalSeparator);

}  // namespace orvella
