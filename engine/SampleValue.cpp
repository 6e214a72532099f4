#include "engine/SampleValue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvella {

double TSampleValue::AsDouble() const {
  if (const auto* i = std::get_if<int64_t>(&FValue))
    return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&FValue))
    return *d;
  return 0.0;
}

std::string TSampleValue::ToText(const platform::TFormatSettings& ASettings) const {
  if (const auto* i = std::get_if<int64_t>(&FValue))
    return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&FValue))
    return FormatGeneralFloat(*d, ASettings.DecimalSeparator);
  if (const auto* s = std::get_if<std::string>(&FValue))
    return *s;
  return {};
}

std::string FormatGeneralFloat(double AValue, const std::string& ADecimalSeparator) {
  if (std::isnan(AValue))
    return "NAN";
  if (std::isinf(AValue))
    return AValue < 0 ? "-INF" : "INF";
  if (AValue == 0)
    return "0";

  constexpr int Precision = 15;
  // "d.dddddddddddddde±x": the 15 significant digits, correctly rounded.
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*e", Precision - 1, AValue);
  const char* p = buffer;
  const bool negative = *p == '-';
  if (negative)
    ++p;
  std::string digits;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9')
      digits += *p;
  const int exponent = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string text = negative ? "-" : "";
  if (exponent >= Precision || exponent < -5) {
    text += digits[0];
    if (digits.size() > 1)
      text += ADecimalSeparator + digits.substr(1);
    text += 'E';
    if (exponent < 0)
      text += '-';
    text += std::to_string(std::abs(exponent));
  } else if (exponent < 0) {
    text += "0" + ADecimalSeparator + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    const size_t integerDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      text += digits + std::string(integerDigits - digits.size(), '0');
    } else {
      text += digits.substr(0, integerDigits) + ADecimalSeparator + digits.substr(integerDigits);
    }
  }
  return text;
}

}  // namespace orvella
