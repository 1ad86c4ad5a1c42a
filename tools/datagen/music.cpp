// quorl-music: the score of the show's piano roll, and the surface noise of
// the old record it is supposed to come from.
//
//   quorl-music midi <out.mid>             the piece as a standard MIDI file
//   quorl-music noise <out.wav> <seconds>  hiss and crackle, 44.1 kHz stereo
//
// The piece: a blues in F for player-piano.  Even touch, mechanical swing,
// stride and boogie left hand.  Four-bar introduction, five twelve-bar
// choruses, a three-bar tag.  117 beats a minute: about 138 seconds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kPpq = 480;
constexpr int kTempo = 117;
constexpr int kKey = 65;         // F4: right-hand phrases are written relative to it
constexpr double kSwing = 0.62;  // where the off-beat eighth lands within a beat

struct Note {
  double beat, dur;
  int pitch, vel;
  bool swing;
};

std::vector<Note> g_score;

// Mechanical swing: off-beat eighths arrive late, evenly every time.
double swing_map(double beat) {
  double whole = std::floor(beat), f = beat - whole;
  double g = f < 0.5 ? f / 0.5 * kSwing : kSwing + (f - 0.5) / 0.5 * (1 - kSwing);
  return whole + g;
}

void note(double beat, double dur, int pitch, int vel, bool swing = true) {
  g_score.push_back({beat, dur, pitch, vel, swing});
}

// ------------------------------------------------------------ harmony ---
// Chord roots as pitch classes relative to F: I = 0, IV = 5, V = 7.
struct Chord {
  int root;
  int third, fifth, seventh;
};
Chord dom7(int root) { return {root, 4, 7, 10}; }
Chord dim7(int root) { return {root, 3, 6, 9}; }
Chord six(int root) { return {root, 4, 7, 9}; }

int place_in(int pc, int lo) {  // lowest pitch with class pc that is >= lo
  int p = lo + (((pc - lo) % 12) + 12) % 12;
  return p;
}

// ------------------------------------------------------------ left hand ---
const int kLhBass = 94, kLhChord = 82;

int bass_note(int root) { return place_in((kKey + root) % 12, 36); }  // C2..B2

void lh_chord(double beat, double dur, const Chord& c, int vel = kLhChord) {
  int pcs[3] = {c.third, c.fifth, c.seventh};
  for (int iv : pcs) note(beat, dur, place_in((kKey + c.root + iv) % 12, 52), vel);
}

void stride(double bar, const Chord& c, bool second = false) {
  int b = bass_note(c.root);
  int alt = second ? b : place_in((kKey + c.root + 7) % 12, 36);
  note(bar, 0.45, b, kLhBass);
  note(bar, 0.45, b + 12, kLhBass);
  lh_chord(bar + 1, 0.4, c);
  note(bar + 2, 0.45, alt, kLhBass);
  note(bar + 2, 0.45, alt + 12, kLhBass);
  lh_chord(bar + 3, 0.4, c);
}

void half_stride(double beat, const Chord& c) {  // two beats of stride
  int b = bass_note(c.root);
  note(beat, 0.45, b, kLhBass);
  note(beat, 0.45, b + 12, kLhBass);
  lh_chord(beat + 1, 0.4, c);
}

void boogie(double bar, const Chord& c) {
  static const int walk[8] = {0, 4, 7, 9, 10, 9, 7, 4};
  int b = bass_note(c.root);
  for (int i = 0; i < 8; ++i) {
    note(bar + i * 0.5, 0.45, b + walk[i], kLhBass);
    if (i % 2 == 0) note(bar + i * 0.5, 0.45, b + walk[i] + 12, kLhChord);
  }
}

void stop_time(double bar, const Chord& c) {
  int b = bass_note(c.root);
  note(bar, 0.6, b, kLhBass);
  note(bar, 0.6, b + 12, kLhBass);
  lh_chord(bar, 0.6, c);
}

// ----------------------------------------------------------- right hand ---
struct Ev {
  double b, d;
  std::vector<int> p;
  int grace;
};  // grace: 0 = none, else pitch below
using Phrase = std::vector<Ev>;

constexpr int kNoGrace = -1000;  // marker: no grace

