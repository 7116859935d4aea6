// Sorvane on the Linux desktop (GTK 3 + WebKitGTK).

#include <cstdio>

#include "program.h"
#include "platform/gtk/gtk_platform.h"

int main(int argc, char** argv) {
  auto platform = sorvane::platform::gtk::makeGtkPlatform(&argc, &argv);
  if (!platform) {
    std::fprintf(stderr, "sorvane: cannot open the display\n");
    return 1;
  }
  return sorvane::runProgram(*platform);
}
