// The program's one window and its OpenGL context.
#pragma once

#include <cstdint>

namespace app {

constexpr const char* kInstanceName = "quorl";

// Takes the single-instance lock, creates the hidden window with an OpenGL 3.0
// compatibility context (double-buffered RGB, no depth, stencil or alpha), loads the GL
// entry points, reads the screen size and sets the swap interval to 1. False when another
// instance runs (nothing created) or when an entry point is missing (after the boxes
// naming it and "OpenGL Extensions error."). `once_ours`, if given, is called as soon as
// the lock is taken, before the slow part (display, window, context): work that only the
// running instance should do can start there.
bool create_window_and_context(void (*once_ours)() = nullptr);

// For rendering without a display (capture, tests): SDL's offscreen driver, a hidden
// width x height window with the same context and entry points; the demo's screen and the
// viewport are set to that size. False after the same boxes as above.
bool create_offscreen_context(int width, int height);

// Borderless fullscreen at the desktop resolution (no mode change), shown, on top; the
// viewport and the demo's screen size come from the drawable size.
void switch_to_fullscreen();

void present();

// The context the show asks for (SDL attributes, set before a context is created): OpenGL
// 3.0 compatibility profile, double-buffered RGB 8/8/8, no alpha, depth or stencil.
void request_gl_attributes();

// The lookup used for the entry-point table: the swap-interval control for its name, the
// context's functions otherwise; nothing when the context is below OpenGL 3.0.
void* lookup_gl_entry(const char* name);

}  // namespace app
