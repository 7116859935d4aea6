#include "platform/win32/services/file_name.h"

#include <windows.h>

#include "platform/win32/services/text.h"

namespace sorvane::platform::win32 {

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isAbsolute(const std::wstring& name) {
  const bool drive = name.size() >= 3 && name[1] == L':' && isSeparator(name[2]) &&
                     ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z'));
  const bool share = name.size() >= 2 && isSeparator(name[0]) && isSeparator(name[1]);
  return drive || share;
}

}  // namespace

std::optional<std::wstring> fullPathName(const std::wstring& name) {
  const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return std::nullopt;
  full.resize(got);
  return full;
}

std::wstring longPathName(const std::wstring& full) {
  // "\\?\..." is long-capable already; "\\.\NUL", "\\.\COM1" are devices.
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::optional<std::wstring> systemFileName(std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::optional<std::wstring> wide = toWideExact(name);
  if (!wide || !isAbsolute(*wide)) return wide;
  if (wide->starts_with(L"\\\\?\\") || wide->starts_with(L"\\\\.\\")) return wide;
  // A prefixed name is taken literally, so it is made what the system would
  // have made of the plain one first.
  const std::optional<std::wstring> full = fullPathName(*wide);
  if (!full) return wide;
  return longPathName(*full);
}

}  // namespace sorvane::platform::win32
