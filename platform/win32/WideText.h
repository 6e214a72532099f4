#pragma once
// UTF-8 on our side of the seam, UTF-16 on the Windows side.
#include <windows.h>

#include <string>

namespace orvella::platform {

inline std::wstring ToWide(const std::string& AText) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), wide.data(), size);
  return wide;
}

inline std::string ToUtf8(const std::wstring& AText) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace orvella::platform
