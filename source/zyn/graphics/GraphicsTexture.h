// The texture functions of the renderer: decoding image files, creating,
// updating and reading back GL textures. All of them issue GL calls and
// belong to the thread that owns the GL context. A TexHandle made here is
// owned by whoever asked for it and given back with ReleaseTexture.
#pragma once

#include <zyn/graphics/Graphics.h>

namespace Zyn {

class File;
class Image;

namespace Graphics {

/// Decodes the whole stream. Returns width x height x channels bytes allocated
/// with malloc (the caller frees them) and fills the outputs; null on failure
/// ("BAIL" logged). Images larger than the GL texture limit are rejected
/// before their pixels are allocated.
[[nodiscard]] unsigned char* LoadTextureData(File& file, unsigned* width, unsigned* height, int* channels,
                                             bool forceRGBA);

/// A texture from an image stream; null when it cannot be decoded.
[[nodiscard]] TexHandle CreateTexture(File& file, bool mipmaps, bool forceRGBA);
/// A zero-filled RGBA texture; mipmaps is not used. Null on failure.
[[nodiscard]] TexHandle CreateTexture(unsigned width, unsigned height, bool mipmaps);
/// The colour image with the alpha image's grey (or last) channel as its alpha.
/// Null ("FAILED TO LOAD TEXTURE") when either fails or their sizes differ.
[[nodiscard]] TexHandle CreateAlphaMergedTexture(File& colorFile, File& alphaFile, bool mipmaps);
/// For a mipmapped texture: whether sampling blends the two nearest mipmap
/// levels (the default) or takes the nearest one, which costs a software
/// rasteriser about half the texture reads for a barely different picture.
/// Other textures are left alone.
void SetMipLevelBlending(TexHandle texture, bool blend);
/// Deletes the GL texture and the record; a null handle is ignored.
void ReleaseTexture(TexHandle texture);
/// Leaves the outputs alone for a null handle.
void GetTextureSize(TexHandle texture, unsigned* width, unsigned* height);

/// Copies the image's bytes as they stand into the texture at (x, y).
/// False when it does not fit or memory runs out.
[[nodiscard]] bool DrawImageOnTexture(TexHandle texture, const Image& image, unsigned x, unsigned y);
/// Stores the colour's 32-bit value unchanged in each pixel of the rectangle.
[[nodiscard]] bool FillRectTexture(TexHandle texture, unsigned x, unsigned y, unsigned w, unsigned h,
                                   Color color);
/// Copies a rectangle of the texture into the image, clamped to both.
/// False when nothing remains to copy.
[[nodiscard]] bool CopyImageFromTexture(TexHandle texture, const Image& image, unsigned dstX, unsigned dstY,
                                        unsigned srcX, unsigned srcY, unsigned w, unsigned h);
/// Copies a rectangle of the frame (GL window coordinates, y up) into the image,
/// top row first, clamped to the viewport and the image.
[[nodiscard]] bool CopyImageFromRenderTarget(const Image& image, unsigned dstX, unsigned dstY, unsigned srcX,
                                             unsigned srcY, unsigned w, unsigned h);
/// Writes level 0 of the texture as an uncompressed 32-bit TGA (B, G, R, A
/// bytes, top row first). False for a null handle or a failed write.
[[nodiscard]] bool SaveTextureToTGA(TexHandle texture, File& file);

}  // namespace Graphics
}  // namespace Zyn
