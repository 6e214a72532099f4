#pragma once
// A console program run as a hidden child of the application, its standard
// output and standard error captured in one pipe.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/OsHandle.h"

namespace orvella::platform {

class TChildProcess {
public:
  // Starts AArgs[0], found on the search path, with the rest as its arguments,
  // no shell in between. Standard input is closed. AJob, when not 0, is the
  // job object (TJobObject::Handle) that the child joins before it runs.
  // The output is drained while the child runs, so a child that writes a lot
  // never blocks. A failure raises EOSError and leaves no child behind.
  TChildProcess(const std::vector<std::string>& AArgs, TOsHandle AJob);
  // Ends the child and everything it started, then closes the handles.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // A handle that becomes signalled when the child has ended: a pidfd on
  // Linux, the process handle on Windows.
  TOsHandle Handle() const;
  // Every byte written to standard output and standard error, in order.
  // Blocks until the child has ended. On Linux its process group ends with
  // it, and what the pipe holds then is the output, so a grandchild that
  // keeps the pipe open delays nothing; on Windows it blocks until every
  // writer of the pipe has closed it.
  std::string TakeOutput();

  struct TImpl;

private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace orvella::platform
