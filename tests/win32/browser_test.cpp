// The browser control hosted in its view, under a real Win32 desktop. Wine's
// control has no engine to draw pages with: it asks the server for the page
// and then ends the load as failed, so what a page shows is not looked at here.

#include "platform/win32/browser.h"

#include <gtest/gtest.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <downloadmgr.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/browser_site.h"
#include "../support/loopback_server.h"
#include "../support/pump.h"

namespace sorvane::platform::win32 {
namespace {

// A page server on 127.0.0.1 that answers every request with a small page,
// or, told to hang, holds the connection open without a word until it is
// destroyed.
class PageServer {
 public:
  enum class Mode { Answer, Hang };

  explicit PageServer(Mode mode)
      : server_([mode](const testing::Request&) {
          if (mode == Mode::Hang) return testing::Response::silence();
          return testing::Response::page("Content-Type: text/html\r\n",
                                         "<html><body style='background:#00ff00'>page</body></html>");
        }) {}

  std::wstring url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(server_.port()) + path;
  }
  // The first line of every request.
  std::vector<std::string> requests() const { return server_.requestLines(); }

 private:
  testing::LoopbackServer server_;
};

void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
}

// Runs the message loop until `done` or the deadline; the engine works only
// while messages flow.
bool pumpUntil(const std::function<bool()>& done, DWORD deadlineMs = 20000) {
  return testing::pumpUntil(done, deadlineMs, pumpMessages);
}

// A window rectangle in the client coordinates of `parent`.
RECT rectIn(HWND window, HWND parent) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

DWORD styleOf(HWND window, int which) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, which));
}

bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

constexpr GUID kDocHostCommandHandler = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

constexpr DWORD kLayoutStyle = WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CLIPSIBLINGS;
constexpr DWORD kEdges = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME;
constexpr Rect kLayoutRect{0, 8, 672, 568};

class BrowserHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    // Never activated, so the other suites' windows keep the focus they expect.
    parent_ = CreateWindowExW(WS_EX_NOACTIVATE, L"STATIC", L"browser test", WS_POPUP | WS_VISIBLE, 0, 0, 700,
                              600, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    OleUninitialize();
  }
  BrowserHostPtr make(const BrowserSettings& settings = {}, const Rect& rect = kLayoutRect) {
    return createBrowserHost(parent_, rect, kLayoutStyle, 7, settings);
  }
  // The engine's window lies a client edge beyond the view's client area on
  // every side, so its own sunken border is cut off.
  static void expectEngineBorderHidden(HWND view) {
    HWND engine = GetWindow(view, GW_CHILD);
    ASSERT_NE(engine, nullptr);
    RECT client{};
    GetClientRect(view, &client);
    const int ex = GetSystemMetrics(SM_CXEDGE);
    const int ey = GetSystemMetrics(SM_CYEDGE);
    const RECT expected{-ex, -ey, client.right + ex, client.bottom + ey};
    EXPECT_TRUE(sameRect(rectIn(engine, view), expected));
  }
  HWND parent_ = nullptr;
};

bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::vector<VARIANT_BOOL> switches(IWebBrowser2* engine) {
  std::vector<VARIANT_BOOL> read(4, 7);
  engine->get_Silent(&read[0]);
  engine->get_Offline(&read[1]);
  engine->get_RegisterAsDropTarget(&read[2]);
  engine->get_RegisterAsBrowser(&read[3]);
  return read;
}

TEST_F(BrowserHostTest, MadeAsTheLayoutSaysWithEachSettingOnItsOwnSwitch) {
  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  HWND view = browserHostWindow(*host);
  ASSERT_TRUE(IsWindow(view));
  EXPECT_EQ(GetParent(view), parent_);
  EXPECT_EQ(GetDlgCtrlID(view), 7);
  const DWORD style = styleOf(view, GWL_STYLE);
  EXPECT_EQ(style & kLayoutStyle, kLayoutStyle);
  EXPECT_EQ(style & WS_BORDER, 0u);
  EXPECT_EQ(styleOf(view, GWL_EXSTYLE) & kEdges, 0u);
  EXPECT_TRUE(sameRect(rectIn(view, parent_), RECT{0, 8, 672, 576}));
  expectEngineBorderHidden(view);
  EXPECT_EQ(switches(browserHostEngine(*host)),
            (std::vector<VARIANT_BOOL>{VARIANT_TRUE, VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE}));
  EXPECT_FALSE(browserHostBusy(*host));

  BrowserSettings inverted;
  inverted.version = 0;
  inverted.silent = 0;
  inverted.offline = 2;
  inverted.registerAsDropTarget = 1;
  inverted.registerAsBrowser = 0xFFFFFFFFu;
  BrowserHostPtr other = make(inverted, Rect{10, 10, 50, 40});
  ASSERT_TRUE(other);
  std::vector<VARIANT_BOOL> read = switches(browserHostEngine(*other));
  // Wine's control always reads the drop-target switch back as off.
  if (underWine()) read[2] = VARIANT_TRUE;
  EXPECT_EQ(read,
            (std::vector<VARIANT_BOOL>{VARIANT_FALSE, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE}));
}

