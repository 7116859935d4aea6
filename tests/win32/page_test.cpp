// What the view says it shows, the blank cover, an ended page and the engine's
// per-program settings, on the Win32 layer under a real (virtual) desktop.
// Wine's control draws no pages: every load ends as a failed one, so the
// event sequences of a real engine are played to the receiver here instead.

#include <exdispid.h>
#include <gtest/gtest.h>
#include <urlmon.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "harness.h"
#include "platform/win32/browser.h"
#include "platform/win32/browser_setup.h"
#include "platform/win32/browser_site.h"
#include "platform/win32/capture.h"
#include "program_under_test.h"
#include "../support/pictures.h"

namespace sorvane::win32test {
namespace {

using platform::win32::NavigationTrack;

// A stand-in for the control and for one of a page's frames: the receiver
// tells them apart by identity alone.
class Dummy final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) noexcept override {
    return E_NOTIMPL;
  }
};

enum class From { Control, Frame };
struct Event {
  DISPID id;
  From from = From::Control;
  const wchar_t* url = L"http://127.0.0.1/page";
};

// Plays events to a receiver as the engine calls it: arguments last first.
void play(IDispatch* events, IDispatch* control, IDispatch* frame, const Event& e) {
  BSTR url = SysAllocString(e.url);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  std::vector<VARIANT> args;
  // Each parameter goes in front of those before it: the last comes first.
  auto add = [&](VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    args.insert(args.begin(), v);
    return &args.front();
  };
  IDispatch* who = e.from == From::Control ? control : frame;
  switch (e.id) {
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
      add(VT_DISPATCH)->pdispVal = who;
      add(VT_BYREF | VT_VARIANT);  // URL, filled below
      break;
    case DISPID_NAVIGATEERROR:
      add(VT_DISPATCH)->pdispVal = who;
      add(VT_BYREF | VT_VARIANT);
      add(VT_EMPTY);
      add(VT_I4)->lVal = 404;
      add(VT_BYREF | VT_BOOL)->pboolVal = &cancel;
      break;
    case DISPID_FILEDOWNLOAD:
      add(VT_BOOL)->boolVal = VARIANT_FALSE;
      add(VT_BYREF | VT_BOOL)->pboolVal = &cancel;
      break;
    default:
      break;
  }
  VARIANT urlValue;
  VariantInit(&urlValue);
  urlValue.vt = VT_BSTR;
  urlValue.bstrVal = url;
  for (VARIANT& v : args)
    if (v.vt == (VT_BYREF | VT_VARIANT)) v.pvarVal = &urlValue;
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXPECT_EQ(events->Invoke(e.id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  SysFreeString(url);
}

TEST(PageShows, TheControlsOwnEventsSayWhatTheViewShowsOfTheLatestAddress) {
  struct Case {
    const char* what;
    std::vector<Event> events;
    PageShows shows;
    bool uncovered;  // a page of the address (or the engine's about it) showed
    bool ended = false;
    const wchar_t* next = nullptr;  // then this address is sent, and `after` comes
    std::vector<Event> after = {};
  };
  constexpr const wchar_t* kRoute = L"http://127.0.0.1/page#/b";
  const Case cases[] = {
      {"nothing yet", {}, PageShows::Nothing, false},
      {"committed", {{DISPID_NAVIGATECOMPLETE2}}, PageShows::Own, true},
      {"complete without a commit seen", {{DISPID_DOCUMENTCOMPLETE}}, PageShows::Own, true},
      {"the engine's error page",
       {{DISPID_NAVIGATEERROR},
        {DISPID_NAVIGATECOMPLETE2, From::Control, L"res://ieframe.dll/x"},
        {DISPID_DOCUMENTCOMPLETE, From::Control, L"res://ieframe.dll/x"}},
       PageShows::EngineError,
       true},
      // Stopped before its page came, the engine shows its "cancelled" page
      // without an error; without a connection, its "offline" page.
      {"the engine's cancelled page after a stop",
       {{DISPID_NAVIGATECOMPLETE2, From::Control, L"res://ieframe.dll/navcancl.htm#x"},
        {DISPID_DOCUMENTCOMPLETE, From::Control, L"res://ieframe.dll/navcancl.htm#x"}},
       PageShows::Nothing,
       false},
      {"the engine's offline page",
       {{DISPID_NAVIGATECOMPLETE2, From::Control, L"RES://ieframe.dll/offcancl.htm"}},
       PageShows::Nothing,
       false},
      {"the engine's page in place of one that had come",
       {{DISPID_NAVIGATECOMPLETE2}, {DISPID_NAVIGATECOMPLETE2, From::Control, L"res://x/y.htm"}},
       PageShows::Nothing,
       true},
      {"a refused download", {{DISPID_FILEDOWNLOAD}}, PageShows::Nothing, false},
      {"a frame's page and a frame's error",
       {{DISPID_NAVIGATECOMPLETE2, From::Frame}, {DISPID_NAVIGATEERROR, From::Frame}},
       PageShows::Nothing,
       false},
      {"a frame fails inside the page",
       {{DISPID_NAVIGATECOMPLETE2}, {DISPID_NAVIGATEERROR, From::Frame}},
       PageShows::Own,
       true},
      {"the blank page that ended the one before",
       {{DISPID_NAVIGATECOMPLETE2, From::Control, L"about:blank"}},
       PageShows::Nothing,
       false},
      {"anything once the page is ended",
       {{DISPID_NAVIGATECOMPLETE2}, {DISPID_NAVIGATEERROR}},
       PageShows::Nothing,
       false,
       true},
      // A move within the page on show: the control tells of it as a commit
      // of the new address, or (pushed by the page's script) not at all.
      {"a route after '#' in the page on show",
       {{DISPID_NAVIGATECOMPLETE2}},
       PageShows::Own,
       true,
       false,
       kRoute,
       {{DISPID_NAVIGATECOMPLETE2, From::Control, kRoute}}},
      {"a route the control tells nothing of", {{DISPID_NAVIGATECOMPLETE2}}, PageShows::Own, true,
       false, kRoute},
      {"a route of another page", {{DISPID_NAVIGATECOMPLETE2}}, PageShows::Nothing, true, false,
       L"http://127.0.0.1/other#/b"},
      {"a route of the engine's error page",
       {{DISPID_NAVIGATEERROR}, {DISPID_NAVIGATECOMPLETE2, From::Control, L"res://ieframe.dll/x"}},
       PageShows::Nothing,
       true,
       false,
       L"res://ieframe.dll/x#b"},
  };
  Dummy control, frame;
  // One cover for every case, shown again for each: windows come and go slowly.
  HWND cover = CreateWindowExW(WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, nullptr, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto track = std::make_shared<NavigationTrack>();
    track->topLevel = &control;
    track->sent = L"http://127.0.0.1/page";
    track->ended = c.ended;
    track->cover = cover;
    ShowWindow(cover, SW_SHOWNOACTIVATE);
    IDispatch* events = platform::win32::makeBrowserEvents(track);
    ASSERT_NE(events, nullptr);
    for (const Event& e : c.events) play(events, &control, &frame, e);
    if (c.next) platform::win32::sendTrack(*track, c.next);
    for (const Event& e : c.after) play(events, &control, &frame, e);
    EXPECT_EQ(track->shows, c.shows);
    EXPECT_EQ(!IsWindowVisible(cover), c.uncovered);
    EXPECT_EQ(events->Release(), 0u);
  }
  DestroyWindow(cover);
}

// A view of the program's size in a window of its own, through the platform.
class BrowserWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 700, 640};
    top.text = "page test";
    top.visible = true;
    window_ = ui().createWidget(top);
    ASSERT_NE(window_, 0u);
    WidgetSpec view;
    view.kind = WidgetKind::Browser;
    view.parent = window_;
    view.rect = {0, 8, 672, 568};
    view.visible = true;
    view.disabled = true;
    browser_ = ui().createWidget(view);
    ASSERT_NE(browser_, 0u);
  }
  void TearDown() override { ui().destroyWidget(window_); }

  static bool allWhite(const Pixels& p) {
    for (std::uint8_t byte : p.bgr)
      if (byte != 0xFF) return false;
    return !p.bgr.empty();
  }

  WidgetId window_ = 0;
  WidgetId browser_ = 0;
};

