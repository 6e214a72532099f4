#pragma once
// A fresh folder under the system's temporary folder, removed with its content.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace orvella::testing {

class TTempDir {
public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvella-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& AName) const { return FPath + "/" + AName; }

private:
  std::string FPath;
};

}  // namespace orvella::testing
