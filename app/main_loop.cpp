#include "app/main_loop.h"

namespace app {

int run_main_loop(const LoopServices& s) {
  const uint64_t frequency = s.frequency();
  const uint64_t start = s.counter();
  for (;;) {
    const uint64_t now = s.counter();
    s.set_clock(static_cast<double>(now - start) / static_cast<double>(frequency));
    int code = 0;
    const bool quit = s.pump(&code);
    s.frame();
    s.present();
    if (quit) return code;
  }
}

}  // namespace app
