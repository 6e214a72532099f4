#pragma once
// A file descriptor owned by one object and closed with it, and the one way
// to write and read through a descriptor across signals and short writes.
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string_view>
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

// Writes the whole of AData, going on after signals and short writes. The
// number of bytes written: less than AData.size() only on failure, with the
// system's code in errno (EIO for a write that took nothing and gave none).
size_t WriteAll(int AFd, std::string_view AData);

// One read of up to ASize bytes, restarted after signals: the number read,
// 0 at the end, -1 with errno on failure (EAGAIN included).
ssize_t ReadSome(int AFd, void* ABuffer, size_t ASize);
// The same at AOffset, leaving the descriptor's position where it is.
ssize_t ReadSome(int AFd, void* ABuffer, size_t ASize, off_t AOffset);

}  // namespace orvella::platform
