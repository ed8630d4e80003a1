/* Sends the window manager's close request (WM_DELETE_WINDOW) to the first top-level window
 * with the given title, as a window manager would when the user clicks the close box.
 * Usage: wm_close TITLE. Exit 0 when sent, 1 when no such window, 2 without a display. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <string.h>

static Window find(Display* d, Window w, const char* title) {
  char* name = NULL;
  if (XFetchName(d, w, &name) && name) {
    int same = strcmp(name, title) == 0;
    XFree(name);
    XWindowAttributes a;
    /* GTK's hidden client-leader window carries the title too; only the shown one counts. */
    if (same && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
  }
  Window root, parent, *kids = NULL;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = find(d, kids[i], title);
    if (kids) XFree(kids);
  }
  return found;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: wm_close TITLE\n");
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  Window w = find(d, DefaultRootWindow(d), argv[1]);
  if (!w) return 1;
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return 0;
}
