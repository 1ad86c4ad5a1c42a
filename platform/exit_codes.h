// The program's exit codes, each named once: the signals, the boxes, the report and every
// main use these.
#pragma once

namespace platform {

constexpr int kExitShowEnded = 0;  // the show's end, Escape, a closed window, a signal in the show
constexpr int kExitStartFailed = 255;  // a start-up step failed (after its message)
constexpr int kExitDisplayLost = 3;  // the display's connection broke ("Display connection lost.")

}  // namespace platform
