// compare.cpp — torvex-compare: puts result files of torvex32-bench side by side, one column per
// result with a relative column after every one but the first, and with --png draws a chart of
// them (bars of the rate with whiskers for the runs' spread, and the stages of a frame stacked)
// in the frame palette with the program's own font, so that no plotting stack is needed.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/asset_tool.h"
#include "torvex_version.h"

namespace {

// ---------------------------------------------------------------------------------------
// Just enough JSON for result files: objects, arrays, strings, numbers, true, false, null.

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const {
    static const Json none;
    auto found = fields.find(key);
    return found != fields.end() ? found->second : none;
  }
};

struct JsonReader {
  const std::string& s;
  size_t at = 0;
  int depth = 0;

  void Space() {
    while (at < s.size() && strchr(" \t\r\n", s[at]) != nullptr) ++at;
  }
  bool Literal(const char* word) {
    size_t n = strlen(word);
    if (s.compare(at, n, word) != 0) return false;
    at += n;
    return true;
  }
  bool String(std::string& out) {
    if (at >= s.size() || s[at] != '"') return false;
    for (++at; at < s.size() && s[at] != '"'; ++at) {
      if (s[at] != '\\') {
        out += s[at];
        continue;
      }
      if (++at >= s.size()) return false;
      char c = s[at];
      if (c == 'u') {
        if (at + 4 >= s.size()) return false;
        long code = strtol(s.substr(at + 1, 4).c_str(), nullptr, 16);
        out += code < 0x80 ? static_cast<char>(code) : '?';
        at += 4;
      } else {
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'b' ? '\b' : c == 'f' ? '\f' : c;
      }
    }
    if (at >= s.size()) return false;
    ++at;
    return true;
  }
  bool Value(Json& v) {
    if (++depth > 64) return false;  // nothing in a result nests deeper
    Space();
    bool ok = ValueBody(v);
    --depth;
    return ok;
  }
  bool ValueBody(Json& v) {
    if (at >= s.size()) return false;
    char c = s[at];
    if (c == '{') return Members(v);
    if (c == '[') return Items(v);
    if (c == '"') {
      v.kind = Json::String;
      return String(v.text);
    }
    bool isTrue = Literal("true");
    if (isTrue || Literal("false")) {
      v.kind = Json::Bool;
      v.number = isTrue ? 1 : 0;
      return true;
    }
    if (Literal("null")) return true;
    char* end = nullptr;
    v.number = strtod(s.c_str() + at, &end);
    if (end == s.c_str() + at) return false;
    v.kind = Json::Number;
    at = static_cast<size_t>(end - s.c_str());
    return true;
  }
  bool Members(Json& v) {
    v.kind = Json::Object;
    ++at;
    Space();
    if (at < s.size() && s[at] == '}') return ++at, true;
    for (;;) {
      Space();
      std::string key;
      if (!String(key)) return false;
      Space();
      if (at >= s.size() || s[at++] != ':') return false;
      if (!Value(v.fields[key])) return false;
      Space();
      if (at < s.size() && s[at] == ',') {
        ++at;
        continue;
      }
      return at < s.size() && s[at++] == '}';
    }
  }
  bool Items(Json& v) {
    v.kind = Json::Array;
    ++at;
    Space();
    if (at < s.size() && s[at] == ']') return ++at, true;
    for (;;) {
      v.items.emplace_back();
      if (!Value(v.items.back())) return false;
      Space();
      if (at < s.size() && s[at] == ',') {
        ++at;
        continue;
      }
      return at < s.size() && s[at++] == ']';
    }
  }
};

