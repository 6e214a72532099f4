#pragma once
// A file open for appending whole lines while others may read it. It never
// holds part of a line: a line is written whole or not at all, and a part
// that a crash left at the end is dropped when the file is opened.
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

  // Writes all of AData in one call at the end of the file; EOSError otherwise,
  // and then the file holds none of it.
  void Write(std::string_view AData);
  // Commits the file to disk; EOSError on failure.
  void Flush();
  // False once the file has been deleted or replaced under its name, so that
  // the writer can go on in the file that the name now stands for.
  bool IsAtItsName() const;

private:
  // Read and write for the user alone, when the file is the user's.
  void RestrictToOwner() const;
  // Cuts the file back to its last line break.
  void DropPartialLine();

  const std::string FFileName;
#ifdef _WIN32
  void* FHandle;
#else
  // Whether the file open now is the one of its name, asked of the names.
  bool SameAsName() const;
  // Starts the watch of the folder for a change of the file's name.
  void WatchFolder();

  int FHandle;
  // An inotify descriptor on the folder, so that the check before a line
  // costs one read that finds nothing; -1 where the system gives none.
  int FWatch = -1;
  std::string FBaseName;
  // Set once the watch has seen the name deleted, moved or replaced.
  mutable bool FMoved = false;
#endif
};

}  // namespace orvella::platform
