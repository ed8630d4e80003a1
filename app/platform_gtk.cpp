// The Linux window host over GTK 3: one top-level window with a drawing area, its events turned
// into PlatformEvents, files dropped on it, the 500 ms timer, the cross-thread repaint request,
// the cursor, the file dialogs that the worker asks for, and termination signals taken as a
// close request.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/platform.h"
#include "assets/assets.h"
#include "files/file_path.h"
#include "files/user_folders.h"
#include "render/render_cairo.h"

namespace orq {

namespace {
// One question from the worker. It lives on the asking thread's stack; the user-interface
// thread writes `path` and `done` under the dialog mutex and never touches it afterwards.
struct DialogRequest {
  int32_t mode = 0;
  std::string path;  // GLib filename bytes; empty: cancelled or failed
  bool done = false;
};
}  // namespace

struct Platform::Impl {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  guint timer = 0;
  guint signalSources[3] = {};
  std::atomic<bool> repaintQueued{false};
  bool hand = false;
  std::thread::id uiThread;  // the thread that initialised GTK and runs the loop

  // Dialog hand-off between the worker and the user-interface thread.
  std::mutex dialogMutex;
  std::condition_variable dialogAnswered;
  DialogRequest* request = nullptr;  // guarded by dialogMutex: the one unanswered question
  bool dialogsClosed = false;        // guarded by dialogMutex: shutdown, answer all empty
  // User-interface thread only.
  GtkFileChooserNative* dialog = nullptr;  // the dialog on screen, owned
  GtkWidget* replaceBox = nullptr;         // its question before a file is replaced, if up
  std::string lastFolder;                  // where the next dialog opens; empty: home
};

namespace {
Platform* gPlatform = nullptr;

int scaleOf(const Platform::Impl* impl) {
  return impl && impl->area ? gtk_widget_get_scale_factor(impl->area) : 1;
}

// The desktop's text scale over GDK's whole-number scale: Xft.dpi (or the XSETTINGS value, times
// GDK_DPI_SCALE) over 96, as GTK reports it in gtk-xft-dpi. GDK has already divided its own
// scale out of it, so 1.25 at Xft.dpi 120 and 1 at GDK_SCALE=2 with Xft.dpi 192. The panel is
// drawn, and the window sized, in these units times this factor.
double textScale() {
  GtkSettings* settings = gtk_settings_get_default();
  gint xftDpi = -1;
  if (settings) g_object_get(settings, "gtk-xft-dpi", &xftDpi, nullptr);
  if (xftDpi <= 0) return 1.0;
  return std::clamp(xftDpi / 1024.0 / 96.0, 0.5, 4.0);
}

// Minimum (and start) size of the window in GTK's units for the current text scale.
void applyMinimumSize(GtkWindow* window) {
  const float dpi = static_cast<float>(96.0 * textScale());
  GdkGeometry hints{};
  hints.min_width = scaledWindowSize(dpi, kWindowWidth);
  hints.min_height = scaledWindowSize(dpi, kWindowHeight);
  gtk_window_set_geometry_hints(window, nullptr, &hints, GDK_HINT_MIN_SIZE);
}

// Positions arrive in logical units; the handlers expect device pixels, stored as the low
// 16 bits, unsigned, like the message positions of the original window procedure.
int32_t devicePixels(const Platform* p, double v) {
  return static_cast<uint16_t>(static_cast<int32_t>(std::floor(v * scaleOf(p->impl))));
}

void storePointer(Platform* p, double x, double y) {
  p->pointerX = devicePixels(p, x);
  p->pointerY = devicePixels(p, y);
}

// GDK's device scale maps GTK's units to pixels; the text scale on top maps the panel's logical
// units to GTK's.
gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const double t = textScale();
  cairo_scale(cr, t, t);
  render::paintFrame(cr, gtk_widget_get_allocated_width(widget) / t,
                     gtk_widget_get_allocated_height(widget) / t,
                     [p](render::Canvas& canvas) { p->paint(canvas); });
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

// --- Files dragged from a file manager: text/uri-list over XDND (or the Wayland equivalent).
// The answers are ours to give (no GTK_DEST_DEFAULT_*): a position is taken only where the
// panel says so, and the drop asks for the data, whose first file goes to the panel.

gboolean onDragMotion(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time,
                      gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const bool wanted = p->dragOver(devicePixels(p, x), devicePixels(p, y));
  gdk_drag_status(context, wanted ? GDK_ACTION_COPY : static_cast<GdkDragAction>(0), time);
  return TRUE;
}

// Also comes just before a drop.
void onDragLeave(GtkWidget*, GdkDragContext*, guint, gpointer data) {
  static_cast<Platform*>(data)->dragLeave();
}

gboolean onDragDrop(GtkWidget* widget, GdkDragContext* context, gint, gint, guint time, gpointer) {
  const GdkAtom target = gtk_drag_dest_find_target(widget, context, nullptr);
  if (target == GDK_NONE) {
    gtk_drag_finish(context, FALSE, FALSE, time);
  } else {
    gtk_drag_get_data(widget, context, target, time);
  }
  return TRUE;
}

void onDragData(GtkWidget*, GdkDragContext* context, gint x, gint y, GtkSelectionData* selection,
                guint, guint time, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const guchar* bytes = gtk_selection_data_get_data(selection);
  const gint length = gtk_selection_data_get_length(selection);
  std::wstring path;
  if (bytes && length > 0) {
    path = fileUriPath(std::string(reinterpret_cast<const char*>(bytes), size_t(length)));
  }
  const bool taken =
      !path.empty() && p->dropFile(devicePixels(p, x), devicePixels(p, y), std::move(path));
  gtk_drag_finish(context, taken, FALSE, time);
}

// A move to a monitor of another scale, or a new desktop text scale: a new minimum size, and a
// paint at the new scale.
void onScaleChanged(GObject*, GParamSpec*, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  if (p->impl->window) applyMinimumSize(GTK_WINDOW(p->impl->window));
  if (p->impl->area) gtk_widget_queue_draw(p->impl->area);
}

// --- File dialogs (user-interface thread)

bool isFolder(const std::string& path) {
  return !path.empty() && g_file_test(path.c_str(), G_FILE_TEST_IS_DIR);
}

// A real folder to open in: the file chooser left to itself may start in its "Recent" view,
// where a folder typed into the location bar cannot be chosen.
std::string startFolder(const Platform::Impl* impl) {
  if (isFolder(impl->lastFolder)) return impl->lastFolder;
  const std::string home = g_get_home_dir();
  return isFolder(home) ? home : "/";
}

// What the user confirmed, as a local path of the kind the mode asks for; empty otherwise. A
// typed name may name something missing or of the other kind, and the callers would then fail
// later without a word.
std::string chosenPath(GtkFileChooser* chooser, int32_t mode) {
  GFile* file = gtk_file_chooser_get_file(chooser);
  if (!file) return {};
  char* raw = g_file_get_path(file);  // null for locations without a local path
  g_object_unref(file);
  if (!raw) return {};
  std::string path = raw;
  g_free(raw);
  const GFileTest kind = mode == kDialogFolder ? G_FILE_TEST_IS_DIR : G_FILE_TEST_IS_REGULAR;
  return g_file_test(path.c_str(), kind) ? path : std::string();
}

// Ends the dialog on screen, if any, and hands `path` to the waiting worker, if any.
void answerDialog(Platform* p, std::string path) {
  Platform::Impl* impl = p->impl;
  if (GtkWidget* box = std::exchange(impl->replaceBox, nullptr)) gtk_widget_destroy(box);
  if (GtkFileChooserNative* dialog = std::exchange(impl->dialog, nullptr)) {
    g_signal_handlers_disconnect_by_data(dialog, p);
    gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(dialog));
    g_object_unref(dialog);
  }
  std::lock_guard<std::mutex> lock(impl->dialogMutex);
  if (impl->request) {
    impl->request->path = std::move(path);
    impl->request->done = true;
    impl->request = nullptr;
  }
  impl->dialogAnswered.notify_all();
}

// The next dialog opens where this file is.
void rememberFolderOf(Platform* p, const std::string& path) {
  char* parent = g_path_get_dirname(path.c_str());
  p->impl->lastFolder = parent;
  g_free(parent);
}

void onDialogResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const bool folderMode = gtk_file_chooser_get_action(GTK_FILE_CHOOSER(dialog)) ==
                          GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
  std::string path;
  if (response == GTK_RESPONSE_ACCEPT) {
    path = chosenPath(GTK_FILE_CHOOSER(dialog), folderMode ? kDialogFolder : kDialogWav);
  }
  if (!path.empty()) {
    if (folderMode) {
      p->impl->lastFolder = path;
    } else {
      rememberFolderOf(p, path);
    }
  }
  answerDialog(p, std::move(path));
}

