#pragma once
// ICMP echo requests that run asynchronously, each completing at the latest at
// its own deadline, plus the manual-reset events that signal their completion.
// The shape follows the IP Helper calls, so the pinger's logic is the same on
// every system; only what sits under these calls differs.
#include <cstdint>
#include <span>

#include "platform/OsHandle.h"
#include "platform/WaitableEvent.h"

namespace orvella::platform {

inline constexpr TOsHandle InvalidIcmpHandle = ~TOsHandle(0);

inline constexpr uint32_t ErrorIoPending = 997;
inline constexpr uint32_t WaitObject0 = 0;
inline constexpr uint32_t WaitTimeout = 258;
inline constexpr uint32_t WaitFailed = 0xFFFFFFFF;

// IP status codes of an echo request.
inline constexpr uint32_t IpSuccess = 0;
inline constexpr uint32_t IpStatusBase = 11000;
inline constexpr uint32_t IpBufTooSmall = 11001;
inline constexpr uint32_t IpDestNetUnreachable = 11002;
inline constexpr uint32_t IpDestHostUnreachable = 11003;
inline constexpr uint32_t IpDestProtUnreachable = 11004;
inline constexpr uint32_t IpDestPortUnreachable = 11005;
inline constexpr uint32_t IpPacketTooBig = 11009;
inline constexpr uint32_t IpReqTimedOut = 11010;
inline constexpr uint32_t IpBadRoute = 11012;
inline constexpr uint32_t IpTtlExpiredTransit = 11013;
inline constexpr uint32_t IpTtlExpiredReassem = 11014;
inline constexpr uint32_t IpParamProblem = 11015;
inline constexpr uint32_t IpSourceQuench = 11016;
inline constexpr uint32_t IpGeneralFailure = 11050;
inline constexpr uint32_t IpStatusLast = 11050;

#pragma pack(push, 4)
// The 32-bit layout of the echo reply header: 28 bytes.
struct TIpOptionInformation {
  uint8_t Ttl;
  uint8_t Tos;
  uint8_t Flags;
  uint8_t OptionsSize;
  uint32_t OptionsData;
};

struct Ticmp_echo_reply {
  uint32_t Address;  // network byte order
  uint32_t Status;
  uint32_t RoundTripTime;  // milliseconds
  uint16_t DataSize;
  uint16_t Reserved;
  uint32_t Data;
  TIpOptionInformation Options;
};
#pragma pack(pop)
static_assert(sizeof(Ticmp_echo_reply) == 28);

struct TIcmpSendResult {
  uint32_t Result;
  uint32_t LastError;
};

struct TIcmpCreateResult {
  TOsHandle Handle;  // InvalidIcmpHandle on failure
  uint32_t LastError;
};

struct TIcmpParseResult {
  uint32_t Count;  // 0 = failure, the reason in LastError
  uint32_t LastError;
};

class IIcmp {
public:
  virtual ~IIcmp() = default;

  virtual TIcmpCreateResult IcmpCreateFile() = 0;
  virtual void IcmpCloseHandle(TOsHandle AHandle) = 0;
  // Starts one request that signals AEvent when it completes; a pending
  // request answers Result 0 with LastError ErrorIoPending. The platform
  // writes AReply until then.
  virtual TIcmpSendResult IcmpSendEcho2(TOsHandle AHandle, TOsHandle AEvent, uint32_t ADestination, const void* AData,
                                        uint16_t ADataSize, void* AReply, uint32_t AReplySize, uint32_t ATimeout) = 0;
  virtual TIcmpParseResult IcmpParseReplies(void* AReply, uint32_t AReplySize) = 0;

  // Manual-reset events, created non-signalled; 0 with the reason in
  // ALastError on failure.
  virtual TOsHandle CreateCompletionEvent(uint32_t& ALastError) = 0;
  virtual void ResetEvent(TOsHandle AEvent) = 0;
  virtual void CloseEvent(TOsHandle AEvent) = 0;
  // WaitObject0 when signalled, WaitTimeout after ATimeout ms (Infinite: never).
  virtual uint32_t WaitForSingleObject(TOsHandle AEvent, uint32_t ATimeout) = 0;
  // Waits until all AEvents are signalled or ATimeout ms have passed.
  virtual uint32_t WaitForAllObjects(std::span<const TOsHandle> AEvents, uint32_t ATimeout) = 0;
};

// The system's ICMP service; lives as long as the process.
IIcmp& SystemIcmp();

}  // namespace orvella::platform
