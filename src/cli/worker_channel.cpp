#include "cli/worker_channel.h"

#include <charconv>
#include <string>

#include "cli/options.h"

namespace sorvane::cli {

namespace {

std::string_view nextField(std::string_view& rest) {
  const std::size_t tab = rest.find('\t');
  const std::string_view field = rest.substr(0, tab);
  rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
  return field;
}

bool readIndex(std::string_view digits, std::int32_t& index) {
  const auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
  return problem == std::errc() && end == digits.data() + digits.size() && index > 0;
}

// A control character (a tab, a line end) inside a field would split the message.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

}  // namespace

WorkerMessage parseWorkerMessage(std::string_view line) {
  WorkerMessage message;
  std::string_view rest = line;
  const std::string_view word = nextField(rest);
  if (word == "alive" && rest.empty()) {
    message.kind = WorkerMessage::Kind::Alive;
  } else if (word == "busy" && rest.empty()) {
    message.kind = WorkerMessage::Kind::Busy;
  } else if (word == "end" && rest.empty()) {
    message.kind = WorkerMessage::Kind::End;
  } else if (word == "closed" && rest.empty()) {
    message.kind = WorkerMessage::Kind::Closed;
  } else if (word == "row" && readIndex(rest, message.index)) {
    message.kind = WorkerMessage::Kind::Row;
  } else if (word == "out" || word == "err") {
    message.kind = word == "out" ? WorkerMessage::Kind::Out : WorkerMessage::Kind::Err;
    message.text = std::string(rest);
  } else if (word == "page" && readIndex(nextField(rest), message.index)) {
    message.kind = WorkerMessage::Kind::Page;
    message.text = std::string(rest);
  } else if (word == "done" && readIndex(nextField(rest), message.index)) {
    const std::string_view missing = nextField(rest);
    if (missing == "0" || missing == "1") {
      message.kind = WorkerMessage::Kind::Done;
      message.pictureMissing = missing == "1";
      message.text = std::string(rest);
    }
  }
  if (message.kind == WorkerMessage::Kind::Other) return {.text = std::string(line)};
  return message;
}

WorkerLink::WorkerLink(platform::Platform& desktop, std::int32_t firstIndex,
                       std::function<bool(const std::string&)> send)
    : ForwardingPlatform(desktop), send_(std::move(send)), index_(firstIndex - 1) {}

WorkerLink::~WorkerLink() {
  if (timing_) target().stopTimer(timer_);
}

void WorkerLink::send(const std::string& message) {
  if (!send_(message + "\n")) target().exitProcess(kExitWindowClosed);
}

void WorkerLink::writeStandardStream(platform::StandardStream stream, const std::string& text) {
  const char* word = stream == platform::StandardStream::Output ? "out\t" : "err\t";
  // One message a line: a text of several lines is sent as several.
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    send(word + line);
    at = end + 1;
  }
}

std::optional<platform::Platform::Document> WorkerLink::captureDocument(platform::WidgetId browser,
                                                                        int widthLimit,
                                                                        int heightLimit) {
  send("busy");
  std::optional<Document> document = target().captureDocument(browser, widthLimit, heightLimit);
  send("busy");  // and the encoding comes next
  return document;
}

void WorkerLink::pageBegins(const Text& url) {
  ++index_;
  held_ = false;
  send("page\t" + std::to_string(index_) + "\t" + oneLine(url.bytes()));
}

void WorkerLink::rowWritten() { send("row\t" + std::to_string(index_)); }

void WorkerLink::pageEnds(bool pictureMissing, const std::string& line) {
  held_ = false;
  // The line's own fields are tab-separated: only a line end would split it.
  std::string text = line;
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  send("done\t" + std::to_string(index_) + (pictureMissing ? "\t1\t" : "\t0\t") + text);
}

void WorkerLink::runDone() { send("end"); }

void WorkerLink::windowClosed() { send("closed"); }

void WorkerLink::startSignsOfLife() {
  send("alive");
  if (timing_) return;
  timer_ = target().startTimer(kSignOfLifeMs, [this] {
    if (!held_) send("alive");
  });
  timing_ = true;
}

}  // namespace sorvane::cli
