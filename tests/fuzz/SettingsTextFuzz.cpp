// The settings file's text format. Bit 0 of the first byte chooses the way in:
// the rest read as a settings text, or taken apart into values (type, name and
// data, with a byte of length before each) that are written as one. Either way
// what is written reads back as the same values, and writing those again gives
// the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/SettingsText.h"

using namespace orvella::platform;

namespace {

bool Same(const TSettingsValues& A, const TSettingsValues& B) {
  if (A.size() != B.size())
    return false;
  for (auto a = A.begin(), b = B.begin(); a != A.end(); ++a, ++b) {
    if (a->first != b->first || a->second.Type != b->second.Type || a->second.Data != b->second.Data)
      return false;
  }
  return true;
}

// A length byte, then that many bytes (fewer where the input ends).
std::string_view Take(std::string_view& AInput) {
  if (AInput.empty())
    return {};
  const size_t length = std::min<size_t>(static_cast<unsigned char>(AInput[0]), AInput.size() - 1);
  const std::string_view part = AInput.substr(1, length);
  AInput.remove_prefix(1 + length);
  return part;
}

TSettingsValues ValuesOf(std::string_view AInput) {
  static const TRegValueType Types[] = {TRegValueType::String, TRegValueType::ExpandString, TRegValueType::DWord,
                                        TRegValueType::Binary, TRegValueType::Other};
  TSettingsValues values;
  while (!AInput.empty()) {
    const TRegValueType type = Types[static_cast<unsigned char>(AInput[0]) % std::size(Types)];
    AInput.remove_prefix(1);
    const std::string name(Take(AInput));
    std::string data(Take(AInput));
    // A DWord is its four bytes, as the settings store always writes it.
    if (type == TRegValueType::DWord)
      data.resize(4, '\0');
    values[name] = TRegValue{type, data};
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 1)
    return 0;
  const std::string_view rest(reinterpret_cast<const char*>(AData + 1), ASize - 1);
  TSettingsValues values;
  if ((AData[0] & 1) == 0) {
    const auto read = ParseSettingsText(std::string(rest));
    if (!read)
      return 0;
    values = *read;
  } else {
    values = ValuesOf(rest);
  }
  const std::string text = SettingsText(values);
  const auto again = ParseSettingsText(text);
  if (!again || !Same(*again, values) || SettingsText(*again) != text)
    std::abort();
  return 0;
}