void play(double bar, const Phrase& ph, int shift, int vel, bool octaves = false,
          bool swing = true) {
  for (const Ev& e : ph) {
    for (int p : e.p) {
      note(bar + e.b, e.d, kKey + p + shift, vel, swing);
      if (octaves) note(bar + e.b, e.d, kKey + p + shift - 12, vel - 6, swing);
    }
    if (e.grace != kNoGrace && !e.p.empty()) {
      double gb = bar + e.b - 0.09;
      note(gb, 0.09, kKey + e.grace + shift, vel - 8, false);
      if (octaves) note(gb, 0.09, kKey + e.grace + shift - 12, vel - 14, false);
    }
  }
}

// The theme, one phrase per bar of the twelve-bar chorus.
const Phrase kTheme[12] = {
    {{0, .5, {4, 0}, 3},
     {.5, .5, {7}, kNoGrace},
     {1, .5, {12}, kNoGrace},
     {1.5, .5, {10}, kNoGrace},
     {2, 1, {12, 4}, kNoGrace},
     {3, .5, {10}, kNoGrace},
     {3.5, .5, {7}, kNoGrace}},
    {{0, .5, {10}, kNoGrace},
     {.5, .5, {7}, kNoGrace},
     {1, .5, {3}, kNoGrace},
     {1.5, .5, {4}, kNoGrace},
     {2, 1.5, {0, 7}, kNoGrace}},
    {{0, .5, {4, 0}, 3},
     {.5, .5, {7}, kNoGrace},
     {1, .5, {12}, kNoGrace},
     {1.5, .5, {15}, kNoGrace},
     {2, 1, {16, 12}, 15},
     {3, .5, {12}, kNoGrace},
     {3.5, .5, {10}, kNoGrace}},
    {{0, .5, {10}, kNoGrace},
     {.5, .5, {12}, kNoGrace},
     {1, .5, {15}, kNoGrace},
     {1.5, .5, {16}, kNoGrace},
     {2, .5, {15}, kNoGrace},
     {2.5, .5, {12}, kNoGrace},
     {3, 1, {10, 3}, kNoGrace}},
    {{0, .5, {9, 5}, 8},
     {.5, .5, {12}, kNoGrace},
     {1, .5, {17}, kNoGrace},
     {1.5, .5, {15}, kNoGrace},
     {2, 1, {17, 9}, kNoGrace},
     {3, .5, {15}, kNoGrace},
     {3.5, .5, {12}, kNoGrace}},
    {{0, .5, {15}, kNoGrace},
     {.5, .5, {12}, kNoGrace},
     {1, .5, {8}, kNoGrace},
     {1.5, .5, {9}, kNoGrace},
     {2, 1.5, {5, 8}, kNoGrace}},
    {{0, .5, {4, 0}, 3},
     {.5, .5, {7}, kNoGrace},
     {1, .5, {12}, kNoGrace},
     {1.5, .5, {10}, kNoGrace},
     {2, 1, {12, 4}, kNoGrace},
     {3, .5, {7}, kNoGrace},
     {3.5, .5, {4}, kNoGrace}},
    {{0, .5, {12}, kNoGrace},
     {.5, .5, {10}, kNoGrace},
     {1, .5, {7}, kNoGrace},
     {1.5, .5, {3}, kNoGrace},
     {2, .5, {4}, kNoGrace},
     {2.5, .5, {0}, kNoGrace},
     {3, 1, {-2, 4}, kNoGrace}},
    {{0, .5, {11, 7}, 10},
     {.5, .5, {14}, kNoGrace},
     {1, .5, {19}, kNoGrace},
     {1.5, .5, {17}, kNoGrace},
     {2, .5, {14}, kNoGrace},
     {2.5, .5, {11}, kNoGrace},
     {3, 1, {10, 7}, kNoGrace}},
    {{0, .5, {9, 5}, 8},
     {.5, .5, {8}, kNoGrace},
     {1, .5, {5}, kNoGrace},
     {1.5, .5, {3}, kNoGrace},
     {2, 1, {4, 0}, kNoGrace},
     {3, .5, {7}, kNoGrace},
     {3.5, .5, {4}, kNoGrace}},
    {{0, 1.5, {12, 4}, 3},
     {1.5, .5, {10}, kNoGrace},
     {2, .5, {7}, kNoGrace},
     {2.5, .5, {3}, kNoGrace},
     {3, 1, {4}, kNoGrace}},
    {{0, .5, {11, 17}, kNoGrace},
     {.5, .5, {10, 16}, kNoGrace},
     {1, .5, {9, 15}, kNoGrace},
     {1.5, .5, {8, 14}, kNoGrace},
     {2, 1, {7, 11, 17}, kNoGrace}},
};

