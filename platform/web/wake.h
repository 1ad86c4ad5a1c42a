// The browser's stand-in for waking the refill thread.
#pragma once

namespace platform {
namespace web {

// `refill` runs whenever the sound device's position reaches a new half of the looping
// block, from the device's callback (on the page's one thread, as the main loop), as the
// desktop's device wakes its refill thread there. Without it the refill would wait for the
// next animation frame, which a slow frame can delay past the half's deadline.
void set_half_started_handler(void (*refill)());

}  // namespace web
}  // namespace platform
