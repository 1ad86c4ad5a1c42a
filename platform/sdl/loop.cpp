#include "platform/loop.h"

#include "platform/process.h"

namespace platform {

void run_loop(Pass pass) {
  for (;;) {
    int code = 0;
    if (pass(&code)) end_process(code);
  }
}

}  // namespace platform
