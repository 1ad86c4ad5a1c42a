// Preloaded into the program by an end-to-end test: pthread_create refuses (EAGAIN, as
// when the system is out of threads) every thread whose start routine is the program's
// own code or a std::thread's, and creates those of the libraries (sound, GL) as usual.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

typedef int (*create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static int is_program_code(void* (*routine)(void*)) {
  Dl_info info;
  char exe[PATH_MAX];
  char where[PATH_MAX];
  if (!dladdr((void*)routine, &info) || !info.dli_fname) return 0;
  /* A std::thread starts in libstdc++, at a routine with no exported name. */
  if (strstr(info.dli_fname, "libstdc++")) return 1;
  if (!realpath("/proc/self/exe", exe) || !realpath(info.dli_fname, where)) return 0;
  return strcmp(exe, where) == 0;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*),
                   void* arg) {
  static create_fn real = NULL;
  if (!real) real = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
  if (is_program_code(routine)) return EAGAIN;
  return real(thread, attr, routine, arg);
}
