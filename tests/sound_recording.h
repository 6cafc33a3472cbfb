// sound_recording.h — what the sound tests share: small MIDI files made on the spot, the loop
// test's tune, and reading back what SDL's disk audio driver recorded (16-bit stereo samples,
// 44,100 frames a second), one peak level a millisecond.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace SoundRecording {

inline void PutVarLen(std::vector<uint8_t>& out, uint32_t value) {
  std::vector<uint8_t> bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<uint8_t>((value & 0x7F) | (bytes.empty() ? 0 : 0x80)));
    value >>= 7;
  } while (value != 0);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> Chunk(const char* type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> chunk(type, type + 4);
  uint32_t size = static_cast<uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back((size >> shift) & 0xFF);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

inline std::vector<uint8_t> MidiFile(uint16_t format, uint16_t division,
                                     const std::vector<std::vector<uint8_t>>& tracks) {
  std::vector<uint8_t> file = Chunk("MThd", {0, uint8_t(format), 0, uint8_t(tracks.size()),
                                             uint8_t(division >> 8), uint8_t(division)});
  for (const auto& track : tracks) {
    std::vector<uint8_t> chunk = Chunk("MTrk", track);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

// The loop tests' tune: four claves strokes a quarter apart at 240 beats a minute, the end of
// the track a quarter after the last, so played in a seamless loop the strokes come every
// 250 ms without a break. It lasts exactly one second.
constexpr int StrokeMilliseconds = 250;
inline std::vector<uint8_t> ClavesTune() {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};  // 250,000 µs
  for (int beat = 0; beat < 4; ++beat) {
    PutVarLen(track, beat > 0 ? 384 : 0);              // the rest of the beat
    track.insert(track.end(), {0x99, 75, 110});        // the stroke on the beat
    PutVarLen(track, 96);
    track.insert(track.end(), {0x89, 75, 0});          // released a 32nd later
  }
  PutVarLen(track, 384);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  return MidiFile(0, 480, {track});
}

// The largest sample magnitude of each millisecond of the recording (both channels).
inline std::vector<int> Envelope(const std::vector<uint8_t>& raw) {
  size_t frames = raw.size() / 4;
  std::vector<int> envelope(frames / 44 + 1, 0);
  for (size_t i = 0; i < frames * 2; ++i) {
    int16_t sample = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    int& peak = envelope[i / 2 / 44];
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return envelope;
}

inline std::vector<int> RecordedEnvelope(const std::filesystem::path& raw) {
  std::ifstream in(raw, std::ios::binary);
  return Envelope(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

// Seconds of sound the disk driver has written so far: it writes in real time, or slower when
// the machine is busy, so tests wait for the recording rather than for the clock.
inline double RecordedSeconds(const std::filesystem::path& raw) {
  std::error_code error;
  uintmax_t bytes = std::filesystem::file_size(raw, error);
  return error ? 0.0 : static_cast<double>(bytes) / (44100 * 4);
}

// Milliseconds at which a sound starts: the level reaches threshold after quietMs below it.
inline std::vector<int> Onsets(const std::vector<int>& envelope, int threshold, int quietMs) {
  std::vector<int> onsets;
  int quiet = quietMs;
  for (size_t ms = 0; ms < envelope.size(); ++ms) {
    if (envelope[ms] >= threshold && quiet >= quietMs) onsets.push_back(static_cast<int>(ms));
    quiet = envelope[ms] < threshold ? quiet + 1 : 0;
  }
  return onsets;
}

// Onsets of strokes: at a quarter of the loudest peak, after 80 ms of quiet.
inline std::vector<int> Strokes(const std::vector<int>& envelope) {
  int peak = envelope.empty() ? 0 : *std::max_element(envelope.begin(), envelope.end());
  return Onsets(envelope, std::max(1, peak / 4), 80);
}

}  // namespace SoundRecording
