// The show's one window and its OpenGL context: the video driver, the window, the
// context and its entry points, the swap interval, presenting.
#pragma once

namespace platform {

constexpr const char* kInstanceName = "quorl";

struct Size {
  int width = 0;
  int height = 0;
};

// The context the show asks for (set before a context is made): OpenGL 3.0 compatibility
// profile, double-buffered RGB 8/8/8, no alpha, depth or stencil.
void request_gl_attributes();

// Video on a real display and the show's window, hidden, with its context current.
// Fullscreen-desktop, borderless and always on top from its creation, because window
// managers and XWayland honour those flags at creation and ignore some given later; where
// no window manager runs, a borderless window of the screen's size at (0, 0) instead,
// which covers the screen without a request nobody answers. Returns the desktop size of the
// window's display (640 x 480 when it cannot be read). Failures are not reported here:
// no window or no context shows at the next step, as the entry points it lacks.
Size open_show_window();

// For rendering without a display (capture, tests): SDL's offscreen driver and a hidden
// width x height window with the same context.
void open_offscreen_window(int width, int height);

// The lookup for the GL entry-point table: the swap-interval control for its name
// ("wglSwapIntervalEXT"), the context's functions otherwise; nothing without a context or
// when the context is below OpenGL 3.0 (GLX hands out a pointer for any name).
void* gl_entry(const char* name);

// glGetString of the current context; empty without one.
const char* gl_string(unsigned name);

// Shows the window (made fullscreen at its creation), raises it, keeps the screen awake
// and, on X11, starts watching the keyboard, the focus and the window's placement for the
// event pump. Returns the drawable size (HiDPI-safe), or `fallback` when none can be read.
Size show_window(Size fallback);

// The window's drawable size now; `fallback` when none can be read.
Size drawable_size(Size fallback);

void present();

// Destroys the window and its context (tests that open one after another).
void close_window();

}  // namespace platform
