#pragma once
// A file open for appending whole lines while others may read it.
#include <string>
#include <string_view>

namespace orvella::platform {

class TAppendFile {
public:
  // Opens AFileName for writing at its end, creating it when missing and
  // keeping its content when present; other openers may read it meanwhile.
  // A failure raises the operating system's error.
  explicit TAppendFile(const std::string& AFileName);
  ~TAppendFile();
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Writes all of AData in one call at the end of the file; EOSError otherwise.
  void Write(std::string_view AData);
  // Commits the file to disk; EOSError on failure.
  void Flush();
  // False once the file has been deleted or replaced under its name, so that
  // the writer can go on in the file that the name now stands for.
  bool IsAtItsName() const;

private:
  const std::string FFileName;
#ifdef _WIN32
  void* FHandle;
#else
  int FHandle;
#endif
};

}  // namespace orvella::platform
