// The run report for a capture (--stats): the same report as the program's QUORL_STATS,
// for what a capture has. Its clock is simulated, so the frame times are render times;
// there is no start-up to time here and no sound device.
#pragma once

#include "report/run_report.h"

namespace capture {

// One display frame's render time (fixed ring; no allocation).
void note_render_time(double seconds);

// The report so far: render times, film frames, the capture size and the GL renderer.
report::RunReport capture_report(int width, int height, int exit_code);

// Prints it on stderr: JSON when QUORL_STATS=json, readable text otherwise.
void print_capture_report(int width, int height, int exit_code);

}  // namespace capture
