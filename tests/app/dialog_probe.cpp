// The editor's window and its real file dialogs, for dialog_test.py. Shows the window, then a
// worker thread asks for one dialog per mode argument, in order, and the program prints what a
// person cannot easily see from outside, one line each (paths as raw bytes):
//   dialog title=T action=open|folder modal=0|1 folder=F filters=NAME[matching samples]...
//   concurrent [P]      a second request made while the first dialog is up, and its answer
//   result M [P]        the answer to the request of mode M
//   freed               a dialog's window was finalized
// The program ends with status 0 after the last answer, or when the window is closed.
//   dialog_probe --queued   checks that shutdown answers a request the loop has not yet shown
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/platform.h"
#include "files/file_path.h"

namespace {

std::mutex gOut;

void say(const std::string& line) {
  std::lock_guard<std::mutex> lock(gOut);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Names the "Wave" filter must and must not match, checked against the dialog's own filters.
const char* const kSamples[] = {"a.wav", "B.WAV",     "c.Wave", "d.wave", "e.WAVE",
                                "f.txt", "g.wav.txt", "wav",    "h.wavy"};

std::string describeFilters(GtkFileChooser* chooser) {
  std::string out;
  GSList* filters = gtk_file_chooser_list_filters(chooser);
  for (GSList* f = filters; f; f = f->next) {
    auto* filter = GTK_FILE_FILTER(f->data);
    const char* name = gtk_file_filter_get_name(filter);
    out += std::string(out.empty() ? "" : ",") + (name ? name : "") + "[";
    bool first = true;
    for (const char* sample : kSamples) {
      GtkFileFilterInfo info{};
      info.contains =
          static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_DISPLAY_NAME | GTK_FILE_FILTER_FILENAME);
      info.filename = sample;
      info.display_name = sample;
      if (!gtk_file_filter_filter(filter, &info)) continue;
      out += std::string(first ? "" : " ") + sample;
      first = false;
    }
    out += "]";
  }
  g_slist_free(filters);
  return out;
}

struct Probe {
  orq::Platform* platform = nullptr;
  std::set<GtkWidget*> seen;  // dialog windows already reported
  int waits = 0;              // polls spent waiting for the shown dialog to load its folder
  std::thread concurrent;
};

void onDialogFreed(gpointer data, GObject* gone) {
  static_cast<Probe*>(data)->seen.erase(reinterpret_cast<GtkWidget*>(gone));
  say("freed");
}

// Polls the toplevels for a newly shown file chooser: the platform keeps its dialog private.
gboolean scanForDialogs(gpointer data) {
  auto* probe = static_cast<Probe*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    auto* widget = GTK_WIDGET(w->data);
    if (!GTK_IS_FILE_CHOOSER_DIALOG(widget) || !gtk_widget_get_mapped(widget)) continue;
    if (probe->seen.count(widget)) continue;
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(widget);
    // The folder is known once the chooser has started loading it; "Recent" never has one.
    char* folder = gtk_file_chooser_get_current_folder(chooser);
    if (!folder && ++probe->waits < 50) continue;
    probe->waits = 0;
    probe->seen.insert(widget);
    g_object_weak_ref(G_OBJECT(widget), onDialogFreed, probe);
    const bool folderAction =
        gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
    say(std::string("dialog title=") + gtk_window_get_title(GTK_WINDOW(widget)) +
        " action=" + (folderAction ? "folder" : "open") +
        " modal=" + (gtk_window_get_modal(GTK_WINDOW(widget)) ? "1" : "0") +
        " folder=" + (folder ? folder : "(none)") + " filters=" + describeFilters(chooser));
    g_free(folder);
    if (!probe->concurrent.joinable()) {
      orq::Platform* platform = probe->platform;
      probe->concurrent = std::thread([platform] {
        say("concurrent [" + orq::nativePath(platform->openFileDialog(orq::kDialogWav)) + "]");
      });
    }
  }
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

gboolean stopLoop(gpointer data) {
  static_cast<orq::Platform*>(data)->running = false;
  return G_SOURCE_REMOVE;
}

int runModes(const std::vector<int32_t>& modes) {
  orq::Platform platform("Tarvik Editor", "com.tarvik.editor");
  if (!platform.hasWindow()) {
    std::fprintf(stderr, "dialog_probe: no display\n");
    return 2;
  }
  Probe probe;
  probe.platform = &platform;
  const guint scan = g_timeout_add(20, scanForDialogs, &probe);
  std::thread worker([&] {
    for (int32_t mode : modes) {
      const std::wstring path = platform.openFileDialog(mode);
      say("result " + std::to_string(mode) + " [" + orq::nativePath(path) + "]");
    }
    g_idle_add(stopLoop, &platform);
  });
  platform.show();
  platform.runLoop();
  // The editor's own shutdown order: dialogs closed, then the worker joined.
  platform.closeDialogs();
  worker.join();
  if (probe.concurrent.joinable()) probe.concurrent.join();
  g_source_remove(scan);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  return 0;
}

bool fileChooserShown() {
  bool shown = false;
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
      shown = true;
    }
  }
  g_list_free(windows);
  return shown;
}

// A request that reached the loop's queue but was never shown must be answered by shutdown,
// nothing may appear when the loop later runs the queued work, and later requests are
// answered empty at once.
int runQueued() {
  using Clock = std::chrono::steady_clock;
  orq::Platform platform("Tarvik Editor", "com.tarvik.editor");
  if (!platform.hasWindow()) {
    std::fprintf(stderr, "dialog_probe: no display\n");
    return 2;
  }
  std::wstring answer = L"unanswered";
  std::thread worker([&] { answer = platform.openFileDialog(orq::kDialogFolder); });
  // The loop is not running: the request waits in its queue as an idle source.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  bool queued = false;
  while (!queued && Clock::now() < deadline) {
    queued = g_main_context_find_source_by_funcs_user_data(nullptr, &g_idle_funcs, &platform);
    if (!queued) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  platform.closeDialogs();
  worker.join();
  const auto loopEnd = Clock::now() + std::chrono::milliseconds(300);
  while (Clock::now() < loopEnd) g_main_context_iteration(nullptr, FALSE);
  const auto asked = Clock::now();
  const std::wstring later = platform.openFileDialog(orq::kDialogWav);
  const bool atOnce = Clock::now() - asked < std::chrono::milliseconds(200);

  const char* fault = !queued                     ? "the request never reached the loop"
                      : !answer.empty()           ? "the queued request got a path"
                      : fileChooserShown()        ? "a dialog appeared after shutdown"
                      : !later.empty() || !atOnce ? "a later request was not answered empty at once"
                                                  : nullptr;
  say(fault ? std::string("FAIL: ") + fault : "queued ok");
  return fault ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--queued") == 0) return runQueued();
  std::vector<int32_t> modes;
  for (int i = 1; i < argc; ++i) modes.push_back(static_cast<int32_t>(std::atoi(argv[i])));
  if (modes.empty()) {
    std::fprintf(stderr, "usage: dialog_probe MODE... | --queued\n");
    return 2;
  }
  return runModes(modes);
}
