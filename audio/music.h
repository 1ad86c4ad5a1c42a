// The music: the Ogg Vorbis file decoded by a refill thread into a looping output buffer.
#pragma once

namespace audio {

constexpr const char* kMusicPath = "music/BrenlowickpianoRoll-ChineseBlues1916.ogg";

// Reads and opens the music, opens the output device paused with the looping buffer and
// starts the refill thread. False when the file is missing, unreadable or not decodable.
// A device that cannot be opened is not a failure: the show then runs silently.
bool open_music();

// Resumes the paused output: the music starts.
void resume_output();

}  // namespace audio
