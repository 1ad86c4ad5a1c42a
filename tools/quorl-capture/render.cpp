#include "render.h"

#include "gfx/gl.h"

namespace capture {

bool render_next(app::ShowRunner& show, Progress& progress, demo::Drawing drawing) {
  if (show.ended()) return false;
  bool ran = false;
  if (drawing == demo::Drawing::kNone) {
    progress.timed_seek([&] { ran = show.next(drawing); });
    return ran;
  }
  progress.timed_render([&] {
    ran = show.next(drawing);
    if (progress.stats()) gfx::glFinish();
  });
  if (ran) progress.count_rendered();
  return ran;
}

}  // namespace capture
