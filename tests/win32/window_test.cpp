// The main window and the program's 20 controls as Windows sees them: place,
// class, styles, font and the exact text in the system's code page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_under_test.h"

namespace sorvane::win32test {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_CLIPSIBLINGS;
constexpr DWORD kPush = kChild | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE;
constexpr DWORD kEdit = kChild | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kLabel = kChild | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE;

struct Expected {
  const char* name;
  const wchar_t* windowClass;  // nullptr: the browser's own view
  const char* parent;          // nullptr: the main window
  Rect rect;
  DWORD style;
  DWORD exStyle;
  const char* text;  // GBK
};

const std::vector<Expected> kControls = {
    {"互联网浏览器1",
     nullptr,
     nullptr,
     {0, 8, 672, 568},
     kChild | WS_VISIBLE | WS_DISABLED | WS_TABSTOP,
     0,
     ""},
    {"分组框1",
     L"Button",
     nullptr,
     {696, 8, 352, 536},
     kChild | WS_VISIBLE | BS_GROUPBOX,
     0,
     "\xCD\xF8\xD2\xB3\xB5\xD8\xD6\xB7"},
    {"列表框1",
     L"ListBox",
     "分组框1",
     {8, 16, 336, 416},
     kChild | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS |
         LBS_NOINTEGRALHEIGHT,
     WS_EX_CLIENTEDGE,
     ""},
    {"标签3",
     L"Static",
     "分组框1",
     {16, 432, 160, 24},
     kLabel,
     0,
     "\xCB\xAB\xBB\xF7\xC9\xCF\xB1\xDF\xC1\xD0\xB1\xED\xD1\xA1\xCF\xEE\xBF\xC9\xC9\xBE\xB3\xFD"
     "\xA3\xA1"},
    {"编辑框2", L"Edit", "分组框1", {12, 462, 240, 20}, kEdit, WS_EX_CLIENTEDGE, ""},
    {"按钮2",
     L"Button",
     "分组框1",
     {264, 456, 80, 32},
     kPush,
     0,
     "\xCC\xED\xBC\xD3\xCD\xF8\xD6\xB7"},
    {"通用对话框1", L"Static", "分组框1", {16, 496, 26, 26}, kChild, 0, ""},
    {"按钮3",
     L"Button",
     "分组框1",
     {80, 496, 80, 32},
     kPush,
     0,
     "\xB5\xBC\xB3\xF6\xCD\xF8\xD6\xB7"},
    {"按钮4",
     L"Button",
     "分组框1",
     {172, 496, 80, 32},
     kPush,
     0,
     "\xB5\xBC\xC8\xEB\xCD\xF8\xD6\xB7"},
    {"按钮5",
     L"Button",
     "分组框1",
     {264, 496, 80, 32},
     kPush,
     0,
     "\xC7\xE5\xBF\xD5\xCD\xF8\xD6\xB7"},
    {"分组框2",
     L"Button",
     nullptr,
     {696, 552, 352, 64},
     kChild | WS_VISIBLE | BS_GROUPBOX,
     0,
     "\xBD\xD8\xCD\xBC\xB1\xA3\xB4\xE6\xB5\xD8\xD6\xB7"},
    {"编辑框1", L"Edit", "分组框2", {8, 24, 296, 20}, kEdit | ES_READONLY | WS_BORDER, 0, ""},
    {"按钮6", L"Button", "分组框2", {312, 19, 32, 32}, kPush, 0, "\xA1\xAD"},
    {"标签2",
     L"Static",
     nullptr,
     {0, 588, 248, 24},
     kLabel,
     0,
     "\xD4\xD8\xC8\xEB\xD7\xB4\xCC\xAC\xA3\xBA"},
    {"标签1",
     L"Static",
     nullptr,
     {312, 588, 80, 24},
     kLabel,
     0,
     "\xBC\xE4\xB8\xF4\xA3\xA8\xC3\xEB\xA3\xA9\xA3\xBA"},
    {"编辑框3", L"Edit", nullptr, {392, 590, 40, 20}, kEdit, WS_EX_CLIENTEDGE, "5"},
    {"选择框1",
     L"Button",
     nullptr,
     {456, 588, 64, 24},
     kChild | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE,
     0,
     "\xBD\xD8\xCD\xBC"},
    {"按钮1", L"Button", nullptr, {568, 584, 80, 32}, kPush, 0, "\xBF\xAA\xCA\xBC"},
    {"时钟1", L"Static", nullptr, {960, 8, 26, 26}, kChild, 0, ""},
    {"时钟2", L"Static", nullptr, {832, 8, 26, 26}, kChild, 0, ""},
};

// The lowest an edit box may be: its font's text and two sunken edges.
int minimumEditHeight() {
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  return metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
}

// The text colour a control's parent hands it for painting.
COLORREF paintColour(HWND control, UINT message) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageW(GetParent(control), message, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(control));
  const COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

TEST(MainWindow, OuterSizeCentredFixedFrameAndTheGuiFont) {
  Recorder& sink = harness().sink;
  sink.clear();
  WidgetSpec top;
  top.kind = WidgetKind::TopLevel;
  top.rect = {50, 50, 1079, 649};
  top.text = "Sorvane";
  top.visible = true;
  const WidgetId id = ui().createWidget(top);
  ASSERT_NE(id, 0u) << GetLastError();
  HWND window = hwndOf(id);

  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 1079);
  EXPECT_EQ(r.bottom - r.top, 649);
  // Centred in the work area, so the taskbar covers none of it.
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(r.left, work.left + (work.right - work.left - 1079) / 2);
  EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 649) / 2);
  EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right &&
              r.bottom <= work.bottom);
  EXPECT_EQ(ui().widgetRect(id), (Rect{r.left, r.top, 1079, 649}));

  const DWORD style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE),
            DWORD{WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE});
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), ULONG_PTR{COLOR_BTNFACE + 1});
  EXPECT_EQ(windowText(window), L"Sorvane");

  // The close box asks; only the program closes.
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return !sink.closeRequests.empty(); }));
  EXPECT_EQ(sink.closeRequests, std::vector<WidgetId>{id});
  EXPECT_TRUE(IsWindow(window));

  // Destroyed with everything inside, children reported first.
  WidgetSpec group;
  group.kind = WidgetKind::GroupBox;
  group.parent = id;
  group.rect = {10, 10, 200, 100};
  group.visible = true;
  const WidgetId groupId = ui().createWidget(group);
  WidgetSpec button;
  button.kind = WidgetKind::Button;
  button.parent = id;
  button.rect = {8, 16, 80, 32};
  button.visible = true;
  const WidgetId buttonId = ui().createWidget(button);
  ui().setParent(buttonId, groupId);
  EXPECT_EQ(GetParent(hwndOf(buttonId)), hwndOf(groupId));
  EXPECT_EQ(ui().widgetRect(buttonId), (Rect{8, 16, 80, 32}));
  ui().destroyWidget(id);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(ui().widgetExists(buttonId));
  EXPECT_EQ(sink.destroyed, (std::vector<WidgetId>{buttonId, groupId, id}));
}

