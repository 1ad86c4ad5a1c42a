// The music decoder, compiled once from Debian's stb_vorbis header.
#include <stb/stb_vorbis.h>
