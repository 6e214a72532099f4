#pragma once
// One console command run as a hidden child process whose standard output
// and standard error are captured together and handed over once it has ended.
#include <string>
#include <vector>

#include "engine/MonThreadOwner.h"
#include "platform/ChildProcess.h"

namespace orvella {

class TCommandProcess {
public:
  // Starts ACommand (the program and its arguments, no shell) in the job
  // AJob (0 for none); EOSError when it cannot be started.
  TCommandProcess(const std::vector<std::string>& ACommand, platform::TOsHandle AJob);

  // The waitable handle of the process; 0 on no object, so that the loop
  // passes it to its wait whether or not a process runs.
  static platform::TOsHandle GetHandle(const TCommandProcess* AProcess);
  // Every byte the process wrote, raw and in order. Blocks until it has
  // ended; never waits for what it left running with its output.
  std::string GetOutput();

private:
  platform::TChildProcess FProcess;
};

}  // namespace orvella