GtkFileChooserNative* newDialog(Platform* p, int32_t mode) {
  const bool folder = mode == kDialogFolder;
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
      folder ? "Select Folder" : "Open", GTK_WINDOW(p->impl->window),
      folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN,
      folder ? "_Select Folder" : "_Open", "_Cancel");
  // The editor stays usable while the dialog is open; the panel itself decides what to ignore.
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), FALSE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_select_multiple(chooser, FALSE);
  gtk_file_chooser_set_current_folder(chooser, startFolder(p->impl).c_str());
  if (!folder) {
    // Patterns are case-sensitive here but not on the desktops users come from: "CAB.WAV"
    // must show. A custom filter could ignore case, but the desktop portal drops custom
    // filters; bracket globs work in both.
    GtkFileFilter* wave = gtk_file_filter_new();
    gtk_file_filter_set_name(wave, "Wave");
    gtk_file_filter_add_pattern(wave, "*.[Ww][Aa][Vv]");
    gtk_file_filter_add_pattern(wave, "*.[Ww][Aa][Vv][Ee]");
    gtk_file_chooser_add_filter(chooser, wave);  // takes the floating reference
  }
  return dialog;
}

// --- Sysex files, the panel's menu, the shortcut keys and the confirmation box

bool isSysexMode(int32_t mode) {
  return mode == kDialogOpenSysex || mode == kDialogSaveSysex;
}

