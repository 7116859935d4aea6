#pragma once
// Reading a whole file into memory, the part every system does alike. The
// buffer is one byte larger than the size the system gave, so that the end is
// seen without growing it; a file that grows while it is read still comes in
// whole; a file too big to hold gives no file rather than no program.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "services/values.h"

namespace sorvane {

// readSome(into, room) reads at most `room` bytes into `into` and says how
// many (0 at the end of the file), or less than 0 when reading failed.
// Nothing when reading failed or the file is too big to hold.
template <typename ReadSome>
std::optional<ByteSet> readWholeFile(std::uint64_t size, ReadSome readSome) {
  std::vector<std::uint8_t> bytes;
  std::size_t used = 0;
  try {
    bytes.resize(static_cast<std::size_t>(size) + 1);
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);  // it grew while being read
      const std::int64_t got = readSome(bytes.data() + used, bytes.size() - used);
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      used += static_cast<std::size_t>(got);
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  bytes.resize(used);
  return ByteSet(std::move(bytes));
}

}  // namespace sorvane
