#pragma once
// What the test prefixes' stand-ins for Windows tools share: each appends the
// command line it was run with and its exit code to the file that
// STAND_IN_CALLS names, when set, so that a test can tell which tools ran,
// in which order, and how they ended.
#include <cstdio>
#include <cstdlib>
#include <string>

inline void RecordStandInCall(const std::string& ATool, int argc, char** argv, int AExitCode) {
  const char* calls = std::getenv("STAND_IN_CALLS");
  if (!calls)
    return;
  std::string line = ATool;
  for (int i = 1; i < argc; ++i)
    line += std::string(" ") + argv[i];
  if (FILE* file = std::fopen(calls, "ab")) {
    std::fprintf(file, "%s exit %d\r\n", line.c_str(), AExitCode);
    std::fclose(file);
  }
}
