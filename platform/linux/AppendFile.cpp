#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {

TAppendFile::TAppendFile(const std::string& AFileName)
    : FFileName(AFileName), FHandle(open(AFileName.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) {
  if (FHandle < 0)
    RaiseLastOSError(FFileName);
  try {
    RestrictToOwner();
    DropPartialLine();
  } catch (...) {
    close(FHandle);
    throw;
  }
}

TAppendFile::~TAppendFile() {
  if (FHandle >= 0)
    close(FHandle);
}

void TAppendFile::RestrictToOwner() const {
  // Whatever the umask: the lines name the client's server.
  struct stat info = {};
  if (fstat(FHandle, &info) != 0)
    RaiseLastOSError(FFileName);
  if (info.st_uid == geteuid() && (info.st_mode & 07777) != 0600 && fchmod(FHandle, 0600) != 0)
    RaiseLastOSError(FFileName);
}

void TAppendFile::DropPartialLine() {
  // Only the bytes after the last line break go: every whole line stays, and
  // the next line starts on a line of its own instead of being glued to them.
  struct stat info = {};
  if (fstat(FHandle, &info) != 0)
    RaiseLastOSError(FFileName);
  off_t keep = info.st_size;
  char buffer[4096];
  while (keep > 0) {
    const auto length = static_cast<size_t>(std::min<off_t>(keep, sizeof buffer));
    const ssize_t got = ReadSome(FHandle, buffer, length, keep - static_cast<off_t>(length));
    if (got < 0)
      RaiseLastOSError(FFileName);
    if (static_cast<size_t>(got) != length)
      RaiseOSError(EIO, FFileName);
    if (const void* lineBreak = memrchr(buffer, '\n', length)) {
      keep -= static_cast<off_t>(length) - (static_cast<const char*>(lineBreak) - buffer + 1);
      break;
    }
    keep -= static_cast<off_t>(length);
  }
  if (keep != info.st_size && ftruncate(FHandle, keep) != 0)
    RaiseLastOSError(FFileName);
}

void TAppendFile::Write(std::string_view AData) {
  // A signal or a disk that fills may cut a write short: the rest follows,
  // and when it cannot, the file goes back to where the line began.
  const off_t start = lseek(FHandle, 0, SEEK_END);
  if (start < 0)
    RaiseLastOSError(FFileName);
  const size_t done = WriteAll(FHandle, AData);
  if (done == AData.size())
    return;
  const int code = errno;
  // Should the cut fail too, the next open drops the partial line.
  if (done > 0) {
    [[maybe_unused]] const int ignored = ftruncate(FHandle, start);
  }
  RaiseOSError(code, FFileName);
}

void TAppendFile::Flush() {
  if (fsync(FHandle) != 0)
    RaiseLastOSError(FFileName);
}

bool TAppendFile::IsAtItsName() const {
  struct stat opened = {};
  struct stat named = {};
  return fstat(FHandle, &opened) == 0 && stat(FFileName.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace orvella::platform
