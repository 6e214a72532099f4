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
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {
namespace {

// The file: a header line, one line per value "<type> <name>=<value>" with
// blanks, '=', '%' and control bytes written as %XX, and a closing line. A
// file without its closing line was cut short and counts as damaged.
constexpr std::string_view Header = "orvella-settings 1";
constexpr std::string_view Trailer = "end";

using TValues = std::map<std::string, TRegValue>;

std::string_view TypeName(TRegValueType AType) {
  switch (AType) {
  case TRegValueType::String:
    return "sz";
  case TRegValueType::ExpandString:
    return "expand_sz";
  case TRegValueType::DWord:
    return "dword";
  case TRegValueType::Binary:
    return "binary";
  case TRegValueType::Other:
    break;
  }
  return "other";
}

std::optional<TRegValueType> TypeFromName(std::string_view AName) {
  for (const TRegValueType type : {TRegValueType::String, TRegValueType::ExpandString, TRegValueType::DWord,
                                   TRegValueType::Binary, TRegValueType::Other}) {
    if (TypeName(type) == AName)
      return type;
  }
  return std::nullopt;
}

constexpr char HexDigits[] = "0123456789ABCDEF";

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  return -1;
}

std::string Escape(std::string_view AText) {
  std::string out;
  for (const char c : AText) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%' || c == '=') {
      out += '%';
      out += HexDigits[byte >> 4];
      out += HexDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view AText) {
  std::string out;
  for (size_t i = 0; i < AText.size(); ++i) {
    const auto byte = static_cast<unsigned char>(AText[i]);
    if (byte <= 0x20 || byte == 0x7F || AText[i] == '=')
      return std::nullopt;
    if (AText[i] != '%') {
      out += AText[i];
      continue;
    }
    if (i + 2 >= AText.size())
      return std::nullopt;
    const int high = HexValue(AText[i + 1]);
    const int low = HexValue(AText[i + 2]);
    if (high < 0 || low < 0)
      return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string FormatData(const TRegValue& AValue) {
  switch (AValue.Type) {
  case TRegValueType::DWord: {
    uint32_t number = 0;
    for (size_t i = 0; i < 4 && i < AValue.Data.size(); ++i)
      number |= static_cast<uint32_t>(static_cast<unsigned char>(AValue.Data[i])) << (8 * i);
    return std::to_string(number);
  }
  case TRegValueType::Binary: {
    std::string hex;
    for (const char c : AValue.Data) {
      hex += HexDigits[static_cast<unsigned char>(c) >> 4];
      hex += HexDigits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
  }
  default:
    return Escape(AValue.Data);
  }
}

std::optional<std::string> ParseData(TRegValueType AType, std::string_view AText) {
  switch (AType) {
  case TRegValueType::DWord: {
    if (AText.empty() || AText.size() > 10)
      return std::nullopt;
    uint64_t number = 0;
    for (const char c : AText) {
      if (c < '0' || c > '9')
        return std::nullopt;
      number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > 0xFFFFFFFFu)
      return std::nullopt;
    std::string bytes(4, '\0');
    for (size_t i = 0; i < 4; ++i)
      bytes[i] = static_cast<char>(number >> (8 * i));
    return bytes;
  }
  case TRegValueType::Binary: {
    if (AText.size() % 2 != 0)
      return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < AText.size(); i += 2) {
      const int high = HexValue(AText[i]);
      const int low = HexValue(AText[i + 1]);
      if (high < 0 || low < 0)
        return std::nullopt;
      bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
  }
  default:
    return Unescape(AText);
  }
}

std::string Serialize(const TValues& AValues) {
  std::string text(Header);
  text += '\n';
  for (const auto& [name, value] : AValues) {
    text += TypeName(value.Type);
    text += ' ';
    text += Escape(name);
    text += '=';
    text += FormatData(value);
    text += '\n';
  }
  text += Trailer;
  text += '\n';
  return text;
}

std::optional<TValues> Parse(const std::string& AText) {
  std::istringstream lines(AText);
  std::string line;
  if (!std::getline(lines, line) || line != Header)
    return std::nullopt;
  TValues values;
  bool ended = false;
  while (std::getline(lines, line)) {
    if (ended)
      return std::nullopt;
    if (line == Trailer) {
      ended = true;
      continue;
    }
    const size_t blank = line.find(' ');
    const size_t equals = line.find('=');
    if (blank == std::string::npos || equals == std::string::npos || equals < blank)
      return std::nullopt;
    const std::optional<TRegValueType> type = TypeFromName(std::string_view(line).substr(0, blank));
    std::optional<std::string> name = Unescape(std::string_view(line).substr(blank + 1, equals - blank - 1));
    if (!type || !name)
      return std::nullopt;
    std::optional<std::string> data = ParseData(*type, std::string_view(line).substr(equals + 1));
    if (!data)
      return std::nullopt;
    values[*name] = TRegValue{*type, std::move(*data)};
  }
  // Cut short: the closing line, and the line break after it, must be there.
  if (!ended || AText.back() != '\n')
    return std::nullopt;
  return values;
}

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
  if (std::optional<TValues> values = Parse(loaded.Raw)) {
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
    const std::string text = Serialize(loaded.Values);
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
