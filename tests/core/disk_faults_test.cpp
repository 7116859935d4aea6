// Faults of a real disk: a full disk and a read-only one (small tmpfs mounts,
// so those tests need root and skip without it), a capture folder that goes
// away during a run, and a list file that cannot be read once the dialog is
// answered. A capture that cannot be written is skipped without a word; an
// export says "保存失败！" and leaves the old file whole; an import says
// "导入失败！" and keeps the list.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#include "program_fixture.h"
#include "record/picture_record.h"
#include "services/conversions.h"

namespace sorvane::testing {
namespace {

constexpr std::uintmax_t kPictureBytes = 1145142;  // the browser area as a BMP
const std::string kOldList = "\r\nhttp://old/1\r\nhttp://old/2";

// A tmpfs mounted on a folder of its own for the life of the object.
class Tmpfs {
 public:
  Tmpfs(fs::path dir, const std::string& options) : dir_(std::move(dir)) {
    fs::create_directories(dir_);
    mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;

  bool mounted() const { return mounted_; }
  bool makeReadOnly() {
    return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  fs::path operator/(const std::string& name) const { return dir_ / name; }
  const fs::path& dir() const { return dir_; }
  std::uintmax_t freeBytes() const {
    struct statvfs info {};
    return ::statvfs(dir_.c_str(), &info) == 0 ? info.f_bfree * info.f_frsize : 0;
  }

 private:
  fs::path dir_;
  bool mounted_ = false;
};

class DiskFaults : public ::testing::Test {
 protected:
  // A fresh tmpfs under the scratch folder; the test is skipped when it cannot
  // be had, so the caller must check IsSkipped().
  void mountTmpfs(const std::string& options) {
    disk.reset();
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    disk.emplace(p.folder() / "disk", options);
    if (!disk->mounted()) GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }

  // Takes every block left on the disk.
  static void fillUp(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(1 << 16, 'f');
    for (std::size_t size = block.size(); size > 0; size /= 2) {
      while (::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
      }
    }
    ::close(fd);
  }

  Program p;
  std::optional<Tmpfs> disk;  // after p: unmounted before p removes its folder
};

TEST_F(DiskFaults, CapturesThatDoNotFitAreSkippedAndTheRunGoesOn) {
  mountTmpfs("size=2560k");  // room for two pictures, not three
  if (IsSkipped()) return;
  p.chooseFolder(disk->dir());
  p.add({"http://a/", "http://b/", "http://c/", "http://d/"});
  const std::uintmax_t freeBefore = disk->freeBytes();
  p.click("按钮1");
  p.sim.advanceTo(60000);  // pictures at 6, 11, 16 and 21 s; the end at 22 s
  EXPECT_EQ(p.navigated().size(), 4u);
  EXPECT_EQ(p.sim.captureCount(), 4);
  ASSERT_EQ(p.boxTexts(), Strings{"连续访问结束"});
  EXPECT_EQ(p.sim.boxes().back().openedAtMs, 22000);
  EXPECT_EQ(p.text("按钮1"), "开始");

  // Two whole pictures; nothing half written, no temporary file, and no space
  // held by one that was deleted but left open.
  const Strings names = Program::filesIn(disk->dir());
  ASSERT_EQ(names.size(), 2u);
  std::uintmax_t used = 0;
  for (const std::string& name : names) {
    EXPECT_EQ(fs::file_size(*disk / name), kPictureBytes) << name;
    used += (kPictureBytes + 4095) / 4096 * 4096;
  }
  EXPECT_EQ(disk->freeBytes(), freeBefore - used);
}

TEST_F(DiskFaults, ExportToAFullDiskFailsAndKeepsTheOldFile) {
  const struct {
    const char* what;
    const char* options;
    bool fillBlocks;  // else the filler takes the last inode
  } ways[] = {{"no block left", "size=256k", true},
              {"no inode left for the new file", "size=1m,nr_inodes=3", false}};
  p.add({"http://new/1", "http://new/2"});
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    mountTmpfs(way.options);
    if (IsSkipped()) return;
    writeBytes(*disk / "list.txt", kOldList);
    if (way.fillBlocks) {
      ASSERT_NO_FATAL_FAILURE(fillUp(*disk / "filler"));
    } else {
      writeBytes(*disk / "filler", "");
    }
    p.exportFile(*disk / "list.txt");
    ASSERT_FALSE(p.sim.boxes().empty());
    expectBox(p.sim.boxes().back(), "保存失败！");
    EXPECT_EQ(readBytes(*disk / "list.txt"), kOldList);
    EXPECT_EQ(Program::filesIn(disk->dir()), (Strings{"filler", "list.txt"}));

    fs::remove(*disk / "filler");  // room again: the same export goes through
    p.exportFile(*disk / "list.txt");
    expectBox(p.sim.boxes().back(), "保存成功！");
    EXPECT_EQ(readBytes(*disk / "list.txt"), "\r\nhttp://new/1\r\nhttp://new/2");
  }
}

TEST_F(DiskFaults, ARecordRowThatDoesNotFitLeavesTheRowsBeforeItWhole) {
  mountTmpfs("size=256k");
  if (IsSkipped()) return;
  std::vector<std::string> said;
  record::PictureRecord pictures(record::KeepPictures::All,
                                 [&](const Text& t) { said.push_back(t.bytes()); });
  const Text folder(disk->dir().string() + "/");
  const DateTime at = dateTimeFromCivil({2026, 12, 8, 7, 0, 4});
  pictures.startRun();
  pictures.addRow(folder, {at, Text("http://a/"), Text("a.png"), record::PageEnd::Loaded, Text("new")});
  const std::string before = readBytes(*disk / "截图记录.csv");
  ASSERT_NO_FATAL_FAILURE(fillUp(*disk / "filler"));
  // Longer than the slack of the record's last block: part of it would fit.
  const Text longAddress("http://b/?" + std::string(20000, 'x'));
  pictures.addRow(folder, {at, longAddress, Text("b.png"), record::PageEnd::Loaded, Text("new")});
  pictures.addRow(folder, {at, longAddress, Text("b.png"), record::PageEnd::Loaded, Text("new")});
  EXPECT_EQ(readBytes(*disk / "截图记录.csv"), before);
  // Said once, not at every page: the record, and the gallery beside it.
  ASSERT_EQ(said.size(), 2u) << ::testing::PrintToString(said);
  EXPECT_NE(said[0].find("截图记录.csv"), std::string::npos);
  EXPECT_NE(said[1].find("截图记录.html"), std::string::npos);

  fs::remove(*disk / "filler");
  pictures.addRow(folder, {at, Text("http://c/"), Text("c.png"), record::PageEnd::Loaded, Text("new")});
  EXPECT_EQ(readBytes(*disk / "截图记录.csv"),
            before + "2026-12-08 07:00:04,http://c/,c.png,loaded,new\r\n");
}

TEST_F(DiskFaults, ReadOnlyDiskRefusesExportsAndCapturesButReadsLists) {
  mountTmpfs("size=4m");
  if (IsSkipped()) return;
  writeBytes(*disk / "list.txt", kOldList);
  ASSERT_TRUE(disk->makeReadOnly()) << std::strerror(errno);

  p.add({"http://a/", "http://b/"});
  p.exportFile(*disk / "list.txt");  // over the old file
  p.exportFile(*disk / "new.txt");
  EXPECT_EQ(p.boxTexts(), (Strings{"保存失败！", "保存失败！"}));
  for (const sim::Box& box : p.sim.boxes()) expectBox(box, "保存失败！");
  EXPECT_EQ(readBytes(*disk / "list.txt"), kOldList);

  p.chooseFolder(disk->dir());
  p.click("按钮1");
  p.sim.advanceTo(60000);
  EXPECT_EQ(p.sim.captureCount(), 2);
  EXPECT_EQ(p.boxTexts(), (Strings{"保存失败！", "保存失败！", "连续访问结束"}));
  EXPECT_EQ(Program::filesIn(disk->dir()), Strings{"list.txt"});

  p.importFile(*disk / "list.txt");
  EXPECT_EQ(p.urls(), (Strings{"http://old/1", "http://old/2"}));
  EXPECT_EQ(p.sim.boxes().size(), 3u);
}

TEST_F(DiskFaults, CaptureFolderGoingAwayDuringARunDoesNotStopIt) {
  const fs::path shots = p.folder() / "shots";
  fs::create_directories(shots);
  p.chooseFolder(shots);
  p.add({"http://a/", "http://b/", "http://c/", "http://d/"});
  p.click("按钮1");
  // Pictures at 6, 11, 16 and 21 s: the folder is deleted before the second, a
  // plain file takes its name before the third, and it is back for the fourth.
  p.sim.at(8000, [&] { fs::remove_all(shots); });
  p.sim.at(13000, [&] { writeBytes(shots, "not a folder"); });
  p.sim.at(18000, [&] {
    fs::remove(shots);
    fs::create_directories(shots);
  });
  p.sim.advanceTo(60000);
  EXPECT_EQ(p.navigated().size(), 4u);
  EXPECT_EQ(p.sim.captureCount(), 4);
  ASSERT_EQ(p.boxTexts(), Strings{"连续访问结束"});
  EXPECT_EQ(p.sim.boxes().back().openedAtMs, 22000);
  const Strings pictures = Program::filesIn(shots);
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(fs::file_size(shots / pictures[0]), kPictureBytes);
  EXPECT_EQ(p.filesInFolder(), Strings{"shots"});
}

TEST_F(DiskFaults, ImportThatCannotReadKeepsTheList) {
  const fs::path list = p.file("list.txt");
  const struct {
    const char* what;
    std::function<void()> whileTheDialogIsOpen;
  } ways[] = {
      {"deleted", [&] { fs::remove(list); }},
      {"replaced by a folder",
       [&] {
         fs::remove(list);
         fs::create_directory(list);
       }},
      {"replaced by a named pipe with no writer",
       [&] {
         fs::remove(list);
         ASSERT_EQ(::mkfifo(list.c_str(), 0644), 0);
       }},
      {"replaced by a dangling link",
       [&] {
         fs::remove(list);
         fs::create_symlink(p.file("nowhere.txt"), list);
       }},
      {"replaced by a link to itself",
       [&] {
         fs::remove(list);
         fs::create_symlink(list, list);
       }},
  };
  p.add({"http://keep/"});
  std::size_t boxes = 0;
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    fs::remove_all(list);
    writeBytes(list, "\r\nhttp://new/");
    p.sim.onDialogOpened([&](sim::ModalKind) { way.whileTheDialogIsOpen(); });
    p.importFile(list);
    EXPECT_EQ(p.urls(), Strings{"http://keep/"});
    EXPECT_EQ(p.items(), Strings{"http://keep/"});
    EXPECT_EQ(p.run.runCount, 1);
    ASSERT_EQ(p.sim.boxes().size(), ++boxes);
    expectBox(p.sim.boxes().back(), "导入失败！");
  }
  p.sim.onDialogOpened(nullptr);
}

}  // namespace
}  // namespace sorvane::testing
