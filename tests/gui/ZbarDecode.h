#pragma once
// zbarimg's answer for a picture file: the decoded texts, one a line.
#include <string>

#include "tests/support/ChildRun.h"

namespace orvella::testing {

inline bool HaveZbar() { return OnPath("zbarimg"); }

inline std::string ZbarDecode(const std::string& AFileName) {
  return CommandOutput({"zbarimg", "--quiet", "--raw", AFileName});
}

}  // namespace orvella::testing