TEST_F(BrowserWidget, BlankCoversTheViewAtOnceAlsoWhenTheControlDrawsThePicture) {
  // Something that is not white where the view is, so the cover can show.
  HWND view = hwndOf(browser_);
  HDC dc = GetDC(view);
  RECT all{0, 0, 672, 568};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(view, dc);

  ui().browserShowBlank(browser_);  // no turn of the loop before the picture
  Pixels picture = testing::captured(ui(), browser_);
  EXPECT_EQ(picture.width, 672);
  EXPECT_EQ(picture.height, 568);
  EXPECT_TRUE(allWhite(picture));
  EXPECT_EQ(ui().browserShows(browser_), PageShows::Nothing);

  // Minimised, the window has no pixels on the screen: the view draws the
  // picture itself, at its own size, and still blank.
  ShowWindow(hwndOf(window_), SW_MINIMIZE);
  pumpFor(200);
  EXPECT_FALSE(platform::win32::windowPixelsReadable(view));
  Pixels drawn = testing::captured(ui(), browser_);
  EXPECT_EQ(drawn.width, 672);
  EXPECT_EQ(drawn.height, 568);
  EXPECT_TRUE(allWhite(drawn));

  // Uncovered (as a committed page would leave it), the control itself draws
  // into the picture (IViewObject::Draw). Wine's control draws no page; what
  // it shows here is the size and that nothing breaks.
  ShowWindow(FindWindowExW(view, nullptr, L"SorvaneBlankCover", nullptr), SW_HIDE);
  Pixels engine = testing::captured(ui(), browser_);
  EXPECT_EQ(engine.width, 672);
  EXPECT_EQ(engine.height, 568);
  EXPECT_EQ(engine.bgr.size(), std::size_t{672} * 568 * 3);
  ShowWindow(hwndOf(window_), SW_RESTORE);
  pumpFor(200);
  EXPECT_TRUE(platform::win32::windowPixelsReadable(view));
}

