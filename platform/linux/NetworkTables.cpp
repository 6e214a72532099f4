#include "platform/NetworkTables.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/linux/FileDescriptor.h"

namespace orvella::platform {

namespace {

// A netlink socket of the calling thread's network namespace. It remembers
// whether the socket itself failed (as opposed to an error the kernel
// answered), so that a kept socket can be replaced.
class TNetlink {
public:
  explicit TNetlink(int AProtocol) : FFd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, AProtocol)) {
    FFailed = !FFd.Valid();
    if (!FFailed) {
      timeval timeout{2, 0};  // the kernel answers at once; never hang on it
      setsockopt(FFd.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
  }

  int Fd() const { return FFd.Get(); }
  bool Failed() const { return FFailed; }
  // A number for the next request: a late answer to an earlier one on a
  // kept socket is then told apart and skipped.
  uint32_t NextSequence() { return ++FSequence; }

  bool Send(const void* ARequest, size_t ASize) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const bool sent = sendto(FFd.Get(), ARequest, ASize, 0, reinterpret_cast<const sockaddr*>(&kernel),
                             sizeof kernel) == static_cast<ssize_t>(ASize);
    FFailed = FFailed || !sent;
    return sent;
  }

  // Calls AMessage for every message of the answer until its end; an errno
  // value on failure, 0 on success.
  template <typename TCallback>
  int Receive(uint32_t ASequence, TCallback AMessage) {
    std::vector<uint8_t> buffer(65536);
    for (;;) {
      const ssize_t size = recv(FFd.Get(), buffer.data(), buffer.size(), 0);
      if (size < 0) {
        if (errno == EINTR)
          continue;
        FFailed = true;
        return errno;
      }
      size_t left = static_cast<size_t>(size);
      for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, left);
           header = NLMSG_NEXT(header, left)) {
        if (header->nlmsg_seq != ASequence)
          continue;
        if (header->nlmsg_type == NLMSG_DONE)
          return 0;
        if (header->nlmsg_type == NLMSG_ERROR) {
          const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
          return -error->error;
        }
        if (!AMessage(header))
          return 0;
      }
    }
  }

private:
  TFd FFd;
  bool FFailed = false;
  uint32_t FSequence = 0;
};

// The route socket kept open between lookups: the sampling loop asks for the
// route to its targets every second. One per thread, since a socket answers
// for the network namespace it was opened in and a thread may enter another;
// a socket that failed is dropped and the next lookup opens a new one.
class TRouteLink {
public:
  TNetlink& Open() {
    const ino_t space = NetworkNamespace();
    // Without /proc the namespace is unknown: a socket for this lookup alone.
    if (!FLink || space == 0 || space != FSpace) {
      FLink.reset();
      FLink = std::make_unique<TNetlink>(NETLINK_ROUTE);
      FSpace = space;
    }
    return *FLink;
  }
  void Drop() { FLink.reset(); }

private:
  static ino_t NetworkNamespace() {
    struct stat info = {};
    return stat("/proc/thread-self/ns/net", &info) == 0 ? info.st_ino : 0;
  }

  std::unique_ptr<TNetlink> FLink;
  ino_t FSpace = 0;
};

uint32_t MibStateOf(uint8_t ALinuxState) {
  switch (ALinuxState) {
  case TCP_ESTABLISHED:
    return MibTcpStateEstab;
  case TCP_SYN_SENT:
    return MibTcpStateSynSent;
  case TCP_SYN_RECV:
  case 12:  // TCP_NEW_SYN_RECV: a request being answered
    return MibTcpStateSynRcvd;
  case TCP_FIN_WAIT1:
    return MibTcpStateFinWait1;
  case TCP_FIN_WAIT2:
    return MibTcpStateFinWait2;
  case TCP_TIME_WAIT:
    return MibTcpStateTimeWait;
  case TCP_CLOSE:
    return MibTcpStateClosed;
  case TCP_CLOSE_WAIT:
    return MibTcpStateCloseWait;
  case TCP_LAST_ACK:
    return MibTcpStateLastAck;
  case TCP_LISTEN:
    return MibTcpStateListen;
  case TCP_CLOSING:
    return MibTcpStateClosing;
  default:
    return MibTcpStateDeleteTcb;
  }
}

class TSystemNetworkTables final : public INetworkTables {
public:
  // The route the kernel would choose, as "ip route get" shows it: a route
  // with a gateway is indirect, its next hop the gateway.
  uint32_t GetBestRoute(uint32_t ADest, uint32_t, TIpForwardRow& ARoute) override {
    thread_local TRouteLink routes;
    // A kept socket that fails (closed under it, its queue overrun) is
    // replaced at once, and the lookup made again on the new one.
    uint32_t status = NoError;
    for (int attempt = 0; attempt < 2; ++attempt) {
      TNetlink& link = routes.Open();
      status = RouteVia(link, ADest, ARoute);
      if (!link.Failed())
        break;
      routes.Drop();
    }
    return status;
  }

