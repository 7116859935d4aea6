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
// and words (UTF-8) in `notes`; "stream" writes to both standard streams.
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
                        const std::string& notes = "");

}  // namespace sorvane::win32test
