#pragma once
// An ICMP service on a fake millisecond clock: every target answers as a test
// tells it, waits move the clock instead of sleeping, and every wait is
// recorded, so the pinger's rules are checked in microseconds.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "platform/Icmp.h"
#include "tests/support/FakeTickSource.h"

namespace orvella::testing {

struct TFakeEcho {
  enum class TKind { Reply, Status, Silent, SendFails };
  TKind Kind = TKind::Reply;
  uint32_t Rtt = 1;     // Reply: round-trip time; Status: when the error arrives
  uint32_t Status = 0;  // Status: the IP status code of the answer
  uint8_t Ttl = 64;
  int LateMs = 50;          // Silent: the platform completes this long after the deadline
  uint32_t SendResult = 0;  // SendFails: the call's result and last error
  uint32_t SendError = 5;

  static TFakeEcho Reply(uint32_t ARtt, uint8_t ATtl = 64) { return {TKind::Reply, ARtt, 0, ATtl, 0, 0, 0}; }
  static TFakeEcho Error(uint32_t AStatus, uint32_t AAfter = 1) {
    return {TKind::Status, AAfter, AStatus, 0, 0, 0, 0};
  }
  static TFakeEcho Silent(int ALateMs = 50) { return {TKind::Silent, 0, 0, 0, ALateMs, 0, 0}; }
  static TFakeEcho SendFails(uint32_t AResult, uint32_t AError) {
    return {TKind::SendFails, 0, 0, 0, 0, AResult, AError};
  }
};

class TFakeIcmp final : public platform::IIcmp {
public:
  explicit TFakeIcmp(TFakeTickSource& ATicks) : FTicks(ATicks) {}

  void SetEcho(uint32_t AIp, const TFakeEcho& AEcho) { FEchoes[AIp] = AEcho; }
  // The next IcmpCreateFile calls fail with this last error.
  void FailCreate(std::optional<uint32_t> ALastError) { FCreateError = ALastError; }

  std::vector<uint32_t> Waits;  // the time-out of every WaitForAllObjects call
  int Created = 0;
  int Open = 0;
  int Sends = 0;

  platform::TIcmpCreateResult IcmpCreateFile() override {
    if (FCreateError)
      return {platform::InvalidIcmpHandle, *FCreateError};
    ++Created;
    ++Open;
    return {static_cast<platform::TOsHandle>(1000 + Created), 0};
  }
  void IcmpCloseHandle(platform::TOsHandle) override { --Open; }

  platform::TIcmpSendResult IcmpSendEcho2(platform::TOsHandle, platform::TOsHandle AEvent, uint32_t ADestination,
                                          const void*, uint16_t ADataSize, void* AReply, uint32_t,
                                          uint32_t ATimeout) override {
    const auto found = FEchoes.find(ADestination);
    const TFakeEcho echo = found == FEchoes.end() ? TFakeEcho::Silent() : found->second;
    if (echo.Kind == TFakeEcho::TKind::SendFails)
      return {echo.SendResult, echo.SendError};
    ++Sends;
    TRequest request;
    request.Reply = static_cast<uint8_t*>(AReply);
    request.Header.Address = ADestination;
    request.Header.DataSize = ADataSize;
    request.Header.Options.Ttl = echo.Ttl;
    const int64_t now = FTicks.Milliseconds();
    switch (echo.Kind) {
    case TFakeEcho::TKind::Reply:
      request.Header.RoundTripTime = echo.Rtt;
      request.CompleteAt = now + echo.Rtt;
      break;
    case TFakeEcho::TKind::Status:
      request.Header.Status = echo.Status;
      request.Header.DataSize = 0;
      request.CompleteAt = now + echo.Rtt;
      break;
    default:
      request.Header.Status = platform::IpReqTimedOut;
      request.Header.DataSize = 0;
      request.CompleteAt = now + ATimeout + echo.LateMs;
      break;
    }
    FRequests[AEvent] = request;
    return {0, platform::ErrorIoPending};
  }

  platform::TIcmpParseResult IcmpParseReplies(void* AReply, uint32_t) override {
    platform::Ticmp_echo_reply header;
    std::memcpy(&header, AReply, sizeof header);
    if (header.Status == platform::IpReqTimedOut)
      return {0, platform::IpReqTimedOut};
    return {1, 0};
  }

  platform::TOsHandle CreateCompletionEvent(uint32_t&) override {
    const platform::TOsHandle event = FNextEvent++;
    FSignalled[event] = false;
    return event;
  }
  void ResetEvent(platform::TOsHandle AEvent) override { FSignalled[AEvent] = false; }
  void CloseEvent(platform::TOsHandle AEvent) override { FSignalled.erase(AEvent); }

  uint32_t WaitForSingleObject(platform::TOsHandle AEvent, uint32_t ATimeout) override {
    const platform::TOsHandle events[] = {AEvent};
    return Wait(events, ATimeout);
  }
  uint32_t WaitForAllObjects(std::span<const platform::TOsHandle> AEvents, uint32_t ATimeout) override {
    Waits.push_back(ATimeout);
    return Wait(AEvents, ATimeout);
  }

  int OpenEvents() const { return static_cast<int>(FSignalled.size()); }

private:
  struct TRequest {
    uint8_t* Reply = nullptr;
    platform::Ticmp_echo_reply Header{};
    int64_t CompleteAt = 0;
  };

  // Completes every request whose time has come: the platform writes the
  // reply buffer and signals the event.
  void Settle() {
    for (auto it = FRequests.begin(); it != FRequests.end();) {
      if (it->second.CompleteAt <= FTicks.Milliseconds()) {
        std::memcpy(it->second.Reply, &it->second.Header, sizeof it->second.Header);
        FSignalled[it->first] = true;
        it = FRequests.erase(it);
      } else {
        ++it;
      }
    }
  }

  uint32_t Wait(std::span<const platform::TOsHandle> AEvents, uint32_t ATimeout) {
    Settle();
    int64_t last = FTicks.Milliseconds();
    for (const platform::TOsHandle event : AEvents) {
      if (FSignalled[event])
        continue;
      const auto request = FRequests.find(event);
      if (request == FRequests.end())
        last = INT64_MAX;  // nothing will ever signal it
      else
        last = std::max(last, request->second.CompleteAt);
    }
    const int64_t now = FTicks.Milliseconds();
    if (ATimeout != platform::Infinite && last > now + ATimeout) {
      FTicks.Set(now + ATimeout);
      Settle();
      return platform::WaitTimeout;
    }
    FTicks.Set(last);
    Settle();
    return platform::WaitObject0;
  }

  TFakeTickSource& FTicks;
  std::map<uint32_t, TFakeEcho> FEchoes;
  std::map<platform::TOsHandle, TRequest> FRequests;
  std::map<platform::TOsHandle, bool> FSignalled;
  std::optional<uint32_t> FCreateError;
  platform::TOsHandle FNextEvent = 1;
};

}  // namespace orvella::testing
