#include "platform/linux/Icmp.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/linux/IcmpEndpoint.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {

TLinuxIcmp::TLinuxIcmp(TIcmpSocketKind AKind) : FKind(AKind) {}

TLinuxIcmp::~TLinuxIcmp() = default;

TIcmpCreateResult TLinuxIcmp::IcmpCreateFile() {
  TFd fd;
  bool raw = FKind == TIcmpSocketKind::Raw;
  if (!raw)
    fd = OpenIcmpSocket(false);
  if (!fd.Valid() && FKind == TIcmpSocketKind::DatagramOrRaw) {
    // Without a group in ping_group_range only a raw socket, which needs CAP_NET_RAW.
    raw = true;
    fd = OpenIcmpSocket(true);
  } else if (!fd.Valid() && raw) {
    fd = OpenIcmpSocket(true);
  }
  if (!fd.Valid())
    return {InvalidIcmpHandle, static_cast<uint32_t>(errno)};
  try {
    auto endpoint = std::make_unique<TIcmpEndpoint>(std::move(fd), raw);
    std::lock_guard lock(FLock);
    const TOsHandle handle = FNextHandle++;
    FEndpoints.emplace(handle, std::move(endpoint));
    return {handle, 0};
  } catch (const EOSError& e) {
    return {InvalidIcmpHandle, static_cast<uint32_t>(e.ErrorCode())};
  } catch (const std::system_error& e) {
    return {InvalidIcmpHandle, static_cast<uint32_t>(e.code().value())};
  }
}

void TLinuxIcmp::IcmpCloseHandle(TOsHandle AHandle) {
  std::unique_ptr<TIcmpEndpoint> endpoint;
  {
    std::lock_guard lock(FLock);
    const auto found = FEndpoints.find(AHandle);
    if (found == FEndpoints.end())
      return;
    endpoint = std::move(found->second);
    FEndpoints.erase(found);
  }
}

TIcmpEndpoint* TLinuxIcmp::Find(TOsHandle AHandle) {
  std::lock_guard lock(FLock);
  const auto found = FEndpoints.find(AHandle);
  return found == FEndpoints.end() ? nullptr : found->second.get();
}

bool TLinuxIcmp::IsRaw(TOsHandle AHandle) {
  TIcmpEndpoint* endpoint = Find(AHandle);
  return endpoint && endpoint->Raw();
}

TIcmpSendResult TLinuxIcmp::IcmpSendEcho2(TOsHandle AHandle, TOsHandle AEvent, uint32_t ADestination,
                                          const void* AData, uint16_t ADataSize, void* AReply, uint32_t AReplySize,
                                          uint32_t ATimeout) {
  TIcmpEndpoint* endpoint = Find(AHandle);
  std::shared_ptr<TWaitableEvent> event = FEvents.Find(AEvent);
  if (!endpoint || !event)
    return {0, EBADF};
  return endpoint->Send(std::move(event), ADestination, AData, ADataSize, AReply, AReplySize, ATimeout);
}

TIcmpParseResult TLinuxIcmp::IcmpParseReplies(void* AReply, uint32_t AReplySize) {
  if (AReplySize < sizeof(Ticmp_echo_reply))
    return {0, IpBufTooSmall};
  Ticmp_echo_reply header;
  std::memcpy(&header, AReply, sizeof header);
  // A request that got nothing holds no reply, as on Windows.
  if (header.Status == IpReqTimedOut)
    return {0, IpReqTimedOut};
  return {1, 0};
}

TOsHandle TLinuxIcmp::CreateCompletionEvent(uint32_t& ALastError) { return FEvents.Create(ALastError); }

void TLinuxIcmp::ResetEvent(TOsHandle AEvent) {
  {
    const std::lock_guard lock(FLock);
    FSignalled.erase(AEvent);
  }
  FEvents.Reset(AEvent);
}

void TLinuxIcmp::CloseEvent(TOsHandle AEvent) {
  {
    const std::lock_guard lock(FLock);
    FSignalled.erase(AEvent);
  }
  FEvents.Close(AEvent);
}

uint32_t TLinuxIcmp::WaitForSingleObject(TOsHandle AEvent, uint32_t ATimeout) {
  const TOsHandle events[] = {AEvent};
  return WaitForAllObjects(events, ATimeout);
}

uint32_t TLinuxIcmp::WaitForAllObjects(std::span<const TOsHandle> AEvents, uint32_t ATimeout) {
  const TPollDeadline deadline(ATimeout);
  std::vector<pollfd> waiting;
  {
    const std::lock_guard lock(FLock);
    for (const TOsHandle event : AEvents)
      if (!FSignalled.contains(event))
        waiting.push_back({static_cast<int>(event), POLLIN, 0});
  }
  while (!waiting.empty()) {
    const int ready = PollUntil(waiting, ExpireRequests(deadline));
    if (ready < 0)
      return WaitFailed;
    if (ready == 0 && deadline.Passed())
      return WaitTimeout;
    if (ready == 0)
      continue;  // a request's deadline: the next round completes it
    {
      const std::lock_guard lock(FLock);
      for (const pollfd& fd : waiting)
        if ((fd.revents & POLLIN) != 0)
          FSignalled.insert(static_cast<TOsHandle>(fd.fd));
    }
    std::erase_if(waiting, [](const pollfd& AFd) { return (AFd.revents & POLLIN) != 0; });
    for (const pollfd& fd : waiting)
      if (fd.revents & (POLLNVAL | POLLERR))
        return WaitFailed;
  }
  return WaitObject0;
}

TPollDeadline TLinuxIcmp::ExpireRequests(const TPollDeadline& AWaitEnd) {
  TPollDeadline next = AWaitEnd;
  const std::lock_guard lock(FLock);
  for (const auto& entry : FEndpoints)
    entry.second->ExpireRequest(next);
  return next;
}

IIcmp& SystemIcmp() {
  static TLinuxIcmp icmp;
  return icmp;
}

}  // namespace orvella::platform
