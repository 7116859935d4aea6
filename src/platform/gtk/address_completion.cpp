#include "platform/gtk/address_completion.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace sorvane::platform::gtk {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Schemes that stand without "//" after them. With "//" any scheme is taken
// as one: the engine says what it makes of an unknown one.
constexpr std::array<std::string_view, 13> kKnownSchemes = {
    "about",      "blob",   "data",     "file",        "ftp", "http", "https",
    "javascript", "mailto", "resource", "view-source", "ws",  "wss"};

bool isKnownScheme(std::string_view scheme) {
  const std::string s = lower(scheme);
  return std::find(kKnownSchemes.begin(), kKnownSchemes.end(), s) != kKnownSchemes.end();
}

// The scheme a text starts with (letters, then letters, digits, '+', '-',
// '.', then ':'), or empty.
std::string_view schemeOf(std::string_view text) {
  if (text.empty() || !isAsciiAlpha(text[0])) return {};
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return text.substr(0, i);
    if (!isAsciiAlpha(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

// "8080", "8080/page", "3000?q" after a host: a port, not a scheme's data.
bool startsWithPort(std::string_view rest) {
  std::size_t digits = 0;
  while (digits < rest.size() && isAsciiDigit(rest[digits])) ++digits;
  if (digits == 0 || digits > 5) return false;
  return digits == rest.size() || rest[digits] == '/' || rest[digits] == '?' || rest[digits] == '#';
}

// "name:secret@host": the colon belongs to the user's part of a host.
bool isUserInfo(std::string_view text) {
  const std::size_t at = text.find('@');
  const std::size_t end = text.find_first_of("/?#");
  return at != std::string_view::npos && (end == std::string_view::npos || at < end);
}

std::string fileUrl(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    // Unreserved characters and those a path may hold as they are; '%', '#',
    // '?', blanks and every byte of a multi-byte name are escaped.
    if (isAsciiAlpha(c) || isAsciiDigit(c) ||
        std::string_view("-._~/!$&'()*+,;=:@").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

}  // namespace

std::string completeAddress(const std::string& typed, const std::string& home) {
  std::string_view text(typed);
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return "about:blank";

  if (text.front() == '/') return fileUrl(text);
  if (text == "~" || text.starts_with("~/")) {
    std::string path = home;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return fileUrl(path + std::string(text.substr(1)));
  }

  const std::string_view scheme = schemeOf(text);
  if (!scheme.empty()) {
    const std::string_view rest = text.substr(scheme.size() + 1);
    if (rest.starts_with("//") || isKnownScheme(scheme)) return std::string(text);
    // Not a scheme but a host: "localhost:3000", "example.com:8080/x",
    // "name:secret@host". A scheme never has a dot in practice, so
    // "www.example.com:…" is a host whatever follows the colon.
    const bool host =
        startsWithPort(rest) || isUserInfo(text) || scheme.find('.') != std::string_view::npos;
    if (!host) return std::string(text);  // "tel:123", "magnet:?…": the engine decides
  }
  return "http://" + std::string(text);
}

}  // namespace sorvane::platform::gtk
