// What the music's refill thread needs from the system: a wake-up that the sound device's
// callback can give without ever blocking, a wait on it with a time limit, a higher
// scheduling priority, and a detached thread whose creation can fail without an exception.
#pragma once
#include <cstdint>

namespace platform {

// An eventfd: several wake-ups before a wait collapse into one.
struct Wakeup {
  int fd = -1;  // -1: none; waits then only time out
};

// False when the system refuses one; the waiter then falls back to its time limit.
bool make_wakeup(Wakeup* wakeup);

// Never blocks and takes no lock, so the audio callback may call it.
void wake(const Wakeup& wakeup);

// Returns after a wake-up (consuming all pending ones) or after `timeout_ms`.
void wait_for_wakeup(const Wakeup& wakeup, uint32_t timeout_ms);

// Asks for a high priority for the calling thread: real time (round robin, the lowest
// level) directly, else real time through the desktop's RealtimeKit, else a lower nice
// value (directly or through RealtimeKit). A refusal is harmless: the thread runs on as
// it is.
void raise_thread_priority();

// The same, `above` levels over the lowest where real time is granted directly.
void raise_thread_priority_above(int above);

// Makes the calling thread real-time (round robin) at `above` levels over the lowest.
// False when the system refuses; the thread is then left as it was.
bool make_thread_real_time(int above);

using ThreadMain = void* (*)(void* arg);

// Starts a detached thread; false (no exception, nothing started) when the system refuses.
bool start_detached_thread(ThreadMain main, void* arg);

}  // namespace platform
