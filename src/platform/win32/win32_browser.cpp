// Win32 backend: the system browser control hosted in a view window.

#include "platform/win32/win32_browser.h"

namespace sorvane::platform::win32 {

class BrowserHost {};

void BrowserHostDeleter::operator()(BrowserHost* host) const noexcept { delete host; }

BrowserHostPtr createBrowserHost(HWND, const Rect&, DWORD, int, const BrowserSettings&) {
  return nullptr;
}
HWND browserHostWindow(const BrowserHost&) { return nullptr; }
void browserHostNavigate(BrowserHost&, const std::wstring&) {}
bool browserHostBusy(const BrowserHost&) { return false; }
void browserHostStop(BrowserHost&) {}

}  // namespace sorvane::platform::win32
