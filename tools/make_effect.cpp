// make_effect.cpp — torvex-make-effect: synthesises the turn sound from the settings in
// data/torvex-effect.txt and writes it as a WAV file in the compressed (SZDD) format.
// Usage: torvex-make-effect SETTINGS OUTPUT.WAV [PLAIN.WAV]   (PLAIN: the same, uncompressed)
//
// The sound is a soft wooden tick (a damped sine with a faster partial and a breath of noise)
// at the moment the sprites turn, then the whoosh of their swing away: noise through a band
// filter whose centre glides down, swelling and fading. Noise comes from a seeded generator,
// so every build writes the same bytes.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/szdd_compress.h"
#include "torvex_version.h"

namespace {

using Settings = std::map<std::string, double>;

const char* const Required[] = {
    "rate",         "length",      "seed",        "fade",        "tick.frequency",
    "tick.partial", "tick.decay",  "tick.level",  "tick.noise",  "whoosh.start",
    "whoosh.peak",  "whoosh.end",  "whoosh.from", "whoosh.to",   "whoosh.q",
    "whoosh.level"};

bool ReadSettings(const char* path, Settings& settings) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "torvex-make-effect: cannot read %s\n", path);
    return false;
  }
  int line = 0;
  for (std::string text; std::getline(in, text);) {
    ++line;
    std::istringstream words(text.substr(0, text.find('#')));
    std::string key, rest;
    double value = 0;
    if (!(words >> key)) continue;
    if (!(words >> value) || (words >> rest)) {
      fprintf(stderr, "torvex-make-effect: %s:%d: expected NAME VALUE\n", path, line);
      return false;
    }
    settings[key] = value;
  }
  for (const char* key : Required)
    if (settings.count(key) == 0) {
      fprintf(stderr, "torvex-make-effect: %s: %s is missing\n", path, key);
      return false;
    }
  return true;
}

// A small linear congruential generator: white noise in -1..1, the same for the same seed.
struct Noise {
  uint32_t state;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
  }
};

// A state-variable band filter; f sets its centre (2 sin(pi centre / rate)), q its sharpness.
struct BandFilter {
  double low, band;
  double Next(double in, double f, double q) {
    low += f * band;
    double high = in - low - band / q;
    band += f * high;
    return band / q;  // unity gain at the centre
  }
};

double Tick(Settings& s, double t, Noise& noise) {
  double attack = std::fmin(1.0, t / 0.001);  // 1 ms, so the tick does not click
  double body = std::exp(-t / s["tick.decay"]);
  double pi2 = 2 * M_PI;
  double tone = std::sin(pi2 * s["tick.frequency"] * t) +
                0.5 * std::sin(pi2 * s["tick.frequency"] * s["tick.partial"] * t) * body;
  double breath = s["tick.noise"] * noise.Next() * std::exp(-t / 0.004);
  return s["tick.level"] * attack * body * (tone + breath);
}

// The whoosh's swell: rises as sin² to the peak, falls as cos² to the end.
double Swell(Settings& s, double t) {
  double start = s["whoosh.start"], peak = s["whoosh.peak"], end = s["whoosh.end"];
  if (t <= start || t >= end) return 0;
  double half = M_PI / 2;
  if (t < peak) return std::pow(std::sin(half * (t - start) / (peak - start)), 2);
  return std::pow(std::cos(half * (t - peak) / (end - peak)), 2);
}

std::vector<int16_t> Synthesise(Settings& s) {
  double rate = s["rate"];
  size_t count = static_cast<size_t>(std::lround(s["length"] * rate));
  std::vector<int16_t> samples(count);
  Noise tickNoise{static_cast<uint32_t>(s["seed"])};
  Noise airNoise{static_cast<uint32_t>(s["seed"]) * 7919u + 1};
  BandFilter first{}, second{};  // two in a row: soft air rather than hiss
  for (size_t i = 0; i < count; ++i) {
    double t = static_cast<double>(i) / rate;
    double glide = std::fmin(1.0, std::fmax(0.0, (t - s["whoosh.start"]) /
                                                    (s["whoosh.end"] - s["whoosh.start"])));
    double centre = s["whoosh.from"] * std::pow(s["whoosh.to"] / s["whoosh.from"], glide);
    double f = 2 * std::sin(M_PI * centre / rate);
    double air = second.Next(first.Next(airNoise.Next(), f, s["whoosh.q"]), f, s["whoosh.q"]);
    double value = Tick(s, t, tickNoise) + s["whoosh.level"] * Swell(s, t) * air;
    double fade = std::fmin(1.0, (static_cast<double>(count - i) / rate) / s["fade"]);
    value = std::fmax(-1.0, std::fmin(1.0, value * fade));
    samples[i] = static_cast<int16_t>(std::lround(value * 32767));
  }
  return samples;
}

void PutLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A RIFF WAVE file: 16-bit mono PCM.
std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples, uint32_t rate) {
  uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  PutLittle(out, 36 + dataBytes, 4);
  for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<uint8_t>(c));
  PutLittle(out, 16, 4);
  PutLittle(out, 1, 2);         // PCM
  PutLittle(out, 1, 2);         // mono
  PutLittle(out, rate, 4);
  PutLittle(out, rate * 2, 4);  // bytes a second
  PutLittle(out, 2, 2);         // bytes a frame
  PutLittle(out, 16, 2);        // bits a sample
  for (char c : std::string("data")) out.push_back(static_cast<uint8_t>(c));
  PutLittle(out, dataBytes, 4);
  for (int16_t sample : samples) PutLittle(out, static_cast<uint16_t>(sample), 2);
  return out;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (out.flush()) return true;
  fprintf(stderr, "torvex-make-effect: cannot write %s\n", path);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-make-effect")) return 0;
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    printf("usage: torvex-make-effect SETTINGS OUTPUT.WAV [PLAIN.WAV]\n");
    return 0;
  }
  if (argc != 3 && argc != 4) {
    fprintf(stderr, "usage: torvex-make-effect SETTINGS OUTPUT.WAV [PLAIN.WAV]\n");
    return 2;
  }
  Settings settings;
  if (!ReadSettings(argv[1], settings)) return 1;
  if (settings["length"] <= 0 || settings["length"] > 0.3 || settings["rate"] < 8000) {
    fprintf(stderr, "torvex-make-effect: the sound must last at most 0.3 seconds\n");
    return 1;
  }
  std::vector<uint8_t> wave =
      WaveFile(Synthesise(settings), static_cast<uint32_t>(settings["rate"]));
  // The file keeps its name when compressed, so its last character is stored as it is.
  std::string name(argv[2]);
  std::vector<uint8_t> packed = CompressSzdd(wave, name.empty() ? '\0' : name.back());
  if (!WriteFile(argv[2], packed)) return 1;
  if (argc == 4 && !WriteFile(argv[3], wave)) return 1;
  fprintf(stderr, "torvex-make-effect: %zu bytes of sound, %zu compressed\n", wave.size(),
          packed.size());
  return 0;
}
