#pragma once
// A fresh folder under the system's temporary folder, removed with its content.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace orvella::testing {

class TTempDir {
public:
  TTempDir() {
#ifdef _WIN32
    // No mkdtemp on Windows: a random name that create_directory claims.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && FPath.empty(); ++attempt) {
      const auto path = std::filesystem::temp_directory_path() / ("orvella-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path))
        FPath = path.generic_string();
    }
    if (FPath.empty())
      throw std::runtime_error("no temporary folder could be made");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "orvella-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
#endif
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
