// A page runs its program on one thread: pthreads need cross-origin isolation headers that
// a plain static host does not send. The refill runs from the main loop instead.
#include "platform/audio_thread.h"

namespace platform {

bool make_wakeup(Wakeup* wakeup) {
  wakeup->fd = -1;
  return false;
}
void wake(const Wakeup&) {}
// Never called with a thread to wait on; returning at once keeps the page responsive.
void wait_for_wakeup(const Wakeup&, uint32_t) {}
void raise_thread_priority() {}
bool make_thread_real_time(int) { return false; }
bool start_detached_thread(ThreadMain, void*) { return false; }

}  // namespace platform
