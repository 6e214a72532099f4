#pragma once
// Seven days of daily log files for all six monitors, one line a second each,
// in the monitors' own line formats with plausible values.
#include <string>

#include "engine/LogsDir.h"
#include "platform/DateTime.h"

namespace orvella::testing {

// Writes ADays daily files per monitor into ALogsDir, the last one dated
// ALastDay; returns the number of bytes written.
uint64_t GenerateLogs(const TLogsDir& ALogsDir, TDateTime ALastDay, int ADays);

}  // namespace orvella::testing
