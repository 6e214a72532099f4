#pragma once
// One of the kernel's /proc files, read whole on every sample. A file of
// procfs is opened once and read again from its start with pread: it cannot be
// deleted or replaced, and the open and close of every sample are saved. A
// file elsewhere (a copy laid out for tests) is opened for every read, so that
// its removal is seen as on the first day.
#include <string>

#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {

class TProcFile {
public:
  explicit TProcFile(std::string AFileName);

  // The whole content into AText; false when the file cannot be read.
  bool Read(std::string& AText) const;

private:
  const std::string FFileName;
  TFd FKept;
};

}  // namespace orvella::platform
