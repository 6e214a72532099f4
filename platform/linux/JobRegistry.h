#pragma once
// The process groups of the children in each job of the application.
#include <sys/types.h>

#include <cstdint>

namespace orvella::platform::jobs {

uintptr_t OpenJob();
// Kills every group still in the job and forgets the job.
void CloseJob(uintptr_t AJob);
// False when AJob is not an open job.
bool JoinJob(uintptr_t AJob, pid_t AGroup);
// Kills the group and takes it out of its job in one step, so that a job
// closing at the same moment never signals a group whose leader is reaped.
void KillAndLeave(uintptr_t AJob, pid_t AGroup);

}  // namespace orvella::platform::jobs
