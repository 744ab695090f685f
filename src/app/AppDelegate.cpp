#include "app/AppDelegate.h"

#include <gdk/gdkx.h>
#include <glib-unix.h>

#include "app/AppInfo.h"
#include "app/ColorScheme.h"
#include "app/MenuModel.h"
#include "app/PageZoom.h"
#include "app/SupportConfig.h"
#include "app/WindowGeometry.h"
#include "services/Dialogs.h"
#include "store/FarmStore.h"
#include "store/InstanceLock.h"
#include "webhost/FarmWebView.h"

namespace mlfk {
namespace {

constexpr const char* kPrintScript =
    "if (typeof printPage === 'function') { printPage(document.title); } else { window.print(); }";
constexpr const char* kBackUpScript =
    "(function(){var b=document.getElementById('backup-top'); if(b) b.click();})()";
constexpr const char* kFindScript =
    "(function(){var s=document.getElementById('global-search'); if(s){s.focus(); s.select();}})()";

// The page area shows the dark colour before the page paints; the menu bar keeps the theme.
constexpr const char* kWindowCss =
    "window.meadowline-main { background-color: rgb(29, 35, 39); }"
    "window.meadowline-main menubar { background-color: @theme_bg_color; }";

// Up is negative, down positive, as smooth scrolling reports it.
double scrollDirection(GdkEventScroll* event) {
  if (event->direction == GDK_SCROLL_UP) return -1;
  if (event->direction == GDK_SCROLL_DOWN) return 1;
  double dx = 0;
  double dy = 0;
  if (event->direction == GDK_SCROLL_SMOOTH)
    gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), &dx, &dy);
  return dy;
}

std::vector<ScreenArea> monitorAreas(GdkDisplay* display) {
  std::vector<ScreenArea> areas;
  for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
    GdkRectangle r;
    gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &r);
    areas.push_back({r.x, r.y, r.width, r.height});
  }
  return areas;
}

template <void (AppDelegate::*Command)()>
void command(GSimpleAction*, GVariant*, gpointer self) {
  (static_cast<AppDelegate*>(self)->*Command)();
}

}  // namespace

AppDelegate::AppDelegate()
    : application_(gtk_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS)) {
  g_object_set(application_, "register-session", TRUE, nullptr);
  g_signal_connect_swapped(application_, "startup", G_CALLBACK(+[](AppDelegate* self) {
                             gtk_window_set_default_icon_name(kApplicationId);
                             self->buildMenus();
                             followDesktopColorScheme();
                           }),
                           this);
  g_signal_connect_swapped(application_, "activate", G_CALLBACK(+[](AppDelegate* self) {
                             if (self->window_)
                               self->reopen();
                             else if (!self->instanceLock_)
                               self->launch();
                           }),
                           this);
  g_signal_connect_swapped(application_, "query-end",
                           G_CALLBACK(+[](AppDelegate* self) { self->requestQuit(); }), this);
}

AppDelegate::~AppDelegate() {
  if (geometrySave_) g_source_remove(geometrySave_);
  web_.reset();
  g_object_unref(application_);
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
  return g_application_run(G_APPLICATION(application_), argc, argv);
}

