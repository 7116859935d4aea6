// The virtual clock, timers, scheduled test actions and the loop levels.

#include <algorithm>
#include <utility>

#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month and day may lie
// outside their ranges; they carry over).
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  // Bring the month into 1..12 first so the era arithmetic below stays exact.
  y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
  m = ((m - 1) % 12 + 12) % 12 + 1;
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The desktop never ticks faster than this; a period of 0 would spin the loop.
constexpr int kMinimumPeriodMs = 10;

}  // namespace

// What the program throws reaches the test: a ProcessExit above all.
SimPlatform::SimPlatform() : DesktopBackend(platform::common::Exceptions::ReachCaller) {
  setLocalTime({2026, 1, 1, 0, 0, 0});
}
SimPlatform::~SimPlatform() = default;

void SimPlatform::setLocalTime(const platform::LocalTime& t) {
  baseSeconds_ = daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL +
                 t.minute * 60LL + t.second;
}

platform::LocalTime SimPlatform::localTimeNow() const {
  const std::int64_t s = baseSeconds_ + floorDiv(now_, 1000);
  const std::int64_t days = floorDiv(s, 86400);
  const std::int64_t rest = s - days * 86400;
  platform::LocalTime t;
  civilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

std::int64_t SimPlatform::monotonicMs() const { return now_; }

std::optional<std::uintptr_t> SimPlatform::armTimer(TimerId id, int periodMs) {
  const int period = std::max(periodMs, kMinimumPeriodMs);
  schedule_[id] = Schedule{period, now_ + period};
  return id;
}

std::vector<TimerInfo> SimPlatform::timers() const {
  std::vector<TimerInfo> out;
  for (const auto& [id, t] : schedule_) out.push_back({id, t.periodMs, t.dueMs});
  return out;
}

void SimPlatform::at(std::int64_t timeMs, std::function<void()> action) {
  actions_.emplace(std::make_pair(std::max(timeMs, now_), nextSeq_++), std::move(action));
}

void SimPlatform::after(std::int64_t delayMs, std::function<void()> action) {
  at(now_ + std::max<std::int64_t>(delayMs, 0), std::move(action));
}

void SimPlatform::whenIdle(std::function<void()> work) { idle_.push_back(std::move(work)); }

std::optional<std::int64_t> SimPlatform::nextDue() const {
  std::optional<std::int64_t> due;
  if (!actions_.empty()) due = actions_.begin()->first.first;
  for (const auto& [id, t] : schedule_)
    if (!due || t.dueMs < *due) due = t.dueMs;
  return due;
}

// Does one thing: the next item due now, else one piece of idle work, else
// moves the clock to the next due time if that lies within the limit.
SimPlatform::Step SimPlatform::stepOnce(std::int64_t limitMs) {
  if (!actions_.empty() && actions_.begin()->first.first <= now_) {
    auto node = actions_.extract(actions_.begin());
    node.mapped()();
    return Step::Worked;
  }
  // Ties go to the timer started first: ids only grow, and the map is ordered.
  auto due = schedule_.end();
  for (auto it = schedule_.begin(); it != schedule_.end(); ++it)
    if (it->second.dueMs <= now_ &&
        (due == schedule_.end() || it->second.dueMs < due->second.dueMs))
      due = it;
  if (due != schedule_.end()) {
    due->second.dueMs += due->second.periodMs;
    tick(due->first);
    return Step::Worked;
  }
  if (!idle_.empty()) {
    auto work = std::move(idle_.front());
    idle_.pop_front();
    work();
    return Step::Worked;
  }
  const auto next = nextDue();
  if (!next) return Step::NothingLeft;
  if (*next > limitMs) return Step::BeyondLimit;
  now_ = *next;
  return Step::Worked;
}

void SimPlatform::advance(std::int64_t ms) { advanceTo(now_ + std::max<std::int64_t>(ms, 0)); }

void SimPlatform::advanceTo(std::int64_t timeMs) {
  while (stepOnce(timeMs) == Step::Worked) {
  }
  now_ = std::max(now_, timeMs);
}

// The loop of a box or dialog: everything keeps running until the answer is
// due; a quit request waits for the box to close.
void SimPlatform::runNested(std::int64_t untilMs) { advanceTo(untilMs); }

void SimPlatform::runLoop() {
  if (pendingQuit_) {
    // Asked to quit before the loop started: the quit waits in the queue.
    pendingQuit_ = false;
    lastLoopEnd_ = LoopEnd::Quit;
    return;
  }
  runLevels_.push_back(false);
  const std::size_t level = runLevels_.size() - 1;
  struct Pop {
    std::vector<bool>& levels;
    ~Pop() { levels.pop_back(); }
  } pop{runLevels_};
  const std::int64_t limit = now_ + runLimitMs_;
  for (;;) {
    if (runLevels_[level]) {
      lastLoopEnd_ = LoopEnd::Quit;
      return;
    }
    switch (stepOnce(limit)) {
      case Step::Worked:
        break;
      case Step::NothingLeft:
        lastLoopEnd_ = LoopEnd::NothingLeft;
        return;
      case Step::BeyondLimit:
        now_ = std::max(now_, limit);
        lastLoopEnd_ = LoopEnd::RunLimit;
        return;
    }
  }
}

void SimPlatform::quitLoop() {
  if (runLevels_.empty())
    pendingQuit_ = true;
  else
    runLevels_.back() = true;
}

void SimPlatform::exitProcess(int code) { throw ProcessExit{code}; }

void SimPlatform::writeStandardStream(platform::StandardStream stream, const std::string& text) {
  (stream == platform::StandardStream::Output ? standardOutput_ : standardError_) += text;
}

}  // namespace sorvane::sim
