// Whole-file reading and writing on Windows.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/services/file_name.h"
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

// Deletes the temporary file unless it was moved into place or is the only
// whole copy left.
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
  return platform::win32::systemFileName(name.view());
}

FileFault faultOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileFault::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileFault::InUse;
    default:
      return FileFault::Failed;
  }
}

// A virus scanner or an indexer opens a file for a moment just after it was
// written; a few short waits outlast it. A program that holds the file for
// longer (a spreadsheet) is not waited for.
template <typename Step>
bool withRetries(Step step) {
  static constexpr DWORD kPausesMs[] = {50, 100, 200, 400};
  for (DWORD pause : kPausesMs) {
    if (step()) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
        error != ERROR_LOCK_VIOLATION && error != ERROR_UNABLE_TO_REMOVE_REPLACED) {
      return false;
    }
    Sleep(pause);
  }
  return step();
}

// One try at putting the new file in place of the old one, keeping the old
// file's attributes and security as rewriting it in place would.
bool replaceOnce(const Text& name, const std::wstring& target, const std::wstring& replacement) {
  if (forcedFileFault(name) == ForcedFault::ReplaceUnmoved) {
    DeleteFileW(target.c_str());
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return false;
  }
  return ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
}

// Moves the finished file to a name nothing has. Without
// MOVEFILE_REPLACE_EXISTING the move fails where another writer has taken the
// name meanwhile, which a new-only write relies on.
bool moveToFreeName(const std::wstring& from, const std::wstring& to) {
  return withRetries(
      [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; });
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

FileFault writeFileReporting(const Text& name, std::initializer_list<const ByteSet*> parts,
                             WriteMode mode) {
  const auto target = systemName(name);
  if (!target) return FileFault::Failed;
  if (forcedFileFault(name) == ForcedFault::InUse) return FileFault::InUse;

  const DWORD attributes = GetFileAttributesW(target->c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && mode == WriteMode::NewOnly) return FileFault::Failed;
  if (exists) {
    // A folder, or a read-only file, stays as it is, as it would for a plain
    // open for writing.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return FileFault::Failed;
    // No sharing while the file is written: a file another program holds open
    // (or one that cannot be written at all) is left alone. The probe does not
    // truncate, so the old list is whole until the new one replaces it.
    // A scanner's moment with the file is waited out.
    HANDLE opened = INVALID_HANDLE_VALUE;
    withRetries([&] {
      opened = CreateFileW(target->c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      return opened != INVALID_HANDLE_VALUE;
    });
    FileHandle probe(opened);
    if (!probe.ok()) return faultOf(GetLastError());
    if (GetFileType(probe.get()) != FILE_TYPE_DISK) return FileFault::Failed;
  }

  std::wstring temporaryPath;
  FileHandle file = createTemporaryBeside(*target, temporaryPath);
  if (!file.ok()) return faultOf(GetLastError());  // a missing folder among them
  TemporaryFile temporary(temporaryPath);
  for (const ByteSet* part : parts) {
    if (part && !writeAll(file.get(), part->data(), part->size())) return FileFault::Failed;
  }
  // On the disk before it replaces the old file: a full disk may show only
  // here, and a crash after an unflushed rename can leave an empty list.
  if (!FlushFileBuffers(file.get())) return FileFault::Failed;
  if (!file.close()) return FileFault::Failed;

  if (!exists) {
    if (!moveToFreeName(temporary.path(), *target)) return faultOf(GetLastError());
    temporary.keep();
    return FileFault::None;
  }
  if (withRetries([&] { return replaceOnce(name, *target, temporary.path()); })) {
    temporary.keep();
    return FileFault::None;
  }
  const DWORD error = GetLastError();
  // ERROR_UNABLE_TO_MOVE_REPLACEMENT: the old file is gone and the new one,
  // whole, still has its temporary name. It takes the name; failing that it
  // stays where it is, the one copy left, rather than be deleted.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
      GetFileAttributesW(target->c_str()) == INVALID_FILE_ATTRIBUTES) {
    const bool moved = moveToFreeName(temporary.path(), *target);
    temporary.keep();
    return moved ? FileFault::None : FileFault::Failed;
  }
  return faultOf(error);  // the old file is still whole under its name
}

FileRead readFileReporting(const Text& name) {
  const auto path = systemName(name);
  if (!path) return {FileFault::Failed, {}};
  if (forcedFileFault(name) == ForcedFault::InUse) return {FileFault::InUse, {}};
  // Whoever else has the file open (a spreadsheet writing it, an editor)
  // keeps it, and this read does not stand in anyone's way either.
  FileHandle file(CreateFileW(path->c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return {faultOf(GetLastError()), {}};
  // A device (CON, NUL, a pipe) is no list file and could block for ever.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return {FileFault::Failed, {}};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return {FileFault::Failed, {}};
  if (size.QuadPart <= 0) return {};
  if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX / 2) return {FileFault::Failed, {}};

  DWORD readError = ERROR_SUCCESS;
  std::optional<ByteSet> bytes =
      readWholeFile(static_cast<std::uint64_t>(size.QuadPart),
                    [&](std::uint8_t* into, std::size_t room) -> std::int64_t {
                      const DWORD chunk = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
                      DWORD got = 0;
                      if (!ReadFile(file.get(), into, chunk, &got, nullptr)) {
                        readError = GetLastError();
                        return -1;
                      }
                      return got;
                    });
  // A range another program has locked reads as a lock violation: in use.
  if (!bytes) return {readError == ERROR_SUCCESS ? FileFault::Failed : faultOf(readError), {}};
  return {FileFault::None, std::move(*bytes)};
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
  FileHandle file(CreateFileW(path->c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace sorvane
