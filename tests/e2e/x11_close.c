/* Asks an X window to close the way a window manager's close button does: a
   WM_DELETE_WINDOW client message. Usage: x11_close <window id> */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: x11_close <window id>\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) return 1;
  Window w = (Window)strtoul(argv[1], NULL, 0);
  XEvent ev = {0};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, w, False, NoEventMask, &ev);
  XCloseDisplay(dpy);
  return 0;
}
