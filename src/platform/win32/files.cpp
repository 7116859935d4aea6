// Whole-file reading and writing on Windows.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/text.h"
#include "services/files.h"
#include "services/whole_file.h"

namespace sorvane {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~FileHandle() {
    if (ok()) CloseHandle(handle_);
  }
  FileHandle(FileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle& operator=(FileHandle&&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  // Closes now and says whether the close went well.
  bool close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Deletes the temporary file unless it was moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::wstring& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::wstring path_;
};

std::optional<std::wstring> systemName(const Text& name) {
  if (name.empty()) return std::nullopt;
  return platform::win32::toWideExact(name.view());
}

bool writeAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// A new, unshared file "~<name>.<n>.tmp" beside `target`, on the same volume
// so that it can replace the target by a rename.
FileHandle createTemporaryBeside(const std::wstring& target, std::wstring& path) {
  const std::size_t slash = target.find_last_of(L"\\/:");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring base = target.substr(folder.size()).substr(0, 200);
  const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    path = folder + L"~" + base + L"." + std::to_wstring(seed + attempt * 7919u) + L".tmp";
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.ok()) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  path.clear();
  return FileHandle();
}

}  // namespace

bool writeFile(const Text& name, std::initializer_list<const ByteSet*> parts, WriteMode mode) {
  const auto target = systemName(name);
  if (!target) return false;

  const DWORD attributes = GetFileAttributesW(target->c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && mode == WriteMode::NewOnly) return false;
  if (exists) {
    // A folder, or a read-only file, stays as it is, as it would for a plain
    // open for writing.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
    // No sharing while the file is written: a file another program holds open
    // (or one that cannot be written at all) is left alone. The probe does not
    // truncate, so the old list is whole until the new one replaces it.
    FileHandle probe(CreateFileW(target->c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.ok() || GetFileType(probe.get()) != FILE_TYPE_DISK) return false;
  }

  std::wstring temporaryPath;
  FileHandle file = createTemporaryBeside(*target, temporaryPath);
  if (!file.ok()) return false;
  TemporaryFile temporary(temporaryPath);
  for (const ByteSet* part : parts) {
    if (part && !writeAll(file.get(), part->data(), part->size())) return false;
  }
  // On the disk before it replaces the old file: a full disk may show only
  // here, and a crash after an unflushed rename can leave an empty list.
  if (!FlushFileBuffers(file.get())) return false;
  if (!file.close()) return false;

  if (exists) {
    // Keeps the old file's attributes and security, as rewriting it in place would.
    if (!ReplaceFileW(target->c_str(), temporary.path().c_str(), nullptr,
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return false;
    }
  } else if (!MoveFileExW(temporary.path().c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH)) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where another writer
    // has taken the name meanwhile, which a new-only write relies on.
    return false;
  }
  temporary.keep();
  return true;
}

ByteSet readFile(const Text& name) {
  const auto path = systemName(name);
  if (!path) return {};
  // Others may read but not write while the file is read.
  FileHandle file(CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return {};
  // A device (CON, NUL, a pipe) is no list file and could block for ever.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return {};
  if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX / 2) return {};

  return readWholeFile(static_cast<std::uint64_t>(size.QuadPart),
                       [&](std::uint8_t* into, std::size_t room) -> std::int64_t {
                         const DWORD chunk =
                             room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
                         DWORD got = 0;
                         if (!ReadFile(file.get(), into, chunk, &got, nullptr)) return -1;
                         return got;
                       });
}

bool nameTaken(const Text& name) {
  const auto path = systemName(name);
  if (!path) return false;
  // A link's own attributes: a dangling one counts as taken too.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(path->c_str(), GetFileExInfoStandard, &data)) return true;
  const DWORD error = GetLastError();
  // Only "not there" means free; a name we may not look at is not ours to take.
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
         error != ERROR_INVALID_NAME;
}

NameState nameState(const Text& name) {
  const auto path = systemName(name);
  if (!path) return NameState::Unknown;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(path->c_str(), GetFileExInfoStandard, &data)) return NameState::Taken;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NameState::Free
                                                                         : NameState::Unknown;
}

std::optional<std::uint64_t> readableFileSize(const Text& name) {
  const auto path = systemName(name);
  if (!path) return std::nullopt;
  FileHandle file(CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace sorvane
