#pragma once
// The interface through which the monitoring loop and the report packer talk
// to their owner: settings in, signals waited for, results out.
#include <cstdint>
#include <string>

#include "engine/LogIds.h"
#include "engine/MonThreadSettings.h"
#include "engine/SigSet.h"
#include "platform/OsHandle.h"

namespace orvella {

// Signal indices of WaitSignal.
inline constexpr uint8_t sigTerminate = 0;
inline constexpr uint8_t sigSettings = 1;
inline constexpr uint8_t sigCollectReport = 2;
inline constexpr uint8_t sigObject = 3;
inline constexpr uint8_t sigNone = 255;

// Held through std::shared_ptr: the reference count keeps the owner alive for
// as long as the loop needs it.
class IMonThreadOwner {
public:
  virtual ~IMonThreadOwner() = default;

  // A consistent copy of the current settings; consumes sigSettings before
  // copying, so that a change made after the copy raises it again.
  virtual TMonThreadSettings GetSettings() = 0;
  // The masked error set of one sampling cycle, never empty; returns at once.
  virtual void ErrorOccured(TLogIds ALogIds) = 0;
  // The full path of a finished report archive, or "" when it was abandoned.
  virtual void ReportCreated(const std::string& AFileName) = 0;
  // The job object that child processes join, or 0 for none.
  virtual platform::TOsHandle GetJobObject() = 0;
  // Blocks until a listed signal is raised, AObj is signalled (sigObject, when
  // listed and AObj is not 0) or ATimeout passes (sigNone). The lowest raised
  // index wins; sigCollectReport is cleared when it is returned.
  virtual uint8_t WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) = 0;
};

}  // namespace orvella