  // TCP sockets of every state from the kernel's socket diagnostics. A
  // failed read (no socket, a time-out, an error answer) is a passing fault
  // of this one snapshot, not of the application: it is reported as the
  // status that callers repeat a few times before they take the table as
  // empty.
  uint32_t GetTcpTable(TMibTcpTable* ATable, uint32_t& ASize, bool) override {
    std::vector<TMibTcpRow> rows;
    if (ReadRows(rows) != 0)
      return StatusUnsuccessful;
    const size_t needed = sizeof(uint32_t) + rows.size() * sizeof(TMibTcpRow);
    if (!ATable || ASize < needed) {
      ASize = static_cast<uint32_t>(needed);
      return ErrorInsufficientBuffer;
    }
    ATable->NumEntries = static_cast<uint32_t>(rows.size());
    if (!rows.empty())
      std::memcpy(reinterpret_cast<uint8_t*>(ATable) + sizeof(uint32_t), rows.data(),
                  rows.size() * sizeof(TMibTcpRow));
    return NoError;
  }

private:
  // The route to ADest as the kernel answers it on ALink.
  static uint32_t RouteVia(TNetlink& ALink, uint32_t ADest, TIpForwardRow& ARoute) {
    if (ALink.Fd() < 0)
      return static_cast<uint32_t>(errno);
    struct {
      nlmsghdr header;
      rtmsg route;
      alignas(NLMSG_ALIGNTO) uint8_t attributes[RTA_SPACE(4)];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg)) + RTA_SPACE(4);
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = ALink.NextSequence();
    request.route.rtm_family = AF_INET;
    request.route.rtm_dst_len = 32;
    auto* destination = reinterpret_cast<rtattr*>(request.attributes);
    destination->rta_type = RTA_DST;
    destination->rta_len = RTA_LENGTH(4);
    std::memcpy(RTA_DATA(destination), &ADest, 4);
    if (!ALink.Send(&request, request.header.nlmsg_len))
      return static_cast<uint32_t>(errno);

    TIpForwardRow row;
    row.ForwardDest = ADest;
    row.ForwardType = RouteTypeDirect;
    bool found = false;
    const int error = ALink.Receive(request.header.nlmsg_seq, [&](const nlmsghdr* AHeader) {
      if (AHeader->nlmsg_type != RTM_NEWROUTE)
        return true;
      const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(AHeader));
      int left = static_cast<int>(RTM_PAYLOAD(AHeader));
      for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
        if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) == 4) {
          std::memcpy(&row.ForwardNextHop, RTA_DATA(attribute), 4);
          row.ForwardType = RouteTypeIndirect;
        } else if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) == 4) {
          std::memcpy(&row.ForwardIfIndex, RTA_DATA(attribute), 4);
        }
      }
      if (row.ForwardType == RouteTypeDirect)
        row.ForwardNextHop = ADest;
      found = true;
      return false;
    });
    if (error != 0)
      return static_cast<uint32_t>(error);
    if (!found)
      return static_cast<uint32_t>(ENETUNREACH);
    ARoute = row;
    return NoError;
  }

  // IPv4 sockets, and IPv6 ones that talk IPv4 through mapped addresses
  // (::ffff:a.b.c.d), which Windows lists as IPv4 connections too.
  static uint32_t ReadRows(std::vector<TMibTcpRow>& ARows) {
    const uint32_t error = ReadFamily(AF_INET, ARows);
    return error != 0 ? error : ReadFamily(AF_INET6, ARows);
  }

  static bool IsMapped(const uint32_t AAddress[4]) {
    return AAddress[0] == 0 && AAddress[1] == 0 && AAddress[2] == htonl(0xFFFF);
  }

  static uint32_t ReadFamily(uint8_t AFamily, std::vector<TMibTcpRow>& ARows) {
    TNetlink link(NETLINK_SOCK_DIAG);
    if (link.Fd() < 0)
      return static_cast<uint32_t>(errno);
    struct {
      nlmsghdr header;
      inet_diag_req_v2 diag;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.diag.sdiag_family = AFamily;
    request.diag.sdiag_protocol = IPPROTO_TCP;
    request.diag.idiag_states = ~0u;
    if (!link.Send(&request, sizeof request))
      return static_cast<uint32_t>(errno);
    const int error = link.Receive(1, [&](const nlmsghdr* AHeader) {
      if (AHeader->nlmsg_type != SOCK_DIAG_BY_FAMILY)
        return true;
      const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(AHeader));
      const int word = AFamily == AF_INET ? 0 : 3;
      if (AFamily == AF_INET6 && !(IsMapped(socket->id.idiag_src) && IsMapped(socket->id.idiag_dst)))
        return true;
      ARows.push_back({MibStateOf(socket->idiag_state), socket->id.idiag_src[word], socket->id.idiag_sport,
                       socket->id.idiag_dst[word], socket->id.idiag_dport});
      return true;
    });
    return static_cast<uint32_t>(error);
  }
};

}  // namespace

INetworkTables& SystemNetworkTables() {
  static TSystemNetworkTables tables;
  return tables;
}

}  // namespace orvella::platform
