#include "platform/sdl/window_manager.h"

#include <SDL_syswm.h>
#include <dlfcn.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#endif

namespace platform {

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

// Placement: checked every half second from half a second after showing, until the window
// covers the output and is listed fullscreen (or for ten seconds at most), and fullscreen
// asked for again at each check until then. weston's XWayland sometimes places a window as
// an ordinary one at (32, 64) before its window manager has read the fullscreen state.
constexpr Uint32 kPlacementCheckMs = 500;
constexpr Uint32 kPlacementWatchMs = 10000;
// The focus: asked back a little after it was lost (so a manager's own switch is over),
// only while the show is above every other window, at most kFocusReturns times a show and
// never sooner than kFocusSpacingMs after the previous time: a program that takes the focus
// again and again is not fought for ever. Escape works without the focus anyway.
constexpr Uint32 kFocusDelayMs = 100;
constexpr Uint32 kFocusSpacingMs = 2000;
constexpr int kFocusReturns = 5;

// The Xlib and XInput calls needed, taken from the libraries SDL has already loaded: the
// program itself is not linked to them, and needs no X library on a Wayland-only desktop.
// clang-format off
#define QUORL_XLIB_CALLS(X)                                                                \
  X(XInternAtom) X(XDefaultRootWindow) X(XGetWindowProperty) X(XFree) X(XQueryKeymap)      \
  X(XKeysymToKeycode) X(XOpenDisplay) X(XDisplayString) X(XPending) X(XNextEvent)          \
  X(XGetEventData) X(XFreeEventData) X(XQueryExtension) X(XSendEvent)                      \
  X(XTranslateCoordinates) X(XGetGeometry) X(XFlush) X(XSelectInput) X(XChangeProperty)    \
  X(XWindowEvent)
// clang-format on
#define QUORL_XI_CALLS(X) X(XIQueryVersion) X(XISelectEvents)

struct Xlib {
#define QUORL_DECLARE(name) decltype(&::name) name = nullptr;
  QUORL_XLIB_CALLS(QUORL_DECLARE)
  QUORL_XI_CALLS(QUORL_DECLARE)
#undef QUORL_DECLARE
  bool xi = false;  // the XInput calls were found

