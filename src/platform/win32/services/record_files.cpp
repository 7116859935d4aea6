// Appending to a file, renaming one without replacing and removing one, on
// Windows: what a record kept row by row needs beside the whole-file services
// of files.cpp.
// Links kernel32 only.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/win32/services/file_name.h"
#include "services/files.h"

namespace sorvane {

namespace {

class AppendHandle {
 public:
  explicit AppendHandle(HANDLE handle) : handle_(handle) {}
  ~AppendHandle() {
    if (ok()) CloseHandle(handle_);
  }
  AppendHandle(const AppendHandle&) = delete;
  AppendHandle& operator=(const AppendHandle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool close() { return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

 private:
  HANDLE handle_;
};

std::optional<std::wstring> systemName(const Text& name) {
  return platform::win32::systemFileName(name.view());
}

}  // namespace

FileFault appendToFileReporting(const Text& name, const ByteSet& bytes) {
  const std::optional<std::wstring> wide = systemName(name);
  if (!wide) return FileFault::Failed;
  if (forcedFileFault(name) == ForcedFault::InUse) return FileFault::InUse;
  // Readers may look at the record meanwhile; writers other than this one may
  // not, and one that has it open for writing already (a spreadsheet) makes
  // it in use until it lets go.
  AppendHandle file(CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return FileFault::InUse;
    return error == ERROR_PATH_NOT_FOUND ? FileFault::Missing : FileFault::Failed;
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return FileFault::Failed;
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &end, FILE_END)) return FileFault::Failed;
  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  bool written = true;
  DWORD writeError = ERROR_SUCCESS;
  while (left > 0 && written) {
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD done = 0;
    written = WriteFile(file.get(), data, chunk, &done, nullptr) && done == chunk;
    if (!written) writeError = GetLastError();
    data += done;
    left -= done;
  }
  if (!written || !FlushFileBuffers(file.get())) {
    // Cut back rather than leave half a row that the next one would run into.
    if (SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) SetEndOfFile(file.get());
    FlushFileBuffers(file.get());
    // A range another program has locked (a spreadsheet may lock some).
    return writeError == ERROR_LOCK_VIOLATION ? FileFault::InUse : FileFault::Failed;
  }
  return file.close() ? FileFault::None : FileFault::Failed;
}

bool renameToNewName(const Text& from, const Text& to) {
  const std::optional<std::wstring> source = systemName(from);
  const std::optional<std::wstring> target = systemName(to);
  if (!source || !target) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails where the name is taken.
  return MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const Text& name) {
  const std::optional<std::wstring> wide = systemName(name);
  if (!wide) return false;
  if (DeleteFileW(wide->c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace sorvane
