#include "cli/options.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"
#include "urllist/list_file.h"

namespace sorvane::cli {

namespace {

enum class Takes { Nothing, Value };

struct OptionName {
  std::string_view name;
  Takes takes;
};

constexpr OptionName kOptions[] = {
    {"--list", Takes::Value},
    {"--folder", Takes::Value},
    {"--pause", Takes::Value},
    {"--start", Takes::Nothing},
    {"--exit-when-done", Takes::Nothing},
    {"--page-timeout", Takes::Value},
    {"--format", Takes::Value},
    {"--record", Takes::Nothing},
    {"--changed-only", Takes::Nothing},
    {"--size", Takes::Value},
    {"--full-page", Takes::Nothing},
    {"--help", Takes::Nothing},
    {"--version", Takes::Nothing},
    {"--worker-from", Takes::Value},
    {"--engine", Takes::Value},
    {"--browser", Takes::Value},
    {"--run-started", Takes::Value},
};

const OptionName* findOption(std::string_view name) {
  for (const OptionName& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

Text usageHint() { return ownText("（用法见 sorvane --help）"); }
Text extraArgument(const std::string& argument) {
  return ownText("多余的参数：") + Text(argument) + usageHint();
}

// Seconds as digits with an optional sign and decimal point, nothing else: a
// script's typo should not pass for a number the way "5x" would in the box.
bool isDecimalNumber(std::string_view text) {
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  std::size_t digits = 0;
  bool point = false;
  for (; pos < text.size(); ++pos) {
    if (text[pos] >= '0' && text[pos] <= '9') {
      ++digits;
    } else if (text[pos] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits > 0;
}

// The period the run would make of these seconds, as advanceRun works it
// out; 0 when it is not a usable timer period (0 or less, or beyond 32 bits).
std::int32_t positivePeriodMs(const Text& seconds) {
  const double ms = toNumber(seconds) * 1000.0;
  if (!(ms >= 1.0) || ms > 2147483647.0) return 0;
  return toInteger32(ms);
}

// "WIDTHxHEIGHT", digits only on both sides, within the accepted sizes.
bool readSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  auto number = [](std::string_view digits, std::int32_t& out) {
    if (digits.empty() || digits.size() > 5) return false;
    out = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      out = out * 10 + (c - '0');
    }
    return true;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height) &&
         width >= kMinWidth && width <= kMaxWidth && height >= kMinHeight && height <= kMaxHeight;
}

// "YYYYMMDDhhmmss", as runStartText writes it.
std::optional<DateTime> readRunStart(std::string_view text) {
  if (text.size() != 14) return std::nullopt;
  int parts[6] = {};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    for (int n = 0; n < widths[i]; ++n, ++at) {
      if (text[at] < '0' || text[at] > '9') return std::nullopt;
      parts[i] = parts[i] * 10 + (text[at] - '0');
    }
  }
  const CivilTime civil{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
  const DateTime start = dateTimeFromCivil(civil);
  // Only a time that reads back as written: no 13th month, no 25th hour.
  if (runStartText(start) != Text(std::string(text))) return std::nullopt;
  return start;
}

struct Parser {
  ParsedArguments result;
  bool seen[std::size(kOptions)] = {};

  bool refuse(const Text& problem) {
    result.action = Action::Refuse;
    result.problem = problem;
    return false;
  }

  bool take(const OptionName& option, const Text& value) {
    Options& o = result.options;
    const std::string_view name = option.name;
    if (name == "--list") o.listFile = value;
    if (name == "--folder") o.folder = value;
    if (name == "--pause") {
      if (!isDecimalNumber(value.view())) return refuse(ownText("--pause 的值不是秒数：") + value);
      o.pause = value;
    }
    if (name == "--page-timeout") {
      o.pageTimeoutMs = isDecimalNumber(value.view()) ? positivePeriodMs(value) : 0;
      if (o.pageTimeoutMs == 0) return refuse(ownText("--page-timeout 须为正的秒数：") + value);
    }
    if (name == "--format") {
      if (value == Text("bmp")) {
        o.format = ImageFormat::Bmp;
      } else if (value == Text("png")) {
        o.format = ImageFormat::Png;
      } else if (value == Text("jpeg") || value == Text("jpg")) {
        o.format = ImageFormat::Jpeg;
      } else {
        return refuse(ownText("--format 须为 bmp、png 或 jpeg：") + value);
      }
    }
    if (name == "--worker-from") {
      o.workerFrom = isDecimalNumber(value.view()) ? toInteger32(toNumber(value)) : 0;
      if (o.workerFrom <= 0 || value.view().find('.') != std::string_view::npos)
        return refuse(ownText("--worker-from 须为正整数：") + value);
    }
    if (name == "--run-started") {
      o.runStartedAt = readRunStart(value.view());
      if (!o.runStartedAt)
        return refuse(ownText("--run-started 须为 年月日时分秒 14 位数字：") + value);
    }
    if (name == "--size" && !readSize(value.view(), o.width, o.height)) {
      return refuse(ownText("--size 须为 宽x高，宽 320 至 3840，高 240 至 2160：") + value);
    }
    if (name == "--engine") {
      if (value == Text("builtin")) {
        o.engine.choice = EngineChoice::Builtin;
      } else if (value == Text("chromium")) {
        o.engine.choice = EngineChoice::Chromium;
      } else {
        return refuse(ownText("--engine 须为 builtin 或 chromium：") + value);
      }
    }
    if (name == "--browser") o.engine.browser = value;
    if (name == "--full-page") o.fullPage = true;
    if (name == "--record") o.record = true;
    if (name == "--changed-only") o.changedOnly = true;
    if (name == "--start") o.start = true;
    if (name == "--exit-when-done") o.exitWhenDone = true;
    return true;
  }

  // One argument, and the next one when it is this option's value. False ends
  // the parse (a problem, help or version).
  bool step(const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& argument = arguments[i];
    if (argument == "--") {
      // Only free arguments may follow, and no option takes any.
      if (i + 1 < arguments.size()) return refuse(extraArgument(arguments[i + 1]));
      return true;
    }
    if (!argument.starts_with("--")) {
      if (argument.size() > 1 && argument[0] == '-')
        return refuse(ownText("未知的选项：") + Text(argument) + usageHint());
      // What a file dropped on the program's icon, or "Open with", gives.
      if (arguments.size() == 1 && !argument.starts_with("-")) {
        result.options.openedList = Text(argument);
        return true;
      }
      return refuse(extraArgument(argument));
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = std::string_view(argument).substr(0, equals);
    const OptionName* option = findOption(name);
    if (!option) return refuse(ownText("未知的选项：") + Text(name) + usageHint());
    const Text optionName(name);
    const auto index = static_cast<std::size_t>(option - kOptions);
    if (seen[index]) return refuse(ownText("选项只能给一次：") + optionName);
    seen[index] = true;

    if (option->takes == Takes::Nothing) {
      if (equals != std::string::npos) return refuse(ownText("选项不带值：") + optionName);
      if (name == "--help") {
        result.action = Action::ShowHelp;
        return false;
      }
      if (name == "--version") {
        result.action = Action::ShowVersion;
        return false;
      }
      return take(*option, Text());
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return refuse(ownText("选项缺少值：") + optionName);
    }
    if (value.empty()) return refuse(ownText("选项的值为空：") + optionName);
    return take(*option, Text(value));
  }

  // Rules between options, once all of them are known.
  void checkTogether() {
    const Options& o = result.options;
    if (o.exitWhenDone && !o.start) {
      refuse(ownText("--exit-when-done 只能与 --start 一起使用"));
    } else if (o.runStartedAt && o.workerFrom == 0) {
      refuse(ownText("--run-started 只能与 --worker-from 一起使用"));
    } else if (o.workerFrom > 0 && !o.exitWhenDone) {
      refuse(ownText("--worker-from 只能与 --exit-when-done 一起使用"));
    } else if (o.changedOnly && !o.record) {
      // Only the record can say which earlier picture stands for one not kept.
      refuse(ownText("--changed-only 只能与 --record 一起使用"));
    } else if (o.engine.browser && o.engine.choice == EngineChoice::Builtin) {
      refuse(ownText("--browser 不能与 --engine builtin 一起使用"));
    } else if (o.exitWhenDone && o.pause && positivePeriodMs(*o.pause) == 0) {
      // The window's run stalls on such a pause until someone presses 停止;
      // with nobody there it would never end.
      refuse(ownText("无人值守的运行需要大于 0 的 --pause：") + *o.pause);
    }
  }
};

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
  Parser parser;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!parser.step(arguments, i)) return parser.result;
  }
  parser.checkTogether();
  return parser.result;
}

Text errorLine(const Text& problem) { return Text("sorvane: ") + problem + Text("\n"); }

Text engineLine(const Text& engineName) {
  return errorLine(ownText("网页由 ") + engineName + ownText(" 绘制"));
}

Text runStartText(DateTime at) {
  const CivilTime t = civilFromDateTime(at);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return Text(buffer);
}

Text versionText() { return Text("Sorvane 1.0.0\n"); }

Text helpText() {
  return ownText(
      "用法：sorvane [选项]\n"
      "      sorvane 网址列表文件\n"
      "不带选项时只打开窗口。只给一个文件时，打开窗口并导入这个文件，与“导入网址”相同。\n"
      "带选项时，窗口按选项准备好，如同用户亲手操作。\n"
      "\n"
      "  --list 文件          导入网址列表文件，与“导入网址”相同\n"
      "  --folder 文件夹      截图保存到这个已有的文件夹，并勾选“截图”\n"
      "  --pause 秒数         每个网页停留的秒数（“间隔（秒）”）\n"
      "  --start              窗口出现后按下“开始”\n"
      "  --exit-when-done     访问结束时退出程序，不显示任何提示框（须与 --start 同用）\n"
      "  --page-timeout 秒数  一个网址从载入到下一个网址最多等这些秒数（不含间隔）；\n"
      "                       超时即停止载入，按当时的样子截图\n"
      "  --format 格式        截图的格式：bmp（默认，位图数据，文件名以 .jpg 结尾）、\n"
      "                       png 或 jpeg（质量 90，文件名以 .jpg 结尾）\n"
      "  --record             在截图文件夹里记下每个网页（截图记录.csv），\n"
      "                       并与同一网址上次的截图比较，变化处用红框标出另存一张\n"
      "  --changed-only       与 --record 同用：与上次相同的截图不保存，记录里写上次的截图\n"
      "  --size 宽x高         浏览区域的大小（像素），如 1366x768；宽 320 至 3840，\n"
      "                       高 240 至 2160。网页按这个宽度排版，截图也是这个大小\n"
      "  --full-page          截取整个网页（全部滚动高度，以及超出浏览区域的宽度），\n"
      "                       最高 20000 像素，更高的网页在此截断\n"
      "  --engine 引擎        绘制网页的引擎：builtin（窗口自带的引擎：Linux 上是\n"
      "                       WebKitGTK，Windows 上是系统的浏览器控件）或 chromium\n"
      "                       （另起一个 Chromium 系的浏览器，无界面运行，经调试管道\n"
      "                       驱动）。不给时 Linux 用 builtin；Windows 找得到能应答的\n"
      "                       Edge 或 Chrome 时用 chromium，否则用 builtin\n"
      "  --browser 程序       chromium 引擎所用的浏览器程序（隐含 --engine chromium）；\n"
      "                       不给时依次找 chromium、google-chrome、microsoft-edge\n"
      "                       （Windows 上找 Edge，再找 Chrome）\n"
      "  --help               显示本说明后退出\n"
      "  --version            显示版本后退出\n"
      "\n"
      "无人值守的运行（--exit-when-done）在标准错误的第一行说明由哪个引擎绘制网页。\n"
      "chromium 引擎无法启动时，程序说明原因后以退出码 2 结束。\n"
      "\n"
      "带 --start 时，每个网页结束后在标准输出写一行：时间、网址、截图文件路径\n"
      "（没有保存截图时为 -）、网页的结果，以制表符分隔。结果为 loaded（载入完成）、\n"
      "timeout（超时停止）、failed（无法载入）或 blank（没有自己的内容，截图为空白页）。\n"
      "带 --record 时还有第五项：与上次截图相比变化的像素百分比（0.0 至 100.0），\n"
      "没有可比的截图时为 new，没有截图时为 -。\n"
      "带 --full-page 时第五项总在（不带 --record 时为 -），另有第六项：whole（整页）、\n"
      "cut（网页高于 20000 像素，截图在此截断）或 -（没有截图）。\n"
      "\n"
      "退出码：0 访问正常结束；1 访问结束，但有截图无法保存；2 选项有误、网址列表\n"
      "文件无法读取或截图文件夹不可用；3 访问结束前窗口被关闭；-1 运行时出错。\n");
}

CommandLine readCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  const ParsedArguments parsed = parseArguments(arguments);
  auto endNow = [&](int code) -> CommandLine& {
    line.exitNow = code;
    return line;
  };
  switch (parsed.action) {
    case Action::ShowHelp:
      line.standardOutput = helpText();
      return endNow(kExitDone);
    case Action::ShowVersion:
      line.standardOutput = versionText();
      return endNow(kExitDone);
    case Action::Refuse:
      line.standardError = errorLine(parsed.problem);
      return endNow(kExitBadStart);
    case Action::Run:
      break;
  }

