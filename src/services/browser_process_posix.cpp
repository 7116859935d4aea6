// The browser as our child on POSIX systems: its debugging pipe on fds 3
// (our commands) and 4 (its answers), a process group of its own so that
// everything it starts ends with it, and a parent-death signal for the case
// where we end without a word (a kill): the pipe closing ends it too.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "services/browser_process.h"
#include "services/own_text.h"

namespace sorvane {

namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& o) noexcept : fd_(o.release()) {}
  Fd& operator=(Fd&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

bool isExecutable(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name without a slash is looked for on PATH, as a shell would.
std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return isExecutable(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t at = 0; at <= dirs.size();) {
    std::size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(at, end - at);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (isExecutable(candidate)) return candidate;
    at = end + 1;
  }
  return {};
}

void removeTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string inner = path + "/" + name;
      struct stat st {};
      if (lstat(inner.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        removeTree(inner);
      else
        unlink(inner.c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

std::string temporaryRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// Profile folders of ours whose process is gone (a kill leaves its folder):
// the name carries the pid that made it.
void removeOrphanedProfiles(const std::string& root) {
  DIR* dir = opendir(root.c_str());
  if (!dir) return;
  const std::string prefix = "sorvane-browser-";
  std::vector<std::string> orphans;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      orphans.push_back(root + "/" + name);
  }
  closedir(dir);
  for (const std::string& path : orphans) removeTree(path);
}

void sleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

class PosixBrowser final : public BrowserProcess {
 public:
  PosixBrowser(pid_t pid, Fd commands, Fd answers, std::string profile)
      : pid_(pid), commands_(std::move(commands)), answers_(std::move(answers)),
        profile_(std::move(profile)) {}
  ~PosixBrowser() override { end(); }

  bool send(const std::string& bytes) override {
    for (std::size_t at = 0; at < bytes.size() && commands_.get() >= 0;) {
      const ssize_t n = write(commands_.get(), bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd p{commands_.get(), POLLOUT, 0};
        if (poll(&p, 1, 1000) <= 0) return false;  // a browser that reads nothing
        continue;
      }
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return commands_.get() >= 0;
  }

  Read read(std::string& into, std::int32_t timeoutMs) override {
    if (answers_.get() < 0) return Read::Ended;
    pollfd p{answers_.get(), POLLIN, 0};
    int ready;
    do ready = poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return Read::Quiet;
    char buffer[65536];
    bool any = false;
    for (;;) {
      const ssize_t n = ::read(answers_.get(), buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        any = true;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return any ? Read::Bytes : Read::Quiet;
      // The end, or an error that amounts to it.
      answers_.reset();
      return any ? Read::Bytes : Read::Ended;
    }
  }

  int readableDescriptor() const override { return answers_.get(); }
  void setArrivalNotice(std::function<void()>) override {}

  void end() override {
    commands_.reset();  // the browser leaves by itself once its pipe closes
    answers_.reset();
    if (pid_ > 0) {
      // Give it a moment to leave in order, then end the whole group.
      kill(-pid_, SIGTERM);
      bool gone = false;
      for (int waited = 0; waited < 2000 && !gone; waited += 20) {
        gone = waitpid(pid_, nullptr, WNOHANG) == pid_;
        if (!gone) sleepMs(20);
      }
      kill(-pid_, SIGKILL);
      if (!gone) waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (!profile_.empty()) removeTree(profile_);
    profile_.clear();
  }

  std::int64_t processId() const override { return pid_; }

 private:
  pid_t pid_;
  Fd commands_;
  Fd answers_;
  std::string profile_;
};

// Moves `fd` to `target` in the child, whatever numbers the pipes were given.
bool placeAt(int fd, int target) {
  if (fd == target) return fcntl(fd, F_SETFD, 0) == 0;  // keep it across exec
  return dup2(fd, target) == target;
}

}  // namespace

std::unique_ptr<BrowserProcess> startBrowserProcess(const BrowserStart& start, Text& problem) {
  std::string program;
  if (start.program.empty()) {
    for (const char* name : {"chromium", "google-chrome", "microsoft-edge"})
      if (!(program = findProgram(name)).empty()) break;
    if (program.empty()) {
      problem = ownText("找不到浏览器（chromium、google-chrome 或 microsoft-edge）");
      return nullptr;
    }
  } else {
    program = findProgram(start.program.bytes());
    if (program.empty()) {
      problem = ownText("找不到浏览器：") + start.program;
      return nullptr;
    }
  }

  const std::string root = temporaryRoot();
  removeOrphanedProfiles(root);
  std::string profile = root + "/sorvane-browser-" + std::to_string(getpid()) + "-XXXXXX";
  if (!mkdtemp(profile.data())) {
    problem = ownText("无法为浏览器建立临时文件夹：") + Text(root);
    return nullptr;
  }

  if (!start.preferences.empty()) {
    const std::string folder = profile + "/Default";
    mkdir(folder.c_str(), 0700);
    if (FILE* f = std::fopen((folder + "/Preferences").c_str(), "wb")) {
      std::fwrite(start.preferences.data(), 1, start.preferences.size(), f);
      std::fclose(f);
    }
  }

  // ours[0]: they read our commands; theirs[1]: they write their answers.
  int toBrowser[2], fromBrowser[2];
  if (pipe2(toBrowser, O_CLOEXEC) != 0) {
    removeTree(profile);
    problem = ownText("无法启动浏览器：") + Text(program);
    return nullptr;
  }
  if (pipe2(fromBrowser, O_CLOEXEC) != 0) {
    close(toBrowser[0]);
    close(toBrowser[1]);
    removeTree(profile);
    problem = ownText("无法启动浏览器：") + Text(program);
    return nullptr;
  }
  Fd theirIn(toBrowser[0]), ourOut(toBrowser[1]), ourIn(fromBrowser[0]), theirOut(fromBrowser[1]);

  std::vector<std::string> args = {program, "--remote-debugging-pipe",
                                   "--user-data-dir=" + profile};
  // Its sandbox cannot start as root; there is nothing else to run it in.
  if (geteuid() == 0) args.push_back("--no-sandbox");
  for (const Text& a : start.arguments) args.push_back(a.bytes());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    removeTree(profile);
    problem = ownText("无法启动浏览器：") + Text(program);
    return nullptr;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    // 3 and 4 may be where the pipes already are: lift them clear first.
    const int in = fcntl(theirIn.get(), F_DUPFD, 10);
    const int out = fcntl(theirOut.get(), F_DUPFD, 10);
    if (in < 0 || out < 0 || !placeAt(in, 3) || !placeAt(out, 4)) _exit(127);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      dup2(devNull, 0);
      dup2(devNull, 1);
      dup2(devNull, 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  setpgid(pid, pid);  // either side may get there first
  theirIn.reset();
  theirOut.reset();
  fcntl(ourIn.get(), F_SETFL, fcntl(ourIn.get(), F_GETFL) | O_NONBLOCK);
  fcntl(ourOut.get(), F_SETFL, fcntl(ourOut.get(), F_GETFL) | O_NONBLOCK);
  // A browser gone before it reads would otherwise end us with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  return std::make_unique<PosixBrowser>(pid, std::move(ourOut), std::move(ourIn),
                                        std::move(profile));
}

}  // namespace sorvane
