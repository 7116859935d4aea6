#pragma once
// Comma-separated rows as RFC 4180 has them, which is what spreadsheet
// programs read: a field holding a comma, a quote or a line end is put in
// quotes with its quotes doubled, and each row ends with CR LF. Bytes are
// passed through as they are, so a text in any code page survives.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "services/values.h"

namespace sorvane::record {

// One row with its line end.
std::string csvRow(const std::vector<std::string_view>& fields);

enum class CsvEnd {
  Whole,      // every row was read
  CutShort,   // the text ends inside a quoted field: its last row was cut off
  Malformed,  // not CSV (text after a closing quote, a quote inside a bare
              // field), or the reader turned a row down
};

struct CsvRead {
  CsvEnd end = CsvEnd::Whole;
  // Where the last row read, or the one cut short, starts.
  std::size_t lastRowStart = 0;
  // Whether the last row read ended with a line end.
  bool lastRowEnded = true;
};

// Calls `row` for each row in turn (fields unquoted); it returns false to turn
// the row down. CR LF and LF both end a row; a text ending in a line end has
// no empty row after it.
CsvRead readCsv(std::string_view text,
                const std::function<bool(const std::vector<std::string>& fields)>& row);

}  // namespace sorvane::record
