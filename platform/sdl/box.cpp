// The desktop's box: SDL's message box on a display, or a desktop helper that tells the
// user when no box can be shown.
#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/exit_codes.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/signals.h"

extern char** environ;

namespace platform {
namespace {

constexpr int kNoticeTimeoutMs = 5000;  // a notification tool that hangs on a dead bus
constexpr int kPollMs = 10;

bool named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && value[0];
}

// A box needs a display: one named, or the compositor Wayland clients reach by default.
// Without any, nothing could show a box (SDL would run zenity, whose toolkit only complains
// on stderr): the stderr line is the whole message there.
bool display_named() {
  if (named("DISPLAY") || named("WAYLAND_DISPLAY") || named("WAYLAND_SOCKET")) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !runtime[0]) return false;
  std::string socket = std::string(runtime) + "/wayland-0";
  return access(socket.c_str(), F_OK) == 0;
}

// Runs a desktop helper found on the PATH, its output discarded; true when it ran and
// succeeded. timeout_ms 0 waits as long as it takes (a box waits for the user).
bool run_helper(const char* const* argv, int timeout_ms) {
  posix_spawn_file_actions_t files;
  if (posix_spawn_file_actions_init(&files) != 0) return false;
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, argv[0], &files, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&files);
  if (spawned != 0) return false;
  int status = 0;
  for (int waited = 0;; waited += kPollMs) {
    const pid_t done = waitpid(pid, &status, timeout_ms ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return false;
    if (timeout_ms && waited >= timeout_ms) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    if (done == 0) usleep(kPollMs * 1000);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// SDL shows no box where its one way of showing it is missing (zenity, on Wayland without
// XWayland), and a user who started the show from a menu sees no stderr. The first of the
// desktop's own tools that works says it instead: KDE's box, then a desktop notification
// through libnotify's tool or straight over the session bus.
void tell_elsewhere(const char* caption, const char* text) {
  const char* const box[] = {"kdialog", "--title", caption, "--error", text, nullptr};
  const char* const notify[] = {
      "notify-send", "--urgency=critical", "--app-name=quorl", "--icon=dialog-error", caption, text,
      nullptr};
  const char* const bus[] = {"gdbus",
                             "call",
                             "--session",
                             "--dest",
                             "org.freedesktop.Notifications",
                             "--object-path",
                             "/org/freedesktop/Notifications",
                             "--method",
                             "org.freedesktop.Notifications.Notify",
                             "quorl",
                             "0",
                             "dialog-error",
                             caption,
                             text,
                             "[]",
                             "{}",
                             "0",
                             nullptr};
  if (run_helper(box, 0)) return;
  if (run_helper(notify, kNoticeTimeoutMs)) return;
  run_helper(bus, kNoticeTimeoutMs);
}

}  // namespace

void show_box(const char* text, const char* caption) {
  if (!display_named()) return;
  // Every failed start shows a box: a signal must end it, or a scripted run hangs.
  arm_box_signals();
  const bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0;
  if (!shown && box_signal() == 0) tell_elsewhere(caption, text);
  if (disarm_box_signals() != 0) end_process(kExitStartFailed);
}

}  // namespace platform