TEST_F(BrowserHostTest, BorderStylesAndResizingKeepTheEnginesOwnBorderOutOfSight) {
  struct Case {
    std::uint32_t borderStyle;
    DWORD exStyle;
    DWORD style;
  };
  const Case cases[] = {
      {1, WS_EX_CLIENTEDGE, 0},
      {2, WS_EX_DLGMODALFRAME, 0},
      {3, WS_EX_STATICEDGE, 0},
      {4, WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME, 0},
      {5, 0, WS_BORDER},
      {6, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.borderStyle);
    BrowserSettings settings;
    settings.borderStyle = c.borderStyle;
    BrowserHostPtr host = make(settings, Rect{20, 20, 200, 150});
    ASSERT_TRUE(host);
    HWND view = browserHostWindow(*host);
    EXPECT_EQ(styleOf(view, GWL_EXSTYLE) & kEdges, c.exStyle);
    EXPECT_EQ(styleOf(view, GWL_STYLE) & WS_BORDER, c.style);
    // The border goes inside the layout's rectangle.
    EXPECT_TRUE(sameRect(rectIn(view, parent_), RECT{20, 20, 220, 170}));
    expectEngineBorderHidden(view);
  }

  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  HWND view = browserHostWindow(*host);
  SetWindowPos(view, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  expectEngineBorderHidden(view);
}

TEST_F(BrowserHostTest, SettingsOfALaterVersionMakeNoControlAndLeaveNoWindow) {
  BrowserSettings settings;
  settings.version = 2;
  EXPECT_FALSE(make(settings));
  EXPECT_EQ(GetWindow(parent_, GW_CHILD), nullptr);

  // The parent may go first; the host then has nothing left to destroy.
  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  HWND view = browserHostWindow(*host);
  IOleClientSite* site = browserHostSite(*host);
  site->AddRef();
  DestroyWindow(parent_);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(browserHostWindow(*host), nullptr);
  EXPECT_FALSE(browserHostBusy(*host));
  browserHostNavigate(*host, L"http://127.0.0.1:1/");
  browserHostStop(*host);
  host.reset();
  EXPECT_EQ(site->Release(), 0u);
}

TEST_F(BrowserHostTest, DestroyingTheHostTakesItsViewAwayAndLetsGoOfTheSite) {
  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  HWND view = browserHostWindow(*host);
  IOleClientSite* site = browserHostSite(*host);
  ASSERT_NE(site, nullptr);
  site->AddRef();  // kept alive to count who else still holds it
  host.reset();
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(GetWindow(parent_, GW_CHILD), nullptr);
  EXPECT_EQ(site->Release(), 0u);
}

TEST_F(BrowserHostTest, NavigateAsksTheServerForTheAddressAndTheLoadEnds) {
  PageServer server(PageServer::Mode::Answer);
  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  browserHostNavigate(*host, server.url(L"/first.html?q=1"));
  ASSERT_TRUE(pumpUntil([&] { return !server.requests().empty(); }));
  EXPECT_EQ(server.requests().front(), "GET /first.html?q=1 HTTP/1.1");
  EXPECT_TRUE(pumpUntil([&] { return !browserHostBusy(*host); }));
  // Wine's control says that it could not load the page, and shows its own
  // page about it; a real engine shows the page.
  const PageShows loaded = underWine() ? PageShows::EngineError : PageShows::Own;
  EXPECT_TRUE(pumpUntil([&] { return browserHostShows(*host) == loaded; }));

  // A blanked view stays blank until a page of the next address shows.
  browserHostShowBlank(*host);
  EXPECT_TRUE(browserHostBlankShown(*host));

  // The next address goes out through the same control.
  browserHostNavigate(*host, server.url(L"/second.html"));
  ASSERT_TRUE(pumpUntil([&] { return server.requests().size() >= 2; }));
  EXPECT_EQ(server.requests().back(), "GET /second.html HTTP/1.1");
  EXPECT_TRUE(pumpUntil([&] { return !browserHostBusy(*host); }));
  EXPECT_TRUE(pumpUntil([&] { return browserHostShows(*host) == loaded; }));
  // Wine's failed load commits no page of its own, so nothing uncovers it.
  if (!underWine()) {
    EXPECT_FALSE(browserHostBlankShown(*host));
  }
  EXPECT_EQ(browserHostBlankShown(*host), underWine());
}

// Wine's control reads busy as 0 throughout, so what shows here is that a
// stopped load leaves the control ready for the next address.
TEST_F(BrowserHostTest, StopEndsALoadThatNeverAnswersAndTheControlGoesOn) {
  PageServer server(PageServer::Mode::Hang);
  BrowserHostPtr host = make();
  ASSERT_TRUE(host);
  browserHostStop(*host);  // nothing to stop yet
  browserHostNavigate(*host, server.url(L"/forever"));
  ASSERT_TRUE(pumpUntil([&] { return !server.requests().empty(); }));
  browserHostStop(*host);
  EXPECT_TRUE(pumpUntil([&] { return !browserHostBusy(*host); }, 5000));
  browserHostNavigate(*host, server.url(L"/after"));
  ASSERT_TRUE(pumpUntil([&] { return server.requests().size() >= 2; }));
  EXPECT_EQ(server.requests().back(), "GET /after HTTP/1.1");
}

// The engine reports a page's wishes through these; Wine's engine shows no
// page, so they are called here the way the engine calls them.
TEST(BrowserEventsTest, NewWindowsClosingAndDownloadsAreTurnedDownNavigationIsNot) {
  IDispatch* events = makeBrowserEvents(std::make_shared<NavigationTrack>());
  ASSERT_NE(events, nullptr);
  auto fire = [&](DISPID id, UINT count, UINT cancelAt, VARIANT_BOOL activeDocument) {
    std::vector<VARIANT> args(count);
    for (VARIANT& v : args) VariantInit(&v);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    args[cancelAt].vt = VT_BYREF | VT_BOOL;
    args[cancelAt].pboolVal = &cancel;
    if (id == DISPID_FILEDOWNLOAD) {
      args[1].vt = VT_BOOL;
      args[1].boolVal = activeDocument;
    }
    DISPPARAMS params{args.data(), nullptr, count, 0};
    EXPECT_EQ(events->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    return cancel != VARIANT_FALSE;
  };
  EXPECT_TRUE(fire(DISPID_NEWWINDOW2, 2, 0, 0));
  EXPECT_TRUE(fire(DISPID_NEWWINDOW3, 5, 3, 0));
  EXPECT_TRUE(fire(DISPID_WINDOWCLOSING, 2, 0, 0));
  EXPECT_TRUE(fire(DISPID_FILEDOWNLOAD, 2, 0, VARIANT_FALSE));
  EXPECT_FALSE(fire(DISPID_FILEDOWNLOAD, 2, 0, VARIANT_TRUE));  // a page for the view
  EXPECT_FALSE(fire(DISPID_BEFORENAVIGATE2, 7, 0, 0));
  EXPECT_EQ(events->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr,
                           nullptr, nullptr),
            S_OK);

  IUnknown* asEvents = nullptr;
  EXPECT_EQ(events->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&asEvents)),
            S_OK);
  ASSERT_NE(asEvents, nullptr);
  EXPECT_EQ(asEvents->Release(), 1u);
  EXPECT_EQ(events->Release(), 0u);
}

