#include "platform/SocketLibrary.h"

#include <winsock2.h>

namespace orvella::platform {
namespace {

// Started with the first use, stopped at the program's end.
class TSocketLibrary {
public:
  TSocketLibrary() { FStarted = WSAStartup(MAKEWORD(2, 2), &FData) == 0; }
  ~TSocketLibrary() {
    if (FStarted)
      WSACleanup();
  }
  TSocketLibrary(const TSocketLibrary&) = delete;
  TSocketLibrary& operator=(const TSocketLibrary&) = delete;

private:
  WSADATA FData{};
  bool FStarted = false;
};

}  // namespace

void StartSocketLibrary() { static const TSocketLibrary library; }

}  // namespace orvella::platform
