#include "engine/page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "services/images.h"

namespace sorvane::engine {

namespace {

// How long a page's address may take before the browser answers it: the
// run's own deadline ends a page long before; this only keeps the command
// table from holding it for ever.
constexpr int kNavigateDeadlineMs = 30 * 60 * 1000;
// A page whose script never returns holds its process, and the next address
// of the same site would be sent to that process and never begin. A page
// that does not answer the smallest question in this time is left for a
// fresh one before the address goes out.
constexpr int kResponsiveWithinMs = 1500;
// A picture of a page held by its script never comes; the area's latest
// frame stands in for it after this.
constexpr int kPictureDeadlineMs = 10000;
// The engine draws into textures of at most 16,384 pixels a side; a whole
// page is taken in bands well inside that, each of bounded size.
constexpr int kBandHeight = 4096;
constexpr std::int64_t kBandPixels = 4096LL * 4096LL;

std::vector<std::uint8_t> fromBase64(const std::string& text) {
  static const auto table = [] {
    std::array<int, 256> t{};
    t.fill(-1);
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(digits[i])] = i;
    return t;
  }();
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int count = 0;
  for (unsigned char c : text) {
    const int v = table[c];
    if (v < 0) continue;  // padding, line ends
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  return out;
}

std::optional<Pixels> decodePicture(const std::string& base64, bool jpeg) {
  const ByteSet bytes(fromBase64(base64));
  return jpeg ? decodeJpeg(bytes) : decodePng(bytes);
}

Pixels white(int width, int height) {
  Pixels p;
  p.width = std::max(width, 1);
  p.height = std::max(height, 1);
  p.bgr.assign(static_cast<std::size_t>(p.width) * p.height * 3, 0xFF);
  return p;
}

Params screencast(int width, int height) {
  return Params()
      .set("format", "png")
      .set("maxWidth", width)
      .set("maxHeight", height)
      .set("everyNthFrame", 1);
}

Params metrics(int width, int height) {
  return Params()
      .set("width", width)
      .set("height", height)
      .set("deviceScaleFactor", 1)
      .set("mobile", false);
}

}  // namespace

Page::Page(Browser& browser, int width, int height, Shown shown)
    : browser_(&browser), width_(width), height_(height), shown_(std::move(shown)) {
  browser_->add(this);
  openTarget();
}

Page::~Page() {
  if (!browser_) return;
  browser_->remove(this);
  if (!target_.id.empty()) {
    browser_->disown(target_.id);
    browser_->connection().send("Target.closeTarget", Params().set("targetId", target_.id), "");
  }
}

void Page::browserGone() {
  browser_ = nullptr;
  target_ = {};
  page_.loading = false;
}

void Page::openTarget() {
  if (!browser_) return;
  const std::uint64_t generation = ++generation_;
  target_ = {};
  browser_->expectTarget(true);
  browser_->connection().send(
      "Target.createTarget", Params().set("url", "about:blank"), "",
      [this, generation](const Json& answer) {
        if (!browser_) return;
        browser_->expectTarget(false);
        const std::string id = answer.text("result.targetId");
        if (id.empty()) return;
        if (generation != generation_) {
          browser_->connection().send("Target.closeTarget", Params().set("targetId", id), "");
          return;
        }
        browser_->adopt(id);
        target_.id = id;
        target_.frame = id;  // a page's main frame has its target's id
        browser_->connection().send(
            "Target.attachToTarget", Params().set("targetId", id).set("flatten", true), "",
            [this, generation](const Json& attached) {
              if (!browser_ || generation != generation_) return;
              target_.session = attached.text("result.sessionId");
              if (!target_.session.empty()) prepare(generation);
            });
      });
}

void Page::prepare(std::uint64_t generation) {
  send("Page.enable", Params());
  send("Page.setLifecycleEventsEnabled", Params().set("enabled", true));
  send("Emulation.setDeviceMetricsOverride", metrics(width_, height_));
  // Every request pauses here so that a sign-in it asks for can be cancelled.
  send("Fetch.enable", Params()
                           .set("handleAuthRequests", true)
                           .set("patterns", std::vector<Params>{Params().set("urlPattern", "*")}));
  send("Page.startScreencast", screencast(width_, height_), [this, generation](const Json&) {
    if (generation != generation_) return;
    target_.ready = true;
    if (pending_) navigateNow();
  });
}

void Page::send(std::string_view method, const Params& params, Connection::Reply reply) {
  if (!browser_ || target_.session.empty()) {
    if (reply) reply(*Json::parse(R"({"error":{"message":"gone"}})"));
    return;
  }
  browser_->connection().send(method, params, target_.session, std::move(reply));
}

void Page::navigate(const std::string& address) {
  page_ = Record{};
  page_.address = address;
  page_.number = ++navigations_;
  page_.loading = browser_ && browser_->alive();
  if (!page_.loading) return;
  // A page whose process died is not sent on: a fresh one is.
  if (crashed_) replaceTarget();
  if (!target_.ready) {
    pending_ = true;
    return;
  }
  navigateNow();
}

void Page::navigateNow() {
  pending_ = false;
  const std::uint64_t number = page_.number;
  const std::uint64_t generation = generation_;
  browser_->connection().send(
      "Runtime.evaluate", Params().set("expression", "0"), target_.session,
      [this, number, generation](const Json& answer) {
        if (!browser_ || generation != generation_ || number != page_.number || !page_.loading)
          return;
        if (answer.text("error.message") != "timeout") return sendAddress();
        replaceTarget();
        pending_ = true;
      },
      kResponsiveWithinMs);
}

void Page::sendAddress() {
  const std::uint64_t number = page_.number;
  const std::uint64_t generation = generation_;
  browser_->connection().send(
      "Page.navigate", Params().set("url", page_.address), target_.session,
      [this, number, generation](const Json& answer) {
        if (generation == generation_) answered(number, answer);
      },
      kNavigateDeadlineMs);
}

void Page::answered(std::uint64_t number, const Json& answer) {
  if (number != page_.number || !page_.loading) return;
  page_.answered = true;
  if (answer.has("error")) {
    // Not an address the engine takes (or no browser left): nothing of it shows.
    page_.loading = false;
    return;
  }
  const std::string error = answer.text("result.errorText");
  if (!error.empty()) {
    page_.loading = false;
    // A stop, or a response turned into a download that was refused, leaves
    // no page; any other failure is answered with the engine's own page.
    if (error != "net::ERR_ABORTED") {
      page_.errorPage = true;
      covered_ = false;
    }
    return;
  }
  page_.loader = answer.text("result.loaderId");
  if (page_.loader.empty()) {
    // A move within the page on show (after '#'): no load of its own.
    page_.loading = false;
    page_.committed = page_.finished = true;
    covered_ = false;
    return;
  }
  if (committedLoader_ == page_.loader) commit();
  if (paintedLoader_ == page_.loader) page_.painted = true;
  if (loadedLoader_ == page_.loader) {
    page_.finished = true;
    page_.loading = false;
  }
}

// The address's own document is on show from now: no frame of the one
// before stands for it any more.
void Page::commit() {
  page_.committed = true;
  covered_ = false;
  lastFrame_.reset();
}

void Page::onEvent(const std::string& method, const Json& event) {
  const Json params = event.at("params");
  if (method == "Page.screencastFrame") {
    send("Page.screencastFrameAck", Params().set("sessionId", static_cast<double>(params.integer("sessionId"))));
    std::optional<Pixels> frame = decodePicture(params.text("data"), false);
    if (!frame) return;
    if (!covered_) {
      lastFrame_ = *frame;
      show(*frame);
    }
  } else if (method == "Page.frameNavigated") {
    if (params.has("frame.parentId")) return;
    const std::string loader = params.text("frame.loaderId");
    committedLoader_ = loader;
    if (page_.answered && !page_.loader.empty() && loader == page_.loader) commit();
  } else if (method == "Page.lifecycleEvent") {
    if (params.text("frameId") != target_.frame) return;
    const std::string name = params.text("name");
    const std::string loader = params.text("loaderId");
    const bool ours = page_.answered && !page_.loader.empty() && loader == page_.loader;
    if (name == "firstPaint" || name == "firstContentfulPaint") {
      paintedLoader_ = loader;
      if (ours) page_.painted = true;
    } else if (name == "load") {
      loadedLoader_ = loader;
      if (ours) {
        page_.finished = true;
        page_.loading = false;
      }
    }
  } else if (method == "Page.frameStoppedLoading") {
    // The page stopped without its load event (a stop): no longer busy.
    if (params.text("frameId") == target_.frame && page_.answered) page_.loading = false;
  } else if (method == "Page.javascriptDialogOpening") {
    // No box may hold a run: alerts, questions and leave-page questions are
    // all answered yes at once, a prompt with its own default text.
    send("Page.handleJavaScriptDialog",
         Params().set("accept", true).set("promptText", params.text("defaultPrompt")));
  } else if (method == "Fetch.requestPaused") {
    send("Fetch.continueRequest", Params().set("requestId", params.text("requestId")));
  } else if (method == "Fetch.authRequired") {
    // A sign-in nobody can answer is cancelled; the page then shows what it
    // shows a visitor who does not sign in.
    send("Fetch.continueWithAuth", Params()
                                       .set("requestId", params.text("requestId"))
                                       .set("authChallengeResponse.response", "CancelAuth"));
  } else if (method == "Inspector.targetCrashed") {
    crashed_ = true;
    page_.loading = false;
  }
}

void Page::targetLost() {
  // The page closed itself, or its process died: the next address gets a
  // fresh target; the area keeps what it showed.
  if (browser_ && !target_.id.empty()) browser_->disown(target_.id);
  page_.loading = false;
  pending_ = false;
  crashed_ = false;
  openTarget();
}

bool Page::busy() const {
  return page_.loading && !crashed_ && browser_ && browser_->alive();
}

void Page::stop() {
  if (pending_) {
    pending_ = false;
    page_.loading = false;
    return;
  }
  const std::uint64_t number = page_.number;
  send("Page.stopLoading", Params(), [this, number](const Json&) {
    if (number == page_.number) page_.loading = false;
  });
}

void Page::replaceTarget() {
  // Closing the target ends its page's process, and with it any script that
  // never returns; the next address goes to a fresh one.
  if (browser_ && !target_.id.empty()) {
    browser_->disown(target_.id);
    browser_->connection().send("Target.closeTarget", Params().set("targetId", target_.id), "");
  }
  crashed_ = false;
  openTarget();
}

void Page::end() {
  page_.loading = false;
  page_.committed = page_.errorPage = false;
  pending_ = false;
  lastFrame_.reset();
  covered_ = true;
  showWhite();
  replaceTarget();
}

platform::PageShows Page::shows() const {
  if (covered_) return platform::PageShows::Nothing;
  if (page_.errorPage) return platform::PageShows::EngineError;
  if (!page_.committed || crashed_) return platform::PageShows::Nothing;
  // Begun but not ended (stopped, or still going): until the new document
  // draws, the engine goes on showing the one before.
  if (!page_.finished && !page_.painted) return platform::PageShows::Nothing;
  return platform::PageShows::Own;
}

void Page::showBlank() {
  covered_ = true;
  showWhite();
}

void Page::resize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  if (!target_.ready) return;
  send("Emulation.setDeviceMetricsOverride", metrics(width_, height_));
  send("Page.stopScreencast", Params());
  send("Page.startScreencast", screencast(width_, height_));
}

