// Whether the program may start threads at all.
#pragma once

namespace platform {

// False in the browser: threads there need cross-origin isolation headers that a plain
// static host does not send. Work that runs on threads elsewhere (the pictures' decoding,
// the music's refill) then runs on the main thread.
bool threads_available();

}  // namespace platform