void AppDelegate::buildMenus() {
  static const GActionEntry entries[] = {
      {"about", command<&AppDelegate::about>, nullptr, nullptr, nullptr, {}},
      {"revealData", command<&AppDelegate::revealData>, nullptr, nullptr, nullptr, {}},
      {"hide",
       +[](GSimpleAction*, GVariant*, gpointer self) {
         auto* app = static_cast<AppDelegate*>(self);
         if (app->window_) gtk_window_iconify(GTK_WINDOW(app->window_));
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"hideOthers", nullptr, nullptr, nullptr, nullptr, {}},
      {"showAll", nullptr, nullptr, nullptr, nullptr, {}},
      {"quit", command<&AppDelegate::requestQuit>, nullptr, nullptr, nullptr, {}},
      {"backUp", command<&AppDelegate::backUp>, nullptr, nullptr, nullptr, {}},
      {"printPage", command<&AppDelegate::printPage>, nullptr, nullptr, nullptr, {}},
      {"findAnimal", command<&AppDelegate::findAnimal>, nullptr, nullptr, nullptr, {}},
      {"zoomReset", command<&AppDelegate::zoomReset>, nullptr, nullptr, nullptr, {}},
      {"zoomIn", command<&AppDelegate::zoomIn>, nullptr, nullptr, nullptr, {}},
      {"zoomOut", command<&AppDelegate::zoomOut>, nullptr, nullptr, nullptr, {}},
      {"reload", command<&AppDelegate::reload>, nullptr, nullptr, nullptr, {}},
      {"support", command<&AppDelegate::support>, nullptr, nullptr, nullptr, {}},
      {"undo",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(WEBKIT_EDITING_COMMAND_UNDO, nullptr);
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"redo",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(WEBKIT_EDITING_COMMAND_REDO, nullptr);
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"cut",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(WEBKIT_EDITING_COMMAND_CUT,
                                                      gtk_editable_cut_clipboard);
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"copy",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(WEBKIT_EDITING_COMMAND_COPY,
                                                      gtk_editable_copy_clipboard);
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"paste",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(WEBKIT_EDITING_COMMAND_PASTE,
                                                      gtk_editable_paste_clipboard);
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"selectAll",
       +[](GSimpleAction*, GVariant*, gpointer s) {
         static_cast<AppDelegate*>(s)->editingCommand(
             WEBKIT_EDITING_COMMAND_SELECT_ALL,
             [](GtkEditable* e) { gtk_editable_select_region(e, 0, -1); });
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(application_), entries, G_N_ELEMENTS(entries), this);
  for (const auto& name : unavailableActions()) {
    GAction* action = g_action_map_lookup_action(G_ACTION_MAP(application_), name.c_str() + 4);
    g_simple_action_set_enabled(G_SIMPLE_ACTION(action), FALSE);
  }

  GMenu* bar = g_menu_new();
  for (const auto& menu : menuBar()) {
    GMenu* submenu = g_menu_new();
    GMenu* section = g_menu_new();
    for (const auto& entry : menu.entries) {
      if (entry.isSeparator()) {
        g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
        g_object_unref(section);
        section = g_menu_new();
        continue;
      }
      g_menu_append(section, entry.title.c_str(), entry.action.c_str());
      std::vector<const char*> accels;
      for (const auto& accel : entry.accelerators) accels.push_back(accel.c_str());
      accels.push_back(nullptr);
      gtk_application_set_accels_for_action(application_, entry.action.c_str(), accels.data());
    }
    g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
    g_object_unref(section);
    g_menu_append_submenu(bar, menu.title.c_str(), G_MENU_MODEL(submenu));
    g_object_unref(submenu);
  }
  gtk_application_set_menubar(application_, G_MENU_MODEL(bar));
  g_object_unref(bar);
}

void AppDelegate::launch() {
  // Before anything touches the data folder: a second instance that could
  // not reach the first through the session bus must leave it alone.
  const auto folder = FarmStore::dataFolderIn(g_get_user_data_dir(), g_get_home_dir());
  g_mkdir_with_parents(folder.c_str(), 0700);
  instanceLock_ = std::make_unique<InstanceLock>(folder);
  if (instanceLock_->state() == InstanceLock::State::HeldElsewhere) {
    sayAlreadyOpen();
    return;
  }
  web_ = std::make_unique<FarmWebView>();

  window_ = gtk_application_window_new(application_);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window_), TRUE);
  gtk_window_set_title(window, kAppName);
  GdkGeometry minimum{};
  minimum.min_width = kMinimumWidth;
  minimum.min_height = kMinimumHeight;
  gtk_window_set_geometry_hints(window, nullptr, &minimum, GDK_HINT_MIN_SIZE);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "meadowline-main");
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kWindowCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  static const GActionEntry windowEntries[] = {
      {"close",
       +[](GSimpleAction*, GVariant*, gpointer w) { gtk_window_close(GTK_WINDOW(w)); },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"minimize",
       +[](GSimpleAction*, GVariant*, gpointer w) { gtk_window_iconify(GTK_WINDOW(w)); },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"zoom",
       +[](GSimpleAction*, GVariant*, gpointer w) {
         if (gtk_window_is_maximized(GTK_WINDOW(w)))
           gtk_window_unmaximize(GTK_WINDOW(w));
         else
           gtk_window_maximize(GTK_WINDOW(w));
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"fullscreen",
       +[](GSimpleAction*, GVariant*, gpointer w) {
         GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(w));
         if (gdk && (gdk_window_get_state(gdk) & GDK_WINDOW_STATE_FULLSCREEN))
           gtk_window_unfullscreen(GTK_WINDOW(w));
         else
           gtk_window_fullscreen(GTK_WINDOW(w));
       },
       nullptr,
       nullptr,
       nullptr,
       {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(window_), windowEntries, G_N_ELEMENTS(windowEntries),
                                  window_);

  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(web_->webView()));
  gtk_widget_show(GTK_WIDGET(web_->webView()));

  // Placement: centred at the default size on the first run, as the last
  // run left it afterwards.
  gtk_window_set_default_size(window, kDefaultWidth, kDefaultHeight);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  if (auto saved = WindowGeometry::load(WindowGeometry::defaultFile())) {
    gtk_window_set_default_size(window, saved->width, saved->height);
    if (saved->positionIsReachable(monitorAreas(gtk_widget_get_display(window_)))) {
      gtk_window_set_position(window, GTK_WIN_POS_NONE);
      gtk_window_move(window, *saved->x, *saved->y);
    }
    if (saved->maximized) gtk_window_maximize(window);
  }

  g_signal_connect_swapped(window_, "delete-event", G_CALLBACK(+[](AppDelegate* self) -> gboolean {
                             self->requestQuit();
                             return TRUE;  // the window stays until the quit completes
                           }),
                           this);
  g_signal_connect(
      window_, "window-state-event",
      G_CALLBACK(+[](GtkWidget*, GdkEventWindowState* event, gpointer self) -> gboolean {
        auto* app = static_cast<AppDelegate*>(self);
        app->iconified_ = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
        app->fullscreen_ = event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN;
        app->saveGeometry();
        return FALSE;
      }),
      this);
  g_signal_connect(window_, "configure-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     static_cast<AppDelegate*>(self)->saveGeometry();
                     return FALSE;
                   }),
                   this);
  g_signal_connect(web_->webView(), "scroll-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventScroll* event, gpointer self) -> gboolean {
                     if (!(event->state & GDK_CONTROL_MASK)) return FALSE;
                     auto* app = static_cast<AppDelegate*>(self);
                     for (int steps = app->scrollZoom_.add(scrollDirection(event)); steps != 0;
                          steps += steps < 0 ? 1 : -1) {
                       if (steps < 0)
                         app->zoomIn();
                       else
                         app->zoomOut();
                     }
                     return TRUE;
                   }),
                   this);

  firstShow_ =
      std::make_unique<FirstShow>([this] { return windowIsShowing(); }, [this] { showWindow(); });
  web_->onFirstLoad = [this] { firstShow_->showWindow(); };
  web_->setWindow(window);
  web_->load();
  firstShow_->launched(MainLoopTimers::shared());
}

