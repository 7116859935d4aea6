// Odd and hostile list files imported through 按钮4: each gives the entries the
// list-file rules give, at a cost that grows with the file and no faster, and
// what was imported comes back unchanged from an export and a new import.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>

#include "program_fixture.h"

namespace sorvane::testing {
namespace {

// The import rules written out plainly, to check the real decoder against: a
// UTF-16 file (by its mark) is read as such; otherwise the text ends at the
// first zero byte, a UTF-8 mark goes, and text that is not UTF-8 is GBK; a
// line ends at LF, and a CR right before that LF belongs to the line end; the
// piece after the last LF counts when it is not empty; an empty first line is
// dropped. Cutting the text at LF is enough in UTF-8, where no byte of a
// longer character is 0x0A.
Strings referenceEntries(std::string_view raw) {
  std::string text;
  if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) {
    text = utf16ToUtf8(raw.substr(2), raw[0] == '\xFE');
    text = text.substr(0, text.find('\0'));
  } else {
    raw = raw.substr(0, raw.find('\0'));
    if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    text = isValidUtf8(raw) ? std::string(raw) : gbkCodePage().toUtf8(raw);
  }
  const std::string_view bytes = text;
  Strings lines;
  std::size_t start = 0;
  for (std::size_t lf; (lf = bytes.find('\n', start)) != std::string_view::npos; start = lf + 1) {
    std::string_view line = bytes.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  if (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());
  return lines;
}

// An export ends with the last entry, so an empty last entry leaves the file
// ending in a line break, which adds nothing on import: that one entry is lost.
Strings afterRoundTrip(Strings entries) {
  if (!entries.empty() && entries.back().empty()) entries.pop_back();
  return entries;
}

// Imports the bytes from a file and checks the entries; then exports them and
// imports the export again.
void expectImportAndRoundTrip(Program& p, const std::string& bytes, const Strings& expected) {
  const std::size_t boxes = p.sim.boxes().size();
  writeBytes(p.file("in.txt"), bytes);
  p.importFile(p.file("in.txt"));
  EXPECT_EQ(p.urls(), expected);
  EXPECT_EQ(p.items(), expected);
  EXPECT_EQ(p.run.runCount, static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(p.sim.boxes().size(), boxes);  // an import says nothing
  for (const std::string& entry : p.urls()) {
    EXPECT_EQ(entry.find('\n'), std::string::npos);
    EXPECT_EQ(entry.find('\0'), std::string::npos);
  }

  if (expected.empty()) {  // nothing to export: no dialog opens
    p.click("按钮3");
    EXPECT_EQ(p.boxTexts().back(), "网址列表不可为空！");
    return;
  }
  p.exportFile(p.file("out.txt"));
  ASSERT_EQ(p.sim.boxes().size(), boxes + 1);
  EXPECT_EQ(p.sim.boxes().back().text, "保存成功！");
  p.importFile(p.file("out.txt"));
  EXPECT_EQ(p.urls(), afterRoundTrip(expected));
  fs::remove(p.file("in.txt"));
  fs::remove(p.file("out.txt"));
}

// Wall time and the process's peak resident memory around some work. Printed,
// not asserted against a clock: the build machines are too noisy for that.
struct Cost {
  double seconds = 0;
  long peakMb = 0;    // the whole process, this test's earlier work included
  long growthMb = 0;  // how far the peak rose during the work
};

template <typename Work>
Cost measure(const char* what, Work&& work) {
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  work();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  ::getrusage(RUSAGE_SELF, &after);
  const Cost cost{took.count(), after.ru_maxrss / 1024,
                  (after.ru_maxrss - before.ru_maxrss) / 1024};
  std::printf("[ measured ] %s: %.2f s, peak %ld MB (+%ld MB)\n", what, cost.seconds, cost.peakMb,
              cost.growthMb);
  return cost;
}

// Compares two files in pieces, so that neither is held whole.
bool sameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream in1(a, std::ios::binary), in2(b, std::ios::binary);
  std::string chunk1(1 << 16, '\0'), chunk2(1 << 16, '\0');
  while (in1 && in2) {
    in1.read(chunk1.data(), static_cast<std::streamsize>(chunk1.size()));
    in2.read(chunk2.data(), static_cast<std::streamsize>(chunk2.size()));
    if (in1.gcount() != in2.gcount() ||
        chunk1.compare(0, in1.gcount(), chunk2, 0, in2.gcount()) != 0)
      return false;
  }
  return !in1 && !in2;
}

TEST(BadFiles, OddBytesImportByTheRules) {
  const std::string megabyteLine = "http://a.test/?q=" + std::string(1 << 20, 'x');
  const struct {
    const char* what;
    std::string bytes;
    Strings entries;
  } cases[] = {
      {"0 bytes", "", {}},
      {"zero bytes inside", std::string("\r\na\r\nb\0c\r\nd", 11), {"a", "b"}},
      {"a zero byte first", std::string("\0\r\na", 4), {}},
      // UTF-16 by its mark, in either byte order; the mark is no part of the text.
      {"UTF-16LE with BOM", std::string("\xFF\xFEh\0t\0\r\0\n\0b\0", 12), {"ht", "b"}},
      {"UTF-16BE with BOM", std::string("\xFE\xFF\0h\0t\0\r\0\n\0b", 12), {"ht", "b"}},
      // A CR alone is part of the line, so a file with CR line ends is one entry.
      {"CR alone", "\rhttp://a/\rhttp://b/\r", {"\rhttp://a/\rhttp://b/\r"}},
      {"mixed line ends", "\r\na\nb\r\r\nc\n\rd\r\n\r\ne\r", {"a", "b\r", "c", "\rd", "", "e\r"}},
      {"empty last entry (lost by the round trip)", "a\n\n", {"a", ""}},
      {"one line of 1 MB", megabyteLine + "\nhttp://b/\n", {megabyteLine, "http://b/"}},
  };
  Program p;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(referenceEntries(c.bytes), c.entries);  // the reference agrees with the table
    expectImportAndRoundTrip(p, c.bytes, c.entries);
  }
}

TEST(BadFiles, RandomBytesSplitLikeTheReference) {
  std::mt19937 random(20260407);
  std::uniform_int_distribution<int> byte(0, 255), nonZero(1, 255);
  // Raw random bytes: the text ends at the first zero byte, a few hundred in.
  std::string raw(1 << 20, '\0');
  for (char& c : raw) c = static_cast<char>(byte(random));
  // No zero byte, and CR and LF one byte in eight each, so the whole megabyte
  // counts and every combination of line ends and broken characters occurs
  // (read as GBK, not being UTF-8: a lead byte takes the LF after it along).
  std::string dense(1 << 20, '\0');
  for (char& c : dense) {
    const int b = byte(random);
    c = b < 32 ? '\r' : b < 64 ? '\n' : static_cast<char>(nonZero(random));
  }
  Program p;
  for (const std::string* bytes : {&raw, &dense}) {
    const Strings expected = referenceEntries(*bytes);
    EXPECT_GT(expected.size(), bytes == &dense ? 90000u : 0u);
    expectImportAndRoundTrip(p, *bytes, expected);
  }
}

TEST(BadFiles, HundredThousandLines) {
  Program p;
  std::string bytes;
  Strings expected;
  for (int i = 0; i < 100000; ++i) {
    expected.push_back("http://例子.test/第" + std::to_string(i) + "页");
    bytes += expected.back() + (i % 2 ? "\r\n" : "\n");  // typed by hand: no first empty line
  }
  writeBytes(p.file("lines.txt"), bytes);
  measure("import of 100,000 lines", [&] { p.importFile(p.file("lines.txt")); });
  EXPECT_EQ(p.urls(), expected);
  measure("export of 100,000 lines", [&] { p.exportFile(p.file("out.txt")); });
  measure("import of the export", [&] { p.importFile(p.file("out.txt")); });
  EXPECT_EQ(p.urls(), expected);
  EXPECT_EQ(p.boxTexts(), Strings{"保存成功！"});
}

TEST(BadFiles, HundredMegabytesInBoundedMemory) {
  constexpr std::size_t kSize = 100u << 20;
  const auto entry = [](std::size_t i) {
    const std::string n = std::to_string(i);
    return "http://www.例子.test/文章/" + n + ".html?from=list&id=" + n;
  };
  Program p;
  // Written in Sorvane's own format, in pieces, so the test never holds it all.
  std::size_t count = 0, written = 0;
  {
    std::ofstream out(p.file("big.txt"), std::ios::binary);
    std::string chunk;
    while (written < kSize) {
      chunk.clear();
      for (int k = 0; k < 4096; ++k) chunk += "\r\n" + entry(count++);
      out << chunk;
      written += chunk.size();
    }
  }
  const std::string what = "import of 100 MB, " + std::to_string(count) + " entries";
  const Cost import = measure(what.c_str(), [&] { p.importFile(p.file("big.txt")); });
  const TextArray& urls = p.frame.vars().urlArray;
  ASSERT_EQ(urls.size(), count);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < count; ++i) wrong += urls[i].bytes() != entry(i);
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(p.items().size(), count);
  // The file, its text and two copies of the entries (the list and the list
  // box) come to about four times the file; twice that would mean waste.
  EXPECT_LT(import.growthMb, 8 * static_cast<long>(written >> 20));

  // The export of a list read from Sorvane's own file is that file again.
  measure("export of 100 MB", [&] { p.exportFile(p.file("out.txt")); });
  EXPECT_EQ(p.boxTexts(), Strings{"保存成功！"});
  EXPECT_TRUE(sameBytes(p.file("big.txt"), p.file("out.txt")));
  fs::remove(p.file("big.txt"));
  fs::remove(p.file("out.txt"));
}

}  // namespace
}  // namespace sorvane::testing
