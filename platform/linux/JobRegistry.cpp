#include "platform/linux/JobRegistry.h"

#include <signal.h>

#include <map>
#include <mutex>
#include <set>

namespace orvella::platform::jobs {
namespace {

struct TRegistry {
  std::mutex Lock;
  uintptr_t LastJob = 0;
  std::map<uintptr_t, std::set<pid_t>> Groups;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

uintptr_t OpenJob() {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const uintptr_t job = ++registry.LastJob;
  registry.Groups[job];
  return job;
}

void CloseJob(uintptr_t AJob) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const auto found = registry.Groups.find(AJob);
  if (found == registry.Groups.end())
    return;
  for (const pid_t group : found->second)
    kill(-group, SIGKILL);
  registry.Groups.erase(found);
}

bool JoinJob(uintptr_t AJob, pid_t AGroup) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const auto found = registry.Groups.find(AJob);
  if (found == registry.Groups.end())
    return false;
  found->second.insert(AGroup);
  return true;
}

void KillAndLeave(uintptr_t AJob, pid_t AGroup) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  kill(-AGroup, SIGKILL);
  if (const auto found = registry.Groups.find(AJob); found != registry.Groups.end())
    found->second.erase(AGroup);
}

}  // namespace orvella::platform::jobs
