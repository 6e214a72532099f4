#include "platform/linux/LinuxIcmp.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/linux/PollDeadline.h"
#include "platform/linux/RoundTripTime.h"
#include "platform/linux/InternetChecksum.h"

namespace orvella::platform {

namespace {

using TSteady = std::chrono::steady_clock;

constexpr size_t EchoHeaderSize = 8;  // type, code, checksum, identifier, sequence

int EventFd(TOsHandle AEvent) { return static_cast<int>(AEvent) - 1; }

void SignalEvent(TOsHandle AEvent) {
  const uint64_t one = 1;
  // An eventfd only refuses a write when its counter would overflow.
  [[maybe_unused]] const ssize_t written = write(EventFd(AEvent), &one, sizeof one);
}

// The IP status code of an ICMP error message.
uint32_t StatusOfIcmpError(uint8_t AType, uint8_t ACode) {
  switch (AType) {
  case ICMP_DEST_UNREACH:
    switch (ACode) {
    case ICMP_NET_UNREACH:
    case ICMP_NET_UNKNOWN:
    case ICMP_NET_ANO:
    case ICMP_NET_UNR_TOS:
      return IpDestNetUnreachable;
    case ICMP_PROT_UNREACH:
      return IpDestProtUnreachable;
    case ICMP_PORT_UNREACH:
      return IpDestPortUnreachable;
    case ICMP_FRAG_NEEDED:
      return IpPacketTooBig;
    case ICMP_SR_FAILED:
      return IpBadRoute;
    default:
      return IpDestHostUnreachable;
    }
  case ICMP_TIME_EXCEEDED:
    return ACode == ICMP_EXC_FRAGTIME ? IpTtlExpiredReassem : IpTtlExpiredTransit;
  case ICMP_PARAMETERPROB:
    return IpParamProblem;
  case ICMP_SOURCE_QUENCH:
    return IpSourceQuench;
  default:
    return IpGeneralFailure;
  }
}

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

// One ICMP socket with its receiving thread and at most one outstanding request.
class TLinuxIcmp::TEndpoint {
public:
  TEndpoint(int ASocket, bool ARaw) : FSocket(ASocket), FRaw(ARaw), FIdentifier(NextRawIdentifier++) {
    FWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FWake < 0) {
      const int error = errno;
      close(FSocket);
      throw std::system_error(error, std::generic_category());
    }
    try {
      FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      close(FWake);
      close(FSocket);
      throw;
    }
  }

  ~TEndpoint() {
    {
      std::lock_guard lock(FLock);
      FStop = true;
    }
    SignalFd(FWake);
    FThread.join();
    close(FWake);
    close(FSocket);
  }

  bool Raw() const { return FRaw; }

