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
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "torvex_version.h"

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

std::string Problem;  // the first fault found in the score, with its line

// Notes the fault (the first one counts) and returns false for the caller to pass on.
bool Fail(int line, const std::string& what) {
  if (Problem.empty()) Problem = "line " + std::to_string(line) + ": " + what;
  return false;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool NumberIn(const std::string& text, int line, int low, int high, int* value) {
  char* end = nullptr;
  long number = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || number < low || number > high)
    return Fail(line, "expected a number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ": " + text);
  *value = static_cast<int>(number);
  return true;
}

// --- notes ----------------------------------------------------------------------------------

// "c4" is middle C (60); accidentals # and b follow the letter.
bool KeyOf(const std::string& text, int line, int* key) {
  static const int steps[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  if (text.empty() || text[0] < 'a' || text[0] > 'g') return Fail(line, "not a note: " + text);
  *key = steps[text[0] - 'a'];
  size_t at = 1;
  for (; at < text.size() && (text[at] == '#' || text[at] == 'b'); ++at)
    *key += text[at] == '#' ? 1 : -1;
  int octave = 0;
  if (!NumberIn(text.substr(at), line, 0, 9, &octave)) return false;
  *key += 12 * (octave + 1);
  return *key >= 0 && *key <= 127 ? true : Fail(line, "note out of range: " + text);
}

// "4" a quarter, "8." a dotted eighth, "8t" an eighth of a triplet.
bool LengthOf(const std::string& text, int line, int* ticks) {
  std::string digits = text;
  double factor = 1;
  if (!digits.empty() && (digits.back() == '.' || digits.back() == 't')) {
    factor = digits.back() == '.' ? 1.5 : 2.0 / 3.0;
    digits.pop_back();
  }
  int division = 0;
  if (!NumberIn(digits, line, 1, 64, &division)) return false;
  if (TicksPerWhole % division != 0) return Fail(line, "no such length: " + text);
  *ticks = static_cast<int>(std::lround(TicksPerWhole / division * factor));
  return true;
}

const std::map<std::string, int>& DrumKeys() {
  static const std::map<std::string, int> keys = {
      {"kick", 36},   {"rim", 37},     {"snare", 38},   {"clap", 39},    {"tomlow", 45},
      {"hat", 42},    {"pedal", 44},   {"open", 46},    {"tommid", 47},  {"crash", 49},
      {"tomhigh", 50}, {"ride", 51},   {"tambourine", 54}, {"cowbell", 56}, {"shaker", 70},
      {"claves", 75}};
  return keys;
}

// One token of a melodic line: "key[+key...][:length][!|?]" or "r[:length]". The length
// carries on from the token before.
bool WriteToken(Voice& voice, std::string body, int tick, int* length, int line) {
  int velocity = voice.velocity;
  if (body.back() == '!' || body.back() == '?') {
    velocity = std::clamp(velocity + (body.back() == '!' ? 20 : -25), 1, 127);
    body.pop_back();
  }
  size_t colon = body.find(':');
  if (colon != std::string::npos && !LengthOf(body.substr(colon + 1), line, length)) return false;
  std::string keys = body.substr(0, colon);
  if (keys == "r") return true;
  int sounding = std::max(1, static_cast<int>(*length * voice.gate));
  std::istringstream chord(keys);
  for (std::string name; std::getline(chord, name, '+');) {
    int key = 0;
    if (!KeyOf(name, line, &key)) return false;
    voice.events.push_back({tick, true, key, velocity});
    voice.events.push_back({tick + sounding, false, key, 0});
  }
  return true;
}

// One melodic line of a pattern from tick start; *used receives the ticks it takes. A "|"
// must fall on a bar line.
bool WriteNotes(Voice& voice, const std::vector<std::string>& tokens, int start, int barTicks,
                int line, int* used) {
  int tick = start, length = TicksPerQuarter;
  for (const std::string& token : tokens) {
    if (token == "|") {
      if ((tick - start) % barTicks != 0) return Fail(line, "bar line in the middle of a bar");
      continue;
    }
    if (!WriteToken(voice, token, tick, &length, line)) return false;
    tick += length;
  }
  *used = tick - start;
  return true;
}

// One drum line: sixteenth steps, repeated until the pattern is full.
bool WriteDrums(Voice& voice, int key, const std::string& steps, int start, int ticks,
                int line) {
  std::string hits;
  for (char c : steps)
    if (c != '|' && c != ' ') hits += c;
  if (hits.empty()) return Fail(line, "no drum steps");
  int step = TicksPerWhole / 16;
  for (int i = 0; i * step < ticks; ++i) {
    char c = hits[i % hits.size()];
    if (c == '.') continue;
    int velocity = c == 'X' ? 120 : c == 'x' ? 96 : c == 'o' ? 60 : -1;
    if (velocity < 0) return Fail(line, std::string("not a drum step: ") + c);
    velocity = std::min(127, velocity * voice.velocity / 96);
    voice.events.push_back({start + i * step, true, key, velocity});
    voice.events.push_back({start + i * step + step / 2, false, key, 0});
  }
  return true;
}

Voice* FindVoice(Score& score, const std::string& name, int line) {
  for (Voice& voice : score.voices)
    if (voice.name == name) return &voice;
  Fail(line, "no such voice: " + name);
  return nullptr;
}

Voice* DrumVoice(Score& score, int line) {
  for (Voice& voice : score.voices)
    if (voice.channel == DrumChannel) return &voice;
  Fail(line, "drums without a voice on channel 10");
  return nullptr;
}

// "drum KEY: STEPS", the key by name or number.
bool WriteDrumLine(Score& score, const std::vector<std::string>& words, int start, int ticks,
                   int line) {
  if (words.size() < 3 || words[1].back() != ':') return Fail(line, "expected: drum KEY: STEPS");
  std::string name = words[1].substr(0, words[1].size() - 1);
  auto known = DrumKeys().find(name);
  int key = known != DrumKeys().end() ? known->second : -1;
  if (key < 0 && !NumberIn(name, line, 0, 127, &key)) return false;
  std::string steps;
  for (size_t i = 2; i < words.size(); ++i) steps += words[i];
  Voice* drums = DrumVoice(score, line);
  return drums != nullptr && WriteDrums(*drums, key, steps, start, ticks, line);
}

// Writes one pattern's lines at tick start; every melodic line fills the pattern exactly.
bool WritePattern(Score& score, const Pattern& pattern, int start) {
  int ticks = pattern.bars * score.BarTicks();
  std::map<std::string, int> filled;
  std::string current;  // the voice a line without a name goes on with
  int line = pattern.firstLine;
  for (const std::string& text : pattern.lines) {
    ++line;
    std::vector<std::string> words = Words(text);
    if (words.empty()) continue;
    if (words[0] == "drum") {
      if (!WriteDrumLine(score, words, start, ticks, line)) return false;
      current.clear();
      continue;
    }
    if (words[0].back() == ':') {
      current = words[0].substr(0, words[0].size() - 1);
      words.erase(words.begin());
    }
    if (current.empty()) return Fail(line, "expected: VOICE: NOTES");
    Voice* voice = FindVoice(score, current, line);
    int used = 0;
    if (voice == nullptr ||
        !WriteNotes(*voice, words, start + filled[current], score.BarTicks(), line, &used))
      return false;
    filled[current] += used;
  }
  for (auto& [name, used] : filled)
    if (used != ticks)
      return Fail(pattern.firstLine, "voice " + name + " fills " + std::to_string(used) +
                                         " of " + std::to_string(ticks) + " ticks");
  return true;
}

// --- the score ------------------------------------------------------------------------------

bool ReadVoiceSetting(Voice& voice, const std::string& key, const std::string& value, int line) {
  struct Setting {
    const char* name;
    int* field;
    int low, high;
  };
  int channel = 0, program = 0, gate = 0;
  const Setting settings[] = {{"channel", &channel, 1, 16},      {"program", &program, 1, 128},
                              {"volume", &voice.volume, 0, 127}, {"pan", &voice.pan, 0, 127},
                              {"reverb", &voice.reverb, 0, 127}, {"chorus", &voice.chorus, 0, 127},
                              {"velocity", &voice.velocity, 1, 127}, {"gate", &gate, 1, 100}};
  for (const Setting& setting : settings) {
    if (key != setting.name) continue;
    if (!NumberIn(value, line, setting.low, setting.high, setting.field)) return false;
    // Channels and programs are counted from 1 in scores, from 0 in the file.
    if (setting.field == &channel) voice.channel = channel - 1;
    if (setting.field == &program) voice.program = program - 1;
    if (setting.field == &gate) voice.gate = gate / 100.0;
    return true;
  }
  return Fail(line, "unknown voice setting: " + key);
}

bool ReadVoice(Score& score, const std::vector<std::string>& words, int line) {
  if (words.size() < 2 || words.size() % 2 != 0)
    return Fail(line, "expected: voice NAME SETTING VALUE...");
  Voice voice;
  voice.name = words[1];
  for (size_t i = 2; i < words.size(); i += 2)
    if (!ReadVoiceSetting(voice, words[i], words[i + 1], line)) return false;
  score.voices.push_back(voice);
  return true;
}

// One line outside the patterns: tempo, meter, voice, the start of a pattern, or the song.
bool ReadStatement(Score& score, const std::vector<std::string>& words, int line,
                   Pattern** open) {
  size_t slash = words.size() == 2 ? words[1].find('/') : std::string::npos;
  int tempo = 0;
  if (words[0] == "tempo" && words.size() == 2) {
    if (!NumberIn(words[1], line, 20, 300, &tempo)) return false;
    score.tempo = tempo;
  } else if (words[0] == "meter" && slash != std::string::npos) {
    return NumberIn(words[1].substr(0, slash), line, 1, 16, &score.beats) &&
           NumberIn(words[1].substr(slash + 1), line, 1, 16, &score.beatUnit);
  } else if (words[0] == "voice") {
    return ReadVoice(score, words, line);
  } else if (words[0] == "pattern" && words.size() == 3) {
    *open = &score.patterns[words[1]];
    **open = Pattern{0, {}, line};
    return NumberIn(words[2], line, 1, 64, &(*open)->bars);
  } else if (words[0] == "song") {
    score.song.insert(score.song.end(), words.begin() + 1, words.end());
  } else {
    return Fail(line, "not understood: " + words[0]);
  }
  return true;
}

bool ReadScore(std::istream& in, Score& score) {
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
    if (!words.empty() && !ReadStatement(score, words, line, &open)) return false;
  }
  if (open != nullptr) return Fail(line, "pattern without end");
  return score.song.empty() ? Fail(line, "no song") : true;
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

// Lays the song's patterns end to end and writes the whole file into *file.
bool BuildMidi(Score& score, std::vector<uint8_t>* file) {
  int tick = 0;
  for (const std::string& name : score.song) {
    auto pattern = score.patterns.find(name);
    if (pattern == score.patterns.end()) return Fail(0, "the song names no pattern " + name);
    if (!WritePattern(score, pattern->second, tick)) return false;
    tick += pattern->second.bars * score.BarTicks();
  }
  uint16_t tracks = static_cast<uint16_t>(score.voices.size() + 1);
  PutChunk(*file, "MThd", {0, 1, uint8_t(tracks >> 8), uint8_t(tracks), TicksPerQuarter >> 8,
                           TicksPerQuarter & 0xFF});
  PutChunk(*file, "MTrk", ConductorTrack(score, tick));
  for (Voice& voice : score.voices) PutChunk(*file, "MTrk", VoiceTrack(voice, tick));
  double seconds = tick / static_cast<double>(TicksPerQuarter) * 60.0 / score.tempo;
  fprintf(stderr, "torvex-make-midi: %d bars, %.2f seconds\n", tick / score.BarTicks(), seconds);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-make-midi")) return 0;
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    printf("usage: torvex-make-midi SCORE OUTPUT.MID\n");
    return 0;
  }
  if (argc != 3) {
    fprintf(stderr, "usage: torvex-make-midi SCORE OUTPUT.MID\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    fprintf(stderr, "torvex-make-midi: cannot read %s\n", argv[1]);
    return 1;
  }
  Score score;
  std::vector<uint8_t> file;
  if (!ReadScore(in, score) || !BuildMidi(score, &file)) {
    fprintf(stderr, "torvex-make-midi: %s: %s\n", argv[1], Problem.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out.flush()) {
    fprintf(stderr, "torvex-make-midi: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
