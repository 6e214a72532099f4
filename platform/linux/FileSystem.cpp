#include "platform/FileSystem.h"

#include <dirent.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace orvella::platform {

bool DirectoryExists(const std::string& APath) {
  struct stat info = {};
  return stat(APath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::string& APath) {
  if (APath.empty()) {
    errno = ENOENT;
    return false;
  }
  if (DirectoryExists(APath))
    return true;
  const size_t slash = APath.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(APath.substr(0, slash)))
    return false;
  // The exact rights whatever the umask: the folders hold the user's own data.
  if (mkdir(APath.c_str(), 0700) == 0)
    return chmod(APath.c_str(), 0700) == 0;
  if (errno != EEXIST)
    return false;
  // Another writer may have created it meanwhile; a file of that name blocks it.
  if (DirectoryExists(APath))
    return true;
  errno = ENOTDIR;
  return false;
}

bool RestrictToOwner(const std::string& APath) {
  struct stat info = {};
  if (stat(APath.c_str(), &info) != 0)
    return false;
  if (info.st_uid != geteuid() || (info.st_mode & 077) == 0)
    return true;
  return chmod(APath.c_str(), info.st_mode & 07700) == 0;
}

bool RemoveFile(const std::string& AFileName) { return unlink(AFileName.c_str()) == 0; }

std::vector<std::string> ListFiles(const std::string& AFolder, const std::string& APattern) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(AFolder.c_str()), closedir);
  if (!dir)
    return names;
  while (const dirent* entry = readdir(dir.get())) {
    if (fnmatch(APattern.c_str(), entry->d_name, FNM_PERIOD) != 0)
      continue;
    struct stat info = {};
    if (fstatat(dirfd(dir.get()), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode))
      names.emplace_back(entry->d_name);
  }
  return names;
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size())
    return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto a = static_cast<unsigned char>(A[i]);
    const auto b = static_cast<unsigned char>(B[i]);
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(a) != lower(b))
      return false;
  }
  return true;
}

std::optional<std::string> LocalAppDataFolder() {
  // $XDG_STATE_HOME, else ~/.local/state: the per-user place for state that
  // programs write and keep between runs, as logs and reports.
  std::string folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    folder = state;
  } else {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env == '/')
      home = env;
    else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir == '/')
      home = user->pw_dir;
    if (home.empty())
      return std::nullopt;
    folder = home + "/.local/state";
  }
  if (!ForceDirectories(folder))
    return std::nullopt;
  return folder;
}

}  // namespace orvella::platform
