// media_midi.cpp — reads a Standard MIDI File for the media device: checks that every chunk
// and event is complete and well formed, and measures the time to its last event through the
// tempo map (format 0, 1 and 2; metrical and SMPTE time division).
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sdl/media.h"

namespace {

constexpr uint32_t DefaultTempo = 500000;  // microseconds per quarter note: 120 beats a minute

struct TempoChange {
  uint64_t tick;
  uint32_t microsPerQuarter;
};

// A cursor over the bytes of one chunk; reading past its end clears ok.
struct Reader {
  const uint8_t* at;
  const uint8_t* end;
  bool ok;

  uint8_t Byte() {
    if (at >= end) ok = false;
    return ok ? *at++ : 0;
  }
  uint32_t BigEndian(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | Byte();
    return value;
  }
  // A variable-length quantity: seven bits a byte, at most four bytes.
  uint32_t VarLen() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t byte = Byte();
      value = value << 7 | (byte & 0x7F);
      if ((byte & 0x80) == 0) return value;
    }
    ok = false;
    return 0;
  }
  void Skip(uint32_t bytes) {
    if (static_cast<size_t>(end - at) < bytes) ok = false;
    if (ok) at += bytes;
  }
};

// Reads a meta event after its status byte; notes tempo changes. True at the end of the track.
bool ReadMetaEvent(Reader& r, uint64_t tick, std::vector<TempoChange>& tempos) {
  uint8_t type = r.Byte();
  uint32_t length = r.VarLen();
  if (type == 0x51 && length == 3) {
    uint32_t tempo = r.BigEndian(3);
    if (tempo == 0) r.ok = false;
    tempos.push_back({tick, tempo});
    return false;
  }
  r.Skip(length);
  return type == 0x2F;
}

// The data bytes of a channel message must all be below 0x80.
void ReadChannelData(Reader& r, uint8_t status) {
  int count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
  for (int i = 0; i < count; ++i)
    if (r.Byte() & 0x80) r.ok = false;
}

// Walks one track's events; *endTick receives the tick of its last event (its end-of-track
// event where it has one: nothing after that event is read).
bool ReadTrack(Reader r, uint64_t* endTick, std::vector<TempoChange>& tempos) {
  uint64_t tick = 0;
  uint8_t running = 0;  // running status: the last channel message's status byte
  while (r.ok && r.at < r.end) {
    tick += r.VarLen();
    uint8_t status = r.at < r.end && (*r.at & 0x80) ? r.Byte() : running;
    if (status == 0) return false;
    if (status < 0xF0) {
      running = status;
      ReadChannelData(r, status);
      continue;
    }
    // System exclusive and meta events cancel running status.
    running = 0;
    if (status == 0xF0 || status == 0xF7) {
      r.Skip(r.VarLen());
    } else if (status != 0xFF) {
      return false;
    } else if (ReadMetaEvent(r, tick, tempos) && r.ok) {
      break;
    }
  }
  *endTick = tick;
  return r.ok;
}

// Seconds from the start to the tick, through the tempo changes sorted by tick.
double TicksToSeconds(uint64_t endTick, uint32_t division, std::vector<TempoChange>& tempos) {
  if (division & 0x8000) {
    // SMPTE: frames a second (29 stands for 29.97) times ticks a frame; no tempo applies.
    int framesPerSecond = -static_cast<int8_t>(division >> 8);
    double rate = framesPerSecond == 29 ? 29.97 : framesPerSecond;
    return static_cast<double>(endTick) / (rate * (division & 0xFF));
  }
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
  double seconds = 0;
  uint64_t tick = 0;
  uint32_t tempo = DefaultTempo;
  for (const TempoChange& change : tempos) {
    if (change.tick >= endTick) break;
    seconds += static_cast<double>(change.tick - tick) * tempo / 1e6 / division;
    tick = change.tick;
    tempo = change.microsPerQuarter;
  }
  return seconds + static_cast<double>(endTick - tick) * tempo / 1e6 / division;
}

bool ValidDivision(uint32_t division) {
  if ((division & 0x8000) == 0) return division != 0;
  int framesPerSecond = -static_cast<int8_t>(division >> 8);
  bool knownRate = framesPerSecond == 24 || framesPerSecond == 25 || framesPerSecond == 29 ||
                   framesPerSecond == 30;
  return knownRate && (division & 0xFF) != 0;
}

}  // namespace

bool MeasureMidiSequence(const uint8_t* data, size_t size, double* seconds) {
  Reader file{data, data + size, true};
  if (size < 14 || memcmp(data, "MThd", 4) != 0) return false;
  file.Skip(4);
  uint32_t headerLength = file.BigEndian(4);
  Reader header{file.at, file.at, true};
  file.Skip(headerLength);
  header.end = file.at;
  uint32_t format = header.BigEndian(2), tracks = header.BigEndian(2);
  uint32_t division = header.BigEndian(2);
  if (!file.ok || !header.ok || format > 2 || tracks == 0 || !ValidDivision(division))
    return false;
  std::vector<TempoChange> tempos;
  uint64_t endTick = 0;
  // Chunks of other types are skipped; every track the header announces must be complete.
  while (tracks > 0) {
    uint32_t type = file.BigEndian(4), length = file.BigEndian(4);
    Reader chunk{file.at, file.at, true};
    file.Skip(length);
    chunk.end = file.at;
    if (!file.ok) return false;
    if (type != 0x4D54726B) continue;  // "MTrk"
    uint64_t trackEnd = 0;
    if (!ReadTrack(chunk, &trackEnd, tempos)) return false;
    endTick = std::max(endTick, trackEnd);
    --tracks;
  }
  *seconds = TicksToSeconds(endTick, division, tempos);
  return true;
}
