#include "platform/RouteTracer.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
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

std::string ConsoleTextToUtf8(std::string_view ABytes, const std::string& ACharset) {
  static constexpr std::string_view Replacement = "\xEF\xBF\xBD";
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
        return result;
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
