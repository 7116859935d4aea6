// The program's window at other text scalings: the prefix's LogPixels is set
// for a child process that builds the window, measures each caption with its
// control's font and takes a picture of the browser.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/frame.h"
#include "child_process.h"
#include "harness.h"
#include "program.h"

namespace sorvane::win32test {

namespace {

// What a control keeps beside its caption's text, in pixels across.
int besideText(HWND control) {
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (className(control) != L"Button") return 0;  // a label
  switch (style & BS_TYPEMASK) {
    case BS_GROUPBOX: return 16;  // the frame's line on either side of the caption
    case BS_AUTOCHECKBOX: return GetSystemMetrics(SM_CXMENUCHECK) + 4;
    default: return 2 * (GetSystemMetrics(SM_CXEDGE) + 2);  // edges and the focus line
  }
}

}  // namespace

int captionsChild(Platform& platform, const std::string& notes) {
  run::Run run;
  app::Frame frame(platform, programHandlers(run));
  frame.startUp();
  std::ofstream out(notes, std::ios::binary);
  HDC screen = GetDC(nullptr);
  out << "dpi " << GetDeviceCaps(screen, LOGPIXELSY) << "\n";
  ReleaseDC(nullptr, screen);
  int misfits = 0;
  for (const char* name : {"按钮1", "按钮2", "按钮3", "按钮4", "按钮5", "按钮6", "标签1", "标签2",
                           "标签3", "选择框1", "分组框1", "分组框2"}) {
    HWND control = hwndOf(frame.controlNamed(name).widget);
    const std::wstring text = windowText(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT client{};
    GetClientRect(control, &client);
    if (size.cx + besideText(control) > client.right || size.cy > client.bottom) {
      ++misfits;
      out << name << ": text " << size.cx << "x" << size.cy << " in " << client.right << "x"
          << client.bottom << "\n";
    }
  }
  const std::optional<Pixels> picture = platform.capture(frame.control("互联网浏览器1").widget);
  if (!picture || picture->width != 672 || picture->height != 568) {
    ++misfits;
    out << "picture " << (picture ? picture->width : 0) << "x" << (picture ? picture->height : 0)
        << "\n";
  }
  frame.shutdown();
  return misfits == 0 ? 0 : 1;
}

namespace {

// Windows 7 below 144 DPI, or without composition, scales the text but not
// the windows: the layout's fixed pixels must still hold every caption, and
// the picture keeps its size.
TEST(Captions, EachCaptionFitsItsControlAndThePictureKeepsItsSizeAtEveryScaling) {
  const std::filesystem::path notes = std::filesystem::temp_directory_path() / "sorvane-dpi.txt";
  // Read by each process as it starts.
  SavedRegistryValue scaling(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  for (DWORD dpi : {96u, 120u, 144u}) {
    SCOPED_TRACE(dpi);
    scaling.setNumber(dpi);
    const ChildEnd end = runSelf("captions", notes.string());
    std::ifstream in(notes, std::ios::binary);
    const std::string said(std::istreambuf_iterator<char>(in), {});
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(said.rfind("dpi " + std::to_string(dpi) + "\n", 0), 0u) << said;
    EXPECT_EQ(end.exitCode, 0u) << said << end.errors;
  }
  std::filesystem::remove(notes);
}

}  // namespace
}  // namespace sorvane::win32test
