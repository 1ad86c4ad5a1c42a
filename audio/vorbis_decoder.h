// The music decoder: an Ogg Vorbis stream decoded by libvorbisfile from a file held in
// memory, pulled piece by piece through the refill's DecodeFrame seam.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/refill.h"

namespace audio {

// Highest sample rate taken by default. Vorbis headers allow up to 2^32 − 1 Hz; no device
// plays that, and the capture tool sizes its buffers from the rate. The show takes any
// rate and leaves it to the sound device, which may refuse it (a silent show).
constexpr uint32_t kMaxMusicRate = 768000;

struct VorbisStream;

// Opens a decoder over `length` bytes at `bytes`, which must outlive it. Null when they are
// not a decodable Ogg Vorbis stream (or its rate is 0 or above max_rate).
VorbisStream* open_vorbis(const uint8_t* bytes, size_t length, uint32_t max_rate = kMaxMusicRate);

uint32_t vorbis_rate(const VorbisStream* stream);
int vorbis_channels(const VorbisStream* stream);

// The stream as a frame source: each call decodes the next piece. Its channel pointers
// always name a left and a right channel (a one-channel stream gives channel 0 twice).
FrameSource vorbis_source(VorbisStream* stream);

void close_vorbis(VorbisStream* stream);

}  // namespace audio
