// A child for the process tests:
//   orvella_win32_child write BYTES   writes BYTES bytes to standard output, then ends
//   orvella_win32_child sleep         waits until it is killed
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string block(4096, 'x');
    for (long left = std::atol(argv[2]); left > 0; left -= static_cast<long>(block.size())) {
      DWORD written = 0;
      const DWORD size = static_cast<DWORD>(left < static_cast<long>(block.size()) ? left : block.size());
      if (!WriteFile(out, block.data(), size, &written, nullptr) || written != size)
        return 3;
    }
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "sleep") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  return 2;
}
