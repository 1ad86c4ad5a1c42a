#include "platform/message_box.h"

#include <cstdio>

namespace platform {
namespace {
struct MessageBoxState {
  MessageBoxHook hook = nullptr;
  BeforeBox before = nullptr;
} g_box;
}  // namespace

void show_message_box(const char* text, const char* caption) {
  if (g_box.before) g_box.before();
  if (!caption) caption = kDefaultCaption;
  if (!text) text = "";
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
  if (g_box.hook) {
    g_box.hook(text, caption);
    return;
  }
  show_box(text, caption);
}

void set_before_message_box(BeforeBox before) { g_box.before = before; }

void set_message_box_hook(MessageBoxHook hook) { g_box.hook = hook; }

}  // namespace platform
