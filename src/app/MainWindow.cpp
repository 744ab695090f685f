#include "MainWindow.h"

#include <gdk/gdkx.h>

#include <chrono>

#include "WindowGeometry.h"
#include "base/Callbacks.h"
#include "base/Identity.h"
#include "base/Log.h"
#include "base/Timers.h"
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

MainWindow* self(gpointer data) {
  return static_cast<MainWindow*>(data);
}

template <auto Command>
void command(GSimpleAction*, GVariant*, gpointer data) {
  Command(*self(data));
}

void evaluate(MainWindow& w, const char* script) {
  w.web().evaluate(script);
}

}  // namespace

MainWindow::MainWindow(GtkApplication* application, BridgeServices& services,
                       std::function<void()> quit)
    : window_(gtk_application_window_new(application)),
      web_(std::make_unique<FarmWebView>(services)),
      quit_(std::move(quit)) {
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window_), TRUE);
  gtk_window_set_title(window, kAppName);
  GdkGeometry minimum{};
  minimum.min_width = kMinimumWidth;
  minimum.min_height = kMinimumHeight;
  gtk_window_set_geometry_hints(window, nullptr, &minimum, GDK_HINT_MIN_SIZE);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "meadowline-main");
  g_autoptr(GtkCssProvider) css = gtk_css_provider_new();
  g_autoptr(GError) error = nullptr;
  if (!gtk_css_provider_load_from_data(css, kWindowCss, -1, &error))
    glib::logError(error, "window style not loaded");
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  addActions();

  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(web_->webView()));
  gtk_widget_show(GTK_WIDGET(web_->webView()));
  restoreGeometry();

  GObject* lifetime = G_OBJECT(window_);
  glib::connect<gboolean(GtkWidget*, GdkEvent*)>(
      window_, "delete-event",
      [this](GtkWidget*, GdkEvent*) {
        quit_();
        return TRUE;  // the window stays until the quit completes
      },
      lifetime);
  glib::connect<gboolean(GtkWidget*, GdkEventWindowState*)>(
      window_, "window-state-event",
      [this](GtkWidget*, GdkEventWindowState* event) {
        iconified_ = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
        fullscreen_ = event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN;
        saveGeometry();
        return FALSE;
      },
      lifetime);
  glib::connect<gboolean(GtkWidget*, GdkEvent*)>(
      window_, "configure-event",
      [this](GtkWidget*, GdkEvent*) {
        saveGeometry();
        return FALSE;
      },
      lifetime);
  glib::connect<gboolean(GtkWidget*, GdkEventScroll*)>(
      web_->webView(), "scroll-event",
      [this](GtkWidget*, GdkEventScroll* event) -> gboolean {
        if (!(event->state & GDK_CONTROL_MASK)) return FALSE;
        zoomBy(scrollZoom_.add(scrollDirection(event)));
        return TRUE;
      },
      lifetime);
}

MainWindow::~MainWindow() {
  if (geometrySave_) g_source_remove(geometrySave_);
  web_.reset();
  gtk_widget_destroy(window_);
}

