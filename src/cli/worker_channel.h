#pragma once
// The channel between a watcher and its worker (see watcher.h): one message a
// line on the worker's standard output.
//
//   alive                   a sign of life, from a window timer
//   busy                    a long step begins (a whole page drawn, encoded):
//                           the next message may be a while
//   page <i> <address>      the i-th address of the whole list is being loaded
//   row <i>                 its row is in the record (or waits beside it)
//   done <i> <0|1> <line>   its line per page; 1: its picture is missing
//   out <text>              a line for standard output
//   err <text>              a line for standard error
//   end                     the run reached its end; the worker ends next
//   closed                  someone closed the worker's window
//
// Each message is one write to the pipe, so a worker ended from outside has
// sent a message whole or not at all.
//
// Fields are separated by a tab; texts are in the program's code page.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/forwarding_platform.h"
#include "services/values.h"

namespace sorvane::cli {

struct WorkerMessage {
  enum class Kind { Alive, Busy, Page, Row, Done, Out, Err, End, Closed, Other };
  Kind kind = Kind::Other;
  std::int32_t index = 0;       // Page, Row, Done
  bool pictureMissing = false;  // Done
  // Page: the address; Done, Out, Err: the line; Other: the whole line
  std::string text;
};

// One line without its end.
WorkerMessage parseWorkerMessage(std::string_view line);

// The worker's side: its standard streams become messages, and the run's
// report says where the run is. A message that cannot be sent means the
// watcher is gone, and with nobody to report to the worker ends at once.
class WorkerLink final : public platform::ForwardingPlatform {
 public:
  // `firstIndex`: the place in the whole list of the worker's first address.
  WorkerLink(platform::Platform& desktop, std::int32_t firstIndex,
             std::function<bool(const std::string&)> send);
  ~WorkerLink() override;
  WorkerLink(const WorkerLink&) = delete;
  WorkerLink& operator=(const WorkerLink&) = delete;

  void writeStandardStream(platform::StandardStream stream, const std::string& text) override;
  // The drawing of a whole page and the encoding after it may take longer
  // than the silence a worker is allowed.
  std::optional<Document> captureDocument(platform::WidgetId browser, int widthLimit,
                                          int heightLimit) override;

  void pageBegins(const Text& url);
  void rowWritten();
  // `line`: the page's line per page, without its end.
  void pageEnds(bool pictureMissing, const std::string& line);
  void runDone();
  void windowClosed();
  // A sign of life now and then from a timer, which stops exactly when the
  // thread is held (a page's script that never returns).
  void startSignsOfLife();
  // The page is held past its deadline where the run cannot end it (a box
  // the engine shows runs a loop of its own, which still delivers the
  // timer): the signs stop until the next page, so that the watcher ends it.
  void pageHeld() { held_ = true; }

 private:
  void send(const std::string& message);

  std::function<bool(const std::string&)> send_;
  std::int32_t index_;
  platform::TimerId timer_ = 0;
  bool timing_ = false;
  bool held_ = false;
};

// Within this much of each other the worker gives signs of life.
inline constexpr std::int32_t kSignOfLifeMs = 500;

}  // namespace sorvane::cli
