#pragma once
// The folder of the operating system's own programs and libraries.
#include <string>

namespace orvella::platform {

// The system directory, or with AWow64 the folder of the 32-bit system files
// on a 64-bit system: empty where there is none. EOSError on failure.
std::string SystemDirectory(bool AWow64);

// The name by which the disk counters know the volume holding APath (on
// Windows its drive, "C:"). EOSError when APath cannot be examined.
std::string VolumeOfPath(const std::string& APath);

}  // namespace orvella::platform
