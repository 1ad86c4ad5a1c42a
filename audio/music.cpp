// Placeholder until the music player lands: no sound, never fails.
#include "audio/music.h"

namespace audio {
bool open_music() { return true; }
void resume_output() {}
}  // namespace audio