GtkFileChooserNative* newSysexDialog(Platform* p, int32_t mode) {
  const bool save = mode == kDialogSaveSysex;
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
      save ? "Save" : "Open", GTK_WINDOW(p->impl->window),
      save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, save ? "_Save" : "_Open",
      "_Cancel");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), FALSE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_select_multiple(chooser, FALSE);
  gtk_file_chooser_set_current_folder(chooser, startFolder(p->impl).c_str());
  if (save) {
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    gtk_file_chooser_set_current_name(chooser, "program.syx");
  }
  GtkFileFilter* syx = gtk_file_filter_new();
  gtk_file_filter_set_name(syx, "System exclusive");
  gtk_file_filter_add_pattern(syx, "*.[Ss][Yy][Xx]");
  gtk_file_chooser_add_filter(chooser, syx);
  return dialog;
}

// The answer to "replace it?": the name is taken, or the save dialog comes back with the name as
// it would be written, for another one.
void onReplaceResponse(GtkDialog* box, gint response, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const std::string path = static_cast<const char*>(g_object_get_data(G_OBJECT(box), "orq-path"));
  p->impl->replaceBox = nullptr;
  gtk_widget_destroy(GTK_WIDGET(box));
  if (!p->impl->dialog) return;
  if (response == GTK_RESPONSE_ACCEPT) {
    rememberFolderOf(p, path);
    answerDialog(p, path);
    return;
  }
  char* name = g_path_get_basename(path.c_str());
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(p->impl->dialog), name);
  g_free(name);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(p->impl->dialog));
}

