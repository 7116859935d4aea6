// A stand-in for the browser, for the tests of how one is found, started and
// ended. It draws nothing and loads nothing: it takes the two pipe handles
// from its command line as a browser does, answers the version handshake, and
// StandIn.report (what it was given), StandIn.spawn (a copy of itself that
// waits; its id), StandIn.leave (answers, then is gone).

#include <windows.h>

#include <string>

namespace {

std::string report() {
  std::string line(32768, '\0');
  line.resize(
      WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line.data(), 32768, nullptr, nullptr) -
      1);
  std::string escaped;
  for (char c : line) escaped += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  // Setting the test's event through the number it passed shows whether that
  // handle of the test's was inherited.
  wchar_t probe[32] = {}, compat[64] = {};
  GetEnvironmentVariableW(L"SORVANE_STAND_IN_PROBE", probe, 32);
  const bool set = probe[0] && SetEvent(reinterpret_cast<HANDLE>(wcstoull(probe, nullptr, 10)));
  const bool compatLayer = GetEnvironmentVariableW(L"__COMPAT_LAYER", compat, 64) > 0;
  return R"({"commandLine":")" + escaped + R"(","probe":)" + (probe[0] ? set ? "1" : "2" : "0") +
         R"(,"compatLayer":)" + (compatLayer ? "true" : "false") + "}";
}

std::string answer(const std::string& message) {
  const auto asks = [&](const char* method) { return message.find(method) != std::string::npos; };
  std::string result = "{}";
  if (asks("Browser.getVersion")) result = R"({"product":"StandIn/1"})";
  if (asks("StandIn.report")) result = report();
  if (asks("StandIn.spawn")) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --wait";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION made{};
    CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &made);
    result = R"({"pid":)" + std::to_string(made.dwProcessId) + "}";
  }
  const std::size_t id = message.find("\"id\":");
  return R"({"id":)" + std::to_string(id == std::string::npos ? 0 : atol(&message[id + 5])) +
         R"(,"result":)" + result + "}" + '\0';
}

}  // namespace

int main() {
  const std::wstring line = GetCommandLineW();
  // Long enough for any test; a failed one leaves nothing behind for good.
  if (line.find(L" --wait") != std::wstring::npos) return Sleep(600000), 0;
  const std::size_t pipes = line.find(L"--remote-debugging-io-pipes=");
  if (pipes == std::wstring::npos) return 3;
  wchar_t* rest = nullptr;
  const auto commands = reinterpret_cast<HANDLE>(wcstoull(&line[pipes + 28], &rest, 10));
  const auto answers = reinterpret_cast<HANDLE>(wcstoull(rest + 1, nullptr, 10));
  // A profile is written into: its removal at the end must take files too.
  const std::size_t at = line.find(L"--user-data-dir=") + 16;
  const wchar_t close = line[at - 17] == L'"' ? L'"' : L' ';
  const std::wstring profile = line.substr(at, line.find(close, at) - at) + L"\\Default";
  CreateDirectoryW(profile.c_str(), nullptr);
  CloseHandle(CreateFileW((profile + L"\\Preferences").c_str(), GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, 0, nullptr));
  // A browser that never answers (a remote-debugging policy, a hung start).
  if (GetEnvironmentVariableW(L"SORVANE_STAND_IN_SILENT", nullptr, 0) > 0) return Sleep(600000), 0;
  std::string pending;
  char chunk[4096];
  DWORD got = 0, written = 0;
  // A browser leaves when its command pipe closes.
  while (ReadFile(commands, chunk, sizeof chunk, &got, nullptr)) {
    pending.append(chunk, got);
    for (std::size_t end; (end = pending.find('\0')) != std::string::npos;) {
      const std::string reply = answer(pending.substr(0, end));
      WriteFile(answers, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
      if (pending.find("StandIn.leave") < end) return 0;
      pending.erase(0, end + 1);
    }
  }
  return 0;
}
