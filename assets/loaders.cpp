// loaders.cpp — the font and sprite file loaders: read "ZGL" and "ZOR" files, plain or packed,
// byte by byte through the buffered stream straight into the caller's AssetArena.
//
// A load writes only from the caller's cursor up to the arena's end and copies only from bytes
// inside the arena; the cursor moves only when the whole file has been read.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "assets/assets.h"

LoadFailure LastLoadFailure = {LoadCheck::None, -1, 0};

namespace {

constexpr int PlainVersion = 0x30;
constexpr int PackedVersion = 0x31;
constexpr uint32_t LargestSide = 32767;  // the sprite code reads sizes as signed 16-bit values

// The file read one byte ahead, as the formats are defined: `ahead` is the next unread byte,
// or EOF at the end of the file or after a read error (both end the data alike).
struct ByteReader {
  std::FILE* file;
  int ahead;
  void Next() { ahead = std::getc(file); }
};

// Where decoded bytes go. Positions are counted from the caller's cursor, so that no address
// outside the arena is ever formed: a copy may reach `behind` bytes before the cursor and the
// load may store `room` bytes after it.
struct ArenaWriter {
  uint8_t* origin;  // the caller's cursor
  size_t behind;    // arena bytes before the cursor
  size_t room;      // arena bytes from the cursor to the arena's end
  size_t stored;    // bytes stored so far
};

// Literal codes stand for themselves; the others are copies with a length byte.
bool IsLiteral(int code) { return code == 0 || (code >= 20 && code <= 235); }

// Checked before a record's bytes are stored, so nothing is written at or past the arena's end.
bool HasRoom(const ArenaWriter& out, size_t count) { return count <= out.room - out.stored; }

// Stores the next `count` bytes of the file unchanged.
LoadCheck CopyPlain(ByteReader& in, ArenaWriter& out, size_t count) {
  if (!HasRoom(out, count)) return LoadCheck::ArenaFull;
  for (size_t i = 0; i < count; ++i) {
    if (in.ahead == EOF) return LoadCheck::EndsInRecord;
    out.origin[out.stored++] = static_cast<uint8_t>(in.ahead);
    in.Next();
  }
  return LoadCheck::None;
}

// Decodes codes until exactly `lacking` bytes have been stored; a copy may not run past them.
LoadCheck DecodePacked(ByteReader& in, ArenaWriter& out, size_t lacking) {
  if (!HasRoom(out, lacking)) return LoadCheck::ArenaFull;
  while (lacking > 0) {
    const int code = in.ahead;
    if (code == EOF) return LoadCheck::EndsInRecord;
    if (IsLiteral(code)) {
      out.origin[out.stored++] = static_cast<uint8_t>(code);
      in.Next();
      --lacking;
      continue;
    }
    const size_t distance = code < 20 ? code : code - 216;
    in.Next();
    if (in.ahead == EOF) return LoadCheck::EndsInCopy;
    const size_t length = static_cast<size_t>(in.ahead) + 1;
    if (length > lacking) return LoadCheck::CopyTooLong;
    if (distance > out.behind + out.stored) return LoadCheck::CopyBeforeArena;
    // Byte by byte in increasing order: a copy longer than its distance repeats its source.
    uint8_t* to = out.origin + out.stored;
    const uint8_t* from = to - distance;
    for (size_t i = 0; i < length; ++i) to[i] = from[i];
    out.stored += length;
    lacking -= length;
    in.Next();
  }
  return LoadCheck::None;
}

LoadCheck ReadRecordBody(ByteReader& in, ArenaWriter& out, int version, size_t count) {
  return version == PackedVersion ? DecodePacked(in, out, count) : CopyPlain(in, out, count);
}

// Reads the magic and the version byte; leaves the first body byte read ahead.
LoadCheck ReadHeader(ByteReader& in, const char* magic, int& version) {
  for (int i = 0; i < 3; ++i) {
    in.Next();
    if (in.ahead != static_cast<unsigned char>(magic[i])) return LoadCheck::Magic;
  }
  in.Next();
  version = in.ahead;
  if (version != PlainVersion && version != PackedVersion) return LoadCheck::Version;
  in.Next();
  return LoadCheck::None;
}

// Records why the load stopped; the offset is that of the byte read ahead (or the file's end).
void NoteFailure(ByteReader& in, LoadCheck check, int32_t record) {
  const long consumed = std::ftell(in.file);
  LastLoadFailure = {check, record, consumed - (in.ahead == EOF || consumed <= 0 ? 0 : 1)};
}

// Opens the file for a load at `cursor`; null when the cursor lies outside the arena or the
// file cannot be opened (LastLoadFailure says which).
std::FILE* OpenForLoad(const char* path, const uint8_t* cursor, const uint8_t* arenaStart,
                       const uint8_t* arenaEnd) {
  if (cursor < arenaStart || cursor > arenaEnd) {
    LastLoadFailure = {LoadCheck::CursorOutside, -1, 0};
    return nullptr;
  }
  // Only a regular file is opened: opening a pipe for reading waits for a writer, which would
  // hold the start-up forever, and a device may never end.
  std::error_code error;
  const bool regular = path != nullptr && std::filesystem::is_regular_file(path, error);
  std::FILE* file = regular ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) LastLoadFailure = {LoadCheck::CannotOpen, -1, 0};
  return file;
}