  bool load() {
    void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!lib) return false;
    bool all = true;
#define QUORL_LOAD(name) \
  all = (name = reinterpret_cast<decltype(name)>(dlsym(lib, #name))) != nullptr && all;
    QUORL_XLIB_CALLS(QUORL_LOAD)
    dlclose(lib);  // NOLOAD took a reference of its own; SDL's keeps the library loaded
    // SDL loads libXi where it exists; the reference taken here is kept.
    if (all && (lib = dlopen("libXi.so.6", RTLD_LAZY))) {
      xi = true;
#define QUORL_LOAD_XI(name) \
  xi = (name = reinterpret_cast<decltype(name)>(dlsym(lib, #name))) != nullptr && xi;
      QUORL_XI_CALLS(QUORL_LOAD_XI)
    }
#undef QUORL_LOAD
#undef QUORL_LOAD_XI
    return all;
  }
};

struct Placement {
  int x = 0, y = 0, w = 0, h = 0;
};

struct ShowWindowState {
  Xlib x;
  SDL_Window* window = nullptr;
  Display* display = nullptr;  // SDL's connection
  Window xwindow = 0;
  Window root = 0;
  Display* keys = nullptr;  // a connection of our own, for the raw key events
  int xi_opcode = -1;
  KeyCode escape = 0;
  bool escape_down = false;  // as the raw key events left it
  Atom state = None, fullscreen = None, above = None, active = None, stacking = None;
  Atom stamp = None;  // an empty property of ours whose change tells the server's time
  SDL_Rect output = {};
  // placement
  bool placing = false;  // checks are still to come
  Uint32 placing_until = 0;
  Uint32 next_check = 0;
  // focus
  bool lost = false;
  Uint32 lost_at = 0;
  int returns = 0;
  Uint32 returned_at = 0;
} g_show;

Display* x11_display(SDL_Window* window, Window* xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
    return nullptr;
  }
  if (xwindow) *xwindow = info.info.x11.window;
  return info.info.x11.display;
}

bool x11_window_manager_runs(Display* display) {
  Xlib x;
  if (!display || !x.load()) return true;
  // An atom nobody has made cannot name a property: no manager ever ran on this display.
  const Atom check = x.XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  // The root window always exists, so reading it cannot raise an X error.
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* value = nullptr;
  const int status =
      x.XGetWindowProperty(display, x.XDefaultRootWindow(display), check, 0, 1, False,
                           AnyPropertyType, &type, &format, &items, &after, &value);
  if (value) x.XFree(value);
  if (status != Success) return true;
  return type != None && items > 0;
}

bool escape_in_keymap(Display* display) {
  char keymap[32] = {};
  g_show.x.XQueryKeymap(display, keymap);
  return (keymap[g_show.escape >> 3] >> (g_show.escape & 7)) & 1;
}

// The server's raw key presses and releases reach every client that asks for them on the root
// window, whichever window has the focus (XInput 2.1 and later: during grabs too). They come on a
// connection of our own, so SDL's event handling stays as it is.
void watch_raw_keys() {
  Xlib& x = g_show.x;
  if (!x.xi) return;
  Display* keys = x.XOpenDisplay(x.XDisplayString(g_show.display));
  if (!keys) return;
  int event = 0, error = 0;
  int major = 2, minor = 2;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawKeyPress);
  XISetMask(bits, XI_RawKeyRelease);
  XIEventMask mask = {XIAllDevices, sizeof bits, bits};
  if (x.XQueryExtension(keys, "XInputExtension", &g_show.xi_opcode, &event, &error) &&
      x.XIQueryVersion(keys, &major, &minor) == Success && major >= 2 &&
      x.XISelectEvents(keys, x.XDefaultRootWindow(keys), &mask, 1) == Success) {
    x.XSelectInput(keys, g_show.xwindow, PropertyChangeMask);
    g_show.keys = keys;
    // From here on the events tell every change; the keymap, read after the selection,
    // says where they start from.
    g_show.escape_down = escape_in_keymap(keys);
  }
  // A connection that cannot watch stays open unused: closing one is not worth an X error.
}

bool has_state(Atom wanted) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* value = nullptr;
  bool found = false;
  if (g_show.x.XGetWindowProperty(g_show.display, g_show.xwindow, g_show.state, 0, 32, False,
                                  XA_ATOM, &type, &format, &items, &after, &value) == Success &&
      value && format == 32) {
    const Atom* atoms = reinterpret_cast<const Atom*>(value);
    for (unsigned long i = 0; i < items; ++i) found = found || atoms[i] == wanted;
  }
  if (value) g_show.x.XFree(value);
  return found;
}

// Where the window is on the root and its size: two round trips, nothing allocated.
bool read_placement(Placement* p) {
  Xlib& x = g_show.x;
  Window child = 0, root = 0;
  int gx = 0, gy = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!x.XTranslateCoordinates(g_show.display, g_show.xwindow, g_show.root, 0, 0, &p->x, &p->y,
                               &child) ||
      !x.XGetGeometry(g_show.display, g_show.xwindow, &root, &gx, &gy, &width, &height, &border,
                      &depth)) {
    return false;
  }
  p->w = static_cast<int>(width);
  p->h = static_cast<int>(height);
  return true;
}

void send_to_manager(Atom type, long a, long b, long c, long d) {
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = g_show.xwindow;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = a;
  e.xclient.data.l[1] = b;
  e.xclient.data.l[2] = c;
  e.xclient.data.l[3] = d;
  g_show.x.XSendEvent(g_show.display, g_show.root, False,
                      SubstructureRedirectMask | SubstructureNotifyMask, &e);
  g_show.x.XFlush(g_show.display);
}

void check_placement() {
  Placement p;
  if (!read_placement(&p)) {
    g_show.placing = false;  // cannot tell: ask nothing
    return;
  }
  const SDL_Rect& o = g_show.output;
  const bool covers = p.x == o.x && p.y == o.y && p.w == o.w && p.h == o.h;
  if (covers && has_state(g_show.fullscreen)) {
    g_show.placing = false;  // done: nothing is read or asked any more
    return;
  }
  // 1: add; the 1 at the end: asked by an application. Adding a state the window has changes
  // nothing, so asking while the manager is still at work does no harm.
  send_to_manager(g_show.state, 1, static_cast<long>(g_show.fullscreen),
                  static_cast<long>(g_show.above), 1);
}

// The show is the topmost window the manager lists.
bool above_all() {
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* value = nullptr;
  bool top = false;
  if (g_show.x.XGetWindowProperty(g_show.display, g_show.root, g_show.stacking, 0, 4096, False,
                                  XA_WINDOW, &type, &format, &items, &after, &value) == Success &&
      value && format == 32 && items > 0 && after == 0) {
    top = reinterpret_cast<const Window*>(value)[items - 1] == g_show.xwindow;
  }
  if (value) g_show.x.XFree(value);
  return top;
}

// The server's time now: a property change's notice carries it (one round trip).
Time server_time() {
  Xlib& x = g_show.x;
  if (!g_show.keys) return CurrentTime;
  x.XChangeProperty(g_show.keys, g_show.xwindow, g_show.stamp, XA_INTEGER, 32, PropModeAppend,
                    nullptr, 0);
  XEvent e;
  do {
    x.XWindowEvent(g_show.keys, g_show.xwindow, PropertyChangeMask, &e);
  } while (e.xproperty.atom != g_show.stamp);
  return e.xproperty.time;
}

void take_focus_back() {
  if (g_show.returns >= kFocusReturns || SDL_GetKeyboardFocus() == g_show.window) return;
  if (!above_all()) return;  // the viewer sees another window: theirs to use
  ++g_show.returns;
  g_show.returned_at = SDL_GetTicks();
  // _NET_ACTIVE_WINDOW from an application, as of now: the viewer, who sees only the show,
  // acts on it. A request without a time is refused by managers that prevent focus stealing.
  send_to_manager(g_show.active, 1, static_cast<long>(server_time()), 0, 0);
}

}  // namespace
#endif

bool window_manager_runs(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  if (Display* display = x11_display(window, nullptr)) return x11_window_manager_runs(display);
#else
  (void)window;
#endif
  return true;
}

void watch_show_window(SDL_Window* window, bool manager) {
#if defined(SDL_VIDEO_DRIVER_X11)
  g_show = ShowWindowState{};
  Window xwindow = 0;
  Display* display = x11_display(window, &xwindow);
  if (!display || !g_show.x.load()) return;
  Xlib& x = g_show.x;
  g_show.window = window;
  g_show.display = display;
  g_show.xwindow = xwindow;
  g_show.root = x.XDefaultRootWindow(display);
  g_show.escape = x.XKeysymToKeycode(display, XK_Escape);
  g_show.state = x.XInternAtom(display, "_NET_WM_STATE", False);
  g_show.fullscreen = x.XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  g_show.above = x.XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
  g_show.active = x.XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  g_show.stacking = x.XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False);
  g_show.stamp = x.XInternAtom(display, "_QUORL_TIME", False);
  const int index = SDL_GetWindowDisplayIndex(window);
  g_show.placing = manager && SDL_GetDisplayBounds(index < 0 ? 0 : index, &g_show.output) == 0;
  g_show.next_check = SDL_GetTicks() + kPlacementCheckMs;
  g_show.placing_until = SDL_GetTicks() + kPlacementWatchMs;
  watch_raw_keys();
#else
  (void)window;
  (void)manager;
#endif
}

