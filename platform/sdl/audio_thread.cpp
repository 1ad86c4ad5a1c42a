#include "platform/audio_thread.h"

#include <SDL.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

bool make_wakeup(Wakeup* wakeup) {
  wakeup->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return wakeup->fd >= 0;
}

void wake(const Wakeup& wakeup) {
  if (wakeup.fd < 0) return;
  const uint64_t one = 1;
  // Non-blocking: a full counter (never reached in practice) already means "wake up".
  ssize_t written = write(wakeup.fd, &one, sizeof one);
  (void)written;
}

void wait_for_wakeup(const Wakeup& wakeup, uint32_t timeout_ms) {
  if (wakeup.fd < 0) {
    struct timespec ts = {static_cast<time_t>(timeout_ms / 1000),
                          static_cast<long>(timeout_ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
    return;
  }
  struct pollfd p = {wakeup.fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout_ms)) > 0) {
    uint64_t count = 0;
    ssize_t got = read(wakeup.fd, &count, sizeof count);  // resets the counter
    (void)got;
  }
}

bool make_thread_real_time(int above) {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_RR) + above;
  return pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
}

void raise_thread_priority_above(int above) {
  // Real time beats any number of busy programs; a refill takes a few ms per 370 ms, so
  // it cannot hog the CPU (and the kernel caps real-time time anyway). In order:
  // 1. directly (root, or a real-time limit granted to the user);
  if (make_thread_real_time(above)) return;
  // 2. through SDL, which with this hint asks RealtimeKit for real time: a desktop user's
  //    program on a system running it. Only after 1 failed: on its way SDL sets the
  //    process's real-time CPU limit to what RealtimeKit allows, 0 where none answers,
  //    and a thread made real-time directly would then be killed at once;
  SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
  if (SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL) == 0) return;
  // 3. a nice value of -10, directly or through RealtimeKit: ahead of this program's other
  //    threads, but with automatic scheduling groups not ahead of other programs;
  // 4. else the thread runs on at normal priority.
  (void)SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
}

void raise_thread_priority() { raise_thread_priority_above(0); }

bool start_detached_thread(ThreadMain main, void* arg) {
  pthread_t thread;
  if (pthread_create(&thread, nullptr, main, arg) != 0) return false;
  pthread_detach(thread);
  return true;
}

}  // namespace platform
