#pragma once
// The pieces of the gallery page (截图记录.html). The page is UTF-8 whatever
// the system's code page, so everything here takes and gives UTF-8; the
// gallery converts the record's texts on their way in.
//
// Everything taken from the record is escaped, because the record holds
// addresses as they were listed, from anyone: an address is a link only when
// it is plainly a web or file address, and a picture's name is a relative
// reference with every byte but the plain ones percent-encoded, so no name can
// turn into a scheme, a query or a path above the folder.

#include <cstddef>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>

#include "record/page_end.h"

namespace sorvane::record {

// Why a page has no picture.
enum class NoPicture {
  Unknown,   // a row read from the record: it does not say
  NotTaken,  // "截图" was not ticked
  NotSaved,  // the picture could not be taken or written
};

namespace html {

// Text safe between tags and inside a quoted attribute: & < > " ' become
// references; control characters other than tab and line ends become U+FFFD.
std::string escape(std::string_view utf8);

// Whether the address may be a link: it starts with "http:", "https:" or
// "file:" (in any case). Anything else (javascript:, data:, a leading space,
// a relative address) is shown as text only.
bool linkable(std::string_view address);

// A file name in the folder as a relative reference: its characters beyond
// ASCII as they are (the page is UTF-8), every ASCII byte outside
// A-Z a-z 0-9 - . _ ~ percent-encoded, and so is a byte that is no part of a
// UTF-8 character. The name must be the UTF-8 form of the file's name.
std::string fileReference(std::string_view utf8Name);

// One page as its card shows it. Texts are UTF-8.
struct Card {
  std::string time;                // "2026-12-08 07:00:04"
  std::string url;                 // as listed
  std::string picture;             // its name in the folder; empty: none
  std::optional<PageEnd> end;      // nothing: a word in the record that is none of ours
  std::string otherEnd = {};       // that word, shown as it stands
  std::string change;              // "new", "0.0" … "100.0"; empty without a picture
  std::string changePicture = {};  // the "-变化" picture's name when it is there
  NoPicture why = NoPicture::Unknown;
};

// Whether a change figure says something changed ("0.1" and up).
bool changed(std::string_view change);

// The card's HTML; made once per page and kept.
std::string card(const Card& c);

// The counts a run's heading shows.
struct RunCounts {
  std::size_t pages = 0, loaded = 0, changed = 0, timedOut = 0, failed = 0, blank = 0;
  void count(std::optional<PageEnd> end, bool changedPage);
};

// Up to and including the filter; `earlier` rows of the record are not shown
// (the page then links the record for them).
std::string pageStart(std::size_t runs, std::size_t pages, std::uint64_t earlier);
// A run's section, up to where its cards go; `cut` says its earliest pages
// are left out; `engine`, where known, what drew them.
std::string runStart(std::string_view startedAt, const RunCounts& counts, bool cut,
                     std::string_view engine = {});
std::string runEnd();
// The rest of the page, with its script.
std::string pageEnd();

}  // namespace html
}  // namespace sorvane::record
