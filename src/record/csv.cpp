#include "record/csv.h"

namespace sorvane::record {

std::string csvRow(const std::vector<std::string_view>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string_view f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string_view::npos) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
  return out;
}

CsvRead readCsv(std::string_view text,
                const std::function<bool(const std::vector<std::string>& fields)>& row) {
  CsvRead read;
  std::vector<std::string> fields;
  std::size_t pos = 0;
  const std::size_t size = text.size();
  while (pos < size) {
    const std::size_t rowStart = pos;
    fields.clear();
    bool rowEnded = false;
    // One field per turn; the row ends at a line end or at the end of the text.
    for (;;) {
      std::string field;
      if (pos < size && text[pos] == '"') {
        ++pos;
        for (;;) {
          const std::size_t quote = text.find('"', pos);
          if (quote == std::string_view::npos) {
            read.end = CsvEnd::CutShort;
            read.lastRowStart = rowStart;
            read.lastRowEnded = false;
            return read;
          }
          field.append(text.substr(pos, quote - pos));
          pos = quote + 1;
          if (pos < size && text[pos] == '"') {
            field += '"';
            ++pos;
            continue;
          }
          break;
        }
        if (pos < size && text[pos] != ',' && text[pos] != '\n' &&
            !(text[pos] == '\r' && pos + 1 < size && text[pos + 1] == '\n')) {
          read.end = CsvEnd::Malformed;
          read.lastRowStart = rowStart;
          return read;
        }
      } else {
        // A plain loop: find_first_of looks each byte up in the set with a call.
        std::size_t end = pos;
        while (end < size && text[end] != ',' && text[end] != '\n' && text[end] != '"') ++end;
        if (end < size && text[end] == '"') {
          read.end = CsvEnd::Malformed;
          read.lastRowStart = rowStart;
          return read;
        }
        std::size_t fieldEnd = end;
        if (end < size && text[end] == '\n' && fieldEnd > pos && text[fieldEnd - 1] == '\r')
          --fieldEnd;
        field.assign(text.substr(pos, fieldEnd - pos));
        pos = fieldEnd;
      }
      fields.push_back(std::move(field));
      if (pos >= size) break;
      if (text[pos] == ',') {
        ++pos;
        continue;
      }
      pos += text[pos] == '\r' ? 2 : 1;  // CR LF or LF
      rowEnded = true;
      break;
    }
    read.lastRowStart = rowStart;
    read.lastRowEnded = rowEnded;
    if (!row(fields)) {
      read.end = CsvEnd::Malformed;
      return read;
    }
  }
  return read;
}

}  // namespace sorvane::record
