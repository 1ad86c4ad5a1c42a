// Message boxes as a card over the page, with the same caption and text as the desktop's
// box (the stderr line before it reaches the browser's console). A page cannot wait for
// the OK as a modal box does, so this returns at once; boxes shown one after another queue
// on the page in their order, each OK revealing the next.
#include <emscripten/emscripten.h>

#include "platform/message_box.h"

namespace platform {
namespace {

EM_JS(void, page_show_box, (const char* caption, const char* text),
      { quorlPage.showBox(UTF8ToString(caption), UTF8ToString(text)); });

}  // namespace

void show_box(const char* text, const char* caption) { page_show_box(caption, text); }

}  // namespace platform
