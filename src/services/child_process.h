#pragma once
// A child process whose standard output this process reads: the watcher of an
// unattended run starts the program again as its worker and listens to it.
//
// Native: platform/win32/services/child_process.cpp. On Linux, which needs no watcher,
// child_process_posix.cpp defines only the worker's end, writeOwnOutput.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "services/values.h"

namespace sorvane {

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  enum class Read {
    Bytes,  // something was appended
    Quiet,  // nothing came within the time given
    Ended,  // the child's output is closed: it has ended, and all of it was read
  };
  // Waits at most timeoutMs for what the child writes on its standard output
  // (and standard error, which is the same pipe) and appends it to `into`.
  virtual Read read(std::string& into, std::int32_t timeoutMs) = 0;

  // Ends the child at once, wherever it is.
  virtual void terminate() = 0;

  // Waits for the child's end (a bounded wait after terminate) and gives its
  // exit code; -1 when it cannot be known.
  virtual int exitCode() = 0;
};

// Starts `program` with these arguments. Its standard output and standard
// error go to one pipe that only this process reads; its standard input is
// none. A child that outlives this process is ended with it where the system
// can do that (a job on Windows). nullptr when it cannot be started.
// Windows only.
std::unique_ptr<ChildProcess> startChildProcess(const Text& program,
                                                const std::vector<Text>& arguments);

// Writes all of `bytes` to this process's own standard output, unbuffered:
// the worker's channel to its watcher. False when they could not all be
// written (the reader is gone).
bool writeOwnOutput(const std::string& bytes);

}  // namespace sorvane
