// Counts every heap allocation of the process (the program's code, SDL, Mesa) by replacing
// malloc, calloc, realloc and operator new over glibc's own entry points. Include in exactly
// one source file of a program (a benchmark, or the allocation test).
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
}

namespace bench {
inline std::atomic<long> g_allocations{0};
inline long allocations() { return g_allocations.load(std::memory_order_relaxed); }
}  // namespace bench

extern "C" {
void* malloc(size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}

void* operator new(std::size_t size) {
  if (void* p = malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
#pragma GCC diagnostic pop