// The dialog asks before replacing only the name that was typed; a name that gets .syx added
// may name a file too, and is asked about here, as the dialog would have asked.
void askBeforeReplacing(Platform* p, const std::string& path) {
  char* name = g_filename_display_basename(path.c_str());
  char* parent = g_path_get_dirname(path.c_str());
  char* folder = g_filename_display_basename(parent);
  GtkWidget* box = gtk_message_dialog_new(
      GTK_WINDOW(p->impl->window),
      GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_QUESTION,
      GTK_BUTTONS_NONE, "A file named \u201c%s\u201d already exists.  Do you want to replace it?",
      name);
  gtk_message_dialog_format_secondary_text(
      GTK_MESSAGE_DIALOG(box),
      "The file already exists in \u201c%s\u201d.  Replacing it will overwrite its contents.",
      folder);
  g_free(name);
  g_free(parent);
  g_free(folder);
  gtk_window_set_title(GTK_WINDOW(box), p->title.c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(box), "_Cancel", GTK_RESPONSE_CANCEL, "_Replace",
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
  g_object_set_data_full(G_OBJECT(box), "orq-path", g_strdup(path.c_str()), g_free);
  g_signal_connect(box, "response", G_CALLBACK(onReplaceResponse), p);
  p->impl->replaceBox = box;
  gtk_widget_show_all(box);
}

// An existing file to open; to save, a name in an existing folder, with .syx added when the
// name has no extension of its own.
void onSysexResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  const bool save = gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SAVE;
  std::string path;
  if (response == GTK_RESPONSE_ACCEPT && !save) {
    path = chosenPath(chooser, kDialogWav);
  } else if (response == GTK_RESPONSE_ACCEPT) {
    if (GFile* file = gtk_file_chooser_get_file(chooser)) {
      if (char* raw = g_file_get_path(file)) {
        path = raw;
        g_free(raw);
      }
      g_object_unref(file);
    }
    const size_t slash = path.find_last_of('/');
    const bool extended = !path.empty() && path.find('.', slash == std::string::npos ? 0 : slash) ==
                                               std::string::npos;
    if (extended) path += ".syx";
    char* parent = g_path_get_dirname(path.c_str());
    if (!isFolder(parent)) path.clear();
    g_free(parent);
    if (extended && !path.empty() && g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
      askBeforeReplacing(p, path);
      return;
    }
  }
  if (!path.empty()) rememberFolderOf(p, path);
  answerDialog(p, std::move(path));
}

// "Ctrl+Shift+Z" as GTK's accelerator text, "<Control><Shift>z".
std::string gtkAccelerator(const std::string& shortcut) {
  std::string out;
  size_t at = 0;
  for (size_t plus; (plus = shortcut.find('+', at)) != std::string::npos; at = plus + 1) {
    const std::string mod = shortcut.substr(at, plus - at);
    out += mod == "Ctrl" ? "<Control>" : "<" + mod + ">";
  }
  for (char c : shortcut.substr(at)) out.push_back(static_cast<char>(g_ascii_tolower(c)));
  return out;
}

void onMenuItem(GtkMenuItem* item, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  p->action = static_cast<Action>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "orq-action")));
  p->deliver(PlatformEvent::Action);
}

// Ctrl+letter: the shortcut keys, on whatever widget has the focus.
gboolean onKeyPress(GtkWidget*, GdkEventKey* e, gpointer data) {
  auto* p = static_cast<Platform*>(data);
  const guint32 letter = gdk_keyval_to_unicode(gdk_keyval_to_upper(e->keyval));
  const Action action =
      shortcutAction(letter, (e->state & GDK_CONTROL_MASK) != 0, (e->state & GDK_SHIFT_MASK) != 0);
  if (action == Action::None) return FALSE;
  p->action = action;
  p->deliver(PlatformEvent::Action);
  return TRUE;
}

// One question of confirm(), answered on the user-interface thread.
struct ConfirmRequest {
  std::string message;
  std::string button;  // GTK's mnemonic form ("_Restore"); empty: OK alone
  bool answer = false;
  bool done = false;
};
std::mutex gConfirmMutex;
std::condition_variable gConfirmAnswered;
ConfirmRequest* gConfirm = nullptr;  // guarded by gConfirmMutex
bool gConfirmsClosed = false;        // guarded by gConfirmMutex
GtkWidget* gConfirmBox = nullptr;    // user-interface thread

void answerConfirm(bool answer) {
  if (GtkWidget* box = std::exchange(gConfirmBox, nullptr)) gtk_widget_destroy(box);
  std::lock_guard<std::mutex> lock(gConfirmMutex);
  if (gConfirm) {
    gConfirm->answer = answer;
    gConfirm->done = true;
    gConfirm = nullptr;
  }
  gConfirmAnswered.notify_all();
}

void onConfirmResponse(GtkDialog*, gint response, gpointer) {
  answerConfirm(response == GTK_RESPONSE_ACCEPT);
}

