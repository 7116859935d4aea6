#pragma once
// The watcher of an unattended run with a page time-out, where a page's script
// can hold the program's own thread (Windows): the run is carried out by a
// worker, a second copy of the program, while this one, with no window,
// listens to it. A worker whose signs of life stop for longer than the page's
// time-out and a grace is ended; its address gets the line and the record row
// a stuck page gets (`timeout`, no picture), and a new worker goes on from the
// next address. A worker that dies is handled the same way, with `failed`.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/platform.h"
#include "services/child_process.h"

namespace sorvane::cli {

// What the watcher needs of its surroundings.
struct WatcherWorld {
  // A clock that does not count the computer's sleep: a night with the lid
  // closed is no silence of the worker's.
  std::function<std::int64_t()> monotonicMs;
  std::function<DateTime()> now;  // for the lines and rows the watcher writes itself
  std::function<void(platform::StandardStream, const std::string&)> write;
  // Starts the program with these arguments; nullptr when it cannot.
  std::function<std::unique_ptr<ChildProcess>(const std::vector<Text>&)> start;
};

// How long a worker may give no sign of life beyond the page's time-out: its
// own stop of a load (a second and a poll), the capture and slow machines.
inline constexpr std::int32_t kWorkerGraceMs = 5000;
// How long a worker may be silent in a long step it announced (a whole page
// drawn, then encoded and compared).
inline constexpr std::int32_t kWorkerLongStepMs = 60000;
// How long a new worker may take to come up (its window and browser made)
// before it gives its first sign; at least the silence any page may have.
inline constexpr std::int32_t kWorkerStartMs = 60000;

// Whether the command line asks for a run that a worker carries out: one
// that ends the program, with a page time-out, that is not a worker itself.
bool runsInWorkers(const CommandLine& commandLine);

// Carries the run out through workers started with `arguments` (the
// program's own, without its name) after the worker's option; gives the exit
// code as a run in this process would. Nothing when not even the first worker
// could be started: the caller then runs it itself.
std::optional<int> watchWorkers(const WatcherWorld& world, const Preparation& preparation,
                                const std::vector<std::string>& arguments);

}  // namespace sorvane::cli
