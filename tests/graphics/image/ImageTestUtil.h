// Builders of small images in every format the decoders read, written by the reference
// libraries themselves (or by hand for TGA), so that tests need no stored files.
#pragma once

#include <cstdlib>
#include <memory>
#include <vector>

namespace ImageTest {

typedef std::vector<unsigned char> Bytes;

/// A deterministic textured pattern: w × h pixels of the given channel count.
Bytes MakePattern(unsigned w, unsigned h, int channels, unsigned seed);
/// Smooth waves without noise, for lossy codecs.
Bytes MakeSmooth(unsigned w, unsigned h, int channels);

/// PNG of 8-bit pixels; colourType is a PNG_COLOR_TYPE_* value matching channels.
Bytes WritePNG(const Bytes& pixels, unsigned w, unsigned h, int colourType, bool interlaced = false);
/// PNG of 16-bit samples (big-endian in the samples vector as libpng expects).
Bytes WritePNG16(const std::vector<unsigned short>& samples, unsigned w, unsigned h, int colourType);
/// 2 × 2 palette PNG with a tRNS entry: indices 0..3, entry 1 half transparent.
Bytes WritePalettePNG();

/// JPEG at quality 95; components 1 (grey), 3 (RGB) or 4 (written as CMYK).
Bytes WriteJPEG(const Bytes& pixels, unsigned w, unsigned h, int components, bool progressive = false);

/// TGA of 8-bit pixels given top row first (RGB/RGBA or grey); the file stores B, G, R[, A].
Bytes WriteTGA(const Bytes& pixels, unsigned w, unsigned h, int channels, bool topOrigin, bool rle);

/// One component of an image made with EncodeCustom.
struct Component {
    unsigned dx = 1, dy = 1, prec = 8;
    bool isSigned = false;
};
/// Encodes a lossless JPEG 2000 image (JP2 file, or raw codestream when raw) with components
/// as given; sample values are a ramp within each component's range. colourSpace is an
/// OPJ_COLOR_SPACE value.
Bytes EncodeCustom(unsigned w, unsigned h, const std::vector<Component>& comps, int colourSpace, bool raw);

/// The codestream inside a JP2 file (payload of its "jp2c" box); empty when absent.
Bytes ExtractCodestream(const Bytes& jp2);

/// Offset of the SIZ marker segment's Xsiz field in a raw codestream.
const size_t kSizXsiz = 8;
void PutBE32(Bytes& b, size_t at, unsigned v);

/// Pixels returned by DecodeImage, freed with free().
struct Decoded {
    std::unique_ptr<unsigned char, void (*)(void*)> pixels{nullptr, &free};
    unsigned width = 0, height = 0;
    int channels = 0;
    unsigned char at(size_t i) const { return pixels.get()[i]; }
};
Decoded Decode(const Bytes& file, bool forceRGBA = false, unsigned maxDimension = 4096);

}  // namespace ImageTest
