#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "platform/Exceptions.h"
#include "platform/Resolver.h"
#include "platform/SystemError.h"

namespace orvella::platform {
namespace {

// The socket library is started once, with the first use, and stopped at exit.
class TSocketLibrary {
public:
  TSocketLibrary() { FStarted = WSAStartup(MAKEWORD(2, 2), &FData) == 0; }
  ~TSocketLibrary() {
    if (FStarted)
      WSACleanup();
  }

private:
  WSADATA FData{};
  bool FStarted = false;
};

class TSystemResolver final : public IResolver {
public:
  std::string ResolveIPv4(const std::string& AHost) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(AHost.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found)
      RaiseOSError(status);
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    return text;
  }

private:
  TSocketLibrary FLibrary;
};

}  // namespace

IResolver& SystemResolver() {
  static TSystemResolver resolver;
  return resolver;
}

uint32_t InetAddr(const std::string& AText) { return inet_addr(AText.c_str()); }

}  // namespace orvella::platform
