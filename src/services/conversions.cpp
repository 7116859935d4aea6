#include "services/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "services/memory.h"
#include "services/own_text.h"

namespace sorvane {

namespace {

template <class Number>
Text formatted(Number value, std::chars_format format, int precision) {
  // to_chars ignores the process locale: a desktop locale with a decimal comma
  // must not turn 2.5 into "2,5".
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return Text(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

template <class Integer>
Text decimal(Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The longest number at the start of `text`, as atof reads it in the "C" locale:
// white space, sign, digits with an optional point, optional exponent. Hex,
// "inf" and "nan" are not numbers here; they give 0.
double parseLeadingNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isCSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const std::size_t start = pos;
  // Decimal position of the first significant digit, for telling overflow from
  // underflow when from_chars reports the value out of range.
  long magnitude = 0;
  bool significant = false;
  std::size_t digits = 0;
  for (; pos < text.size() && isDigit(text[pos]); ++pos, ++digits) {
    if (text[pos] != '0') significant = true;
    if (significant) ++magnitude;
  }
  if (pos < text.size() && text[pos] == '.') {
    for (++pos; pos < text.size() && isDigit(text[pos]); ++pos, ++digits) {
      if (significant) continue;
      if (text[pos] != '0')
        significant = true;
      else
        --magnitude;
    }
  }
  if (digits == 0) return 0.0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    std::size_t exponentPos = pos + 1;
    bool exponentNegative = false;
    if (exponentPos < text.size() && (text[exponentPos] == '+' || text[exponentPos] == '-')) {
      exponentNegative = text[exponentPos] == '-';
      ++exponentPos;
    }
    if (exponentPos < text.size() && isDigit(text[exponentPos])) {
      long exponent = 0;
      for (pos = exponentPos; pos < text.size() && isDigit(text[pos]); ++pos) {
        if (exponent < 100000000) exponent = exponent * 10 + (text[pos] - '0');
      }
      magnitude += exponentNegative ? -exponent : exponent;
    }
  }
  const std::string_view number = text.substr(start, pos - start);
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

Text toText(const ByteSet& bytes) {
  return Text(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Text toText(const Text& text) { return text; }
Text toText(bool logical) { return ownText(logical ? "真" : "假"); }
Text toText(std::uint8_t value) { return decimal(static_cast<unsigned>(value)); }
Text toText(std::int16_t value) { return decimal(static_cast<int>(value)); }
Text toText(std::int32_t value) { return decimal(value); }
Text toText(std::int64_t value) { return decimal(value); }
Text toText(float value) {
  return formatted(static_cast<double>(value), std::chars_format::general, 6);
}
Text toText(double value) { return formatted(value, std::chars_format::general, 13); }

double toNumber(const Text& text, const CodePage& cp) {
  // Full-width digits, signs and points typed with a Chinese input method count
  // as their ASCII forms.
  const std::string_view in = text.view();
  std::string folded;
  folded.reserve(in.size());
  for (std::size_t pos = 0; pos < in.size();) {
    const std::size_t length = cp.charLength(in, pos);
    if (length == 0) break;  // dangling lead byte
    const std::string_view ch = in.substr(pos, length);
    const int ascii = length > 1 ? cp.foldToAscii(ch) : -1;
    if (ascii >= 0) {
      folded.push_back(static_cast<char>(ascii));
    } else {
      folded.append(ch);
    }
    pos += length;
  }
  return parseLeadingNumber(folded);
}

ByteSet toBytes(const Text& text) { return ByteSet::fromString(text.view()); }

std::int64_t toInteger64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (std::isnan(value) || value >= kLimit || value < -kLimit) {
    return std::numeric_limits<std::int64_t>::min();
  }
  return static_cast<std::int64_t>(value);
}

std::int32_t toInteger32(double value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(toInteger64(value)));
}

Text rightText(const Text& text, std::int32_t count) {
  if (count <= 0) return Text();
  const std::size_t take = std::min(static_cast<std::size_t>(count), text.size());
  return Text(text.view().substr(text.size() - take));
}

Text removeAllSpaces(const Text& text, const CodePage& cp) {
  const std::string_view in = text.view();
  const std::string_view wideSpace = cp.fullWidthSpace();
  return guardAllocation(in.size(), [&] {
    std::string out;
    out.reserve(in.size());
    for (std::size_t pos = 0; pos < in.size();) {
      const std::size_t length = cp.charLength(in, pos);
      if (length == 0) break;  // dangling lead byte
      const std::string_view ch = in.substr(pos, length);
      if (ch != " " && ch != wideSpace) out.append(ch);
      pos += length;
    }
    return Text(out);
  });
}

TextArray splitText(const Text& text, const Text& delimiter, std::int32_t maxPieces,
                    const CodePage& cp) {
  const std::int64_t limit = maxPieces < 0 ? 0 : maxPieces;
  if (text.empty() || limit == 0) return {};
  if (delimiter.empty()) return {text};

  const std::string_view in = text.view();
  const std::string_view delim = delimiter.view();
  return guardAllocation(in.size(), [&] {
    TextArray pieces;
    std::size_t pieceStart = 0;
    std::size_t pos = 0;
    while (in.size() - pos >= delim.size()) {
      if (in.compare(pos, delim.size(), delim) == 0) {
        pieces.emplace_back(in.substr(pieceStart, pos - pieceStart));
        pos += delim.size();
        pieceStart = pos;
        if (static_cast<std::int64_t>(pieces.size()) == limit) return pieces;
        continue;
      }
      const std::size_t length = cp.charLength(in, pos);
      if (length == 0) break;  // dangling lead byte
      pos += length;
    }
    if (pieceStart < in.size()) pieces.emplace_back(in.substr(pieceStart));
    return pieces;
  });
}

bool endsWithCharacter(const Text& text, const Text& ch, const CodePage& cp) {
  const std::string_view in = text.view();
  std::size_t last = 0;
  for (std::size_t pos = 0; pos < in.size();) {
    const std::size_t length = cp.charLength(in, pos);
    if (length == 0) return false;  // ends in a dangling lead byte, not in `ch`
    last = pos;
    pos += length;
  }
  return !in.empty() && !ch.empty() && in.substr(last) == ch.view();
}

}  // namespace sorvane
