#include "base/CommandLineArgs.h"

namespace orvella {

std::vector<std::string> SplitCommandLineArgs(const std::string& AParameters) {
  std::vector<std::string> args;
  std::string current;
  bool inArg = false;
  bool quoted = false;
  size_t i = 0;
  const size_t n = AParameters.size();
  while (i < n) {
    const char c = AParameters[i];
    if ((c == ' ' || c == '\t') && !quoted) {
      if (inArg) {
        args.push_back(current);
        current.clear();
        inArg = false;
      }
      ++i;
      continue;
    }
    inArg = true;
    if (c == '\\') {
      size_t slashes = 0;
      while (i < n && AParameters[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < n && AParameters[i] == '"') {
        current.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(slashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < n && AParameters[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArg)
    args.push_back(current);
  return args;
}

}  // namespace orvella