std::wstring readEmulation(const std::wstring& name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, platform::win32::kEmulationKey, name.c_str(), RRF_RT_ANY,
                   &type, &value, &size) != ERROR_SUCCESS)
    return L"none";
  return type == REG_DWORD ? std::to_wstring(value) : L"not a number";
}

void forgetEmulation(const std::wstring& name) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, platform::win32::kEmulationKey, name.c_str());
}

// The engine reads the value as it starts, so it must be there once a
// control exists; it is named after the file the program runs under now.
TEST(BrowserEngineSettings, EmulationForTheProgramsFileNameAndNoNavigationSound) {
  const std::wstring self = platform::win32::programFileName();
  ASSERT_EQ(self, L"win32_tests.exe");
  forgetEmulation(self);
  {
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 200, 200};
    const WidgetId window = ui().createWidget(top);
    WidgetSpec view;
    view.kind = WidgetKind::Browser;
    view.parent = window;
    view.rect = {0, 0, 100, 100};
    ASSERT_NE(ui().createWidget(view), 0u);
    EXPECT_EQ(readEmulation(self), L"11000");
    ui().destroyWidget(window);
  }
  EXPECT_EQ(CoInternetIsFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, GET_FEATURE_FROM_PROCESS),
            S_OK);

  // Renamed by its user (to a Chinese name, as users do), the program writes
  // the value for its new name at its next start.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::filesystem::path renamed =
      std::filesystem::temp_directory_path() / L"\u7F51\u9875\u622A\u56FE.exe";
  const std::wstring renamedName = renamed.filename().wstring();
  forgetEmulation(renamedName);
  ASSERT_TRUE(CopyFileW(path, renamed.c_str(), FALSE));
  const ChildEnd end = runProgramFile(renamed.wstring(), "browser");
  DeleteFileW(renamed.c_str());
  ASSERT_TRUE(end.finished);
  EXPECT_EQ(end.exitCode, 0u) << end.errors;
  EXPECT_EQ(readEmulation(renamedName), L"11000");
  forgetEmulation(renamedName);
}

// Each engine gets the standards mode it documents; an engine older than 8
// knows no such value and gets none.
TEST(BrowserEngineSettings, TheDocumentModeFollowsTheInstalledEngine) {
  struct Case {
    const wchar_t* svcVersion;  // nullptr: no such value
    const wchar_t* version;
    const wchar_t* written;
  };
  const Case cases[] = {
      {nullptr, L"7.0.5730.13", L"none"},
      {nullptr, L"8.0.7601.17514", L"8000"},
      {nullptr, L"9.0.8112.16421", L"9000"},
      // Newer engines keep an old-style number in Version and the real one beside it.
      {L"10.0.9200.16384", L"9.10.9200.16384", L"10000"},
      {L"11.0.9600.18036", L"9.11.9600.18036", L"11000"},
      {L"12.0.1", L"9.12", L"11000"},
      {nullptr, nullptr, L"none"},
      {nullptr, L"version", L"none"},
  };
  const std::wstring self = platform::win32::programFileName();
  SavedRegistryValue service(HKEY_LOCAL_MACHINE, platform::win32::kEngineKey, L"svcVersion");
  SavedRegistryValue version(HKEY_LOCAL_MACHINE, platform::win32::kEngineKey, L"Version");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version ? c.version : L"none");
    service.setText(c.svcVersion);
    version.setText(c.version);
    forgetEmulation(self);
    platform::win32::prepareBrowserEngine();
    EXPECT_EQ(readEmulation(self), c.written);
  }
}

// Read without changing it: a call without ES_CONTINUOUS leaves the lasting
// state as it is and gives it back.
EXECUTION_STATE awakeState() {
  return SetThreadExecutionState(ES_SYSTEM_REQUIRED) & ~ES_USER_PRESENT;
}

constexpr EXECUTION_STATE kAwake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;

TEST(KeepAwake, OnForARunOffWhenItStops) {
  ui().keepAwake(true);
  EXPECT_EQ(awakeState(), kAwake);
  ui().keepAwake(false);
  EXPECT_EQ(awakeState(), EXECUTION_STATE{ES_CONTINUOUS});

  ProgramUnderTest program;
  program.frame().vars().urlArray.push_back(Text("http://127.0.0.1:9/"));
  SendMessageW(program.hwnd("按钮1"), BM_CLICK, 0, 0);  // 开始
  EXPECT_EQ(awakeState(), kAwake);
  SendMessageW(program.hwnd("按钮1"), BM_CLICK, 0, 0);  // 停止
  EXPECT_EQ(awakeState(), EXECUTION_STATE{ES_CONTINUOUS});
}

}  // namespace
}  // namespace sorvane::win32test
