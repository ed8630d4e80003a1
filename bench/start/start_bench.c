/* Start-up time of the editor: from starting the program to its window being mapped, measured
 * from outside as the X server reports it (MapNotify on the root window), median of N runs.
 * Usage: start_bench EDITOR [RUNS]   (needs DISPLAY, e.g. under Xvfb; default 10 runs).
 * Each run closes the window with WM_DELETE_WINDOW and waits for the program to end. */
#define _DEFAULT_SOURCE
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int cmp(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static int titled(Display* d, Window w, const char* title) {
  char* name = NULL;
  int same = 0;
  if (XFetchName(d, w, &name) && name) {
    same = strcmp(name, title) == 0;
    XFree(name);
  }
  return same;
}

static void close_window(Display* d, Window w) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: start_bench EDITOR [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? atoi(argv[2]) : 10;
  Display* d = XOpenDisplay(NULL);
  if (!d || runs < 1 || runs > 1000) {
    fprintf(stderr, "start_bench: no display, or a bad run count\n");
    return 2;
  }
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  double* times = calloc((size_t)runs, sizeof *times);
  for (int i = 0; i < runs; ++i) {
    const double t0 = now();
    const pid_t pid = fork();
    if (pid == 0) {
      /* The editor's own messages (no MIDI service here, say) are not what is measured. */
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(argv[1], argv[1], (char*)NULL);
      _exit(127);
    }
    Window shown = 0;
    while (!shown) {
      if (now() - t0 > 20) {
        fprintf(stderr, "start_bench: no window after 20 s\n");
        kill(pid, SIGKILL);
        return 1;
      }
      if (!XPending(d)) {
        usleep(200);
        continue;
      }
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify && titled(d, e.xmap.window, "Tarvik Editor")) shown = e.xmap.window;
    }
    times[i] = now() - t0;
    close_window(d, shown);
    int status = 0;
    waitpid(pid, &status, 0);
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
    }
  }
  qsort(times, (size_t)runs, sizeof *times, cmp);
  printf("start to mapped window: median %.1f ms, min %.1f ms, max %.1f ms over %d runs\n",
         1000 * times[runs / 2], 1000 * times[0], 1000 * times[runs - 1], runs);
  free(times);
  XCloseDisplay(d);
  return 0;
}
