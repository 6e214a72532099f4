#pragma once
// zbarimg's answer for a picture file: the decoded texts, one a line.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace orvella::testing {

inline bool HaveZbar() { return std::system("command -v zbarimg >/dev/null 2>&1") == 0; }

inline std::string ZbarDecode(const std::string& AFileName) {
  const std::string command = "zbarimg --quiet --raw '" + AFileName + "' 2>/dev/null";
  const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[512];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
    output += buffer;
  return output;
}

}  // namespace orvella::testing
