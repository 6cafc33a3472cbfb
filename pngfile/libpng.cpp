// libpng.cpp — the PNG writer of builds with libpng: compressed pictures, written whole or not
// at all (WriteFileSafely).
#include <png.h>

#include <cerrno>
#include <cstdio>

#include "pngfile/pngfile.h"

namespace {

void FramePalette(png_color palette[256]) {
  for (int i = 0; i < 256; ++i) {
    uint8_t rgb[3] = {};
    FrameColour(i, rgb);
    palette[i] = {rgb[0], rgb[1], rgb[2]};
  }
}

// libpng's complaints become the command's message, instead of lines of its own on stderr.
[[noreturn]] void KeepPngError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}
void IgnorePngWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePngRows(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* data, std::string& why) {
  std::string pngError;
  auto write = [&](std::FILE* file) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, KeepPngError,
                                              IgnorePngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
      // A failed write of the file (a full disk) is told by the system's reason.
      const int error = errno;
      if (std::ferror(file) != 0) pngError.clear();
      png_destroy_write_struct(&png, &info);
      errno = error;
      return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8,
                 channels == 1 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    if (channels == 1) {
      FramePalette(palette);
      png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    const size_t rowBytes = static_cast<size_t>(width) * channels;
    for (int32_t y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(data + static_cast<size_t>(y) * rowBytes));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
  };
  if (WriteFileSafely(path, write, why)) return true;
  if (!pngError.empty()) why = path + ": cannot be written: " + pngError;
  return false;
}
