#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SystemError.h"

namespace orvella::platform {

TAppendFile::TAppendFile(const std::string& AFileName)
    : FFileName(AFileName), FHandle(open(AFileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
  if (FHandle < 0)
    RaiseLastOSError(FFileName);
}

TAppendFile::~TAppendFile() {
  if (FHandle >= 0)
    close(FHandle);
}

void TAppendFile::Write(std::string_view AData) {
  // One write of the whole buffer; the loop only continues what a signal or a
  // full disk cut short, so no part of a line is lost or written twice.
  while (!AData.empty()) {
    const ssize_t written = write(FHandle, AData.data(), AData.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      RaiseLastOSError(FFileName);
    }
    if (written == 0)
      RaiseOSError(EIO, FFileName);
    AData.remove_prefix(static_cast<size_t>(written));
  }
}

void TAppendFile::Flush() {
  if (fsync(FHandle) != 0)
    RaiseLastOSError(FFileName);
}

bool TAppendFile::IsAtItsName() const {
  struct stat opened{};
  struct stat named{};
  return fstat(FHandle, &opened) == 0 && stat(FFileName.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace orvella::platform
