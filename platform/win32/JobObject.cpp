#include "platform/JobObject.h"

#include <windows.h>

namespace orvella::platform {

TJobObject::TJobObject() {
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr)
    return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return;
  }
  FHandle = reinterpret_cast<TOsHandle>(job);
}

// Closing the last handle of a kill-on-close job ends every process in it.
TJobObject::~TJobObject() {
  if (FHandle != 0)
    CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

}  // namespace orvella::platform
