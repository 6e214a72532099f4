#pragma once
// The lines a monitor wrote to its log file of one day.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/LogsDir.h"

namespace orvella::testing {

inline std::vector<std::string> ReadLogLines(const TLogsDir& ALogsDir, TLogId ALogId, TDateTime ADay) {
  std::ifstream file(ALogsDir.LogFileName(ALogId, ADay), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace orvella::testing
