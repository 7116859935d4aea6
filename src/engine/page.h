#pragma once
// One browser area's page in the DevTools engine: one target of the browser,
// attached with a session of its own, drawn at the area's size at device
// scale 1. It keeps the promises the desktop seam makes for a browser: busy
// until the load event or the engine's own error, stop, end (the target is
// closed and a fresh one opened, which ends a script that never returns),
// what the view shows, the blank cover, pictures and whole pages.
//
// Everything a page may ask of a person is answered at once: its boxes are
// accepted, sign-ins cancelled, downloads refused, new windows closed.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/browser.h"
#include "engine/json.h"
#include "platform/platform.h"
#include "services/pixels.h"

namespace sorvane::engine {

class Page {
 public:
  // `shown` gets each frame the area is to show (the engine's frames while a
  // page loads and waits, white for the cover, the picture at a capture).
  using Shown = std::function<void(const Pixels& frame)>;
  Page(Browser& browser, int width, int height, Shown shown);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // An address in UTF-8, sent as it is.
  void navigate(const std::string& address);
  bool busy() const;
  void stop();
  void end();
  platform::PageShows shows() const;
  void showBlank();
  void resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // What the area shows now, at its size; nothing when the engine cannot draw
  // it and there is no frame of this page to fall back on.
  std::optional<Pixels> picture();
  // The whole document within the bounds (wider than the area where it is).
  std::optional<platform::Platform::Document> document(int widthLimit, int heightLimit);

  // For Browser.
  const std::string& session() const { return target_.session; }
  const std::string& target() const { return target_.id; }
  void onEvent(const std::string& method, const Json& event);
  void targetLost();
  void browserGone();

 private:
  struct Target {
    std::string id;
    std::string session;
    std::string frame;  // the main frame's id
    bool ready = false;
  };
  // What the latest address has come to.
  struct Record {
    std::string address;
    std::uint64_t number = 0;  // which navigate this is
    bool loading = false;
    bool answered = false;  // Page.navigate has answered
    std::string loader;     // its document's loader, once answered
    bool committed = false;
    bool finished = false;
    bool errorPage = false;
    bool painted = false;   // its document has drawn something of its own
  };

  void openTarget();
  void replaceTarget();
  void prepare(std::uint64_t generation);
  void send(std::string_view method, const Params& params, Connection::Reply reply = {});
  void navigateNow();
  void sendAddress();
  void commit();
  void answered(std::uint64_t number, const Json& answer);
  void showWhite();
  void show(const Pixels& frame);
  std::optional<Pixels> screenshot(const Params& params, int width, int height);

  Browser* browser_;
  int width_, height_;
  Shown shown_;
  Target target_;
  std::uint64_t generation_ = 0;  // of the target: answers for an old one are dropped
  std::uint64_t navigations_ = 0;
  Record page_;
  bool pending_ = false;  // an address waits for the target to be ready
  bool covered_ = false;  // the blank cover is on
  bool crashed_ = false;  // the page's process is gone
  std::optional<Pixels> lastFrame_;  // of the page on show
  // The latest document the main frame committed and finished loading, for
  // an answer to Page.navigate that comes after them.
  std::string committedLoader_;
  std::string loadedLoader_;
  std::string paintedLoader_;
};

}  // namespace sorvane::engine
