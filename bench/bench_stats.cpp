#include "bench_stats.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace sorvane::bench {

double nowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

Summary summarise(std::vector<double> v) {
  Summary s;
  s.count = v.size();
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  // Nearest rank: the smallest value with at least p of the values at or below it.
  auto rank = [&](double p) {
    auto i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(i, 1, v.size()) - 1];
  };
  s.min = v.front();
  s.max = v.back();
  s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  s.p95 = rank(0.95);
  double sum = 0;
  for (double x : v) sum += x;
  s.mean = sum / static_cast<double>(v.size());
  return s;
}

std::string describe(const Summary& s, const char* unit) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "median %.2f %s, p95 %.2f, min %.2f, max %.2f (n=%zu)", s.median,
                unit, s.p95, s.min, s.max, s.count);
  return buf;
}

namespace {

// One "Key:   value kB" line of /proc/PID/status.
long statusField(int pid, const char* key) {
  std::string path = pid == 0 ? "/proc/self/status" : "/proc/" + std::to_string(pid) + "/status";
  std::ifstream in(path);
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
      return std::strtol(line.c_str() + n + 1, nullptr, 10);
  }
  return -1;
}

struct ProcessInfo {
  int parent = 0;
  std::string name;
};

std::map<int, ProcessInfo> allProcesses() {
  std::map<int, ProcessInfo> out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* e = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::ifstream in("/proc/" + std::string(e->d_name) + "/status");
    ProcessInfo info;
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("Name:", 0) == 0) {
        std::istringstream fields(line.substr(5));
        fields >> info.name;
      } else if (line.rfind("PPid:", 0) == 0) {
        info.parent = std::atoi(line.c_str() + 5);
        break;
      }
    }
    out[static_cast<int>(pid)] = info;
  }
  closedir(proc);
  return out;
}

}  // namespace

long residentKb(int pid) { return statusField(pid, "VmRSS"); }
long peakResidentKb(int pid) { return statusField(pid, "VmHWM"); }

ChildMemory descendantsMemory() {
  ChildMemory m;
  const std::map<int, ProcessInfo> all = allProcesses();
  std::vector<int> ours{static_cast<int>(getpid())};
  for (std::size_t i = 0; i < ours.size(); ++i) {
    for (const auto& [pid, info] : all) {
      if (info.parent != ours[i]) continue;
      ours.push_back(pid);
      long kb = residentKb(pid);
      if (kb < 0) continue;
      m.totalKb += kb;
      m.processes.emplace_back(info.name, kb);
    }
  }
  return m;
}

std::vector<int> processTree(int root) {
  const std::map<int, ProcessInfo> all = allProcesses();
  std::vector<int> tree{root == 0 ? static_cast<int>(getpid()) : root};
  for (std::size_t i = 0; i < tree.size(); ++i)
    for (const auto& [pid, info] : all)
      if (info.parent == tree[i]) tree.push_back(pid);
  return tree;
}

long proportionalKb(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("Pss:", 0) == 0) return std::strtol(line.c_str() + 4, nullptr, 10);
  return -1;
}

std::vector<std::pair<int, double>> cpuSeconds(int root) {
  static const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::vector<std::pair<int, double>> out;
  for (int pid : processTree(root)) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // After "pid (name) ": state is field 3, utime 14 and stime 15.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
      if (i >= 14) ticks += std::strtod(field.c_str(), nullptr);
    out.emplace_back(pid, ticks / ticksPerSecond);
  }
  return out;
}

}  // namespace sorvane::bench
