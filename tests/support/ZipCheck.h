#pragma once
// Report archives as Python's zipfile and unzip read them: tools that no one
// here wrote.
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

namespace orvella::testing {

// What a shell command printed on its standard output; ARc gets its exit code.
inline std::string CommandOutput(const std::string& ACommand, int* ARc = nullptr) {
  std::string output;
  FILE* pipe = popen(ACommand.c_str(), "r");
  if (pipe == nullptr)
    return output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.append(buffer, got);
  const int status = pclose(pipe);
  if (ARc)
    *ARc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

// One line per entry in archive order: name, compression method, size; then
// "ok" when zipfile's CRC test of every entry passes.
inline std::string ZipfileListing(const std::string& AArchive) {
  return CommandOutput(
      "/usr/bin/python3 -c 'import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "for i in z.infolist(): print(i.filename, i.compress_type, i.file_size)\n"
      "print(\"ok\" if z.testzip() is None else \"bad\")' '" +
      AArchive + "' 2>&1");
}

// The bytes of one entry as zipfile reads them.
inline std::string ZipfileEntry(const std::string& AArchive, const std::string& AEntry) {
  return CommandOutput(
      "/usr/bin/python3 -c 'import sys, zipfile\n"
      "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' '" +
      AArchive + "' '" + AEntry + "'");
}

// True when `unzip -t` finds every entry intact.
inline bool UnzipTestPasses(const std::string& AArchive) {
  int rc = -1;
  CommandOutput("unzip -tq '" + AArchive + "' >/dev/null 2>&1", &rc);
  return rc == 0;
}

}  // namespace orvella::testing