  TIcmpSendResult Send(TOsHandle AEvent, uint32_t ADestination, const void* AData, uint16_t ADataSize, void* AReply,
                       uint32_t AReplySize, uint32_t ATimeout) {
    if (AReplySize < sizeof(Ticmp_echo_reply) + EchoHeaderSize)
      return {0, IpBufTooSmall};
    std::lock_guard lock(FLock);
    if (FActive)
      return {0, EBUSY};
    ++FSequence;
    std::vector<uint8_t> packet(EchoHeaderSize + ADataSize);
    packet[0] = ICMP_ECHO;
    packet[1] = 0;
    const uint16_t identifier = htons(FIdentifier);
    const uint16_t sequence = htons(FSequence);
    std::memcpy(&packet[4], &identifier, 2);
    std::memcpy(&packet[6], &sequence, 2);
    std::memcpy(&packet[EchoHeaderSize], AData, ADataSize);
    const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    std::memcpy(&packet[2], &checksum, 2);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = ADestination;
    FEvent = AEvent;
    FReply = static_cast<uint8_t*>(AReply);
    FReplySize = AReplySize;
    FDestination = ADestination;
    clock_gettime(CLOCK_MONOTONIC, &FSent);
    FDeadline = TSteady::now() + std::chrono::milliseconds(ATimeout);
    if (sendto(FSocket, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
      const int error = errno;
      uint32_t status = 0;
      if (!StatusOfSendError(error, status))
        return {0, static_cast<uint32_t>(error)};
      // No route: the request completes at once with the matching status.
      FActive = true;
      Complete(status, ADestination, 0, nullptr, 0, nullptr);
      return {0, ErrorIoPending};
    }
    FActive = true;
    SignalFd(FWake);
    return {0, ErrorIoPending};
  }

private:
  static void SignalFd(int AFd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(AFd, &one, sizeof one);
  }

  void Run() {
    for (;;) {
      int timeout = -1;
      {
        std::lock_guard lock(FLock);
        if (FStop)
          return;
        if (FActive) {
          const auto left = std::chrono::ceil<std::chrono::milliseconds>(FDeadline - TSteady::now()).count();
          timeout = left < 0 ? 0 : static_cast<int>(left);
        }
      }
      pollfd fds[2] = {{FSocket, POLLIN, 0}, {FWake, POLLIN, 0}};
      const int ready = poll(fds, 2, timeout);
      if (ready < 0 && errno != EINTR)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(FWake, &count, sizeof count);
      }
      std::lock_guard lock(FLock);
      if (FStop)
        return;
      if (fds[0].revents & POLLERR)
        DrainErrors();
      if (fds[0].revents & POLLIN)
        DrainReplies();
      if (FActive && TSteady::now() >= FDeadline)
        Complete(IpReqTimedOut, 0, 0, nullptr, 0, nullptr);
    }
  }

  // Every datagram waiting on the socket; whatever does not belong to the
  // outstanding request (a late reply to an earlier one) is dropped.
  void DrainReplies() {
    uint8_t buffer[65536];
    for (;;) {
      TReceived received(buffer, sizeof buffer);
      msghdr& message = received.Message;
      const sockaddr_in& from = received.From;
      const ssize_t size = recvmsg(FSocket, &message, MSG_DONTWAIT);
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
      if (FRaw)
        TakeRaw(buffer, static_cast<size_t>(size), stamp);
      else
        TakeDatagram(buffer, static_cast<size_t>(size), from.sin_addr.s_addr, ttl, stamp);
    }
  }

  void TakeDatagram(const uint8_t* AData, size_t ASize, uint32_t AFrom, int ATtl, const timespec& AReceived) {
    if (!FActive || ASize < EchoHeaderSize || AData[0] != ICMP_ECHOREPLY || Sequence(AData) != FSequence)
      return;
    Complete(IpSuccess, AFrom, static_cast<uint8_t>(ATtl < 0 ? 0 : ATtl), AData + EchoHeaderSize,
             ASize - EchoHeaderSize, &AReceived);
  }

  void TakeRaw(const uint8_t* AData, size_t ASize, const timespec& AReceived) {
    if (!FActive || ASize < sizeof(iphdr))
      return;
    iphdr ip;
    std::memcpy(&ip, AData, sizeof ip);
    const size_t headerSize = ip.ihl * 4u;
    if (ASize < headerSize + EchoHeaderSize)
      return;
    const uint8_t* icmp = AData + headerSize;
    const size_t icmpSize = ASize - headerSize;
    if (icmp[0] == ICMP_ECHOREPLY) {
      if (Identifier(icmp) == FIdentifier && Sequence(icmp) == FSequence)
        Complete(IpSuccess, ip.saddr, ip.ttl, icmp + EchoHeaderSize, icmpSize - EchoHeaderSize, &AReceived);
      return;
    }
    if (icmp[0] == ICMP_ECHO)
      return;
    // An error message quotes the IP header and the first 8 bytes of our request.
    if (icmpSize < EchoHeaderSize + sizeof(iphdr))
      return;
    iphdr inner;
    std::memcpy(&inner, icmp + EchoHeaderSize, sizeof inner);
    const size_t innerSize = inner.ihl * 4u;
    if (inner.protocol != IPPROTO_ICMP || icmpSize < EchoHeaderSize + innerSize + EchoHeaderSize)
      return;
    const uint8_t* quoted = icmp + EchoHeaderSize + innerSize;
    if (quoted[0] != ICMP_ECHO || Identifier(quoted) != FIdentifier || Sequence(quoted) != FSequence)
      return;
    Complete(StatusOfIcmpError(icmp[0], icmp[1]), ip.saddr, ip.ttl, nullptr, 0, &AReceived);
  }

