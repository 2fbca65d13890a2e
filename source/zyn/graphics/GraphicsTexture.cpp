#include <zyn/graphics/GraphicsTexture.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/graphics/Image.h>
#include <zyn/io/File.h>
#include <zyn/graphics/image/ImageDecode.h>

namespace Zyn {
namespace Graphics {

namespace {

// Streams beyond this are not image files we could ever upload.
const unsigned kMaxImageFileBytes = 256u << 20;
// Used when no context answers the limit query (tools without GL).
const unsigned kFallbackMaxTextureSize = 8192;

unsigned MaxTextureSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size > 0 ? unsigned(size) : kFallbackMaxTextureSize;
}

// The renderer's own binding is restored after every texture operation; a
// loader thread's context has no renderer binding to restore.
void RebindCurrent() {
    if (IsInContextScope()) return;
    const TexHandle cur = Globals::g_pCurTexture;
    if (!cur.IsNull()) glBindTexture(GL_TEXTURE_2D, cur->glName);
}

// Rows of 1- and 3-channel images are byte-packed, not 4-aligned.
class UnpackAlignment {
public:
    UnpackAlignment() {
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &m_Old);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    ~UnpackAlignment() { glPixelStorei(GL_UNPACK_ALIGNMENT, m_Old); }

private:
    GLint m_Old = 4;
};

bool FormatsFor(int channels, GLenum* format, GLint* internal) {
    switch (channels) {
        case 1:
            *format = GL_LUMINANCE;
            *internal = GL_LUMINANCE8;
            return true;
        case 3:
            *format = GL_RGB;
            *internal = GL_RGB8;
            return true;
        case 4:
            *format = GL_RGBA;
            *internal = GL_RGBA8;
            return true;
        default:
            return false;
    }
}

// Makes the GL texture of a new record from decoded pixels; null for an
// unknown channel count. The pixels stay the caller's.
TexHandle BuildTexture(const unsigned char* pixels, unsigned width, unsigned height, int channels,
                       bool mipmaps) {
    GLenum format = 0;
    GLint internal = 0;
    if (!FormatsFor(channels, &format, &internal)) return TexHandle();
    TextureRecord* rec = new TextureRecord;
    rec->width = width;
    rec->height = height;
    rec->mipmapped = mipmaps;
    glGenTextures(1, &rec->glName);
    glBindTexture(GL_TEXTURE_2D, rec->glName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    {
        UnpackAlignment align;
        if (mipmaps) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            rec->minFilter = rec->activeMinFilter = GL_LINEAR_MIPMAP_LINEAR;
            gluBuild2DMipmaps(GL_TEXTURE_2D, channels, GLint(width), GLint(height), format, GL_UNSIGNED_BYTE,
                              pixels);
            GLint levelWidth = 0;
            GLint levelHeight = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &levelWidth);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &levelHeight);
            rec->levelWidth = u32(std::max(levelWidth, 0));
            rec->levelHeight = u32(std::max(levelHeight, 0));
        } else {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, internal, GLsizei(width), GLsizei(height), 0, format,
                         GL_UNSIGNED_BYTE, pixels);
        }
    }
    RebindCurrent();
    return TexHandle(rec);
}

// Level 0 of the texture as RGBA bytes in a malloc'd buffer, or null. The GL
// level must have the record's size: a mipmap chain that GLU rescaled to a
// power of two cannot be edited in place, and the buffer must match exactly
// what glGetTexImage writes.
unsigned char* ReadBack(TexHandle tex) {
    if (tex.IsNull()) return nullptr;
    glBindTexture(GL_TEXTURE_2D, tex->glName);
    GLint w = 0;
    GLint h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    if (w <= 0 || h <= 0 || unsigned(w) != tex->width || unsigned(h) != tex->height) {
        RebindCurrent();
        return nullptr;
    }
    unsigned char* buf = static_cast<unsigned char*>(std::malloc(size_t(w) * size_t(h) * 4));
    if (!buf) {
        RebindCurrent();
        return nullptr;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf);
    return buf;
}

// Uploads level 0 (and the chain for mipmapped records) of the bound texture.
void UploadRGBA(TexHandle tex, const unsigned char* pixels, GLint internal) {
    if (tex->mipmapped)
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, GLint(tex->width), GLint(tex->height), GL_RGBA, GL_UNSIGNED_BYTE,
                          pixels);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, internal, GLsizei(tex->width), GLsizei(tex->height), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, pixels);
}

// min(a, b, c) of signed extents; the callers pass differences that may be negative.
long long Min3(long long a, long long b, long long c) { return std::min(a, std::min(b, c)); }

}  // namespace

