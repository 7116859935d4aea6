// bench_idle_cost: what the program costs while a run waits on a loaded page.
//
//   tests/run-under-display build/bench/bench_idle_cost [SECONDS] [SETTLE]
//
// The whole program runs in-process on the GTK platform with its own main
// loop (no polling of ours in between): one address, a small still page served
// from 127.0.0.1 by a service that sleeps until a connection comes (a
// server thread waking up to poll would count as the program's), is added with 按钮2, the pause
// 编辑框3 set to 1000 seconds and 按钮1 clicked. When the page has loaded and SETTLE (10) more
// seconds have passed, so that start-up work of the engine is over, the CPU time (user and system)
// of this process and of every descendant (the engine's web and network processes) is read from
// /proc/PID/stat; the loop then runs SECONDS (60) with nothing happening but the run's own dwell,
// and the CPU time is read again. Prints the CPU used as a share of one core, for each process and
// in all, and the memory of the whole tree at the end (RSS and PSS). A process that starts within
// the window counts with all its time; one that ends within it is named, since its time is lost.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/control_model.h"
#include "bench_support.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

constexpr const char* kPage =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
    "Cache-Control: no-store\r\n\r\n<!doctype html><html><head><title>still</title></head>"
    "<body style='margin:0;background:#3060a0'><p>A page that does nothing.</p></body></html>";

std::atomic_int pagesServed{0};

// Runs on a thread of the service's own, one per connection, so that an
// engine's connection made ahead of its request holds up nothing. The head is
// read in one go, which is enough for the engine's short requests.
gboolean onConnection(GThreadedSocketService*, GSocketConnection* connection, GObject*, gpointer) {
  GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
  char request[4096];
  g_input_stream_read(g_io_stream_get_input_stream(G_IO_STREAM(connection)), request,
                      sizeof request, nullptr, nullptr);
  g_output_stream_write_all(out, kPage, std::strlen(kPage), nullptr, nullptr, nullptr);
  g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  ++pagesServed;
  return TRUE;
}

gboolean quitLoop(gpointer platform) {
  static_cast<platform::Platform*>(platform)->quitLoop();
  return G_SOURCE_REMOVE;
}

// Runs the program's own loop for a while.
void runLoopFor(platform::Platform& platform, double seconds) {
  g_timeout_add(static_cast<guint>(seconds * 1000), quitLoop, &platform);
  platform.runLoop();
}

std::string nameOf(int pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r");
  if (!f) return "?";
  char buf[64] = {0};
  if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
  std::fclose(f);
  std::string name(buf);
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  const double settleSeconds = argc > 2 ? std::atof(argv[2]) : 10;
  GSocketService* service = g_threaded_socket_service_new(4);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* address = g_inet_socket_address_new(loopback, 0);
  GSocketAddress* bound = nullptr;
  if (!g_socket_listener_add_address(G_SOCKET_LISTENER(service), address, G_SOCKET_TYPE_STREAM,
                                     G_SOCKET_PROTOCOL_TCP, nullptr, &bound, nullptr)) {
    std::fprintf(stderr, "no port on 127.0.0.1\n");
    return 2;
  }
  const int port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
  g_object_unref(bound);
  g_object_unref(address);
  g_object_unref(loopback);
  g_signal_connect(service, "run", G_CALLBACK(onConnection), nullptr);
  g_socket_service_start(service);
  Program program(*desktop.platform);

  program.setText("编辑框2", "http://127.0.0.1:" + std::to_string(port) + "/still");
  program.click("按钮2");
  program.setText("编辑框3", "1000");
  program.click("按钮1");
  app::Control& browser = program.control("互联网浏览器1");
  if (!pumpUntil([&] { return pagesServed > 0 && !program.frame().busy(browser); }, 30000)) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  runLoopFor(*desktop.platform, settleSeconds);

  std::map<int, double> before;
  for (const auto& [pid, cpu] : cpuSeconds()) before[pid] = cpu;
  const double started = nowMs();
  runLoopFor(*desktop.platform, seconds);
  const double elapsed = (nowMs() - started) / 1000.0;
  const auto after = cpuSeconds();

  double total = 0;
  for (const auto& [pid, cpu] : after) {
    auto was = before.find(pid);
    const double used = cpu - (was == before.end() ? 0.0 : was->second);
    total += used;
    std::printf("%-18s pid %-7d %7.3f s CPU, %.3f%% of a core%s\n", nameOf(pid).c_str(), pid, used,
                100.0 * used / elapsed, was == before.end() ? " (started within the window)" : "");
    if (was != before.end()) before.erase(was);
  }
  for (const auto& [pid, cpu] : before) std::printf("pid %d ended within the window\n", pid);
  std::printf("idle on a loaded page: %.3f s CPU in %.1f s, %.3f%% of a core\n", total, elapsed,
              100.0 * total / elapsed);

  long rss = 0, pss = 0;
  for (int pid : processTree()) {
    rss += std::max(residentKb(pid), 0L);
    pss += std::max(proportionalKb(pid), 0L);
  }
  std::printf("memory of the program and its processes: RSS %ld MB, PSS %ld MB\n", rss / 1024,
              pss / 1024);
  if (program.frame().vars().nextIndex != 2) {
    std::fprintf(stderr, "the run did not stay on its page\n");
    return 1;
  }
  g_socket_service_stop(service);
  g_object_unref(service);
  return 0;
}