// A result file, checked: schema 1 with a rate.
bool ReadResult(const std::string& path, Json& result, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = path + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  JsonReader reader{s};
  if (!reader.Value(result) || (reader.Space(), reader.at != s.size()) ||
      result.kind != Json::Object) {
    why = path + ": not a JSON object (at byte " + std::to_string(reader.at) + ")";
    return false;
  }
  if (result["schema"].kind != Json::Number || result["schema"].number != 1 ||
      result["rate_per_10s"].kind != Json::Number) {
    why = path + ": not a torvex32-bench result of schema 1";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// The table.

struct Row {
  const char* label;
  const char* object;  // "" for the top level
  const char* key;
  int decimals;
  bool higherIsBetter;
};

const Row NumberRows[] = {
    {"rate (frames/10s)", "", "rate_per_10s", 1, true},
    {"mean", "stats", "mean", 1, true},
    {"median", "stats", "median", 1, true},
    {"stddev", "stats", "stddev", 1, false},
    {"cv", "stats", "cv", 4, false},
    {"frames", "", "frames", 0, true},
    {"elapsed ms", "", "elapsed_ms", 0, true},
    {"frame ns (median)", "", "frame_ns", 0, false},
    {"  viewport ns", "", "viewport_ns", 0, false},
    {"  sprites ns", "", "sprites_ns", 0, false},
    {"  present ns", "", "present_ns", 0, false},
    {"frame ns p99", "", "frame_ns_p99", 0, false},
    {"frame ns max", "", "frame_ns_max", 0, false},
    {"cpu ns/frame", "", "cpu_ns_per_frame", 0, false},
    {"switches/frame", "", "switches_per_frame", 4, false},
};

const char* const EnvironmentRows[] = {
    "version",      "commit",       "build_type",     "compiler",      "cpu_model",
    "cores",        "kernel",       "sdl_version",    "video_driver",  "audio_driver",
    "present_path", "display_server", "screen",       "music_opened",  "effect_opened",
    "date"};

const Json& Field(const Json& result, const Row& row) {
  return row.object[0] != 0 ? result[row.object][row.key] : result[row.key];
}

std::string Format(const Json& v, int decimals) {
  char text[64];
  switch (v.kind) {
    case Json::Number: snprintf(text, sizeof text, "%.*f", decimals, v.number); return text;
    case Json::String: return v.text;
    case Json::Bool: return v.number != 0 ? "true" : "false";
    default: return "-";
  }
}

constexpr int LabelWidth = 20;
constexpr int ValueWidth = 16;
constexpr int RelativeWidth = 8;

void PrintTable(const std::vector<std::string>& paths, const std::vector<Json>& results) {
  for (size_t i = 0; i < paths.size(); ++i) printf("%zu: %s\n", i + 1, paths[i].c_str());
  printf("\n%-*s", LabelWidth, "");
  for (size_t i = 0; i < results.size(); ++i) {
    printf("%*zu", ValueWidth, i + 1);
    if (i > 0) printf("%*s", RelativeWidth, "rel");
  }
  printf("\n");
  for (const Row& row : NumberRows) {
    printf("%-*s", LabelWidth, row.label);
    const Json& base = Field(results[0], row);
    for (size_t i = 0; i < results.size(); ++i) {
      const Json& v = Field(results[i], row);
      printf("%*s", ValueWidth, Format(v, row.decimals).c_str());
      if (i == 0) continue;
      // Relative to the first result: above 1 means more of the quantity, as x11perfcomp.
      if (v.kind == Json::Number && base.kind == Json::Number && base.number != 0)
        printf("%*.2f", RelativeWidth, v.number / base.number);
      else
        printf("%*s", RelativeWidth, "-");
    }
    printf("\n");
  }
  printf("%-*s", LabelWidth, "complete");
  for (size_t i = 0; i < results.size(); ++i)
    printf("%*s%*s", ValueWidth, Format(results[i]["complete"], 0).c_str(),
           i > 0 ? RelativeWidth : 0, "");
  printf("\n\n");
  // The machine: one line where every result agrees, one line per result where they differ.
  for (const char* key : EnvironmentRows) {
    std::string first = Format(results[0]["environment"][key], 0);
    bool same = true;
    for (const Json& r : results) same = same && Format(r["environment"][key], 0) == first;
    if (same) {
      printf("%-*s%s\n", LabelWidth, key, first.c_str());
      continue;
    }
    for (size_t i = 0; i < results.size(); ++i)
      printf("%-*s%zu: %s\n", LabelWidth, i == 0 ? key : "", i + 1,
             Format(results[i]["environment"][key], 0).c_str());
  }
}

// ---------------------------------------------------------------------------------------
// The chart, in frame palette indices (index 20 + 36r + 6g + b has the levels r, g, b of 0..5).

constexpr uint8_t Cube(int r, int g, int b) { return static_cast<uint8_t>(20 + 36 * r + 6 * g + b); }
constexpr uint8_t Black = Cube(0, 0, 0);
constexpr uint8_t White = Cube(5, 5, 5);
constexpr uint8_t Grey = Cube(2, 2, 2);
constexpr uint8_t BarColours[] = {Cube(1, 3, 5), Cube(5, 3, 0), Cube(1, 4, 1), Cube(5, 1, 2),
                                  Cube(3, 2, 5), Cube(0, 4, 4)};
constexpr uint8_t StageColours[] = {Cube(0, 3, 5), Cube(5, 5, 0), Cube(5, 1, 1)};
const char* const StageKeys[] = {"viewport_ns", "sprites_ns", "present_ns"};
const char* const StageNames[] = {"viewport", "sprites", "present"};

// The chart's layout; the tests measure bars against it.
constexpr int ChartHeight = 512;
constexpr int PlotTop = 72;      // highest bar top
constexpr int PlotBottom = 400;  // bars stand on this row (exclusive)
constexpr int SlotWidth = 96;    // per result, in each panel
constexpr int BarWidth = 48;
constexpr int PanelGap = 64;
constexpr int LeftMargin = 32;

struct Canvas {
  int width, height;
  std::vector<uint8_t> pixels;
  void Fill(int x0, int y0, int x1, int y1, uint8_t colour) {
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width, x1); ++x)
        pixels[static_cast<size_t>(y) * width + x] = colour;
  }
};