// Triplet riff over a chord: the top note falls through two chord tones.
void triplet_riff(double bar, int top, int mid, int low, int vel, bool last_beat_chord) {
  for (int beat = 0; beat < 3; ++beat)
    for (int k = 0; k < 3; ++k) {
      int p = k == 0 ? top : (k == 1 ? mid : low);
      note(bar + beat + k / 3.0, 1 / 3.0 - 0.02, kKey + p, vel, false);
    }
  if (last_beat_chord) {
    note(bar + 3, 0.8, kKey + top, vel, false);
    note(bar + 3, 0.8, kKey + low, vel, false);
  }
}

// Harmony of the twelve bars; `jazz` swaps in a II-V in bars 9-10.
std::vector<Chord> changes(bool quick_change, bool jazz) {
  std::vector<Chord> c = {dom7(0), dom7(0), dom7(0), dom7(0), dom7(5), dom7(5),
                          dom7(0), dom7(0), dom7(7), dom7(5), dom7(0), dom7(7)};
  if (quick_change) c[1] = dom7(5);
  if (jazz) {
    c[8] = dom7(2);
    c[9] = dom7(7);
  }  // II7 - V7
  return c;
}

void theme(double start, int chorus) {
  const bool jazz = chorus == 4;
  std::vector<Chord> ch = changes(chorus >= 2, jazz);
  for (int b = 0; b < 12; ++b) {
    double bar = start + b * 4;
    const Chord& c = ch[size_t(b)];
    switch (chorus) {
      case 1:  // plain statement of the theme over stride
        stride(bar, c, b % 2 == 1);
        play(bar, kTheme[b], 0, 96);
        break;
      case 2:  // an octave up, in octaves
        stride(bar, c, b % 2 == 1);
        play(bar, kTheme[b], 12, 94, true);
        break;
      case 3: {  // boogie bass, triplet riffs on top
        boogie(bar, c);
        int r = c.root;
        if (b == 11) {
          play(bar, kTheme[11], 0, 96);
          break;
        }
        if (b % 4 == 3) {
          play(bar, kTheme[size_t(b)], 12, 94);
          break;
        }
        if (r == 0)
          triplet_riff(bar, 12, 10, 7, 92, true);
        else if (r == 5)
          triplet_riff(bar, 12, 8, 5, 92, true);
        else
          triplet_riff(bar, 14, 11, 7, 92, true);
        break;
      }
      case 4:  // stop-time breaks, then the theme high with blue grace notes
        if (b < 4) {
          stop_time(bar, c);
          // A run up the blues scale answering each stop.
          static const int run[] = {0, 3, 4, 7, 10, 12, 15, 16, 19, 16, 15, 12};
          for (int i = 0; i < 12; ++i) {
            int p = run[(i + b * 3) % 12] + (b % 2 ? 12 : 0);
            note(bar + 1 + i / 4.0, 0.22, kKey + p, 92, false);
          }
        } else {
          stride(bar, c, b % 2 == 1);
          play(bar, kTheme[b], 12, 92);
        }
        break;
      default:  // shout chorus: chords under the tune, busy bass
        if (b % 2 == 0)
          boogie(bar, c);
        else
          stride(bar, c);
        play(bar, kTheme[b], 12, 100, true);
        for (const Ev& e : kTheme[b])
          if (e.d >= 1 && !e.p.empty()) lh_chord(bar + e.b, e.d * 0.8, c, 90);
        break;
    }
  }
}

void intro(double start) {
  // Descending chromatic octaves over the tonic, a stab on the dominant,
  // then the turnaround.
  stride(start, dom7(0));
  for (int i = 0; i < 4; ++i) {
    note(start + i, 0.9, kKey + 24 - i, 96);
    note(start + i, 0.9, kKey + 12 - i, 90);
  }
  double b2 = start + 4;
  stop_time(b2, dom7(7));
  note(b2, 0.9, kKey + 8 + 12, 96);
  note(b2, 0.9, kKey + 8, 90);
  note(b2 + 1, 0.9, kKey + 7 + 12, 96);
  note(b2 + 1, 0.9, kKey + 7, 90);
  note(b2 + 2, 0.5, kKey - 1, 96);
  note(b2 + 2, 0.5, kKey + 5, 96);
  note(b2 + 2, 0.5, kKey + 7, 96);
  note(b2 + 2, 0.5, bass_note(7), kLhBass);
  note(b2 + 2, 0.5, bass_note(7) + 12, kLhBass);
  stride(start + 8, dom7(0));
  play(start + 8, kTheme[10], 0, 96);
  stride(start + 12, dom7(7));
  play(start + 12, kTheme[11], 0, 96);
}