// Larger than the work area, the window keeps its size and its caption stays
// in sight, at the work area's top left.
TEST(MainWindow, AWindowTooLargeForTheScreenKeepsItsCaptionInSight) {
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  WidgetSpec top;
  top.kind = WidgetKind::TopLevel;
  top.rect = {0, 0, static_cast<int>(work.right - work.left) + 300,
              static_cast<int>(work.bottom - work.top) + 200};
  top.text = "large";
  const WidgetId id = ui().createWidget(top);
  ASSERT_NE(id, 0u);
  const Rect r = ui().widgetRect(id);
  EXPECT_EQ(r, (Rect{work.left, work.top, top.rect.width, top.rect.height}));
  ui().destroyWidget(id);
}

TEST(MainWindow, TheProgramsControlsStandWhereTheLayoutPutsThem) {
  ProgramUnderTest program;
  HWND main = program.window();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ansiText(main), "Sorvane");
  const int editHeight = minimumEditHeight();
  // The system's GUI font, at the height it has at 96 DPI (the layout's).
  LOGFONTW guiFont{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof guiFont, &guiFont);
  HDC screen = GetDC(nullptr);
  guiFont.lfHeight = MulDiv(guiFont.lfHeight, 96, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);

  auto named = [&](const char* name) { return program.frame().controlNamed(name).widget; };
  for (const Expected& e : kControls) {
    SCOPED_TRACE(e.name);
    HWND h = hwndOf(named(e.name));
    ASSERT_TRUE(IsWindow(h));
    EXPECT_EQ(GetParent(h), e.parent ? hwndOf(named(e.parent)) : main);
    Rect want = e.rect;
    if (e.windowClass && std::wstring(e.windowClass) == L"Edit")
      want.height = std::max(want.height, editHeight);
    EXPECT_EQ(placeOf(h), want);
    if (e.windowClass) {
      EXPECT_EQ(className(h), e.windowClass);
    }
    const DWORD style = GetWindowLongW(h, GWL_STYLE);
    // The group boxes also clip the controls inside them, which they paint
    // around. A list hides its scroll bar while every item fits, and an edit
    // box takes its one-pixel line over and draws it itself: both clear the
    // style bit they were made with.
    const DWORD ignored = WS_CLIPCHILDREN | WS_VSCROLL | WS_BORDER;
    EXPECT_EQ(style & ~ignored, e.style & ~ignored) << std::hex << style << " for " << e.style;
    const DWORD edges = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME;
    EXPECT_EQ(GetWindowLongW(h, GWL_EXSTYLE) & edges, e.exStyle);
    if (e.windowClass) {
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font, &font);
      EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(guiFont.lfFaceName));
      EXPECT_EQ(font.lfHeight, guiFont.lfHeight);
      EXPECT_EQ(font.lfCharSet, guiFont.lfCharSet);
    }
    // The bytes as the system's ANSI calls read them, and as the program does.
    if (e.windowClass && std::wstring(e.windowClass) != L"ListBox") {
      EXPECT_EQ(ansiText(h), e.text);
    }
    EXPECT_EQ(ui().text(named(e.name)), e.text);
  }

  // Labels and the check box paint in their colours: the note in red.
  EXPECT_EQ(paintColour(program.hwnd("标签3"), WM_CTLCOLORSTATIC), RGB(255, 0, 0));
  EXPECT_EQ(paintColour(program.hwnd("标签2"), WM_CTLCOLORSTATIC), RGB(0, 0, 0));
  EXPECT_EQ(paintColour(program.hwnd("选择框1"), WM_CTLCOLORSTATIC), RGB(0, 0, 0));
  // The program starts with the focus on its first button.
  EXPECT_EQ(program.focusedName(), "按钮1");
}

}  // namespace
}  // namespace sorvane::win32test
