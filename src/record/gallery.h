#pragma once
// The gallery beside the record (截图记录.html): the latest runs' pages as
// cards with their pictures, to look at from the folder itself, with no
// server. It is rewritten whole after every row the record takes, under a
// temporary name first, so it is current while a run goes on and whole after
// a crash.
//
// The record's rows do not say which run they belong to. The run going on is
// known exactly (every row since the run started); earlier runs are told
// apart by their rows: a run visits each address of its list once, so a row
// starts a new run when its address already appeared in the run before it,
// or when it comes more than ten minutes after the row before it.
//
// The record is read when a run reaches its first page (as the record reads
// it), keeping only the rows the page can show; later rows are added as they
// come. The page holds the newest runs, whole, up to a bound of pages (the
// newest run alone may be cut to the bound), and links the record for the
// rest.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "record/gallery_html.h"
#include "services/values.h"

namespace sorvane::record {

struct RecordRow;

// The gallery's name in the capture folder.
const Text& galleryFileName();

// Whether `row` begins a new run after the rows fed before it, as the rule
// above has it; times are the record's "2026-12-08 07:00:04".
class RunSplitter {
 public:
  bool startsRun(std::string_view time, const std::string& url);

 private:
  std::optional<std::int64_t> lastSeconds_;
  std::unordered_set<std::size_t> urls_;  // hashes: a record may hold 100,000 rows
  bool first_ = true;
};

class Gallery {
 public:
  static constexpr std::size_t kPageBound = 2000;

  // A page that cannot be written is told through `say` once a run.
  explicit Gallery(std::function<void(const Text&)> say, std::size_t bound = kPageBound);

  // The next row begins a run; the record is read again then.
  void startRun() { loadedFolder_.reset(); }
  // This process carries on a run another one began (a worker after one that
  // was ended): its first row joins the record's last run where the rule
  // above allows, instead of opening a section of its own.
  void continueRun() { continues_ = true; }
  // Which engine drew this process's pages, for the heading of their run
  // (UTF-8; the record's rows do not keep it, so earlier runs do not say).
  void setEngine(std::string name) { engine_ = std::move(name); }

  // After the record has taken `row` in `folder` (which ends in a separator):
  // the page with it. False when the page could not be written.
  bool add(const Text& folder, const RecordRow& row);

 private:
  struct Page {
    std::string time;
    std::string url;
    std::optional<PageEnd> end;
    bool changed = false;
    bool startsRun = false;
    std::string engine;  // what drew it, where this process knows
    std::string card;  // its HTML, made once
  };

  void load(const Text& folder, const RecordRow& row);
  Page page(const Text& folder, std::string_view time, const std::string& url,
            const std::string& picture, std::optional<PageEnd> end, std::string_view otherEnd,
            const std::string& change,
            NoPicture why) const;
  // The page; the rows it can no longer show are let go.
  std::string compose();

  RunSplitter splitter_;   // as it stood after the record's rows
  bool continues_ = false;
  std::string engine_;

  std::function<void(const Text&)> say_;
  std::size_t bound_;
  std::optional<Text> loadedFolder_;
  std::deque<Page> pages_;     // oldest first; the first may be a run's later part
  std::uint64_t earlier_ = 0;  // rows of the record before pages_
  bool nextStartsRun_ = true;
  bool failed_ = false;  // said once a run
};

}  // namespace sorvane::record