struct Font {
  std::vector<uint8_t> glyphs;  // 256 bytes per code, from code 0
  void Text(Canvas& c, int x, int y, const std::string& text) const {
    for (unsigned char ch : text) {
      size_t base = static_cast<size_t>(ch) * 256;
      if (base + 256 <= glyphs.size()) {
        for (int p = 0; p < 256; ++p) {
          uint8_t v = glyphs[base + p];
          int px = x + p % 16, py = y + p / 16;
          if (v != 0 && px >= 0 && px < c.width && py >= 0 && py < c.height)
            c.pixels[static_cast<size_t>(py) * c.width + px] = v;
        }
      }
      x += 16;
    }
  }
};

int Height(double value, double top) {
  if (top <= 0 || !(value > 0)) return 0;
  return static_cast<int>(std::lround(value / top * (PlotBottom - PlotTop)));
}

std::string Short(double value) {
  char text[32];
  if (value >= 1e6)
    snprintf(text, sizeof text, "%.1fM", value / 1e6);
  else if (value >= 1e5)
    snprintf(text, sizeof text, "%.0fk", value / 1e3);
  else
    snprintf(text, sizeof text, "%.0f", value);
  return text;
}

// The spread of one result's runs: the lowest and highest run rates.
void Spread(const Json& result, double& low, double& high) {
  low = high = result["rate_per_10s"].number;
  for (const Json& run : result["runs"].items) {
    if (run["complete"].kind == Json::Bool && run["complete"].number == 0) continue;
    low = std::min(low, run["rate_per_10s"].number);
    high = std::max(high, run["rate_per_10s"].number);
  }
}

void DrawRates(Canvas& c, const Font& font, const std::vector<Json>& results, int left) {
  double top = 0;
  for (const Json& r : results) {
    double low, high;
    Spread(r, low, high);
    top = std::max(top, high);
  }
  font.Text(c, left, 16, "frames/10s");
  c.Fill(left, PlotBottom, left + SlotWidth * static_cast<int>(results.size()), PlotBottom + 1, Grey);
  for (size_t i = 0; i < results.size(); ++i) {
    int x = left + static_cast<int>(i) * SlotWidth + (SlotWidth - BarWidth) / 2;
    double rate = results[i]["rate_per_10s"].number, low, high;
    Spread(results[i], low, high);
    c.Fill(x, PlotBottom - Height(rate, top), x + BarWidth, PlotBottom, BarColours[i % 6]);
    // The whisker: from the slowest to the fastest run, with caps.
    int centre = x + BarWidth / 2, yLow = PlotBottom - Height(low, top),
        yHigh = PlotBottom - Height(high, top);
    c.Fill(centre - 1, yHigh, centre + 1, yLow + 1, White);
    c.Fill(centre - 8, yHigh, centre + 8, yHigh + 1, White);
    c.Fill(centre - 8, yLow, centre + 8, yLow + 1, White);
    std::string label = Short(rate);
    font.Text(c, centre - 8 * static_cast<int>(label.size()), yHigh - 20, label);
    font.Text(c, centre - 8, PlotBottom + 8, std::to_string(i + 1));
  }
}

void DrawStages(Canvas& c, const Font& font, const std::vector<Json>& results, int left) {
  double top = 0;
  for (const Json& r : results) {
    double total = 0;
    for (const char* key : StageKeys) total += r[key].number;
    top = std::max(top, total);
  }
  font.Text(c, left, 16, "ns per frame");
  c.Fill(left, PlotBottom, left + SlotWidth * static_cast<int>(results.size()), PlotBottom + 1, Grey);
  for (size_t i = 0; i < results.size(); ++i) {
    int x = left + static_cast<int>(i) * SlotWidth + (SlotWidth - BarWidth) / 2;
    // Each stage from the running total's height to the new total's, so rounding never
    // leaves a gap or overlap between stages.
    double total = 0;
    for (int s = 0; s < 3; ++s) {
      int y0 = PlotBottom - Height(total, top);
      total += results[i][StageKeys[s]].number;
      int y1 = PlotBottom - Height(total, top);
      c.Fill(x, y1, x + BarWidth, y0, StageColours[s]);
    }
    std::string label = Short(total);
    int centre = x + BarWidth / 2;
    font.Text(c, centre - 8 * static_cast<int>(label.size()), PlotBottom - Height(total, top) - 20,
              label);
    font.Text(c, centre - 8, PlotBottom + 8, std::to_string(i + 1));
  }
}

