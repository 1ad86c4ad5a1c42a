#include "platform/quit.h"

namespace platform {
namespace {
struct QuitState {
  bool posted = false;
  int code = 0;
} g_quit;
}  // namespace

void post_quit(int code) {
  g_quit.posted = true;
  g_quit.code = code;
}

bool take_quit(int* code) {
  if (!g_quit.posted) return false;
  g_quit.posted = false;
  if (code) *code = g_quit.code;
  return true;
}

void reset_quit() { g_quit = QuitState{}; }

}  // namespace platform
