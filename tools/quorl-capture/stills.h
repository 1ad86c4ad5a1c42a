// The modes that write pictures: --frames, --at and --sheet.
#pragma once

#include <cstdint>
#include <vector>

#include "args.h"
#include "progress.h"

namespace capture {

// Runs the show up to the last of `frames` (from frames_to_write), drawing only what those
// frames show, and writes them. Returns the exit code.
int capture_stills(const Options& o, const std::vector<int64_t>& frames, Progress& progress);

}  // namespace capture
