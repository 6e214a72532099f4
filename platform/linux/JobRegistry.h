#pragma once
// The process groups of the children in each job of the application.
#include <sys/types.h>

#include <cstdint>

#include "platform/OsHandle.h"

namespace orvella::platform::jobs {

TOsHandle OpenJob();
// Kills every group still in the job and forgets the job.
void CloseJob(TOsHandle AJob);
// False when AJob is not an open job.
bool JoinJob(TOsHandle AJob, pid_t AGroup);
// Kills the group and takes it out of its job in one step, so that a job
// closing at the same moment never signals a group whose leader is reaped.
void KillAndLeave(TOsHandle AJob, pid_t AGroup);

}  // namespace orvella::platform::jobs
