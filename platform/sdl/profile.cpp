// profile.cpp — private profile (initialisation) files: "[Section]" lines and "key=value"
// lines, names compared without case. Writing changes only the one line of the key (or adds
// it, or its section) and keeps every other byte of the file, comments included; the new file
// replaces the old one in a single rename, so a crash leaves either the old or the new file.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace {

struct Line {
  size_t begin, end;  // the line's text in the file, without its line break
};

// The blanks the system drops around names and values: the ASCII ones and the end-of-file mark.
bool IsAsciiBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0x1A; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsAsciiBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsAsciiBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, const char* b) {
  return a.size() == strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  // A byte-order mark (some editors write one) is not part of the first line; it stays in
  // the file as it is.
  size_t begin = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back({begin, end});
    begin = end + 1;
  }
  return lines;
}

// The name of a "[Section]" line, or false for any other line: as the reader below takes it,
// what lies between the "[" and the line's last "]" without its outer blanks, and no section
// without a "]".
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line, or false.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return true;
}

// Where a key and its section lie: line numbers, or -1 when missing. lastOfSection is the
// last non-blank line of the first section of that name (its header if it has no keys).
struct KeyPlace {
  int32_t keyLine = -1;
  int32_t lastOfSection = -1;
};

KeyPlace FindKey(const std::string& text, const std::vector<Line>& lines, const char* section,
                 const char* key) {
  KeyPlace place;
  bool inSection = false;
  int32_t sectionsSeen = 0;  // of that name: only the first is read, so only it is written
  for (int32_t i = 0; i < static_cast<int32_t>(lines.size()); ++i) {
    std::string_view line(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name, k, v;
    if (SectionName(line, name)) {
      inSection = SameName(name, section) && ++sectionsSeen == 1;
      if (inSection) place.lastOfSection = i;
      continue;
    }
    if (!inSection) continue;
    if (!Trim(line).empty()) place.lastOfSection = i;
    // A key line without "=" is the key without a value: it hides any later line of the key.
    bool bare = line.find('=') == std::string_view::npos && SameName(Trim(line), key);
    if (bare || (KeyValue(line, k, v) && SameName(k, key))) {
      place.keyLine = i;
      return place;
    }
  }
  return place;
}

// A profile holds a few lines; one far larger is not ours to read into memory or to rewrite.
constexpr off_t MaxProfileBytes = 1 << 20;

// Only a regular file is read, opened without waiting: a pipe in its place would hold the
// program's start-up forever.
bool ReadFile(const char* path, std::string& text) {
  int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info {};
  FILE* file = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
                       info.st_size <= MaxProfileBytes
                   ? fdopen(descriptor, "rb")
                   : nullptr;
  if (file == nullptr) {
    close(descriptor);
    return false;
  }
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0 &&
         text.size() <= static_cast<size_t>(MaxProfileBytes))
    text.append(chunk, n);
  bool ok = ferror(file) == 0 && text.size() <= static_cast<size_t>(MaxProfileBytes);
  fclose(file);
  return ok;
}

// ---------------------------------------------------------------------------------------
// Reading an integer exactly as the Windows API reads it. The file is taken as text of 16-bit
// characters (UTF-16 after its byte-order mark, UTF-8 after its mark, else the ANSI code
// page) of lines ended by CR or LF; a line's blanks at either end do not count; "[" starts a
// section named by what lies before the line's last "]" without its outer blanks, and a "["
// line without "]" is an ordinary line;
// any other line is a key, up to its first "=" with blanks before it dropped, and a value
// after it with blanks after it dropped; a line without "=" is a key without a value. Only the
// first section of a name is searched, and in it the first key of the name. The value is cut
// to 29 characters with one pair of matching quotes removed, and read as a number with
// optional blanks, sign and "0x", "0o" or "0b", wrapping at 32 bits.

using Text16 = std::u16string;

