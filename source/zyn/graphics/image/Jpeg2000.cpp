// JPEG 2000 through OpenJPEG, reading from and writing to memory. The library's messages go to
// our log: errors at level 1, warnings at level 3, information at level 4.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <openjpeg.h>

#include <zyn/core/Log.h>
#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {

namespace {

const char kFormat[] = "JPEG 2000";
int DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 2 : int(std::min(cores, 8u));
}

std::atomic<int> g_Threads{DefaultThreads()};

void LogLibraryMessage(int level, const char* msg) {
    // The library ends its messages with a newline; our log adds its own.
    size_t len = strlen(msg);
    while (len > 0 && (msg[len - 1] == '\n' || msg[len - 1] == '\r')) --len;
    LogSend(level, "OpenJPEG: %.*s", int(len), msg);
}
void OnError(const char* msg, void*) { LogLibraryMessage(kLogWarning, msg); }
void OnWarning(const char* msg, void*) { LogLibraryMessage(kLogDebug, msg); }
void OnInfo(const char* msg, void*) { LogLibraryMessage(kLogFine, msg); }

void SetHandlers(opj_codec_t* codec) {
    opj_set_error_handler(codec, &OnError, nullptr);
    opj_set_warning_handler(codec, &OnWarning, nullptr);
    opj_set_info_handler(codec, &OnInfo, nullptr);
}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
typedef std::unique_ptr<opj_codec_t, CodecDeleter> CodecPtr;
typedef std::unique_ptr<opj_stream_t, StreamDeleter> StreamPtr;
typedef std::unique_ptr<opj_image_t, ImageDeleter> ImagePtr;

// --- reading from memory ---

struct MemoryReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

OPJ_SIZE_T ReadFn(void* buffer, OPJ_SIZE_T bytes, void* user) {
    MemoryReader* r = static_cast<MemoryReader*>(user);
    const size_t left = r->size - r->pos;
    if (left == 0) return OPJ_SIZE_T(-1);
    const size_t n = std::min<size_t>(bytes, left);
    memcpy(buffer, r->data + r->pos, n);
    r->pos += n;
    return n;
}

OPJ_OFF_T SkipReadFn(OPJ_OFF_T bytes, void* user) {
    MemoryReader* r = static_cast<MemoryReader*>(user);
    if (bytes < 0) {
        if (uint64_t(-bytes) > r->pos) return -1;
        r->pos -= size_t(-bytes);
        return bytes;
    }
    const size_t left = r->size - r->pos;
    // Returning 0 here would make the library retry forever.
    if (left == 0) return -1;
    const size_t n = size_t(std::min<uint64_t>(uint64_t(bytes), left));
    r->pos += n;
    return OPJ_OFF_T(n);
}

OPJ_BOOL SeekReadFn(OPJ_OFF_T pos, void* user) {
    MemoryReader* r = static_cast<MemoryReader*>(user);
    if (pos < 0 || uint64_t(pos) > r->size) return OPJ_FALSE;
    r->pos = size_t(pos);
    return OPJ_TRUE;
}

// --- writing to memory ---

struct MemoryWriter {
    std::vector<unsigned char>* out;
    size_t pos;
};

// Grows the output so that [0, end) exists; false when memory runs out.
bool Reserve(MemoryWriter* w, size_t end) {
    if (end <= w->out->size()) return true;
    try {
        w->out->resize(end);
    } catch (...) {
        return false;
    }
    return true;
}

OPJ_SIZE_T WriteFn(void* buffer, OPJ_SIZE_T bytes, void* user) {
    MemoryWriter* w = static_cast<MemoryWriter*>(user);
    if (bytes > SIZE_MAX - w->pos || !Reserve(w, w->pos + bytes)) return OPJ_SIZE_T(-1);
    memcpy(w->out->data() + w->pos, buffer, bytes);
    w->pos += bytes;
    return bytes;
}

OPJ_OFF_T SkipWriteFn(OPJ_OFF_T bytes, void* user) {
    MemoryWriter* w = static_cast<MemoryWriter*>(user);
    if (bytes < 0) {
        if (uint64_t(-bytes) > w->pos) return -1;
        w->pos -= size_t(-bytes);
        return bytes;
    }
    if (uint64_t(bytes) > SIZE_MAX - w->pos || !Reserve(w, w->pos + size_t(bytes))) return -1;
    w->pos += size_t(bytes);
    return bytes;
}

