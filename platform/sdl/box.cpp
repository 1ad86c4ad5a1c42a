// The desktop's box: SDL's message box on a display, or a desktop helper that tells the
// user when no box can be shown.
#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/exit_codes.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/signals.h"

namespace platform {
namespace {

constexpr int kNoticeTimeoutMs = 5000;  // a notification tool that hangs on a dead bus
constexpr int kPollMs = 10;

bool named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && value[0];
}

bool connects(const std::string& path) {
  sockaddr_un address = {};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// A box needs a display that answers: an X server named and still there, or a Wayland
// compositor at the socket named (or the default one). Without one nobody could see a box
// or a helper's message, and trying (SDL runs zenity) only adds the toolkit's complaints
// and seconds between the stderr lines, which are the whole message there. Where our video
// started on something else than that X server (SDL falls back to a driver of no display
// when it cannot reach it), a server answering there now may be a new one that took the
// display's number: not ours to wait on. A capture's offscreen video counts as reaching it.
bool display_answers() {
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
  const bool elsewhere =
      driver && std::strcmp(driver, "x11") != 0 && std::strcmp(driver, "offscreen") != 0;
  if (named("DISPLAY") && !elsewhere && !display_gone()) return true;
  if (named("WAYLAND_SOCKET")) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && wayland[0] == '/') return connects(wayland);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !runtime[0]) return false;
  return connects(std::string(runtime) + "/" + (wayland && wayland[0] ? wayland : "wayland-0"));
}

// Runs a desktop helper found on the PATH, its output discarded; true when it ran and
// succeeded. timeout_ms 0 waits as long as it takes (a box waits for the user). Forked, not
// spawned, so the fork guard applies: the helper dies with us.
bool run_helper(const char* const* argv, int timeout_ms) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    const int null_out = open("/dev/null", O_WRONLY);
    if (null_in < 0 || null_out < 0) _exit(127);
    dup2(null_in, 0);
    dup2(null_out, 1);
    dup2(null_out, 2);
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
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
  if (!display_answers()) return;
  // Started on a display nobody watches (play.sh's virtual one): a box would wait for ever.
  if (named(kNoBoxVariable)) return;
  // Every failed start shows a box: a signal must end it, or a scripted run hangs.
  arm_box_signals();
  const bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0;
  if (!shown && box_signal() == 0) tell_elsewhere(caption, text);
  if (disarm_box_signals() != 0) end_process(kExitStartFailed);
}

}  // namespace platform
