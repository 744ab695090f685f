#include "AppDelegate.h"

#include <glib-unix.h>

#include <chrono>
#include <utility>

#include "AppInfo.h"
#include "ColorScheme.h"
#include "MainWindow.h"
#include "MenuModel.h"
#include "ShellServices.h"
#include "SupportConfig.h"
#include "base/Callbacks.h"
#include "base/Identity.h"
#include "base/Log.h"
#include "store/FarmStore.h"
#include "store/InstanceLock.h"
#include "webhost/FarmWebView.h"

namespace mlfk {
namespace {

// Two seconds for an ending instance to let go of the data folder.
constexpr int kLockAttempts = 20;

template <auto Command>
void command(GSimpleAction*, GVariant*, gpointer data) {
  Command(*static_cast<AppDelegate*>(data));
}

}  // namespace

AppDelegate::AppDelegate()
    : application_(GObjectPtr<GtkApplication>::adopt(
          gtk_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS))) {
  g_object_set(application_.get(), "register-session", TRUE, nullptr);
  GObject* lifetime = G_OBJECT(application_.get());
  glib::connect<void(GApplication*)>(
      application_.get(), "startup",
      [this](GApplication*) {
        gtk_window_set_default_icon_name(kApplicationId);
        buildMenus();
        followDesktopColorScheme();
      },
      lifetime);
  glib::connect<void(GApplication*)>(
      application_.get(), "activate", [this](GApplication*) { activate(); }, lifetime);
  glib::connect<void(GtkApplication*)>(
      application_.get(), "query-end", [this](GtkApplication*) { saveBeforeSessionEnds(); },
      lifetime);
}

AppDelegate::~AppDelegate() {
  window_.reset();
}

int AppDelegate::run(int argc, char** argv) {
  // A session ending or a plain `kill` quits through the flush too.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    g_unix_signal_add(
        signal,
        +[](gpointer self) -> gboolean {
          static_cast<AppDelegate*>(self)->requestQuit();
          return G_SOURCE_CONTINUE;
        },
        this);
  }
  GApplication* app = G_APPLICATION(application_.get());
  g_autoptr(GError) error = nullptr;
  if (g_application_register(app, nullptr, &error) && g_application_get_is_remote(app))
    return handOver();
  return g_application_run(app, argc, argv);
}

// GApplication hands a start over to the running instance without waiting
// for an answer, so a start that meets an instance on its way out would be
// lost. This one waits for the answer; where no instance took it, the
// program starts afresh and becomes the instance itself.
int AppDelegate::handOver() {
  GApplication* app = G_APPLICATION(application_.get());
  GVariantBuilder platform;
  g_variant_builder_init(&platform, G_VARIANT_TYPE_VARDICT);
  G_APPLICATION_GET_CLASS(app)->add_platform_data(app, &platform);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      g_application_get_dbus_connection(app), kApplicationId,
      g_application_get_dbus_object_path(app), "org.freedesktop.Application", "Activate",
      g_variant_new("(a{sv})", &platform), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
      &error);
  if (reply) return 0;
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
    glib::logError(error, "the open Meadowline Field Keeper does not answer");
    return 1;
  }
  afterQuit_ = AfterQuit::StartAgain;
  return 0;
}

