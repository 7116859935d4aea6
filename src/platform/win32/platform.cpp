// Win32 backend: start-up, the widget table and what every widget has (place,
// visibility, text, focus), list boxes, and the browser and capture calls that
// W3's host and capture files carry out. Links user32, gdi32, comctl32.

#include "platform/win32/platform.h"

#include <algorithm>

#include "platform/win32/backend.h"
#include "services/codepage.h"
// Needs <windows.h> first.
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include "platform/win32/capture.h"
#include "platform/win32/document.h"
#include "platform/win32/services/text.h"

namespace sorvane::platform::win32 {

WindowClass::WindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, HICON icon)
    : name_(name) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = icon;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  atom_ = RegisterClassExW(&wc);
}

WindowClass::~WindowClass() {
  if (atom_) UnregisterClassW(name_, GetModuleHandleW(nullptr));
}

namespace {

HFONT makeUiFont() {
  auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW font{};
  if (!GetObjectW(stock, sizeof font, &font)) return stock;
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  if (dpi > 0) font.lfHeight = MulDiv(font.lfHeight, 96, dpi);
  font.lfWidth = 0;
  HFONT made = CreateFontIndirectW(&font);
  return made ? made : stock;  // a stock object is left alone by DeleteObject
}

}  // namespace

std::unique_ptr<Platform> makeWin32Platform() {
  auto platform = std::make_unique<Win32Platform>();
  if (!platform->ready()) return nullptr;
  return platform;
}

std::vector<std::string> commandLineArguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(fromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

void showStartProblem(Platform& platform, const std::string& line) {
  auto* desktop = dynamic_cast<Win32Platform*>(&platform);
  if (!desktop || desktop->standardErrorReaches()) return;
  std::string_view problem = line;
  if (problem.starts_with("sorvane: ")) problem.remove_prefix(9);
  while (!problem.empty() && (problem.back() == '\n' || problem.back() == '\r'))
    problem.remove_suffix(1);
  platform.messageBox(std::string(problem), "Sorvane", box::kOk | box::kIconError);
}

Win32Platform::Win32Platform() : oleInitialised_(SUCCEEDED(OleInitialize(nullptr))) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  font_.reset(makeUiFont());

  HINSTANCE self = GetModuleHandleW(nullptr);
  // The program's own icon is the first in its resources; a build without
  // resources (the tests) gets the system's.
  HICON icon = LoadIconW(self, MAKEINTRESOURCEW(1));
  if (!icon) icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  mainClass_ = std::make_unique<WindowClass>(kMainClassName, topLevelProc,
                                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon);
  timerClass_ = std::make_unique<WindowClass>(kTimerClassName, timerWindowProc, nullptr, nullptr);
  if (*timerClass_)
    timerWindow_.reset(
        CreateWindowExW(0, kTimerClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, self, this));

  // An edit box is never lower than its font's text plus the sunken edges.
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font_.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  minimumEditHeight_ = metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
}

Win32Platform::~Win32Platform() {
  tearDown();
  timerWindow_.reset();
  taskbar_.reset();
  // Last: every control that used OLE is gone.
  if (oleInitialised_) OleUninitialize();
}

bool Win32Platform::ready() const { return *mainClass_ && *timerClass_ && timerWindow_; }

