#pragma once
// Report archives as Python's zipfile and unzip read them: tools that no one
// here wrote.
#include <string>

#include "tests/support/ChildRun.h"

namespace orvella::testing {

// One line per entry in archive order: name, compression method, size; then
// "ok" when zipfile's CRC test of every entry passes.
inline std::string ZipfileListing(const std::string& AArchive) {
  return CommandOutput({"/usr/bin/python3", "-c",
                        "import sys, zipfile\n"
                        "z = zipfile.ZipFile(sys.argv[1])\n"
                        "for i in z.infolist(): print(i.filename, i.compress_type, i.file_size)\n"
                        "print(\"ok\" if z.testzip() is None else \"bad\")",
                        AArchive});
}

// The bytes of one entry as zipfile reads them.
inline std::string ZipfileEntry(const std::string& AArchive, const std::string& AEntry) {
  return CommandOutput({"/usr/bin/python3", "-c",
                        "import sys, zipfile\n"
                        "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                        AArchive, AEntry});
}

// True when `unzip -t` finds every entry intact.
inline bool UnzipTestPasses(const std::string& AArchive) { return CommandSucceeds({"unzip", "-tq", AArchive}); }

}  // namespace orvella::testing
