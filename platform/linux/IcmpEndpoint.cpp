#include "platform/linux/IcmpEndpoint.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/linux/RoundTripTime.h"

namespace orvella::platform {
namespace {

// The IP status code of a send that the kernel refused at once.
bool StatusOfSendError(int AErrno, uint32_t& AStatus) {
  switch (AErrno) {
  case ENETUNREACH:
    AStatus = IpDestNetUnreachable;
    return true;
  case EHOSTUNREACH:
    AStatus = IpDestHostUnreachable;
    return true;
  default:
    return false;
  }
}

// One datagram's buffers for recvmsg: data, sender and control messages.
struct TReceived {
  TReceived(uint8_t* ABuffer, size_t ASize) : Io{ABuffer, ASize} {
    Message.msg_name = &From;
    Message.msg_namelen = sizeof From;
    Message.msg_iov = &Io;
    Message.msg_iovlen = 1;
    Message.msg_control = Control;
    Message.msg_controllen = sizeof Control;
  }
  TReceived(const TReceived&) = delete;
  TReceived& operator=(const TReceived&) = delete;

  sockaddr_in From{};
  iovec Io;
  alignas(cmsghdr) uint8_t Control[512];
  msghdr Message{};
};

std::atomic<uint16_t> NextRawIdentifier{static_cast<uint16_t>(getpid() * 2654435761u >> 16)};

}  // namespace

TFd OpenIcmpSocket(bool ARaw) {
  TFd socket(::socket(AF_INET, (ARaw ? SOCK_RAW : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (!socket.Valid())
    return socket;
  const int fd = socket.Get();
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  if (ARaw) {
    // Only the answers to echo requests: replies and the error messages.
    icmp_filter filter{~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                         (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB))};
    setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  } else {
    setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  }
  return socket;
}

TIcmpEndpoint::TIcmpEndpoint(TFd ASocket, bool ARaw)
    : FSocket(std::move(ASocket)), FRaw(ARaw), FIdentifier(NextRawIdentifier++) {
  FThread = std::thread([this] { Run(); });
}

TIcmpEndpoint::~TIcmpEndpoint() {
  FStop.Set();
  FThread.join();
}

TIcmpSendResult TIcmpEndpoint::Send(std::shared_ptr<TWaitableEvent> AEvent, uint32_t ADestination, const void* AData,
                                    uint16_t ADataSize, void* AReply, uint32_t AReplySize, uint32_t ATimeout) {
  if (AReplySize < sizeof(Ticmp_echo_reply) + EchoHeaderSize)
    return {0, IpBufTooSmall};
  std::vector<uint8_t> packet;
  uint16_t sequence = 0;
  {
    std::lock_guard lock(FLock);
    ExpireIfDue();
    if (FActive)
      return {0, EBUSY};
    sequence = ++FSequence;
    packet = BuildEchoRequest(FIdentifier, FSequence, {static_cast<const uint8_t*>(AData), ADataSize});
    FEvent = std::move(AEvent);
    FReply = static_cast<uint8_t*>(AReply);
    FReplySize = AReplySize;
    clock_gettime(CLOCK_MONOTONIC, &FSent);
    FDeadline = TPollDeadline(ATimeout);
    // Outstanding before it leaves: the answer may be in before sendto returns.
    FActive = true;
  }
  // Sent without the lock, so that the thread takes a quick answer off the
  // socket without waiting for this call to end.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ADestination;
  if (sendto(FSocket.Get(), packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
    return {0, ErrorIoPending};
  const int error = errno;
  std::lock_guard lock(FLock);
  const bool outstanding = FActive && FSequence == sequence;
  uint32_t status = 0;
  if (StatusOfSendError(error, status)) {
    // No route: the request completes at once with the matching status.
    if (outstanding)
      Complete({status, ADestination, 0, {}}, nullptr);
    return {0, ErrorIoPending};
  }
  // Completed meanwhile (its error queue, its deadline): its event tells.
  if (!outstanding)
    return {0, ErrorIoPending};
  FActive = false;
  FEvent.reset();
  return {0, static_cast<uint32_t>(error)};
}

void TIcmpEndpoint::ExpireRequest(TPollDeadline& ANext) {
  std::lock_guard lock(FLock);
  ExpireIfDue();
  if (FActive && FDeadline.Before(ANext))
    ANext = FDeadline;
}

void TIcmpEndpoint::ExpireIfDue() {
  if (FActive && FDeadline.Passed())
    Complete({IpReqTimedOut, 0, 0, {}}, nullptr);
}

// The thread sleeps until something arrives: it keeps no deadline itself.
void TIcmpEndpoint::Run() {
  for (;;) {
    pollfd fds[2] = {{FSocket.Get(), POLLIN, 0}, {static_cast<int>(FStop.Handle()), POLLIN, 0}};
    if (PollUntil(fds, TPollDeadline(Infinite)) < 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (fds[1].revents & POLLIN)
      return;
    std::lock_guard lock(FLock);
    // An answer after the deadline is too late: the request has timed out.
    ExpireIfDue();
    if (fds[0].revents & POLLERR)
      DrainErrors();
    if (fds[0].revents & POLLIN)
      DrainReplies();
  }
}

// Every datagram waiting on the socket; whatever does not belong to the
// outstanding request (a late reply to an earlier one) is dropped.
void TIcmpEndpoint::DrainReplies() {
  uint8_t buffer[65536];
  for (;;) {
    TReceived received(buffer, sizeof buffer);
    msghdr& message = received.Message;
    const ssize_t size = recvmsg(FSocket.Get(), &message, MSG_DONTWAIT);
    if (size < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        return;
      // A pending socket error is reported once; its details are in the error queue.
      if (errno == EINTR || errno == EHOSTUNREACH || errno == ENETUNREACH || errno == ECONNREFUSED ||
          errno == EMSGSIZE || errno == EPROTO) {
        DrainErrors();
        continue;
      }
      return;
    }
    timespec stamp{};
    int ttl = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS)
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      else if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
        std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
    }
    if (!FActive)
      continue;
    const std::span<const uint8_t> packet(buffer, static_cast<size_t>(size));
    const std::optional<TEchoAnswer> answer =
        FRaw ? ParseRawAnswer(packet, FIdentifier, FSequence)
             : ParseDatagramReply(packet, FSequence, received.From.sin_addr.s_addr, ttl);
    if (answer)
      Complete(*answer, &stamp);
  }
}

// ICMP errors of a datagram socket arrive on its error queue with the
// request they answer.
void TIcmpEndpoint::DrainErrors() {
  uint8_t buffer[2048];
  for (;;) {
    TReceived received(buffer, sizeof buffer);
    msghdr& message = received.Message;
    const ssize_t size = recvmsg(FSocket.Get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (size < 0)
      break;
    const sock_extended_err* error = nullptr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
        error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    if (!error || !FActive || static_cast<size_t>(size) < EchoHeaderSize || EchoSequence(buffer) != FSequence)
      continue;
    uint32_t status = IpGeneralFailure;
    if (error->ee_origin == SO_EE_ORIGIN_ICMP)
      status = StatusOfIcmpError(error->ee_type, error->ee_code);
    else
      StatusOfSendError(static_cast<int>(error->ee_errno), status);
    sockaddr_in offender{};
    std::memcpy(&offender, SO_EE_OFFENDER(error), sizeof offender);
    Complete({status, offender.sin_addr.s_addr, 0, {}}, nullptr);
  }
  // The pending socket error has been taken off the queue above.
  int pending = 0;
  socklen_t length = sizeof pending;
  getsockopt(FSocket.Get(), SOL_SOCKET, SO_ERROR, &pending, &length);
}

void TIcmpEndpoint::Complete(const TEchoAnswer& AAnswer, const timespec* AReceived) {
  timespec taken{};
  clock_gettime(CLOCK_MONOTONIC, &taken);
  // The kernel stamps arrivals on the wall clock only.
  timespec wallNow{};
  clock_gettime(CLOCK_REALTIME, &wallNow);
  const bool stamped = AReceived && (AReceived->tv_sec != 0 || AReceived->tv_nsec != 0);
  const int64_t elapsed = RoundTripMilliseconds(FSent, taken, stamped ? *AReceived : wallNow, wallNow);
  WriteEchoReply({FReply, FReplySize}, AAnswer, static_cast<uint32_t>(elapsed < 0 ? 0 : elapsed));
  FActive = false;
  FEvent->Set();
  FEvent.reset();
}

}  // namespace orvella::platform
