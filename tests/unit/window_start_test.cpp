// Step 1 of start-up with work begun as soon as the instance is ours: only the running
// instance starts it, and it starts before anything that can show a box.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "app/start_show.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/window.h"

namespace {

// What the child saw, as bits of its exit status.
enum : int { kCalled = 1, kCalledTwice = 2, kBox = 4, kBoxBeforeCall = 8, kCreated = 16 };
int g_seen = 0;
void once_ours() { g_seen |= (g_seen & kCalled) ? kCalledTwice : kCalled; }
void box(const char*, const char*) {
  if (!(g_seen & kCalled)) g_seen |= kBoxBeforeCall;
  g_seen |= kBox;
}

// Runs start-up in a child (the instance lock lasts as long as the
// process that took it), optionally holding the lock first as another instance would.
int seen_in_child(bool lock_held) {
  const pid_t child = ::fork();
  if (child == 0) {
    // No display driver can start, so the context fails after the lock is taken.
    ::setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    platform::set_message_box_hook(&box);
    if (lock_held && !platform::acquire_instance_lock(platform::kInstanceName)) ::_exit(64);
    app::StartOptions start;
    start.once_ours = &once_ours;
    if (app::create_window_and_context(start)) g_seen |= kCreated;
    ::_exit(g_seen);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(WindowStart, TheCallComesOnceTheLockIsTakenAndBeforeAnyBox) {
  const int seen = seen_in_child(false);
  if (seen == 0) GTEST_SKIP() << "another quorl holds the instance lock on this machine";
  EXPECT_EQ(seen, kCalled | kBox) << "called once, then the context's boxes";
}

TEST(WindowStart, AnotherInstanceStartsNothing) {
  const int seen = seen_in_child(true);
  if (seen == 64) GTEST_SKIP() << "another quorl holds the instance lock on this machine";
  EXPECT_EQ(seen, 0) << "no call, no box from this step, nothing created";
}

}  // namespace
