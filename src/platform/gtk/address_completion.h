#pragma once
// What the engine is given for an address as a person typed it. The program
// passes every address unchanged; completing one is the engine's business,
// and WebKitGTK, unlike a browser's address bar, loads only whole URLs.
// No toolkit type here, so the rules can be tested on their own.

#include <string>

namespace sorvane::platform::gtk {

// - A URL with a scheme ("http://…", "about:blank", "data:…") stays as it is.
// - An absolute path, or one under "~/", becomes a file URL, its bytes
//   escaped, so that spaces, '#', '%' and Chinese names reach the right file.
// - Anything else is a host with an optional port and path and gets
//   "http://" ("localhost:3000", "[::1]:8080/x", "user@host").
// - Blanks around the text are dropped; nothing at all is "about:blank".
// `home` is the folder "~" stands for. The bytes are the program's own
// (UTF-8 on Linux); the result may still hold non-ASCII in a host or path,
// which the engine's URL parser encodes itself.
std::string completeAddress(const std::string& typed, const std::string& home);

}  // namespace sorvane::platform::gtk