  const Options& o = parsed.options;
  Preparation& p = line.preparation;
  if (o.listFile) {
    // The same reading as 导入网址, so the same rules and mends apply.
    const std::optional<ByteSet> bytes = urllist::readFileChecked(*o.listFile);
    if (!bytes) {
      line.standardError = errorLine(ownText("无法读取网址列表文件：") + *o.listFile);
      return endNow(kExitBadStart);
    }
    p.urls = urllist::decodeListFile(*bytes);
    // A worker does the rest of the list from its first address on.
    if (o.workerFrom > 0) {
      const auto skipped = std::min<std::size_t>(p.urls->size(), o.workerFrom - 1);
      p.urls->erase(p.urls->begin(), p.urls->begin() + static_cast<std::ptrdiff_t>(skipped));
    }
  }
  if (o.openedList) {
    // Read now, from the caller's folder; a failure is the window's to tell.
    if (const std::optional<ByteSet> bytes = urllist::readFileChecked(*o.openedList)) {
      p.urls = urllist::decodeListFile(*bytes);
    } else {
      p.openedListUnreadable = true;
    }
  }
  if (o.folder) {
    p.folder = writableFolderPath(*o.folder);
    if (!p.folder) {
      line.standardError = errorLine(ownText("截图文件夹不存在或无法写入：") + *o.folder);
      return endNow(kExitBadStart);
    }
  }
  if (o.exitWhenDone && (!p.urls || p.urls->empty())) {
    // 开始 with an empty list only says "请输入网址！", and nobody would read it.
    const Text problem = o.listFile ? ownText("网址列表文件中没有网址：") + *o.listFile
                                    : ownText("无人值守的运行需要 --list 给出网址");
    line.standardError = errorLine(problem);
    return endNow(kExitBadStart);
  }
  static_cast<RunOptions&>(p) = o;
  line.engine = o.engine;
  // Naming the browser asks for it.
  if (o.engine.browser && o.engine.choice == EngineChoice::Default)
    line.engine.choice = EngineChoice::Chromium;
  return line;
}

std::optional<int> endEarly(const CommandLine& line,
                            const std::function<void(bool toError, const Text& text)>& write) {
  if (!line.exitNow) return std::nullopt;
  if (!line.standardOutput.empty()) write(false, line.standardOutput);
  if (!line.standardError.empty()) write(true, line.standardError);
  return line.exitNow;
}

}  // namespace sorvane::cli
