#pragma once
// The test child beside the running test executable, as a Windows path.
#include <windows.h>

#include <string>

namespace orvella::testing {

inline std::string ChildProgram() {
  char path[MAX_PATH];
  const DWORD size = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, size);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + "orvella_win32_child.exe";
}

}  // namespace orvella::testing
