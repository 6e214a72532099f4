// IP Helper's asynchronous echo: IcmpSendEcho2 with an event signals it when
// the reply, an ICMP error or the request's own time-out has arrived.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <vector>

#include "platform/EventTable.h"
#include "platform/Icmp.h"

namespace orvella::platform {
namespace {

HANDLE ToHandle(TOsHandle AHandle) { return reinterpret_cast<HANDLE>(AHandle); }
TOsHandle FromHandle(HANDLE AHandle) { return reinterpret_cast<TOsHandle>(AHandle); }

class TWinIcmp final : public IIcmp {
public:
  TIcmpCreateResult IcmpCreateFile() override {
    const HANDLE handle = ::IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE)
      return {InvalidIcmpHandle, GetLastError()};
    return {FromHandle(handle), 0};
  }

  void IcmpCloseHandle(TOsHandle AHandle) override { ::IcmpCloseHandle(ToHandle(AHandle)); }

  TIcmpSendResult IcmpSendEcho2(TOsHandle AHandle, TOsHandle AEvent, uint32_t ADestination, const void* AData,
                                uint16_t ADataSize, void* AReply, uint32_t AReplySize, uint32_t ATimeout) override {
    SetLastError(0);
    const DWORD result = ::IcmpSendEcho2(ToHandle(AHandle), ToHandle(AEvent), nullptr, nullptr, ADestination,
                                         const_cast<void*>(AData), ADataSize, nullptr, AReply, AReplySize, ATimeout);
    return {result, GetLastError()};
  }

  TIcmpParseResult IcmpParseReplies(void* AReply, uint32_t AReplySize) override {
    const DWORD count = ::IcmpParseReplies(AReply, AReplySize);
    if (count == 0)
      return {0, GetLastError()};
    // The caller reads the 32-bit layout of the header; a 64-bit build gets
    // the wider native one, which is folded into it here.
    ICMP_ECHO_REPLY native;
    std::memcpy(&native, AReply, sizeof native);
    Ticmp_echo_reply header{};
    header.Address = native.Address;
    header.Status = native.Status;
    header.RoundTripTime = native.RoundTripTime;
    header.DataSize = native.DataSize;
    header.Options.Ttl = native.Options.Ttl;
    header.Options.Tos = native.Options.Tos;
    header.Options.Flags = native.Options.Flags;
    std::memcpy(AReply, &header, sizeof header);
    return {count, 0};
  }

  TOsHandle CreateCompletionEvent(uint32_t& ALastError) override { return FEvents.Create(ALastError); }
  void ResetEvent(TOsHandle AEvent) override { FEvents.Reset(AEvent); }
  void CloseEvent(TOsHandle AEvent) override { FEvents.Close(AEvent); }

  uint32_t WaitForSingleObject(TOsHandle AEvent, uint32_t ATimeout) override {
    return ::WaitForSingleObject(ToHandle(AEvent), ATimeout);
  }

  uint32_t WaitForAllObjects(std::span<const TOsHandle> AEvents, uint32_t ATimeout) override {
    std::vector<HANDLE> handles;
    for (const TOsHandle event : AEvents)
      handles.push_back(ToHandle(event));
    return WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, ATimeout);
  }

private:
  TEventTable FEvents;
};

}  // namespace

IIcmp& SystemIcmp() {
  static TWinIcmp icmp;
  return icmp;
}

}  // namespace orvella::platform
