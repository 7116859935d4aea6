// GTK 3 backend: the web engine's library, opened on first use (see engine.h).

#include "platform/gtk/engine.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace sorvane::platform::gtk
