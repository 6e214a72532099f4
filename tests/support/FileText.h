#pragma once
// The whole content of a file, byte for byte; empty when it cannot be read.
#include <fstream>
#include <iterator>
#include <string>

namespace orvella::testing {

inline std::string ReadFileText(const std::string& AFileName) {
  std::ifstream in(AFileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace orvella::testing
