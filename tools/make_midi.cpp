// make_midi.cpp — torvex-make-midi: turns a text score (data/torvex-tune.txt) into a Standard
// MIDI File for General MIDI players. Usage: torvex-make-midi SCORE OUTPUT.MID
//
// The score names a tempo and a meter, declares voices (channel, program, mix), writes the
// music in patterns of whole bars and strings patterns into the song; the file ends exactly at
// the end of the song's last bar, so a player that starts it again there loops it in time.
//
//   tempo 120                 quarter notes a minute
//   meter 4/4
//   voice lead channel 1 program 81 volume 92 pan 64 reverb 40 chorus 20 velocity 96 gate 0.85
//   pattern verse 4           a pattern of 4 bars
//     lead: e5:4 a5:8 g5 | c5+e5+g5:2. r:4 |     notes, chords (+), rests; lengths 1 2 4 8 16
//           d5:1 | ...                           32 with . (dotted) or t (triplet); a length
//     drum kick: x...x...x...x...                carries on to the next token; ! accents, ?
//   end                                          softens; | checks the bar; a line without a
//   song verse verse                             name goes on with the voice above; drum steps
//                                                are sixteenths (x hit, X accent, o ghost,
//                                                . rest) repeated to fill the pattern
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int TicksPerQuarter = 480;
constexpr int TicksPerWhole = TicksPerQuarter * 4;
constexpr int DrumChannel = 9;

struct NoteEvent {
  int tick;
  bool on;
  int key;
  int velocity;
};

struct Voice {
  std::string name;
  int channel = 0;  // 0-based
  int program = -1;  // 0-based; -1 for none (drums)
  int volume = 100, pan = 64, reverb = 40, chorus = 0, velocity = 96;
  double gate = 0.9;  // the part of its length a note sounds
  std::vector<NoteEvent> events;
};

struct Pattern {
  int bars = 0;
  std::vector<std::string> lines;  // "voice: tokens" and "drum key: steps", in order
  int firstLine = 0;
};

struct Score {
  double tempo = 120;
  int beats = 4, beatUnit = 4;
  std::vector<Voice> voices;
  std::map<std::string, Pattern> patterns;
  std::vector<std::string> song;
  int BarTicks() const { return beats * TicksPerWhole / beatUnit; }
};

[[noreturn]] void Fail(int line, const std::string& what) {
  throw std::runtime_error("line " + std::to_string(line) + ": " + what);
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

int NumberIn(const std::string& text, int line, int low, int high) {
  size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    Fail(line, "not a number: " + text);
  }
  if (used != text.size() || value < low || value > high)
    Fail(line, "expected a number from " + std::to_string(low) + " to " + std::to_string(high) +
                   ": " + text);
  return value;
}

// --- notes ----------------------------------------------------------------------------------

