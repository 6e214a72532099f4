#pragma once
// The system's socket library, which name look-ups need started.
namespace orvella::platform {

// Starts the library once for the whole program and keeps it to the end;
// every later call returns at once. Linux has nothing to start.
void StartSocketLibrary();

}  // namespace orvella::platform