  // ICMP errors of a datagram socket arrive on its error queue with the
  // request they answer.
  void DrainErrors() {
    uint8_t buffer[2048];
    for (;;) {
      TReceived received(buffer, sizeof buffer);
      msghdr& message = received.Message;
      const ssize_t size = recvmsg(FSocket, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
      if (size < 0)
        break;
      const sock_extended_err* error = nullptr;
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
          error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
      if (!error || !FActive || static_cast<size_t>(size) < EchoHeaderSize || Sequence(buffer) != FSequence)
        continue;
      uint32_t status = IpGeneralFailure;
      if (error->ee_origin == SO_EE_ORIGIN_ICMP)
        status = StatusOfIcmpError(error->ee_type, error->ee_code);
      else
        StatusOfSendError(static_cast<int>(error->ee_errno), status);
      sockaddr_in offender{};
      std::memcpy(&offender, SO_EE_OFFENDER(error), sizeof offender);
      Complete(status, offender.sin_addr.s_addr, 0, nullptr, 0, nullptr);
    }
    // The pending socket error has been taken off the queue above.
    int pending = 0;
    socklen_t length = sizeof pending;
    getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &pending, &length);
  }

  static uint16_t Identifier(const uint8_t* AIcmp) { return static_cast<uint16_t>(AIcmp[4] << 8 | AIcmp[5]); }
  static uint16_t Sequence(const uint8_t* AIcmp) { return static_cast<uint16_t>(AIcmp[6] << 8 | AIcmp[7]); }

  void Complete(uint32_t AStatus, uint32_t AFrom, uint8_t ATtl, const uint8_t* AData, size_t ADataSize,
                const timespec* AReceived) {
    timespec taken{};
    clock_gettime(CLOCK_MONOTONIC, &taken);
    // The kernel stamps arrivals on the wall clock only.
    timespec wallNow{};
    clock_gettime(CLOCK_REALTIME, &wallNow);
    const bool stamped = AReceived && (AReceived->tv_sec != 0 || AReceived->tv_nsec != 0);
    const int64_t elapsed = RoundTripMilliseconds(FSent, taken, stamped ? *AReceived : wallNow, wallNow);
    const size_t room = FReplySize - sizeof(Ticmp_echo_reply) - EchoHeaderSize;
    const size_t copied = ADataSize < room ? ADataSize : room;
    Ticmp_echo_reply header{};
    header.Address = AFrom;
    header.Status = AStatus;
    header.RoundTripTime = static_cast<uint32_t>(elapsed < 0 ? 0 : elapsed);
    header.DataSize = static_cast<uint16_t>(copied);
    header.Options.Ttl = ATtl;
    if (copied)
      std::memcpy(FReply + sizeof header, AData, copied);
    std::memcpy(FReply, &header, sizeof header);
    FActive = false;
    SignalEvent(FEvent);
  }

  const int FSocket;
  const bool FRaw;
  const uint16_t FIdentifier;
  int FWake = -1;
  std::thread FThread;

