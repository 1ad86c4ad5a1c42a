// Placeholder until the timeline lands.
#include "demo/demo.h"

namespace demo {
void frame() {}
}  // namespace demo