void SetMipLevelBlending(TexHandle tex, bool blend) {
    if (tex.IsNull() || !tex->mipmapped) return;
    glBindTexture(GL_TEXTURE_2D, tex->glName);
    const GLint filter = blend ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    tex->minFilter = tex->activeMinFilter = filter;
    RebindCurrent();
}

unsigned char* LoadTextureData(File& file, unsigned* width, unsigned* height, int* channels, bool forceRGBA) {
    file.Seek(0, 2);
    const unsigned length = file.Seek(0, 1);
    file.Seek(0, 0);
    if (length == 0 || length > kMaxImageFileBytes) {
        LogSend(kLogError, "BAIL");
        return nullptr;
    }
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(length));
    if (!bytes || file.Read(bytes, length) != length) {
        std::free(bytes);
        LogSend(kLogError, "BAIL");
        return nullptr;
    }
    unsigned w = 0;
    unsigned h = 0;
    int c = 0;
    unsigned char* pixels = DecodeImage(bytes, length, &w, &h, &c, forceRGBA, MaxTextureSize());
    std::free(bytes);
    if (pixels && c != 1 && c != 3 && c != 4) {
        LogSend(kLogInfo, "unsuported numer of channels %d", c);
        std::free(pixels);
        pixels = nullptr;
    }
    if (!pixels) {
        LogSend(kLogError, "BAIL");
        return nullptr;
    }
    if (width) *width = w;
    if (height) *height = h;
    if (channels) *channels = c;
    LogSend(kLogInfo, "W %d H %d C %d", int(w), int(h), c);
    return pixels;
}

TexHandle CreateTexture(File& file, bool mipmaps, bool forceRGBA) {
    unsigned w = 0;
    unsigned h = 0;
    int c = 0;
    unsigned char* pixels = LoadTextureData(file, &w, &h, &c, forceRGBA);
    if (!pixels) return TexHandle();
    TexHandle tex = BuildTexture(pixels, w, h, c, mipmaps);
    std::free(pixels);
    return tex;
}

TexHandle CreateTexture(unsigned width, unsigned height, bool) {
    const unsigned limit = MaxTextureSize();
    if (width == 0 || height == 0 || width > limit || height > limit) return TexHandle();
    unsigned char* zeros = static_cast<unsigned char*>(std::calloc(size_t(width) * height, 4));
    if (!zeros) return TexHandle();
    TextureRecord* rec = new TextureRecord;
    rec->width = width;
    rec->height = height;
    rec->mipmapped = false;
    glGenTextures(1, &rec->glName);
    glBindTexture(GL_TEXTURE_2D, rec->glName);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(width), GLsizei(height), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 zeros);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    std::free(zeros);
    RebindCurrent();
    return TexHandle(rec);
}

TexHandle CreateAlphaMergedTexture(File& colorFile, File& alphaFile, bool mipmaps) {
    unsigned cw = 0, ch = 0, aw = 0, ah = 0;
    int cc = 0, ac = 0;
    unsigned char* color = LoadTextureData(colorFile, &cw, &ch, &cc, true);
    unsigned char* alpha = LoadTextureData(alphaFile, &aw, &ah, &ac, false);
    TexHandle tex;
    if (color && alpha && cc == 4 && cw == aw && ch == ah) {
        const size_t count = size_t(cw) * ch;
        for (size_t i = 0; i < count; ++i) color[4 * i + 3] = alpha[i * size_t(ac) + size_t(ac) - 1];
        tex = BuildTexture(color, cw, ch, 4, mipmaps);
    }
    std::free(color);
    std::free(alpha);
    if (tex.IsNull()) LogSend(kLogError, "FAILED TO LOAD TEXTURE");
    return tex;
}

void ReleaseTexture(TexHandle texture) {
    if (texture.IsNull()) return;
    // The renderer must not keep binding a record that is gone. On a loader
    // thread the frame thread's cache is not ours to touch; it is reset at
    // the start of every frame.
    if (!IsInContextScope() && Globals::g_pCurTexture == texture) SetTexture(TexHandle());
    GLuint name = texture->glName;
    glDeleteTextures(1, &name);
    delete texture.Get();
}

void GetTextureSize(TexHandle texture, unsigned* width, unsigned* height) {
    if (texture.IsNull()) return;
    if (width) *width = texture->width;
    if (height) *height = texture->height;
}

