// The Win32 layer suite's own start: the program's code page is settled and
// OLE is ready before any test, as main does for the program. Started with
// --child, the executable is instead the program run to one particular end,
// for the tests that look at a whole process from outside.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "child_process.h"
#include "harness.h"
#include "services/codepage.h"

int main(int argc, char** argv) {
  sorvane::systemCodePage();
  if (argc >= 3 && std::string(argv[1]) == "--child")
    return sorvane::win32test::runChild(argv[2], argc >= 4 ? argv[3] : "");
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  sorvane::win32test::closeHarness();
  if (ole) OleUninitialize();
  return result;
}
