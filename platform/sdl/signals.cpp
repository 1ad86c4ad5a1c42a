#include "platform/signals.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/exit_codes.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr int kBoxSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kBoxSignalCount = sizeof kBoxSignals / sizeof kBoxSignals[0];
constexpr unsigned kBoxGraceSeconds = 1;

struct SignalState {
  volatile sig_atomic_t box_signal = 0;  // the signal that ended the box; 0 while none did
  pid_t box_thread = 0;                  // the thread showing the box: its children are the box's
  struct sigaction saved[kBoxSignalCount] = {};
  struct sigaction saved_alarm = {};
  bool fork_guard = false;  // in_forked_child is registered
  bool watching = false;    // watch_display has run
  pid_t watcher = 0;        // the process that watches the display (not a child forked later)
} g_signals;

// Only async-signal-safe calls from here to on_alarm: they run in signal handlers.

char* put_decimal(char* out, long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Kills every child of the box's thread. The kernel lists them per thread, and the box's
// processes are started by the thread that shows it.
void kill_box_processes() {
  static const char kPrefix[] = "/proc/self/task/";
  static const char kSuffix[] = "/children";
  char path[sizeof kPrefix + 24 + sizeof kSuffix];
  std::memcpy(path, kPrefix, sizeof kPrefix - 1);
  char* end = put_decimal(path + sizeof kPrefix - 1, g_signals.box_thread);
  std::memcpy(end, kSuffix, sizeof kSuffix);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;  // in a forked child: the box thread is not one of ours
  char list[4096];
  size_t used = 0;
  ssize_t n;
  while (used < sizeof list && (n = read(fd, list + used, sizeof list - used)) > 0) {
    used += static_cast<size_t>(n);
  }
  close(fd);
  long pid = 0;
  for (size_t i = 0; i <= used; ++i) {
    const char c = i < used ? list[i] : ' ';
    if (c >= '0' && c <= '9') {
      pid = pid * 10 + (c - '0');
    } else {
      if (pid > 0) kill(static_cast<pid_t>(pid), SIGKILL);
      pid = 0;
    }
  }
}

void on_box_signal(int signal_number) {
  const int saved_errno = errno;
  g_signals.box_signal = signal_number;
  kill_box_processes();
  alarm(kBoxGraceSeconds);  // should the wait for the box not return, on_alarm ends it
  errno = saved_errno;
}

void on_alarm(int) { _exit(kExitStartFailed); }

// A box started after a signal ended the wait (SDL tries the next way of showing one when
// a box fails) must not outlive us: the child ends before it shows anything.
void in_forked_child() {
  if (g_signals.box_signal != 0) _exit(kExitStartFailed);
}

void forward_hangup(int) {
  const int saved_errno = errno;
  kill(getpid(), SIGTERM);
  errno = saved_errno;
}

// Xlib calls this when the connection to the X server breaks; returning would let Xlib
// exit(1), which runs destructors under the detached refill thread.
int on_display_lost(void*) {
  if (getpid() != g_signals.watcher) _exit(1);  // a forked box lost its own connection
  std::fputs("Error: Display connection lost.\n", stderr);
  end_process(kExitDisplayLost);
}

// Xlib's XSetIOErrorHandler from the libX11 SDL loaded; null where SDL did not load it
// (Wayland, or no video yet). The program itself is not linked to libX11.
using IoErrorHandler = int (*)(void*);
using SetIoErrorHandler = IoErrorHandler (*)(IoErrorHandler);
SetIoErrorHandler loaded_set_io_error_handler() {
  void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!lib) return nullptr;
  auto set = reinterpret_cast<SetIoErrorHandler>(dlsym(lib, "XSetIOErrorHandler"));
  dlclose(lib);  // NOLOAD took a reference of its own; SDL's keeps the library loaded
  return set;
}

void install(int signal_number, void (*handler)(int), struct sigaction* saved) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int s : kBoxSignals) sigaddset(&action.sa_mask, s);
  sigaction(signal_number, &action, saved);
}

}  // namespace

void watch_display() {
  if (g_signals.watching) return;
  g_signals.watching = true;
  g_signals.watcher = getpid();
  struct sigaction hangup = {};
  sigaction(SIGHUP, nullptr, &hangup);
  if (hangup.sa_handler != SIG_IGN) install(SIGHUP, &forward_hangup, nullptr);
  if (SetIoErrorHandler set = loaded_set_io_error_handler()) set(&on_display_lost);
}

void arm_box_signals() {
  if (!g_signals.fork_guard) {
    g_signals.fork_guard = pthread_atfork(nullptr, nullptr, &in_forked_child) == 0;
  }
  g_signals.box_signal = 0;
  g_signals.box_thread = static_cast<pid_t>(syscall(SYS_gettid));
  install(SIGALRM, &on_alarm, &g_signals.saved_alarm);
  for (int i = 0; i < kBoxSignalCount; ++i) {
    // A signal ignored since we were started (nohup, a background job) stays ignored.
    sigaction(kBoxSignals[i], nullptr, &g_signals.saved[i]);
    if (g_signals.saved[i].sa_handler != SIG_IGN) install(kBoxSignals[i], &on_box_signal, nullptr);
  }
}

int box_signal() { return g_signals.box_signal; }

int disarm_box_signals() {
  for (int i = 0; i < kBoxSignalCount; ++i) sigaction(kBoxSignals[i], &g_signals.saved[i], nullptr);
  const int ended_by = g_signals.box_signal;
  // After a signal the alarm stays set: whatever comes before the exit has a second left.
  if (ended_by == 0) sigaction(SIGALRM, &g_signals.saved_alarm, nullptr);
  return ended_by;
}

}  // namespace platform
