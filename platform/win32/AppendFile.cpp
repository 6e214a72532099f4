#include "platform/AppendFile.h"

#include <algorithm>

#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

TAppendFile::TAppendFile(const std::string& AFileName)
    : FFileName(AFileName),
      FHandle(CreateFileW(ToWide(AFileName).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (FHandle == INVALID_HANDLE_VALUE)
    RaiseLastOSError(FFileName);
  try {
    DropPartialLine();
  } catch (...) {
    CloseHandle(FHandle);
    throw;
  }
}

TAppendFile::~TAppendFile() {
  if (FHandle != INVALID_HANDLE_VALUE)
    CloseHandle(FHandle);
}

void TAppendFile::DropPartialLine() {
  // Only the bytes after the last line break go: every whole line stays, and
  // the next line starts on a line of its own instead of being glued to them.
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(FHandle, &size))
    RaiseLastOSError(FFileName);
  LONGLONG keep = size.QuadPart;
  char buffer[4096];
  while (keep > 0) {
    const auto length = static_cast<DWORD>(std::min<LONGLONG>(keep, sizeof buffer));
    LARGE_INTEGER at{};
    at.QuadPart = keep - length;
    DWORD got = 0;
    if (!SetFilePointerEx(FHandle, at, nullptr, FILE_BEGIN) || !ReadFile(FHandle, buffer, length, &got, nullptr))
      RaiseLastOSError(FFileName);
    if (got != length)
      RaiseOSError(ERROR_READ_FAULT, FFileName);
    DWORD afterBreak = length;
    while (afterBreak > 0 && buffer[afterBreak - 1] != '\n')
      --afterBreak;
    if (afterBreak > 0) {
      keep -= length - afterBreak;
      break;
    }
    keep -= length;
  }
  LARGE_INTEGER cut{};
  cut.QuadPart = keep;
  if (keep != size.QuadPart && (!SetFilePointerEx(FHandle, cut, nullptr, FILE_BEGIN) || !SetEndOfFile(FHandle)))
    RaiseLastOSError(FFileName);
}

void TAppendFile::Write(std::string_view AData) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(FHandle, LARGE_INTEGER{}, &start, FILE_END))
    RaiseLastOSError(FFileName);
  DWORD written = 0;
  const bool ok = WriteFile(FHandle, AData.data(), static_cast<DWORD>(AData.size()), &written, nullptr);
  if (ok && written == AData.size())
    return;
  const int code = ok ? ERROR_WRITE_FAULT : LastErrorCode();
  // A disk that filled part way: the file goes back to where the line began.
  if (written > 0 && SetFilePointerEx(FHandle, start, nullptr, FILE_BEGIN))
    SetEndOfFile(FHandle);
  RaiseOSError(code, FFileName);
}

void TAppendFile::Flush() {
  if (!FlushFileBuffers(FHandle))
    RaiseLastOSError(FFileName);
}

// The file is open without delete sharing: nobody can delete, rename or
// replace it meanwhile.
bool TAppendFile::IsAtItsName() const { return true; }

}  // namespace orvella::platform