bool escape_pressed_anywhere() {
#if defined(SDL_VIDEO_DRIVER_X11)
  if (!g_show.display || g_show.escape == 0) return false;
  Xlib& x = g_show.x;
  if (!g_show.keys) {
    // No raw key events on this server: its keymap while another window has the focus
    // (a round trip, which Xlib's transport allocates for).
    if (SDL_GetKeyboardFocus() == g_show.window) return false;
    return escape_in_keymap(g_show.display);
  }
  bool pressed = false;
  // Reading what has arrived takes no round trip; only key events allocate (in Xlib).
  while (x.XPending(g_show.keys) > 0) {
    XEvent e;
    x.XNextEvent(g_show.keys, &e);
    XGenericEventCookie* cookie = &e.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != g_show.xi_opcode ||
        !x.XGetEventData(g_show.keys, cookie)) {
      continue;
    }
    if (static_cast<const XIRawEvent*>(cookie->data)->detail == g_show.escape) {
      g_show.escape_down = cookie->evtype == XI_RawKeyPress;
      pressed = pressed || g_show.escape_down;
    }
    x.XFreeEventData(g_show.keys, cookie);
  }
  return pressed || g_show.escape_down;
#else
  return false;
#endif
}

void show_window_lost_focus() {
#if defined(SDL_VIDEO_DRIVER_X11)
  g_show.lost = g_show.display != nullptr;
  g_show.lost_at = SDL_GetTicks();
#endif
}

void tend_show_window() {
#if defined(SDL_VIDEO_DRIVER_X11)
  if (!g_show.display) return;
  const Uint32 now = SDL_GetTicks();
  if (g_show.placing && static_cast<Sint32>(now - g_show.next_check) >= 0) {
    check_placement();
    g_show.next_check = now + kPlacementCheckMs;
    if (static_cast<Sint32>(now - g_show.placing_until) >= 0) g_show.placing = false;
  }
  // A loss soon after the previous request waits until the spacing is over.
  if (g_show.lost && now - g_show.lost_at >= kFocusDelayMs &&
      (g_show.returns == 0 || now - g_show.returned_at >= kFocusSpacingMs)) {
    g_show.lost = false;
    take_focus_back();
  }
#endif
}

}  // namespace platform
