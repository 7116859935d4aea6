// The one file that includes the JSON library.

#include "engine/json.h"

#include <nlohmann/json.hpp>

namespace sorvane::engine {

using nlohmann::json;

struct Json::Root {
  json value;
};

struct Params::Tree {
  json value = json::object();
};

namespace {

// "a.b.0" as the JSON pointer "/a/b/0"; "~" and "/" in a name are escaped.
std::string pointerOf(std::string_view path) {
  if (path.empty()) return {};
  std::string out = "/";
  for (char c : path) {
    if (c == '.') out += '/';
    else if (c == '~') out += "~0";
    else if (c == '/') out += "~1";
    else out += c;
  }
  return out;
}

const json* find(const json& root, const std::string& pointer) {
  if (pointer.empty()) return &root;
  try {
    const json::json_pointer p(pointer);
    // contains() throws for a numeric step into an object; both are "absent".
    if (!root.contains(p)) return nullptr;
    return &root.at(p);
  } catch (const json::exception&) {
    return nullptr;
  }
}

json& make(json& root, std::string_view path) {
  return root[json::json_pointer(pointerOf(path))];
}

}  // namespace

std::optional<Json> Json::parse(std::string_view text) {
  auto root = std::make_shared<Root>();
  root->value = json::parse(text.begin(), text.end(), nullptr, false);
  if (root->value.is_discarded()) return std::nullopt;
  return Json(std::move(root), {});
}

bool Json::has(std::string_view path) const {
  return root_ && find(root_->value, pointer_ + pointerOf(path)) != nullptr;
}

std::string Json::text(std::string_view path) const {
  const json* v = root_ ? find(root_->value, pointer_ + pointerOf(path)) : nullptr;
  return v && v->is_string() ? v->get<std::string>() : std::string();
}

double Json::number(std::string_view path, double fallback) const {
  const json* v = root_ ? find(root_->value, pointer_ + pointerOf(path)) : nullptr;
  return v && v->is_number() ? v->get<double>() : fallback;
}

std::int64_t Json::integer(std::string_view path, std::int64_t fallback) const {
  const json* v = root_ ? find(root_->value, pointer_ + pointerOf(path)) : nullptr;
  return v && v->is_number() ? static_cast<std::int64_t>(v->get<double>()) : fallback;
}

bool Json::flag(std::string_view path) const {
  const json* v = root_ ? find(root_->value, pointer_ + pointerOf(path)) : nullptr;
  return v && v->is_boolean() && v->get<bool>();
}

Json Json::at(std::string_view path) const { return Json(root_, pointer_ + pointerOf(path)); }

std::size_t Json::size() const {
  const json* v = root_ ? find(root_->value, pointer_) : nullptr;
  return v && (v->is_array() || v->is_object()) ? v->size() : 0;
}

Params::Params() : tree_(std::make_unique<Tree>()) {}
Params::~Params() = default;
Params::Params(const Params& o) : tree_(std::make_unique<Tree>(*o.tree_)) {}
Params& Params::operator=(const Params& o) {
  *tree_ = *o.tree_;
  return *this;
}

Params& Params::set(std::string_view path, std::string_view text) {
  make(tree_->value, path) = std::string(text);
  return *this;
}
Params& Params::set(std::string_view path, double number) {
  // Whole numbers go out as integers: the protocol's integer fields refuse 1.0.
  json& at = make(tree_->value, path);
  if (number == static_cast<double>(static_cast<std::int64_t>(number)))
    at = static_cast<std::int64_t>(number);
  else
    at = number;
  return *this;
}
Params& Params::set(std::string_view path, bool flag) {
  make(tree_->value, path) = flag;
  return *this;
}
Params& Params::set(std::string_view path, const std::vector<Params>& items) {
  json array = json::array();
  for (const Params& item : items) array.push_back(item.tree_->value);
  make(tree_->value, path) = std::move(array);
  return *this;
}

std::string Params::command(std::int64_t id, std::string_view method,
                            std::string_view session) const {
  json message = {{"id", id}, {"method", std::string(method)}, {"params", tree_->value}};
  if (!session.empty()) message["sessionId"] = std::string(session);
  // Text that is not UTF-8 (a stray byte in an address) is replaced, not
  // thrown over.
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace sorvane::engine