OPJ_BOOL SeekWriteFn(OPJ_OFF_T pos, void* user) {
    MemoryWriter* w = static_cast<MemoryWriter*>(user);
    if (pos < 0 || uint64_t(pos) > SIZE_MAX || !Reserve(w, size_t(pos))) return OPJ_FALSE;
    w->pos = size_t(pos);
    return OPJ_TRUE;
}

bool Fail(const char* reason) {
    LogSend(kLogError, "ImageDecode -> %s error: %s", kFormat, reason);
    return false;
}

// Checks what the header promises before any pixel memory is spent on it.
bool CheckHeader(const opj_image_t* image, unsigned maxDimension) {
    if (image->numcomps < 1 || image->numcomps > 4) {
        LogSend(kLogError, "ImageDecode -> %s error: %u components not supported", kFormat, image->numcomps);
        return false;
    }
    if (image->x1 <= image->x0 || image->y1 <= image->y0) return Fail("empty image area");
    const unsigned width = image->x1 - image->x0;
    const unsigned height = image->y1 - image->y0;
    if (!ImageDecodeImpl::CheckDimensions(kFormat, width, height, maxDimension)) return false;

    const opj_image_comp_t& first = image->comps[0];
    for (unsigned i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (c.dx != 1 || c.dy != 1) return Fail("subsampled components not supported");
        if (c.sgnd) return Fail("signed components not supported");
        if (c.prec != first.prec) return Fail("components of different precision");
        if (c.prec < 1 || c.prec > 16) {
            LogSend(kLogError, "ImageDecode -> %s error: %u-bit components not supported", kFormat, c.prec);
            return false;
        }
    }
    return true;
}

bool CheckColourSpace(const opj_image_t* image) {
    switch (image->color_space) {
        case OPJ_CLRSPC_SRGB:
        case OPJ_CLRSPC_GRAY:
        case OPJ_CLRSPC_UNSPECIFIED:
            return true;
        case OPJ_CLRSPC_SYCC:
        case OPJ_CLRSPC_EYCC:
            return Fail("YCC colour space not supported");
        case OPJ_CLRSPC_CMYK:
            return Fail("CMYK colour space not supported");
        default:
            return Fail("unknown colour space");
    }
}

// Interleaves the decoded planes as 8-bit samples, scaling other precisions to 0..255.
void Interleave(const opj_image_t* image, unsigned char* dst) {
    const unsigned comps = image->numcomps;
    const size_t count = size_t(image->comps[0].w) * image->comps[0].h;
    const unsigned prec = image->comps[0].prec;
    for (unsigned c = 0; c < comps; ++c) {
        const OPJ_INT32* src = image->comps[c].data;
        unsigned char* d = dst + c;
        if (prec == 8) {
            for (size_t i = 0; i < count; ++i, d += comps) {
                const OPJ_INT32 v = src[i];
                *d = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        } else {
            const int64_t maxValue = (int64_t(1) << prec) - 1;
            for (size_t i = 0; i < count; ++i, d += comps) {
                const int64_t v = std::clamp<int64_t>(src[i], 0, maxValue);
                *d = static_cast<unsigned char>((v * 255 + maxValue / 2) / maxValue);
            }
        }
    }
}

}  // namespace

namespace ImageDecodeImpl {

bool DecodeJPEG2000(const unsigned char* data, size_t size, bool rawCodestream, unsigned maxDimension,
                    DecodedPixels& out) {
    CodecPtr codec(opj_create_decompress(rawCodestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    if (!codec) return Fail("cannot create decoder");
    SetHandlers(codec.get());

    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params)) return Fail("cannot set up decoder");
    // A cut-off file must fail rather than come out as a blurred partial image.
    opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);
    if (opj_has_thread_support()) opj_codec_set_threads(codec.get(), g_Threads.load());

    MemoryReader reader = {data, size, 0};
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!stream) return Fail("cannot create stream");
    opj_stream_set_user_data(stream.get(), &reader, nullptr);
    opj_stream_set_user_data_length(stream.get(), size);
    opj_stream_set_read_function(stream.get(), &ReadFn);
    opj_stream_set_skip_function(stream.get(), &SkipReadFn);
    opj_stream_set_seek_function(stream.get(), &SeekReadFn);

    opj_image_t* rawImage = nullptr;
    const OPJ_BOOL headerOk = opj_read_header(stream.get(), codec.get(), &rawImage);
    ImagePtr image(rawImage);
    if (!headerOk || !image) return Fail("cannot read header");
    if (!CheckHeader(image.get(), maxDimension)) return false;

    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get()))
        return Fail("cannot decode image");
    if (!CheckColourSpace(image.get())) return false;

    const unsigned width = image->x1 - image->x0;
    const unsigned height = image->y1 - image->y0;
    for (unsigned i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (!c.data || c.w != width || c.h != height) return Fail("incomplete component data");
    }

    const int comps = int(image->numcomps);
    unsigned char* pixels = AllocatePixels(kFormat, width, height, comps);
    if (!pixels) return false;
    Interleave(image.get(), pixels);
    out.pixels = pixels;
    out.width = width;
    out.height = height;
    out.components = comps;
    return true;
}

}  // namespace ImageDecodeImpl

