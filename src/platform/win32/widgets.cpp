// Win32 backend: the main window and the standard controls inside it, the
// window procedures, and the notifications that become the program's events.

#include <algorithm>

#include "platform/win32/backend.h"
// Needs <windows.h> first.
#include <commctrl.h>

#include "platform/win32/services/text.h"

namespace sorvane::platform::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1;

Win32Platform* platformOf(HWND hwnd) {
  return reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void keepPlatform(HWND hwnd, LPARAM createParams) {
  auto* create = reinterpret_cast<const CREATESTRUCTW*>(createParams);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

}  // namespace

LRESULT CALLBACK topLevelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) keepPlatform(hwnd, lParam);
  Win32Platform* p = platformOf(hwnd);
  if (!p) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      if (lParam) {
        p->onCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      if (HBRUSH brush =
              p->onControlColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
        return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_CLOSE:
      p->onTopLevelMessage(hwnd, message, wParam);
      return 0;  // the program decides, and destroys the window if it closes
    case WM_ACTIVATE: {
      // The system first gives the focus to the window itself; the program
      // then hands it on to the control it remembers.
      LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      p->onTopLevelMessage(hwnd, message, wParam);
      return result;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT));
    case WM_GETMINMAXINFO: {
      // The system keeps a window within the screen and its frame; the
      // layout's size wins on a screen smaller than the window.
      LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      const SIZE size = p->topLevelSize();
      limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, size.cx);
      limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, size.cy);
      return result;
    }
    case WM_NCDESTROY:
      p->forget(idOf(hwnd));
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK timerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) keepPlatform(hwnd, lParam);
  if (message == Win32Platform::kEngineArrived ||
      (message == WM_TIMER && wParam == Win32Platform::kEngineTimer)) {
    if (Win32Platform* p = platformOf(hwnd)) p->pumpEngine();
    return 0;
  }
  if (message == WM_TIMER) {
    if (Win32Platform* p = platformOf(hwnd)) p->tick(static_cast<TimerId>(wParam));
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK controlSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* p = reinterpret_cast<Win32Platform*>(data);
  const Widget* w = p->find(idOf(hwnd));
  const WidgetKind kind = w ? w->kind : WidgetKind::Hidden;
  switch (message) {
    case WM_CHAR:
      // The integer box drops typed characters other than digits and the
      // minus sign; control characters (Ctrl+V among them) pass, and so does
      // whatever is pasted.
      if (w && kind == WidgetKind::EditBox && w->editMode == EditMode::IntegerText &&
          wParam >= 32 && !(wParam >= L'0' && wParam <= L'9') && wParam != L'-')
        return 0;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
      if (Win32Platform::takesFocus(kind))
        p->raise(idOf(hwnd),
                 message == WM_SETFOCUS ? WidgetEvent::GotFocus : WidgetEvent::LostFocus);
      return result;
    }
    case WM_COMMAND:
      // A group box is the parent of the controls inside it but, unlike the
      // main window, would keep their notifications to itself.
      if (kind == WidgetKind::GroupBox && lParam) {
        p->onCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      if (kind == WidgetKind::GroupBox)
        if (HBRUSH brush =
                p->onControlColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
          return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_ERASEBKGND:
      // The main window clips its children, so nothing else paints the inside
      // of a group box.
      if (kind == WidgetKind::GroupBox) {
        RECT inside;
        GetClientRect(hwnd, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, controlSubclassProc, kSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

WidgetId Win32Platform::createWidget(const WidgetSpec& request) {
  if (!ready()) return 0;
  Widget w;
  w.kind = request.kind;
  w.parent = request.parent;
  w.text.write(request.text, toWide);
  w.editMode = request.editMode;
  w.textColour = request.textColour;
  w.backColour = request.backColour;
  HWND hwnd = nullptr;
  Widget* parent = nullptr;
  if (request.kind == WidgetKind::TopLevel) {
    w.parent = 0;
    hwnd = makeTopLevel(request, w);
  } else {
    parent = find(request.parent);
    if (!parent || !holdsChildren(*parent)) return 0;
    hwnd = makeChild(request, w, parent->hwnd);
  }
  if (!hwnd) return 0;
  const WidgetId id = idOf(hwnd);
  w.hwnd = hwnd;
  widgets_.add(id, std::move(w));
  if (request.kind == WidgetKind::TopLevel && request.visible) setVisible(id, true);
  return id;
}

HWND Win32Platform::makeTopLevel(const WidgetSpec& request, Widget&) {
  // Fixed frame, caption and system menu; no minimise or maximise box.
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (request.disabled) style |= WS_DISABLED;
  const int width = request.rect.width;
  const int height = request.rect.height;
  topLevelSize_ = {width, height};
  // Centred in the primary screen's work area (the taskbar left out),
  // whatever the layout's own left and top. On a screen too small for it the
  // caption stays in sight, so the window can still be moved and closed.
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = std::max<int>(work.left, work.left + (work.right - work.left - width) / 2);
  const int top = std::max<int>(work.top, work.top + (work.bottom - work.top - height) / 2);
  HWND hwnd = CreateWindowExW(0, kMainClassName, toWide(request.text).c_str(), style, left, top,
                              width, height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd) return nullptr;
  // The system may have adjusted the rectangle (a minimum track size, a
  // screen edge); the layout's outer size is what the window must have.
  RECT actual{};
  GetWindowRect(hwnd, &actual);
  if (actual.left != left || actual.top != top || actual.right - actual.left != width ||
      actual.bottom - actual.top != height)
    SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  return hwnd;
}

HWND Win32Platform::makeChild(const WidgetSpec& request, Widget& w, HWND parent) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (request.disabled) style |= WS_DISABLED;
  if (request.tabStop) style |= WS_TABSTOP;
  if (request.visible && request.kind != WidgetKind::Hidden) style |= WS_VISIBLE;
  DWORD exStyle = 0;
  const wchar_t* windowClass = L"STATIC";
  Rect r = request.rect;
  const int controlId = nextControlId_++;

  switch (request.kind) {
    case WidgetKind::Label:
      // One line, left-aligned and vertically centred.
      style |= SS_LEFT | SS_CENTERIMAGE;
      break;
    case WidgetKind::EditBox:
      windowClass = L"EDIT";
      style |= ES_LEFT | ES_AUTOHSCROLL;
      if (request.editMode == EditMode::ReadOnly) style |= ES_READONLY;
      if (request.editBorderLine)
        style |= WS_BORDER;
      else
        exStyle |= WS_EX_CLIENTEDGE;
      r.height = std::max(r.height, minimumEditHeight_);
      break;
    case WidgetKind::GroupBox:
      windowClass = L"BUTTON";
      // Clips the controls inside it, which it paints around.
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      break;
    case WidgetKind::Button:
      windowClass = L"BUTTON";
      style |= BS_PUSHBUTTON | BS_MULTILINE;
      break;
    case WidgetKind::CheckBox:
      windowClass = L"BUTTON";
      style |= BS_AUTOCHECKBOX | BS_MULTILINE;
      break;
    case WidgetKind::ListBox:
      windowClass = L"LISTBOX";
      style |= LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case WidgetKind::Browser: {
      if (pageEngine()) return makeEngineArea(w, request, parent, style, controlId);
      w.browser = createBrowserHost(parent, r, style, controlId, request.browser);
      if (!w.browser) return nullptr;
      HWND view = browserHostWindow(*w.browser);
      SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
      return view;
    }
    case WidgetKind::Hidden:
    case WidgetKind::TopLevel:
      break;
  }

  HWND hwnd = CreateWindowExW(exStyle, windowClass, w.text.shown.c_str(), style, r.left, r.top, r.width,
                              r.height, parent, reinterpret_cast<HMENU>(INT_PTR{controlId}),
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return nullptr;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SetWindowSubclass(hwnd, controlSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

  const bool coloured = request.kind == WidgetKind::Label || request.kind == WidgetKind::CheckBox ||
                        request.kind == WidgetKind::EditBox;
  if (coloured && request.backColour != kButtonFaceColour)
    w.background.reset(CreateSolidBrush(request.backColour & 0x00FFFFFFu));
  if (request.kind == WidgetKind::EditBox)
    SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // the system's maximum length
  if (request.kind == WidgetKind::ListBox) {
    // Each item one pixel taller than the font needs.
    const LRESULT itemHeight = SendMessageW(hwnd, LB_GETITEMHEIGHT, 0, 0);
    if (itemHeight > 0) SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, itemHeight + 1);
  }
  return hwnd;
}

void Win32Platform::onCommand(HWND control, int code) {
  const WidgetId id = idOf(control);
  const Widget* w = find(id);
  if (!w) return;
  switch (w->kind) {
    case WidgetKind::Button:
    case WidgetKind::CheckBox:
      if (code == BN_CLICKED) raise(id, WidgetEvent::Used);
      break;
    case WidgetKind::ListBox:
      if (code == LBN_SELCHANGE) raise(id, WidgetEvent::Used);
      if (code == LBN_DBLCLK) raise(id, WidgetEvent::DoubleClicked);
      break;
    case WidgetKind::EditBox:
      if (code == EN_CHANGE && !w->quiet) raise(id, WidgetEvent::Used);
      break;
    default:
      break;
  }
}

HBRUSH Win32Platform::onControlColour(HWND control, HDC dc) {
  const Widget* w = find(idOf(control));
  if (!w) return nullptr;
  switch (w->kind) {
    case WidgetKind::Label:
    case WidgetKind::CheckBox:
      // The caption in its colour on the control's background.
      SetTextColor(dc, w->textColour & 0x00FFFFFFu);
      SetBkMode(dc, TRANSPARENT);
      return w->background ? w->background.get() : GetSysColorBrush(COLOR_BTNFACE);
    case WidgetKind::EditBox:
      // The read-only box asks as a static control would; it keeps the white
      // of the other boxes all the same.
      if (!w->background) return nullptr;
      SetTextColor(dc, w->textColour & 0x00FFFFFFu);
      SetBkColor(dc, w->backColour & 0x00FFFFFFu);
      return w->background.get();
    default:
      return nullptr;
  }
}

void Win32Platform::onTopLevelMessage(HWND hwnd, UINT message, WPARAM wParam) {
  const WidgetId id = idOf(hwnd);
  if (!find(id)) return;
  report([&](EventSink& sink) {
    if (message == WM_CLOSE)
      sink.closeRequested(id);
    else if (LOWORD(wParam) == WA_INACTIVE)
      sink.windowDeactivated(id);
    else
      sink.windowActivated(id);
  });
}

}  // namespace sorvane::platform::win32
