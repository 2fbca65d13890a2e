// Shared pieces of the image decoders. Each decoder turns one format into straight (not
// premultiplied) 8-bit pixels; ImageDecode.cpp then applies the channel rules.
#pragma once

#include <cstddef>
#include <string>

namespace Zyn {
namespace ImageDecodeImpl {

/// Pixels as a decoder delivers them: rows top first, alpha not premultiplied.
/// pixels is owned (malloc) and must be freed by whoever holds the record last.
struct DecodedPixels {
    unsigned char* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
};

/// True when 1 ≤ width, height ≤ maxDimension and width × height × 4 bytes fit in memory
/// sizes; otherwise logs "ImageDecode -> <format> error: image size ..." and returns false.
bool CheckDimensions(const char* format, unsigned width, unsigned height, unsigned maxDimension);

/// malloc of width × height × components bytes (dimensions already checked); logs on failure.
unsigned char* AllocatePixels(const char* format, unsigned width, unsigned height, int components);

// Each returns true with out filled, or false with the reason logged and out empty.
bool DecodeJPEG2000(const unsigned char* data, size_t size, bool rawCodestream, unsigned maxDimension,
                    DecodedPixels& out);
bool DecodePNG(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out);
bool DecodeJPEG(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out);

/// TGA has no signature: true when the header is one this reader accepts, checked strictly so
/// that arbitrary bytes are not taken for an image.
bool LooksLikeTGA(const unsigned char* data, size_t size);
bool DecodeTGA(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out);

/// The decoded-image cache's entry file name for these encoded bytes ("<hash>-<size>-<0|1>.pix").
std::string CacheEntryName(const unsigned char* data, size_t size, bool forceRGBA);
/// The 32 bytes an entry starts with, the pixels following: magic, width, height, channels
/// and a hash of the pixels.
std::string CacheEntryHeader(const unsigned char* pixels, unsigned width, unsigned height, int channels);

/// DecodeImage without the prefetched images: arguments already checked.
unsigned char* DecodeNow(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                         int* channels, bool forceRGBA, unsigned maxDimension);

/// The prefetched pixels of exactly these bytes and forceRGBA, waited for if still being
/// decoded, or null when there are none (or they do not fit maxDimension, or failed).
unsigned char* TakePrefetched(const unsigned char* data, size_t size, unsigned* width, unsigned* height,
                              int* channels, bool forceRGBA, unsigned maxDimension);

}  // namespace ImageDecodeImpl
}  // namespace Zyn
