// GTK 3 backend: the main loop, timers, idle work, clocks and the hard exit.

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <iostream>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

struct TimerSource {
  GtkPlatform* platform;
  TimerId id;
};

gboolean onTimer(gpointer data) {
  auto* source = static_cast<TimerSource*>(data);
  source->platform->tick(source->id);
  return G_SOURCE_CONTINUE;  // stopTimer removes the source, from inside a tick too
}

void dropTimerSource(gpointer data) { delete static_cast<TimerSource*>(data); }

gboolean onIdle(gpointer data) {
  auto& work = *static_cast<std::function<void()>*>(data);
  guarded(0, [&] {
    work();
    return 0;
  });
  return G_SOURCE_REMOVE;
}

void dropIdle(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

TimerId GtkPlatform::startTimer(int periodMs, std::function<void()> tick) {
  if (periodMs <= 0 || !tick) return 0;
  TimerId id = nextTimer_++;
  auto* source = new TimerSource{this, id};
  Timer t;
  t.tick = std::make_shared<std::function<void()>>(std::move(tick));
  // GLib counts the first period from now and re-arms after each tick, as a
  // window timer does.
  t.source = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(periodMs), onTimer, source,
                                dropTimerSource);
  timers_.emplace(id, std::move(t));
  return id;
}

void GtkPlatform::stopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  g_source_remove(it->second.source);
  timers_.erase(it);
}

void GtkPlatform::tick(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // The tick may stop this very timer; keep the callable alive until it returns.
  std::shared_ptr<std::function<void()>> work = it->second.tick;
  guarded(0, [&] {
    (*work)();
    return 0;
  });
}

LocalTime GtkPlatform::localTimeNow() const {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::int64_t GtkPlatform::monotonicMs() const { return g_get_monotonic_time() / 1000; }

void GtkPlatform::runLoop() {
  if (quitPending_) {
    quitPending_ = false;
    return;
  }
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  loops_.push_back(loop);
  g_main_loop_run(loop);
  loops_.pop_back();
  g_main_loop_unref(loop);
  quitPending_ = false;
}

void GtkPlatform::quitLoop() {
  if (loops_.empty()) {
    quitPending_ = true;  // a quit asked for before the loop runs ends it at once
    return;
  }
  g_main_loop_quit(loops_.back());
}

void GtkPlatform::whenIdle(std::function<void()> work) {
  if (!work) return;
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, onIdle, new std::function<void()>(std::move(work)),
                  dropIdle);
}

void GtkPlatform::writeStandardStream(StandardStream stream, const std::string& text) {
  std::FILE* out = stream == StandardStream::Output ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void GtkPlatform::exitProcess(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(code & 0xFF);
}

}  // namespace sorvane::platform::gtk
