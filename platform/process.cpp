#include "platform/process.h"

#include <cstdio>

namespace platform {
namespace {
ExitHook g_exit_hook = nullptr;
}  // namespace

void set_exit_hook(ExitHook hook) { g_exit_hook = hook; }

void end_process(int code) {
  // Taken before the call, so a hook that ends the process itself cannot run twice.
  const ExitHook hook = g_exit_hook;
  g_exit_hook = nullptr;
  if (hook) hook(code);
  std::fflush(stdout);
  std::fflush(stderr);
  leave_process(code);
}

}  // namespace platform
