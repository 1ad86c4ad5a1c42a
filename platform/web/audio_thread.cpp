// A page runs its program on one thread: pthreads need cross-origin isolation headers that
// a plain static host does not send. The refill runs from the main loop instead.
#include "platform/audio_thread.h"

#include "platform/web/wake.h"

namespace platform {
namespace {
void (*g_half_started)() = nullptr;
}  // namespace

namespace web {
void set_half_started_handler(void (*refill)()) { g_half_started = refill; }
}  // namespace web

bool make_wakeup(Wakeup* wakeup) {
  wakeup->fd = -1;
  return false;
}
// The device calls this as a half starts, after it stored its position: the refill then
// sees the position it wakes for.
void wake(const Wakeup&) {
  if (g_half_started) g_half_started();
}
// Never called with a thread to wait on; returning at once keeps the page responsive.
void wait_for_wakeup(const Wakeup&, uint32_t) {}
void raise_thread_priority() {}
bool make_thread_real_time(int) { return false; }
bool start_detached_thread(ThreadMain, void*) { return false; }

}  // namespace platform