WidgetId Win32Platform::owning(HWND hwnd) const {
  for (HWND h = hwnd; h; h = GetAncestor(h, GA_PARENT)) {
    if (widgets_.contains(idOf(h))) return idOf(h);
    if (!(GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;  // a top level not ours
  }
  return 0;
}

void Win32Platform::moveNative(Widget& child, Widget& parent) {
  const Rect at = widgetRect(idOf(child.hwnd));
  SetParent(child.hwnd, parent.hwnd);
  SetWindowPos(child.hwnd, nullptr, at.left, at.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::showNative(Widget& w, bool visible) {
  ShowWindow(w.hwnd, visible ? SW_SHOW : SW_HIDE);
  if (visible && w.kind == WidgetKind::TopLevel) UpdateWindow(w.hwnd);
}

bool Win32Platform::shownNative(const Widget& w) const {
  return (GetWindowLongW(w.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

Rect Win32Platform::rectNative(const Widget& w) const {
  RECT r{};
  GetWindowRect(w.hwnd, &r);
  const Rect size{0, 0, r.right - r.left, r.bottom - r.top};
  if (w.kind != WidgetKind::TopLevel) {
    POINT corner{r.left, r.top};
    ScreenToClient(GetAncestor(w.hwnd, GA_PARENT), &corner);
    return {corner.x, corner.y, size.width, size.height};
  }
  return {r.left, r.top, size.width, size.height};
}

void Win32Platform::setText(WidgetId id, const std::string& text) {
  Widget* w = find(id);
  if (!w) return;
  w->text.write(text, toWide);
  if (w->kind == WidgetKind::Browser) return;  // kept; the view shows pages, not text
  // The edit box reports its own change; a write by the program is not the
  // user's, so that report goes nowhere.
  w->quiet = true;
  SetWindowTextW(w->hwnd, w->text.shown.c_str());
  if ((w = find(id))) w->quiet = false;
}

std::string Win32Platform::text(WidgetId id) const {
  const Widget* w = find(id);
  if (!w) return {};
  if (w->kind == WidgetKind::EditBox) {
    const int length = GetWindowTextLengthW(w->hwnd);
    std::wstring now(static_cast<std::size_t>(length) + 1, L'\0');
    now.resize(static_cast<std::size_t>(GetWindowTextW(w->hwnd, now.data(), length + 1)));
    return w->text.read(now, fromWide);
  }
  return w->text.bytes;
}

void Win32Platform::checkNative(Widget& w, bool checked) {
  SendMessageW(w.hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Platform::checkedNative(const Widget& w) const {
  return SendMessageW(w.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int Win32Platform::addItemNative(Widget& w, const std::string& item) {
  const LRESULT at =
      SendMessageW(w.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(item).c_str()));
  if (at < 0) return -1;  // LB_ERR, LB_ERRSPACE
  const auto index = static_cast<std::size_t>(at);
  w.items.insert(w.items.begin() + static_cast<std::ptrdiff_t>(std::min(index, w.items.size())),
                 item);
  return static_cast<int>(at);
}

bool Win32Platform::deleteItemNative(Widget& w, int index) {
  if (SendMessageW(w.hwnd, LB_DELETESTRING, static_cast<WPARAM>(index), 0) == LB_ERR) return false;
  w.items.erase(w.items.begin() + index);
  return true;
}

void Win32Platform::clearItemsNative(Widget& w) {
  // The program refills the list right after clearing it, an add per item; the
  // list is drawn once, when the loop next has nothing to do, not per add.
  if (!w.redrawHeld) {
    SendMessageW(w.hwnd, WM_SETREDRAW, FALSE, 0);
    w.redrawHeld = true;
    whenIdle([this, id = idOf(w.hwnd)] {
      Widget* list = find(id);
      if (!list || !list->redrawHeld) return;
      list->redrawHeld = false;
      SendMessageW(list->hwnd, WM_SETREDRAW, TRUE, 0);
      RedrawWindow(list->hwnd, nullptr, nullptr,
                   RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    });
  }
  SendMessageW(w.hwnd, LB_RESETCONTENT, 0, 0);
  w.items.clear();
}

int Win32Platform::selectionNative(const Widget& w) const {
  const LRESULT at = SendMessageW(w.hwnd, LB_GETCURSEL, 0, 0);
  return at < 0 ? -1 : static_cast<int>(at);
}

WidgetId Win32Platform::focusedWidget() const { return owning(GetFocus()); }

void Win32Platform::setFocus(WidgetId id) {
  if (Widget* w = find(id)) SetFocus(w->hwnd);
}

void Win32Platform::navigateNative(Widget& w, const std::string& url) {
  browserHostNavigate(*w.browser, toWide(url));
}
bool Win32Platform::busyNative(const Widget& w) const { return browserHostBusy(*w.browser); }
void Win32Platform::stopNative(Widget& w) { browserHostStop(*w.browser); }
void Win32Platform::endPageNative(Widget& w) { browserHostEndPage(*w.browser); }
PageShows Win32Platform::showsNative(const Widget& w) const { return browserHostShows(*w.browser); }
void Win32Platform::showBlankNative(Widget& w) { browserHostShowBlank(*w.browser); }
Rect Win32Platform::workArea() const {
  // The control draws only what its window shows: its window keeps the
  // page's size, as large as the screen or not.
  if (!pageEngine()) return {0, 0, 1 << 20, 1 << 20};
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

// Our own engine takes UTF-8, never the code page's bytes.
std::string Win32Platform::pageAddress(const std::string& url) const {
  return systemCodePage().toUtf8(url);
}

// The state belongs to the calling thread, which is the GUI thread: it holds
// for as long as the program runs or until it is cleared.
void Win32Platform::keepAwake(bool on) {
  SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED
                             : ES_CONTINUOUS);
}

void Win32Platform::showProgress(int done, int total) {
  if (!taskbar_) taskbar_.emplace();
  taskbar_->show(done, total);
}

std::optional<Pixels> Win32Platform::captureNative(WidgetId id) {
  Pixels out;
  bool taken = false;
  if (id == 0) {
    taken = captureWindowPixels(nullptr, out);
  } else if (Widget* w = find(id)) {
    // The browser's picture is of its page alone, whatever lies over it.
    taken = w->browser ? browserHostPicture(*w->browser, out).has_value()
                       : captureWindowPixels(w->hwnd, out);
  }
  if (!taken) return std::nullopt;
  return out;
}

std::optional<Platform::Document> Win32Platform::documentNative(WidgetId id, int widthLimit,
                                                                int heightLimit) {
  Widget* w = find(id);
  if (!w || !w->browser) return std::nullopt;
  return browserHostDocument(*w->browser, {widthLimit, heightLimit});
}

}  // namespace sorvane::platform::win32
