// GTK 3 backend: the web engine's library, opened on first use (see engine.h).

#include "platform/gtk/engine.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/platform.h"

namespace sorvane::platform::gtk {

namespace {

void* engineLibrary() {
  static void* library = dlopen("libwebkit2gtk-4.1.so.0", RTLD_NOW | RTLD_GLOBAL);
  return library;
}

}  // namespace

bool engineAvailable() { return engineLibrary() != nullptr; }

void* engineSymbol(const char* name) {
  void* library = engineLibrary();
  void* symbol = library ? dlsym(library, name) : nullptr;
  if (!symbol) {
    // Only a broken installation gets here, and no page can be shown then.
    std::fprintf(stderr, "sorvane: %s is missing from the web engine\n", name);
    std::abort();
  }
  return symbol;
}

std::string hostedEngineName() {
  using Version = unsigned (*)();
  auto part = [](const char* name) {
    void* library = engineLibrary();
    void* symbol = library ? dlsym(library, name) : nullptr;
    return symbol ? std::to_string(reinterpret_cast<Version>(symbol)()) : std::string("?");
  };
  return "WebKitGTK " + part("webkit_get_major_version") + "." + part("webkit_get_minor_version") +
         "." + part("webkit_get_micro_version");
}

}  // namespace sorvane::platform::gtk