bool AppDelegate::windowIsShowing() const {
  return window_ && gtk_widget_get_visible(window_) && !iconified_;
}

void AppDelegate::showWindow() {
  gtk_window_present(GTK_WINDOW(window_));
}

void AppDelegate::sayAlreadyOpen() {
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                             "Meadowline Field Keeper is already open.");
  gtk_window_set_title(GTK_WINDOW(dialog), kAppName);
  // The dialog keeps the application running; closing it ends this instance.
  gtk_window_set_application(GTK_WINDOW(dialog), application_);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_window_present(GTK_WINDOW(dialog));
}

void AppDelegate::reopen() {
  // Also when it shows already: it may be behind other windows or on another workspace.
  gtk_window_present(GTK_WINDOW(window_));
}

void AppDelegate::saveGeometry() {
  if (geometrySave_) return;
  // Many configure events arrive while the user drags: write once they settle.
  geometrySave_ = g_timeout_add(
      400,
      +[](gpointer data) -> gboolean {
        auto* self = static_cast<AppDelegate*>(data);
        self->geometrySave_ = 0;
        if (!self->window_ || !gtk_widget_get_realized(self->window_)) return G_SOURCE_REMOVE;
        GtkWindow* window = GTK_WINDOW(self->window_);
        WindowGeometry geometry;
        geometry.maximized = gtk_window_is_maximized(window);
        auto previous = WindowGeometry::load(WindowGeometry::defaultFile());
        if ((geometry.maximized || self->fullscreen_) && previous) {
          // Keep the size the window returns to when unmaximised.
          geometry.width = previous->width;
          geometry.height = previous->height;
          geometry.x = previous->x;
          geometry.y = previous->y;
        } else {
          gtk_window_get_size(window, &geometry.width, &geometry.height);
          GdkWindow* gdk = gtk_widget_get_window(self->window_);
          if (gdk && GDK_IS_X11_DISPLAY(gdk_window_get_display(gdk))) {
            int x = 0, y = 0;
            gtk_window_get_position(window, &x, &y);
            geometry.x = x;
            geometry.y = y;
          }
        }
        geometry.save(WindowGeometry::defaultFile());
        return G_SOURCE_REMOVE;
      },
      this);
}

