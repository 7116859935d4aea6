#include "services/values.h"

#include "services/memory.h"

namespace sorvane {

Text::Text(std::string_view bytes)
    : bytes_(guardAllocation(bytes.size(),
                             [&] { return std::string(bytes.substr(0, bytes.find('\0'))); })) {}

Text::Text(const char* bytes) : Text(bytes ? std::string_view(bytes) : std::string_view()) {}

Text operator+(const Text& a, const Text& b) {
  Text result;
  result.bytes_ = guardAllocation(a.size() + b.size(), [&] {
    std::string joined;
    joined.reserve(a.size() + b.size());
    joined.append(a.bytes_).append(b.bytes_);
    return joined;
  });
  return result;
}

Text& Text::operator+=(const Text& other) {
  guardAllocation(bytes_.size() + other.size(), [&] { bytes_.append(other.bytes_); });
  return *this;
}

ByteSet ByteSet::fromString(std::string_view bytes) {
  return guardAllocation(bytes.size(), [&] {
    return ByteSet(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

}  // namespace sorvane
