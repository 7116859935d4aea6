#pragma once
// The protocol's JSON, read and written through paths ("params.frame.id",
// "result.targetInfos.0.type"). The parser lives in json.cpp alone: nothing
// else in the program sees the library behind it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane::engine {

// A value in a parsed message, or nothing where the path leads nowhere.
class Json {
 public:
  // Nothing when the text is not JSON (a message cut short, a stray byte).
  static std::optional<Json> parse(std::string_view text);

  bool has(std::string_view path) const;
  // "" where the value is absent or not a string.
  std::string text(std::string_view path) const;
  // `fallback` where the value is absent or not a number.
  double number(std::string_view path, double fallback = 0) const;
  std::int64_t integer(std::string_view path, std::int64_t fallback = -1) const;
  bool flag(std::string_view path) const;  // false unless a true boolean
  // The value at the path, for reading its members in turn.
  Json at(std::string_view path) const;
  std::size_t size() const;  // members of an array or object; 0 otherwise

 private:
  struct Root;
  Json(std::shared_ptr<const Root> root, std::string pointer)
      : root_(std::move(root)), pointer_(std::move(pointer)) {}
  std::shared_ptr<const Root> root_;
  std::string pointer_;  // a JSON pointer into the root
};

// A command's parameters, built up by path: set("clip.x", 0) makes the
// object "clip" when it is not there yet.
class Params {
 public:
  Params();
  ~Params();
  Params(const Params&);
  Params& operator=(const Params&);

  Params& set(std::string_view path, std::string_view text);
  Params& set(std::string_view path, const char* text) { return set(path, std::string_view(text)); }
  Params& set(std::string_view path, double number);
  Params& set(std::string_view path, int number) { return set(path, static_cast<double>(number)); }
  Params& set(std::string_view path, bool flag);
  // An array of objects, each made as a Params.
  Params& set(std::string_view path, const std::vector<Params>& items);

  // {"id":…,"method":…,"params":…} with "sessionId" when one is given.
  std::string command(std::int64_t id, std::string_view method, std::string_view session) const;

 private:
  struct Tree;
  std::unique_ptr<Tree> tree_;
};

}  // namespace sorvane::engine
