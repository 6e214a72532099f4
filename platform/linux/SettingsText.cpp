#include "platform/linux/SettingsText.h"

#include <sstream>

namespace orvella::platform {
namespace {

constexpr std::string_view Header = "orvella-settings 1";
constexpr std::string_view Trailer = "end";

std::string_view TypeName(TRegValueType AType) {
  switch (AType) {
  case TRegValueType::String:
    return "sz";
  case TRegValueType::ExpandString:
    return "expand_sz";
  case TRegValueType::DWord:
    return "dword";
  case TRegValueType::Binary:
    return "binary";
  case TRegValueType::Other:
    break;
  }
  return "other";
}

std::optional<TRegValueType> TypeFromName(std::string_view AName) {
  for (const TRegValueType type : {TRegValueType::String, TRegValueType::ExpandString, TRegValueType::DWord,
                                   TRegValueType::Binary, TRegValueType::Other}) {
    if (TypeName(type) == AName)
      return type;
  }
  return std::nullopt;
}

constexpr char HexDigits[] = "0123456789ABCDEF";

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  return -1;
}

std::string Escape(std::string_view AText) {
  std::string out;
  for (const char c : AText) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%' || c == '=') {
      out += '%';
      out += HexDigits[byte >> 4];
      out += HexDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view AText) {
  std::string out;
  for (size_t i = 0; i < AText.size(); ++i) {
    const auto byte = static_cast<unsigned char>(AText[i]);
    if (byte <= 0x20 || byte == 0x7F || AText[i] == '=')
      return std::nullopt;
    if (AText[i] != '%') {
      out += AText[i];
      continue;
    }
    if (i + 2 >= AText.size())
      return std::nullopt;
    const int high = HexValue(AText[i + 1]);
    const int low = HexValue(AText[i + 2]);
    if (high < 0 || low < 0)
      return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string FormatData(const TRegValue& AValue) {
  switch (AValue.Type) {
  case TRegValueType::DWord: {
    uint32_t number = 0;
    for (size_t i = 0; i < 4 && i < AValue.Data.size(); ++i)
      number |= static_cast<uint32_t>(static_cast<unsigned char>(AValue.Data[i])) << (8 * i);
    return std::to_string(number);
  }
  case TRegValueType::Binary: {
    std::string hex;
    for (const char c : AValue.Data) {
      hex += HexDigits[static_cast<unsigned char>(c) >> 4];
      hex += HexDigits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
  }
  default:
    return Escape(AValue.Data);
  }
}

std::optional<std::string> ParseData(TRegValueType AType, std::string_view AText) {
  switch (AType) {
  case TRegValueType::DWord: {
    if (AText.empty() || AText.size() > 10)
      return std::nullopt;
    uint64_t number = 0;
    for (const char c : AText) {
      if (c < '0' || c > '9')
        return std::nullopt;
      number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > 0xFFFFFFFFu)
      return std::nullopt;
    std::string bytes(4, '\0');
    for (size_t i = 0; i < 4; ++i)
      bytes[i] = static_cast<char>(number >> (8 * i));
    return bytes;
  }
  case TRegValueType::Binary: {
    if (AText.size() % 2 != 0)
      return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < AText.size(); i += 2) {
      const int high = HexValue(AText[i]);
      const int low = HexValue(AText[i + 1]);
      if (high < 0 || low < 0)
        return std::nullopt;
      bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
  }
  default:
    return Unescape(AText);
  }
}

}  // namespace

std::string SettingsText(const TSettingsValues& AValues) {
  std::string text(Header);
  text += '\n';
  for (const auto& [name, value] : AValues) {
    text += TypeName(value.Type);
    text += ' ';
    text += Escape(name);
    text += '=';
    text += FormatData(value);
    text += '\n';
  }
  text += Trailer;
  text += '\n';
  return text;
}

std::optional<TSettingsValues> ParseSettingsText(const std::string& AText) {
  std::istringstream lines(AText);
  std::string line;
  if (!std::getline(lines, line) || line != Header)
    return std::nullopt;
  TSettingsValues values;
  bool ended = false;
  while (std::getline(lines, line)) {
    if (ended)
      return std::nullopt;
    if (line == Trailer) {
      ended = true;
      continue;
    }
    const size_t blank = line.find(' ');
    const size_t equals = line.find('=');
    if (blank == std::string::npos || equals == std::string::npos || equals < blank)
      return std::nullopt;
    const std::optional<TRegValueType> type = TypeFromName(std::string_view(line).substr(0, blank));
    std::optional<std::string> name = Unescape(std::string_view(line).substr(blank + 1, equals - blank - 1));
    if (!type || !name)
      return std::nullopt;
    std::optional<std::string> data = ParseData(*type, std::string_view(line).substr(equals + 1));
    if (!data)
      return std::nullopt;
    values[*name] = TRegValue{*type, std::move(*data)};
  }
  // Cut short: the closing line, and the line break after it, must be there.
  if (!ended || AText.back() != '\n')
    return std::nullopt;
  return values;
}

}  // namespace orvella::platform
