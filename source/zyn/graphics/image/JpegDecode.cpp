// JPEG through libjpeg-turbo, reading from memory. The library's fatal errors come back by
// longjmp instead of exit(); its corrupt-data warnings are treated as errors so that a
// truncated or damaged file fails instead of decoding to grey filler.

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include <zyn/core/Log.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {
namespace ImageDecodeImpl {

namespace {

const char kFormat[] = "JPEG";
// Far more scans than any encoder writes; bounds the work a hostile progressive file can ask for.
const int kMaxScans = 256;

struct JpegState {
    jpeg_error_mgr errors;  // first, so that cinfo->err leads back here
    jpeg_progress_mgr progress;
    jmp_buf jump;
    const unsigned char* data;
    size_t size;
    unsigned maxDimension;
    DecodedPixels* out;
};

[[noreturn]] void Fail(j_common_ptr cinfo) {
    JpegState* s = reinterpret_cast<JpegState*>(cinfo->err);
    longjmp(s->jump, 1);
}

[[noreturn]] void OnErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    LogSend(kLogError, "ImageDecode -> JPEG error: %s", message);
    Fail(cinfo);
}

void OnEmitMessage(j_common_ptr cinfo, int level) {
    // Level -1 is a warning about corrupt data; positive levels are trace output.
    if (level < 0) OnErrorExit(cinfo);
}

void OnOutputMessage(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    LogSend(kLogDebug, "ImageDecode -> JPEG: %s", message);
}

void OnProgress(j_common_ptr cinfo) {
    j_decompress_ptr dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        LogSend(kLogError, "ImageDecode -> JPEG error: more than %d scans", kMaxScans);
        Fail(cinfo);
    }
}

bool ReadJpeg(j_decompress_ptr cinfo, JpegState* s) {
    if (setjmp(s->jump)) return false;

    jpeg_create_decompress(cinfo);
    cinfo->progress = &s->progress;
    jpeg_mem_src(cinfo, s->data, static_cast<unsigned long>(s->size));
    jpeg_read_header(cinfo, TRUE);

    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_RGB;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            LogSend(kLogError, "ImageDecode -> JPEG error: CMYK images not supported");
            Fail(reinterpret_cast<j_common_ptr>(cinfo));
        default:
            LogSend(kLogError, "ImageDecode -> JPEG error: colour space %d not supported",
                    int(cinfo->jpeg_color_space));
            Fail(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (!CheckDimensions(kFormat, cinfo->image_width, cinfo->image_height, s->maxDimension))
        Fail(reinterpret_cast<j_common_ptr>(cinfo));

    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    if ((components != 1 && components != 3) || cinfo->output_width != cinfo->image_width ||
        cinfo->output_height != cinfo->image_height) {
        LogSend(kLogError, "ImageDecode -> JPEG error: unexpected output layout");
        Fail(reinterpret_cast<j_common_ptr>(cinfo));
    }
    s->out->pixels = AllocatePixels(kFormat, cinfo->output_width, cinfo->output_height, components);
    if (!s->out->pixels) Fail(reinterpret_cast<j_common_ptr>(cinfo));

    const size_t stride = size_t(cinfo->output_width) * size_t(components);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = s->out->pixels + size_t(cinfo->output_scanline) * stride;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            LogSend(kLogError, "ImageDecode -> JPEG error: no scanline delivered");
            Fail(reinterpret_cast<j_common_ptr>(cinfo));
        }
    }
    jpeg_finish_decompress(cinfo);

    s->out->width = cinfo->output_width;
    s->out->height = cinfo->output_height;
    s->out->components = components;
    return true;
}

}  // namespace

bool DecodeJPEG(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out) {
    jpeg_decompress_struct cinfo;
    memset(&cinfo, 0, sizeof cinfo);
    JpegState state;
    cinfo.err = jpeg_std_error(&state.errors);
    state.errors.error_exit = &OnErrorExit;
    state.errors.emit_message = &OnEmitMessage;
    state.errors.output_message = &OnOutputMessage;
    state.progress.progress_monitor = &OnProgress;
    state.data = data;
    state.size = size;
    state.maxDimension = maxDimension;
    state.out = &out;

    const bool ok = ReadJpeg(&cinfo, &state);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        free(out.pixels);
        out = DecodedPixels();
    }
    return ok;
}

}  // namespace ImageDecodeImpl
}  // namespace Zyn
