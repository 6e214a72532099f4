#pragma once
// Starting a program, optionally through the system's elevation prompt and
// optionally waiting for its exit code.
#include <cstdint>
#include <functional>
#include <string>

namespace orvella {

// The answer of RunProcess when it does not wait for the child.
inline constexpr uint32_t StillActive = 259;

// Starts AFileName with AParameters (one command-line text, split as the
// Windows command line splits). The working directory is the folder part of
// AFileName, or the caller's when it has none. AElevated asks for elevation
// unless this process already has it; a declined prompt is an EOSError. With
// AWait the result is the child's exit code, otherwise StillActive at once.
uint32_t RunProcess(const std::string& AFileName, const std::string& AParameters, bool AVisible, bool AElevated,
                    bool AWait);

// Whatever starts programs the way RunProcess does; RunProcess itself in the product.
using TProcessRunner = std::function<decltype(RunProcess)>;

}  // namespace orvella