gboolean onShowConfirm(gpointer data) {
  auto* p = static_cast<Platform*>(data);
  std::string message;
  std::string button;
  {
    std::lock_guard<std::mutex> lock(gConfirmMutex);
    if (!gConfirm || gConfirmBox) return G_SOURCE_REMOVE;
    message = gConfirm->message;
    button = gConfirm->button;
  }
  GtkWidget* box =
      gtk_message_dialog_new(GTK_WINDOW(p->impl->window),
                             GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                             button.empty() ? GTK_MESSAGE_WARNING : GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(box), p->title.c_str());
  if (button.empty()) {
    gtk_dialog_add_button(GTK_DIALOG(box), "_OK", GTK_RESPONSE_CANCEL);
  } else {
    gtk_dialog_add_buttons(GTK_DIALOG(box), "_Cancel", GTK_RESPONSE_CANCEL, button.c_str(),
                           GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
  }
  g_signal_connect(box, "response", G_CALLBACK(onConfirmResponse), nullptr);
  gConfirmBox = box;
  gtk_widget_show_all(box);
  return G_SOURCE_REMOVE;
}

void connectLibrarian(Platform* p) {
  g_signal_connect(p->impl->window, "key-press-event", G_CALLBACK(onKeyPress), p);
}

gboolean onShowDialog(gpointer data) {
  auto* p = static_cast<Platform*>(data);
  int32_t mode = 0;
  {
    std::lock_guard<std::mutex> lock(p->impl->dialogMutex);
    // Answered meanwhile (shutdown), or a dialog is already up.
    if (!p->impl->request || p->impl->dialog) return G_SOURCE_REMOVE;
    mode = p->impl->request->mode;
  }
  p->impl->dialog = isSysexMode(mode) ? newSysexDialog(p, mode) : newDialog(p, mode);
  g_signal_connect(p->impl->dialog, "response",
                   isSysexMode(mode) ? G_CALLBACK(onSysexResponse) : G_CALLBACK(onDialogResponse),
                   p);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(p->impl->dialog));
  return G_SOURCE_REMOVE;
}

// The program's icon on the window (_NET_WM_ICON), at both stored sizes. The stored pictures
// are premultiplied; a pixbuf takes straight alpha.
void setWindowIcon(GtkWindow* window) {
  GList* icons = nullptr;
  for (int size : {48, 256}) {
    const render::ImageData icon = assets::appIcon(size);
    if (!icon.bytes || icon.size < 6 || icon.bytes[0] != 'R' || icon.bytes[1] != 'I') continue;
    const int w = icon.bytes[2] | icon.bytes[3] << 8;
    const int h = icon.bytes[4] | icon.bytes[5] << 8;
    if (icon.size != 6 + size_t(w) * size_t(h) * 4) continue;
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
    if (!pixbuf) continue;
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* out = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint8_t* s = icon.bytes + 6 + (size_t(y) * w + x) * 4;
        guchar* d = out + y * stride + x * 4;
        for (int c = 0; c < 3; ++c) d[c] = render::unpremultiply(s[c], s[3]);
        d[3] = s[3];
      }
    }
    icons = g_list_append(icons, pixbuf);
  }
  gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
}

gboolean onIconIdle(gpointer data) {
  auto* p = static_cast<Platform*>(data);
  if (p->impl && p->impl->window) setWindowIcon(GTK_WINDOW(p->impl->window));
  return G_SOURCE_REMOVE;
}

// The icon is set once the window is on screen: turning the 256-pixel picture into the
// _NET_WM_ICON property and sending it to the X server takes about 20 ms, which would otherwise
// come before the window appears. At low priority the first frame is painted before it.
gboolean onMapped(GtkWidget* window, GdkEvent*, gpointer data) {
  g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(&onMapped), data);
  g_idle_add_full(G_PRIORITY_LOW, onIconIdle, data, nullptr);
  return FALSE;
}
}  // namespace

Platform* Platform::current() {
  return gPlatform;
}

