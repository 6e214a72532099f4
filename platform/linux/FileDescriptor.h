#pragma once
// A file descriptor owned by one object and closed with it.
#include <unistd.h>

#include <utility>

namespace orvella::platform {

class TFd {
public:
  TFd() = default;
  explicit TFd(int AFd) : FFd(AFd) {}
  ~TFd() { Reset(); }
  TFd(TFd&& AOther) noexcept : FFd(AOther.Release()) {}
  TFd& operator=(TFd&& AOther) noexcept {
    if (this != &AOther) {
      Reset();
      FFd = AOther.Release();
    }
    return *this;
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  int Release() { return std::exchange(FFd, -1); }
  // Closes now and reports whether the last writes reached the file.
  bool Close() { return close(Release()) == 0; }
  void Reset() {
    if (FFd >= 0)
      close(FFd);
    FFd = -1;
  }

private:
  int FFd = -1;
};

}  // namespace orvella::platform