  std::mutex FLock;
  bool FStop = false;
  bool FActive = false;
  uint16_t FSequence = 0;
  TOsHandle FEvent = 0;
  uint8_t* FReply = nullptr;
  uint32_t FReplySize = 0;
  uint32_t FDestination = 0;
  timespec FSent{};  // monotonic clock
  TSteady::time_point FDeadline;
};

TLinuxIcmp::TLinuxIcmp(TIcmpSocketKind AKind) : FKind(AKind) {}

TLinuxIcmp::~TLinuxIcmp() = default;

namespace {

int OpenSocket(bool ARaw) {
  const int fd = socket(AF_INET, (ARaw ? SOCK_RAW : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0)
    return -1;
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
  return fd;
}

}  // namespace

TIcmpCreateResult TLinuxIcmp::IcmpCreateFile() {
  int fd = -1;
  bool raw = FKind == TIcmpSocketKind::Raw;
  if (!raw)
    fd = OpenSocket(false);
  if (fd < 0 && FKind == TIcmpSocketKind::DatagramOrRaw) {
    // Without a group in ping_group_range only a raw socket, which needs CAP_NET_RAW.
    raw = true;
    fd = OpenSocket(true);
  } else if (fd < 0 && raw) {
    fd = OpenSocket(true);
  }
  if (fd < 0)
    return {InvalidIcmpHandle, static_cast<uint32_t>(errno)};
  try {
    auto endpoint = std::make_unique<TEndpoint>(fd, raw);
    std::lock_guard lock(FLock);
    const TOsHandle handle = FNextHandle++;
    FEndpoints.emplace(handle, std::move(endpoint));
    return {handle, 0};
  } catch (const std::system_error& e) {
    return {InvalidIcmpHandle, static_cast<uint32_t>(e.code().value())};
  }
}

void TLinuxIcmp::IcmpCloseHandle(TOsHandle AHandle) {
  std::unique_ptr<TEndpoint> endpoint;
  {
    std::lock_guard lock(FLock);
    const auto found = FEndpoints.find(AHandle);
    if (found == FEndpoints.end())
      return;
    endpoint = std::move(found->second);
    FEndpoints.erase(found);
  }
}

TLinuxIcmp::TEndpoint* TLinuxIcmp::Find(TOsHandle AHandle) {
  std::lock_guard lock(FLock);
  const auto found = FEndpoints.find(AHandle);
  return found == FEndpoints.end() ? nullptr : found->second.get();
}

bool TLinuxIcmp::IsRaw(TOsHandle AHandle) {
  TEndpoint* endpoint = Find(AHandle);
  return endpoint && endpoint->Raw();
}

TIcmpSendResult TLinuxIcmp::IcmpSendEcho2(TOsHandle AHandle, TOsHandle AEvent, uint32_t ADestination,
                                          const void* AData, uint16_t ADataSize, void* AReply, uint32_t AReplySize,
                                          uint32_t ATimeout) {
  TEndpoint* endpoint = Find(AHandle);
  if (!endpoint || AEvent == 0)
    return {0, EBADF};
  return endpoint->Send(AEvent, ADestination, AData, ADataSize, AReply, AReplySize, ATimeout);
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

TOsHandle TLinuxIcmp::CreateCompletionEvent(uint32_t& ALastError) {
  // The handle is the descriptor plus one, so that 0 stays "none".
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    ALastError = static_cast<uint32_t>(errno);
    return 0;
  }
  return static_cast<TOsHandle>(fd) + 1;
}

void TLinuxIcmp::ResetEvent(TOsHandle AEvent) {
  uint64_t count = 0;
  while (read(EventFd(AEvent), &count, sizeof count) > 0) {
  }
}

void TLinuxIcmp::CloseEvent(TOsHandle AEvent) { close(EventFd(AEvent)); }

uint32_t TLinuxIcmp::WaitForSingleObject(TOsHandle AEvent, uint32_t ATimeout) {
  const TOsHandle events[] = {AEvent};
  return WaitForAllObjects(events, ATimeout);
}

uint32_t TLinuxIcmp::WaitForAllObjects(std::span<const TOsHandle> AEvents, uint32_t ATimeout) {
  const TPollDeadline deadline(ATimeout);
  std::vector<pollfd> waiting;
  for (const TOsHandle event : AEvents)
    waiting.push_back({EventFd(event), POLLIN, 0});
  while (!waiting.empty()) {
    const int ready = poll(waiting.data(), waiting.size(), deadline.PollTimeout());
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      return WaitFailed;
    }
    if (ready == 0) {
      if (!deadline.Passed())
        continue;
      return WaitTimeout;
    }
    std::erase_if(waiting, [](const pollfd& AFd) { return (AFd.revents & POLLIN) != 0; });
    for (const pollfd& fd : waiting)
      if (fd.revents & (POLLNVAL | POLLERR))
        return WaitFailed;
  }
  return WaitObject0;
}

IIcmp& SystemIcmp() {
  static TLinuxIcmp icmp;
  return icmp;
}

}  // namespace orvella::platform