Platform::Platform(std::string t, std::string id) : title(std::move(t)), identifier(std::move(id)) {
  if (gPlatform) return;  // one window per process
  gPlatform = this;
  impl = new Impl;
  impl->uiThread = std::this_thread::get_id();
  g_set_prgname(identifier.c_str());
  // Everything is drawn with Cairo into image surfaces, so GDK's probe for OpenGL at start-up is
  // pure cost: on a software renderer it loads LLVM, which is most of the time to a window. A
  // setting the user made stays; the variable is only read here and is not passed on.
  const bool userSetGl = std::getenv("GDK_GL") != nullptr;
  if (!userSetGl) g_setenv("GDK_GL", "disable", FALSE);
  const bool initialised = gtk_init_check(nullptr, nullptr);
  if (!userSetGl) g_unsetenv("GDK_GL");
  if (!initialised) return;  // no display: no window
  g_set_application_name(title.c_str());

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  // GTK sizes are in its units, which it scales by the monitor's whole-number factor; the text
  // scale is ours to apply. At Xft.dpi 120 the window opens at 1280 x 925.
  const float startDpi = static_cast<float>(96.0 * textScale());
  gtk_window_set_default_size(GTK_WINDOW(window), scaledWindowSize(startDpi, kWindowWidth),
                              scaledWindowSize(startDpi, kWindowHeight));
  applyMinimumSize(GTK_WINDOW(window));

  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_app_paintable(area, TRUE);
  gtk_widget_add_events(area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                  GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
                                  GDK_SMOOTH_SCROLL_MASK);
  gtk_container_add(GTK_CONTAINER(window), area);
  static const GtkTargetEntry kUriList = {const_cast<gchar*>("text/uri-list"), 0, 0};
  gtk_drag_dest_set(area, static_cast<GtkDestDefaults>(0), &kUriList, 1, GDK_ACTION_COPY);

  g_signal_connect(area, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(area, "button-press-event", G_CALLBACK(onButton), this);
  g_signal_connect(area, "button-release-event", G_CALLBACK(onButton), this);
  g_signal_connect(area, "scroll-event", G_CALLBACK(onScroll), this);
  g_signal_connect(area, "drag-motion", G_CALLBACK(onDragMotion), this);
  g_signal_connect(area, "drag-leave", G_CALLBACK(onDragLeave), this);
  g_signal_connect(area, "drag-drop", G_CALLBACK(onDragDrop), this);
  g_signal_connect(area, "drag-data-received", G_CALLBACK(onDragData), this);
  g_signal_connect(area, "notify::scale-factor", G_CALLBACK(onScaleChanged), this);
  g_signal_connect(gtk_settings_get_default(), "notify::gtk-xft-dpi", G_CALLBACK(onScaleChanged),
                   this);
  g_signal_connect(window, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(window, "focus-in-event", G_CALLBACK(onFocus), this);
  g_signal_connect(window, "focus-out-event", G_CALLBACK(onFocus), this);

  impl->window = window;
  impl->area = area;
  g_signal_connect(window, "map-event", G_CALLBACK(onMapped), this);
  connectLibrarian(this);
  impl->timer = g_timeout_add(kTimerMs, onTimer, this);
  const int signals[3] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i)
    impl->signalSources[i] = g_unix_signal_add(signals[i], onTerminate, this);
}

Platform::~Platform() {
  if (!impl) return;
  closeDialogs();
  if (impl->timer) g_source_remove(impl->timer);
  for (guint id : impl->signalSources)
    if (id) g_source_remove(id);
  while (g_idle_remove_by_data(this)) {
  }
  if (impl->window) {
    g_signal_handlers_disconnect_by_data(gtk_settings_get_default(), this);
    gtk_widget_destroy(impl->window);
  }
  delete impl;
  impl = nullptr;
  callback = nullptr;
  if (gPlatform == this) gPlatform = nullptr;
}

std::wstring commandLineFile(int argc, char** argv) {
  if (argc < 2 || !argv[1] || !argv[1][0]) return {};
  std::error_code ec;
  const std::filesystem::path given = std::filesystem::absolute(argv[1], ec);
  return widePath(ec ? std::string(argv[1]) : given.string());
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
  if (!hasWindow()) return 96.0f;
  return static_cast<float>(96.0 * scaleOf(impl) * textScale());
}

std::wstring Platform::openFileDialog(int32_t mode) {
  if (mode != kDialogWav && mode != kDialogFolder && !isSysexMode(mode)) return {};
  // Asked on the user-interface thread, the wait below would stop the loop that answers it.
  if (!hasWindow() || std::this_thread::get_id() == impl->uiThread) return {};
  DialogRequest request;
  request.mode = mode;
  std::unique_lock<std::mutex> lock(impl->dialogMutex);
  if (impl->dialogsClosed || impl->request) return {};  // shutting down, or one is open
  impl->request = &request;
  g_idle_add_full(G_PRIORITY_DEFAULT, onShowDialog, this, nullptr);  // thread-safe
  impl->dialogAnswered.wait(lock, [&] { return request.done; });
  return widePath(request.path);
}

void Platform::closeDialogs() {
  if (!impl) return;
  {
    std::lock_guard<std::mutex> lock(impl->dialogMutex);
    impl->dialogsClosed = true;
  }
  answerDialog(this, {});
  {
    std::lock_guard<std::mutex> lock(gConfirmMutex);
    gConfirmsClosed = true;
  }
  answerConfirm(false);
}

// Ends a menu popupMenu showed, whether or not GTK has destroyed it already.
static void dropMenu(gpointer menu) {
  gtk_widget_destroy(GTK_WIDGET(menu));
  g_object_unref(menu);
}

void Platform::popupMenu(const std::vector<MenuItem>& items) {
  if (!hasWindow()) return;
  GtkWidget* menu = gtk_menu_new();
  for (const MenuItem& item : items) {
    GtkWidget* entry = gtk_menu_item_new_with_label(item.label.c_str());
    g_object_set_data(G_OBJECT(entry), "orq-action",
                      GINT_TO_POINTER(static_cast<int>(item.action)));
    guint key = 0;
    GdkModifierType mods = GdkModifierType(0);
    if (!item.shortcut.empty())
      gtk_accelerator_parse(gtkAccelerator(item.shortcut).c_str(), &key, &mods);
    if (key != 0) {
      gtk_accel_label_set_accel(GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(entry))), key, mods);
    }
    gtk_widget_set_sensitive(entry, item.enabled);
    g_signal_connect(entry, "activate", G_CALLBACK(onMenuItem), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
  }
  gtk_widget_show_all(menu);
  gtk_menu_attach_to_widget(GTK_MENU(menu), impl->area, nullptr);
  // The menu lives until the next one replaces it (or the window goes). GTK destroys an attached
  // menu with its widget, so the reference held here keeps the pointer valid until then.
  g_object_ref_sink(menu);
  g_object_set_data_full(G_OBJECT(impl->area), "orq-menu", menu, dropMenu);
  GdkEvent* trigger = gtk_get_current_event();
  gtk_menu_popup_at_pointer(GTK_MENU(menu), trigger);
  if (trigger) gdk_event_free(trigger);
}

