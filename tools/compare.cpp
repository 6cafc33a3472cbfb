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
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/asset_tool.h"
#include "torvex_version.h"

namespace {

// ---------------------------------------------------------------------------------------
// Result files, read through a JSON library and checked before anything uses them.

using Json = nlohmann::json;

// A result is about 2 KB; anything far larger is not one, and reading it would only cost memory.
constexpr int64_t MaxResultBytes = 1 << 20;
// Results side by side: the table and the chart stay readable, the chart a few thousand pixels.
constexpr size_t MaxResults = 12;
// Nothing in a result nests deeper than three levels.
constexpr int MaxDepth = 16;

// The value under key, or null where the object or the key is missing.
const Json& At(const Json& object, const char* key) {
  static const Json none;
  if (!object.is_object()) return none;
  auto found = object.find(key);
  return found != object.end() ? *found : none;
}

double NumberAt(const Json& object, const char* key) {
  const Json& v = At(object, key);
  return v.is_number() ? v.get<double>() : 0.0;
}

// The deepest nesting of brackets outside strings, counted before parsing so that no parser
// ever meets a file nested a million deep.
int NestingDepth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '{' || c == '[') deepest = std::max(deepest, ++depth);
    else if (c == '}' || c == ']') --depth;
  }
  return deepest;
}

// A number the result may hold: finite and not negative (times, counts and rates all are).
bool CheckNumber(const Json& v, bool nullAllowed, const std::string& where, std::string& why) {
  if (v.is_null() && nullAllowed) return true;
  if (!v.is_number()) {
    why = where + " is not a number";
    return false;
  }
  double d = v.get<double>();
  if (!std::isfinite(d) || d < 0) {
    why = where + " is not a number from 0 up";
    return false;
  }
  return true;
}

// The keys this tool reads, each of the type the runner writes.
bool CheckResult(const Json& r, std::string& why) {
  if (!r.is_object() || !At(r, "schema").is_number_integer() || At(r, "schema").get<int64_t>() != 1) {
    why = "not a torvex32-bench result of schema 1";
    return false;
  }
  if (!CheckNumber(At(r, "rate_per_10s"), false, "rate_per_10s", why)) return false;
  for (const char* key : {"frames", "elapsed_ms", "frame_ns", "viewport_ns", "sprites_ns",
                          "present_ns", "frame_ns_p99", "frame_ns_max", "cpu_ns_per_frame",
                          "switches_per_frame"})
    if (!CheckNumber(At(r, key), true, key, why)) return false;
  const Json& stats = At(r, "stats");
  if (!stats.is_null() && !stats.is_object()) {
    why = "stats is not an object";
    return false;
  }
  for (const char* key : {"mean", "median", "stddev", "cv"})
    if (!CheckNumber(At(stats, key), true, std::string("stats.") + key, why)) return false;
  const Json& complete = At(r, "complete");
  if (!complete.is_null() && !complete.is_boolean()) {
    why = "complete is not true or false";
    return false;
  }
  const Json& runs = At(r, "runs");
  if (!runs.is_null() && !runs.is_array()) {
    why = "runs is not a list";
    return false;
  }
  for (size_t i = 0; runs.is_array() && i < runs.size(); ++i) {
    std::string where = "runs[" + std::to_string(i) + "]";
    if (!runs[i].is_object()) {
      why = where + " is not an object";
      return false;
    }
    if (!CheckNumber(At(runs[i], "rate_per_10s"), false, where + ".rate_per_10s", why))
      return false;
    if (!At(runs[i], "complete").is_null() && !At(runs[i], "complete").is_boolean()) {
      why = where + ".complete is not true or false";
      return false;
    }
  }
  const Json& environment = At(r, "environment");
  if (!environment.is_null() && !environment.is_object()) {
    why = "environment is not an object";
    return false;
  }
  if (environment.is_object()) {
    for (const auto& item : environment.items()) {
      if (item.value().is_structured()) {
        why = "environment." + item.key() + " is not a plain value";
        return false;
      }
    }
  }
  return true;
}

// The library's tree builder, with its error kept as a reason instead of thrown.
struct DomWithReason : nlohmann::detail::json_sax_dom_parser<Json> {
  explicit DomWithReason(Json& root) : json_sax_dom_parser(root, false) {}
  bool failed = false;
  std::string reason;
  template <class Exception>
  bool parse_error(size_t, const std::string&, const Exception& error) {
    failed = true;
    // "[json.exception.parse_error.101] parse error at line 1, column 9: syntax error ...":
    // the part after the position, in printable characters (the file's own bytes may follow).
    std::string text = error.what();
    size_t colon = text.find(": ");
    if (colon != std::string::npos) text = text.substr(colon + 2);
    else if (text.rfind('[', 0) == 0 && text.find("] ") != std::string::npos)
      text = text.substr(text.find("] ") + 2);
    for (unsigned char ch : text) reason += ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
    return false;
  }
};

