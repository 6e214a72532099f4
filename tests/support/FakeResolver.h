#pragma once
// A resolver with a fixed list of names.
#include <map>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Resolver.h"

namespace orvella::testing {

class TFakeResolver final : public platform::IResolver {
public:
  std::map<std::string, std::string> Names;
  std::vector<std::string> Asked;

  std::string ResolveIPv4(const std::string& AHost) override {
    Asked.push_back(AHost);
    const auto found = Names.find(AHost);
    if (found == Names.end())
      throw EOSError(-2, "Host " + AHost + " not found");
    return found->second;
  }
};

}  // namespace orvella::testing
