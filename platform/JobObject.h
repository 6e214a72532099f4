#pragma once
// The process-wide set of child processes that must not outlive the
// application: closing it ends every process still in it.
#include <cstdint>

#include "platform/OsHandle.h"

namespace orvella::platform {

class TJobObject {
public:
  // Sets the job up; Handle() stays 0 when the system refuses.
  TJobObject();
  // Ends every process still in the job.
  ~TJobObject();
  TJobObject(const TJobObject&) = delete;
  TJobObject& operator=(const TJobObject&) = delete;

  // What TChildProcess takes as its job; 0 when there is none.
  TOsHandle Handle() const { return FHandle; }

private:
  TOsHandle FHandle = 0;
};

}  // namespace orvella::platform
