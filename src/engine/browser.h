#pragma once
// A Chromium-family browser as the engine behind the program's browser area:
// started headless as our child, asked for its version before anything else,
// and kept from saving a file or opening a window of its own. Each browser
// area is one Page (page.h) of it.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "services/browser_process.h"
#include "services/values.h"

namespace sorvane::engine {

class Page;

// How long a browser has to answer its first question.
inline constexpr int kReadyWithinMs = 10000;

class Browser {
 public:
  // Starts the browser and waits for its version. Nothing, with `problem`
  // saying why in one line, when it cannot be started or does not answer in
  // `readyWithinMs`; a browser that did not answer has been ended.
  static std::unique_ptr<Browser> start(const BrowserStart& start, Clock clock, Text& problem,
                                        int readyWithinMs = kReadyWithinMs);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // The browser's own name and version, as "Chromium 156.0.8078.73".
  const std::string& product() const { return product_; }
  Connection& connection() { return connection_; }
  bool alive() const { return connection_.alive(); }
  // For the desktop's loop: whatever has come, and the deadlines.
  void pump() { connection_.pump(); }

  // The flags every start gets besides the pipe's own: headless, quiet, and
  // no throttling of a page nobody looks at.
  static std::vector<Text> quietFlags();

  // For Page.
  void add(Page* page) { pages_.insert(page); }
  void remove(Page* page) { pages_.erase(page); }
  // A page target is being made: one that appears meanwhile is that one.
  void expectTarget(bool on) { expecting_ += on ? 1 : -1; }
  void adopt(const std::string& targetId) { ours_.insert(targetId); }
  void disown(const std::string& targetId) { ours_.erase(targetId); }

 private:
  Browser(std::unique_ptr<BrowserProcess> process, Clock clock);
  void onEvent(const Json& event);

  Connection connection_;
  std::string product_;
  std::set<Page*> pages_;
  std::set<std::string> ours_;
  int expecting_ = 0;
};

}  // namespace sorvane::engine
