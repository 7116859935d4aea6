// Whole-file reading and writing on real folders.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "services/files.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sorvane-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  Text path(const std::string& name) const { return Text((folder_ / name).string()); }

  std::set<std::string> listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  static std::string contents(const Text& name) {
    std::ifstream in(name.bytes(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path folder_;
};

ByteSet bytes(std::string_view s) { return ByteSet::fromString(s); }

TEST_F(Files, RoundTripKeepsEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const ByteSet data = bytes(std::string("\0\0a\r\n\0", 6) + all);
  const Text name = path("data.bin");
  ASSERT_TRUE(writeFile(name, data));
  EXPECT_EQ(readFile(name), data);
  EXPECT_EQ(listing(), std::set<std::string>{"data.bin"});
}

TEST_F(Files, WritesThePartsInOrder) {
  const Text name = path("parts.txt");
  const ByteSet a = bytes("\r\nhttp://a/"), empty, b = bytes("\r\nhttp://b/");
  ASSERT_TRUE(writeFile(name, {&a, &empty, &b}));
  EXPECT_EQ(contents(name), "\r\nhttp://a/\r\nhttp://b/");
}

TEST_F(Files, ReplacesTheWholeContent) {
  const Text name = path("list.txt");
  ASSERT_TRUE(writeFile(name, bytes("a much longer first content")));
  ASSERT_TRUE(writeFile(name, bytes("short")));
  EXPECT_EQ(contents(name), "short");
  ASSERT_TRUE(writeFile(name, ByteSet()));
  EXPECT_TRUE(fs::exists(fs::path(name.bytes())));
  EXPECT_EQ(fs::file_size(fs::path(name.bytes())), 0u);
  EXPECT_TRUE(readFile(name).empty());
  EXPECT_EQ(listing(), std::set<std::string>{"list.txt"});
}

TEST_F(Files, NewFilesGetTheUsualModeAndOldFilesKeepTheirs) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const Text fresh = path("fresh.jpg");
  ASSERT_TRUE(writeFile(fresh, bytes("x")));
  struct stat info {};
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

  ASSERT_EQ(::chmod(fresh.c_str(), 0640), 0);
  ASSERT_TRUE(writeFile(fresh, bytes("y")));
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(Files, WritesThroughASymbolicLink) {
  const Text real = path("real.txt");
  ASSERT_TRUE(writeFile(real, bytes("old")));
  ASSERT_EQ(::symlink(real.c_str(), path("link.txt").c_str()), 0);
  ASSERT_TRUE(writeFile(path("link.txt"), bytes("new")));
  EXPECT_TRUE(fs::is_symlink(fs::path(path("link.txt").bytes())));
  EXPECT_EQ(contents(real), "new");
}

TEST_F(Files, WriteFailuresTouchNothing) {
  EXPECT_FALSE(writeFile(Text(), bytes("x")));
  EXPECT_FALSE(writeFile(path("missing/file.txt"), bytes("x")));
  EXPECT_FALSE(fs::exists(folder_ / "missing"));

  fs::create_directory(folder_ / "folder");
  EXPECT_FALSE(writeFile(path("folder"), bytes("x")));
  EXPECT_FALSE(writeFile(path("folder/"), bytes("x")));
  EXPECT_TRUE(fs::is_directory(folder_ / "folder"));
  EXPECT_TRUE(fs::is_empty(folder_ / "folder"));
  EXPECT_EQ(listing(), std::set<std::string>{"folder"});
}

TEST_F(Files, AFailedWriteLeavesThePreviousFileIntact) {
  // A file size limit makes the write fail part way, as a full disk would.
  const Text name = path("shot.jpg");
  ASSERT_TRUE(writeFile(name, bytes("previous picture")));
  const std::string big(64 * 1024, 'x');

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = writeFile(name, bytes(big));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(contents(name), "previous picture");
  EXPECT_EQ(listing(), std::set<std::string>{"shot.jpg"});
}

TEST_F(Files, AReadOnlyFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  const Text name = path("locked.txt");
  ASSERT_TRUE(writeFile(name, bytes("keep")));
  ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
  EXPECT_FALSE(writeFile(name, bytes("lost")));
  EXPECT_EQ(contents(name), "keep");
}

TEST_F(Files, ANewOnlyWriteNeverReplacesAnything) {
  ASSERT_TRUE(writeFile(path("old.jpg"), bytes("old")));
  ::symlink("nowhere", path("dangling.jpg").c_str());
  for (const char* taken : {"old.jpg", "dangling.jpg", ""}) {
    SCOPED_TRACE(taken);
    EXPECT_FALSE(writeFile(path(taken), bytes("new"), WriteMode::NewOnly));
  }
  EXPECT_EQ(contents(path("old.jpg")), "old");
  EXPECT_TRUE(writeFile(path("free.jpg"), bytes("new"), WriteMode::NewOnly));
  EXPECT_EQ(contents(path("free.jpg")), "new");
  EXPECT_EQ(listing(), (std::set<std::string>{"old.jpg", "dangling.jpg", "free.jpg"}));

  // Writers racing for one name, as two copies of the program taking a
  // picture in the same second: exactly one wins, whole, and no file of the
  // losers is left behind.
  constexpr int kWriters = 8;
  for (int round = 0; round < 20; ++round) {
    const Text name = path("race" + std::to_string(round) + ".jpg");
    std::vector<pid_t> children;
    for (int i = 0; i < kWriters; ++i) {
      const pid_t child = ::fork();
      if (child == 0) {
        const bool won = writeFile(name, bytes(std::string(100000, char('a' + i))),
                                   WriteMode::NewOnly);
        ::_exit(won ? 0 : 1);
      }
      children.push_back(child);
    }
    int winners = 0;
    for (pid_t child : children) {
      int status = 0;
      ::waitpid(child, &status, 0);
      winners += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    EXPECT_EQ(winners, 1);
    const std::string won = contents(name);
    ASSERT_EQ(won.size(), 100000u);
    EXPECT_EQ(won.find_first_not_of(won[0]), std::string::npos);
  }
  EXPECT_EQ(listing().size(), 3u + 20u);
}

TEST_F(Files, RelativeNamesUseTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(folder_);
  const bool written = writeFile(Text("relative.txt"), bytes("here"));
  const ByteSet back = readFile(Text("relative.txt"));
  fs::current_path(before);
  EXPECT_TRUE(written);
  EXPECT_EQ(back, bytes("here"));
  EXPECT_EQ(listing(), std::set<std::string>{"relative.txt"});
}

TEST_F(Files, ReadFailuresGiveTheEmptyByteSet) {
  EXPECT_TRUE(readFile(Text()).empty());
  EXPECT_TRUE(readFile(path("missing.txt")).empty());
  EXPECT_TRUE(readFile(Text(folder_.string())).empty());
  std::ofstream(path("empty.txt").bytes()).close();
  EXPECT_TRUE(readFile(path("empty.txt")).empty());
  // A named pipe with no writer must not hang the reader.
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  EXPECT_TRUE(readFile(path("pipe")).empty());
}

// What each operation says of a name, and that a refused one changes nothing.
TEST_F(Files, EveryFaultIsToldApartAndTouchesNothing) {
  fs::create_directory(folder_ / "folder");
  std::ofstream(path("empty.txt").bytes()).close();
  std::ofstream(path("held.txt").bytes()) << "held";
  forceFileFault(path("held.txt"), ForcedFault::InUse);
  // Linux replaces in one step: the forced Windows fault changes nothing here.
  std::ofstream(path("scanned.txt").bytes()) << "old";
  forceFileFault(path("scanned.txt"), ForcedFault::ReplaceUnmoved);
  struct Case {
    const char* name;
    FileFault read, write, append;
    const char* after;  // the file's bytes afterwards; nullptr: no file
  };
  const Case cases[] = {
      {"missing.txt", FileFault::Missing, FileFault::None, FileFault::None, "xx"},
      {"no folder/a.txt", FileFault::Missing, FileFault::Missing, FileFault::Missing, nullptr},
      {"folder", FileFault::Failed, FileFault::Failed, FileFault::Failed, nullptr},
      {"empty.txt", FileFault::None, FileFault::None, FileFault::None, "xx"},
      {"held.txt", FileFault::InUse, FileFault::InUse, FileFault::InUse, "held"},
      {"scanned.txt", FileFault::None, FileFault::None, FileFault::None, "xx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Text name = path(c.name);
    EXPECT_EQ(readFileReporting(name).fault, c.read);
    EXPECT_EQ(writeFileReporting(name, {}), c.write);
    EXPECT_EQ(appendToFileReporting(name, bytes("xx")), c.append);
    if (c.after) {
      EXPECT_EQ(contents(name), c.after);
    } else {
      EXPECT_FALSE(fs::is_regular_file(fs::path(name.bytes())));
    }
  }
  forceFileFault(path("held.txt"), ForcedFault::None);
  forceFileFault(path("scanned.txt"), ForcedFault::None);
  EXPECT_EQ(readFileReporting(path("held.txt")).bytes, bytes("held"));
  EXPECT_EQ(listing(), (std::set<std::string>{"empty.txt", "folder", "held.txt", "missing.txt",
                                              "scanned.txt"}))
      << "no temporary file is left behind";
}

TEST_F(Files, LargeFilesRoundTrip) {
  std::vector<std::uint8_t> data(100u * 1024 * 1024);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
  const ByteSet picture{std::move(data)};
  const Text name = path("big.bin");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(writeFile(name, picture));
  const ByteSet back = readFile(name);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(back.size(), picture.size());
  EXPECT_TRUE(back == picture);
  RecordProperty(
      "write_and_read_ms",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

TEST_F(Files, AFileTooBigForMemoryReadsAsEmpty) {
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int mode = -1;
  overcommit >> mode;
  if (mode == 1) GTEST_SKIP() << "the kernel grants any allocation";
  const Text name = path("sparse.bin");
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  const bool grown = ::ftruncate(fd, off_t{1} << 40) == 0;  // 1 TiB, all holes
  ::close(fd);
  if (!grown) GTEST_SKIP() << "the file system takes no such sparse file";
  EXPECT_TRUE(readFile(name).empty());
}

}  // namespace
}  // namespace sorvane
