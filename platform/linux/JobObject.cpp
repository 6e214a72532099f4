#include "platform/JobObject.h"

#include "platform/linux/JobRegistry.h"

namespace orvella::platform {

// Linux has no job objects. A job here is the list of its children's process
// groups: closing it kills them all. A child also gets SIGKILL from the kernel
// when the application dies without closing its job (PR_SET_PDEATHSIG, set in
// TChildProcess before the program starts).
TJobObject::TJobObject() : FHandle(jobs::OpenJob()) {}

TJobObject::~TJobObject() { jobs::CloseJob(FHandle); }

}  // namespace orvella::platform