bool EncodeJP2(const unsigned char* pixels, unsigned w, unsigned h, int channels, float compressionRatio,
               std::vector<unsigned char>& out) {
    out.clear();
    if (!pixels || w == 0 || h == 0 || (channels != 1 && channels != 3 && channels != 4)) {
        LogSend(kLogError, "EncodeJP2 -> invalid image (%u x %u, %d channels)", w, h, channels);
        return false;
    }
    if (!(compressionRatio == 0.0f || (compressionRatio >= 1.0f && compressionRatio <= 1.0e6f))) {
        LogSend(kLogError, "EncodeJP2 -> invalid compression ratio %g", double(compressionRatio));
        return false;
    }
    // The library holds each sample as a 32-bit integer.
    if (size_t(w) > SIZE_MAX / sizeof(OPJ_INT32) / 4 / size_t(h) || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) {
        LogSend(kLogError, "EncodeJP2 -> image too large (%u x %u)", w, h);
        return false;
    }

    opj_image_cmptparm_t parms[4];
    memset(parms, 0, sizeof parms);
    for (int c = 0; c < channels; ++c) {
        parms[c].dx = 1;
        parms[c].dy = 1;
        parms[c].w = w;
        parms[c].h = h;
        parms[c].prec = 8;
        parms[c].sgnd = 0;
    }
    ImagePtr image(
        opj_image_create(OPJ_UINT32(channels), parms, channels >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
    if (!image) {
        LogSend(kLogError, "EncodeJP2 -> out of memory for %u x %u", w, h);
        return false;
    }
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = w;
    image->y1 = h;
    if (channels == 4) image->comps[3].alpha = 1;

    const size_t count = size_t(w) * h;
    for (int c = 0; c < channels; ++c) {
        OPJ_INT32* dst = image->comps[c].data;
        const unsigned char* src = pixels + c;
        for (size_t i = 0; i < count; ++i, src += channels) dst[i] = *src;
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    params.cp_disto_alloc = 1;
    params.tcp_rates[0] = compressionRatio;  // 0 asks for every bit: lossless
    params.irreversible = compressionRatio > 0.0f ? 1 : 0;
    params.tcp_mct = channels >= 3 ? 1 : 0;
    // Each resolution level halves the image; the smallest side must keep a pixel.
    int levels = 1;
    while (levels < 6 && (std::min(w, h) >> levels) >= 1) ++levels;
    params.numresolution = levels;
    // A fixed comment instead of the library's version string keeps the bytes ours.
    static char comment[] = "Zyn";
    params.cp_comment = comment;

    CodecPtr codec(opj_create_compress(OPJ_CODEC_JP2));
    if (!codec) {
        LogSend(kLogError, "EncodeJP2 -> cannot create encoder");
        return false;
    }
    SetHandlers(codec.get());
    if (!opj_setup_encoder(codec.get(), &params, image.get())) {
        LogSend(kLogError, "EncodeJP2 -> cannot set up encoder");
        return false;
    }
    if (opj_has_thread_support()) opj_codec_set_threads(codec.get(), g_Threads.load());

    MemoryWriter writer = {&out, 0};
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream) {
        LogSend(kLogError, "EncodeJP2 -> cannot create stream");
        return false;
    }
    opj_stream_set_user_data(stream.get(), &writer, nullptr);
    opj_stream_set_write_function(stream.get(), &WriteFn);
    opj_stream_set_skip_function(stream.get(), &SkipWriteFn);
    opj_stream_set_seek_function(stream.get(), &SeekWriteFn);

    if (!opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get())) {
        LogSend(kLogError, "EncodeJP2 -> encoding failed");
        out.clear();
        return false;
    }
    return true;
}

void SetJpeg2000Threads(int threads) { g_Threads = threads > 0 ? threads : DefaultThreads(); }

}  // namespace Zyn
