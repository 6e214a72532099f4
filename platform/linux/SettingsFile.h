#pragma once
// The settings key as one file: written whole to a side file and renamed over
// the old one, so a reader sees either the old or the new content; writers take
// a lock file in turn, so concurrent writes of different values all survive.
// A file that does not parse is moved aside for inspection and reads as empty;
// only the last few such copies are kept.
#include <cstddef>
#include <string>

#include "platform/SettingsKey.h"

namespace orvella::platform {

class TSettingsFile final : public ISettingsHive {
public:
  explicit TSettingsFile(std::string AFileName);

  std::unique_ptr<ISettingsKey> OpenForRead() const override;
  std::unique_ptr<ISettingsKey> OpenForWrite() const override;

  const std::string& FileName() const { return FFileName; }
  // Where a damaged file is moved: FileName() + DamagedSuffix + a unique tail.
  static constexpr const char* DamagedSuffix = ".damaged-";
  static constexpr size_t KeptDamagedCopies = 3;
  // Far more than the few values of the key ever take: a larger file is
  // damaged and is not read, and a write that would make one is refused.
  static constexpr size_t MaxFileSize = 1 << 20;

private:
  std::string FFileName;
};

}  // namespace orvella::platform
