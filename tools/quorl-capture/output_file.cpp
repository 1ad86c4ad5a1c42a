#include "output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace capture {
namespace {

namespace fs = std::filesystem;

// Temporary files a signal handler may have to remove, each by its folder's descriptor and
// its name in it, so that a folder renamed meanwhile is still cleaned. A slot is 0 (free),
// 1 (complete) or 2 (being filled); the handler only reads complete ones, and only calls
// unlinkat, which is safe in a handler.
constexpr int kGuardSlots = 4;
constexpr size_t kGuardNameBytes = 64;
struct GuardState {
  std::atomic<int> used[kGuardSlots];
  int folder[kGuardSlots];
  char names[kGuardSlots][kGuardNameBytes];
};
GuardState g_guard;

extern "C" void remove_and_reraise(int sig) {
  const int saved = errno;
  for (int i = 0; i < kGuardSlots; ++i) {
    if (g_guard.used[i].load() == 1) unlinkat(g_guard.folder[i], g_guard.names[i], 0);
  }
  errno = saved;
  raise(sig);  // the handler was reset on entry: the default action ends the process
}

int guard(int folder, const std::string& name) {
  if (name.size() >= kGuardNameBytes) return -1;
  for (int i = 0; i < kGuardSlots; ++i) {
    int free_slot = 0;
    if (!g_guard.used[i].compare_exchange_strong(free_slot, 2)) continue;
    g_guard.folder[i] = folder;
    std::memcpy(g_guard.names[i], name.c_str(), name.size() + 1);
    g_guard.used[i].store(1);
    return i;
  }
  return -1;
}

void unguard(int slot) {
  if (slot >= 0) g_guard.used[slot].store(0);
}

// Six characters from [A-Za-z0-9], as mkstemp uses.
std::string random_suffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    static unsigned counter = 0;  // no entropy to be had: still a name not used before
    const unsigned n = static_cast<unsigned>(getpid()) * 2654435761u + ++counter;
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(n >> (i * 5));
  }
  std::string s;
  for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

bool write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void guard_outputs() {
  struct sigaction sa {};
  sa.sa_handler = &remove_and_reraise;
  sa.sa_flags = SA_RESETHAND | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool OutputFile::fail(int error_number, std::string* error) {
  *error = "cannot write " + target_ + ": " + std::strerror(error_number);
  discard();
  return false;
}

bool OutputFile::open(const std::string& target, std::string* error) {
  discard();
  close_folder();
  target_ = target;
  fs::path real = target;
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return fail(EISDIR, error);
    if (!S_ISREG(st.st_mode)) {
      direct_ = true;
      writing_ = target;
      fd_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      return fd_ >= 0 || fail(errno, error);
    }
    // Through a symlink the file it names is replaced, and the link stays.
    std::error_code ec;
    const fs::path resolved = fs::canonical(target, ec);
    if (!ec) real = resolved;
  } else if (errno != ENOENT) {
    return fail(errno, error);  // a looping link would be replaced by the rename, not followed
  }
  direct_ = false;
  folder_path_ = real.parent_path().string();
  if (folder_path_.empty()) folder_path_ = ".";
  final_name_ = real.filename().string();
  // Everything after this goes through the folder's descriptor: a folder renamed while the
  // file is written still gets the file, or loses the temporary one.
  folder_ = ::open(folder_path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return fail(errno, error);
  // The name is made and handed to the signal guard before the file exists (so a signal
  // never finds a file it does not know of), then created exclusively, as mkstemp would.
  for (int attempt = 0; fd_ < 0; ++attempt) {
    const std::string temp = ".quorl-capture-" + random_suffix();
    guard_slot_ = guard(folder_, temp);
    // 0666 less the umask, as for any new file (mkstemp would make it private).
    fd_ = ::openat(folder_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_name_ = temp;
      writing_ = (fs::path(folder_path_) / temp).string();
      break;
    }
    const int e = errno;
    unguard(guard_slot_);
    guard_slot_ = -1;
    if (e != EEXIST || attempt == 100) return fail(e, error);
  }
  return true;
}

std::string OutputFile::path_through_descriptor(int child_fd) const {
  if (direct_ || temp_name_.empty()) return writing_;
  return "/proc/self/fd/" + std::to_string(child_fd) + "/" + temp_name_;
}

bool OutputFile::write(const void* data, size_t size, std::string* error) {
  if (fd_ < 0) return fail(EBADF, error);
  return write_all(fd_, data, size) || fail(errno, error);
}

bool OutputFile::close_descriptor(std::string* error) {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  // A close that fails has still released the descriptor (Linux): never close twice.
  return ::close(fd) == 0 || fail(errno, error);
}

bool OutputFile::commit(std::string* error) {
  if (writing_.empty()) return fail(EBADF, error);
  if (!close_descriptor(error)) return false;
  if (!direct_ && renameat(folder_, temp_name_.c_str(), folder_, final_name_.c_str()) != 0)
    return fail(errno, error);
  unguard(guard_slot_);
  guard_slot_ = -1;
  temp_name_.clear();
  writing_.clear();
  return true;
}

std::string OutputFile::moved_to() const {
  struct stat now, was;
  if (folder_ < 0 || fstat(folder_, &now) != 0) return "";
  if (stat(folder_path_.c_str(), &was) == 0 && was.st_dev == now.st_dev && was.st_ino == now.st_ino)
    return "";
  char where[4096];
  const ssize_t n =
      readlink(("/proc/self/fd/" + std::to_string(folder_)).c_str(), where, sizeof where - 1);
  if (n <= 0) return "";
  return std::string(where, static_cast<size_t>(n)) + "/" + final_name_;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!direct_ && !temp_name_.empty()) unlinkat(folder_, temp_name_.c_str(), 0);
  unguard(guard_slot_);
  guard_slot_ = -1;
  temp_name_.clear();
  writing_.clear();
}

void OutputFile::close_folder() {
  if (folder_ >= 0) ::close(folder_);
  folder_ = -1;
}

}  // namespace capture
