// Image decoding from memory: JPEG 2000 (".jp2" files and raw codestreams), PNG, JPEG and TGA,
// recognised by their signatures (TGA, which has none, is tried last). Results are 8-bit
// pixels, rows top first; failures are logged and answered with null. No exception leaves
// these functions and no library is allowed to end the process.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Zyn {

/// Decodes the image held in data[0..size). Channel rules: channels = 4 when forceRGBA or the
/// image has 3 colour components, else its component count (1 = grey). 4-channel output is
/// R, G, B, A with colour premultiplied by alpha; when the image has no alpha and forceRGBA
/// is false the result is reduced to 3 channels (R, G, B).
/// Width or height of 0 or above maxDimension is rejected before any pixel allocation.
/// Returns width × height × channels bytes allocated with malloc (the caller frees them with
/// free) and fills width, height and channels; on failure logs the reason and returns null,
/// leaving the outputs untouched.
[[nodiscard]] unsigned char* DecodeImage(const unsigned char* data, size_t size, unsigned* width,
                                         unsigned* height, int* channels, bool forceRGBA,
                                         unsigned maxDimension);

/// One encoded image to decode ahead of its use, with the forceRGBA its later DecodeImage
/// will pass.
struct EncodedImage {
    std::vector<unsigned char> bytes;
    bool forceRGBA = false;
};

/// Starts decoding the images on a background thread, in the order given, so that the work
/// overlaps whatever the caller does meanwhile (creating a GL context, say). A later
/// DecodeImage of the same bytes with the same forceRGBA takes those pixels, waiting for them
/// if they are not ready, instead of decoding again; one whose maxDimension refuses them, or
/// whose image failed, decodes as usual. Pixels nobody takes are freed at exit.
void PrefetchImages(std::vector<EncodedImage> images);

/// A folder where prefetched images keep their decoded pixels from one run to the next: a run
/// that prefetches the same bytes again reads the pixels back instead of decoding them (most
/// of a start-up on a small machine is decoding). An entry is used only when it is intact (its
/// sizes and a hash of its pixels agree); otherwise the image is decoded and the entry written
/// again. Entries the latest batch did not ask for are removed, so the folder holds one set.
/// Empty, the default, keeps nothing. Set it before PrefetchImages.
void SetDecodedImageCache(const std::string& folder);

/// Threads one JPEG 2000 decode or encode may use; 0 (the default) is the machine's cores,
/// at most 8.
void SetJpeg2000Threads(int threads);

/// Encodes 8-bit pixels (channels 1 grey, 3 RGB or 4 RGBA, not premultiplied, rows top first)
/// as a JP2 file into out. compressionRatio 0 is lossless (reversible 5/3 wavelet); a ratio
/// above 1 asks for that size reduction with the irreversible 9/7 wavelet. The same input
/// gives the same bytes on every run. Returns false (out emptied, reason logged) on failure.
[[nodiscard]] bool EncodeJP2(const unsigned char* pixels, unsigned w, unsigned h, int channels,
                             float compressionRatio, std::vector<unsigned char>& out);

}  // namespace Zyn
