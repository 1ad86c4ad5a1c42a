#include "platform/process.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace platform {
namespace {
ExitHook g_exit_hook = nullptr;
std::atomic<bool> g_ending{false};
std::atomic<std::thread::id> g_ender{};
}  // namespace

void set_exit_hook(ExitHook hook) { g_exit_hook = hook; }

void end_process(int code) {
  // One ending at a time: a signal's (on its own thread) and the main thread's may meet.
  // The thread that came second waits for the first to end the process; the same thread
  // coming back (a hook that ends the process itself) goes straight on, without the hook.
  if (g_ending.exchange(true)) {
    while (g_ender.load() != std::this_thread::get_id()) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::fflush(stdout);
    std::fflush(stderr);
    leave_process(code);
  }
  g_ender.store(std::this_thread::get_id());
  const ExitHook hook = g_exit_hook;
  g_exit_hook = nullptr;
  if (hook) hook(code);
  std::fflush(stdout);
  std::fflush(stderr);
  leave_process(code);
}

}  // namespace platform
