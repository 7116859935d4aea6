#pragma once
// A Chromium-family browser as our child, driven over its debugging pipe.
//
// The browser is started headless with a profile of its own in a fresh folder
// and two pipes: one we write its commands to, one it writes its answers and
// events to (NUL-ended JSON; engine/ reads them). It ends with us: when this
// object goes, when the pipe closes (the browser leaves by itself), and where
// the system can tie a process tree to ours, by that too.
//
// Native: browser_process_posix.cpp (fds 3 and 4, a process group of its
// own), and on Windows platform/win32/services/browser_process.cpp (two
// anonymous pipes named on the command line, a job object, a reader thread).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "services/values.h"

namespace sorvane {

class BrowserProcess {
 public:
  virtual ~BrowserProcess() = default;

  // Writes all of `bytes` to the browser's command pipe. False when the
  // browser is gone (its end of the pipe is closed).
  virtual bool send(const std::string& bytes) = 0;

  enum class Read {
    Bytes,  // something was appended
    Quiet,  // nothing came within the time given
    Ended,  // the browser closed its end: it has gone, and all it wrote was read
  };
  // Appends what the browser has written, waiting at most timeoutMs (0: only
  // what is there already).
  virtual Read read(std::string& into, std::int32_t timeoutMs) = 0;

  // Something to watch for the browser's output in a desktop's own loop: on
  // POSIX the pipe's file descriptor, readable when read() has bytes or the
  // end; -1 where there is none (Windows: see setArrivalNotice).
  virtual int readableDescriptor() const = 0;
  // Called, from any thread, whenever bytes or the end arrive, where the
  // system reads the pipe on a thread of its own (Windows); never called on
  // POSIX. The notice only says "read now": the reading is read()'s.
  virtual void setArrivalNotice(std::function<void()> notice) = 0;

  // Ends the browser and every process it started, at once, and removes its
  // profile folder. Safe to call twice; the destructor calls it.
  virtual void end() = 0;

  // The process's id, for tests and benchmarks that look for what it left.
  virtual std::int64_t processId() const = 0;
};

struct BrowserStart {
  // A path, or a bare name looked for on PATH; empty: the first of the
  // browsers this system is known to have (on Linux chromium, google-chrome,
  // microsoft-edge on PATH; on Windows Edge, then Chrome, from App Paths and
  // the known folders). A browser found here never passes through the code
  // page: a path it cannot spell still starts.
  Text program;
  // Flags besides those this service adds itself: the pipe's, the profile
  // folder's and, where the sandbox cannot start (POSIX, as root),
  // --no-sandbox.
  std::vector<Text> arguments;
  // Written as the profile's Default/Preferences before the browser starts
  // (UTF-8 JSON); nothing when empty.
  std::string preferences;
};

// Starts the browser. Nothing, with `problem` saying why in one line of the
// program's own (no line end), when the program cannot be found or started.
std::unique_ptr<BrowserProcess> startBrowserProcess(const BrowserStart& start, Text& problem);

}  // namespace sorvane
