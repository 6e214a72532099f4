#include "platform/linux/ProcFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

namespace orvella::platform {
namespace {

// Reads AFd from its start to its end without moving its position.
bool ReadWhole(int AFd, std::string& AText) {
  AText.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t got = ReadSome(AFd, buffer, sizeof buffer, static_cast<off_t>(AText.size()));
    if (got < 0)
      return false;
    AText.append(buffer, static_cast<size_t>(got));
    // procfs fills the buffer as far as the file goes: a short read is its end.
    if (static_cast<size_t>(got) < sizeof buffer)
      return true;
  }
}

}  // namespace

TProcFile::TProcFile(std::string AFileName) : FFileName(std::move(AFileName)) {
  TFd file(open(FFileName.c_str(), O_RDONLY | O_CLOEXEC));
  struct statfs system {};
  if (file.Valid() && fstatfs(file.Get(), &system) == 0 && system.f_type == PROC_SUPER_MAGIC)
    FKept = std::move(file);
}

bool TProcFile::Read(std::string& AText) const {
  if (FKept.Valid())
    return ReadWhole(FKept.Get(), AText);
  const TFd file(open(FFileName.c_str(), O_RDONLY | O_CLOEXEC));
  return file.Valid() && ReadWhole(file.Get(), AText);
}

}  // namespace orvella::platform
