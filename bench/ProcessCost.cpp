#include "bench/ProcessCost.h"

#include <linux/genetlink.h>
#include <linux/netlink.h>
#include <linux/taskstats.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/Pinger.h"
#include "platform/SystemDir.h"

namespace orvella::bench {

namespace {

// A "Name:  123 kB" value of a /proc file, in megabytes.
double ProcMegabytes(const std::string& AFile, const std::string& AName) {
  std::ifstream file(AFile);
  for (std::string line; std::getline(file, line);)
    if (line.rfind(AName + ":", 0) == 0)
      return std::stod(line.substr(AName.size() + 1)) / 1024;
  return 0;
}

// One request to a generic netlink family with one attribute, and the
// attributes of its reply; empty when the kernel refused it.
std::vector<char> GenericNetlink(int AFd, uint16_t AFamily, uint8_t ACommand, uint16_t AAttribute, const void* AData,
                                 size_t ASize) {
  std::vector<char> message(NLMSG_LENGTH(GENL_HDRLEN + NLA_ALIGN(NLA_HDRLEN + ASize)));
  auto* header = reinterpret_cast<nlmsghdr*>(message.data());
  header->nlmsg_len = static_cast<uint32_t>(message.size());
  header->nlmsg_type = AFamily;
  header->nlmsg_flags = NLM_F_REQUEST;
  auto* generic = static_cast<genlmsghdr*>(NLMSG_DATA(header));
  generic->cmd = ACommand;
  generic->version = 1;
  auto* attribute = reinterpret_cast<nlattr*>(reinterpret_cast<char*>(generic) + GENL_HDRLEN);
  attribute->nla_type = AAttribute;
  attribute->nla_len = static_cast<uint16_t>(NLA_HDRLEN + ASize);
  std::memcpy(reinterpret_cast<char*>(attribute) + NLA_HDRLEN, AData, ASize);
  if (send(AFd, message.data(), message.size(), 0) < 0)
    return {};
  std::vector<char> reply(16384);
  const ssize_t received = recv(AFd, reply.data(), reply.size(), 0);
  const auto* answer = reinterpret_cast<const nlmsghdr*>(reply.data());
  if (received <= 0 || !NLMSG_OK(answer, static_cast<uint32_t>(received)) || answer->nlmsg_type == NLMSG_ERROR ||
      answer->nlmsg_len < NLMSG_LENGTH(GENL_HDRLEN))
    return {};
  const char* first = static_cast<const char*>(NLMSG_DATA(answer)) + GENL_HDRLEN;
  return {first, reinterpret_cast<const char*>(answer) + answer->nlmsg_len};
}

// The payload of the attribute AType among AAttributes, empty when missing.
std::vector<char> Attribute(const std::vector<char>& AAttributes, uint16_t AType) {
  for (size_t offset = 0; offset + NLA_HDRLEN <= AAttributes.size();) {
    nlattr attribute;
    std::memcpy(&attribute, AAttributes.data() + offset, sizeof attribute);
    if (attribute.nla_len < NLA_HDRLEN || offset + attribute.nla_len > AAttributes.size())
      break;
    if ((attribute.nla_type & NLA_TYPE_MASK) == AType)
      return {AAttributes.data() + offset + NLA_HDRLEN, AAttributes.data() + offset + attribute.nla_len};
    offset += NLA_ALIGN(attribute.nla_len);
  }
  return {};
}

// The kernel's accounting of a whole process: every thread it has had,
// living or ended.
taskstats ThreadGroupStats(pid_t APid) {
  taskstats stats{};
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
  if (fd < 0)
    return stats;
  const std::vector<char> family =
      Attribute(GenericNetlink(fd, GENL_ID_CTRL, CTRL_CMD_GETFAMILY, CTRL_ATTR_FAMILY_NAME, TASKSTATS_GENL_NAME,
                               sizeof TASKSTATS_GENL_NAME),
                CTRL_ATTR_FAMILY_ID);
  if (family.size() >= sizeof(uint16_t)) {
    uint16_t familyId;
    std::memcpy(&familyId, family.data(), sizeof familyId);
    const uint32_t pid = static_cast<uint32_t>(APid);
    const std::vector<char> found = Attribute(
        Attribute(GenericNetlink(fd, familyId, TASKSTATS_CMD_GET, TASKSTATS_CMD_ATTR_TGID, &pid, sizeof pid),
                  TASKSTATS_TYPE_AGGR_TGID),
        TASKSTATS_TYPE_STATS);
    // An older or newer kernel's record is shorter or longer than ours.
    std::memcpy(&stats, found.data(), std::min(found.size(), sizeof stats));
  }
  close(fd);
  return stats;
}

// cutime and cstime of /proc/PID/stat: the children it has waited for, in
// seconds.
double ChildrenCpuSeconds(const std::string& AProc) {
  std::ifstream file(AProc + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The command name may hold blanks; the fields after it are plain.
  const size_t close = text.rfind(')');
  if (close == std::string::npos)
    return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // Field 3 is the state; cutime is field 16.
  for (int index = 3; index <= 17 && fields >> field; ++index)
    if (index >= 16)
      ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

TProcessSample SampleProcess(pid_t APid) {
  const std::string proc = "/proc/" + std::to_string(APid);
  TProcessSample sample;
  const taskstats stats = ThreadGroupStats(APid);
  // The scheduler's run time in nanoseconds; the statistics' utime and stime
  // leave the living threads out.
  sample.CpuSeconds = static_cast<double>(stats.cpu_run_virtual_total) / 1e9 + ChildrenCpuSeconds(proc);
  sample.Switches = stats.nvcsw + stats.nivcsw;
  sample.PeakMb = ProcMegabytes(proc + "/status", "VmHWM");
  sample.PrivateMb =
      ProcMegabytes(proc + "/smaps_rollup", "Private_Dirty") + ProcMegabytes(proc + "/smaps_rollup", "Swap");
  return sample;
}

TPhaseCost CostBetween(const TProcessSample& ABefore, const TProcessSample& AAfter, double ASeconds) {
  const double switches =
      AAfter.Switches > ABefore.Switches ? static_cast<double>(AAfter.Switches - ABefore.Switches) : 0;
  return {AAfter.CpuSeconds - ABefore.CpuSeconds, switches / ASeconds, AAfter.PeakMb, AAfter.PrivateMb};
}

std::string CollectdConfig(const std::string& AFolder, const std::vector<std::string>& AHosts) {
  std::ostringstream config;
  config << "Hostname \"orvella-bench\"\nFQDNLookup false\nInterval 1\n"
         << "BaseDir \"" << AFolder << "\"\nPIDFile \"" << AFolder << "/collectd.pid\"\n"
         << "PluginDir \"/usr/lib/collectd\"\nTypesDB \"/usr/share/collectd/types.db\"\n"
         // Its log goes to a file of its own, not between the benchmark's lines.
         << "LoadPlugin logfile\n<Plugin logfile>\n  File \"" << AFolder << "/collectd.log\"\n</Plugin>\n"
         << "LoadPlugin ping\nLoadPlugin cpu\nLoadPlugin memory\nLoadPlugin disk\nLoadPlugin csv\n"
         << "<Plugin ping>\n";
  for (const std::string& host : AHosts)
    config << "  Host \"" << host << "\"\n";
  config << "  Interval 1\n  Timeout 0.9\n  Size " << TPinger::RequestDataSize
         << "\n</Plugin>\n"
         // The engine reads the whole processor's busy share, not each core's.
         << "<Plugin cpu>\n  ReportByCpu false\n  ValuesPercentage true\n</Plugin>\n"
         << "<Plugin disk>\n  Disk \"" << platform::VolumeOfPath(platform::SystemDirectory(false))
         << "\"\n  IgnoreSelected false\n</Plugin>\n"
         << "<Plugin csv>\n  DataDir \"" << AFolder << "/csv\"\n  StoreRates false\n</Plugin>\n";
  return config.str();
}

std::string Ratio(double AOurs, double ATheirs) {
  if (ATheirs == 0)
    return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", AOurs / ATheirs);
  return text;
}

}  // namespace orvella::bench
