#include <zyn/graphics/image/ContactSheet.h>

#include <zyn/core/Log.h>

namespace Zyn {

namespace {

const int kMaxSheetSide = 8192;

// Integer box filter: the tile pixel averages the frame pixels whose
// centres fall in its span, so the result is the same on every machine.
void ScaleInto(const u8* frame, int frameW, int frameH, u8* sheet, int sheetW, int tileX, int tileY,
               int tileW, int tileH) {
    for (int ty = 0; ty < tileH; ++ty) {
        const int y0 = int(long(ty) * frameH / tileH);
        int y1 = int(long(ty + 1) * frameH / tileH);
        if (y1 <= y0) y1 = y0 + 1;
        for (int tx = 0; tx < tileW; ++tx) {
            const int x0 = int(long(tx) * frameW / tileW);
            int x1 = int(long(tx + 1) * frameW / tileW);
            if (x1 <= x0) x1 = x0 + 1;
            unsigned long sum[4] = {0, 0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                const u8* p = frame + (size_t(y) * size_t(frameW) + size_t(x0)) * 4;
                for (int x = x0; x < x1; ++x, p += 4) {
                    for (int c = 0; c < 4; ++c) sum[c] += p[c];
                }
            }
            const unsigned long count =
                static_cast<unsigned long>(y1 - y0) * static_cast<unsigned long>(x1 - x0);
            u8* out = sheet + (size_t(tileY + ty) * size_t(sheetW) + size_t(tileX + tx)) * 4;
            // Rounded to nearest.
            for (int c = 0; c < 4; ++c) out[c] = u8((sum[c] + count / 2) / count);
        }
    }
}

}  // namespace

bool BuildContactSheet(const std::vector<std::vector<u8>>& frames, int frameW, int frameH, int columns,
                       int tileW, int tileH, ContactSheet& sheet) {
    if (frames.empty() || frameW <= 0 || frameH <= 0 || columns <= 0 || tileW <= 0 || tileH <= 0) {
        LogSend(kLogError, "BuildContactSheet -> nothing to tile");
        return false;
    }
    const long rows = (long(frames.size()) + columns - 1) / columns;
    const long sheetW = long(columns < long(frames.size()) ? columns : long(frames.size())) * tileW;
    const long sheetH = rows * tileH;
    if (sheetW > kMaxSheetSide || sheetH > kMaxSheetSide) {
        LogSend(kLogError, "BuildContactSheet -> sheet of %ld x %ld is too large", sheetW, sheetH);
        return false;
    }
    const size_t frameBytes = size_t(frameW) * size_t(frameH) * 4;
    for (const std::vector<u8>& f : frames) {
        if (f.size() != frameBytes) {
            LogSend(kLogError, "BuildContactSheet -> a frame is not %d x %d RGBA", frameW, frameH);
            return false;
        }
    }
    sheet.width = int(sheetW);
    sheet.height = int(sheetH);
    sheet.rgba.assign(size_t(sheetW) * size_t(sheetH) * 4, 0);
    for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
    for (size_t i = 0; i < frames.size(); ++i) {
        const int col = int(i % size_t(columns));
        const int row = int(i / size_t(columns));
        ScaleInto(frames[i].data(), frameW, frameH, sheet.rgba.data(), sheet.width, col * tileW, row * tileH,
                  tileW, tileH);
    }
    return true;
}

}  // namespace Zyn
