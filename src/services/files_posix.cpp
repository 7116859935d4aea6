// Whole-file reading and writing on POSIX systems. Windows has its own in
// platform/win32/services/files.cpp.

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "services/files.h"
#include "services/whole_file.h"

namespace sorvane {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and says whether the close went well (NFS and full disks report
  // lost data only here).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::string path_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Creates a new file "<folder>.<name>.XXXXXX" beside `target`, with the mode a
// plain open(O_CREAT, 0666) would give it. Fills `path`; -1 on failure.
int createTemporaryBeside(const std::string& target, std::string& path) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // Leave room for the prefix and suffix within the 255-byte name limit.
  const std::string base = target.substr(folder.size()).substr(0, 200);
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::minstd_rand random(static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(6, 'x');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    path = folder + "." + base + "." + suffix;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Moves the finished temporary file to a name nothing has, in one step where
// the file system can: no other writer can take the name in between.
bool moveToNewName(const std::string& temporary, const std::string& target) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;  // EEXIST among them
  // A file system without that kind of rename: a hard link fails as well
  // where the name is taken.
  if (::link(temporary.c_str(), target.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
  // Nor links (FAT, some network shares): claim the name, then fill it.
  const int claim = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (claim < 0) return false;
  ::close(claim);
  if (::rename(temporary.c_str(), target.c_str()) == 0) return true;
  ::unlink(target.c_str());
  return false;
}

FileFault faultOf(int error) {
  return error == ENOENT || error == ENOTDIR ? FileFault::Missing : FileFault::Failed;
}

bool forcedInUse(const Text& name) { return forcedFileFault(name) == ForcedFault::InUse; }

}  // namespace

// A rename replaces in one step here: whatever fails, the name holds either the
// old file or the new one, whole, so the temporary file may always go.
FileFault writeFileReporting(const Text& name, std::initializer_list<const ByteSet*> parts,
                             WriteMode mode) {
  if (name.empty()) return FileFault::Failed;
  if (forcedInUse(name)) return FileFault::InUse;
  std::string target = name.bytes();
  if (target.back() == '/') return FileFault::Failed;

  // Write through a symbolic link to the file it names, as opening it would.
  struct stat existing {};
  bool exists = ::lstat(target.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode)) {
    if (char* resolved = ::realpath(target.c_str(), nullptr)) {
      target = resolved;
      ::free(resolved);
      exists = ::stat(target.c_str(), &existing) == 0;
    } else {
      exists = false;  // a dangling link is replaced by the new file
    }
  }
  if (exists && mode == WriteMode::NewOnly) return FileFault::Failed;
  if (exists) {
    if (!S_ISREG(existing.st_mode)) return FileFault::Failed;  // a folder, a device …
    // A read-only file stays as it is, as it would for an open for writing.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return FileFault::Failed;
  }

  std::string temporaryPath;
  FileDescriptor fd(createTemporaryBeside(target, temporaryPath));
  if (fd.get() < 0) return faultOf(errno);
  TemporaryFile temporary(temporaryPath);

  if (exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) return FileFault::Failed;
  for (const ByteSet* part : parts) {
    if (part && !writeAll(fd.get(), part->data(), part->size())) return FileFault::Failed;
  }
  // The new bytes must be on the disk before they replace the old file: some
  // file systems (network ones, copy-on-write ones) report a full disk only
  // when the data is flushed, and a crash after an unflushed rename can leave
  // an empty file where the old list was.
  if (::fsync(fd.get()) != 0) return FileFault::Failed;
  if (!fd.close()) return FileFault::Failed;
  if (mode == WriteMode::NewOnly) {
    if (!moveToNewName(temporary.path(), target)) return FileFault::Failed;
  } else if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    return FileFault::Failed;
  }
  temporary.keep();
  return FileFault::None;
}

FileRead readFileReporting(const Text& name) {
  if (name.empty()) return {FileFault::Failed, {}};
  if (forcedInUse(name)) return {FileFault::InUse, {}};
  // O_NONBLOCK so that a named pipe cannot hang the program on open; it is
  // turned away below like any other file that is not a regular file.
  FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return {faultOf(errno), {}};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {FileFault::Failed, {}};
  if (info.st_size <= 0) return {};

  std::optional<ByteSet> bytes =
      readWholeFile(static_cast<std::uint64_t>(info.st_size),
                    [&](std::uint8_t* into, std::size_t room) -> std::int64_t {
                      for (;;) {
                        const ssize_t got = ::read(fd.get(), into, room);
                        if (got >= 0 || errno != EINTR) return got;
                      }
                    });
  if (!bytes) return {FileFault::Failed, {}};
  return {FileFault::None, std::move(*bytes)};
}

FileFault appendToFileReporting(const Text& name, const ByteSet& bytes) {
  if (name.empty()) return FileFault::Failed;
  if (forcedInUse(name)) return FileFault::InUse;
  FileDescriptor fd(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return faultOf(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileFault::Failed;
  // Cut back rather than leave half a row that the next one would run into.
  if (!writeAll(fd.get(), bytes.data(), bytes.size()) || ::fdatasync(fd.get()) != 0) {
    if (::ftruncate(fd.get(), info.st_size) == 0) ::fdatasync(fd.get());
    return FileFault::Failed;
  }
  return fd.close() ? FileFault::None : FileFault::Failed;
}

bool renameToNewName(const Text& from, const Text& to) {
  if (from.empty() || to.empty()) return false;
  return moveToNewName(from.bytes(), to.bytes());
}

bool removeFile(const Text& name) {
  return !name.empty() && (::unlink(name.c_str()) == 0 || errno == ENOENT);
}

bool nameTaken(const Text& name) {
  if (name.empty()) return false;
  struct stat info {};
  // lstat, so that a dangling link counts as taken too.
  return ::lstat(name.c_str(), &info) == 0;
}

NameState nameState(const Text& name) {
  if (name.empty()) return NameState::Unknown;
  struct stat info {};
  if (::lstat(name.c_str(), &info) == 0) return NameState::Taken;
  return errno == ENOENT ? NameState::Free : NameState::Unknown;
}

std::optional<std::uint64_t> readableFileSize(const Text& name) {
  if (name.empty()) return std::nullopt;
  FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace sorvane
