#include <zyn/graphics/image/ImageDecode.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {

namespace ImageDecodeImpl {

bool CheckDimensions(const char* format, unsigned width, unsigned height, unsigned maxDimension) {
    // Bounding both sides by the texture limit also bounds every later allocation.
    if (width == 0 || height == 0 || width > maxDimension || height > maxDimension) {
        LogSend(kLogError, "ImageDecode -> %s error: image size %u x %u outside 1..%u", format, width, height,
                maxDimension);
        return false;
    }
    if (size_t(width) > SIZE_MAX / 4 / size_t(height)) {
        LogSend(kLogError, "ImageDecode -> %s error: image size %u x %u too large", format, width, height);
        return false;
    }
    return true;
}

unsigned char* AllocatePixels(const char* format, unsigned width, unsigned height, int components) {
    const size_t bytes = size_t(width) * size_t(height) * size_t(components);
    unsigned char* pixels = static_cast<unsigned char*>(malloc(bytes));
    if (!pixels) LogSend(kLogError, "ImageDecode -> %s error: out of memory for %zu bytes", format, bytes);
    return pixels;
}

}  // namespace ImageDecodeImpl

namespace {

using ImageDecodeImpl::DecodedPixels;

const unsigned char kJP2Signature[12] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                         0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
const unsigned char kJ2KSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};
const unsigned char kPNGSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const unsigned char kJPEGSignature[3] = {0xFF, 0xD8, 0xFF};

bool StartsWith(const unsigned char* data, size_t size, const unsigned char* signature, size_t length) {
    return size >= length && memcmp(data, signature, length) == 0;
}

// Exact round(c * a / 255) for bytes.
inline unsigned char Premultiply(unsigned c, unsigned a) {
    const unsigned t = c * a + 128;
    return static_cast<unsigned char>((t + (t >> 8)) >> 8);
}

// Applies the channel rules to decoded pixels and takes their ownership: grey stays 1 channel,
// RGB stays 3, anything with alpha or forced becomes premultiplied RGBA. Null when a needed
// buffer cannot be allocated (the input is freed either way).
unsigned char* ApplyChannelRules(DecodedPixels& in, bool forceRGBA, int* channels) {
    unsigned char* src = in.pixels;
    in.pixels = nullptr;
    const size_t count = size_t(in.width) * size_t(in.height);

    if (in.components == 4) {
        for (size_t i = 0; i < count; ++i) {
            unsigned char* p = src + 4 * i;
            const unsigned a = p[3];
            if (a == 255) continue;
            p[0] = Premultiply(p[0], a);
            p[1] = Premultiply(p[1], a);
            p[2] = Premultiply(p[2], a);
        }
        *channels = 4;
        return src;
    }
    if ((in.components == 1 || in.components == 3) && !forceRGBA) {
        *channels = in.components;
        return src;
    }

    unsigned char* dst = ImageDecodeImpl::AllocatePixels("RGBA", in.width, in.height, 4);
    if (!dst) {
        free(src);
        return nullptr;
    }
    if (in.components == 1) {
        for (size_t i = 0; i < count; ++i) {
            const unsigned char g = src[i];
            unsigned char* d = dst + 4 * i;
            d[0] = d[1] = d[2] = g;
            d[3] = 255;
        }
    } else if (in.components == 2) {
        for (size_t i = 0; i < count; ++i) {
            const unsigned char g = Premultiply(src[2 * i], src[2 * i + 1]);
            unsigned char* d = dst + 4 * i;
            d[0] = d[1] = d[2] = g;
            d[3] = src[2 * i + 1];
        }
    } else {
        for (size_t i = 0; i < count; ++i) {
            unsigned char* d = dst + 4 * i;
            d[0] = src[3 * i];
            d[1] = src[3 * i + 1];
            d[2] = src[3 * i + 2];
            d[3] = 255;
        }
    }
    free(src);
    *channels = 4;
    return dst;
}

}  // namespace

namespace ImageDecodeImpl {

unsigned char* DecodeNow(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                         int* channels, bool forceRGBA, unsigned maxDimension) {
    DecodedPixels decoded;
    bool ok;
    if (StartsWith(data, size, kJP2Signature, sizeof kJP2Signature))
        ok = ImageDecodeImpl::DecodeJPEG2000(data, size, false, maxDimension, decoded);
    else if (StartsWith(data, size, kJ2KSignature, sizeof kJ2KSignature))
        ok = ImageDecodeImpl::DecodeJPEG2000(data, size, true, maxDimension, decoded);
    else if (StartsWith(data, size, kPNGSignature, sizeof kPNGSignature))
        ok = ImageDecodeImpl::DecodePNG(data, size, maxDimension, decoded);
    else if (StartsWith(data, size, kJPEGSignature, sizeof kJPEGSignature))
        ok = ImageDecodeImpl::DecodeJPEG(data, size, maxDimension, decoded);
    else if (ImageDecodeImpl::LooksLikeTGA(data, size))
        ok = ImageDecodeImpl::DecodeTGA(data, size, maxDimension, decoded);
    else {
        LogSend(kLogError, "ImageDecode -> unknown image format (%zu bytes)", size);
        return nullptr;
    }
    if (!ok) {
        free(decoded.pixels);
        return nullptr;
    }

    int outChannels = 0;
    unsigned char* pixels = ApplyChannelRules(decoded, forceRGBA, &outChannels);
    if (!pixels) return nullptr;
    *width = decoded.width;
    *height = decoded.height;
    *channels = outChannels;
    return pixels;
}

}  // namespace ImageDecodeImpl

unsigned char* DecodeImage(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                           int* channels, bool forceRGBA, unsigned maxDimension) {
    if (!width || !height || !channels) {
        LogSend(kLogError, "ImageDecode -> no place for the result");
        return nullptr;
    }
    if (!data || size == 0) {
        LogSend(kLogError, "ImageDecode -> no image data");
        return nullptr;
    }
    if (unsigned char* pixels =
            ImageDecodeImpl::TakePrefetched(data, size, width, height, channels, forceRGBA, maxDimension))
        return pixels;
    return ImageDecodeImpl::DecodeNow(data, size, width, height, channels, forceRGBA, maxDimension);
}

}  // namespace Zyn