void Page::showWhite() { show(white(width_, height_)); }

void Page::show(const Pixels& frame) {
  if (shown_) shown_(frame);
}

std::optional<Pixels> Page::screenshot(const Params& params, int width, int height) {
  if (!browser_ || !target_.ready) return std::nullopt;
  const Json answer = browser_->connection().call("Page.captureScreenshot", params,
                                                  target_.session, kPictureDeadlineMs);
  std::optional<Pixels> picture = decodePicture(answer.text("result.data"), false);
  if (!picture || picture->width != width || picture->height != height) return std::nullopt;
  return picture;
}

std::optional<Pixels> Page::picture() {
  if (covered_ || (!page_.committed && !page_.errorPage)) {
    Pixels blank = white(width_, height_);
    if (!covered_ && lastFrame_) blank = *lastFrame_;  // what the area still shows
    show(blank);
    return blank;
  }
  std::optional<Pixels> picture =
      crashed_ ? std::nullopt
               : screenshot(Params()
                                .set("format", "png")
                                .set("fromSurface", true)
                                .set("optimizeForSpeed", true),
                            width_, height_);
  // A page held by its script draws no picture; what the area shows of it
  // is the latest frame it drew.
  if (!picture) picture = lastFrame_;
  if (picture) show(*picture);
  return picture;
}