void AppDelegate::buildMenus() {
  static const GActionEntry entries[] = {
      {"about", command<[](AppDelegate& a) { a.about(); }>, nullptr, nullptr, nullptr, {}},
      {"revealData",
       command<[](AppDelegate& a) { a.revealData(); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"hide",
       command<[](AppDelegate& a) {
         if (a.window_) gtk_window_iconify(a.window_->window());
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"hideOthers", nullptr, nullptr, nullptr, nullptr, {}},
      {"showAll", nullptr, nullptr, nullptr, nullptr, {}},
      {"quit", command<[](AppDelegate& a) { a.requestQuit(); }>, nullptr, nullptr, nullptr, {}},
      {"support",
       command<[](AppDelegate&) { SupportConfig::contact(SupportConfig::kSupportSubject); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(application_.get()), entries, G_N_ELEMENTS(entries),
                                  this);
  for (const auto& name : unavailableActions()) {
    GAction* action =
        g_action_map_lookup_action(G_ACTION_MAP(application_.get()), name.c_str() + 4);
    g_simple_action_set_enabled(G_SIMPLE_ACTION(action), FALSE);
  }

  g_autoptr(GMenu) bar = g_menu_new();
  for (const auto& menu : menuBar()) {
    g_autoptr(GMenu) submenu = g_menu_new();
    g_autoptr(GMenu) section = g_menu_new();
    for (const auto& entry : menu.entries) {
      if (entry.isSeparator()) {
        g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
        g_object_unref(std::exchange(section, g_menu_new()));
        continue;
      }
      g_menu_append(section, entry.title.c_str(), entry.action.c_str());
      std::vector<const char*> accels;
      for (const auto& accel : entry.accelerators) accels.push_back(accel.c_str());
      accels.push_back(nullptr);
      gtk_application_set_accels_for_action(application_.get(), entry.action.c_str(),
                                            accels.data());
    }
    g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
    g_menu_append_submenu(bar, menu.title.c_str(), G_MENU_MODEL(submenu));
  }
  gtk_application_set_menubar(application_.get(), G_MENU_MODEL(bar));
}

void AppDelegate::activate() {
  if (quitting_)
    afterQuit_ = AfterQuit::StartAgain;
  else if (window_)
    window_->present();
  else if (!instanceLock_)
    launch();
}

void AppDelegate::launch() {
  // Before anything touches the data folder: a second instance that could
  // not reach the first through the session bus must leave it alone.
  const auto folder = FarmStore::dataFolderIn(g_get_user_data_dir());
  glib::logErrno(g_mkdir_with_parents(folder.c_str(), 0700), "no data folder");
  instanceLock_ = std::make_unique<InstanceLock>(folder);
  if (instanceLock_->state() == InstanceLock::State::HeldElsewhere) {
    // An instance that has just been asked to quit holds the folder until
    // its flush is over: give it a moment before saying it is open.
    g_application_hold(G_APPLICATION(application_.get()));
    waitForLock(kLockAttempts);
    return;
  }
  openWindow();
}

void AppDelegate::waitForLock(int attemptsLeft) {
  glib::timeoutOnce(std::chrono::milliseconds(100), [this, attemptsLeft] {
    if (instanceLock_->retry() == InstanceLock::State::HeldElsewhere && attemptsLeft > 1)
      return waitForLock(attemptsLeft - 1);
    if (instanceLock_->state() == InstanceLock::State::HeldElsewhere)
      sayAlreadyOpen();
    else
      openWindow();
    g_application_release(G_APPLICATION(application_.get()));
  });
}

void AppDelegate::openWindow() {
  services_ = std::make_unique<ShellServices>(FarmStore::shared());
  window_ = std::make_unique<MainWindow>(application_.get(), *services_, [this] { requestQuit(); });
  services_->attach(&window_->web());
  window_->launch();
}

void AppDelegate::sayAlreadyOpen() {
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                             "Meadowline Field Keeper is already open.");
  gtk_window_set_title(GTK_WINDOW(dialog), kAppName);
  // The dialog keeps the application running; closing it ends this instance.
  gtk_window_set_application(GTK_WINDOW(dialog), application_.get());
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_window_present(GTK_WINDOW(dialog));
}

void AppDelegate::requestQuit() {
  if (quitting_ || !window_) {
    g_application_quit(G_APPLICATION(application_.get()));
    return;
  }
  quitting_ = true;
  window_->flush([this] { letGo(); });
}

// Everything that names this instance goes while the main loop still runs:
// a start arriving from now on either reaches this instance, which starts
// the program again once it has gone, or finds no instance and opens the
// window itself. The data folder goes before the bus name, so that a start
// that finds no instance also finds the folder free.
void AppDelegate::letGo() {
  GApplication* app = G_APPLICATION(application_.get());
  g_application_hold(app);  // the window going must not end the loop yet
  window_.reset();
  services_.reset();
  instanceLock_.reset();
  GDBusConnection* bus = g_application_get_dbus_connection(app);
  if (!bus) return quitSoon();
  g_dbus_connection_call(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReleaseName",
      g_variant_new("(s)", kApplicationId), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr, glib::asyncReady, glib::asyncData([this](GObject* source, GAsyncResult* result) {
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply =
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        glib::logError(error, "the bus name not let go");
        quitSoon();
      }));
}

// At idle priority, after the starts the bus delivered before the name went.
void AppDelegate::quitSoon() {
  glib::idleOnce([app = G_APPLICATION(application_.get())] {
    g_application_release(app);
    g_application_quit(app);
  });
}

// The session manager only asks whether the session may end: the user may
// still cancel the logout, so this saves without quitting, holding the logout
// back until the page's records are on disk. Ending the session quits.
void AppDelegate::saveBeforeSessionEnds() {
  if (quitting_ || !window_) return;
  GtkApplication* app = application_.get();
  const guint cookie = gtk_application_inhibit(
      app, window_->window(), GTK_APPLICATION_INHIBIT_LOGOUT, "Saving farm records");
  window_->flush([app, cookie] {
    if (cookie) gtk_application_uninhibit(app, cookie);
  });
}

void AppDelegate::about() {
  GtkWidget* dialog = gtk_about_dialog_new();
  GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
  gtk_about_dialog_set_program_name(about, kAppName);
  const std::string version = AppInfo::version();
  gtk_about_dialog_set_version(about, version.c_str());
  const std::string credits = SupportConfig::credits();
  gtk_about_dialog_set_comments(about, credits.c_str());
  gtk_about_dialog_set_logo_icon_name(about, kApplicationId);
  if (window_) gtk_window_set_transient_for(GTK_WINDOW(dialog), window_->window());
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_window_present(GTK_WINDOW(dialog));
}

void AppDelegate::revealData() {
  if (services_) services_->reveal();
}

}  // namespace mlfk
