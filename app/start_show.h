// The show's start-up, once, for every program that plays or renders it: the program, the
// capture tool, the benchmarks and the tests that draw the show. What differs between them
// is an option; the steps and their order are the same.
#pragma once

#include <cstdint>

#include "audio/refill.h"
#include "gfx/textures.h"

namespace app {

struct StartOptions {
  // Where the picture goes. kScreen: the instance lock, then the show's window on the
  // display, shown at the fullscreen step. kOffscreen: a hidden width x height context, no
  // lock (capture). kCurrentContext: the caller's context, already current and of width x
  // height, or the tests' recording GL; no window is made.
  enum class Output { kScreen, kOffscreen, kCurrentContext };
  Output output = Output::kScreen;
  int width = 0, height = 0;  // kOffscreen, kCurrentContext

  // The music. kDevice: the output device (paused) and the refill thread. kSource: the
  // decoder only, handed to `source` at `*rate` (offline sound). kNone: no music read.
  enum class Music { kDevice, kSource, kNone };
  Music music = Music::kDevice;
  audio::FrameSource* source = nullptr;
  uint32_t* rate = nullptr;

  // false: the caller brings the cube mesh (tests on the recording GL, whose object
  // numbers must not depend on the mesh file).
  bool load_mesh = true;

  // kScreen: called once the instance lock is ours, before the slow part (display, window,
  // context): work only the instance that plays should do. The pictures start decoding.
  void (*once_ours)() = &gfx::start_decoding_pictures;
};

// Step 1: the instance lock (kScreen), the window or offscreen context, the GL entry
// points, the screen size and the swap interval. False, with nothing created, when another
// instance plays; false after the boxes naming the first missing entry point and
// "OpenGL Extensions error." when the context is not good enough (or there is none).
bool create_window_and_context(const StartOptions& options);

// Runs start-up from the window to the film framebuffer in the data folder that is the
// working directory. False when a step failed, after that step's message (the message-box
// hook decides where messages go). Phases are timed for the run report.
bool start_show(const StartOptions& options);

// The main loop's frame service: one demo frame, told whether Escape was pressed.
void show_frame();

}  // namespace app
