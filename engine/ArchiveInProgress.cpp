#include "engine/ArchiveInProgress.h"

#include <mutex>
#include <set>

namespace orvella {
namespace {

std::mutex Lock;
// Two reports in the same second write the same name.
std::multiset<std::string> Archives;

}  // namespace

TArchiveInProgress::TArchiveInProgress(std::string AFileName) : FFileName(std::move(AFileName)) {
  const std::lock_guard lock(Lock);
  Archives.insert(FFileName);
}

TArchiveInProgress::~TArchiveInProgress() {
  const std::lock_guard lock(Lock);
  Archives.erase(Archives.find(FFileName));
}

bool TArchiveInProgress::Contains(const std::string& AFileName) {
  const std::lock_guard lock(Lock);
  return Archives.count(AFileName) != 0;
}

}  // namespace orvella
