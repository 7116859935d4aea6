#pragma once
// Where the program lives, and the process's current directory.

#include "services/values.h"

// executablePath and setCurrentFolder are native: process_posix.cpp, and on
// Windows platform/win32/services/process.cpp.

namespace sorvane {

// The executable's full path; empty if it cannot be found (or, on Windows,
// cannot be written in the program's code page).
Text executablePath();

struct SplitPath {
  Text folder;  // without a trailing separator; empty when the path has none
  Text file;
};
// Splits at the last separator character ('/' on Linux, '\' on Windows),
// walking by characters so that a second byte equal to the separator is not
// taken for one.
SplitPath splitProgramPath(const Text& path);

bool setCurrentFolder(const Text& folder);

}  // namespace sorvane
