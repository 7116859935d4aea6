#include "engine/browser.h"

#include "engine/page.h"
#include "services/own_text.h"

namespace sorvane::engine {

namespace {

// "HeadlessChrome/156.0.8078.73" as "Chromium 156.0.8078.73": the family's
// name, whichever of its browsers it is, and the version that drew.
std::string productName(const std::string& product) {
  const std::size_t slash = product.find('/');
  if (slash == std::string::npos) return product;
  const std::string name = product.substr(0, slash);
  const std::string version = product.substr(slash + 1);
  if (name == "HeadlessChrome" || name == "Chrome") return "Chromium " + version;
  return name + " " + version;
}

// A page that names no character set is read as a Chinese reader's own
// browser reads it, GBK, as with the other engines; nothing is remembered
// and nothing asks a person anything.
constexpr const char* kPreferences =
    R"({"intl":{"charset_default":"GBK","accept_languages":"zh-CN,zh"},)"
    R"("profile":{"exit_type":"Normal","password_manager_enabled":false},)"
    R"("credentials_enable_service":false,"download":{"prompt_for_download":false},)"
    R"("translate":{"enabled":false}})";

}  // namespace

std::vector<Text> Browser::quietFlags() {
  return {"--headless=new",
          "--no-first-run",
          "--no-default-browser-check",
          "--disable-background-networking",
          "--disable-component-update",
          "--disable-extensions",
          "--disable-sync",
          "--disable-default-apps",
          "--disable-background-timer-throttling",
          "--disable-backgrounding-occluded-windows",
          "--disable-renderer-backgrounding",
          // A spare page process waiting for the next site costs memory we
          // never use: each area has one page at a time.
          "--disable-features=Translate,MediaRouter,OptimizationHints,"
          "SpareRendererForSitePerProcess",
          "--disable-component-extensions-with-background-pages",
          "--password-store=basic",
          "--use-mock-keychain",
          "--mute-audio",
          "--hide-crash-restore-bubble"};
}

Browser::Browser(std::unique_ptr<BrowserProcess> process, Clock clock)
    : connection_(std::move(process), std::move(clock)) {
  connection_.onEvent([this](const Json& event) { onEvent(event); });
}

Browser::~Browser() {
  // Pages outlive nothing of ours: they are told the browser has gone.
  for (Page* page : std::set<Page*>(pages_)) page->browserGone();
  connection_.close();
}

std::unique_ptr<Browser> Browser::start(const BrowserStart& start, Clock clock, Text& problem,
                                        int readyWithinMs) {
  BrowserStart withFlags = start;
  std::vector<Text> flags = quietFlags();
  flags.insert(flags.end(), start.arguments.begin(), start.arguments.end());
  withFlags.arguments = std::move(flags);
  if (withFlags.preferences.empty()) withFlags.preferences = kPreferences;
  std::unique_ptr<BrowserProcess> process = startBrowserProcess(withFlags, problem);
  if (!process) return nullptr;
  std::unique_ptr<Browser> browser(new Browser(std::move(process), std::move(clock)));
  const Json version = browser->connection_.call("Browser.getVersion", Params(), "", readyWithinMs);
  if (!version.has("result.product")) {
    problem = ownText("浏览器没有应答（") + Text(start.program.empty() ? "" : start.program) +
              ownText("）：") + Text(version.text("error.message"));
    browser->connection_.close();
    return nullptr;
  }
  browser->product_ = productName(version.text("result.product"));
  Connection& c = browser->connection_;
  // Nothing a page sends is ever saved as a file.
  c.send("Browser.setDownloadBehavior", Params().set("behavior", "deny"), "");
  // To hear of windows the pages open, and close them.
  // Waited for: the tab the browser opened at start is announced, and closed,
  // before any page of ours is made.
  c.call("Target.setDiscoverTargets", Params().set("discover", true), "");
  return browser;
}

void Browser::onEvent(const Json& event) {
  const std::string method = event.text("method");
  const std::string session = event.text("sessionId");
  if (!session.empty()) {
    for (Page* page : pages_)
      if (page->session() == session) return page->onEvent(method, event);
    return;
  }
  if (method == "Target.targetCreated") {
    const Json info = event.at("params.targetInfo");
    const std::string id = info.text("targetId");
    if (info.text("type") != "page" || ours_.contains(id) || expecting_ > 0) return;
    // A window a page opened, or the tab the browser opens at start: not ours.
    connection_.send("Target.closeTarget", Params().set("targetId", id), "");
    return;
  }
  if (method == "Target.targetDestroyed" || method == "Target.detachedFromTarget" ||
      method == "Target.targetCrashed") {
    const std::string id = event.text("params.targetId");
    for (Page* page : std::set<Page*>(pages_))
      if (!id.empty() && page->target() == id) page->targetLost();
  }
}

}  // namespace sorvane::engine
