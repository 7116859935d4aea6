#pragma once
// Conversions, cutting and the date-time text. Pure functions: they take their
// arguments by value, return new values and never report an error.

#include <cstdint>

#include "services/codepage.h"
#include "services/values.h"

namespace sorvane {

// toText by the kind of its argument.
Text toText(DateTime value);
Text toText(const ByteSet& bytes);  // up to the first zero byte
Text toText(const Text& text);
// A string literal is text, not a logical (it would otherwise convert to bool).
inline Text toText(const char* text) { return Text(text); }
Text toText(bool logical);        // "真" / "假"
Text toText(std::uint8_t value);  // %u
Text toText(std::int16_t value);  // %d
Text toText(std::int32_t value);  // %d
Text toText(std::int64_t value);
Text toText(float value);   // %.6g
Text toText(double value);  // %.13g

// The date-time text: "2024年3月5日14时7分9秒", with the clamp to
// 1 January 100 .. 31 December 9999 and rounding to the nearest second.
Text dateTimeText(DateTime value);

struct CivilTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
CivilTime civilFromDateTime(DateTime value);  // the clamp and rounding above
DateTime dateTimeFromCivil(const CivilTime& civil);

// The current local time in whole seconds, from the clock source below.
DateTime currentDateTime();
using LocalClockSource = CivilTime (*)(void* context);
// The frame points this at the platform's clock; by default the system clock.
void setLocalClockSource(LocalClockSource source, void* context);

// Folds full-width forms, then parses as atof does ("." as decimal point).
double toNumber(const Text& text, const CodePage& cp = systemCodePage());
ByteSet toBytes(const Text& text);

// Integer conversion: truncate toward zero to 64 bits; out of range or NaN
// gives -2^63; a 32-bit destination keeps the low 32 bits.
std::int64_t toInteger64(double value);
std::int32_t toInteger32(double value);

// The last min(count, size) bytes; empty when count <= 0.
Text rightText(const Text& text, std::int32_t count);
// Without ASCII spaces and full-width spaces; a dangling lead byte is dropped.
Text removeAllSpaces(const Text& text, const CodePage& cp = systemCodePage());

inline constexpr std::int32_t kUnlimitedPieces = INT32_MAX;
// The delimiter is matched only at character starts.
TextArray splitText(const Text& text, const Text& delimiter = Text(","),
                    std::int32_t maxPieces = kUnlimitedPieces,
                    const CodePage& cp = systemCodePage());

// True when the last character (not byte) of text is exactly `ch`.
bool endsWithCharacter(const Text& text, const Text& ch, const CodePage& cp = systemCodePage());

}  // namespace sorvane