void Platform::openBackupsFolder() {
  if (!hasWindow()) return;
  const std::string folder = nativePath(safetyBackupFolder());
  std::string why = "the system names no folder for it (no home folder)";
  if (!folder.empty()) {
    g_mkdir_with_parents(folder.c_str(), 0700);
    GFile* file = g_file_new_for_path(folder.c_str());
    char* uri = g_file_get_uri(file);
    g_object_unref(file);
    GError* error = nullptr;
    const bool shown =
        gtk_show_uri_on_window(GTK_WINDOW(impl->window), uri, GDK_CURRENT_TIME, &error);
    g_free(uri);
    if (shown) return;
    why = error ? error->message : "no program opens folders";
    if (error) g_error_free(error);
  }
  const std::string message = "The backups folder " + folder + " cannot be shown: " + why + ".";
  std::fprintf(stderr, "orq-editor: %s\n", message.c_str());
  GtkWidget* box = gtk_message_dialog_new(
      GTK_WINDOW(impl->window), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(box), title.c_str());
  g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show_all(box);
}

bool Platform::confirm(const std::string& message, const std::string& button) {
  if (!hasWindow() || std::this_thread::get_id() == impl->uiThread) return false;
  // Also for a terminal the editor was started from, and for whoever reads its output later.
  std::fprintf(stderr, "orq-editor: %s\n", message.c_str());
  ConfirmRequest request;
  request.message = message;
  for (char c : button) request.button.push_back(c == '&' ? '_' : c);
  std::unique_lock<std::mutex> lock(gConfirmMutex);
  if (gConfirmsClosed || gConfirm) return false;
  gConfirm = &request;
  g_idle_add_full(G_PRIORITY_DEFAULT, onShowConfirm, this, nullptr);
  gConfirmAnswered.wait(lock, [&] { return request.done; });
  return request.answer;
}

}  // namespace orq