TEST(BrowserSiteTest, BoxesDialogsAndDownloadsOfThePageAreAnsweredUnseen) {
  IOleClientSite* site = makeBrowserSite(nullptr);
  ASSERT_NE(site, nullptr);

  IDocHostShowUI* showUi = nullptr;
  ASSERT_EQ(site->QueryInterface(__uuidof(IDocHostShowUI), reinterpret_cast<void**>(&showUi)), S_OK);
  LRESULT answer = 0;
  EXPECT_EQ(showUi->ShowMessage(nullptr, nullptr, nullptr, MB_OK, nullptr, 0, &answer), S_OK);
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(showUi->ShowMessage(nullptr, nullptr, nullptr, MB_YESNO, nullptr, 0, &answer), S_OK);
  EXPECT_EQ(answer, IDYES);
  showUi->Release();

  IOleCommandTarget* commands = nullptr;
  ASSERT_EQ(site->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&commands)), S_OK);
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(commands->Exec(&kDocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out),
            S_OK);
  EXPECT_EQ(out.vt, VT_BOOL);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);  // the page's scripts go on
  EXPECT_EQ(commands->Exec(&kDocHostCommandHandler, OLECMDID_SHOWPRINT, 0, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(commands->Exec(&IID_NULL, OLECMDID_SHOWPRINT, 0, nullptr, nullptr),
            OLECMDERR_E_UNKNOWNGROUP);
  commands->Release();

  IServiceProvider* services = nullptr;
  ASSERT_EQ(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services)), S_OK);
  IDownloadManager* downloads = nullptr;
  ASSERT_EQ(services->QueryService(__uuidof(IDownloadManager), __uuidof(IDownloadManager),
                                   reinterpret_cast<void**>(&downloads)),
            S_OK);
  EXPECT_EQ(downloads->Download(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, 0), S_OK);
  downloads->Release();
  IUnknown* unknown = nullptr;
  EXPECT_EQ(services->QueryService(IID_IUnknown, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
  services->Release();

  HWND window = reinterpret_cast<HWND>(1);
  IOleWindow* asWindow = nullptr;
  ASSERT_EQ(site->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&asWindow)), S_OK);
  EXPECT_EQ(asWindow->GetWindow(&window), E_FAIL);  // a site without a view
  asWindow->Release();
  EXPECT_EQ(site->Release(), 0u);
}

}  // namespace
}  // namespace sorvane::platform::win32
