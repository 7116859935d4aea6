#pragma once
// The channel between a watcher and its worker (see watcher.h): one message a
// line on the worker's standard output.
//
//   alive                 a sign of life, from a window timer
//   page <i> <address>    the i-th address of the whole list is being loaded
//   done <i> <0|1>        its line has been written; 1: its picture is missing
//   out <text>            a line for standard output (the line per page)
//   err <text>            a line for standard error
//   end                   the run reached its end; the worker ends next
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
  enum class Kind { Alive, Page, Done, Out, Err, End, Other };
  Kind kind = Kind::Other;
  std::int32_t index = 0;       // Page, Done
  bool pictureMissing = false;  // Done
  std::string text;             // Page: the address; Out, Err: the line; Other: the whole line
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

  void pageBegins(const Text& url);
  void pageEnds(bool pictureMissing);
  void runDone();
  // A sign of life now and then from a timer, which stops exactly when the
  // thread is held (a page's script that never returns).
  void startSignsOfLife();

 private:
  void send(const std::string& message);

  std::function<bool(const std::string&)> send_;
  std::int32_t index_;
  platform::TimerId timer_ = 0;
  bool timing_ = false;
};

// Within this much of each other the worker gives signs of life.
inline constexpr std::int32_t kSignOfLifeMs = 500;

}  // namespace sorvane::cli
