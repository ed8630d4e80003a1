// The Linux window host over GTK 3: one top-level window with a drawing area, its events turned
// into PlatformEvents, the 500 ms timer, the cross-thread repaint request and the cursor.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cmath>
#include <csignal>

#include "app/platform.h"
#include "render/render_cairo.h"

namespace orq {

struct Platform::Impl {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  guint timer = 0;
  guint signalSources[3] = {};
  std::atomic<bool> repaintQueued{false};
  bool hand = false;
};

namespace {
Platform* gPlatform = nullptr;

int scaleOf(const Platform::Impl* impl) {
  return impl && impl->area ? gtk_widget_get_scale_factor(impl->area) : 1;
}

// Positions arrive in logical units; the handlers expect device pixels, stored as the low
// 16 bits, unsigned, like the message positions of the original window procedure.
void storePointer(Platform* p, double x, double y) {
  const int scale = scaleOf(p->impl);
  p->pointerX = static_cast<uint16_t>(static_cast<int32_t>(std::floor(x * scale)));
  p->pointerY = static_cast<uint16_t>(static_cast<int32_t>(std::floor(y * scale)));
}

gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  render::paintFrame(*p, cr, gtk_widget_get_allocated_width(widget),
                     gtk_widget_get_allocated_height(widget));
  return TRUE;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<Platform*>(data)->running = false;
  return TRUE;  // the window stays; it goes with the process
}

// SIGTERM, SIGINT and SIGHUP close the window as the close box does, so that the worker closes
// its MIDI clients: a JACK client that just vanishes can stall a synchronous JACK server.
gboolean onTerminate(gpointer data) {
  static_cast<Platform*>(data)->running = false;
  return G_SOURCE_CONTINUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  storePointer(p, e->x, e->y);
  p->deliver(PlatformEvent::MouseMove);
  return TRUE;
}

gboolean onButton(GtkWidget*, GdkEventButton* e, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const bool press = e->type == GDK_BUTTON_PRESS;
  if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) return TRUE;  // no doubles
  if (e->button != 1 && e->button != 3) return FALSE;
  storePointer(p, e->x, e->y);
  if (e->button == 1) {
    p->deliver(press ? PlatformEvent::LeftDown : PlatformEvent::LeftUp);
  } else {
    p->deliver(press ? PlatformEvent::RightDown : PlatformEvent::RightUp);
  }
  return TRUE;
}

// One notch is a delta of 120 away from the user; smooth scrolling reports fractions of one.
gboolean onScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  int delta = 0;
  switch (e->direction) {
    case GDK_SCROLL_UP:
      delta = 120;
      break;
    case GDK_SCROLL_DOWN:
      delta = -120;
      break;
    case GDK_SCROLL_SMOOTH:
      delta = static_cast<int>(-e->delta_y * 120.0);
      break;
    default:
      return FALSE;
  }
  storePointer(p, e->x, e->y);
  p->wheelTotal += wheelNotches(delta);
  p->deliver(PlatformEvent::Wheel);
  return TRUE;
}

gboolean onFocus(GtkWidget*, GdkEventFocus*, gpointer data) {
  static_cast<Platform*>(data)->deliver(PlatformEvent::Activate);
  return FALSE;
}

gboolean onTimer(gpointer data) {
  static_cast<Platform*>(data)->deliver(PlatformEvent::Timer);
  return G_SOURCE_CONTINUE;
}

gboolean onRepaintIdle(gpointer data) {
  auto* p = static_cast<Platform*>(data);
  p->impl->repaintQueued = false;
  if (p->impl->area) gtk_widget_queue_draw(p->impl->area);
  return G_SOURCE_REMOVE;
}

void onScaleChanged(GObject*, GParamSpec*, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  if (p->impl->area) gtk_widget_queue_draw(p->impl->area);
}
}  // namespace

Platform* Platform::current() {
  return gPlatform;
}

Platform::Platform(std::string t, std::string id) : title(std::move(t)), identifier(std::move(id)) {
  if (gPlatform) return;  // one window per process
  gPlatform = this;
  impl = new Impl;
  g_set_prgname(identifier.c_str());
  if (!gtk_init_check(nullptr, nullptr)) return;  // no display: no window
  g_set_application_name(title.c_str());

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window), kWindowWidth, kWindowHeight);
  // GTK sizes are logical units; the toolkit scales them with the monitor's scale factor.
  GdkGeometry hints{};
  hints.min_width = kWindowWidth;
  hints.min_height = kWindowHeight;
  gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);

  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_app_paintable(area, TRUE);
  gtk_widget_add_events(area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                  GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
                                  GDK_SMOOTH_SCROLL_MASK);
  gtk_container_add(GTK_CONTAINER(window), area);

  g_signal_connect(area, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(area, "button-press-event", G_CALLBACK(onButton), this);
  g_signal_connect(area, "button-release-event", G_CALLBACK(onButton), this);
  g_signal_connect(area, "scroll-event", G_CALLBACK(onScroll), this);
  g_signal_connect(area, "notify::scale-factor", G_CALLBACK(onScaleChanged), this);
  g_signal_connect(window, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(window, "focus-in-event", G_CALLBACK(onFocus), this);
  g_signal_connect(window, "focus-out-event", G_CALLBACK(onFocus), this);

  impl->window = window;
  impl->area = area;
  impl->timer = g_timeout_add(kTimerMs, onTimer, this);
  const int signals[3] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i)
    impl->signalSources[i] = g_unix_signal_add(signals[i], onTerminate, this);
}

Platform::~Platform() {
  if (!impl) return;
  if (impl->timer) g_source_remove(impl->timer);
  for (guint id : impl->signalSources)
    if (id) g_source_remove(id);
  while (g_idle_remove_by_data(this)) {
  }
  if (impl->window) gtk_widget_destroy(impl->window);
  delete impl;
  impl = nullptr;
  callback = nullptr;
  if (gPlatform == this) gPlatform = nullptr;
}

bool Platform::hasWindow() const {
  return impl && impl->window;
}

void Platform::show() {
  if (!hasWindow()) return;
  gtk_widget_show_all(impl->window);
}

void Platform::runLoop() {
  running = true;
  if (!hasWindow()) return;  // nothing could ever end the loop
  while (running) g_main_context_iteration(nullptr, TRUE);
}

void Platform::requestRepaint() {
  if (!hasWindow()) return;
  if (impl->repaintQueued.exchange(true)) return;  // one is already on its way
  g_idle_add(onRepaintIdle, this);                 // thread-safe
}

void Platform::setHandCursor(bool hand) {
  if (!hasWindow()) return;
  GdkWindow* gw = gtk_widget_get_window(impl->area);
  if (!gw) return;
  GdkCursor* cursor =
      gdk_cursor_new_from_name(gtk_widget_get_display(impl->area), hand ? "pointer" : "default");
  gdk_window_set_cursor(gw, cursor);
  if (cursor) g_object_unref(cursor);
  impl->hand = hand;
}

float Platform::dpi() const {
  return 96.0f * static_cast<float>(scaleOf(impl));
}

// File dialogs are not built yet: every request is answered as cancelled.
std::wstring Platform::openFileDialog(int32_t) {
  return {};
}
void Platform::closeDialogs() {}

}  // namespace orq
