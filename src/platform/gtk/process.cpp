// GTK 3 backend: the process around the window. Runs started by cron or a
// script meet what a desktop never shows: standard streams that are closed,
// a termination signal, a display that goes away under the program.

#include <fcntl.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/gtk/backend.h"
#include "platform/gtk/platform.h"

namespace sorvane::platform::gtk {

namespace {

// What the handlers below reach: the newest platform still alive. Tests make
// more than one; a platform that ends hands the process back to the one
// before it, and the signal sources are the process's, made once.
GtkPlatform* current = nullptr;
std::vector<GtkPlatform*> watching;
std::vector<guint> signalSources;

void writeError(const char* text) {
  // Called where stdio may be in any state: straight to the descriptor.
  ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

int onDisplayLost(Display*) {
  // The display is gone, and with it every window and box: nothing can be
  // shown or asked any more. The pages' processes are ended first, so none
  // of them goes on spinning after the program.
  if (current) current->endPages();
  writeError("sorvane: 错误 运行时出错! 错误信息：与显示器的连接已断开\n");
  ::_exit(255);
}

gboolean onTerminationSignal(gpointer data) {
  const int signal = GPOINTER_TO_INT(data);
  if (current && current->closeForSignal()) return G_SOURCE_CONTINUE;
  // A second signal while the window is still closing, or nothing to close:
  // end now, pages first.
  if (current) current->endPages();
  ::_exit(128 + signal);
}

}  // namespace

void prepareProcess() {
  // A descriptor left closed by the caller would be handed to the next file
  // opened, the display connection among them, and the program's lines would
  // go there.
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  // A reader that goes away (a pipe into `head`) ends only the lines.
  ::signal(SIGPIPE, SIG_IGN);
}

void GtkPlatform::watchProcess() {
  watching.push_back(this);
  current = this;
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) XSetIOErrorHandler(onDisplayLost);
  // Ending as closing the window does, from the loop, where the program can
  // finish its run and end the engine's processes. One source per signal: a
  // second would end the process while the first is closing the window.
  if (!signalSources.empty()) return;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    signalSources.push_back(
        g_unix_signal_add(signal, onTerminationSignal, GINT_TO_POINTER(signal)));
}

void GtkPlatform::unwatchProcess() {
  std::erase(watching, this);
  current = watching.empty() ? nullptr : watching.back();
  if (!watching.empty()) return;
  for (guint source : signalSources) g_source_remove(source);
  signalSources.clear();
}

bool GtkPlatform::closeForSignal() {
  if (closingForSignal_ || !reporting()) return false;
  closingForSignal_ = true;
  const std::vector<WidgetId> tops = widgets_.roots();
  if (tops.empty()) return false;
  // Boxes and dialogs open in nested loops end with their windows.
  for (WidgetId id : tops) report([&](EventSink& sink) { sink.closeRequested(id); });
  for (GMainLoop* loop : loops_) g_main_loop_quit(loop);
  return true;
}

void GtkPlatform::endPages() {
  for (auto& [id, w] : widgets_)
    if (w.browser) endBrowserPage(*w.browser);
  // Our own engine's browser, with every process it started.
  if (engine::Browser* browser = pageEngine()) browser->connection().close();
}

}  // namespace sorvane::platform::gtk