bool DrawImageOnTexture(TexHandle texture, const Image& image, unsigned x, unsigned y) {
    if (texture.IsNull() || !image.data) return false;
    if ((unsigned long long)x + image.width > texture->width ||
        (unsigned long long)y + image.height > texture->height)
        return false;
    unsigned char* buf = ReadBack(texture);
    if (!buf) return false;
    const size_t stride = size_t(texture->width) * 4;
    const size_t rowBytes = size_t(image.width) * 4;
    for (u32 row = 0; row < image.height; ++row)
        std::memcpy(buf + (size_t(y) + row) * stride + size_t(x) * 4, image.data + row * rowBytes, rowBytes);
    UploadRGBA(texture, buf, GL_RGBA8);
    std::free(buf);
    RebindCurrent();
    return true;
}

bool FillRectTexture(TexHandle texture, unsigned x, unsigned y, unsigned w, unsigned h, Color color) {
    if (texture.IsNull()) return false;
    // Clamped so that a rectangle reaching past the edge cannot write outside.
    const unsigned fillW = x < texture->width ? std::min(w, texture->width - x) : 0;
    const unsigned fillH = y < texture->height ? std::min(h, texture->height - y) : 0;
    unsigned char* buf = ReadBack(texture);
    if (!buf) return false;
    u32* pixels = reinterpret_cast<u32*>(buf);
    const u32 value = color.value;
    for (unsigned row = 0; row < fillH; ++row) {
        u32* line = pixels + (size_t(y) + row) * texture->width + x;
        for (unsigned col = 0; col < fillW; ++col) line[col] = value;
    }
    UploadRGBA(texture, buf, GL_RGBA);
    std::free(buf);
    RebindCurrent();
    return true;
}

bool CopyImageFromTexture(TexHandle texture, const Image& image, unsigned dstX, unsigned dstY, unsigned srcX,
                          unsigned srcY, unsigned w, unsigned h) {
    if (texture.IsNull() || !image.data) return false;
    // Signed extents: a start beyond the texture or the image leaves nothing to copy.
    const long long copyW = Min3((long long)texture->width - srcX, (long long)image.width - dstX, w);
    const long long copyH = Min3((long long)texture->height - srcY, (long long)image.height - dstY, h);
    if (copyW <= 0 || copyH <= 0) return false;
    unsigned char* buf = ReadBack(texture);
    if (!buf) return false;
    for (long long row = 0; row < copyH; ++row) {
        const unsigned char* src = buf + ((size_t(srcY) + size_t(row)) * texture->width + srcX) * 4;
        unsigned char* dst = image.data + ((size_t(dstY) + size_t(row)) * image.width + dstX) * 4;
        std::memcpy(dst, src, size_t(copyW) * 4);
    }
    std::free(buf);
    RebindCurrent();
    return true;
}

bool CopyImageFromRenderTarget(const Image& image, unsigned dstX, unsigned dstY, unsigned srcX, unsigned srcY,
                               unsigned w, unsigned h) {
    if (!image.data) return false;
    GLint vp[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, vp);
    const long long copyW = Min3((long long)image.width - dstX, w, (long long)vp[2] - srcX);
    const long long copyH = Min3((long long)image.height - dstY, h, (long long)vp[3] - srcY);
    if (copyW <= 0 || copyH <= 0) return false;
    const size_t rowBytes = size_t(copyW) * 4;
    unsigned char* buf = static_cast<unsigned char*>(std::malloc(rowBytes * size_t(copyH)));
    if (!buf) return false;
    _FlushRender();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(GLint(srcX), GLint(srcY), GLsizei(copyW), GLsizei(copyH), GL_RGBA, GL_UNSIGNED_BYTE, buf);
    // GL delivers the bottom row first.
    for (long long row = 0; row < copyH; ++row) {
        const unsigned char* src = buf + size_t(copyH - 1 - row) * rowBytes;
        unsigned char* dst = image.data + ((size_t(dstY) + size_t(row)) * image.width + dstX) * 4;
        std::memcpy(dst, src, rowBytes);
    }
    std::free(buf);
    return true;
}

bool SaveTextureToTGA(TexHandle texture, File& file) {
    unsigned char* buf = ReadBack(texture);
    if (!buf) return false;
    RebindCurrent();
    Image image(texture->width, texture->height);
    if (!image.data) {
        std::free(buf);
        return false;
    }
    // GL gives R, G, B, A; a TGA stores B, G, R, A.
    const size_t count = size_t(texture->width) * texture->height;
    for (size_t i = 0; i < count; ++i) {
        image.data[4 * i + 0] = buf[4 * i + 2];
        image.data[4 * i + 1] = buf[4 * i + 1];
        image.data[4 * i + 2] = buf[4 * i + 0];
        image.data[4 * i + 3] = buf[4 * i + 3];
    }
    std::free(buf);
    return image.SaveToTGA(file);
}

}  // namespace Graphics
}  // namespace Zyn