void ending(double start) {
  // IV, rising diminished, tonic over its fifth, dominant, final chord.
  half_stride(start, dom7(5));
  half_stride(start + 2, dim7(6));
  int rh1[] = {9, 12, 15}, rh2[] = {8, 11, 14};
  for (int p : rh1) note(start, 1.8, kKey + p, 96);
  for (int p : rh2) note(start + 2, 1.8, kKey + p, 96);
  double b2 = start + 4;
  note(b2, 0.45, bass_note(7), kLhBass);
  note(b2, 0.45, bass_note(7) + 12, kLhBass);
  lh_chord(b2 + 1, 0.4, six(0));
  note(b2 + 2, 0.45, bass_note(7), kLhBass);
  note(b2 + 2, 0.45, bass_note(7) + 12, kLhBass);
  lh_chord(b2 + 3, 0.4, dom7(7));
  int rh3[] = {12, 16, 19};
  for (int p : rh3) note(b2, 1.8, kKey + p, 96);
  // A last run down to the dominant.
  static const int run[] = {22, 19, 17, 16, 14, 11, 10, 7};
  for (int i = 0; i < 8; ++i) note(b2 + 2 + i * 0.25, 0.22, kKey + run[i], 94, false);
  // The final chord, rolled from the bottom, with the pedal down.
  double b3 = start + 8;
  int fin[] = {bass_note(0) - 12, bass_note(0), bass_note(0) + 7, kKey - 8,  kKey - 5,  kKey,
               kKey + 4,          kKey + 9,     kKey + 12,        kKey + 16, kKey + 21, kKey + 24};
  for (int i = 0; i < 12; ++i)
    note(b3 + i * 0.035, 4.5 - i * 0.035, fin[i], i < 3 ? 100 : 92, false);
}

// ------------------------------------------------------------ MIDI file ---
void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}
void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x >> 8));
  v.push_back(uint8_t(x));
}
void put_var(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t buf[5];
  int n = 0;
  buf[n++] = x & 0x7F;
  while (x >>= 7) buf[n++] = uint8_t(0x80 | (x & 0x7F));
  while (n) v.push_back(buf[--n]);
}

struct Event {
  uint32_t tick;
  int order;  // offs before ons at the same tick
  std::vector<uint8_t> bytes;
};

