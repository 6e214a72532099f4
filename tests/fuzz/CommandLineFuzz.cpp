// The command line of the repair mode as RunProcess splits its parameters,
// with the Windows rules. Two checks on any bytes: splitting never fails or
// reads outside the text, and arguments quoted the way a Windows program
// quotes them (CommandLineToArgvW's rules) come back from the split as they
// were, whatever blanks, quotes and backslashes they hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/CommandLineArgs.h"

namespace {

// One argument quoted for a Windows command line: backslashes double before a
// quote and at the end, a quote is escaped.
std::string Quoted(const std::string& AArg) {
  if (!AArg.empty() && AArg.find_first_of(" \t\"") == std::string::npos)
    return AArg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : AArg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string text(reinterpret_cast<const char*>(AData), ASize);
  orvella::SplitCommandLineArgs(text);
  // The bytes as arguments, cut at each NUL (which a command line cannot hold).
  std::vector<std::string> args;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = text.find('\0', start);
    args.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  std::string line;
  for (const std::string& arg : args)
    line += (line.empty() ? "" : " ") + Quoted(arg);
  if (orvella::SplitCommandLineArgs(line) != args)
    std::abort();
  return 0;
}
