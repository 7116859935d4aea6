// Whole files, the folder check and the process's folder on Windows, with
// GBK names as a Chinese system has them.

#include "services/files.h"

#include <algorithm>

#include "native_fixture.h"
#include "services/process.h"

namespace sorvane::testing {
namespace {

// 截图 (screenshot) in GBK, and the same name as the system shows it.
const std::string kGbkName = "\xBD\xD8\xCD\xBC";
const std::wstring kWideName = L"\u622A\u56FE";

using Files = NativeFolder;

ByteSet bytes(std::string_view s) { return ByteSet::fromString(s); }

TEST_F(Files, GbkNamesRoundTripEveryByteAndLeaveNothingElse) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const Text name = folder() + "\\" + kGbkName + ".txt";
  ASSERT_TRUE(writeFile(name, bytes(all)));
  EXPECT_EQ(listing(), std::vector<std::wstring>{kWideName + L".txt"});
  EXPECT_EQ(readFile(name), bytes(all));

  // A second save replaces the whole content and still leaves one file.
  const ByteSet first = bytes("\r\nhttp://a/"), second = bytes("\r\nb");
  ASSERT_TRUE(writeFile(name, {&first, &second}));
  EXPECT_EQ(contents(wideFolder() + L"\\" + kWideName + L".txt"), "\r\nhttp://a/\r\nb");
  EXPECT_EQ(listing().size(), 1u);
  EXPECT_TRUE(nameTaken(name));
  EXPECT_EQ(readableFileSize(name), std::optional<std::uint64_t>(14));
}

// How another program may hold a file, and a replace cut short between its
// two steps: what reading, saving and appending say, and that the file stays
// whole under its name with no temporary file left beside it.
TEST_F(Files, HeldFilesAndReplacesCutShortKeepTheFileWhole) {
  struct Case {
    const char* what;
    DWORD access, share;  // the other program's open; no access: none
    ForcedFault forced;
    FileFault read, write, append;
    const char* after;
  };
  const Case cases[] = {
      {"held for writing, as a spreadsheet holds a CSV", GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE, ForcedFault::None, FileFault::None, FileFault::InUse,
       FileFault::InUse, "old list"},
      {"held for reading by an editor", GENERIC_READ, FILE_SHARE_READ, ForcedFault::None,
       FileFault::None, FileFault::InUse, FileFault::InUse, "old list"},
      {"held with no sharing at all", GENERIC_READ, 0, ForcedFault::None, FileFault::InUse,
       FileFault::InUse, FileFault::InUse, "old list"},
      {"a replace that ends with the old file gone and the new one unmoved", 0, 0,
       ForcedFault::ReplaceUnmoved, FileFault::None, FileFault::None, FileFault::None, "new+"},
  };
  const std::wstring path = wideFolder() + L"\\" + kWideName + L".txt";
  const Text name = folder() + "\\" + kGbkName + ".txt";
  const ByteSet fresh = bytes("new");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    put(path, "old list");
    forceFileFault(name, c.forced);
    const HANDLE other = c.access ? CreateFileW(path.c_str(), c.access, c.share, nullptr,
                                                OPEN_EXISTING, 0, nullptr)
                                  : INVALID_HANDLE_VALUE;
    ASSERT_EQ(other != INVALID_HANDLE_VALUE, c.access != 0);
    const FileRead read = readFileReporting(name);
    EXPECT_EQ(read.fault, c.read);
    if (read.fault == FileFault::None) {
      EXPECT_EQ(read.bytes, bytes("old list"));
    }
    EXPECT_EQ(writeFileReporting(name, {&fresh}), c.write);
    EXPECT_EQ(appendToFileReporting(name, bytes("+")), c.append);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    forceFileFault(name, ForcedFault::None);
    EXPECT_EQ(contents(path), c.after);
    EXPECT_EQ(listing(), std::vector<std::wstring>{kWideName + L".txt"})
        << "no temporary file is left behind";
  }
}

