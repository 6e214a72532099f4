#include "platform/RouteTracer.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/SystemError.h"

namespace orvella::platform {
namespace {

bool OnSearchPath(const std::string& AProgram) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    const std::string candidate = std::string(folder.empty() ? "." : folder) + "/" + AProgram;
    if (access(candidate.c_str(), X_OK) == 0)
      return true;
    if (colon == std::string_view::npos)
      return false;
    rest.remove_prefix(colon + 1);
  }
}

class TIconv {
public:
  explicit TIconv(const std::string& AFrom) : FHandle(iconv_open("UTF-8", AFrom.c_str())) {
    if (FHandle == reinterpret_cast<iconv_t>(-1))
      RaiseLastOSError();
  }
  ~TIconv() { iconv_close(FHandle); }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  iconv_t Get() const { return FHandle; }

private:
  iconv_t FHandle;
};

}  // namespace

std::vector<std::string> RouteTraceCommand(const std::string& AHost) {
  // As pathping, the loss and round-trip times of every hop over 100 probes.
  // mtr probes all hops at once, one round a second (what it allows a user
  // who is not root; faster rounds would also meet the rate limits of
  // routers and show loss that is not there), so a trace lasts about 100 s
  // plus mtr's grace time for the last replies. "--" keeps a host name that
  // starts with a hyphen from being read as an option.
  if (OnSearchPath("mtr"))
    return {"mtr", "--report", "--report-wide", "--no-dns", "--report-cycles", "100", "--", AHost};
  return {"tracepath", "-n", "--", AHost};
}

std::string ConsoleCharset() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", nullptr);
  if (locale == nullptr)
    locale = newlocale(LC_CTYPE_MASK, "C", nullptr);
  if (locale == nullptr)
    return "ANSI_X3.4-1968";
  std::string charset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return charset;
}

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF) at the start of AText; 0 for none.
size_t Utf8SequenceAt(std::string_view AText) {
  const auto lead = static_cast<unsigned char>(AText[0]);
  const size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || length > AText.size())
    return 0;
  uint32_t code = length == 1 ? lead : lead & (0xFFu >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(AText[i]);
    if ((next & 0xC0) != 0x80)
      return 0;
    code = code << 6 | (next & 0x3F);
  }
  if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
    return 0;
  return length;
}

// iconv passes some byte sequences from UTF-8 to UTF-8 unchecked (F5 to F7
// leads, beyond U+10FFFF): what it gives is checked once more, so that the
// report's trace is always UTF-8.
std::string WellFormed(std::string_view AText) {
  std::string text;
  while (!AText.empty()) {
    const size_t length = Utf8SequenceAt(AText);
    text += length == 0 ? Replacement : AText.substr(0, length);
    AText.remove_prefix(length == 0 ? 1 : length);
  }
  return text;
}

}  // namespace

std::string ConsoleTextToUtf8(std::string_view ABytes, const std::string& ACharset) {
  const TIconv converter(ACharset);
  std::string result;
  char buffer[4096];
  char* in = const_cast<char*>(ABytes.data());
  size_t inLeft = ABytes.size();
  while (true) {
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = inLeft > 0 ? iconv(converter.Get(), &in, &inLeft, &out, &outLeft)
                                   : iconv(converter.Get(), nullptr, nullptr, &out, &outLeft);
    const int code = errno;
    result.append(buffer, static_cast<size_t>(out - buffer));
    if (done != static_cast<size_t>(-1)) {
      if (inLeft == 0 && out == buffer)
        return WellFormed(result);
      continue;
    }
    if (code == E2BIG)
      continue;
    if (code != EILSEQ && code != EINVAL)
      RaiseOSError(code);
    // An invalid or truncated sequence: one replacement character per byte.
    result += Replacement;
    ++in;
    --inLeft;
    iconv(converter.Get(), nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace orvella::platform
