// The page's clock beyond platform/clock.h: held until the start click, and a test's
// faster pace.
#pragma once

namespace platform {
namespace web {

// The clock runs `speed` times as fast as the page's from now on.
void set_clock_speed(double speed);

// Lets the held clock run, from the value it was held at.
void release_clock();

}  // namespace web
}  // namespace platform
