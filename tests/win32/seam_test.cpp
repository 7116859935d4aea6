// The seam's promises, on Win32.

#include "../support/seam_conformance.h"
#include "harness.h"
#include "../support/loopback_server.h"

namespace sorvane::testing {
namespace {

using win32test::harness;

class Win32Rig final : public SeamRig {
 public:
  Win32Rig() {
    platform::WidgetSpec top;
    top.kind = platform::WidgetKind::TopLevel;
    top.rect = {0, 0, 1079, 649};
    top.text = "seam";
    top.visible = true;
    window_ = platform().createWidget(top);
  }
  ~Win32Rig() override {
    answering_.reset();
    platform().setEventSink(&harness().sink);
    if (platform().widgetExists(window_)) platform().destroyWidget(window_);
  }
  platform::Platform& platform() override { return *harness().platform; }
  platform::WidgetId window() override { return window_; }
  void pumpFor(int ms) override { win32test::pumpFor(ms); }
  void answerNextBoxAfter(int ms) override {
    const ULONGLONG due = GetTickCount64() + static_cast<ULONGLONG>(ms);
    answering_ = std::make_unique<win32test::DialogWatcher>([due](HWND box) {
      if (win32test::className(box) != L"#32770" || GetTickCount64() < due) return false;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
      return true;
    });
  }
  bool exactTime() const override { return false; }
  std::string page(Page which) override {
    switch (which) {
      case Page::Red: return pages_.url("/red");
      case Page::Silent: return pages_.url("/silent");
      case Page::Closed:
        return "http://127.0.0.1:" +
               std::to_string(LoopbackServer([](const Request&) { return Response::notFound(); })
                                  .port()) +
               "/";
      case Page::Blocked: break;
    }
    return "http://127.0.0.1:9/";
  }
  bool showsPages() const override { return false; }
  std::string local(const std::string& utf8) override {
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
    const int size = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), wide, out.data(), size, nullptr, nullptr);
    return out;
  }

 private:
  platform::WidgetId window_ = 0;
  std::unique_ptr<win32test::DialogWatcher> answering_;
  LoopbackServer pages_{[](const Request& request) {
    if (request.path == "/silent") return Response::silence();
    return Response::page("Content-Type: text/html\r\n",
                          "<html><body style='background:#ff0000'></body></html>");
  }};
};

std::unique_ptr<SeamRig> makeRig() { return std::make_unique<Win32Rig>(); }

INSTANTIATE_TEST_SUITE_P(Win32, SeamConformance, ::testing::Values(&makeRig));

}  // namespace
}  // namespace sorvane::testing
