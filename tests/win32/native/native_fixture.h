#pragma once
// A scratch folder for the Windows native services, named in UTF-16 so that
// the tests check the bytes the program hands over against what the system sees.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/services/browser_places.h"

namespace sorvane::testing {

class NativeFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "these tests need a Chinese system (code page 936)";
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    for (unsigned n = GetTickCount(); folder_.empty(); ++n) {
      const std::wstring candidate = std::wstring(temp) + L"sorvane-native-" + std::to_wstring(n);
      if (CreateDirectoryW(candidate.c_str(), nullptr)) folder_ = candidate;
      ASSERT_EQ(GetLastError() == ERROR_ALREADY_EXISTS || !folder_.empty(), true);
    }
    wchar_t here[MAX_PATH + 1];
    GetCurrentDirectoryW(MAX_PATH, here);
    savedCurrent_ = here;
  }
  void TearDown() override {
    SetCurrentDirectoryW(savedCurrent_.c_str());
    // Long-capable, for the folders nested past the old limit.
    if (!folder_.empty()) platform::win32::removeFolderTree(folder_);
  }

  // The folder's path in the program's code page (it is ASCII).
  std::string folder() const { return std::string(folder_.begin(), folder_.end()); }
  std::wstring wideFolder() const { return folder_; }

  std::vector<std::wstring> listing() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
  }

  static std::string contents(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
    CloseHandle(file);
    out.resize(got);
    return out;
  }

  static void put(const std::wstring& path, const std::string& bytes) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }

 private:
  std::wstring folder_;
  std::wstring savedCurrent_;
};

}  // namespace sorvane::testing
