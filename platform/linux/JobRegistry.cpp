#include "platform/linux/JobRegistry.h"

#include <signal.h>

#include <map>
#include <mutex>
#include <set>

namespace orvella::platform::jobs {
namespace {

struct TRegistry {
  std::mutex Lock;
  TOsHandle LastJob = 0;
  std::map<TOsHandle, std::set<pid_t>> Groups;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

TOsHandle OpenJob() {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const TOsHandle job = ++registry.LastJob;
  registry.Groups[job];
  return job;
}

void CloseJob(TOsHandle AJob) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const auto found = registry.Groups.find(AJob);
  if (found == registry.Groups.end())
    return;
  for (const pid_t group : found->second)
    kill(-group, SIGKILL);
  registry.Groups.erase(found);
}

bool JoinJob(TOsHandle AJob, pid_t AGroup) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  const auto found = registry.Groups.find(AJob);
  if (found == registry.Groups.end())
    return false;
  found->second.insert(AGroup);
  return true;
}

void KillAndLeave(TOsHandle AJob, pid_t AGroup) {
  TRegistry& registry = Registry();
  const std::lock_guard lock(registry.Lock);
  kill(-AGroup, SIGKILL);
  if (const auto found = registry.Groups.find(AJob); found != registry.Groups.end())
    found->second.erase(AGroup);
}

}  // namespace orvella::platform::jobs
