#pragma once
// How the page of an address ended: said by the run, kept in the record's
// rows and counted on the gallery's cards; a word only where it is written.

#include <optional>
#include <string_view>

namespace sorvane::record {

enum class PageEnd {
  Loaded,    // the page loaded; the picture shows it
  TimedOut,  // its time-out ended the load; the picture shows it as it stood
  Failed,    // the engine could not load it; the picture shows the engine's page
  Blank,     // nothing of its own to show; the picture is a blank page
};

// "loaded", "timeout", "failed", "blank": the record's column and the line per page.
const char* pageEndWord(PageEnd end);
// A record's word read back; nothing for a word that is none of these (a
// record edited by hand).
std::optional<PageEnd> pageEndFromWord(std::string_view word);

}  // namespace sorvane::record
