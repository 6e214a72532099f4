#include "platform/SettingsKey.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/linux/SettingsFile.h"

namespace orvella::platform {
namespace {

std::string ConfigFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
    return config;
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return std::string(home) + "/.config";
  if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir == '/')
    return std::string(user->pw_dir) + "/.config";
  return {};
}

}  // namespace

std::unique_ptr<ISettingsHive> CurrentUserKey(const std::string& AKeyPath) {
  // "\Software\maker\product" becomes <config>/maker/product.conf.
  std::string relative;
  std::string part;
  std::istringstream parts(AKeyPath);
  bool first = true;
  while (std::getline(parts, part, '\\')) {
    if (part.empty())
      continue;
    if (first && part == "Software") {
      first = false;
      continue;
    }
    first = false;
    relative += "/" + part;
  }
  const std::string folder = ConfigFolder();
  if (folder.empty() || relative.empty())
    return std::make_unique<TSettingsFile>(std::string());
  return std::make_unique<TSettingsFile>(folder + relative + ".conf");
}

}  // namespace orvella::platform
