#pragma once
// The timers a desktop backend runs for the program: each id with its tick
// and the native handle that drives it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace sorvane::platform::common {

class TimerTable {
 public:
  // A new id (never 0) for this tick; the native handle is noted once armed.
  TimerId add(std::function<void()> tick) {
    const TimerId id = next_++;
    timers_[id].tick = std::make_shared<std::function<void()>>(std::move(tick));
    return id;
  }
  void setNative(TimerId id, std::uintptr_t native) {
    if (auto it = timers_.find(id); it != timers_.end()) it->second.native = native;
  }
  // Forgets a timer; its native handle, or nothing when the id is unknown.
  std::optional<std::uintptr_t> remove(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    const std::uintptr_t native = it->second.native;
    timers_.erase(it);
    return native;
  }
  // Every timer's id and native handle; the table is empty afterwards.
  std::vector<std::pair<TimerId, std::uintptr_t>> removeAll() {
    std::vector<std::pair<TimerId, std::uintptr_t>> all;
    for (const auto& [id, t] : timers_) all.emplace_back(id, t.native);
    timers_.clear();
    return all;
  }
  // The tick of a timer still running, or null. The tick may stop this very
  // timer, so the caller holds the callable until it returns.
  std::shared_ptr<std::function<void()>> tickOf(TimerId id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? nullptr : it->second.tick;
  }

 private:
  struct Timer {
    std::shared_ptr<std::function<void()>> tick;
    std::uintptr_t native = 0;
  };
  std::unordered_map<TimerId, Timer> timers_;
  TimerId next_ = 1;
};

}  // namespace sorvane::platform::common
