// The capture's display frames, timed: rendering apart from seeking.
#pragma once

#include "app/seek.h"
#include "progress.h"

namespace capture {

// Runs the next display frame; a frame that draws is finished on the GPU and its time
// counted as rendering, a logic-only one as seeking.
bool render_next(app::ShowRunner& show, Progress& progress,
                 demo::Drawing drawing = demo::Drawing::kAll);

}  // namespace capture
