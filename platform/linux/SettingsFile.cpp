#include "platform/linux/SettingsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/SettingsText.h"

namespace orvella::platform {
namespace {

using TValues = TSettingsValues;

// Unreadable: the file is there but its content cannot be had, so it must
// not be replaced by a file that holds only the value being written.
enum class TLoadState { Missing, Parsed, Damaged, Unreadable };

struct TLoaded {
  TLoadState State = TLoadState::Missing;
  TValues Values;
  std::string Raw;
  int Error = 0;
};

TLoaded Load(const std::string& AFileName) {
  TLoaded loaded;
  // Not blocking: a pipe planted in the file's place must not hold the reader.
  const TFd file(open(AFileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.Valid()) {
    if (errno != ENOENT) {
      loaded.State = TLoadState::Unreadable;
      loaded.Error = errno;
    }
    return loaded;
  }
  // An oversized file is damaged without being read; one that grows while it
  // is read stops at the limit just as well.
  struct stat status {};
  if (fstat(file.Get(), &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<uint64_t>(status.st_size) > TSettingsFile::MaxFileSize) {
    loaded.State = TLoadState::Damaged;
    return loaded;
  }
  char buffer[16384];
  for (;;) {
    if (loaded.Raw.size() > TSettingsFile::MaxFileSize) {
      loaded.State = TLoadState::Damaged;
      return loaded;
    }
    const ssize_t count = ReadSome(file.Get(), buffer, sizeof buffer);
    if (count < 0) {
      loaded.State = TLoadState::Unreadable;
      loaded.Error = errno;
      return loaded;
    }
    if (count == 0)
      break;
    loaded.Raw.append(buffer, static_cast<size_t>(count));
  }
  if (std::optional<TValues> values = ParseSettingsText(loaded.Raw)) {
    loaded.State = TLoadState::Parsed;
    loaded.Values = std::move(*values);
  } else {
    loaded.State = TLoadState::Damaged;
  }
  return loaded;
}

std::string FolderOf(const std::string& AFileName) {
  const size_t slash = AFileName.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string(slash == 0 ? "/" : ".") : AFileName.substr(0, slash);
}

// Removes all but the newest kept copies. Their names begin with the moment
// in seconds, ten digits until the year 2286, so the names sort as the copies
// were made.
void PruneDamagedCopies(const std::string& AFileName) {
  const std::string prefix = AFileName.substr(AFileName.find_last_of('/') + 1) + TSettingsFile::DamagedSuffix;
  std::vector<std::string> copies;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(FolderOf(AFileName), error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0)
      copies.push_back(entry->path().string());
  }
  if (copies.size() <= TSettingsFile::KeptDamagedCopies)
    return;
  std::sort(copies.begin(), copies.end());
  for (size_t i = 0; i + TSettingsFile::KeptDamagedCopies < copies.size(); ++i)
    unlink(copies[i].c_str());
}

// Keeps a damaged file for inspection under a name no later write touches.
void MoveAside(const std::string& AFileName) {
  static std::atomic<unsigned> Counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  char moment[32];
  std::snprintf(moment, sizeof moment, "%010lld.%09ld", static_cast<long long>(now.tv_sec), now.tv_nsec);
  const std::string target = AFileName + TSettingsFile::DamagedSuffix + moment + "-" + std::to_string(getpid()) +
                             "-" + std::to_string(Counter++);
  if (rename(AFileName.c_str(), target.c_str()) == 0)
    PruneDamagedCopies(AFileName);
}

// The writers' turn: held from opening the key for writing until it closes.
// A link in place of the lock file is no lock of ours: following it could
// create or lock a file anywhere, so the key then cannot be opened.
std::optional<TFd> TakeWriteLock(const std::string& AFileName) {
  TFd lock(open((AFileName + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock.Valid())
    return std::nullopt;
  while (flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR)
      return std::nullopt;
  }
  return lock;
}

class TReadKey final : public ISettingsKey {
public:
  explicit TReadKey(TValues AValues) : FValues(std::move(AValues)) {}

  std::optional<TRegValue> Read(const std::string& AName) override {
    const auto found = FValues.find(AName);
    if (found == FValues.end())
      return std::nullopt;
    return found->second;
  }

  void Write(const std::string&, const TRegValue&) override { RaiseOSError(EBADF); }

private:
  TValues FValues;
};

class TWriteKey final : public ISettingsKey {
public:
  TWriteKey(std::string AFileName, TFd ALock) : FFileName(std::move(AFileName)), FLock(std::move(ALock)) {}

  std::optional<TRegValue> Read(const std::string& AName) override {
    TLoaded loaded = Load(FFileName);
    const auto found = loaded.Values.find(AName);
    if (found == loaded.Values.end())
      return std::nullopt;
    return found->second;
  }

  void Write(const std::string& AName, const TRegValue& AValue) override {
    TLoaded loaded = Load(FFileName);
    if (loaded.State == TLoadState::Unreadable)
      RaiseOSError(loaded.Error);
    if (loaded.State == TLoadState::Damaged)
      MoveAside(FFileName);
    loaded.Values[AName] = AValue;
    const std::string text = SettingsText(loaded.Values);
    // Every reader would take such a file for damage and lose all the values.
    if (text.size() > TSettingsFile::MaxFileSize)
      RaiseOSError(EFBIG);
    Replace(text);
  }

private:
  // The new content goes to a side file that is renamed over the old one only
  // once it is complete on disk: a writer killed half-way leaves the old file.
  // Whatever has that name now (a killed writer's remains, or a link planted
  // there) is removed, never written through: the side file is always new.
  void Replace(const std::string& AText) {
    const std::string sideName = FFileName + ".new";
    if (unlink(sideName.c_str()) != 0 && errno != ENOENT)
      RaiseLastOSError();
    TFd side(open(sideName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!side.Valid())
      RaiseLastOSError();
    if (WriteAll(side.Get(), AText) != AText.size())
      RaiseLastOSError();
    if (fsync(side.Get()) != 0 || !side.Close())
      RaiseLastOSError();
    if (rename(sideName.c_str(), FFileName.c_str()) != 0)
      RaiseLastOSError();
    const TFd folder(open(FolderOf(FFileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid())
      fsync(folder.Get());
  }

  std::string FFileName;
  TFd FLock;
};

}  // namespace

TSettingsFile::TSettingsFile(std::string AFileName) : FFileName(std::move(AFileName)) {}

std::unique_ptr<ISettingsKey> TSettingsFile::OpenForRead() const {
  if (FFileName.empty())
    return nullptr;
  TLoaded loaded = Load(FFileName);
  if (loaded.State == TLoadState::Damaged) {
    // Set aside only what is still damaged once no writer is busy with it.
    if (const std::optional<TFd> lock = TakeWriteLock(FFileName)) {
      const TLoaded again = Load(FFileName);
      if (again.State == TLoadState::Damaged && again.Raw == loaded.Raw)
        MoveAside(FFileName);
      else if (again.State == TLoadState::Parsed)
        return std::make_unique<TReadKey>(again.Values);
    }
    return nullptr;
  }
  if (loaded.State != TLoadState::Parsed)
    return nullptr;
  return std::make_unique<TReadKey>(std::move(loaded.Values));
}

std::unique_ptr<ISettingsKey> TSettingsFile::OpenForWrite() const {
  if (FFileName.empty())
    return nullptr;
  const std::string folder = FolderOf(FFileName);
  if (!ForceDirectories(folder) || access(folder.c_str(), W_OK) != 0)
    return nullptr;
  std::optional<TFd> lock = TakeWriteLock(FFileName);
  if (!lock)
    return nullptr;
  // A file this user may not read is a key that cannot be opened.
  if (access(FFileName.c_str(), R_OK) != 0 && errno != ENOENT)
    return nullptr;
  return std::make_unique<TWriteKey>(FFileName, std::move(*lock));
}

}  // namespace orvella::platform
