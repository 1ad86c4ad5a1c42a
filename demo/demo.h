// The demo as a service the platform calls: start-up hands it its fixed inputs, the main
// loop fixes the frame clock and calls frame() once per display frame with what the
// viewer did. Nothing here knows of windows, devices or threads.
#pragma once

#include <cstdint>

namespace demo {

constexpr uint32_t kDemoSeed = 453946;

// The film frame every scene is rendered into, and the show's length: the frame clock at
// which the fade-out has no value left and the show is over.
constexpr int kFilmWidth = 160;
constexpr int kFilmHeight = 120;
constexpr double kShowSeconds = 131.0;

// Start-up: the demo random generator's state (step 2), the film frame size (step 9), the
// ball table and positions from the library generator (step 10).
void seed_random();
void set_film_size(int width, int height);
void fill_ball_tables();

// The screen viewport and its aspect (width / height).
void set_screen(uint32_t width, uint32_t height, double aspect);

// Seconds since the main loop began, fixed once per pass before anything else of the pass.
void set_frame_clock(double t);

// One display frame: Escape check, flicker, advance (film frame rendered on a change of
// the film-frame index), composite. `escape`: Escape is down now or was pressed since the
// previous frame; it asks for the quit, as the end of the show does.
void frame(bool escape = false);

// What frame() draws. A capture that seeks runs the display frames before the first one it
// keeps without GL work: every clock step, random draw, advance, still picture and quit
// happens as in a full run, so the frames it then draws are the same bytes. kFilmOnly
// renders an advance's film frame but not the screen.
enum class Drawing { kAll, kFilmOnly, kNone };
void set_drawing(Drawing drawing);

}  // namespace demo
