#include "platform/instance_lock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace platform {
namespace {
int g_lock_fd = -1;
}  // namespace

bool acquire_instance_lock(const char* name) {
  // An abstract Unix socket: its name lives in the kernel's namespace only, and it goes
  // away with the last descriptor, that is with the process.
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;
  sockaddr_un addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const size_t len = std::min(std::strlen(name), sizeof addr.sun_path - 2);
  std::memcpy(addr.sun_path + 1, name, len);  // sun_path[0] = 0: abstract
  const socklen_t addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), addr_len) != 0) {
    const bool taken = errno == EADDRINUSE;
    ::close(fd);
    return !taken;
  }
  g_lock_fd = fd;  // stays open for the life of the process
  return true;
}

void drop_instance_lock() {
  if (g_lock_fd >= 0) ::close(g_lock_fd);
  g_lock_fd = -1;
}

}  // namespace platform