// "c4" is middle C (60); accidentals # and b follow the letter.
int KeyOf(const std::string& text, int line) {
  static const int steps[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  if (text.empty() || text[0] < 'a' || text[0] > 'g') Fail(line, "not a note: " + text);
  int key = steps[text[0] - 'a'];
  size_t at = 1;
  for (; at < text.size() && (text[at] == '#' || text[at] == 'b'); ++at)
    key += text[at] == '#' ? 1 : -1;
  int octave = NumberIn(text.substr(at), line, 0, 9);
  key += 12 * (octave + 1);
  if (key < 0 || key > 127) Fail(line, "note out of range: " + text);
  return key;
}

// "4" a quarter, "8." a dotted eighth, "8t" an eighth of a triplet.
int LengthOf(const std::string& text, int line) {
  std::string digits = text;
  double factor = 1;
  if (!digits.empty() && (digits.back() == '.' || digits.back() == 't')) {
    factor = digits.back() == '.' ? 1.5 : 2.0 / 3.0;
    digits.pop_back();
  }
  int division = NumberIn(digits, line, 1, 64);
  if (TicksPerWhole % division != 0) Fail(line, "no such length: " + text);
  return static_cast<int>(std::lround(TicksPerWhole / division * factor));
}

const std::map<std::string, int>& DrumKeys() {
  static const std::map<std::string, int> keys = {
      {"kick", 36},   {"rim", 37},     {"snare", 38},   {"clap", 39},    {"tomlow", 45},
      {"hat", 42},    {"pedal", 44},   {"open", 46},    {"tommid", 47},  {"crash", 49},
      {"tomhigh", 50}, {"ride", 51},   {"tambourine", 54}, {"cowbell", 56}, {"shaker", 70},
      {"claves", 75}};
  return keys;
}

// One melodic line of a pattern: tokens "key[+key...][:length][!|?]", "r:length" and "|".
int WriteNotes(Voice& voice, const std::vector<std::string>& tokens, int start, int barTicks,
               int line) {
  int tick = start, length = TicksPerQuarter;
  for (const std::string& token : tokens) {
    if (token == "|") {
      if ((tick - start) % barTicks != 0) Fail(line, "bar line in the middle of a bar");
      continue;
    }
    std::string body = token;
    int velocity = voice.velocity;
    if (body.back() == '!' || body.back() == '?') {
      velocity = std::clamp(velocity + (body.back() == '!' ? 20 : -25), 1, 127);
      body.pop_back();
    }
    size_t colon = body.find(':');
    if (colon != std::string::npos) length = LengthOf(body.substr(colon + 1), line);
    std::string keys = body.substr(0, colon);
    if (keys != "r") {
      int sounding = std::max(1, static_cast<int>(length * voice.gate));
      std::istringstream chord(keys);
      for (std::string key; std::getline(chord, key, '+');) {
        int k = KeyOf(key, line);
        voice.events.push_back({tick, true, k, velocity});
        voice.events.push_back({tick + sounding, false, k, 0});
      }
    }
    tick += length;
  }
  return tick - start;
}

// One drum line: sixteenth steps, repeated until the pattern is full.
void WriteDrums(Voice& voice, int key, const std::string& steps, int start, int ticks,
                int line) {
  std::string hits;
  for (char c : steps)
    if (c != '|' && c != ' ') hits += c;
  if (hits.empty()) Fail(line, "no drum steps");
  int step = TicksPerWhole / 16;
  for (int i = 0; i * step < ticks; ++i) {
    char c = hits[i % hits.size()];
    if (c == '.') continue;
    int velocity = c == 'X' ? 120 : c == 'x' ? 96 : c == 'o' ? 60 : -1;
    if (velocity < 0) Fail(line, std::string("not a drum step: ") + c);
    velocity = std::min(127, velocity * voice.velocity / 96);
    voice.events.push_back({start + i * step, true, key, velocity});
    voice.events.push_back({start + i * step + step / 2, false, key, 0});
  }
}

Voice& FindVoice(Score& score, const std::string& name, int line) {
  for (Voice& voice : score.voices)
    if (voice.name == name) return voice;
  Fail(line, "no such voice: " + name);
}

Voice& DrumVoice(Score& score, int line) {
  for (Voice& voice : score.voices)
    if (voice.channel == DrumChannel) return voice;
  Fail(line, "drums without a voice on channel 10");
}

// Writes one pattern's lines at tick start; every melodic line fills the pattern exactly.
void WritePattern(Score& score, const Pattern& pattern, int start) {
  int ticks = pattern.bars * score.BarTicks();
  std::map<std::string, int> filled;
  std::string current;
  int line = pattern.firstLine;
  for (const std::string& text : pattern.lines) {
    ++line;
    std::vector<std::string> words = Words(text);
    if (words.empty()) continue;
    if (words[0] == "drum") {
      if (words.size() < 3 || words[1].back() != ':') Fail(line, "expected: drum KEY: STEPS");
      std::string name = words[1].substr(0, words[1].size() - 1);
      auto known = DrumKeys().find(name);
      int key = known != DrumKeys().end() ? known->second : NumberIn(name, line, 0, 127);
      std::string steps;
      for (size_t i = 2; i < words.size(); ++i) steps += words[i];
      WriteDrums(DrumVoice(score, line), key, steps, start, ticks, line);
      current.clear();
      continue;
    }
    // "voice: notes" starts a voice's line; a line without a name continues the last one.
    if (words[0].back() == ':') {
      current = words[0].substr(0, words[0].size() - 1);
      words.erase(words.begin());
    }
    if (current.empty()) Fail(line, "expected: VOICE: NOTES");
    const std::string& name = current;
    filled[name] += WriteNotes(FindVoice(score, name, line), words, start + filled[name],
                               score.BarTicks(), line);
  }
  for (auto& [name, used] : filled)
    if (used != ticks)
      Fail(pattern.firstLine, "voice " + name + " fills " + std::to_string(used) + " of " +
                                  std::to_string(ticks) + " ticks");
}

// --- the score ------------------------------------------------------------------------------

void ReadVoice(Score& score, const std::vector<std::string>& words, int line) {
  if (words.size() < 2 || words.size() % 2 != 0) Fail(line, "expected: voice NAME KEY VALUE...");
  Voice voice;
  voice.name = words[1];
  for (size_t i = 2; i < words.size(); i += 2) {
    const std::string& key = words[i];
    const std::string& value = words[i + 1];
    if (key == "channel") voice.channel = NumberIn(value, line, 1, 16) - 1;
    else if (key == "program") voice.program = NumberIn(value, line, 1, 128) - 1;
    else if (key == "volume") voice.volume = NumberIn(value, line, 0, 127);
    else if (key == "pan") voice.pan = NumberIn(value, line, 0, 127);
    else if (key == "reverb") voice.reverb = NumberIn(value, line, 0, 127);
    else if (key == "chorus") voice.chorus = NumberIn(value, line, 0, 127);
    else if (key == "velocity") voice.velocity = NumberIn(value, line, 1, 127);
    else if (key == "gate") voice.gate = NumberIn(value, line, 1, 100) / 100.0;
    else Fail(line, "unknown voice setting: " + key);
  }
  score.voices.push_back(voice);
}

Score ReadScore(std::istream& in) {
  Score score;
  Pattern* open = nullptr;
  int line = 0;
  for (std::string text; std::getline(in, text);) {
    ++line;
    text = text.substr(0, text.find('#'));
    std::vector<std::string> words = Words(text);
    if (open != nullptr) {
      if (words.size() == 1 && words[0] == "end") open = nullptr;
      else open->lines.push_back(text);
      continue;
    }
    if (words.empty()) continue;
    if (words[0] == "tempo" && words.size() == 2) {
      score.tempo = NumberIn(words[1], line, 20, 300);
    } else if (words[0] == "meter" && words.size() == 2 && words[1].find('/') != std::string::npos) {
      score.beats = NumberIn(words[1].substr(0, words[1].find('/')), line, 1, 16);
      score.beatUnit = NumberIn(words[1].substr(words[1].find('/') + 1), line, 1, 16);
    } else if (words[0] == "voice") {
      ReadVoice(score, words, line);
    } else if (words[0] == "pattern" && words.size() == 3) {
      open = &score.patterns[words[1]];
      *open = Pattern{NumberIn(words[2], line, 1, 64), {}, line};
    } else if (words[0] == "song") {
      score.song.insert(score.song.end(), words.begin() + 1, words.end());
    } else {
      Fail(line, "not understood: " + text);
    }
  }
  if (open != nullptr) Fail(line, "pattern without end");
  if (score.song.empty()) Fail(line, "no song");
  return score;
}

// --- the file -------------------------------------------------------------------------------

void PutVarLen(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t bytes[4];
  int count = 0;
  do {
    bytes[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(bytes[--count] | 0x80);
  out.push_back(bytes[0]);
}

void PutChunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& body) {
  file.insert(file.end(), type, type + 4);
  uint32_t size = static_cast<uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back((size >> shift) & 0xFF);
  file.insert(file.end(), body.begin(), body.end());
}

void PutMeta(std::vector<uint8_t>& track, uint8_t type, const std::vector<uint8_t>& data) {
  PutVarLen(track, 0);
  track.insert(track.end(), {0xFF, type});
  PutVarLen(track, static_cast<uint32_t>(data.size()));
  track.insert(track.end(), data.begin(), data.end());
}

std::vector<uint8_t> ConductorTrack(const Score& score, int endTick) {
  std::vector<uint8_t> track;
  uint32_t tempo = static_cast<uint32_t>(std::lround(60e6 / score.tempo));
  PutMeta(track, 0x03, {'T', 'O', 'R', 'V', 'E', 'X'});
  PutMeta(track, 0x51, {uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)});
  int unitPower = 0;
  while ((1 << unitPower) < score.beatUnit) ++unitPower;
  PutMeta(track, 0x58, {uint8_t(score.beats), uint8_t(unitPower), 24, 8});
  PutVarLen(track, static_cast<uint32_t>(endTick));
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  return track;
}

// A voice's track: its set-up at the start, its notes (releases before strikes at the same
// tick), and the end of the track at the end of the song.
std::vector<uint8_t> VoiceTrack(Voice& voice, int endTick) {
  std::vector<uint8_t> track;
  std::vector<uint8_t> name(voice.name.begin(), voice.name.end());
  PutMeta(track, 0x03, name);
  uint8_t control = static_cast<uint8_t>(0xB0 | voice.channel);
  const int settings[4][2] = {{7, voice.volume}, {10, voice.pan}, {91, voice.reverb},
                              {93, voice.chorus}};
  if (voice.program >= 0)
    track.insert(track.end(), {0, uint8_t(0xC0 | voice.channel), uint8_t(voice.program)});
  for (const auto& setting : settings)
    track.insert(track.end(), {0, control, uint8_t(setting[0]), uint8_t(setting[1])});
  std::stable_sort(voice.events.begin(), voice.events.end(),
                   [](const NoteEvent& a, const NoteEvent& b) {
                     return a.tick != b.tick ? a.tick < b.tick : !a.on && b.on;
                   });
  int tick = 0;
  for (const NoteEvent& event : voice.events) {
    PutVarLen(track, static_cast<uint32_t>(event.tick - tick));
    tick = event.tick;
    uint8_t status = static_cast<uint8_t>((event.on ? 0x90 : 0x80) | voice.channel);
    track.insert(track.end(), {status, uint8_t(event.key), uint8_t(event.on ? event.velocity : 64)});
  }
  PutVarLen(track, static_cast<uint32_t>(endTick - tick));
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  return track;
}

std::vector<uint8_t> BuildMidi(Score& score) {
  int tick = 0;
  for (const std::string& name : score.song) {
    auto pattern = score.patterns.find(name);
    if (pattern == score.patterns.end()) throw std::runtime_error("song: no pattern " + name);
    WritePattern(score, pattern->second, tick);
    tick += pattern->second.bars * score.BarTicks();
  }
  std::vector<uint8_t> file;
  uint16_t tracks = static_cast<uint16_t>(score.voices.size() + 1);
  PutChunk(file, "MThd", {0, 1, uint8_t(tracks >> 8), uint8_t(tracks), TicksPerQuarter >> 8,
                          TicksPerQuarter & 0xFF});
  PutChunk(file, "MTrk", ConductorTrack(score, tick));
  for (Voice& voice : score.voices) PutChunk(file, "MTrk", VoiceTrack(voice, tick));
  double seconds = tick / static_cast<double>(TicksPerQuarter) * 60.0 / score.tempo;
  fprintf(stderr, "torvex-make-midi: %d bars, %.2f seconds\n", tick / score.BarTicks(), seconds);
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: torvex-make-midi SCORE OUTPUT.MID\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    fprintf(stderr, "torvex-make-midi: cannot read %s\n", argv[1]);
    return 1;
  }
  try {
    Score score = ReadScore(in);
    std::vector<uint8_t> file = BuildMidi(score);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& error) {
    fprintf(stderr, "torvex-make-midi: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
