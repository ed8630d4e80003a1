/* A file manager's drag, as far as the drop target sees it: the XDND source side (version 5)
 * carrying one text/uri-list. It enters the target window, moves to a point given in the
 * window's coordinates, and drops there, answering the target's selection requests for the
 * list at any time (Wine asks on entering, GTK on the drop).
 * Usage: xdnd_drag WINDOW X Y URI-LIST [hover]
 *   Prints "status N" (1: the target takes a drop there) and, after a drop, "finished N"
 *   (1: the target says it took the data). A refused position is left without a drop, as a
 *   source does. With "hover" it stays over the point until its standard input ends, then
 *   leaves without dropping.
 * Exit 0 when the exchange completed, 1 when the target did not answer in time, 2 on bad
 * arguments or no display. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static Display* d;
static Window source, target;
static const char* list;
static Atom xdndAware, xdndSelection, xdndEnter, xdndPosition, xdndStatus, xdndLeave, xdndDrop,
    xdndFinished, actionCopy, uriList;

static void send(Atom type, long l1, long l2, long l3, long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = target;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)source;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(d, target, False, NoEventMask, &e);
  XFlush(d);
}

static void answer(const XSelectionRequestEvent* r) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = r->requestor;
  reply.xselection.selection = r->selection;
  reply.xselection.target = r->target;
  reply.xselection.time = r->time;
  reply.xselection.property = None;
  if (r->target == uriList && r->property != None) {
    XChangeProperty(d, r->requestor, r->property, uriList, 8, PropModeReplace,
                    (const unsigned char*)list, (int)strlen(list));
    reply.xselection.property = r->property;
  }
  XSendEvent(d, r->requestor, False, NoEventMask, &reply);
  XFlush(d);
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

/* Serves selection requests until the target sends `type`; its data.l[1], or -1 after 10 s. */
static long await(Atom type) {
  const double until = now() + 10.0;
  for (;;) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == SelectionRequest) answer(&e.xselectionrequest);
      if (e.type == ClientMessage && e.xclient.message_type == type) return e.xclient.data.l[1];
    }
    const double left = until - now();
    if (left <= 0) return -1;
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, (int)(left * 1000) + 1);
  }
}

/* The window itself or the nearest ancestor that says it takes drops. */
static Window awareWindow(Window w) {
  while (w) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(d, w, xdndAware, 0, 1, False, AnyPropertyType, &type, &format, &n,
                           &after, &data) == Success && data) {
      XFree(data);
      if (n > 0) return w;
    }
    Window root, parent, *kids = NULL;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &parent, &kids, &count)) return 0;
    if (kids) XFree(kids);
    w = parent == root ? 0 : parent;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6 || (argc == 6 && strcmp(argv[5], "hover") != 0)) {
    fprintf(stderr, "usage: xdnd_drag WINDOW X Y URI-LIST [hover]\n");
    return 2;
  }
  d = XOpenDisplay(NULL);
  if (!d) return 2;
  const Window given = (Window)strtoul(argv[1], NULL, 0);
  list = argv[4];
  xdndAware = XInternAtom(d, "XdndAware", False);
  xdndSelection = XInternAtom(d, "XdndSelection", False);
  xdndEnter = XInternAtom(d, "XdndEnter", False);
  xdndPosition = XInternAtom(d, "XdndPosition", False);
  xdndStatus = XInternAtom(d, "XdndStatus", False);
  xdndLeave = XInternAtom(d, "XdndLeave", False);
  xdndDrop = XInternAtom(d, "XdndDrop", False);
  xdndFinished = XInternAtom(d, "XdndFinished", False);
  actionCopy = XInternAtom(d, "XdndActionCopy", False);
  uriList = XInternAtom(d, "text/uri-list", False);
  target = awareWindow(given);
  if (!target) {
    fprintf(stderr, "xdnd_drag: window %s takes no drops\n", argv[1]);
    return 1;
  }
  int rootX = 0, rootY = 0;
  Window child;
  XTranslateCoordinates(d, given, DefaultRootWindow(d), atoi(argv[2]), atoi(argv[3]), &rootX,
                        &rootY, &child);
  source = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(d, xdndSelection, source, CurrentTime);

  send(xdndEnter, 5L << 24, (long)uriList, None, None);
  send(xdndPosition, 0, ((long)rootX << 16) | (rootY & 0xFFFF), CurrentTime, (long)actionCopy);
  const long status = await(xdndStatus);
  if (status < 0) {
    fprintf(stderr, "xdnd_drag: no XdndStatus\n");
    return 1;
  }
  printf("status %ld\n", status & 1);
  fflush(stdout);
  if (argc == 6) {
    char line[64];
    while (fgets(line, sizeof line, stdin)) {
    }
  }
  if (argc == 6 || !(status & 1)) {
    send(xdndLeave, 0, 0, 0, 0);
  } else {
    send(xdndDrop, 0, CurrentTime, 0, 0);
    const long finished = await(xdndFinished);
    if (finished < 0) {
      fprintf(stderr, "xdnd_drag: no XdndFinished\n");
      return 1;
    }
    printf("finished %ld\n", finished & 1);
  }
  XDestroyWindow(d, source);
  XCloseDisplay(d);
  return 0;
}
