#pragma once
// The protocol over the browser's pipe: messages are JSON, each ended by a
// NUL byte. Commands carry an id and, for a page, the id of its session; the
// browser answers each with the same id, in any order, and sends events
// (messages with a method and no id) whenever it likes.
//
// Every command has a deadline: a browser that does not answer in time gets
// the command answered for it with an error, so no caller waits for ever.
// One thread: the desktop's loop calls pump() when the pipe has something
// (and now and then, for the deadlines); call() waits on the pipe itself.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/json.h"
#include "services/browser_process.h"

namespace sorvane::engine {

// Splits the byte stream into messages at each NUL, however the bytes came.
class Framer {
 public:
  void feed(std::string_view bytes) { pending_.append(bytes); }
  // The next whole message, or nothing until its NUL has come.
  std::optional<std::string> next();
  std::size_t waiting() const { return pending_.size() - start_; }

 private:
  std::string pending_;
  std::size_t start_ = 0;
};

// Milliseconds from some fixed start, never going back.
using Clock = std::function<std::int64_t()>;

inline constexpr int kCommandDeadlineMs = 10000;

class Connection {
 public:
  Connection(std::unique_ptr<BrowserProcess> process, Clock clock);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The whole answer: "result", or "error" with its "message" (ours when the
  // deadline passed or the browser went: "timeout", "gone").
  using Reply = std::function<void(const Json& answer)>;
  // Sends a command; `reply`, if any, runs from pump() or call() once it is
  // answered. Answered "gone" at once when the browser has gone.
  void send(std::string_view method, const Params& params, std::string_view session,
            Reply reply = {}, int deadlineMs = kCommandDeadlineMs);
  // Sends and waits for the answer, handling whatever comes meanwhile.
  Json call(std::string_view method, const Params& params, std::string_view session,
            int deadlineMs = kCommandDeadlineMs);

  // Every event, in the order it came.
  void onEvent(std::function<void(const Json& event)> handler) { onEvent_ = std::move(handler); }
  // Once, when the browser's end of the pipe closes.
  void onGone(std::function<void()> handler) { onGone_ = std::move(handler); }

  // Handles what has come, and answers the commands past their deadline.
  void pump();
  bool alive() const { return process_ != nullptr; }
  BrowserProcess* process() { return process_.get(); }
  std::int64_t now() const { return clock_(); }
  // Ends the browser; every command still waiting is answered "gone".
  void close();

 private:
  struct Waiting {
    Reply reply;
    std::int64_t deadline = 0;
  };
  void handle(const std::string& message);
  void expire();
  void lose();
  static Json failure(std::string_view message);

  std::unique_ptr<BrowserProcess> process_;
  Clock clock_;
  Framer framer_;
  std::int64_t nextId_ = 1;
  std::map<std::int64_t, Waiting> waiting_;
  std::function<void(const Json&)> onEvent_;
  std::function<void()> onGone_;
  int depth_ = 0;  // pump() inside a handler run by pump() reads nothing more
};

}  // namespace sorvane::engine
