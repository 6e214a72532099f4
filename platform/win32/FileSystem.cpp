#include "platform/FileSystem.h"

#include <shlobj.h>

#include "platform/win32/WideText.h"

namespace orvella::platform {

bool DirectoryExists(const std::string& APath) {
  const DWORD attributes = GetFileAttributesW(ToWide(APath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& APath) {
  if (APath.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (DirectoryExists(APath))
    return true;
  const size_t slash = APath.find_last_of("\\/");
  if (slash != std::string::npos && slash > 2 && !ForceDirectories(APath.substr(0, slash)))
    return false;
  return CreateDirectoryW(ToWide(APath).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The local application-data folder inherits rights for the user alone.
bool RestrictToOwner(const std::string&) { return true; }

bool RemoveFile(const std::string& AFileName) { return DeleteFileW(ToWide(AFileName).c_str()) != 0; }

std::vector<std::string> ListFiles(const std::string& AFolder, const std::string& APattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(ToWide(AFolder + "\\" + APattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(ToUtf8(data.cFileName));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

bool SameText(const std::string& A, const std::string& B) {
  const std::wstring a = ToWide(A), b = ToWide(B);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::optional<std::string> LocalAppDataFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, TRUE))
    return std::nullopt;
  return ToUtf8(buffer);  // the buffer ends at its first NUL
}

}  // namespace orvella::platform
