#pragma once
// An environment variable set or removed for as long as the object lives;
// then it has its earlier value again, or is removed when it had none.
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace orvella::testing {

class TScopedEnv {
public:
  // std::nullopt removes the variable.
  TScopedEnv(std::string AName, const std::optional<std::string>& AValue) : FName(std::move(AName)) {
    if (const char* saved = std::getenv(FName.c_str()))
      FSaved = saved;
    Set(AValue);
  }
  ~TScopedEnv() { Set(FSaved); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

  void Set(const std::optional<std::string>& AValue) const {
    if (AValue)
      setenv(FName.c_str(), AValue->c_str(), 1);
    else
      unsetenv(FName.c_str());
  }

private:
  const std::string FName;
  std::optional<std::string> FSaved;
};

}  // namespace orvella::testing