// Ends a load: closes the file and moves the cursor only when every record was read whole.
int32_t FinishLoad(ByteReader& in, LoadCheck check, int32_t count, uint8_t*& cursor,
                   const ArenaWriter& out) {
  if (check == LoadCheck::None && count == 0) check = LoadCheck::NoRecords;
  if (check != LoadCheck::None) {
    const bool beforeRecords =
        check == LoadCheck::Magic || check == LoadCheck::Version || check == LoadCheck::NoRecords;
    NoteFailure(in, check, beforeRecords ? -1 : count);
    std::fclose(in.file);
    return 0;
  }
  std::fclose(in.file);
  LastLoadFailure = {LoadCheck::None, -1, 0};
  cursor += out.stored;
  return count;
}

// Width times height from the 12 header bytes just stored; TooLarge beyond the signed range.
LoadCheck ImagePixels(const uint8_t* header, size_t& pixels) {
  const uint32_t width = header[0] | header[1] << 8;
  const uint32_t height = header[2] | header[3] << 8;
  if (width > LargestSide || height > LargestSide) return LoadCheck::TooLarge;
  pixels = static_cast<size_t>(width) * height;
  return LoadCheck::None;
}

// One sprite record: table entry, 12 header bytes stored as they are, then the pixels.
LoadCheck ReadImage(ByteReader& in, ArenaWriter& out, int version, uint8_t** entry) {
  *entry = out.origin + out.stored;
  LoadCheck check = CopyPlain(in, out, ImageHeaderBytes);
  size_t pixels = 0;
  if (check == LoadCheck::None) check = ImagePixels(*entry, pixels);
  if (check == LoadCheck::None) check = ReadRecordBody(in, out, version, pixels);
  return check;
}

}  // namespace

int32_t LoadFontFile(const char* path, uint8_t*& cursor, const uint8_t* arenaStart,
                     const uint8_t* arenaEnd) {
  ByteReader in = {OpenForLoad(path, cursor, arenaStart, arenaEnd), EOF};
  if (in.file == nullptr) return 0;
  ArenaWriter out = {cursor, static_cast<size_t>(cursor - arenaStart),
                     static_cast<size_t>(arenaEnd - cursor), 0};
  int version = 0;
  int32_t count = 0;
  LoadCheck check = ReadHeader(in, "ZGL", version);
  while (check == LoadCheck::None && in.ahead != EOF) {
    check = ReadRecordBody(in, out, version, GlyphBytes);
    if (check == LoadCheck::None) ++count;
  }
  return FinishLoad(in, check, count, cursor, out);
}

int32_t LoadSpriteFile(const char* path, uint8_t*& cursor, uint8_t** imageTable,
                       int32_t tableEntries, const uint8_t* arenaStart, const uint8_t* arenaEnd) {
  ByteReader in = {OpenForLoad(path, cursor, arenaStart, arenaEnd), EOF};
  if (in.file == nullptr) return 0;
  ArenaWriter out = {cursor, static_cast<size_t>(cursor - arenaStart),
                     static_cast<size_t>(arenaEnd - cursor), 0};
  int version = 0;
  int32_t count = 0;
  LoadCheck check = ReadHeader(in, "ZOR", version);
  while (check == LoadCheck::None && in.ahead != EOF) {
    // The table is checked before its entry is written: a file never writes past it.
    if (count >= tableEntries) {
      check = LoadCheck::TableFull;
      break;
    }
    check = ReadImage(in, out, version, &imageTable[count]);
    if (check == LoadCheck::None) ++count;
  }
  return FinishLoad(in, check, count, cursor, out);
}
