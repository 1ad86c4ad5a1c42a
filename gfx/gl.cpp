#define GL_GLEXT_PROTOTYPES 1  // this file alone links the 1.0/1.1 functions directly
#include "gfx/gl.h"

#include "platform/message_box.h"

namespace gfx {

#define QUORL_GL_DEFINE(name, ret, args) name##_fn name = nullptr;
QUORL_GL_ENTRIES(QUORL_GL_DEFINE)
QUORL_GL11_ENTRIES(QUORL_GL_DEFINE)
#undef QUORL_GL_DEFINE

namespace {
#define QUORL_GL_NAME(name, ret, args) #name,
const char* const kEntryNames[] = {QUORL_GL_ENTRIES(QUORL_GL_NAME)};
#undef QUORL_GL_NAME
static_assert(sizeof kEntryNames / sizeof kEntryNames[0] == kGlEntryCount,
              "the entry-point table has 52 entries");
}  // namespace

const char* entry_point_name(int index) {
  return index >= 0 && index < kGlEntryCount ? kEntryNames[index] : nullptr;
}

bool load_entry_points(GlLookup lookup) {
#define QUORL_GL_LOAD(name, ret, args)               \
  name = reinterpret_cast<name##_fn>(lookup(#name)); \
  if (!name) {                                       \
    platform::show_message_box(#name, nullptr);      \
    return false;                                    \
  }
  QUORL_GL_ENTRIES(QUORL_GL_LOAD)
#undef QUORL_GL_LOAD
  return true;
}

void load_gl11_functions() {
#define QUORL_GL11_LINK(name, ret, args) name = &::name;
  QUORL_GL11_ENTRIES(QUORL_GL11_LINK)
#undef QUORL_GL11_LINK
}

}  // namespace gfx
