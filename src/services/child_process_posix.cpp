// Child processes on POSIX systems: spawned with a pipe for their output.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "services/child_process.h"

extern char** environ;

namespace sorvane {

namespace {

class PosixChild final : public ChildProcess {
 public:
  PosixChild(pid_t pid, int output) : pid_(pid), output_(output) {}
  ~PosixChild() override {
    if (!reaped_) {
      kill(pid_, SIGKILL);
      exitCode();
    }
    close(output_);
  }
  PosixChild(const PosixChild&) = delete;
  PosixChild& operator=(const PosixChild&) = delete;

  Read read(std::string& into, std::int32_t timeoutMs) override {
    if (outputClosed_) return Read::Ended;
    pollfd p{output_, POLLIN, 0};
    const int ready = poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready <= 0) return Read::Quiet;  // EINTR counts as quiet: the caller asks again
    char buffer[8192];
    const ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      return Read::Bytes;
    }
    if (n < 0 && errno == EINTR) return Read::Quiet;
    outputClosed_ = true;
    return Read::Ended;
  }

  void terminate() override {
    if (!reaped_) kill(pid_, SIGKILL);
  }

  int exitCode() override {
    if (!reaped_) {
      int status = 0;
      pid_t r;
      do {
        r = waitpid(pid_, &status, 0);
      } while (r < 0 && errno == EINTR);
      reaped_ = true;
      if (r == pid_ && WIFEXITED(status)) code_ = WEXITSTATUS(status);
    }
    return code_;
  }

 private:
  pid_t pid_;
  int output_;
  bool outputClosed_ = false;
  bool reaped_ = false;
  int code_ = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> startChildProcess(const Text& program,
                                                const std::vector<Text>& arguments) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return nullptr;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const Text& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (failed != 0) {
    close(pipeEnds[0]);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid, pipeEnds[0]);
}

bool writeOwnOutput(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(1, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace sorvane
