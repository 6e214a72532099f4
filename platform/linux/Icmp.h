#pragma once
// ICMP echo on Linux: an ICMP datagram socket where net.ipv4.ping_group_range
// allows one, a raw socket otherwise. Each handle has one socket and one
// thread that takes replies and ICMP errors off it, writes the caller's reply
// buffer and signals the caller's event. The waits for events complete the
// requests whose deadline has passed with IpReqTimedOut, so a request's
// event is never seen clear after its deadline.
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/EventTable.h"
#include "platform/Icmp.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {

class TIcmpEndpoint;

enum class TIcmpSocketKind { DatagramOrRaw, Datagram, Raw };

class TLinuxIcmp final : public IIcmp {
public:
  explicit TLinuxIcmp(TIcmpSocketKind AKind = TIcmpSocketKind::DatagramOrRaw);
  ~TLinuxIcmp() override;
  TLinuxIcmp(const TLinuxIcmp&) = delete;
  TLinuxIcmp& operator=(const TLinuxIcmp&) = delete;

  TIcmpCreateResult IcmpCreateFile() override;
  void IcmpCloseHandle(TOsHandle AHandle) override;
  TIcmpSendResult IcmpSendEcho2(TOsHandle AHandle, TOsHandle AEvent, uint32_t ADestination, const void* AData,
                                uint16_t ADataSize, void* AReply, uint32_t AReplySize, uint32_t ATimeout) override;
  TIcmpParseResult IcmpParseReplies(void* AReply, uint32_t AReplySize) override;

  TOsHandle CreateCompletionEvent(uint32_t& ALastError) override;
  void ResetEvent(TOsHandle AEvent) override;
  void CloseEvent(TOsHandle AEvent) override;
  uint32_t WaitForSingleObject(TOsHandle AEvent, uint32_t ATimeout) override;
  uint32_t WaitForAllObjects(std::span<const TOsHandle> AEvents, uint32_t ATimeout) override;

  // Whether the handle's socket is a raw one (for tests of both kinds).
  bool IsRaw(TOsHandle AHandle);

private:
  TIcmpEndpoint* Find(TOsHandle AHandle);
  // Completes every request past its deadline; the earlier of AWaitEnd and
  // the first deadline still ahead, where a wait must look again.
  TPollDeadline ExpireRequests(const TPollDeadline& AWaitEnd);

  const TIcmpSocketKind FKind;
  std::mutex FLock;
  std::map<TOsHandle, std::unique_ptr<TIcmpEndpoint>> FEndpoints;
  TEventTable FEvents;
  // The events a wait has seen signalled that no reset has cleared since: a
  // manual-reset event stays signalled, so waiting for it again (as every
  // pinger does after the wait for all) needs no poll.
  std::set<TOsHandle> FSignalled;
  TOsHandle FNextHandle = 1;
};

}  // namespace orvella::platform