int write_midi(const std::string& path) {
  const double kIntroBars = 4, kChorusBars = 12;
  intro(0);
  for (int c = 1; c <= 5; ++c) theme((kIntroBars + (c - 1) * kChorusBars) * 4, c);
  double end_start = (kIntroBars + 5 * kChorusBars) * 4;
  ending(end_start);

  std::vector<Event> ev;
  auto tick = [](double beat) { return uint32_t(std::lround(beat * kPpq)); };
  for (const Note& n : g_score) {
    double on = n.swing ? swing_map(n.beat) : n.beat;
    double off = n.swing ? swing_map(n.beat + n.dur) : n.beat + n.dur;
    if (off <= on) off = on + 0.05;
    uint32_t t0 = tick(on), t1 = std::max(tick(off), t0 + 1);
    ev.push_back({t0, 1, {0x90, uint8_t(n.pitch), uint8_t(std::min(127, n.vel))}});
    ev.push_back({t1, 0, {0x80, uint8_t(n.pitch), 0}});
  }
  // Sustain pedal down for the final chord only.
  ev.push_back({tick(end_start + 8), 2, {0xB0, 64, 127}});
  ev.push_back({tick(end_start + 13), 0, {0xB0, 64, 0}});
  std::stable_sort(ev.begin(), ev.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  // Overlapping notes of the same pitch: end the old one first so that
  // every note-on has its own note-off.
  std::vector<uint8_t> trk;
  put_var(trk, 0);
  trk.insert(trk.end(), {0xFF, 0x51, 0x03});
  uint32_t us_per_beat = 60000000u / kTempo;
  trk.push_back(uint8_t(us_per_beat >> 16));
  trk.push_back(uint8_t(us_per_beat >> 8));
  trk.push_back(uint8_t(us_per_beat));
  put_var(trk, 0);
  trk.insert(trk.end(), {0xFF, 0x58, 0x04, 4, 2, 24, 8});
  put_var(trk, 0);
  trk.insert(trk.end(), {0xC0, 0});  // acoustic grand piano
  put_var(trk, 0);
  trk.insert(trk.end(), {0xB0, 91, 20});  // a little room
  int active[128] = {0};
  uint32_t last = 0;
  for (const Event& e : ev) {
    uint8_t st = e.bytes[0];
    if (st == 0x90) {
      if (active[e.bytes[1]]++ > 0) {  // retrigger: release first
        put_var(trk, e.tick - last);
        last = e.tick;
        trk.insert(trk.end(), {0x80, e.bytes[1], 0});
      }
    } else if (st == 0x80) {
      if (active[e.bytes[1]] == 0) continue;
      if (--active[e.bytes[1]] > 0) continue;  // a later note still sounds
    }
    put_var(trk, e.tick - last);
    last = e.tick;
    trk.insert(trk.end(), e.bytes.begin(), e.bytes.end());
  }
  put_var(trk, kPpq * 2);
  trk.insert(trk.end(), {0xFF, 0x2F, 0x00});

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
  put32(file, 6);
  put16(file, 0);
  put16(file, 1);
  put16(file, kPpq);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  put32(file, uint32_t(trk.size()));
  file.insert(file.end(), trk.begin(), trk.end());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  double seconds = (end_start + 8 + 4.5) * 60.0 / kTempo;
  std::printf("%s: %zu notes, about %.1f s\n", path.c_str(), g_score.size(), seconds);
  return 0;
}

// ---------------------------------------------------------------- noise ---
int write_noise(const std::string& path, double seconds) {
  const int kRate = 44100;
  const uint32_t frames = uint32_t(seconds * kRate);
  std::vector<int16_t> pcm(size_t(frames) * 2);
  uint64_t s = 0x1916ull;
  auto rnd = [&]() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return double(s >> 11) / double(1ull << 53);
  };
  double pink[3] = {0, 0, 0}, click = 0, click_decay = 0, rumble = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    double w = rnd() * 2 - 1;
    // Soft hiss: white noise through three one-pole filters (pinkish).
    pink[0] = 0.997 * pink[0] + 0.029 * w;
    pink[1] = 0.985 * pink[1] + 0.032 * w;
    pink[2] = 0.950 * pink[2] + 0.048 * w;
    double hiss = (pink[0] + pink[1] + pink[2]) * 0.35;
    // Crackle: sparse clicks of random size that ring down quickly.
    if (rnd() < 9.0 / kRate) {
      click = (rnd() < 0.5 ? -1 : 1) * (0.05 + 0.5 * std::pow(rnd(), 3));
      click_decay = 0.55 + 0.3 * rnd();
    }
    double c = click;
    click *= -click_decay;
    // Slow rumble of the turntable, once per revolution (78 rpm).
    rumble = 0.02 * std::sin(2 * M_PI * 1.3 * i / kRate) *
             (0.5 + 0.5 * std::sin(2 * M_PI * 0.11 * i / kRate));
    double v = (hiss * 0.05 + c * 0.35 + rumble * 0.05);
    int16_t q = int16_t(std::lround(std::max(-1.0, std::min(1.0, v)) * 32767));
    pcm[size_t(i) * 2] = q;
    pcm[size_t(i) * 2 + 1] = q;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  auto w32 = [&](uint32_t x) { std::fwrite(&x, 4, 1, f); };
  auto w16 = [&](uint16_t x) { std::fwrite(&x, 2, 1, f); };
  uint32_t data_bytes = frames * 4;
  std::fwrite("RIFF", 1, 4, f);
  w32(36 + data_bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  w32(16);
  w16(1);
  w16(2);
  w32(kRate);
  w32(kRate * 4);
  w16(4);
  w16(16);
  std::fwrite("data", 1, 4, f);
  w32(data_bytes);
  std::fwrite(pcm.data(), 2, pcm.size(), f);
  std::fclose(f);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "midi") return write_midi(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "noise") return write_noise(argv[2], std::atof(argv[3]));
  std::fprintf(stderr, "usage: %s midi <out.mid> | noise <out.wav> <seconds>\n", argv[0]);
  return 2;
}
