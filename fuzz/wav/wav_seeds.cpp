// Writes the WAV import fuzzer's starting corpus into a folder: one short file of each
// container and encoding the import takes, so the fuzzer starts from real headers.
// Usage: orq-wav-seeds FOLDER
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const struct {
    const char* name;
    int format;
    int rate;
    int channels;
  } kSeeds[] = {
      {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1},
      {"u8-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 2},
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 1},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1},
      {"double-ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_DOUBLE, 88200, 2},
      {"pcm32-ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 44100, 1},
      {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 48000, 1},
      {"ulaw.w64", SF_FORMAT_W64 | SF_FORMAT_ULAW, 48000, 2},
      {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 44100, 1},
      {"ms.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 48000, 2},
      {"float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 96000, 1},
  };
  for (const auto& s : kSeeds) {
    SF_INFO info{};
    info.samplerate = s.rate;
    info.channels = s.channels;
    info.format = s.format;
    const std::string path = std::string(argv[1]) + "/" + s.name;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
      return 1;
    }
    // A quiet lead-in, then a short decaying tone: every step of the import has work to do.
    std::vector<float> v;
    for (int i = 0; i < 64; ++i) {
      const float x = i < 8 ? 0.004f : 0.8f * std::exp(-i / 16.0f) * std::sin(i * 0.9f);
      for (int c = 0; c < s.channels; ++c) v.push_back(c == 0 ? x : -x);
    }
    sf_writef_float(f, v.data(), 64);
    sf_close(f);
  }
  return 0;
}
