#pragma once
// Files and folders, named by UTF-8 paths.
#include <optional>
#include <string>
#include <vector>

namespace orvella::platform {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

bool DirectoryExists(const std::string& APath);

// Creates APath and any missing parent folders, each for the user alone;
// true when it exists afterwards. On false the thread's last error tells why.
bool ForceDirectories(const std::string& APath);

// Takes every right of group and others away from a file or folder that the
// user owns; one of someone else is left as it is. False when that failed.
bool RestrictToOwner(const std::string& APath);

// Deletes a file; false when it could not be deleted.
bool RemoveFile(const std::string& AFileName);

// Names of the files (not folders) directly in AFolder that match the wildcard
// APattern ('*' any run, '?' any one character), in listing order.
std::vector<std::string> ListFiles(const std::string& AFolder, const std::string& APattern);

// Text comparison ignoring case, as the user's locale compares names.
bool SameText(const std::string& A, const std::string& B);

// The current user's folder for local application data, created if needed;
// none when the system cannot name one.
std::optional<std::string> LocalAppDataFolder();

}  // namespace orvella::platform
