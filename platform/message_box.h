// Fatal messages: a modal box with an OK button and no owner window.
#pragma once

namespace platform {

// The caption shown where no caption is given.
constexpr const char* kDefaultCaption = "Error";

// Set (to anything but empty) by a launcher that starts the show on a display nobody
// watches, such as a virtual one: no box is shown, the stderr line is the whole message.
constexpr const char* kNoBoxVariable = "QUORL_NO_BOX";

// Writes "<caption>: <text>" as one line to stderr (so the message survives a missing
// display), then shows a modal error box and returns when it is dismissed. A null
// caption means kDefaultCaption. If no box can be shown, the stderr line is the message.
void show_message_box(const char* text, const char* caption);

// Work to stop before any box is shown (say, worker threads: the box may fork, and the
// child should not find threads in the middle of their work). Called once per box, before
// the stderr line; null for none.
using BeforeBox = void (*)();
void set_before_message_box(BeforeBox before);

// The box itself, after the stderr line when no hook is set; each platform's own (SDL's
// box or a desktop helper; a card over the page in the browser).
void show_box(const char* text, const char* caption);

// Test seam: replaces the box (not the stderr line); null restores the real one.
using MessageBoxHook = void (*)(const char* text, const char* caption);
void set_message_box_hook(MessageBoxHook hook);

}  // namespace platform
