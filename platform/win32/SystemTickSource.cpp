#include <windows.h>

#include "platform/TickSource.h"

namespace orvella::platform {
namespace {

class TGetTickCountTicks final : public ITickSource {
public:
  int64_t Milliseconds() const override { return static_cast<int64_t>(static_cast<uint32_t>(GetTickCount())); }
};

}  // namespace

const ITickSource& SystemTickSource() {
  static const TGetTickCountTicks Source;
  return Source;
}

}  // namespace orvella::platform
