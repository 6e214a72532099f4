#pragma once
// A program started without its standard streams gets descriptors 0 to 2 for
// its first files, and handle 0 means "none" to the waits above the seam: a
// descriptor handed out as a waitable handle is kept above them.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {

// AFd when it is above 2 (or -1); otherwise a close-on-exec copy above 2,
// the original closed, or -1 with errno when no copy can be made.
inline int AboveStandardStreams(int AFd) {
  if (AFd < 0 || AFd > STDERR_FILENO)
    return AFd;
  const int moved = fcntl(AFd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(AFd);
  errno = error;
  return moved;
}

// The descriptor that a call returned as AFd, owned and above the standard
// streams; EOSError when the call failed or no copy can be made.
inline TFd KeptAboveStandardStreams(int AFd) {
  TFd fd(AboveStandardStreams(AFd));
  if (!fd.Valid())
    RaiseLastOSError();
  return fd;
}

}  // namespace orvella::platform