void DrawLegend(Canvas& c, const Font& font, const std::vector<std::string>& names, int stagesLeft) {
  for (int s = 0; s < 3; ++s) {
    int y = PlotBottom + 32 + 20 * s;
    c.Fill(stagesLeft, y + 2, stagesLeft + 12, y + 14, StageColours[s]);
    font.Text(c, stagesLeft + 16, y, StageNames[s]);
  }
  for (size_t i = 0; i < names.size() && i < 4; ++i) {
    int y = PlotBottom + 32 + 20 * static_cast<int>(i);
    c.Fill(LeftMargin, y + 2, LeftMargin + 12, y + 14, BarColours[i % 6]);
    int room = std::max(1, (stagesLeft - LeftMargin - 48) / 16);
    font.Text(c, LeftMargin + 16, y, (std::to_string(i + 1) + " " + names[i]).substr(0, room));
  }
}

// The result's name in the legend: its file name without folders and ".json".
std::string LegendName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) name.resize(name.size() - 5);
  return name;
}

bool LoadFont(const std::string& path, Font& font, std::string& why) {
  AssetData asset;
  if (!LoadAsset(path, asset, why) || asset.kind != AssetKind::Font) {
    why = path + ": " + (why.empty() ? "not a font file" : why);
    return false;
  }
  font.glyphs = asset.bytes;
  return true;
}

// The font as the benchmark finds its data (FindDataFile), from the program's own file.
std::string DefaultFontPath() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "TORVEX32.ZGL";
  std::string path(self, static_cast<size_t>(n));
  std::string dir = path.substr(0, path.find_last_of('/') + 1);
  char font[PATH_MAX];
  if (!FindDataFile(font, sizeof font, dir.c_str(), "TORVEX32.ZGL")) return dir + "TORVEX32.ZGL";
  return font;
}

bool DrawChart(const std::string& out, const std::string& fontPath,
               const std::vector<std::string>& paths, const std::vector<Json>& results,
               std::string& why) {
  Font font;
  if (!LoadFont(fontPath, font, why)) return false;
  int panel = SlotWidth * static_cast<int>(results.size());
  int stagesLeft = LeftMargin + std::max(panel, 192) + PanelGap;
  Canvas c{std::max(stagesLeft + std::max(panel, 208) + LeftMargin, 512), ChartHeight, {}};
  c.pixels.assign(static_cast<size_t>(c.width) * c.height, Black);
  DrawRates(c, font, results, LeftMargin);
  DrawStages(c, font, results, stagesLeft);
  std::vector<std::string> names;
  for (const std::string& p : paths) names.push_back(LegendName(p));
  DrawLegend(c, font, names, stagesLeft);
  return WritePalettePng(out, c.width, c.height, c.pixels, why);
}

void Usage(FILE* out) {
  fprintf(out,
          "usage: torvex-compare [--png CHART.png] [--font FONT.ZGL] RESULT.json RESULT.json...\n"
          "Puts results of torvex32-bench --output side by side: one column per result, and\n"
          "after every column but the first its ratio to the first (rel). --png also draws a\n"
          "chart: the rates with the runs' spread, and the stages of a frame stacked.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-compare")) return 0;
  std::string png, fontPath = DefaultFontPath();
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    size_t equals = arg.find('=');
    std::string name = arg.rfind("--", 0) == 0 ? arg.substr(0, equals) : arg;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (name == "--png" || name == "--font") {
      std::string value = equals != std::string::npos ? arg.substr(equals + 1)
                          : i + 1 < argc              ? argv[++i]
                                                      : "";
      if (value.empty()) {
        fprintf(stderr, "torvex-compare: %s: needs a file name\n", name.c_str());
        return 2;
      }
      (name == "--png" ? png : fontPath) = value;
    } else if (arg.rfind("--", 0) == 0) {
      fprintf(stderr, "torvex-compare: %s: unknown option\n", name.c_str());
      Usage(stderr);
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    fprintf(stderr, "torvex-compare: no result files given\n");
    Usage(stderr);
    return 2;
  }
  std::vector<Json> results(paths.size());
  std::string why;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!ReadResult(paths[i], results[i], why)) {
      fprintf(stderr, "torvex-compare: %s\n", why.c_str());
      return 1;
    }
  }
  PrintTable(paths, results);
  if (!png.empty() && !DrawChart(png, fontPath, paths, results, why)) {
    fprintf(stderr, "torvex-compare: %s\n", why.c_str());
    return 1;
  }
  return 0;
}
