#pragma once
// A report archive that this process is writing now. While it lives, the side
// file that the zip writer keeps beside the archive is no leftover.
#include <string>

namespace orvella {

class TArchiveInProgress {
public:
  explicit TArchiveInProgress(std::string AFileName);
  ~TArchiveInProgress();
  TArchiveInProgress(const TArchiveInProgress&) = delete;
  TArchiveInProgress& operator=(const TArchiveInProgress&) = delete;

  // Whether some thread of this process is writing the archive AFileName.
  static bool Contains(const std::string& AFileName);

private:
  const std::string FFileName;
};

}  // namespace orvella
