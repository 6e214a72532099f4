#pragma once
// One ICMP socket with its receiving thread and at most one outstanding echo
// request: the thread takes the reply or ICMP error off the socket, writes the
// caller's reply buffer and sets the caller's event. A request past its
// deadline completes with IpReqTimedOut when a wait for events or the next
// send looks at it (ExpireRequest), so a send costs no wake-up of the thread.
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Icmp.h"
#include "platform/WaitableEvent.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/IcmpPacket.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {

// An ICMP datagram socket, or a raw one, ready for an endpoint; an invalid
// descriptor with errno when the system refuses.
TFd OpenIcmpSocket(bool ARaw);

class TIcmpEndpoint {
public:
  // Starts the thread; std::system_error when it cannot.
  TIcmpEndpoint(TFd ASocket, bool ARaw);
  ~TIcmpEndpoint();
  TIcmpEndpoint(const TIcmpEndpoint&) = delete;
  TIcmpEndpoint& operator=(const TIcmpEndpoint&) = delete;

  bool Raw() const { return FRaw; }

  // Sends one request; AEvent is set when it completes.
  TIcmpSendResult Send(std::shared_ptr<TWaitableEvent> AEvent, uint32_t ADestination, const void* AData,
                       uint16_t ADataSize, void* AReply, uint32_t AReplySize, uint32_t ATimeout);

  // Completes the outstanding request as timed out once its deadline has
  // passed; otherwise brings ANext forward to that deadline, so that a wait
  // ends in time to complete it.
  void ExpireRequest(TPollDeadline& ANext);

private:
  void Run();
  void ExpireIfDue();
  void DrainReplies();
  void DrainErrors();
  void Complete(const TEchoAnswer& AAnswer, const timespec* AReceived);

  const TFd FSocket;
  const bool FRaw;
  const uint16_t FIdentifier;
  // Set once, by the destructor, to end the thread.
  TWaitableEvent FStop;
  std::thread FThread;

  std::mutex FLock;
  bool FActive = false;
  uint16_t FSequence = 0;
  std::shared_ptr<TWaitableEvent> FEvent;
  uint8_t* FReply = nullptr;
  uint32_t FReplySize = 0;
  timespec FSent{};  // monotonic clock
  TPollDeadline FDeadline{0};
};

}  // namespace orvella::platform
