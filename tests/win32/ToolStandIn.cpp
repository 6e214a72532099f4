// lodctr.exe and winmgmt.exe of the test prefixes, where Wine has neither;
// never part of the program or its MSI. Built once per tool (STAND_IN_TOOL is
// its name), each prints what the tool would do and ends with the exit code
// the test chose, so that the counter repair meets both a tool that succeeds
// and one that fails.
//   <TOOL>_STAND_IN_EXIT_CODE  the exit code (default 0), e.g. LODCTR_STAND_IN_EXIT_CODE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win32/StandInCalls.h"

#ifndef STAND_IN_TOOL
#error STAND_IN_TOOL names the tool: lodctr or winmgmt
#endif

int main(int argc, char** argv) {
  const std::string tool = STAND_IN_TOOL;
  std::string upper;
  for (char c : tool)
    upper += static_cast<char>(c - 'a' + 'A');
  const char* chosen = std::getenv((upper + "_STAND_IN_EXIT_CODE").c_str());
  const int code = chosen ? std::atoi(chosen) : 0;
  const bool rebuild = argc == 2 && _stricmp(argv[1], "/R") == 0;
  const bool resync = argc == 2 && _stricmp(argv[1], "/RESYNCPERF") == 0;
  if (tool == "lodctr" && rebuild)
    std::printf(code == 0 ? "Info: Successfully rebuilt performance counter setting from system backup store\n"
                          : "Error: Unable to rebuild performance counter setting from system backup store, "
                            "error code is %d\n",
                code);
  else if (tool == "winmgmt" && resync)
    std::printf(code == 0 ? "Performance counters resynchronised with WMI\n"
                          : "Performance counters not resynchronised with WMI: error %d\n",
                code);
  else {
    std::printf("%s: unknown arguments\n", tool.c_str());
    RecordStandInCall(tool, argc, argv, 1);
    return 1;
  }
  RecordStandInCall(tool, argc, argv, code);
  return code;
}
