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

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
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

// The name of a "[Section]" line, or false for any other line.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  size_t close = line.find(']');
  name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
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
  int32_t sectionsSeen = 0;  // of that name; keys are added to the first
  for (int32_t i = 0; i < static_cast<int32_t>(lines.size()); ++i) {
    std::string_view line(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name, k, v;
    if (SectionName(line, name)) {
      inSection = SameName(name, section);
      if (inSection && ++sectionsSeen == 1) place.lastOfSection = i;
      continue;
    }
    if (!inSection) continue;
    if (sectionsSeen == 1 && !Trim(line).empty()) place.lastOfSection = i;
    if (KeyValue(line, k, v) && SameName(k, key)) {
      place.keyLine = i;
      return place;
    }
  }
  return place;
}

// Only a regular file is read, opened without waiting: a pipe in its place would hold the
// program's start-up forever.
bool ReadFile(const char* path, std::string& text) {
  int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info {};
  FILE* file = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(descriptor, "rb")
                                                                       : nullptr;
  if (file == nullptr) {
    close(descriptor);
    return false;
  }
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

// Decimal text as the platform reads integers: leading blanks, a sign, digits up to the first
// other character; the value wraps at 32 bits.
int32_t ParseInteger(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
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
  std::string text;
  if (section == nullptr || key == nullptr || path == nullptr || !ReadFile(path, text))
    return defaultValue;
  std::vector<Line> lines = SplitLines(text);
  KeyPlace place = FindKey(text, lines, section, key);
  if (place.keyLine < 0) return defaultValue;
  const Line& line = lines[place.keyLine];
  std::string_view k, value;
  KeyValue(std::string_view(text.data() + line.begin, line.end - line.begin), k, value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return value.empty() ? defaultValue : ParseInteger(value);
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
    text.replace(equals + 1, end - equals - 1, value);
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
