#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {
namespace {

// What happens to a name in the folder, and to the folder itself.
constexpr uint32_t NameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t FolderEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;

}  // namespace

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
  WatchFolder();
}

TAppendFile::~TAppendFile() {
  if (FWatch >= 0)
    close(FWatch);
  if (FHandle >= 0)
    close(FHandle);
}

void TAppendFile::WatchFolder() {
  const size_t slash = FFileName.find_last_of('/');
  FBaseName = slash == std::string::npos ? FFileName : FFileName.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : FFileName.substr(0, slash);
  // Without a watch (the user's inotify limits reached) every check asks the names.
  FWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (FWatch >= 0 && inotify_add_watch(FWatch, folder.c_str(), NameEvents | FolderEvents | IN_ONLYDIR) < 0) {
    close(FWatch);
    FWatch = -1;
  }
  // A replacement between the open and the start of the watch is in no event.
  FMoved = FWatch >= 0 && !SameAsName();
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
  // and when it cannot, the file goes back to where the line began, which is
  // its end now less what of the line went in.
  const size_t done = WriteAll(FHandle, AData);
  if (done == AData.size())
    return;
  const int code = errno;
  // Should the cut fail too, the next open drops the partial line.
  struct stat info = {};
  if (done > 0 && fstat(FHandle, &info) == 0) {
    [[maybe_unused]] const int ignored = ftruncate(FHandle, info.st_size - static_cast<off_t>(done));
  }
  RaiseOSError(code, FFileName);
}

void TAppendFile::Flush() {
  if (fsync(FHandle) != 0)
    RaiseLastOSError(FFileName);
}

bool TAppendFile::IsAtItsName() const {
  if (FWatch < 0)
    return SameAsName();
  // The kernel queues an event before the call that renames or deletes
  // returns, so a replacement made before this line is in the queue now.
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ReadSome(FWatch, buffer, sizeof buffer);
    if (got < 0)
      return errno == EAGAIN ? !FMoved : SameAsName();
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_Q_OVERFLOW) != 0)
        FMoved = FMoved || !SameAsName();
      else if ((event->mask & FolderEvents) != 0 || (event->len > 0 && FBaseName == event->name))
        FMoved = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

bool TAppendFile::SameAsName() const {
  struct stat opened = {};
  struct stat named = {};
  return fstat(FHandle, &opened) == 0 && stat(FFileName.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace orvella::platform
