#include "record/page_end.h"

namespace sorvane::record {

namespace {

constexpr PageEnd kEnds[] = {PageEnd::Loaded, PageEnd::TimedOut, PageEnd::Failed, PageEnd::Blank};

}  // namespace

const char* pageEndWord(PageEnd end) {
  switch (end) {
    case PageEnd::Loaded: return "loaded";
    case PageEnd::TimedOut: return "timeout";
    case PageEnd::Failed: return "failed";
    case PageEnd::Blank: return "blank";
  }
  return "loaded";
}

std::optional<PageEnd> pageEndFromWord(std::string_view word) {
  for (PageEnd end : kEnds)
    if (word == pageEndWord(end)) return end;
  return std::nullopt;
}

}  // namespace sorvane::record
