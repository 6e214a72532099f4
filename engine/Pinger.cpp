#include "engine/Pinger.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/IpError.h"
#include "platform/Exceptions.h"
#include "platform/SystemError.h"

namespace orvella {

namespace {

// Any fixed content serves: replies are never compared with it.
const std::array<uint8_t, TPinger::RequestDataSize>& RequestData() {
  static const auto data = [] {
    std::array<uint8_t, TPinger::RequestDataSize> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<uint8_t>('a' + i % 23);
    return bytes;
  }();
  return data;
}

std::string FormatOctets(uint32_t AIp) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", AIp & 0xFF, (AIp >> 8) & 0xFF, (AIp >> 16) & 0xFF, AIp >> 24);
  return text;
}

}  // namespace

// --- TPacket ---

TPinger::TPacket::TPacket(platform::IIcmp& AIcmp) : FIcmp(AIcmp) {
  const platform::TIcmpCreateResult created = FIcmp.IcmpCreateFile();
  FIcmpHandle = created.Handle;
  if (FIcmpHandle == platform::InvalidIcmpHandle)
    RaiseIpError(created.LastError);
  uint32_t error = 0;
  FEvent = FIcmp.CreateCompletionEvent(error);
  if (FEvent == 0) {
    FIcmp.IcmpCloseHandle(FIcmpHandle);
    platform::RaiseOSError(static_cast<int>(error));
  }
}

TPinger::TPacket::~TPacket() {
  if (FEvent != 0) {
    WaitAndReset(platform::Infinite);
    FIcmp.CloseEvent(FEvent);
  }
  if (FIcmpHandle != 0 && FIcmpHandle != platform::InvalidIcmpHandle)
    FIcmp.IcmpCloseHandle(FIcmpHandle);
}

bool TPinger::TPacket::WaitAndReset(uint32_t ATimeout) {
  if (FPending && FIcmp.WaitForSingleObject(FEvent, ATimeout) != platform::WaitObject0)
    return false;
  FIcmp.ResetEvent(FEvent);
  FPending = false;
  return true;
}

std::string TPinger::TPacket::Send(uint32_t AIp, uint32_t ATimeout) {
  if (FPending)
    return "The packet was already sent";
  const platform::TIcmpSendResult sent = FIcmp.IcmpSendEcho2(FIcmpHandle, FEvent, AIp, RequestData().data(),
                                                             RequestDataSize, &FReply, ReplyBufferSize, ATimeout);
  FPending =
      sent.Result == platform::ErrorIoPending || (sent.Result == 0 && sent.LastError == platform::ErrorIoPending);
  if (FPending)
    return {};
  std::string text = IpErrorText(sent.LastError);
  if (sent.Result != 0)
    text = "Unexpected return value " + std::to_string(sent.Result) + " (" + text + ")";
  return text;
}

std::string TPinger::TPacket::ParseReply() {
  if (FPending)
    return "No reply available";
  const platform::TIcmpParseResult parsed = FIcmp.IcmpParseReplies(&FReply, ReplyBufferSize);
  if (parsed.Count == 0)
    return IpErrorText(parsed.LastError);
  if (FReply.Header.Status != platform::IpSuccess)
    return IpErrorText(FReply.Header.Status);
  return {};
}

// --- TPinger ---

TPinger::TPinger(TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock, platform::IIcmp& AIcmp,
                 const platform::ITickSource& ATicks)
    : TMonLog(ALogId, NoLowerBound, MaxRoundTrip, ALogsDir, AClock), FPingStarted(ATicks), FIcmp(AIcmp) {}

TPinger::~TPinger() {
  // Parked packets first: each waits for its own request to complete.
  FQueue.clear();
  FPacket.reset();
}

void TPinger::SetIp(uint32_t AValue) {
  if (AValue == FIp)
    return;
  FIp = AValue;
  ClearErrors();
}

uint32_t TPinger::GetTimeout() const {
  const double rounded = std::round(FMaxValue);
  return rounded > MinTimeout ? static_cast<uint32_t>(rounded) : MinTimeout;
}