// A result file, read and checked: schema 1 with a rate, every key read of its type.
bool ReadResult(const std::string& path, Json& result, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = path + ": cannot be read";
    return false;
  }
  std::string s(static_cast<size_t>(MaxResultBytes) + 1, '\0');
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  s.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) {
    why = path + ": cannot be read";
    return false;
  }
  if (static_cast<int64_t>(s.size()) > MaxResultBytes) {
    why = path + ": larger than " + std::to_string(MaxResultBytes) + " bytes, not a result";
    return false;
  }
  // A byte-order mark, as some editors write, is no part of the JSON.
  if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
  if (NestingDepth(s) > MaxDepth) {
    why = path + ": nested deeper than " + std::to_string(MaxDepth) + " levels, not a result";
    return false;
  }
  // The library's error says where and what; nothing else of it (NaN, hex numbers, a NUL byte,
  // bad UTF-8, a number too large) is JSON.
  Json parsed;
  DomWithReason builder(parsed);
  if (!Json::sax_parse(s, &builder) || builder.failed) {
    why = path + ": not valid JSON (" + builder.reason + ")";
    return false;
  }
  if (!CheckResult(parsed, why)) {
    why = path + ": " + why;
    return false;
  }
  result = std::move(parsed);
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
  return row.object[0] != 0 ? At(At(result, row.object), row.key) : At(result, row.key);
}

std::string Format(const Json& v, int decimals) {
  char text[64];
  if (v.is_number()) {
    snprintf(text, sizeof text, "%.*f", decimals, v.get<double>());
    return text;
  }
  if (v.is_string()) return v.get<std::string>();
  if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
  return "-";
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
      if (v.is_number() && base.is_number() && base.get<double>() != 0)
        printf("%*.2f", RelativeWidth, v.get<double>() / base.get<double>());
      else
        printf("%*s", RelativeWidth, "-");
    }
    printf("\n");
  }
  printf("%-*s", LabelWidth, "complete");
  for (size_t i = 0; i < results.size(); ++i)
    printf("%*s%*s", ValueWidth, Format(At(results[i], "complete"), 0).c_str(),
           i > 0 ? RelativeWidth : 0, "");
  printf("\n\n");
  // The machine: one line where every result agrees, one line per result where they differ.
  for (const char* key : EnvironmentRows) {
    std::string first = Format(At(At(results[0], "environment"), key), 0);
    bool same = true;
    for (const Json& r : results) same = same && Format(At(At(r, "environment"), key), 0) == first;
    if (same) {
      printf("%-*s%s\n", LabelWidth, key, first.c_str());
      continue;
    }
    for (size_t i = 0; i < results.size(); ++i)
      printf("%-*s%zu: %s\n", LabelWidth, i == 0 ? key : "", i + 1,
             Format(At(At(results[i], "environment"), key), 0).c_str());
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
constexpr int PlotTop = 72;      // highest bar top
constexpr int PlotBottom = 400;  // bars stand on this row (exclusive)
constexpr int SlotWidth = 112;   // per result, in each panel
constexpr int BarWidth = 88;     // a label of five characters fits inside
constexpr int PanelGap = 64;
constexpr int Margin = 32;
constexpr int AxisRoom = 80;     // left of the rate panel: tick labels of up to four characters
constexpr int Glyph = 16;        // the font's cell
constexpr int LineHeight = 20;
constexpr int MinChartWidth = 768;  // room for a footnote line of 44 characters

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
      x += Glyph;
    }
  }
};

int Height(double value, double top) {
  if (top <= 0 || !(value > 0)) return 0;
  return static_cast<int>(std::lround(value / top * (PlotBottom - PlotTop)));
}

// A value in at most five characters: 80000, 125k, 1.5M.
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

