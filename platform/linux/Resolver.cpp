#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <memory>

#include "platform/Exceptions.h"

namespace orvella::platform {

namespace {

class TSystemResolver final : public IResolver {
public:
  std::string ResolveIPv4(const std::string& AHost) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(AHost.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found)
      throw EOSError(status, std::string("Host ") + AHost + " not found: " + gai_strerror(status));
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    char text[INET_ADDRSTRLEN];
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return text;
  }
};

}  // namespace

IResolver& SystemResolver() {
  static TSystemResolver resolver;
  return resolver;
}

uint32_t InetAddr(const std::string& AText) { return inet_addr(AText.c_str()); }

}  // namespace orvella::platform
