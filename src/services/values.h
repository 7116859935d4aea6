#pragma once
// The value kinds the handlers pass around.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// A byte string in the system code page, never holding a zero byte. Lengths and
// positions count bytes. An absent text and the empty text are the same value.
class Text {
 public:
  Text() = default;
  // Takes the bytes up to, not including, the first zero byte.
  Text(std::string_view bytes);  // NOLINT(google-explicit-constructor)
  Text(const char* bytes);       // NOLINT(google-explicit-constructor)
  Text(const std::string& bytes) : Text(std::string_view(bytes)) {}  // NOLINT

  const std::string& bytes() const { return bytes_; }
  std::string_view view() const { return bytes_; }
  const char* c_str() const { return bytes_.c_str(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  // Byte-for-byte equality: no case folding, no trimming.
  friend bool operator==(const Text& a, const Text& b) { return a.bytes_ == b.bytes_; }
  // Concatenation; an empty operand adds nothing.
  friend Text operator+(const Text& a, const Text& b);
  Text& operator+=(const Text& other);

 private:
  std::string bytes_;
};

// A counted sequence of arbitrary bytes: file contents and pictures.
class ByteSet {
 public:
  ByteSet() = default;
  explicit ByteSet(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  ByteSet(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size) {}
  static ByteSet fromString(std::string_view bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  friend bool operator==(const ByteSet&, const ByteSet&) = default;

 private:
  std::vector<std::uint8_t> bytes_;
};

// The handlers number its members from 1; the frame checks those indexes.
using TextArray = std::vector<Text>;

// Days since 30 December 1899 in local time, the time of day as the fraction.
struct DateTime {
  double value = 0.0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

}  // namespace sorvane
