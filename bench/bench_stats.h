#pragma once
// Clock, medians and percentiles, and the resident memory of processes: what
// every benchmark needs, with no toolkit behind it.

#include <string>
#include <utility>
#include <vector>

namespace sorvane::bench {

// Milliseconds on a steady clock, fractions kept.
double nowMs();

struct Summary {
  std::size_t count = 0;
  double min = 0, median = 0, p95 = 0, max = 0, mean = 0;
};
Summary summarise(std::vector<double> values);
std::string describe(const Summary& s, const char* unit = "ms");

// Resident set of a process in kB, from /proc/PID/status (VmRSS; VmHWM for the
// peak); -1 when the process is gone. pid 0 is this process.
long residentKb(int pid = 0);
long peakResidentKb(int pid = 0);

struct ChildMemory {
  long totalKb = 0;
  std::vector<std::pair<std::string, long>> processes;  // name, kB
};
// Every descendant of this process (the engine's web and network processes
// and whatever they start), summed.
ChildMemory descendantsMemory();

// A process and all its descendants, the process first; pid 0 is this one.
std::vector<int> processTree(int root = 0);
// Proportional set size in kB (shared pages split between their users), from
// /proc/PID/smaps_rollup; -1 when the process is gone.
long proportionalKb(int pid);
// CPU time used so far (user and system, in seconds) by each process of a tree.
std::vector<std::pair<int, double>> cpuSeconds(int root = 0);

}  // namespace sorvane::bench