void MainWindow::addActions() {
  static const GActionEntry actions[] = {
      {"close",
       command<[](MainWindow& w) { gtk_window_close(w.window()); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"minimize",
       command<[](MainWindow& w) { gtk_window_iconify(w.window()); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"zoom",
       command<[](MainWindow& w) {
         if (gtk_window_is_maximized(w.window()))
           gtk_window_unmaximize(w.window());
         else
           gtk_window_maximize(w.window());
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"fullscreen",
       command<[](MainWindow& w) {
         if (w.fullscreen_)
           gtk_window_unfullscreen(w.window());
         else
           gtk_window_fullscreen(w.window());
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"backUp",
       command<[](MainWindow& w) { evaluate(w, kBackUpScript); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"printPage",
       command<[](MainWindow& w) { evaluate(w, kPrintScript); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"findAnimal",
       command<[](MainWindow& w) { evaluate(w, kFindScript); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"zoomReset",
       command<[](MainWindow& w) {
         webkit_web_view_set_zoom_level(w.web().webView(), kZoomActualSize);
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"zoomIn", command<[](MainWindow& w) { w.zoomBy(-1); }>, nullptr, nullptr, nullptr, {}},
      {"zoomOut", command<[](MainWindow& w) { w.zoomBy(1); }>, nullptr, nullptr, nullptr, {}},
      {"reload",
       command<[](MainWindow& w) { webkit_web_view_reload(w.web().webView()); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"undo",
       command<[](MainWindow& w) { w.historyStep(FarmWebView::History::Undo); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"redo",
       command<[](MainWindow& w) { w.historyStep(FarmWebView::History::Redo); }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"cut",
       command<[](MainWindow& w) {
         w.editingCommand(WEBKIT_EDITING_COMMAND_CUT, gtk_editable_cut_clipboard);
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"copy",
       command<[](MainWindow& w) {
         w.editingCommand(WEBKIT_EDITING_COMMAND_COPY, gtk_editable_copy_clipboard);
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"paste",
       command<[](MainWindow& w) {
         w.editingCommand(WEBKIT_EDITING_COMMAND_PASTE, gtk_editable_paste_clipboard);
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
      {"selectAll",
       command<[](MainWindow& w) {
         w.editingCommand(WEBKIT_EDITING_COMMAND_SELECT_ALL,
                          [](GtkEditable* e) { gtk_editable_select_region(e, 0, -1); });
       }>,
       nullptr,
       nullptr,
       nullptr,
       {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(window_), actions, G_N_ELEMENTS(actions), this);
}

void MainWindow::launch() {
  firstShow_ = std::make_unique<FirstShow>([this] { return isShowing(); }, [this] { present(); });
  web_->onFirstLoad = [this] { firstShow_->showWindow(); };
  web_->setWindow(window());
  web_->load();
  firstShow_->launched(MainLoopTimers::shared());
}

void MainWindow::present() {
  gtk_window_present(window());
}

bool MainWindow::isShowing() const {
  return gtk_widget_get_visible(window_) && !iconified_;
}

void MainWindow::flush(std::function<void()> done) {
  web_->flush(std::move(done));
}

void MainWindow::zoomBy(int steps) {
  WebKitWebView* view = web_->webView();
  for (; steps < 0; ++steps)
    webkit_web_view_set_zoom_level(view, zoomedIn(webkit_web_view_get_zoom_level(view)));
  for (; steps > 0; --steps)
    webkit_web_view_set_zoom_level(view, zoomedOut(webkit_web_view_get_zoom_level(view)));
}

void MainWindow::historyStep(FarmWebView::History direction) {
  GtkWidget* focus = gtk_window_get_focus(window());
  if (!focus || focus == GTK_WIDGET(web_->webView())) web_->step(direction);
}

void MainWindow::editingCommand(const char* webCommand, void (*editable)(GtkEditable*)) {
  GtkWidget* focus = gtk_window_get_focus(window());
  if (!focus || focus == GTK_WIDGET(web_->webView())) {
    webkit_web_view_execute_editing_command(web_->webView(), webCommand);
  } else if (GTK_IS_EDITABLE(focus) && editable) {
    editable(GTK_EDITABLE(focus));
  }
}

void MainWindow::restoreGeometry() {
  // Centred at the default size on the first run, as the last run left it
  // afterwards.
  GtkWindow* window = this->window();
  gtk_window_set_default_size(window, kDefaultWidth, kDefaultHeight);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  if (auto saved = WindowGeometry::load(WindowGeometry::defaultFile())) {
    const auto monitors = monitorAreas(gtk_widget_get_display(window_));
    saved->fitTo(monitors);
    gtk_window_set_default_size(window, saved->width, saved->height);
    if (saved->positionIsReachable(monitors)) {
      gtk_window_set_position(window, GTK_WIN_POS_NONE);
      gtk_window_move(window, *saved->x, *saved->y);
    }
    if (saved->maximized) gtk_window_maximize(window);
  }
}

void MainWindow::saveGeometry() {
  if (geometrySave_) return;
  // Many configure events arrive while the user drags: write once they settle.
  geometrySave_ = glib::timeoutOnce(std::chrono::milliseconds(400), [this] {
    geometrySave_ = 0;
    if (!gtk_widget_get_realized(window_)) return;
    GtkWindow* window = this->window();
    WindowGeometry current;
    gtk_window_get_size(window, &current.width, &current.height);
    GdkWindow* gdk = gtk_widget_get_window(window_);
    // Only X11 lets an application place its windows.
    if (gdk && GDK_IS_X11_DISPLAY(gdk_window_get_display(gdk))) {
      int x = 0, y = 0;
      gtk_window_get_position(window, &x, &y);
      current.x = x;
      current.y = y;
    }
    const WindowState state = fullscreen_                       ? WindowState::FullScreen
                              : gtk_window_is_maximized(window) ? WindowState::Maximized
                                                                : WindowState::Normal;
    const WindowGeometry geometry =
        WindowGeometry::toKeep(current, state, WindowGeometry::load(WindowGeometry::defaultFile()));
    geometry.save(WindowGeometry::defaultFile());
  });
}

}  // namespace mlfk