void AppDelegate::requestQuit() {
  if (quitting_) {
    g_application_quit(G_APPLICATION(application_));
    return;
  }
  quitting_ = true;
  if (!web_) {
    g_application_quit(G_APPLICATION(application_));
    return;
  }
  web_->flush([app = application_] { g_application_quit(G_APPLICATION(app)); });
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
  if (window_) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(window_));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_window_present(GTK_WINDOW(dialog));
}

void AppDelegate::revealData() {
  FarmStore::shared().reveal();
}
void AppDelegate::backUp() {
  if (web_) web_->evaluate(kBackUpScript);
}
void AppDelegate::printPage() {
  if (web_) web_->evaluate(kPrintScript);
}
void AppDelegate::findAnimal() {
  if (web_) web_->evaluate(kFindScript);
}
void AppDelegate::reload() {
  if (web_) webkit_web_view_reload(web_->webView());
}
void AppDelegate::support() {
  SupportConfig::contact(SupportConfig::kSupportSubject);
}

void AppDelegate::zoomReset() {
  if (web_) webkit_web_view_set_zoom_level(web_->webView(), kZoomActualSize);
}
void AppDelegate::zoomIn() {
  if (web_)
    webkit_web_view_set_zoom_level(web_->webView(),
                                   zoomedIn(webkit_web_view_get_zoom_level(web_->webView())));
}
void AppDelegate::zoomOut() {
  if (web_)
    webkit_web_view_set_zoom_level(web_->webView(),
                                   zoomedOut(webkit_web_view_get_zoom_level(web_->webView())));
}

void AppDelegate::editingCommand(const char* webCommand, void (*editable)(GtkEditable*)) {
  GtkWindow* active = gtk_application_get_active_window(application_);
  GtkWidget* focus = active ? gtk_window_get_focus(active) : nullptr;
  if (web_ && (!focus || focus == GTK_WIDGET(web_->webView()))) {
    webkit_web_view_execute_editing_command(web_->webView(), webCommand);
  } else if (focus && GTK_IS_EDITABLE(focus) && editable) {
    editable(GTK_EDITABLE(focus));
  }
}

}  // namespace mlfk
