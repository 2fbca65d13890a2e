#include "ImageTestUtil.h"

#include <cmath>
#include <csetjmp>
#include <cstring>

#include <jpeglib.h>
#include <openjpeg.h>
#include <png.h>

#include <gtest/gtest.h>

#include <zyn/graphics/image/ImageDecode.h>

namespace ImageTest {

Bytes MakePattern(unsigned w, unsigned h, int channels, unsigned seed) {
    Bytes out(size_t(w) * h * channels);
    unsigned state = seed * 2654435761u + 1u;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                state = state * 1103515245u + 12345u;
                // Smooth gradients plus a little noise, like real art.
                const unsigned v = (x * 255 / (w > 1 ? w - 1 : 1) * (c + 1) + y * 255 / (h > 1 ? h - 1 : 1) +
                                    ((state >> 16) & 15)) &
                                   255;
                out[(size_t(y) * w + x) * channels + c] = static_cast<unsigned char>(v);
            }
    return out;
}

Bytes MakeSmooth(unsigned w, unsigned h, int channels) {
    Bytes out(size_t(w) * h * channels);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                out[(size_t(y) * w + x) * channels + c] =
                    static_cast<unsigned char>(128 + 100 * std::sin(x * 0.11 + c) * std::cos(y * 0.07 - c));
    return out;
}

namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t n) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void PngFlush(png_structp) {}

// Writes rows given as byte pointers; bitDepth 8 or 16.
Bytes WritePNGRows(const std::vector<const unsigned char*>& rows, unsigned w, unsigned h, int colourType,
                   int bitDepth, bool interlaced, const png_color* palette, int paletteSize,
                   const png_byte* trans, int transCount) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test image";
        return Bytes();
    }
    png_set_write_fn(png, &out, &PngWrite, &PngFlush);
    png_set_IHDR(png, info, w, h, bitDepth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) png_set_PLTE(png, info, palette, paletteSize);
    if (trans) png_set_tRNS(png, info, trans, transCount, nullptr);
    png_write_info(png, info);
    if (bitDepth == 16) png_set_swap(png);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

int PngChannels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
            return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        case PNG_COLOR_TYPE_RGB:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

Bytes WritePNG(const Bytes& pixels, unsigned w, unsigned h, int colourType, bool interlaced) {
    const size_t stride = size_t(w) * PngChannels(colourType);
    std::vector<const unsigned char*> rows(h);
    for (unsigned y = 0; y < h; ++y) rows[y] = pixels.data() + y * stride;
    return WritePNGRows(rows, w, h, colourType, 8, interlaced, nullptr, 0, nullptr, 0);
}

Bytes WritePNG16(const std::vector<unsigned short>& samples, unsigned w, unsigned h, int colourType) {
    const size_t stride = size_t(w) * PngChannels(colourType);
    std::vector<const unsigned char*> rows(h);
    for (unsigned y = 0; y < h; ++y)
        rows[y] = reinterpret_cast<const unsigned char*>(samples.data() + y * stride);
    return WritePNGRows(rows, w, h, colourType, 16, false, nullptr, 0, nullptr, 0);
}

Bytes WritePalettePNG() {
    const png_color palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    const png_byte trans[2] = {255, 128};
    const unsigned char row0[2] = {0, 1};
    const unsigned char row1[2] = {2, 3};
    return WritePNGRows({row0, row1}, 2, 2, PNG_COLOR_TYPE_PALETTE, 8, false, palette, 4, trans, 2);
}