// The blanks of the system's character classes, and the end-of-file mark of old editors.
bool IsBlank(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1A || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

void AppendUtf8(const std::string& bytes, size_t at, Text16& out) {
  while (at < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[at]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t code = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    bool ok = extra >= 0 && at + extra < bytes.size();
    for (int i = 1; ok && i <= extra; ++i) {
      unsigned char next = static_cast<unsigned char>(bytes[at + i]);
      ok = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    if (!ok) {
      out += u'\uFFFD';
      at += 1;
      continue;
    }
    at += extra + 1;
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
}

Text16 Decode(const std::string& bytes) {
  Text16 out;
  auto starts = [&](const char* mark, size_t n) { return bytes.compare(0, n, mark, n) == 0; };
  if (starts("\xEF\xBB\xBF", 3)) {
    AppendUtf8(bytes, 3, out);
  } else if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
    bool little = bytes[0] == '\xFF';
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
      auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
      out += static_cast<char16_t>(hi << 8 | lo);
    }
  } else {
    // The ANSI code page: ASCII as it is, other bytes as characters that match no name, digit
    // or blank.
    for (unsigned char b : bytes) out += b < 0x80 ? static_cast<char16_t>(b) : u'\uFFFD';
  }
  return out;
}

// A name as the system compares it: up to a NUL, letters without case.
bool SameName16(const Text16& name, const char* wanted) {
  size_t n = strlen(wanted);
  size_t end = name.find(u'\0');
  if ((end == Text16::npos ? name.size() : end) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = name[i];
    if (c >= 0x80 || tolower(static_cast<unsigned char>(c)) != tolower(static_cast<unsigned char>(wanted[i])))
      return false;
  }
  return true;
}

struct Key16 {
  Text16 name;
  bool hasValue;
  Text16 value;
};
struct Section16 {
  Text16 name;
  std::vector<Key16> keys;
};

std::vector<Section16> LoadSections(const Text16& text) {
  std::vector<Section16> sections(1);  // the keys before any section, which no name finds
  size_t next = 0;
  bool previousNamed = true;  // a run of nameless keys counts once
  bool anyKey = false;
  while (next < text.size()) {
    size_t start = next, end = text.find_first_of(u"\r\n", start);
    end = end == Text16::npos ? text.size() : end;
    next = end + 1;
    while (start < end && IsBlank(text[start])) ++start;
    while (end > start && IsBlank(text[end - 1])) --end;
    if (start >= end) continue;
    if (text[start] == u'[') {
      size_t close = text.rfind(u']', end - 1);
      if (close != Text16::npos && close > start) {
        size_t nameStart = start + 1, nameEnd = close;
        while (nameStart < nameEnd && IsBlank(text[nameStart])) ++nameStart;
        while (nameEnd > nameStart && IsBlank(text[nameEnd - 1])) --nameEnd;
        sections.push_back({text.substr(nameStart, nameEnd - nameStart), {}});
        anyKey = false;
        continue;
      }
    }
    size_t equals = text.find(u'=', start);
    if (equals >= end) equals = Text16::npos;
    size_t nameEnd = equals == Text16::npos ? end : equals;
    while (equals != Text16::npos && nameEnd > start && IsBlank(text[nameEnd - 1])) --nameEnd;
    size_t length = nameEnd - start;
    if (length == 0 && anyKey && !previousNamed) continue;
    Key16 key{text.substr(start, length), equals != Text16::npos, {}};
    if (key.hasValue) {
      size_t value = equals + 1;
      while (value < end && IsBlank(text[value])) ++value;
      key.value = text.substr(value, end - value);
    }
    previousNamed = length > 0;
    anyKey = true;
    sections.back().keys.push_back(std::move(key));
  }
  return sections;
}

// The key's text as the integer reader gets it: "" when the key or its value is missing.
Text16 FindValue(const std::vector<Section16>& sections, const char* section, const char* key) {
  for (size_t s = 1; s < sections.size(); ++s) {
    const Section16& found = sections[s];
    if (found.name.empty() || found.name[0] == 0 || !SameName16(found.name, section)) continue;
    for (const Key16& k : found.keys)
      if (SameName16(k.name, key)) return k.hasValue ? k.value : Text16();
    return Text16();  // a later section of the same name is never searched
  }
  return Text16();
}

// The value as it lands in the reader's buffer of 30 characters: up to a NUL, one pair of
// matching quotes dropped, cut to 29.
Text16 BufferedValue(Text16 value) {
  value = value.substr(0, value.find(u'\0'));
  char16_t quote = 0;
  if (value.size() > 1 && (value[0] == u'\'' || value[0] == u'"') && value.back() == value[0]) {
    quote = value[0];
    value.erase(0, 1);
  }
  Text16 buffer = value.substr(0, 29);
  if (quote != 0 && value.size() <= 30) buffer.pop_back();
  return buffer;
}

// Optional blanks (every character up to the space), a sign, a base prefix, and digits up to
// the first that is not one; wrapping at 32 bits.
int32_t ParseInteger(const Text16& text) {
  size_t i = 0;
  while (i < text.size() && text[i] <= u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == u'0') {
    char16_t p = text[i + 1];
    base = p == u'b' ? 2 : p == u'o' ? 8 : p == u'x' ? 16 : 10;
    if (base != 10) i += 2;
  }
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    int digit = c >= u'0' && c <= u'9' ? c - u'0'
                : c >= u'A' && c <= u'Z' ? c - u'A' + 10
                : c >= u'a' && c <= u'z' ? c - u'a' + 10
                                         : -1;
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) break;
    value = value * base + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

// Whether six characters can be the unique part of our temporary file's name: letters and
// digits as mkstemp picks them. All lower-case letters are taken for a word (".backup",
// ".before") that a user chose, and such a file is never touched.
bool LooksGenerated(std::string_view part) {
  bool allLower = true;
  for (char c : part) {
    if (!isalnum(static_cast<unsigned char>(c))) return false;
    allLower = allLower && islower(static_cast<unsigned char>(c));
  }
  return !allLower;
}

// Removes what a write killed between creating its temporary file and renaming it left
// beside the file: our own regular files named as the file plus "." and six generated
// characters, not changed for a minute (a write takes milliseconds, so none of them is still
// being written).
void RemoveStaleTemporaries(const std::string& target) {
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  time_t now = time(nullptr);
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
        !LooksGenerated(std::string_view(name).substr(prefix.size())))
      continue;
    std::string path = folder + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
        now - info.st_mtime > 60)
      unlink(path.c_str());
  }
  closedir(listing);
}

