#include "platform/Resolver.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <memory>

#include "platform/Exceptions.h"
#include "platform/SocketLibrary.h"
#include "platform/SystemError.h"

namespace orvella::platform {
namespace {

// What the system says of a failed look-up: getaddrinfo's own codes on Linux;
// on Windows the socket library's error codes, which its messages cover.
std::string LookUpErrorText(int ACode) {
#ifdef _WIN32
  return SysErrorMessage(ACode);
#else
  return gai_strerror(ACode);
#endif
}

class TSystemResolver final : public IResolver {
public:
  std::string ResolveIPv4(const std::string& AHost) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(AHost.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found)
      throw EOSError(status, "Host " + AHost + " not found: " + LookUpErrorText(status));
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    return text;
  }
};

}  // namespace

IResolver& SystemResolver() {
  StartSocketLibrary();
  static TSystemResolver resolver;
  return resolver;
}

uint32_t InetAddr(const std::string& AText) {
  StartSocketLibrary();
  return inet_addr(AText.c_str());
}

}  // namespace orvella::platform
