#include "engine/connection.h"

#include <utility>
#include <vector>

namespace sorvane::engine {

std::optional<std::string> Framer::next() {
  const std::size_t end = pending_.find('\0', start_);
  if (end == std::string::npos) {
    // Keep the buffer from growing with what was handed out already.
    if (start_ > 0) {
      pending_.erase(0, start_);
      start_ = 0;
    }
    return std::nullopt;
  }
  std::string message = pending_.substr(start_, end - start_);
  start_ = end + 1;
  if (start_ == pending_.size()) {
    pending_.clear();
    start_ = 0;
  }
  return message;
}

Connection::Connection(std::unique_ptr<BrowserProcess> process, Clock clock)
    : process_(std::move(process)), clock_(std::move(clock)) {}

Connection::~Connection() { close(); }

Json Connection::failure(std::string_view message) {
  const std::string text = "{\"error\":{\"message\":\"" + std::string(message) + "\"}}";
  return *Json::parse(text);
}

void Connection::send(std::string_view method, const Params& params, std::string_view session,
                      Reply reply, int deadlineMs) {
  const std::int64_t id = nextId_++;
  std::string message = params.command(id, method, session);
  message.push_back('\0');
  if (!process_ || !process_->send(message)) {
    lose();
    if (reply) reply(failure("gone"));
    return;
  }
  waiting_[id] = Waiting{std::move(reply), clock_() + deadlineMs};
}

Json Connection::call(std::string_view method, const Params& params, std::string_view session,
                      int deadlineMs) {
  std::optional<Json> answer;
  send(method, params, session, [&answer](const Json& a) { answer = a; }, deadlineMs);
  // The deadline is the command's own; expire() answers it when it passes.
  while (!answer && process_) {
    std::string bytes;
    std::int64_t left = deadlineMs;
    for (const auto& [id, w] : waiting_) left = std::min(left, w.deadline - clock_());
    const BrowserProcess::Read read = process_->read(bytes, static_cast<std::int32_t>(
                                                                std::max<std::int64_t>(left, 0)));
    if (read == BrowserProcess::Read::Ended) {
      lose();
      break;
    }
    framer_.feed(bytes);
    ++depth_;
    while (std::optional<std::string> message = framer_.next()) handle(*message);
    --depth_;
    expire();
  }
  return answer ? *answer : failure("gone");
}

void Connection::pump() {
  if (!process_) return;
  if (depth_ == 0) {
    std::string bytes;
    const BrowserProcess::Read read = process_->read(bytes, 0);
    framer_.feed(bytes);
    ++depth_;
    while (std::optional<std::string> message = framer_.next()) handle(*message);
    --depth_;
    if (read == BrowserProcess::Read::Ended) lose();
  }
  expire();
}

void Connection::handle(const std::string& message) {
  std::optional<Json> parsed = Json::parse(message);
  if (!parsed) return;  // nothing we can read, and nothing waits on it
  const std::int64_t id = parsed->integer("id");
  if (id < 0) {
    if (onEvent_) onEvent_(*parsed);
    return;
  }
  auto found = waiting_.find(id);
  if (found == waiting_.end()) return;  // answered already, at its deadline
  Reply reply = std::move(found->second.reply);
  waiting_.erase(found);
  if (reply) reply(*parsed);
}

void Connection::expire() {
  const std::int64_t now = clock_();
  std::vector<Reply> late;
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (it->second.deadline > now) {
      ++it;
      continue;
    }
    late.push_back(std::move(it->second.reply));
    it = waiting_.erase(it);
  }
  for (Reply& reply : late)
    if (reply) reply(failure("timeout"));
}

void Connection::lose() {
  if (!process_) return;
  process_.reset();
  std::map<std::int64_t, Waiting> left = std::exchange(waiting_, {});
  for (auto& [id, w] : left)
    if (w.reply) w.reply(failure("gone"));
  if (onGone_) onGone_();
}

void Connection::close() {
  if (process_) process_->end();
  lose();
}

}  // namespace sorvane::engine
