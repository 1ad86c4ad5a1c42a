#include "platform/clock.h"

#include <SDL.h>

namespace platform {

uint64_t counter() { return SDL_GetPerformanceCounter(); }
uint64_t counter_frequency() { return SDL_GetPerformanceFrequency(); }

}  // namespace platform
