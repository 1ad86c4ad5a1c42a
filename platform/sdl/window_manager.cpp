#include "platform/sdl/window_manager.h"

#include <SDL_syswm.h>
#include <dlfcn.h>

namespace platform {

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {
// The few Xlib calls needed, taken from the libX11 SDL has already loaded: the program
// itself is not linked to it, and needs no X library on a Wayland-only desktop.
struct Xlib {
  Atom (*intern_atom)(Display*, const char*, Bool) = nullptr;
  Window (*default_root_window)(Display*) = nullptr;
  int (*get_window_property)(Display*, Window, Atom, long, long, Bool, Atom, Atom*, int*,
                             unsigned long*, unsigned long*, unsigned char**) = nullptr;
  int (*free)(void*) = nullptr;

  bool load() {
    void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!lib) return false;
    intern_atom = reinterpret_cast<decltype(intern_atom)>(dlsym(lib, "XInternAtom"));
    default_root_window =
        reinterpret_cast<decltype(default_root_window)>(dlsym(lib, "XDefaultRootWindow"));
    get_window_property =
        reinterpret_cast<decltype(get_window_property)>(dlsym(lib, "XGetWindowProperty"));
    free = reinterpret_cast<decltype(free)>(dlsym(lib, "XFree"));
    dlclose(lib);  // NOLOAD took a reference of its own; SDL's keeps the library loaded
    return intern_atom && default_root_window && get_window_property && free;
  }
};

bool x11_window_manager_runs(Display* display) {
  Xlib x;
  if (!display || !x.load()) return true;
  // An atom nobody has made cannot name a property: no manager ever ran on this display.
  const Atom check = x.intern_atom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  // The root window always exists, so reading it cannot raise an X error.
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* value = nullptr;
  const int status =
      x.get_window_property(display, x.default_root_window(display), check, 0, 1, False,
                            AnyPropertyType, &type, &format, &items, &after, &value);
  if (value) x.free(value);
  if (status != Success) return true;
  return type != None && items > 0;
}
}  // namespace
#endif

bool window_manager_runs(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
    return x11_window_manager_runs(info.info.x11.display);
  }
#else
  (void)window;
#endif
  return true;
}

}  // namespace platform
