#include "ColorScheme.h"

#include <gtk/gtk.h>

#include <string>

#include "base/Callbacks.h"
#include "base/GObjectPtr.h"
#include "base/Log.h"

namespace mlfk {

bool themeNameIsDark(std::string_view name) {
  for (std::string_view suffix : {"-dark", "-Dark", ":dark"})
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
      return true;
  return false;
}

bool prefersDark(const Appearance& a) {
  // A dark theme is dark whatever else is asked; the page must match it.
  if (!a.gtkThemeEnv.empty()) {
    if (themeNameIsDark(a.gtkThemeEnv)) return true;
  } else if (themeNameIsDark(a.themeName)) {
    return true;
  }
  if (a.portalColorScheme == 1u) return true;
  if (a.portalColorScheme == 2u) return false;
  return a.gtkPrefersDark;
}

namespace {

constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

// Lives as long as the program: the portal may report a change at any time.
class Follower {
 public:
  Follower() : settings_(gtk_settings_get_default()) {
    g_object_get(settings_, "gtk-application-prefer-dark-theme", &configuredDark_, nullptr);
    g_signal_connect_swapped(settings_, "notify::gtk-theme-name",
                             G_CALLBACK(glib::Guarded<&Follower::themeChanged>::call), this);
    apply();
    g_dbus_proxy_new_for_bus(G_BUS_TYPE_SESSION, G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES, nullptr,
                             "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                             "org.freedesktop.portal.Settings", nullptr,
                             glib::Guarded<&Follower::proxyReady>::call, this);
  }

 private:
  static void themeChanged(Follower* self) { self->apply(); }

  static void proxyReady(GObject*, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<Follower*>(data);
    g_autoptr(GError) error = nullptr;
    self->portal_ = GObjectPtr<GDBusProxy>::adopt(g_dbus_proxy_new_for_bus_finish(result, &error));
    if (!self->portal_) {  // no session bus: GTK's settings decide
      glib::logError(error, "no desktop portal for the style", glib::Severity::Notice);
      return;
    }
    g_signal_connect(self->portal_.get(), "g-signal",
                     G_CALLBACK(glib::Guarded<&Follower::portalSignal>::call), self);
    g_dbus_proxy_call(self->portal_.get(), "ReadOne", g_variant_new("(ss)", kNamespace, kKey),
                      G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                      glib::Guarded<&Follower::readOneDone>::call, self);
  }

  static void readOneDone(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<Follower*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_proxy_call_finish(G_DBUS_PROXY(source), result, &error);
    if (reply) {
      self->received(reply);
      g_variant_unref(reply);
      return;
    }
    // Portals before version 2 only have Read, which wraps the value once more.
    const bool older = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
    if (!older) glib::logError(error, "the desktop's style not read", glib::Severity::Notice);
    g_error_free(error);
    if (older)
      g_dbus_proxy_call(self->portal_.get(), "Read", g_variant_new("(ss)", kNamespace, kKey),
                        G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                        glib::Guarded<&Follower::readDone>::call, self);
  }

  static void readDone(GObject* source, GAsyncResult* result, gpointer data) {
    g_autoptr(GError) error = nullptr;
    GVariant* reply = g_dbus_proxy_call_finish(G_DBUS_PROXY(source), result, &error);
    if (!reply) {
      glib::logError(error, "the desktop's style not read", glib::Severity::Notice);
      return;
    }
    static_cast<Follower*>(data)->received(reply);
    g_variant_unref(reply);
  }

  static void portalSignal(GDBusProxy*, const char*, const char* name, GVariant* parameters,
                           gpointer data) {
    if (g_strcmp0(name, "SettingChanged") != 0 ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)")))
      return;
    const char* ns = nullptr;
    const char* key = nullptr;
    GVariant* value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
    if (g_strcmp0(ns, kNamespace) == 0 && g_strcmp0(key, kKey) == 0)
      static_cast<Follower*>(data)->setPortalValue(value);
    g_variant_unref(value);
  }

  // A reply is (v), holding the value itself or, from Read, one more variant.
  void received(GVariant* reply) {
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    setPortalValue(value);
    g_variant_unref(value);
  }

  void setPortalValue(GVariant* value) {
    GVariant* inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
      GVariant* next = g_variant_get_variant(inner);
      g_variant_unref(inner);
      inner = next;
    }
    if (g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32))
      portalValue_ = g_variant_get_uint32(inner);
    g_variant_unref(inner);
    apply();
  }

  void apply() {
    char* theme = nullptr;
    g_object_get(settings_, "gtk-theme-name", &theme, nullptr);
    const char* env = g_getenv("GTK_THEME");
    Appearance appearance;
    appearance.portalColorScheme = portalValue_;
    appearance.gtkPrefersDark = configuredDark_;
    appearance.themeName = theme ? theme : "";
    appearance.gtkThemeEnv = env ? env : "";
    const gboolean dark = prefersDark(appearance);
    g_free(theme);
    gboolean current = FALSE;
    g_object_get(settings_, "gtk-application-prefer-dark-theme", &current, nullptr);
    if (current != dark)
      g_object_set(settings_, "gtk-application-prefer-dark-theme", dark, nullptr);
  }

  GtkSettings* settings_;
  gboolean configuredDark_ = FALSE;
  GObjectPtr<GDBusProxy> portal_;
  std::optional<std::uint32_t> portalValue_;
};

}  // namespace

void followDesktopColorScheme() {
  static Follower* follower = nullptr;
  if (!follower) follower = new Follower();
}

}  // namespace mlfk
