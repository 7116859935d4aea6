#pragma once
// GTK 3 backend: whether the engine's view draws a document yet.
//
// The engine reports a load finished as soon as its web process is done with
// it, and the frame it draws of the document reaches the view a little after;
// from a fresh web process (the one before ended, or crashed) always after.
// A picture taken in between shows the page before, or nothing at all.

#include <gio/gio.h>

#include <cstdint>

typedef struct _WebKitWebView WebKitWebView;

namespace sorvane::platform::gtk {

// A cheap fingerprint of what the view draws now (FNV-1a over its pixels), or
// 0 when it draws nothing.
std::uint64_t drawnFingerprint(WebKitWebView* view);

// One question to the view's web process at a time: has it drawn a frame of
// the document since it was asked? The answer comes back through the loop.
class PaintProbe {
 public:
  enum class Answer {
    Drawn,
    Unknown,  // the document runs no script (a sandboxed page), or its process went
  };
  using Heard = void (*)(void* owner, Answer answer);

  PaintProbe() = default;
  PaintProbe(const PaintProbe&) = delete;
  PaintProbe& operator=(const PaintProbe&) = delete;
  ~PaintProbe() { drop(); }

  // Drops any question still out.
  void ask(WebKitWebView* view, Heard heard, void* owner);
  // The answer to the question out, if any, is never heard.
  void drop();

 private:
  static void onAnswer(GObject* view, GAsyncResult* result, gpointer data);
  GCancellable* pending_ = nullptr;
  Heard heard_ = nullptr;
  void* owner_ = nullptr;
};

}  // namespace sorvane::platform::gtk
