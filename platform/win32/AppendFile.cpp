#include "platform/AppendFile.h"

#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

TAppendFile::TAppendFile(const std::string& AFileName)
    : FFileName(AFileName),
      FHandle(CreateFileW(ToWide(AFileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (FHandle == INVALID_HANDLE_VALUE)
    RaiseLastOSError(FFileName);
  if (SetFilePointer(FHandle, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    const int code = LastErrorCode();
    CloseHandle(FHandle);
    RaiseOSError(code, FFileName);
  }
}

TAppendFile::~TAppendFile() {
  if (FHandle != INVALID_HANDLE_VALUE)
    CloseHandle(FHandle);
}

void TAppendFile::Write(std::string_view AData) {
  DWORD written = 0;
  if (!WriteFile(FHandle, AData.data(), static_cast<DWORD>(AData.size()), &written, nullptr))
    RaiseLastOSError(FFileName);
  if (written != AData.size())
    RaiseOSError(ERROR_WRITE_FAULT, FFileName);
}

void TAppendFile::Flush() {
  if (!FlushFileBuffers(FHandle))
    RaiseLastOSError(FFileName);
}

// The file is open without delete sharing: nobody can delete, rename or
// replace it meanwhile.
bool TAppendFile::IsAtItsName() const { return true; }

}  // namespace orvella::platform
