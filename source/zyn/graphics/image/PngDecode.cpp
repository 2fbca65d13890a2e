// PNG through libpng, reading from memory. libpng reports errors by longjmp, so the function
// that calls setjmp keeps its state in a record outside its own frame and holds no C++
// object with a destructor.

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include <zyn/core/Log.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {
namespace ImageDecodeImpl {

namespace {

const char kFormat[] = "PNG";

struct PngState {
    const unsigned char* data;
    size_t size;
    size_t pos;
    unsigned maxDimension;
    DecodedPixels* out;
    png_bytep* rows;  // malloc, freed by the caller of ReadPng
    bool reported;    // a reason was already logged
};

void OnError(png_structp png, png_const_charp msg) {
    PngState* s = static_cast<PngState*>(png_get_error_ptr(png));
    if (!s->reported) LogSend(kLogError, "ImageDecode -> PNG error: %s", msg);
    s->reported = true;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp msg) {
    LogSend(kLogDebug, "ImageDecode -> PNG warning: %s", msg);
}

void ReadFn(png_structp png, png_bytep dst, png_size_t bytes) {
    PngState* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (bytes > s->size - s->pos) png_error(png, "unexpected end of data");
    memcpy(dst, s->data + s->pos, bytes);
    s->pos += bytes;
}

// Fails where libpng would have set the error: explicit reason, then longjmp.
[[noreturn]] void Reject(png_structp png, PngState* s) {
    s->reported = true;
    png_longjmp(png, 1);
}

bool ReadPng(png_structp png, png_infop info, PngState* s) {
    if (setjmp(png_jmpbuf(png))) return false;

    png_set_read_fn(png, s, &ReadFn);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    if (!CheckDimensions(kFormat, width, height, s->maxDimension)) Reject(png, s);

    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int components = png_get_channels(png, info);
    if (components < 1 || components > 4 || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) != size_t(width) * size_t(components)) {
        LogSend(kLogError, "ImageDecode -> PNG error: unexpected pixel layout");
        Reject(png, s);
    }

    s->out->pixels = AllocatePixels(kFormat, width, height, components);
    s->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
    if (!s->out->pixels || !s->rows) {
        if (s->out->pixels) LogSend(kLogError, "ImageDecode -> PNG error: out of memory for row table");
        Reject(png, s);
    }
    for (png_uint_32 y = 0; y < height; ++y) s->rows[y] = s->out->pixels + size_t(y) * width * components;
    png_read_image(png, s->rows);
    png_read_end(png, nullptr);

    s->out->width = width;
    s->out->height = height;
    s->out->components = components;
    return true;
}

}  // namespace

bool DecodePNG(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out) {
    PngState state = {data, size, 0, maxDimension, &out, nullptr, false};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, &OnError, &OnWarning);
    if (!png) {
        LogSend(kLogError, "ImageDecode -> PNG error: cannot create decoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        LogSend(kLogError, "ImageDecode -> PNG error: cannot create decoder");
        return false;
    }

    const bool ok = ReadPng(png, info, &state);
    png_destroy_read_struct(&png, &info, nullptr);
    free(state.rows);
    if (!ok) {
        free(out.pixels);
        out = DecodedPixels();
    }
    return ok;
}

}  // namespace ImageDecodeImpl
}  // namespace Zyn