std::optional<platform::Platform::Document> Page::document(int widthLimit, int heightLimit) {
  using Document = platform::Platform::Document;
  if (covered_ || crashed_ || !page_.committed || !browser_ || !target_.ready) {
    std::optional<Pixels> shown = picture();
    if (!shown) return std::nullopt;
    return Document{std::move(*shown), false};
  }
  const Json layout =
      browser_->connection().call("Page.getLayoutMetrics", Params(), target_.session,
                                  kPictureDeadlineMs);
  const double contentWidth = layout.number("result.cssContentSize.width",
                                            layout.number("result.contentSize.width", 0));
  const double contentHeight = layout.number("result.cssContentSize.height",
                                             layout.number("result.contentSize.height", 0));
  int width = std::max(width_, static_cast<int>(std::ceil(contentWidth)));
  int height = std::max(height_, static_cast<int>(std::ceil(contentHeight)));
  Document document;
  document.cut = height > heightLimit || width > widthLimit;
  width = std::min(width, widthLimit);
  height = std::min(height, heightLimit);
  Pixels& whole = document.pixels;
  whole.width = width;
  whole.height = height;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  whole.bgr.resize(row * height);
  const int band = static_cast<int>(
      std::max<std::int64_t>(1, std::min<std::int64_t>(kBandHeight, kBandPixels / width)));
  for (int top = 0; top < height; top += band) {
    const int bandHeight = std::min(band, height - top);
    std::optional<Pixels> part =
        screenshot(Params()
                       .set("format", "png")
                       .set("fromSurface", true)
                       .set("optimizeForSpeed", true)
                       .set("captureBeyondViewport", true)
                       .set("clip.x", 0)
                       .set("clip.y", top)
                       .set("clip.width", width)
                       .set("clip.height", bandHeight)
                       .set("clip.scale", 1),
                   width, bandHeight);
    if (!part) {
      // What the view shows is still a picture of the page, if not all of it.
      std::optional<Pixels> shown = picture();
      if (!shown) return std::nullopt;
      return Document{std::move(*shown), true};
    }
    std::memcpy(whole.bgr.data() + row * top, part->bgr.data(), row * bandHeight);
  }
  show(whole);
  return document;
}

}  // namespace sorvane::engine
