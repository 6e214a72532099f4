#pragma once
// The monitor of the round-trip time of ICMP echo requests to one IPv4 address.
// BeginPing starts the requests of all pingers at once and waits for them
// together, so a cycle waits at most one time-out however many targets are
// silent. A request that runs out of time is parked while the platform may
// still write its reply buffer, and reused or released once it has completed.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/MonLog.h"
#include "engine/TickCount.h"
#include "platform/Icmp.h"

namespace orvella {

class TPinger : public TMonLog {
public:
  static constexpr double MaxRoundTrip = 150.0;
  static constexpr uint32_t MinTimeout = 4000;
  static constexpr uint16_t RequestDataSize = 1000;
  static constexpr uint32_t ReplyBufferSize = 1060;
  static constexpr size_t MaxWaitHandles = 64;

  // One echo request: the ICMP handle, the completion event and the reply buffer.
  class TPacket {
  public:
    explicit TPacket(platform::IIcmp& AIcmp);
    // Waits for an outstanding request, so that its buffer is never released
    // while the platform may still write to it.
    ~TPacket();
    TPacket(const TPacket&) = delete;
    TPacket& operator=(const TPacket&) = delete;

    // Consumes a completion: false when the request is still outstanding after ATimeout ms.
    bool WaitAndReset(uint32_t ATimeout);
    // Empty when the request is outstanding, else why it could not be sent.
    std::string Send(uint32_t AIp, uint32_t ATimeout);
    // Empty when a good reply is in the buffer, else the error text.
    std::string ParseReply();

    platform::TOsHandle Event() const { return FEvent; }
    int32_t Rtt() const { return static_cast<int32_t>(FReply.Header.RoundTripTime); }
    uint8_t Ttl() const { return FReply.Header.Options.Ttl; }
    uint32_t ReplyIp() const { return FReply.Header.Address; }
    uint16_t ReplyDataSize() const { return FReply.Header.DataSize; }
    bool Pending() const { return FPending; }

  private:
    struct TReply {
      platform::Ticmp_echo_reply Header;
      uint8_t Data[RequestDataSize];
      uint8_t BufSize[32];
    };
    static_assert(sizeof(TReply) == ReplyBufferSize);

    platform::IIcmp& FIcmp;
    platform::TOsHandle FIcmpHandle = 0;
    platform::TOsHandle FEvent = 0;
    TReply FReply{};
    bool FPending = false;
  };

  TPinger(TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock = platform::SystemClock(),
          platform::IIcmp& AIcmp = platform::SystemIcmp(),
          const platform::ITickSource& ATicks = platform::SystemTickSource());
  ~TPinger() override;

  // Starts one request in every pinger of AObjects but the one whose log id
  // ordinal is AExceptId (-1: none), then waits until all have completed or
  // the longest time-out has passed. Objects that are not pingers are skipped.
  template <typename TRange>
  static void BeginPing(const TRange& AObjects, int AExceptId) {
    std::vector<TMonLog*> list;
    for (const auto& object : AObjects)
      list.push_back(&*object);
    BeginPingList(list, AExceptId);
  }

  uint32_t Ip() const { return FIp; }
  // A new address forgets the verdicts gathered for the old one.
  void SetIp(uint32_t AValue);
  // Whether there is nothing to check (the PC reaches the Internet without a
  // router): then nothing is sent and every sample is empty, not an error.
  void SetNoTarget(bool AValue) { FNoTarget = AValue; }
  const std::string& IpDescr() const { return FIpDescr; }
  void SetIpDescr(const std::string& AValue) { FIpDescr = AValue; }

protected:
  void GetValue(TSampleValue& AValue) override;
  void FormatLogText(const TSampleValue& AValue, TDateTime ATime, std::string& AText) override;
  bool NeedNotifyAboutError() override;

private:
  static void BeginPingList(std::span<TMonLog* const> AObjects, int AExceptId);
  uint32_t GetTimeout() const;
  platform::TOsHandle StartPing();

  uint32_t FIp = 0;
  bool FNoTarget = false;
  std::string FIpDescr;
  std::string FError = "BeginPing was not called";
  std::deque<std::unique_ptr<TPacket>> FQueue;
  std::unique_ptr<TPacket> FPacket;
  TTickCount FPingStarted;
  platform::IIcmp& FIcmp;
};

}  // namespace orvella
