/* Watches the root window for requests to make a window fullscreen (the _NET_WM_STATE
   client messages a window manager acts on) and prints "fullscreen requested" for each.
   With --announce it first makes the display look as if a window manager ran, the way
   one announces itself: a window whose _NET_SUPPORTING_WM_CHECK names itself, named again
   on the root window. Nothing is managed. Prints "ready" once watching, and stays until
   its standard input ends (a server with no client left may reset itself).
   Usage: x11_announce_wm [--announce]   (standard input a pipe) */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  const int announce = argc > 1 && strcmp(argv[1], "--announce") == 0;
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "x11_announce_wm: cannot open the display\n");
    return 1;
  }
  Window root = DefaultRootWindow(dpy);
  Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
  Atom state = XInternAtom(dpy, "_NET_WM_STATE", False);
  Atom fullscreen = XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", False);
  XSelectInput(dpy, root, SubstructureNotifyMask);
  if (announce) {
    Window w = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(dpy, w, check, XA_WINDOW, 32, PropModeReplace, (unsigned char*)&w, 1);
    XChangeProperty(dpy, root, check, XA_WINDOW, 32, PropModeReplace, (unsigned char*)&w, 1);
  }
  XSync(dpy, False);
  printf("ready\n");
  fflush(stdout);

  struct pollfd fds[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {0, POLLIN, 0}};
  for (;;) {
    while (XPending(dpy)) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type == ClientMessage && ev.xclient.message_type == state &&
          ev.xclient.data.l[0] == 1 &&
          ((Atom)ev.xclient.data.l[1] == fullscreen || (Atom)ev.xclient.data.l[2] == fullscreen)) {
        printf("fullscreen requested\n");
        fflush(stdout);
      }
    }
    if (poll(fds, 2, -1) < 0) break;
    if (fds[1].revents) {
      char c;
      if (read(0, &c, 1) <= 0) break;
    }
  }
  if (announce) XDeleteProperty(dpy, root, check);
  XCloseDisplay(dpy);
  return 0;
}
