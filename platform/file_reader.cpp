#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace platform {

uint8_t* read_whole_file(const char* path, uint32_t* length) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below as non-regular.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<uint64_t>(st.st_size) > UINT32_MAX) {
    ::close(fd);
    return nullptr;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  // malloc(0) may return null; ask for one byte so an empty file still yields a block.
  auto* block = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
  if (!block) {
    ::close(fd);
    return nullptr;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, block + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (done != size) {
    std::free(block);
    return nullptr;
  }
  if (length) *length = static_cast<uint32_t>(size);
  return block;
}

}  // namespace platform
