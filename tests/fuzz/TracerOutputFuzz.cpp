// The route tracer's output as the report packer converts it to UTF-8. The
// first byte chooses the console's character set among those a Linux or a
// Windows console writes in; the rest is the output. Whatever the bytes, the
// result is valid UTF-8, and output that already is valid UTF-8 comes through
// unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/RouteTracer.h"

namespace {

// Well-formed UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsUtf8(std::string_view AText) {
  for (size_t i = 0; i < AText.size();) {
    const auto byte = static_cast<unsigned char>(AText[i]);
    const size_t length = byte < 0x80                    ? 1
                          : byte >= 0xC2 && byte <= 0xDF ? 2
                          : byte >= 0xE0 && byte <= 0xEF ? 3
                          : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || i + length > AText.size())
      return false;
    uint32_t code = length == 1 ? byte : byte & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(AText[i + k]);
      if ((next & 0xC0) != 0x80)
        return false;
      code = code << 6 | (next & 0x3F);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
      return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const char* const Charsets[] = {"UTF-8",  "CP866",      "CP437",         "CP1251",
                                         "KOI8-R", "ISO-8859-1", "ANSI_X3.4-1968"};
  if (ASize < 1)
    return 0;
  const std::string charset = Charsets[AData[0] % std::size(Charsets)];
  const std::string_view bytes(reinterpret_cast<const char*>(AData + 1), ASize - 1);
  const std::string text = orvella::platform::ConsoleTextToUtf8(bytes, charset);
  if (!IsUtf8(text) || (charset == "UTF-8" && IsUtf8(bytes) && text != bytes))
    std::abort();
  return 0;
}
