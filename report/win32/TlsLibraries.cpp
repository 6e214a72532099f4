#include <windows.h>

#include <iterator>
#include <string>

#include "platform/Exceptions.h"
#include "report/TlsLibraries.h"

namespace orvella {
namespace {

// A module's full path; the program's own with no module.
std::wstring ModulePath(HMODULE AModule) {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(AModule, path, static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path))
    throw Exception("The path of a loaded module cannot be read");
  return std::wstring(path, length);
}

std::wstring FolderOf(const std::wstring& APath) { return APath.substr(0, APath.find_last_of(L"\\/")); }

std::string Utf8(const std::wstring& AText) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), text.data(), size, nullptr, nullptr);
  return text;
}

}  // namespace

// libcurl links OpenSSL's DLLs, so the loader has them in place before the
// program starts, taken from the program's folder first. One of the same name
// already loaded from elsewhere would be used instead: that stops the start.
void CheckTlsLibraries() {
  const std::wstring folder = FolderOf(ModulePath(nullptr));
  for (const wchar_t* name : {L"libcrypto-3-x64.dll", L"libssl-3-x64.dll"}) {
    const HMODULE module = GetModuleHandleW(name);
    if (!module)
      throw Exception("The TLS library " + Utf8(name) + " is not loaded");
    const std::wstring path = ModulePath(module);
    if (CompareStringOrdinal(FolderOf(path).c_str(), -1, folder.c_str(), -1, TRUE) != CSTR_EQUAL)
      throw Exception("The TLS library " + Utf8(path) + " is not the program's own copy in " + Utf8(folder));
  }
}

}  // namespace orvella