void TPinger::BeginPingList(std::span<TMonLog* const> AObjects, int AExceptId) {
  std::vector<platform::TOsHandle> handles;
  uint32_t waitTime = 0;
  platform::IIcmp* icmp = nullptr;
  for (TMonLog* object : AObjects) {
    auto* pinger = dynamic_cast<TPinger*>(object);
    if (!pinger || static_cast<int>(pinger->LogId()) == AExceptId)
      continue;
    const platform::TOsHandle event = pinger->StartPing();
    if (event == 0)
      continue;
    if (handles.size() == MaxWaitHandles)
      throw EAssertionFailed("More than 64 pingers in one wait", "Pinger");
    handles.push_back(event);
    icmp = &pinger->FIcmp;
    waitTime = std::max(waitTime, pinger->GetTimeout());
  }
  // Whatever has not completed is dealt with by each pinger's GetValue.
  if (!handles.empty())
    icmp->WaitForAllObjects(handles, waitTime);
}

platform::TOsHandle TPinger::StartPing() {
  try {
    if (FNoTarget) {
      FError.clear();
      return 0;
    }
    if (FIp == 0) {
      FError = "No IP address";
      return 0;
    }
    if (!FPacket) {
      if (!FQueue.empty() && FQueue.front()->WaitAndReset(0)) {
        FPacket = std::move(FQueue.front());
        FQueue.pop_front();
      } else {
        FPacket = std::make_unique<TPacket>(FIcmp);
      }
    }
    FError = FPacket->Send(FIp, GetTimeout());
    if (!FError.empty())
      return 0;
    FPingStarted.Now();
    return FPacket->Event();
  } catch (const Exception& e) {
    FError = std::string(e.ClassName()) + ": " + e.what();
    return 0;
  }
}

void TPinger::GetValue(TSampleValue& AValue) {
  if (FNoTarget) {
    AValue = TSampleValue();
  } else if (!FError.empty()) {
    AValue = FError;
  } else if (FPacket->WaitAndReset(FPingStarted.TimeLeft(GetTimeout()))) {
    const std::string text = FPacket->ParseReply();
    if (text.empty())
      AValue = FPacket->Rtt();
    else
      AValue = text;
  } else {
    AValue = "Time is out";
    FQueue.push_back(std::move(FPacket));
  }
  // At most one parked packet is released per sample.
  if (!FQueue.empty() && FQueue.front()->WaitAndReset(0))
    FQueue.pop_front();
}

void TPinger::FormatLogText(const TSampleValue& AValue, TDateTime ATime, std::string& AText) {
  // Nothing was pinged: the line carries the empty value alone.
  if (AValue.IsEmpty()) {
    TMonLog::FormatLogText(AValue, ATime, AText);
    return;
  }
  char head[256];
  std::snprintf(head, sizeof head, "Timeout=%ums MaxValue=%.0fms DataSize=%u.", GetTimeout(), FMaxValue,
                static_cast<unsigned>(RequestDataSize));
  std::string text = "Ping " + FIpDescr + " (" + FormatOctets(FIp) + "): " + head;
  if (AValue.IsInteger()) {
    text += " Reply from " + FormatOctets(FPacket->ReplyIp()) +
            ": DataSize=" + std::to_string(FPacket->ReplyDataSize()) +
            " RTT=" + std::to_string(static_cast<int64_t>(AValue.AsDouble())) +
            "ms TTL=" + std::to_string(FPacket->Ttl());
  } else {
    text += " " + AValue.ToText(platform::UserFormatSettings());
  }
  TMonLog::FormatLogText(TSampleValue(text), ATime, AText);
}

bool TPinger::NeedNotifyAboutError() {
  if (TMonLog::NeedNotifyAboutError())
    return true;
  std::array<int, 4> Counts{};
  return ScanValues([&Counts](TValType AValue, int APosition) {
    ++Counts[static_cast<size_t>(AValue)];
    if (Counts[static_cast<size_t>(TValType::Error)] >= 3)
      return true;
    return Counts[static_cast<size_t>(TValType::OutOfBounds)] >= (APosition < 20 ? 3 : 10);
  });
}

}  // namespace orvella
