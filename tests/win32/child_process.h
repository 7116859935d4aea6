#pragma once
// The test executable started again as a child process that runs the program
// to one end, so that a test can see the exit code and the streams from
// outside, as a shell or a shortcut would.

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace sorvane::win32test {

// In the child: "close" closes the window as the close box does; "fatal"
// runs into a fatal error and answers its report, noting the report's caption
// and words (UTF-8) in `notes`; "stream" writes to both standard streams;
// "hold" holds the file named by `notes` (see HeldFile); "start" starts the
// program as main does with the arguments in `notes`, split at '|', noting
// on its standard output what it shows.
int runChild(const std::string& how, const std::string& notes);
// "captions": builds the program's window, measures each caption in its
// control and pictures the browser; what does not fit goes into `notes`.
int captionsChild(platform::Platform& platform, const std::string& notes);

struct ChildEnd {
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;  // what it wrote to its standard output
  std::string errors;  // and to its standard error
};
ChildEnd runSelf(const std::string& how, const std::string& notes = "");
// The same, from a copy of this executable at `program`.
ChildEnd runProgramFile(const std::wstring& program, const std::string& how,
                        const std::string& notes = "", bool standardError = true);
// As a program started from the desktop is: no standard error, no console.
ChildEnd runSelfWithoutStandardError(const std::string& how, const std::string& notes = "");

// Another process that holds a file open the way a spreadsheet holds the CSV
// it shows: for writing, letting others read and write. Held from the
// constructor until release() or the end of the object.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path);
  ~HeldFile() { release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return held_; }
  void release();

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;  // closing it tells the child to let go
  bool held_ = false;
};

}  // namespace sorvane::win32test
