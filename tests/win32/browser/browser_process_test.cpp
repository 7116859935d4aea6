// Finding, starting and ending the browser, with the stand-in in its place.

#include "services/browser_process.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "native/native_fixture.h"
#include "services/own_text.h"

namespace sorvane {
namespace {

using Read = BrowserProcess::Read;
constexpr auto npos = std::string::npos;
const wchar_t* const appPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";

std::string standIn() {
  char self[MAX_PATH];  // the build's folder: ASCII
  const std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  return path.substr(0, path.rfind('\\')) + "\\stand_in_browser.exe";
}

// One command and its answer; nothing once the browser has gone.
std::string call(BrowserProcess& browser, int id, const char* method) {
  const std::string tag = "{\"id\":" + std::to_string(id) + ",";
  browser.send(tag + "\"method\":\"" + method + "\"}" + '\0');
  std::string got;
  while (got.find('\0', got.find(tag)) == npos)
    if (browser.read(got, 60000) == Read::Ended) return {};
  return got.substr(got.find(tag));
}

DWORD numberAfter(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key);
  return at == npos ? 0 : std::stoul(text.substr(at + key.size()));
}

// Whether a process has ended; one still there is ended here, so that a
// failing test leaves nothing running.
bool ended(std::int64_t id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
  if (!process) return true;
  const bool done = WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
  if (!done) TerminateProcess(process, 1);
  CloseHandle(process);
  return done;
}

class BrowserStartTest : public testing::NativeFolder {
 protected:
  void SetUp() override {
    NativeFolder::SetUp();
    GetEnvironmentVariableW(L"LOCALAPPDATA", saved_, MAX_PATH);
    // Profiles land in the test's folder, and the user's own holds no browser.
    SetEnvironmentVariableW(L"LOCALAPPDATA", wideFolder().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved_);
    SetEnvironmentVariableW(L"__COMPAT_LAYER", nullptr);
    SetEnvironmentVariableW(L"SORVANE_STAND_IN_PROBE", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, appPath);
    NativeFolder::TearDown();
  }
  std::wstring profiles() const { return wideFolder() + L"\\Sorvane"; }
  wchar_t saved_[MAX_PATH] = {};
};

TEST_F(BrowserStartTest, FoundStartedAndEndedEachWay) {
  const struct {
    const char* what;
    std::wstring folder, name;
    const char* named;
    bool appPath;
  } cases[] = {
      {"named, a Chinese path", L"浏览器测试", L"stand in.exe", "path", false},
      {"App Paths, a path the code page cannot spell", L"浏览器 한글", L"edge.exe", "", true},
      {"named bare, found in App Paths", L"浏览器 한글", L"edge.exe", "msedge", true},
      {"a known folder", L"Google\\Chrome\\Application", L"chrome.exe", "", false},
  };
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE probe = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  SetEnvironmentVariableW(L"SORVANE_STAND_IN_PROBE",
                          std::to_wstring(reinterpret_cast<std::uintptr_t>(probe)).c_str());
  SetEnvironmentVariableW(L"__COMPAT_LAYER", L"WinXPSp3");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring program = wideFolder() + L"\\" + c.folder + L"\\" + c.name;
    SHCreateDirectoryExW(nullptr, (wideFolder() + L"\\" + c.folder).c_str(), nullptr);
    const std::string from = standIn();
    ASSERT_TRUE(CopyFileW(std::wstring(from.begin(), from.end()).c_str(), program.c_str(), FALSE));
    BrowserStart start{Text(), {"--headless", "--window-size=\"800, 600\""}};
    start.program = c.named;
    if (start.program == "path")
      start.program =
          Text(folder() + '\\' + std::string(ownText("浏览器测试").view()) + "\\stand in.exe");
    if (c.appPath)
      RegSetKeyValueW(HKEY_CURRENT_USER, appPath, nullptr, REG_SZ, program.c_str(),
                      static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    Text problem;
    auto browser = startBrowserProcess(start, problem);
    RegDeleteTreeW(HKEY_CURRENT_USER, appPath);
    ASSERT_TRUE(browser) << problem.view();
    std::atomic<int> notices{0};
    browser->setArrivalNotice([&] { ++notices; });

    EXPECT_NE(call(*browser, 1, "Browser.getVersion").find(R"("product":"StandIn/1")"), npos);
    const std::string report = call(*browser, 2, "StandIn.report");
    for (const char* said :
         {R"("compatLayer":false)", " --remote-debugging-pipe --remote-debugging-io-pipes=",
          " --edge-skip-compat-layer-relaunch ",
          "--user-data-dir=", R"( --headless \"--window-size=\\\"800, 600\\\"\")"})
      EXPECT_NE(report.find(said), npos) << said << " in " << report;
    EXPECT_EQ(report.find(R"("probe":0)"), npos) << "the stand-in looked for our handle";
    EXPECT_EQ(WaitForSingleObject(probe, 0), DWORD{WAIT_TIMEOUT}) << "and it was not there";

    const DWORD grandchild = numberAfter(call(*browser, 3, "StandIn.spawn"), R"("pid":)");
    EXPECT_FALSE(RemoveDirectoryW(profiles().c_str())) << "its profile is there";
    std::string rest;
    EXPECT_EQ(browser->read(rest, 0), Read::Quiet);
    browser->end();
    browser->end();
    EXPECT_GE(notices, 4) << "three answers and the end";
    EXPECT_TRUE(ended(browser->processId()));
    EXPECT_TRUE(grandchild && ended(grandchild)) << "what the browser started ends with it";
    EXPECT_TRUE(RemoveDirectoryW(profiles().c_str())) << "its profile, files and all, is gone";
    EXPECT_EQ(browser->read(rest, 0), Read::Ended);
    EXPECT_FALSE(browser->send("{}"));
  }
  CloseHandle(probe);
}

TEST_F(BrowserStartTest, NoBrowserNoProcessAndOneLineSaysWhy) {
  put(wideFolder() + L"\\not a program.exe", "text");
  const struct {
    Text program;
    const char* problem;
  } cases[] = {
      {Text(), "找不到浏览器（Edge 或 Chrome）"},
      {Text(folder() + "\\missing.exe"), "找不到浏览器："},
      {Text(folder() + "\\not a program.exe"), "无法启动浏览器："},
  };
  for (const auto& c : cases) {
    Text problem;
    EXPECT_FALSE(startBrowserProcess({c.program, {}}, problem)) << c.program.view();
    EXPECT_EQ(problem.view().substr(0, ownText(c.problem).size()), ownText(c.problem).view());
    EXPECT_EQ(problem.view().find('\n'), npos);
    RemoveDirectoryW(profiles().c_str());  // only when empty
    EXPECT_EQ(GetFileAttributesW(profiles().c_str()), INVALID_FILE_ATTRIBUTES) << "no profile left";
  }
}

TEST_F(BrowserStartTest, WhatALeavingBrowserSaidIsReadBeforeItsEnd) {
  Text problem;
  auto browser = startBrowserProcess({Text(standIn()), {}}, problem);
  ASSERT_TRUE(browser) << problem.view();
  ASSERT_TRUE(browser->send(std::string(R"({"id":7,"method":"StandIn.leave"})") + '\0'));
  ASSERT_TRUE(ended(browser->processId()));
  std::string got;
  while (got.find('\0') == npos) ASSERT_EQ(browser->read(got, 60000), Read::Bytes);
  EXPECT_EQ(got, std::string(R"({"id":7,"result":{}})") + '\0');
  EXPECT_EQ(browser->read(got, 60000), Read::Ended);
}

// Our process ending without a word ends the browser and all it started.
TEST_F(BrowserStartTest, EndsWhenWeDo) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  FILE* child = _popen((std::string(self) + " --start-and-vanish").c_str(), "r");
  char said[256] = {};
  ASSERT_TRUE(child && fgets(said, sizeof said, child));
  _pclose(child);
  const DWORD browser = numberAfter(said, "browser "),
              grandchild = numberAfter(said, "grandchild ");
  ASSERT_TRUE(browser && grandchild) << said;
  EXPECT_TRUE(ended(browser));
  EXPECT_TRUE(ended(grandchild));
  Text problem;
  startBrowserProcess({Text(standIn()), {}}, problem).reset();
  EXPECT_TRUE(RemoveDirectoryW(profiles().c_str())) << "the profile it left is removed";
}

int startAndVanish() {
  Text problem;
  auto browser = startBrowserProcess({Text(standIn()), {}}, problem);
  if (!browser) return std::printf("%s\n", std::string(problem.view()).c_str()), 1;
  std::printf("browser %lld grandchild %lu\n", static_cast<long long>(browser->processId()),
              numberAfter(call(*browser, 1, "StandIn.spawn"), R"("pid":)"));
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}

}  // namespace
}  // namespace sorvane

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--start-and-vanish") return sorvane::startAndVanish();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
