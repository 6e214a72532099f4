// pathping.exe of the test prefixes, where Wine has none; never part of the
// program or its MSI. Given the host name as pathping is, it resolves it, waits
// for the time a trace takes and prints a trace in pathping's layout and in
// its language, Russian, encoded in code page 866 as a Russian Windows'
// console writes it: the report's packer must turn those bytes into UTF-8.
//   PATHPING_STAND_IN_SECONDS  how long the trace takes (default 3)
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/win32/StandInCalls.h"

namespace {

std::wstring Widen(const std::string& AText) { return std::wstring(AText.begin(), AText.end()); }

// The first IPv4 address of a name, or the empty text.
std::string Resolve(const char* AName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(AName, nullptr, &hints, &found) != 0)
    return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

// The address this computer reaches ATarget from: a UDP socket's, once
// connected, which sends nothing.
std::string SourceAddress(const std::string& ATarget) {
  const SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(9);
  inet_pton(AF_INET, ATarget.c_str(), &target.sin_addr);
  sockaddr_in local{};
  int size = sizeof local;
  char text[INET_ADDRSTRLEN] = {};
  if (connect(probe, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size) == 0)
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
  closesocket(probe);
  return text;
}

void Print(const std::wstring& AText) {
  const int size =
      WideCharToMultiByte(866, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(866, 0, AText.data(), static_cast<int>(AText.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    Print(L"Использование: pathping имя_конечного_узла\r\n");
    RecordStandInCall("pathping", argc, argv, 1);
    return 1;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    return 1;
  const std::string target = Resolve(argv[1]);
  if (target.empty()) {
    Print(L"Не удается разрешить имя системы " + Widen(argv[1]) + L".\r\n");
    WSACleanup();
    RecordStandInCall("pathping", argc, argv, 1);
    return 1;
  }
  char local[256] = {};
  gethostname(local, sizeof local);
  const std::wstring source = Widen(local) + L" [" + Widen(SourceAddress(target)) + L"]";
  const std::wstring node = Widen(argv[1]) + L" [" + Widen(target) + L"]";
  const char* seconds = std::getenv("PATHPING_STAND_IN_SECONDS");
  Print(L"\r\nТрассировка маршрута к " + node + L"\r\nс максимальным числом прыжков 30:\r\n  0  " + source +
        L"\r\n  1  " + node + L"\r\n\r\nПодсчет статистики за: 25 сек. ...\r\n");
  Sleep(static_cast<DWORD>((seconds ? std::atof(seconds) : 3.0) * 1000));
  Print(
      L"            Исходный узел   Маршрутный узел\r\n"
      L"Прыжок  RTT  Утер./отпр. = Pct  Утер./отпр. = Pct  Адрес\r\n"
      L"  0                                           " +
      source +
      L"\r\n"
      L"                                0/ 100 =  0%   |\r\n"
      L"  1    0мс     0/ 100 =  0%     0/ 100 =  0%  " +
      node + L"\r\n\r\nТрассировка завершена.\r\n");
  WSACleanup();
  RecordStandInCall("pathping", argc, argv, 0);
  return 0;
}
