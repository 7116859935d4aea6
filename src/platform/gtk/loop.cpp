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

struct IdleWork {
  GtkPlatform* platform;
  std::function<void()> work;
  guint source = 0;
};

gboolean onIdle(gpointer data) {
  auto& idle = *static_cast<IdleWork*>(data);
  idle.platform->idleEnded(idle.source);  // alive: it removes what has not run
  guarded(0, [&] {
    idle.work();
    return 0;
  });
  return G_SOURCE_REMOVE;
}

void dropIdle(gpointer data) { delete static_cast<IdleWork*>(data); }

}  // namespace

std::optional<std::uintptr_t> GtkPlatform::armTimer(TimerId id, int periodMs) {
  // GLib counts the first period from now and re-arms after each tick, as a
  // window timer does.
  return g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(periodMs), onTimer,
                            new TimerSource{this, id}, dropTimerSource);
}

void GtkPlatform::disarmTimer(TimerId, std::uintptr_t source) {
  g_source_remove(static_cast<guint>(source));
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
  auto* idle = new IdleWork{this, std::move(work)};
  idle->source = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, onIdle, idle, dropIdle);
  idleSources_.insert(idle->source);
}

void GtkPlatform::idleEnded(guint source) { idleSources_.erase(source); }

void GtkPlatform::dropPendingWork() {
  // Work queued on this desktop runs only while it lives.
  const std::set<guint> pending = std::move(idleSources_);
  idleSources_.clear();
  for (guint source : pending) g_source_remove(source);
}

void GtkPlatform::writeStandardStream(StandardStream stream, const std::string& text) {
  std::FILE* out = stream == StandardStream::Output ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void GtkPlatform::exitProcess(int code) {
  // Its pipe closing would end it too, a moment after us.
  if (engine::Browser* browser = pageEngine()) browser->connection().close();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(code & 0xFF);
}

}  // namespace sorvane::platform::gtk
