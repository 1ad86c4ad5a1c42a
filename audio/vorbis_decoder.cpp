// libvorbisfile over an in-memory file. The read callback never reads outside the buffer;
// a damaged stream decodes as far as it can and then ends (the refill plays silence).
#include "audio/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace audio {

struct VorbisStream {
  const uint8_t* bytes;
  size_t length;
  size_t at;  // read position, never above length
  OggVorbis_File file;
  uint32_t rate;
  int channels;
  float* pair[2];  // left and right of the current piece, handed to the refill
};

namespace {

// Pieces are at most one decoded Vorbis block (≤ 4096 samples per channel) anyway.
constexpr int kPieceSamples = 4096;

size_t read_memory(void* dst, size_t size, size_t count, void* source) {
  auto* s = static_cast<VorbisStream*>(source);
  if (size == 0) return 0;
  const size_t items = std::min(count, (s->length - s->at) / size);
  if (items == 0) return 0;  // also keeps an empty file's null buffer out of memcpy
  std::memcpy(dst, s->bytes + s->at, items * size);
  s->at += items * size;
  return items;
}

int decode_piece(void* decoder, float*** channels) {
  auto* s = static_cast<VorbisStream*>(decoder);
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long n = ov_read_float(&s->file, &pcm, kPieceSamples, &section);
    // A hole (lost or damaged pages) is skipped: the decoder has moved past it.
    if (n == OV_HOLE) continue;
    if (n <= 0) return 0;  // the end, or an error the stream cannot be decoded past
    // A chained stream may change its channel count from link to link.
    const vorbis_info* info = ov_info(&s->file, -1);
    if (!info || info->channels < 1) return 0;
    s->pair[0] = pcm[0];
    s->pair[1] = pcm[info->channels >= 2 ? 1 : 0];
    *channels = s->pair;
    return static_cast<int>(n);
  }
}

}  // namespace

VorbisStream* open_vorbis(const uint8_t* bytes, size_t length, uint32_t max_rate) {
  // Plain C data (the library's struct inside): calloc'd and freed like the library's own.
  auto* s = static_cast<VorbisStream*>(std::calloc(1, sizeof(VorbisStream)));
  if (!s) return nullptr;
  s->bytes = bytes;
  s->length = length;
  // Opened as a stream that cannot seek: the music is played once from start to end, and
  // a seekable open would first look for the stream's end, which refuses the whole of a
  // file that was cut short instead of playing what is there.
  const ov_callbacks callbacks{&read_memory, nullptr, nullptr, nullptr};
  if (ov_open_callbacks(s, &s->file, nullptr, 0, callbacks) != 0) {
    std::free(s);  // a failed open has already cleared what it set up
    return nullptr;
  }
  const vorbis_info* info = ov_info(&s->file, -1);
  if (!info || info->rate < 1 || static_cast<unsigned long>(info->rate) > max_rate ||
      info->channels < 1) {
    close_vorbis(s);
    return nullptr;
  }
  s->rate = static_cast<uint32_t>(info->rate);
  s->channels = info->channels;
  return s;
}

uint32_t vorbis_rate(const VorbisStream* s) { return s->rate; }
int vorbis_channels(const VorbisStream* s) { return s->channels; }

FrameSource vorbis_source(VorbisStream* s) { return {&decode_piece, s, 1}; }

void close_vorbis(VorbisStream* s) {
  if (!s) return;
  ov_clear(&s->file);
  std::free(s);
}

}  // namespace audio
