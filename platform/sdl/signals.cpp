#include "platform/signals.h"

#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/exit_codes.h"
#include "platform/instance_lock.h"
#include "platform/process.h"

namespace platform {
namespace {

// SIGPIPE from another process ends us as its default would; the one our own write to a
// closed pipe raises (a closed stderr) is ignored, so the write just fails.
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
constexpr int kEndSignalCount = sizeof kEndSignals / sizeof kEndSignals[0];
constexpr int kMostDescriptors = 1024;  // where a fault handler looks for X connections
constexpr unsigned kGraceSeconds = 1;   // for the report after a start-up signal
// An address libdbus knows no transport for: connecting fails at once, and nothing is
// autolaunched (SDL then keeps the screen saver off through X11's own extension).
constexpr const char* kNoSessionBus = "disabled:";

// Lives as long as the process (no destructor runs at the end): the watcher thread and the
// handlers use it until _exit.
struct SignalState {
  sem_t wake;                                // posted by a handler for the watcher thread
  std::atomic<bool> start_up_signal{false};  // the posted signal ends a start-up (255)
  std::atomic<bool> showing{false};          // show_started has run
  volatile sig_atomic_t box_armed = 0;
  volatile sig_atomic_t box_signal = 0;  // the signal that ended the box; 0 while none did
  volatile sig_atomic_t ending = 0;      // a start-up signal came: a later fork ends at once
  pid_t box_thread = 0;                  // the thread showing the box: its children are the box's
  pid_t owner = 0;                       // this process (not a child forked later)
  pid_t forker = 0;                      // the process about to fork, for the child's check
  struct sigaction saved[kEndSignalCount] = {};  // what take_signals replaced
  bool watcher_started = false;
  bool handlers = false;                                // the end signals are ours
  bool guarded = false;                                 // guard_process has run
  bool watching = false;                                // the I/O error handler is set
  volatile sig_atomic_t alarm_code = kExitStartFailed;  // on_alarm's exit code
  std::atomic<int> lost_code{0};  // the display was found gone after a fault: end with this
  // The named X server's socket, in the abstract namespace and as a file; unused (empty
  // path) for a display reached over the network.
  sockaddr_un x_abstract = {};
  sockaddr_un x_file = {};
  socklen_t x_abstract_length = 0;
} g_signals;

// Only async-signal-safe calls from here to in_forked_child: they run in signal handlers
// or between fork and exec.

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
  if (fd < 0) return;
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

void on_alarm(int) { _exit(g_signals.alarm_code); }

bool connects(const sockaddr_un& address, socklen_t length) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;  // cannot tell
  const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  close(fd);
  return connected;
}

bool is_x_server(const sockaddr_un& peer, socklen_t length) {
  if (length == g_signals.x_abstract_length &&
      std::memcmp(&peer, &g_signals.x_abstract, length) == 0) {
    return true;
  }
  return peer.sun_path[0] != 0 && std::strcmp(peer.sun_path, g_signals.x_file.sun_path) == 0;
}

// True when one of our connections to the X server named has been hung up by the other
// side (the server ended, crashed or dropped us).
bool x_connection_broken() {
  for (int fd = 0; fd < kMostDescriptors; ++fd) {
    sockaddr_un peer = {};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    if (peer.sun_family != AF_UNIX || !is_x_server(peer, length)) continue;
    pollfd state = {fd, POLLRDHUP, 0};
    if (poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLRDHUP | POLLERR))) return true;
  }
  return false;
}

// True when the X server named in DISPLAY is gone for us: a connection of ours to it is
// hung up, or it takes no new ones (its socket is gone or refuses). False when it answers
// or cannot be told (a network display).
bool x_server_gone() {
  if (g_signals.x_abstract_length == 0) return false;
  if (x_connection_broken()) return true;
  if (connects(g_signals.x_abstract, g_signals.x_abstract_length)) return false;
  return !connects(g_signals.x_file, sizeof g_signals.x_file);
}

