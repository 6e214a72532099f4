#include "platform/linux/FileDescriptor.h"

#include <cerrno>

namespace orvella::platform {

size_t WriteAll(int AFd, std::string_view AData) {
  size_t done = 0;
  while (done < AData.size()) {
    const ssize_t written = write(AFd, AData.data() + done, AData.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR)
      continue;
    if (written == 0)
      errno = EIO;
    break;
  }
  return done;
}

ssize_t ReadSome(int AFd, void* ABuffer, size_t ASize) {
  for (;;) {
    const ssize_t got = read(AFd, ABuffer, ASize);
    if (got >= 0 || errno != EINTR)
      return got;
  }
}

ssize_t ReadSome(int AFd, void* ABuffer, size_t ASize, off_t AOffset) {
  for (;;) {
    const ssize_t got = pread(AFd, ABuffer, ASize, AOffset);
    if (got >= 0 || errno != EINTR)
      return got;
  }
}

}  // namespace orvella::platform