// Writes the text next to the file and renames it over the file. A file without any write
// permission is left alone and the write fails, as the platform does with a read-only file
// (checked on the mode itself, which a privileged user's access check would ignore).
bool ReplaceFile(const char* path, const std::string& text) {
  char resolved[PATH_MAX];
  std::string target = realpath(path, resolved) != nullptr ? resolved : path;
  // A link to a file that does not exist yet is written through, so that the file appears
  // where the link points and the link stays (a rename onto the link would replace it).
  struct stat link{};
  if (target == path && lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
    std::vector<char> to(PATH_MAX + 1);
    ssize_t n = readlink(path, to.data(), PATH_MAX);
    if (n <= 0) return false;
    std::string pointed(to.data(), static_cast<size_t>(n));
    std::string from = path;
    size_t slash = from.rfind('/');
    if (pointed[0] != '/' && slash != std::string::npos) pointed = from.substr(0, slash + 1) + pointed;
    struct stat again{};
    if (lstat(pointed.c_str(), &again) == 0) return false;  // a chain or a loop: left alone
    target = pointed;
  }
  struct stat old{};
  bool exists = stat(target.c_str(), &old) == 0;
  if (exists && ((old.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)) return false;
  RemoveStaleTemporaries(target);
  std::string temporary = target;
  temporary.append(".XXXXXX");
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  mode_t mode = exists ? old.st_mode & 07777 : 0644;
  fchmod(fd, mode);
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

// A name or value that would break the file's lines is refused.
bool Writable(const char* text, const char* alsoForbidden) {
  return text != nullptr && strpbrk(text, "\r\n") == nullptr &&
         strpbrk(text, alsoForbidden) == nullptr;
}

}  // namespace

int32_t GetProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path) {
  std::string bytes;
  if (section == nullptr || key == nullptr || path == nullptr || key[0] == 0 ||
      !ReadFile(path, bytes))
    return defaultValue;
  // The names asked for are taken without their own outer blanks, as the system takes them.
  std::string wantedSection = std::string(Trim(section)), wantedKey = std::string(Trim(key));
  Text16 buffer =
      BufferedValue(FindValue(LoadSections(Decode(bytes)), wantedSection.c_str(), wantedKey.c_str()));
  return buffer.empty() ? defaultValue : ParseInteger(buffer);
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* path) {
  if (path == nullptr || !Writable(section, "]") || !Writable(key, "=[") ||
      !Writable(value, "") || key[0] == 0 || key[0] == ';')
    return false;
  std::string text;
  if (!ReadFile(path, text) && access(path, F_OK) == 0) return false;  // there but unreadable
  const char* newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<Line> lines = SplitLines(text);
  KeyPlace place = FindKey(text, lines, section, key);
  std::string entry = key;
  entry.append("=").append(value).append(newline);
  if (place.keyLine >= 0) {
    // The key keeps its own spelling; only what follows the "=" changes.
    const Line& line = lines[place.keyLine];
    size_t equals = text.find('=', line.begin);
    size_t end = line.end > line.begin && text[line.end - 1] == '\r' ? line.end - 1 : line.end;
    if (equals < end)
      text.replace(equals + 1, end - equals - 1, value);
    else
      text.insert(end, std::string("=") + value);  // the bare key gets its value
  } else if (place.lastOfSection >= 0) {
    size_t at = lines[place.lastOfSection].end + 1;  // just after its line break
    if (at > text.size()) {
      text += newline;
      at = text.size();
    }
    text.insert(at, entry);
  } else {
    if (!text.empty() && text.back() != '\n') text += newline;
    text.append("[").append(section).append("]").append(newline).append(entry);
  }
  return ReplaceFile(path, text);
}