Bytes WriteJPEG(const Bytes& pixels, unsigned w, unsigned h, int components, bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 3 ? JCS_RGB : JCS_CMYK);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = size_t(w) * components;
    while (cinfo.next_scanline < h) {
        JSAMPROW row = const_cast<unsigned char*>(pixels.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return out;
}

Bytes WriteTGA(const Bytes& pixels, unsigned w, unsigned h, int channels, bool topOrigin, bool rle) {
    Bytes out(18, 0);
    out[2] = channels == 1 ? (rle ? 11 : 3) : (rle ? 10 : 2);
    out[12] = w & 255;
    out[13] = w >> 8;
    out[14] = h & 255;
    out[15] = h >> 8;
    out[16] = static_cast<unsigned char>(channels * 8);
    out[17] = static_cast<unsigned char>((topOrigin ? 0x20 : 0) | (channels == 4 ? 8 : 0));
    std::vector<Bytes> filePixels;
    for (unsigned row = 0; row < h; ++row) {
        const unsigned y = topOrigin ? row : h - 1 - row;
        for (unsigned x = 0; x < w; ++x) {
            const unsigned char* p = pixels.data() + (size_t(y) * w + x) * channels;
            if (channels == 1)
                filePixels.push_back({p[0]});
            else if (channels == 3)
                filePixels.push_back({p[2], p[1], p[0]});
            else
                filePixels.push_back({p[2], p[1], p[0], p[3]});
        }
    }
    if (!rle) {
        for (const Bytes& p : filePixels) out.insert(out.end(), p.begin(), p.end());
        return out;
    }
    // Runs of equal pixels become run packets, everything else raw packets, across row ends.
    size_t i = 0;
    while (i < filePixels.size()) {
        size_t run = 1;
        while (i + run < filePixels.size() && run < 128 && filePixels[i + run] == filePixels[i]) ++run;
        if (run > 1) {
            out.push_back(static_cast<unsigned char>(0x80 | (run - 1)));
            out.insert(out.end(), filePixels[i].begin(), filePixels[i].end());
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < filePixels.size() && raw < 128 &&
               !(i + raw + 1 < filePixels.size() && filePixels[i + raw] == filePixels[i + raw + 1]))
            ++raw;
        out.push_back(static_cast<unsigned char>(raw - 1));
        for (size_t k = 0; k < raw; ++k)
            out.insert(out.end(), filePixels[i + k].begin(), filePixels[i + k].end());
        i += raw;
    }
    return out;
}

namespace {

struct OpjSink {
    Bytes* out;
    size_t pos;
};
OPJ_SIZE_T OpjWrite(void* buffer, OPJ_SIZE_T n, void* user) {
    OpjSink* s = static_cast<OpjSink*>(user);
    if (s->pos + n > s->out->size()) s->out->resize(s->pos + n);
    memcpy(s->out->data() + s->pos, buffer, n);
    s->pos += n;
    return n;
}
OPJ_OFF_T OpjSkip(OPJ_OFF_T n, void* user) {
    OpjSink* s = static_cast<OpjSink*>(user);
    s->pos += size_t(n);
    if (s->pos > s->out->size()) s->out->resize(s->pos);
    return n;
}
OPJ_BOOL OpjSeek(OPJ_OFF_T pos, void* user) {
    OpjSink* s = static_cast<OpjSink*>(user);
    s->pos = size_t(pos);
    if (s->pos > s->out->size()) s->out->resize(s->pos);
    return OPJ_TRUE;
}

}  // namespace

Bytes EncodeCustom(unsigned w, unsigned h, const std::vector<Component>& comps, int colourSpace, bool raw) {
    std::vector<opj_image_cmptparm_t> parms(comps.size());
    for (size_t i = 0; i < comps.size(); ++i) {
        memset(&parms[i], 0, sizeof parms[i]);
        parms[i].dx = comps[i].dx;
        parms[i].dy = comps[i].dy;
        parms[i].w = (w + comps[i].dx - 1) / comps[i].dx;
        parms[i].h = (h + comps[i].dy - 1) / comps[i].dy;
        parms[i].prec = comps[i].prec;
        parms[i].sgnd = comps[i].isSigned ? 1 : 0;
    }
    opj_image_t* image =
        opj_image_create(OPJ_UINT32(comps.size()), parms.data(), static_cast<OPJ_COLOR_SPACE>(colourSpace));
    image->x1 = w;
    image->y1 = h;
    for (size_t c = 0; c < comps.size(); ++c) {
        const int range = 1 << comps[c].prec;
        const int low = comps[c].isSigned ? -range / 2 : 0;
        const size_t n = size_t(parms[c].w) * parms[c].h;
        for (size_t i = 0; i < n; ++i)
            image->comps[c].data[i] = low + int((i * 7919u + c * 31u) % unsigned(range));
    }
    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    params.cp_disto_alloc = 1;
    params.tcp_rates[0] = 0;
    params.numresolution = 2;
    opj_codec_t* codec = opj_create_compress(raw ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    opj_setup_encoder(codec, &params, image);

    Bytes out;
    OpjSink sink = {&out, 0};
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, &OpjWrite);
    opj_stream_set_skip_function(stream, &OpjSkip);
    opj_stream_set_seek_function(stream, &OpjSeek);
    const bool ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    EXPECT_TRUE(ok) << "OpenJPEG could not write the test image";
    return out;
}

Bytes ExtractCodestream(const Bytes& jp2) {
    size_t pos = 0;
    while (pos + 8 <= jp2.size()) {
        const size_t len = (size_t(jp2[pos]) << 24) | (size_t(jp2[pos + 1]) << 16) |
                           (size_t(jp2[pos + 2]) << 8) | jp2[pos + 3];
        if (memcmp(&jp2[pos + 4], "jp2c", 4) == 0) {
            const size_t end = len == 0 ? jp2.size() : pos + len;
            if (end > jp2.size() || end < pos + 8) return Bytes();
            return Bytes(jp2.begin() + long(pos) + 8, jp2.begin() + long(end));
        }
        if (len < 8) return Bytes();
        pos += len;
    }
    return Bytes();
}

void PutBE32(Bytes& b, size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v >> 24);
    b[at + 1] = static_cast<unsigned char>(v >> 16);
    b[at + 2] = static_cast<unsigned char>(v >> 8);
    b[at + 3] = static_cast<unsigned char>(v);
}

Decoded Decode(const Bytes& file, bool forceRGBA, unsigned maxDimension) {
    Decoded d;
    d.pixels.reset(Zyn::DecodeImage(file.data(), file.size(), &d.width, &d.height, &d.channels, forceRGBA,
                                    maxDimension));
    return d;
}

}  // namespace ImageTest