// Mesa's GLX reads the replies of a connection that broke under it without checking them,
// and faults. Where the X server is gone by then, that is the display lost, not a bug of
// ours: the message, then the watcher thread ends the program (255 in start-up, 3 in the
// show) with the report; this thread waits for that. Any other fault crashes as before.
void on_fault(int signal_number) {
  if (getpid() == g_signals.owner && (g_signals.lost_code.load() != 0 || x_server_gone())) {
    const int code = g_signals.showing.load() ? kExitDisplayLost : kExitStartFailed;
    int none = 0;
    if (g_signals.lost_code.compare_exchange_strong(none, code)) {  // the first thread to fault
      static const char kLine[] = "Error: Display connection lost.\n";
      ssize_t written = write(2, kLine, sizeof kLine - 1);
      (void)written;
      g_signals.alarm_code = code;
      alarm(kGraceSeconds);
      sem_post(&g_signals.wake);
    }
    for (;;) pause();
  }
  signal(signal_number, SIG_DFL);  // returning faults again, now with the default action
}

// During start-up (or while a box is up) the signal ends the program with 255: the box's
// processes go at once, and the watcher thread ends the process with the report; should
// that not be done within the grace, on_alarm ends it. In the show it asks for the end.
void on_end_signal(int signal_number, siginfo_t* info, void*) {
  if (signal_number == SIGPIPE && (info->si_code != SI_USER || info->si_pid == getpid())) return;
  const int saved_errno = errno;
  if (g_signals.box_armed || !g_signals.showing.load()) {
    g_signals.ending = 1;
    if (g_signals.box_armed) {
      g_signals.box_signal = signal_number;
      kill_box_processes();
    }
    g_signals.start_up_signal.store(true);
    alarm(kGraceSeconds);
  }
  sem_post(&g_signals.wake);
  errno = saved_errno;
}

void before_fork() { g_signals.forker = getpid(); }

// Whatever we fork (SDL's box, zenity, a desktop helper) dies with the thread that forked
// it, even by SIGKILL, and does not keep the instance lock for itself. A child forked after
// a start-up signal ends at once (SDL tries the next way of showing a box when one fails).
void in_forked_child() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != g_signals.forker) _exit(kExitStartFailed);  // the parent is gone already
  drop_instance_lock();
  if (g_signals.handlers) {
    for (int s : kEndSignals) {
      struct sigaction now = {};
      sigaction(s, nullptr, &now);
      if (now.sa_sigaction == &on_end_signal) signal(s, SIG_DFL);
    }
  }
  signal(SIGSEGV, SIG_DFL);
  signal(SIGBUS, SIG_DFL);
  if (g_signals.ending) _exit(kExitStartFailed);
}

// Xlib calls this when the connection to the X server breaks; returning would let Xlib
// exit(1), which runs destructors under the detached refill thread.
int on_display_lost(void*) {
  if (getpid() != g_signals.owner) _exit(1);  // a forked box lost its own connection
  std::fputs("Error: Display connection lost.\n", stderr);
  const bool starting = g_signals.guarded && !g_signals.showing.load();
  end_process(starting ? kExitStartFailed : kExitDisplayLost);
}

void* watch_signals(void*) {
  for (;;) {
    while (sem_wait(&g_signals.wake) != 0) {
    }
    if (const int lost = g_signals.lost_code.load()) end_process(lost);
    if (g_signals.start_up_signal.load()) end_process(kExitStartFailed);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);  // taken by the next pump, as SDL's own handler would
  }
}

// The watcher thread, the fork guard and the alarm's handler; once.
void start_watcher() {
  if (g_signals.watcher_started) return;
  g_signals.watcher_started = true;
  if (g_signals.owner == 0) g_signals.owner = getpid();
  sem_init(&g_signals.wake, 0, 0);
  pthread_t watcher;
  if (pthread_create(&watcher, nullptr, &watch_signals, nullptr) == 0) pthread_detach(watcher);
  pthread_atfork(&before_fork, nullptr, &in_forked_child);
  struct sigaction alarm_action = {};
  alarm_action.sa_handler = &on_alarm;
  sigemptyset(&alarm_action.sa_mask);
  sigaction(SIGALRM, &alarm_action, nullptr);
}

