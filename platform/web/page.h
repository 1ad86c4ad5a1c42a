// What only the page has, for the browser build's main: the address's parameters, the
// start click, the frames the page has shown and the end of the show. The page's own side
// is web/page.js.
#pragma once

namespace platform {
namespace web {

struct PageOptions {
  double at = -1.0;  // ?at=SECONDS: one still at that frame clock; negative: the show
  int width = 0;     // ?size=WxH with ?at: the still's size in pixels (0: the page's)
  int height = 0;
  double speed = 1.0;  // ?speed=N: the show's clock runs N times as fast (tests)
};
PageOptions page_options();

// Shows "Click to start" over what the canvas shows; the click (a user's action, which
// browsers require before sound) calls `start`, which may start the sound, and asks for
// fullscreen.
void wait_for_click(void (*start)());

// Counts a display frame drawn, for the page and its tests.
void frame_drawn();

// The show is over (`code` 0) or failed: the page says so; after a show it offers to
// play it again. The last frame stays on the canvas.
void show_ended(int code);

// A still is drawn: the page may be read.
void still_ready();

}  // namespace web
}  // namespace platform
