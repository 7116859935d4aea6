// GTK 3 backend: keeping the desktop awake during a run.
//
// The desktop's own session service is asked, over the session bus, to hold
// off the screen saver, the blanking and the sleep that come with idleness:
// GNOME's session manager where it runs, the freedesktop screen saver service
// (KDE, Xfce and others) otherwise. Where neither runs, on a virtual display
// for one, nothing is asked and nothing is needed. A bus is never started for
// this: without one there is no desktop to keep awake.

#include <gio/gio.h>

#include <cstdlib>
#include <string>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

constexpr int kCallTimeoutMs = 2000;

struct Inhibitor {
  const char* service;
  const char* path;
  const char* interface;
  const char* release;
};

constexpr Inhibitor kGnome{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                           "org.gnome.SessionManager", "Uninhibit"};
constexpr Inhibitor kFreedesktop{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                 "org.freedesktop.ScreenSaver", "UnInhibit"};

bool sessionBusConfigured() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && g_file_test((std::string(runtime) + "/bus").c_str(), G_FILE_TEST_EXISTS);
}

bool hasOwner(GDBusConnection* bus, const char* name) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
      nullptr, nullptr);
  if (!reply) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned;
}

}  // namespace

void GtkPlatform::keepAwake(bool on) {
  if (on == (awake_.service != nullptr)) return;
  if (!on) {
    const auto* inhibitor = static_cast<const Inhibitor*>(awake_.service);
    GVariant* reply = g_dbus_connection_call_sync(
        awake_.bus.get(), inhibitor->service, inhibitor->path, inhibitor->interface,
        inhibitor->release, g_variant_new("(u)", awake_.cookie), nullptr, G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
    awake_.service = nullptr;
    return;
  }
  if (!awake_.bus) {
    if (!sessionBusConfigured()) return;
    awake_.bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!awake_.bus) return;
  }
  const char* reason = "正在连续访问网页";
  GVariant* reply = nullptr;
  const Inhibitor* used = nullptr;
  if (hasOwner(awake_.bus.get(), kGnome.service)) {
    // Flags: 4 keeps the computer from sleeping, 8 keeps the session from
    // counting as idle (so the screen stays on).
    reply = g_dbus_connection_call_sync(
        awake_.bus.get(), kGnome.service, kGnome.path, kGnome.interface, "Inhibit",
        g_variant_new("(susu)", "sorvane", 0u, reason, 4u | 8u), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    used = &kGnome;
  } else if (hasOwner(awake_.bus.get(), kFreedesktop.service)) {
    reply = g_dbus_connection_call_sync(
        awake_.bus.get(), kFreedesktop.service, kFreedesktop.path, kFreedesktop.interface,
        "Inhibit", g_variant_new("(ss)", "sorvane", reason), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    used = &kFreedesktop;
  }
  if (!reply) return;
  g_variant_get(reply, "(u)", &awake_.cookie);
  g_variant_unref(reply);
  awake_.service = used;
}

}  // namespace sorvane::platform::gtk