// A round step for about five ticks up to top: 1, 2 or 5 times a power of ten.
double TickStep(double top) {
  double raw = top / 5, power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

// The spread of one result's runs: the lowest and highest rates of its complete runs.
void Spread(const Json& result, double& low, double& high) {
  low = high = NumberAt(result, "rate_per_10s");
  const Json& runs = At(result, "runs");
  for (size_t i = 0; runs.is_array() && i < runs.size(); ++i) {
    if (At(runs[i], "complete").is_boolean() && !At(runs[i], "complete").get<bool>()) continue;
    low = std::min(low, NumberAt(runs[i], "rate_per_10s"));
    high = std::max(high, NumberAt(runs[i], "rate_per_10s"));
  }
}

// A whisker from y0 up to y1 (y1 <= y0) with caps, left open over the rows of a label.
void Whisker(Canvas& c, int centre, int y1, int y0, int gapTop, int gapBottom) {
  for (int y = y1; y <= y0; ++y)
    if (y < gapTop || y >= gapBottom) c.Fill(centre - 1, y, centre + 1, y + 1, White);
  c.Fill(centre - 8, y1, centre + 8, y1 + 1, White);
  c.Fill(centre - 8, y0, centre + 8, y0 + 1, White);
}

// The rates: a bar for each result's median up an axis of frames per ten seconds, its value at
// the bar's top, and a whisker from the slowest to the fastest run.
void DrawRates(Canvas& c, const Font& font, const std::vector<Json>& results, int left) {
  double top = 0;
  for (const Json& r : results) {
    double low, high;
    Spread(r, low, high);
    top = std::max(top, high);
  }
  int axis = left + AxisRoom, right = axis + SlotWidth * static_cast<int>(results.size());
  font.Text(c, left, 16, "frames per 10 s");
  // The axis and its ticks, with the scale rounded up to the last tick.
  if (top > 0) {
    double step = TickStep(top);
    top = std::ceil(top / step) * step;
    for (double v = 0; v <= top * (1 + 1e-9); v += step) {
      int y = PlotBottom - Height(v, top);
      c.Fill(axis - 6, y, axis, y + 1, Grey);
      std::string label = Short(v);
      font.Text(c, axis - 8 - Glyph * static_cast<int>(label.size()), y - 8, label);
    }
  }
  c.Fill(axis, PlotTop, axis + 1, PlotBottom, Grey);
  c.Fill(axis, PlotBottom, right, PlotBottom + 1, Grey);
  for (size_t i = 0; i < results.size(); ++i) {
    int x = axis + static_cast<int>(i) * SlotWidth + (SlotWidth - BarWidth) / 2;
    double rate = NumberAt(results[i], "rate_per_10s"), low, high;
    Spread(results[i], low, high);
    int barTop = PlotBottom - Height(rate, top);
    c.Fill(x, barTop, x + BarWidth, PlotBottom, BarColours[i % 6]);
    int centre = x + BarWidth / 2;
    std::string label = Short(rate);
    int labelX = centre - Glyph / 2 * static_cast<int>(label.size());
    // The value inside the bar at its top; above it where the bar is too short to hold it.
    int labelY = PlotBottom - barTop >= 24 ? barTop + 4 : barTop - 20;
    Whisker(c, centre, PlotBottom - Height(high, top), PlotBottom - Height(low, top), labelY,
            labelY + Glyph);
    font.Text(c, labelX, labelY, label);
    font.Text(c, centre - 8, PlotBottom + 8, std::to_string(i + 1));
  }
}

void DrawStages(Canvas& c, const Font& font, const std::vector<Json>& results, int left) {
  double top = 0;
  for (const Json& r : results) {
    double total = 0;
    for (const char* key : StageKeys) total += NumberAt(r, key);
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
      total += NumberAt(results[i], StageKeys[s]);
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

// Rows of the legend below the panels: the results on the left, the keys on the right.
constexpr int LegendTop = PlotBottom + 32;
constexpr int KeyRows = 5;  // three stages, the bar, the whisker

int LegendRows(size_t results) { return std::max<int>(KeyRows, static_cast<int>(results)); }

void DrawLegend(Canvas& c, const Font& font, const std::vector<std::string>& names, int stagesLeft) {
  for (int s = 0; s < 3; ++s) {
    int y = LegendTop + LineHeight * s;
    c.Fill(stagesLeft, y + 2, stagesLeft + 12, y + 14, StageColours[s]);
    font.Text(c, stagesLeft + 16, y, StageNames[s]);
  }
  int room = std::max(1, (c.width - stagesLeft - Margin - 16) / Glyph);
  int y = LegendTop + LineHeight * 3;
  c.Fill(stagesLeft, y + 2, stagesLeft + 12, y + 14, Grey);
  font.Text(c, stagesLeft + 16, y, std::string("bar: median run").substr(0, room));
  y += LineHeight;
  Whisker(c, stagesLeft + 6, y + 1, y + 14, 0, 0);
  font.Text(c, stagesLeft + 16, y, std::string("slowest-fastest run").substr(0, room));
  room = std::max(1, (stagesLeft - Margin - 48) / Glyph);
  for (size_t i = 0; i < names.size(); ++i) {
    int row = LegendTop + LineHeight * static_cast<int>(i);
    c.Fill(Margin, row + 2, Margin + 12, row + 14, BarColours[i % 6]);
    font.Text(c, Margin + 16, row, (std::to_string(i + 1) + " " + names[i]).substr(0, room));
  }
}

// Where each result was measured, two lines each: the processor; the date and display server.
constexpr int FootnoteLines = 2;

std::string EnvironmentText(const Json& result, const char* key) {
  const Json& v = At(At(result, "environment"), key);
  return v.is_string() ? v.get<std::string>() : "unknown";
}

// Only what the font can draw: printable ASCII.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char ch : text) out += ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
  return out;
}

void DrawFootnote(Canvas& c, const Font& font, const std::vector<Json>& results, int top) {
  c.Fill(Margin, top - 8, c.width - Margin, top - 7, Grey);
  int room = std::max(1, (c.width - 2 * Margin) / Glyph);
  for (size_t i = 0; i < results.size(); ++i) {
    int y = top + LineHeight * FootnoteLines * static_cast<int>(i);
    std::string date = EnvironmentText(results[i], "date").substr(0, 10);
    std::string first = std::to_string(i + 1) + " " + EnvironmentText(results[i], "cpu_model");
    // The date first: a long display server's name is what the width cuts.
    std::string second = "  " + date + ", display " + EnvironmentText(results[i], "display_server");
    font.Text(c, Margin, y, Printable(first).substr(0, room));
    font.Text(c, Margin, y + LineHeight, Printable(second).substr(0, room));
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
  int stagesLeft = Margin + AxisRoom + std::max(panel, 192) + PanelGap;
  int legendBottom = LegendTop + LineHeight * LegendRows(results.size());
  int footnoteTop = legendBottom + 24;
  int height = footnoteTop + LineHeight * FootnoteLines * static_cast<int>(results.size()) + 12;
  Canvas c{std::max(stagesLeft + std::max(panel, 304) + Margin, MinChartWidth), height, {}};
  c.pixels.assign(static_cast<size_t>(c.width) * c.height, Black);
  DrawRates(c, font, results, Margin);
  DrawStages(c, font, results, stagesLeft);
  std::vector<std::string> names;
  for (const std::string& p : paths) names.push_back(Printable(LegendName(p)));
  DrawLegend(c, font, names, stagesLeft);
  DrawFootnote(c, font, results, footnoteTop);
  return WritePalettePng(out, c.width, c.height, c.pixels, why);
}

// The chart must not take the place of a result: "--png a.json b.json", with the chart's name
// forgotten, would otherwise overwrite a.json. A file already there is replaced only if it is
// a PNG (an earlier chart).
bool CheckChartPath(const std::string& png, const std::vector<std::string>& paths,
                    std::string& why) {
  for (const std::string& path : paths) {
    if (SameFile(png.c_str(), path.c_str())) {
      why = png + ": is also a result to compare";
      return false;
    }
  }
  if (png.size() >= 5 && png.compare(png.size() - 5, 5, ".json") == 0) {
    why = png + ": a chart is a PNG, not a .json file (was its name forgotten?)";
    return false;
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(png, error) && std::filesystem::file_size(png, error) > 0) {
    std::ifstream in(png, std::ios::binary);
    char signature[8] = {};
    in.read(signature, sizeof signature);
    if (memcmp(signature, "\x89PNG\r\n\x1a\n", 8) != 0) {
      why = png + ": exists and is not a PNG; it is left alone";
      return false;
    }
  }
  return true;
}

void Usage(FILE* out) {
  fprintf(out,
          "usage: torvex-compare [--png CHART.png] [--font FONT.ZGL] RESULT.json RESULT.json...\n"
          "Puts results of torvex32-bench --output side by side: one column per result, and\n"
          "after every column but the first its ratio to the first (rel). --png also draws a\n"
          "chart: the rates with the runs' spread, and the stages of a frame stacked.\n"
          "At most 12 results of at most 1 MB each.\n");
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
  if (paths.size() > MaxResults) {
    fprintf(stderr, "torvex-compare: %zu result files: at most %zu side by side\n", paths.size(),
            MaxResults);
    return 2;
  }
  std::string why;
  if (!png.empty() && !CheckChartPath(png, paths, why)) {
    fprintf(stderr, "torvex-compare: --png %s\n", why.c_str());
    return 2;
  }
  std::vector<Json> results(paths.size());
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
