// The scripted browser and synthetic captures.

#include <algorithm>
#include <string_view>

#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

namespace {

// The document an address names: a fragment only moves within it.
std::string_view documentOf(std::string_view url) { return url.substr(0, url.find('#')); }

}  // namespace

bool SimPlatform::loadEnded(const BrowserState::Load& load) const {
  return !load.script.neverEnds && now_ >= load.startMs + load.script.durationMs;
}

void SimPlatform::navigateNative(WidgetState& w, const std::string& url) {
  BrowserState& b = w.browser;
  navigations_.push_back({w.id, url, now_});
  // An address that differs from the page on show only after '#' moves
  // within that page, as a real engine does: no load, and the page stays.
  if (b.load && !b.ended && url.find('#') != std::string::npos &&
      documentOf(url) == documentOf(b.load->url)) {
    BrowserState uncovered = b;
    uncovered.blank = false;
    if (shows(uncovered) == platform::PageShows::Own) {
      b.blank = false;
      b.load->url = url;
      return;
    }
  }
  // A load that has ended is what the page shows until the new one ends; one
  // still running is dropped, and the view keeps what it showed before it.
  if (b.load && loadEnded(*b.load) && !b.blank) {
    switch (shows(b)) {
      case platform::PageShows::Own: b.shown = pageColour(b.load->url); b.showsPage = true; break;
      case platform::PageShows::EngineError: b.shown = errorPage_; b.showsPage = true; break;
      case platform::PageShows::Nothing: break;
    }
  }
  if (b.blank) {
    b.shown = kWhite;
    b.showsPage = false;
  }
  b.blank = false;
  b.ended = false;
  LoadScript script;
  script.durationMs = defaultLoadMs_;
  if (auto it = loadScripts_.find(url); it != loadScripts_.end()) script = it->second;
  b.load = BrowserState::Load{url, now_, script};
}

bool SimPlatform::busyNative(const WidgetState& w) const {
  return w.browser.load && !loadEnded(*w.browser.load);
}

void SimPlatform::stopNative(WidgetState& w) {
  if (!w.browser.load || loadEnded(*w.browser.load)) return;
  stoppedLoads_.push_back(now_);
  // A stopped page shows what had arrived of it: here, the page itself,
  // unless it had drawn nothing yet.
  BrowserState::Load& load = *w.browser.load;
  if (load.script.holdsEngine) return;
  load.script.neverEnds = false;
  load.script.fails = false;
  load.script.showsNothing = load.script.drawsNothing;
  load.script.durationMs = static_cast<int>(now_ - load.startMs);
}

void SimPlatform::endPageNative(WidgetState& w) {
  if (!w.browser.load) return;
  endedPages_.push_back(now_);
  BrowserState::Load& load = *w.browser.load;
  const bool running = !loadEnded(load);
  w.browser.ended = true;
  if (!running) return;
  // The engine's process is gone: what it had drawn goes with it.
  load.script = LoadScript{};
  load.script.showsNothing = true;
  load.script.durationMs = static_cast<int>(now_ - load.startMs);
}

platform::PageShows SimPlatform::shows(const BrowserState& b) const {
  if (b.blank || !b.load || !loadEnded(*b.load)) return platform::PageShows::Nothing;
  if (b.load->script.showsNothing) return platform::PageShows::Nothing;
  if (b.load->script.fails) return platform::PageShows::EngineError;
  return platform::PageShows::Own;
}

void SimPlatform::keepAwake(bool on) { awakeChanges_.emplace_back(now_, on); }

void SimPlatform::showProgress(int done, int total) {
  progressShown_.push_back({now_, done, total});
}

void SimPlatform::setPageColour(const std::string& url, std::uint8_t r, std::uint8_t g,
                                std::uint8_t b) {
  pageColours_[std::string(documentOf(url))] = Rgb{r, g, b};
}

Rgb SimPlatform::pageColour(const std::string& url) const {
  const std::string document(documentOf(url));
  if (auto it = pageColours_.find(document); it != pageColours_.end()) return it->second;
  // FNV-1a of the address; kept away from white so a page never looks blank.
  std::uint32_t h = 2166136261u;
  for (unsigned char c : document) h = (h ^ c) * 16777619u;
  return Rgb{static_cast<std::uint8_t>(h & 0x7F), static_cast<std::uint8_t>((h >> 8) & 0xFF),
             static_cast<std::uint8_t>((h >> 16) & 0xFF)};
}

Rgb SimPlatform::shownColour(WidgetId browser) const {
  const WidgetState* w = find(browser);
  if (!w) return kWhite;
  const BrowserState& b = w->browser;
  if (b.blank) return kWhite;
  switch (shows(b)) {
    case platform::PageShows::Own: return pageColour(b.load->url);
    case platform::PageShows::EngineError: return errorPage_;
    case platform::PageShows::Nothing: break;
  }
  return b.showsPage ? b.shown : kWhite;
}

std::optional<platform::Pixels> SimPlatform::captureNative(WidgetId widget) {
  platform::Pixels out;
  ++captureCount_;
  if (failNextCapture_) {
    failNextCapture_ = false;
    return std::nullopt;
  }
  int width = screenWidth_, height = screenHeight_;
  Rgb colour = screenColour_;
  if (widget != 0) {
    const WidgetState* w = find(widget);
    if (!w) return std::nullopt;
    width = w->rect.width;
    height = w->rect.height;
    colour = w->widgetSpec.kind == WidgetKind::Browser ? shownColour(widget) : kButtonFaceRgb;
  }
  if (width <= 0 || height <= 0) return std::nullopt;
  out.width = width;
  out.height = height;
  out.bgr.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < out.bgr.size(); i += 3) {
    out.bgr[i] = colour.b;
    out.bgr[i + 1] = colour.g;
    out.bgr[i + 2] = colour.r;
  }
  return out;
}

std::optional<platform::Platform::Document> SimPlatform::documentNative(WidgetId browser,
                                                                        int widthLimit,
                                                                        int heightLimit) {
  const WidgetState* w = find(browser);
  if (!w || w->widgetSpec.kind != WidgetKind::Browser) return std::nullopt;
  if (whileDrawingDocument) whileDrawingDocument();
  std::optional<platform::Pixels> view = capture(browser);
  if (!view) return std::nullopt;
  const BrowserState& b = w->browser;
  const bool own = !b.blank && shows(b) == platform::PageShows::Own;
  const int width = own ? std::max(view->width, b.load->script.documentWidth) : view->width;
  const int height = own ? std::max(view->height, b.load->script.documentHeight) : view->height;
  Document document;
  document.cut = width > widthLimit || height > heightLimit;
  platform::Pixels& out = document.pixels;
  out.width = std::min(width, widthLimit);
  out.height = std::min(height, heightLimit);
  out.bgr.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  for (std::size_t i = 0; i < out.bgr.size(); i += 3)
    std::copy_n(view->bgr.data(), 3, out.bgr.data() + i);
  return document;
}

}  // namespace sorvane::sim