// Pictures, the record and lists in a folder nested past the old limit of 260
// characters, named with either separator.
TEST_F(Files, AFolderNestedPastTheOldLimitWorksLikeAnyOther) {
  std::wstring deep = wideFolder();
  std::string deepName = folder();
  while (deep.size() < 300) {
    deep += L"\\" + std::wstring(40, L'd') + kWideName;
    deepName += "\\" + std::string(40, 'd') + kGbkName;
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  EXPECT_EQ(writableFolderPath(deepName), std::optional<Text>(deepName));
  const Text picture = deepName + "\\" + kGbkName + ".jpg";
  ASSERT_TRUE(writeFile(picture, bytes("BM picture"), WriteMode::NewOnly));
  EXPECT_TRUE(nameTaken(picture));
  EXPECT_FALSE(writeFile(picture, bytes("again"), WriteMode::NewOnly));
  EXPECT_EQ(readFile(picture), bytes("BM picture"));
  ASSERT_TRUE(writeFile(picture, bytes("BM replaced")));
  EXPECT_TRUE(appendToFile(picture, bytes("+")));
  std::string slashes = picture.bytes();
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  EXPECT_EQ(readFile(slashes), bytes("BM replaced+"));
  EXPECT_EQ(readableFileSize(picture), std::optional<std::uint64_t>(12));
  EXPECT_TRUE(renameToNewName(picture, deepName + "\\aside.jpg"));
  EXPECT_EQ(contents(L"\\\\?\\" + deep + L"\\aside.jpg"), "BM replaced+");
}

TEST_F(Files, ReadOnlyFilesFoldersAndBrokenNamesAreLeftAlone) {
  const std::wstring path = wideFolder() + L"\\kept.txt";
  put(path, "kept");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(writeFile(folder() + "\\kept.txt", bytes("new")));
  EXPECT_EQ(contents(path), "kept");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_FALSE(writeFile(folder(), bytes("x")));
  EXPECT_TRUE(readFile(folder()).empty());
  EXPECT_FALSE(readableFileSize(folder()));
  // A dangling lead byte names no file: nothing is made under a guessed name.
  EXPECT_FALSE(writeFile(folder() + "\\a\x81", bytes("x")));
  EXPECT_FALSE(writeFile(Text(), bytes("x")));
  EXPECT_TRUE(readFile(folder() + "\\missing.txt").empty());
  EXPECT_FALSE(nameTaken(folder() + "\\missing.txt"));
  EXPECT_TRUE(readFile("NUL").empty()) << "a device is no list file";
  EXPECT_EQ(listing(), std::vector<std::wstring>{L"kept.txt"});
}

TEST_F(Files, RelativeNamesAndTheFolderCheckUseTheCurrentFolder) {
  const std::wstring sub = wideFolder() + L"\\" + kWideName;
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  ASSERT_TRUE(setCurrentFolder(folder() + "\\" + kGbkName));
  ASSERT_TRUE(writeFile("relative.txt", bytes("here")));
  EXPECT_EQ(contents(sub + L"\\relative.txt"), "here");

  EXPECT_EQ(writableFolderPath("."), std::optional<Text>(folder() + "\\" + kGbkName));
  EXPECT_EQ(writableFolderPath(folder()), std::optional<Text>(folder()));
  EXPECT_FALSE(writableFolderPath("relative.txt")) << "a file is no folder";
  EXPECT_FALSE(writableFolderPath("missing"));
  // The check leaves nothing behind in the folder it tried.
  EXPECT_EQ(listing(), std::vector<std::wstring>{kWideName});
  EXPECT_FALSE(setCurrentFolder(folder() + "\\missing"));
  EXPECT_FALSE(setCurrentFolder("\x81"));
}

TEST(Process, ExecutablePathSplitsIntoTheProgramFolder) {
  const Text path = executablePath();
  const SplitPath split = splitProgramPath(path);
  EXPECT_EQ(split.file, Text("win32_native_tests.exe"));
  EXPECT_EQ(split.folder + "\\" + split.file, path);
  wchar_t wide[MAX_PATH + 1];
  GetModuleFileNameW(nullptr, wide, MAX_PATH);
  EXPECT_EQ(path.size(), std::wstring(wide).size()) << "an ASCII build folder";
}

// Only "no such name" is free. A share that cannot be reached (here: one on
// no server at all) gives no answer either way.
TEST_F(Files, NameStateTellsTakenFreeAndNoAnswer) {
  put(wideFolder() + L"\\file", "x");
  const struct {
    Text name;
    NameState state;
  } cases[] = {
      {folder() + "\\file", NameState::Taken},
      {folder(), NameState::Taken},
      {folder() + "\\missing.jpg", NameState::Free},
      {folder() + "\\gone\\missing.jpg", NameState::Free},
      {Text("\\\\sorvane-no-server\\share\\x.jpg"), NameState::Unknown},
      {folder() + "\\x?.jpg", NameState::Unknown},
      {Text(), NameState::Unknown},
  };
  for (const auto& c : cases) EXPECT_EQ(nameState(c.name), c.state) << c.name.bytes();
}

}  // namespace
}  // namespace sorvane::testing
