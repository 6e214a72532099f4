#pragma once
// What the tests need to know about Wine, which runs them on Linux.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace orvella::testing {

inline bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The gateway of the Linux host's default route, read through Wine's Z: drive
// from /proc/net/route, which prints addresses as the raw 32-bit value, so in
// network byte order on this little-endian machine.
inline std::optional<uint32_t> LinuxDefaultGateway() {
  std::FILE* routes = std::fopen("Z:\\proc\\net\\route", "r");
  if (!routes)
    return std::nullopt;
  std::optional<uint32_t> gateway;
  char line[512];
  while (std::fgets(line, sizeof line, routes)) {
    char name[64];
    unsigned destination = 0, next = 0, flags = 0, mask = 0;
    if (std::sscanf(line, "%63s %x %x %x %*d %*d %*d %x", name, &destination, &next, &flags, &mask) == 5 &&
        destination == 0 && mask == 0 && (flags & 2) != 0 && !gateway)
      gateway = next;
  }
  std::fclose(routes);
  return gateway;
}

}  // namespace orvella::testing