// Our handlers for the end signals (installed before SDL starts, SDL then installs none of
// its own); the ones they replace are kept in saved.
void take_signals() {
  start_watcher();
  g_signals.handlers = true;
  for (int i = 0; i < kEndSignalCount; ++i) {
    sigaction(kEndSignals[i], nullptr, &g_signals.saved[i]);
    // nohup, a background job: stays ignored
    if (g_signals.saved[i].sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_sigaction = &on_end_signal;
    sigemptyset(&action.sa_mask);
    for (int blocked : kEndSignals) sigaddset(&action.sa_mask, blocked);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    sigaction(kEndSignals[i], &action, nullptr);
  }
}

// A bus named, or the user bus libdbus finds by itself: used as it is.
void keep_off_session_bus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && address[0]) return;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0]) {
    const std::string bus = std::string(runtime) + "/bus";
    struct stat st;
    if (stat(bus.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == getuid()) return;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", kNoSessionBus, 1);
}

// The local socket of an X display named ":N" or "unix:N" (a screen number may follow).
void find_x_socket(const char* display) {
  g_signals.x_abstract_length = 0;
  const char* colon = std::strrchr(display, ':');
  if (!colon) return;
  const std::string host(display, colon);
  if (!host.empty() && host != "unix") return;  // over the network
  char number[16];
  size_t n = 0;
  for (const char* c = colon + 1; *c >= '0' && *c <= '9' && n + 1 < sizeof number; ++c) {
    number[n++] = *c;
  }
  number[n] = 0;
  if (n == 0) return;
  const std::string path = std::string("/tmp/.X11-unix/X") + number;
  g_signals.x_file.sun_family = AF_UNIX;
  std::memcpy(g_signals.x_file.sun_path, path.c_str(), path.size() + 1);
  g_signals.x_abstract.sun_family = AF_UNIX;
  std::memcpy(g_signals.x_abstract.sun_path + 1, path.c_str(), path.size());
  g_signals.x_abstract_length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
}

void catch_faults() {
  struct sigaction action = {};
  action.sa_handler = &on_fault;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, nullptr);
  sigaction(SIGBUS, &action, nullptr);
}

// Xlib's XSetIOErrorHandler in the libX11 SDL loads (the program itself is not linked to
// it). load: open it ourselves, before SDL does, so the handler is there at Xlib's first
// call; our reference keeps it loaded, and the handler set, should SDL unload it.
using IoErrorHandler = int (*)(void*);
using SetIoErrorHandler = IoErrorHandler (*)(IoErrorHandler);
bool set_io_error_handler(bool load) {
  void* lib = dlopen("libX11.so.6", RTLD_LAZY | (load ? 0 : RTLD_NOLOAD));
  if (!lib) return false;
  auto set = reinterpret_cast<SetIoErrorHandler>(dlsym(lib, "XSetIOErrorHandler"));
  if (set) set(&on_display_lost);
  if (!load) dlclose(lib);  // NOLOAD took a reference of its own; SDL's keeps it loaded
  return set != nullptr;
}

}  // namespace

void guard_process() {
  if (g_signals.guarded) return;
  g_signals.guarded = true;
  g_signals.owner = getpid();
  keep_off_session_bus();
  take_signals();
  const char* display = std::getenv("DISPLAY");
  if (display && display[0]) {
    g_signals.watching = set_io_error_handler(true);
    find_x_socket(display);
    catch_faults();
  }
}

void show_started() { g_signals.showing.store(true); }

bool display_gone() {
  if (!g_signals.guarded) {
    const char* display = std::getenv("DISPLAY");
    if (display && display[0]) find_x_socket(display);
  }
  return x_server_gone();
}

void watch_display() {
  if (g_signals.watching) return;
  g_signals.watching = true;  // once: the pump calls this every pass
  if (g_signals.owner == 0) g_signals.owner = getpid();
  set_io_error_handler(false);
}

void arm_box_signals() {
  if (!g_signals.guarded) take_signals();  // a program that handles its signals itself
  g_signals.box_signal = 0;
  g_signals.box_thread = static_cast<pid_t>(syscall(SYS_gettid));
  g_signals.box_armed = 1;
}

int box_signal() { return g_signals.box_signal; }

int disarm_box_signals() {
  g_signals.box_armed = 0;
  if (!g_signals.guarded && g_signals.box_signal == 0) {
    for (int i = 0; i < kEndSignalCount; ++i)
      sigaction(kEndSignals[i], &g_signals.saved[i], nullptr);
    g_signals.handlers = false;
  }
  return g_signals.box_signal;
}

}  // namespace platform
