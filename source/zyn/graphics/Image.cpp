#include <zyn/graphics/Image.h>

#include <cstring>
#include <new>

#include <zyn/core/Log.h>
#include <zyn/io/File.h>

namespace Zyn {

namespace {

const unsigned kTgaHeaderSize = 18;

// Bytes between the position and the end; the position is left unchanged.
unsigned BytesLeft(File& f) {
    const unsigned pos = f.Seek(0, 2);
    const unsigned end = f.Seek(0, 1);
    f.Seek(int(pos), 0);
    return end > pos ? end - pos : 0;
}

u8* AllocPixels(u32 width, u32 height) {
    const unsigned long long bytes = (unsigned long long)width * height * 4ull;
    if (bytes == 0 || bytes > (unsigned long long)(size_t(-1) / 2)) return nullptr;
    return new (std::nothrow) u8[size_t(bytes)];
}

}  // namespace

Image::Image(unsigned w, unsigned h) : data(AllocPixels(w, h)), width(w), height(h) {
    if (!data) {
        if (w && h) LogSend(kLogError, "Image::Image -> Cannot allocate %u x %u pixels", w, h);
        width = height = 0;
    }
}

Image::Image(File& f) {
    u8 header[kTgaHeaderSize];
    if (f.Read(header, kTgaHeaderSize) != kTgaHeaderSize) return;
    if (header[2] != 2) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Function accepts only uncompressed RGB TGA files");
        return;
    }
    if (header[16] != 32) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Only 32 bits per pixel supported");
        return;
    }
    const u32 w = u32(header[12]) | u32(header[13]) << 8;
    const u32 h = u32(header[14]) | u32(header[15]) << 8;
    if (w == 0 || h == 0) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Invalid width or height (%d,%d)", int(w), int(h));
        return;
    }
    const u8 flip = header[17];
    if (flip != 0 && flip != 0x20) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Unknown flipbits (%d)", int(flip));
        return;
    }
    // The header's size fields come from outside: the stream must hold the
    // pixels before anything is allocated for them.
    const unsigned rowBytes = w * 4;
    const unsigned long long total = (unsigned long long)rowBytes * h;
    if (total > BytesLeft(f)) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Pixel data truncated (%d,%d)", int(w), int(h));
        return;
    }
    u8* pixels = AllocPixels(w, h);
    if (!pixels) {
        LogSend(kLogError, "Image::Image -> Cannot allocate %u x %u pixels", w, h);
        return;
    }
    bool ok = true;
    if (flip == 0x20) {
        ok = f.Read(pixels, unsigned(total)) == unsigned(total);
    } else {
        // Stored bottom row first.
        for (u32 i = 0; i < h && ok; ++i)
            ok = f.Read(pixels + size_t(h - 1 - i) * rowBytes, rowBytes) == rowBytes;
    }
    if (!ok) {
        LogSend(kLogWarning, "Image::Image(File &f) -> Pixel data truncated (%d,%d)", int(w), int(h));
        delete[] pixels;
        return;
    }
    data = pixels;
    width = w;
    height = h;
}

Image::~Image() { delete[] data; }

bool Image::SaveToTGA(File& f) {
    if (!width || !height || !data) return false;
    // The format stores 16-bit sizes.
    if (width > 0xFFFF || height > 0xFFFF) return false;
    u8 header[kTgaHeaderSize];
    std::memset(header, 0, sizeof header);
    header[2] = 2;
    header[12] = u8(width);
    header[13] = u8(width >> 8);
    header[14] = u8(height);
    header[15] = u8(height >> 8);
    header[16] = 32;
    header[17] = 0x20;
    if (f.Write(header, kTgaHeaderSize) != kTgaHeaderSize) return false;
    // Row by row: a whole large image may not fit one 32-bit write.
    const unsigned rowBytes = width * 4;
    for (u32 y = 0; y < height; ++y)
        if (f.Write(data + size_t(y) * rowBytes, rowBytes) != rowBytes) return false;
    return true;
}

}  // namespace Zyn
