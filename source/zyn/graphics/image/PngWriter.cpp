#include <zyn/graphics/image/PngWriter.h>

#include <csetjmp>
#include <cstdio>

#include <png.h>

#include <zyn/core/Log.h>

namespace Zyn {

namespace {

// PNG allows 2^31 - 1; this bounds what an export can ask for.
const int kMaxSide = 65536;

void OnPngError(png_structp png, png_const_charp message) {
    LogSend(kLogError, "WritePNG -> libpng: %s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp message) {
    LogSend(kLogWarning, "WritePNG -> libpng: %s", message);
}

// Holds no C++ objects with destructors: libpng leaves it by longjmp.
bool WriteRows(FILE* file, int w, int h, const u8* pixels) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &OnPngError, &OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const size_t stride = size_t(w) * 4;
    for (int y = 0; y < h; ++y) png_write_row(png, pixels + size_t(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePNG(const char* path, int w, int h, const std::vector<u8>& rgba) {
    if (!path || w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) {
        LogSend(kLogError, "WritePNG -> bad image size %d x %d", w, h);
        return false;
    }
    if (rgba.size() != size_t(w) * size_t(h) * 4) {
        LogSend(kLogError, "WritePNG -> %zu bytes do not make a %d x %d RGBA image", rgba.size(), w, h);
        return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        LogSend(kLogError, "WritePNG -> cannot create %s", path);
        return false;
    }
    bool ok = WriteRows(file, w, h, rgba.data());
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        LogSend(kLogError, "WritePNG -> could not write %s", path);
        std::remove(path);
    }
    return ok;
}

}  // namespace Zyn
