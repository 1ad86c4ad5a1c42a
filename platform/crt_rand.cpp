#include "platform/crt_rand.h"

namespace platform {
namespace {
CrtRand g_library_rand;
}

CrtRand& library_rand() { return g_library_rand; }

}  // namespace platform
